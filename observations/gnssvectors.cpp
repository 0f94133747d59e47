#include "gnssvectors.h"

#include "recordline.h"
#include "sharedhelpers.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kCovFieldDecimals = 3;

// The fields the tool reads and writes, at the columns of the record catalogue.
struct BaselineFields
{
    FieldSpec station; // of the DXYZ vector line
    FieldSpec target;
    FieldSpec factor; // "Facteur ALL" of the COV matrix header
    FieldSpec ppm;    // "PPM DIAG" of the COV matrix header
};

const BaselineFields &baselineFields()
{
    static const BaselineFields fields = [] {
        const RecordCatalogue catalogue;
        const RecordType &vector = catalogue.at(catalogue.indexOf(QStringLiteral("DXYZ")));
        const RecordType &matrix = catalogue.at(catalogue.indexOf(QStringLiteral("COV")));
        return BaselineFields{vector.fields.at(0), vector.fields.at(1), matrix.fields.at(3),
                              matrix.fields.at(6)};
    }();
    return fields;
}

double covarianceNumber(const QString &line, const FieldSpec &field)
{
    // A blank or unreadable field counts as 0.
    return readField(line, field).toDouble();
}

// `text` written over the field's columns, the line first padded with blanks when it is shorter.
void putField(QString &line, const FieldSpec &field, const QString &text)
{
    const int end = field.column - 1 + text.size();
    if (line.size() < end)
        line = line.leftJustified(end, QLatin1Char(' '));
    line.replace(field.column - 1, text.size(), text);
}

QString covarianceField(double value, double neutral, const FieldSpec &field)
{
    return value == neutral ? QString(field.width, QLatin1Char(' '))
                            : formatFixed(value, field.width, kCovFieldDecimals);
}

bool isBlockLine(const QString &code)
{
    return code == QLatin1String("3DD") || code == QLatin1String("ELEM") ||
           code == QLatin1String("COV") || code == QLatin1String("DXYZ");
}

} // namespace

GnssVectorSummary readGnssVectors(const QString &text)
{
    const BaselineFields &fields = baselineFields();
    GnssVectorSummary summary;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString code = lineCode(line);
        if (code == QLatin1String("3DD")) {
            GnssBaseline baseline;
            baseline.active = line.startsWith(QLatin1Char(' '));
            summary.baselines.append(baseline);
        } else if (code == QLatin1String("COV")) {
            summary.factor = covarianceNumber(line, fields.factor);
            summary.ppm = covarianceNumber(line, fields.ppm);
        } else if (code == QLatin1String("DXYZ") && !summary.baselines.isEmpty()) {
            GnssBaseline &baseline = summary.baselines.last();
            baseline.station = readField(line, fields.station);
            baseline.target = readField(line, fields.target);
        }
    }
    return summary;
}

QString rewriteGnssVectors(const QString &text, const QVector<bool> &active, double factor,
                           double ppm)
{
    const BaselineFields &fields = baselineFields();
    const QString factorText = covarianceField(factor, 1.0, fields.factor);
    const QString ppmText = covarianceField(ppm, 0.0, fields.ppm);
    QStringList lines = text.split(QLatin1Char('\n'));
    int block = -1;
    for (QString &line : lines) {
        const QString code = lineCode(line);
        if (code == QLatin1String("3DD"))
            ++block;
        if (block < 0 || block >= active.size() || !isBlockLine(code))
            continue;
        line[0] = active.at(block) ? QLatin1Char(' ') : QLatin1Char('*');
        if (code == QLatin1String("COV")) {
            putField(line, fields.factor, factorText);
            putField(line, fields.ppm, ppmText);
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QString factorFieldText(double factor)
{
    return factor == 0.0 ? QStringLiteral("1")
                         : formatFixed(factor, baselineFields().factor.width, kCovFieldDecimals);
}

QString ppmFieldText(double ppm)
{
    return formatFixed(ppm, baselineFields().ppm.width, kCovFieldDecimals);
}

bool parseCovarianceValue(const QString &text, double &value)
{
    bool ok = false;
    const double number = normaliseDecimal(text).toDouble(&ok);
    const int width = std::min(baselineFields().factor.width, baselineFields().ppm.width);
    if (!ok || !std::isfinite(number) ||
        formatFixed(number, width, kCovFieldDecimals).size() > width)
        return false;
    value = number;
    return true;
}
