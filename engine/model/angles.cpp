#include "engine/model/angles.h"

#include "engine/base/text.h"

#include <cmath>
#include <vector>

namespace engine {

double angleUnitInRadians(AngleUnit unit)
{
    switch (unit) {
    case AngleUnit::Dms:
        return kPi / 180.0;
    case AngleUnit::Grades:
        return kPi / 200.0;
    case AngleUnit::Radians:
        break;
    }
    return 1.0;
}

double smallAngleUnitInRadians(AngleUnit unit)
{
    switch (unit) {
    case AngleUnit::Dms:
        return kPi / 180.0 / 3600.0;
    case AngleUnit::Grades:
        return kPi / 200.0 / 10000.0;
    case AngleUnit::Radians:
        break;
    }
    return 1e-6;
}

const char *angleUnitName(AngleUnit unit)
{
    switch (unit) {
    case AngleUnit::Dms:
        return "DMS";
    case AngleUnit::Grades:
        return "GRD";
    case AngleUnit::Radians:
        break;
    }
    return "RAD";
}

const char *smallAngleUnitSymbol(AngleUnit unit)
{
    switch (unit) {
    case AngleUnit::Dms:
        return "\"";
    case AngleUnit::Grades:
        return "cc";
    case AngleUnit::Radians:
        break;
    }
    return "urad";
}

std::optional<double> parseAngle(std::string_view field, AngleUnit unit, std::string &error,
                                 AngleRange range)
{
    std::string text = trim(field);
    if (text.empty()) {
        error = fr("angle absent");
        return std::nullopt;
    }
    double sign = 1.0;
    switch (text[0]) {
    case 'N':
    case 'n':
    case 'E':
    case 'e':
    case '+':
        text.erase(0, 1);
        break;
    case 'S':
    case 's':
    case 'W':
    case 'w':
    case 'O':
    case 'o':
    case '-':
        sign = -1.0;
        text.erase(0, 1);
        break;
    default:
        break;
    }
    const std::vector<std::string_view> parts = words(text);
    if (parts.empty() || parts.size() > 3) {
        error = fr("angle illisible « ") + std::string(trim(field)) +
                fr(" » : de une à trois parties sont attendues");
        return std::nullopt;
    }
    double values[3] = {0.0, 0.0, 0.0};
    for (std::size_t k = 0; k < parts.size(); ++k) {
        const auto value = parseNumber(parts[k]);
        if (!value || *value < 0.0 || parts[k][0] == '-') {
            error = fr("angle illisible « ") + std::string(trim(field)) + fr(" »");
            return std::nullopt;
        }
        values[k] = *value;
    }
    const double subdivision = unit == AngleUnit::Dms ? 60.0 : 100.0;
    if (unit == AngleUnit::Radians) {
        if (values[1] != 0.0 || values[2] != 0.0) {
            error = fr("angle en radians « ") + std::string(trim(field)) +
                    fr(" » : une seule valeur est attendue");
            return std::nullopt;
        }
    } else if (values[1] >= subdivision || values[2] >= subdivision) {
        error = fr("angle « ") + std::string(trim(field)) +
                (unit == AngleUnit::Dms ? fr(" » : minutes et secondes vont de 0 à 60")
                                        : fr(" » : les deux dernières parties vont de 0 à 100"));
        return std::nullopt;
    }
    const double value =
        sign * (values[0] + values[1] / subdivision + values[2] / (subdivision * subdivision));
    const double circle = unit == AngleUnit::Dms      ? 360.0
                          : unit == AngleUnit::Grades ? 400.0
                                                      : 2.0 * kPi;
    if (range == AngleRange::Circle && !(std::fabs(value) < circle)) {
        error = fr("angle « ") + std::string(trim(field)) +
                fr(" » hors limites : moins d'un tour (") +
                fr(unit == AngleUnit::Dms      ? "360°"
                   : unit == AngleUnit::Grades ? "400 gon"
                                               : "2 pi rad") +
                fr(") est attendu");
        return std::nullopt;
    }
    if (range == AngleRange::HalfCircle && !(value >= 0.0 && value <= circle / 2.0)) {
        error = fr("angle zénithal « ") + std::string(trim(field)) +
                fr(" » hors limites : de 0 à un demi-tour (") +
                fr(unit == AngleUnit::Dms      ? "180°"
                   : unit == AngleUnit::Grades ? "200 gon"
                                               : "pi rad") +
                fr(") est attendu");
        return std::nullopt;
    }
    return value * angleUnitInRadians(unit);
}

std::string formatAngle(double radians, AngleUnit unit, int decimals)
{
    if (!std::isfinite(radians))
        return "*";
    if (unit != AngleUnit::Dms) {
        // Round first, so that a value just under the full circle prints as 0, not 400.
        const int places = decimals + (unit == AngleUnit::Grades ? 4 : 6);
        const double circle = 2.0 * kPi / angleUnitInRadians(unit);
        const double scale = std::pow(10.0, places);
        double value = std::round(radians / angleUnitInRadians(unit) * scale) / scale;
        if (std::fabs(value) >= circle)
            value = std::fmod(value, circle);
        return fixed(value, 0, places);
    }
    const bool negative = radians < 0.0;
    // Round to the printed seconds first so that 59.9999 seconds never prints as 60.
    const double scale = std::pow(10.0, decimals);
    double totalSeconds =
        std::round(std::fabs(radians) / smallAngleUnitInRadians(unit) * scale) / scale;
    if (totalSeconds >= 1296000.0)
        totalSeconds = std::fmod(totalSeconds, 1296000.0);
    const double degrees = std::floor(totalSeconds / 3600.0);
    const double minutes = std::floor((totalSeconds - degrees * 3600.0) / 60.0);
    const double seconds = totalSeconds - degrees * 3600.0 - minutes * 60.0;
    std::string text = negative ? "-" : "";
    text += fixed(degrees, 0, 0) + " " + padLeft(fixed(minutes, 0, 0), 2) + " " +
            padLeft(fixed(seconds, 0, decimals), decimals + 3);
    return text;
}

double wrapAngle(double angle)
{
    if (!std::isfinite(angle))
        return angle;
    angle = std::fmod(angle, 2.0 * kPi);
    if (angle <= -kPi)
        angle += 2.0 * kPi;
    else if (angle > kPi)
        angle -= 2.0 * kPi;
    return angle;
}

double normalizeAngle(double angle)
{
    if (!std::isfinite(angle))
        return angle;
    angle = std::fmod(angle, 2.0 * kPi);
    if (angle < 0.0)
        angle += 2.0 * kPi;
    if (angle >= 2.0 * kPi)
        angle = 0.0;
    return angle;
}

} // namespace engine
