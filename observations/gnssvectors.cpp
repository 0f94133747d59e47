#include "gnssvectors.h"

#include "sharedhelpers.h"

#include <QStringList>

#include <cmath>

namespace {

// Fixed columns of the records the tool reads and writes, 1-based first column and width.
constexpr int kCodeColumn = 2;
constexpr int kCodeWidth = 4;
constexpr int kStationColumn = 11;
constexpr int kTargetColumn = 24;
constexpr int kPointWidth = 12;
constexpr int kFactorColumn = 26;
constexpr int kPpmColumn = 59;
constexpr int kCovFieldWidth = 10;
constexpr int kCovFieldDecimals = 3;

QString field(const QString &line, int column, int width)
{
    return line.mid(column - 1, width);
}

QString recordCode(const QString &line)
{
    return field(line, kCodeColumn, kCodeWidth).trimmed();
}

double covarianceNumber(const QString &line, int column)
{
    // A blank or unreadable field counts as 0.
    return field(line, column, kCovFieldWidth).trimmed().toDouble();
}

void putField(QString &line, int column, const QString &text)
{
    const int end = column - 1 + text.size();
    if (line.size() < end)
        line = line.leftJustified(end, QLatin1Char(' '));
    line.replace(column - 1, text.size(), text);
}

QString covarianceField(double value, double neutral)
{
    return value == neutral ? QString(kCovFieldWidth, QLatin1Char(' '))
                            : formatFixed(value, kCovFieldWidth, kCovFieldDecimals);
}

bool isBlockLine(const QString &code)
{
    return code == QLatin1String("3DD") || code == QLatin1String("ELEM") ||
           code == QLatin1String("COV") || code == QLatin1String("DXYZ");
}

} // namespace

GnssVectorSummary readGnssVectors(const QString &text)
{
    GnssVectorSummary summary;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString code = recordCode(line);
        if (code == QLatin1String("3DD")) {
            GnssBaseline baseline;
            baseline.active = line.startsWith(QLatin1Char(' '));
            summary.baselines.append(baseline);
        } else if (code == QLatin1String("COV")) {
            summary.factor = covarianceNumber(line, kFactorColumn);
            summary.ppm = covarianceNumber(line, kPpmColumn);
        } else if (code == QLatin1String("DXYZ") && !summary.baselines.isEmpty()) {
            GnssBaseline &baseline = summary.baselines.last();
            baseline.station = field(line, kStationColumn, kPointWidth).trimmed();
            baseline.target = field(line, kTargetColumn, kPointWidth).trimmed();
        }
    }
    return summary;
}

QString rewriteGnssVectors(const QString &text, const QVector<bool> &active, double factor,
                           double ppm)
{
    const QString factorText = covarianceField(factor, 1.0);
    const QString ppmText = covarianceField(ppm, 0.0);
    QStringList lines = text.split(QLatin1Char('\n'));
    int block = -1;
    for (QString &line : lines) {
        const QString code = recordCode(line);
        if (code == QLatin1String("3DD"))
            ++block;
        if (block < 0 || block >= active.size() || !isBlockLine(code))
            continue;
        line[0] = active.at(block) ? QLatin1Char(' ') : QLatin1Char('*');
        if (code == QLatin1String("COV")) {
            putField(line, kFactorColumn, factorText);
            putField(line, kPpmColumn, ppmText);
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QString factorFieldText(double factor)
{
    return factor == 0.0 ? QStringLiteral("1")
                         : formatFixed(factor, kCovFieldWidth, kCovFieldDecimals);
}

QString ppmFieldText(double ppm)
{
    return formatFixed(ppm, kCovFieldWidth, kCovFieldDecimals);
}

bool parseCovarianceValue(const QString &text, double &value)
{
    bool ok = false;
    const double number = normaliseDecimal(text).toDouble(&ok);
    if (!ok || !std::isfinite(number) ||
        formatFixed(number, kCovFieldWidth, kCovFieldDecimals).size() > kCovFieldWidth)
        return false;
    value = number;
    return true;
}
