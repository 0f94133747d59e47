#include "reportcriticalvalue.h"

#include <QFile>

#include <limits>

namespace {

// The residuals are listed after the statistics: no need to read them.
const QByteArray kResidualHeading = QByteArrayLiteral("INFORMATION SUR LES RESIDUS");
const QByteArray kCaption = QByteArrayLiteral("Valeur critique");
const QByteArray kBound = QByteArrayLiteral("<=");

} // namespace

double reportedCriticalValue(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::numeric_limits<double>::quiet_NaN();
    return reportedCriticalValue(file);
}

double reportedCriticalValue(QIODevice &report)
{
    constexpr double none = std::numeric_limits<double>::quiet_NaN();
    while (!report.atEnd()) {
        const QByteArray line = report.readLine();
        if (line.contains(kResidualHeading))
            break;
        if (!line.trimmed().startsWith(kCaption))
            continue;
        const int bound = line.indexOf(kBound);
        if (bound < 0)
            return none;
        // The number runs up to the next blank.
        const QByteArray rest = line.mid(bound + kBound.size()).trimmed();
        const int end = rest.indexOf(' ');
        bool ok = false;
        const double value = rest.left(end < 0 ? rest.size() : end).toDouble(&ok);
        return ok && value > 0.0 ? value : none;
    }
    return none;
}
