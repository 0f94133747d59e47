#include "observationtexts.h"

#include "ficresult.h"
#include "sharedhelpers.h"

#include <cmath>

namespace {

// Widths of the residual window's fields; lengths keep its five decimals, angles take the
// report's default (hundredths of the small unit).
constexpr int kValueWidth = 15;
constexpr int kResidualWidth = 14;
constexpr int kReliabilityWidth = 10;
constexpr int kLengthDecimals = 5;
constexpr int kSmallAngleDecimals = 2;
constexpr int kSmallLengthDecimals = 2; // millimetres to the hundredth: the five decimals of metres

struct AngleUnit
{
    const char *name;
    double circle;     // the full circle in the unit
    double resolution; // the steps a value is rounded to, per unit
    int decimals;      // of a value in decimal form (not DMS)
    const char *smallUnit;
};

constexpr double kPi = 3.14159265358979323846;

constexpr AngleUnit kAngleUnits[] = {
    {"DMS", 360.0, 3600.0 * 100.0, 0, "\""},
    {"GRD", 400.0, 1e6, kSmallAngleDecimals + 4, "cc"},
    {"RAD", 2.0 * kPi, 1e8, kSmallAngleDecimals + 6, "urad"},
};

const AngleUnit *angleUnitNamed(const QString &name)
{
    for (const AngleUnit &unit : kAngleUnits) {
        if (name == QLatin1String(unit.name))
            return &unit;
    }
    return nullptr;
}

// Directions, zenith angles and azimuths, shown within the full circle.
bool isCircular(const QString &typeLabel)
{
    return typeLabel == QLatin1String("DIR") || typeLabel == QLatin1String("ZANG") ||
           typeLabel == QLatin1String("AZIM");
}

bool isAngle(const QString &typeLabel)
{
    return isCircular(typeLabel) || typeLabel == QLatin1String("P") ||
           typeLabel == QLatin1String("L");
}

QString withUnit(const QString &number, const char *unit)
{
    return number + QLatin1Char(' ') + QLatin1String(unit);
}

} // namespace

QString observationValueText(const FicObservation &observation, const QString &angleUnit)
{
    if (!isAngle(observation.typeLabel))
        return withUnit(formatFixed(observation.value, kValueWidth, kLengthDecimals), "m");
    const AngleUnit *unit = angleUnitNamed(angleUnit);
    if (!unit)
        return formatFixed(observation.value, kValueWidth, kLengthDecimals);

    double value = observation.value;
    if (isCircular(observation.typeLabel) && std::isfinite(value)) {
        // Rounded to what is shown first, so that a value just under the full circle shows as 0.
        value = std::fmod(value, unit->circle);
        if (value < 0.0)
            value += unit->circle;
        value = std::round(value * unit->resolution) / unit->resolution;
        if (value >= unit->circle)
            value -= unit->circle;
    }
    const QString number = unit == &kAngleUnits[0]
                               ? dmsText(value, kSmallAngleDecimals).rightJustified(kValueWidth)
                               : formatFixed(value, kValueWidth, unit->decimals);
    return withUnit(number, unit->name);
}

QString observationResidualText(const FicObservation &observation, const QString &angleUnit)
{
    if (!isAngle(observation.typeLabel))
        return withUnit(formatFixed(observation.residual, kResidualWidth, kLengthDecimals), "m");
    const AngleUnit *unit = angleUnitNamed(angleUnit);
    if (!unit)
        return formatFixed(observation.residual, kResidualWidth, kLengthDecimals);
    return withUnit(formatFixed(observation.residual, kResidualWidth, kSmallAngleDecimals),
                    unit->smallUnit);
}

QString residualTextInSmallUnit(const FicObservation &observation, const QString &angleUnit)
{
    if (!isAngle(observation.typeLabel))
        return withUnit(QString::number(observation.residual * 1000.0, 'f', kSmallLengthDecimals),
                        "mm");
    return observationResidualText(observation, angleUnit).trimmed();
}

QString reliabilityText(double reliability)
{
    return withUnit(formatFixed(reliability, kReliabilityWidth, 2), "%");
}

QString dmsText(double degrees, int decimals)
{
    if (!std::isfinite(degrees))
        return QString::number(degrees, 'f', decimals);
    const double scale = std::pow(10.0, decimals);
    const double totalSeconds = std::round(std::fabs(degrees) * 3600.0 * scale) / scale;
    const double wholeDegrees = std::floor(totalSeconds / 3600.0);
    const double minutes = std::floor((totalSeconds - wholeDegrees * 3600.0) / 60.0);
    const double seconds = totalSeconds - wholeDegrees * 3600.0 - minutes * 60.0;
    const QString sign = degrees < 0.0 && totalSeconds > 0.0 ? QStringLiteral("-") : QString();
    return sign + QString::number(wholeDegrees, 'f', 0) + QLatin1Char(' ') +
           QString::number(minutes, 'f', 0).rightJustified(2) + QLatin1Char(' ') +
           QString::number(seconds, 'f', decimals).rightJustified(decimals + 3);
}
