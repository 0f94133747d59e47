#include "summaryrow.h"

#include "ficresult.h"

#include <QCoreApplication>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("frmBilanCalcul", text);
}

const QString kNone = QStringLiteral("-");

QString countText(int count)
{
    return count < 1 ? kNone : QString::number(count);
}

QString chiSquareText(ChiSquareOutcome outcome)
{
    switch (outcome) {
    case ChiSquareOutcome::Failed:
        return tr("NON");
    case ChiSquareOutcome::Passed:
        return tr("OK");
    case ChiSquareOutcome::NotTested:
        break;
    }
    return kNone;
}

} // namespace

QStringList summaryRowTexts(const FicResult &result)
{
    if (result.status != 0) {
        const QString state = result.status == 1 ? tr("Voir LOG") : tr("FIC");
        return {result.fileName, state, kNone, kNone, kNone, kNone, kNone, kNone};
    }
    return {result.fileName,
            tr("OK"),
            result.calculationType,
            countText(result.observationCount),
            countText(result.unknownCount),
            result.varianceFactor > 0 ? QString::number(result.varianceFactor, 'g', 6) : kNone,
            chiSquareText(result.chiSquareResult),
            QString::number(result.iterationCount)};
}

QString summaryEpochText(const FicResult &result)
{
    if (result.epochNames.isEmpty())
        return QString();
    QStringList numbered;
    for (int i = 0; i < result.epochNames.size(); ++i)
        numbered.append(QStringLiteral("%1 « %2 »").arg(i + 1).arg(result.epochNames.at(i)));
    return tr("Epoques de %1 : %2").arg(result.fileName, numbered.join(QStringLiteral(", ")));
}

QColor summaryChiSquareColour(const FicResult &result)
{
    return result.status == 0 && result.chiSquareResult == ChiSquareOutcome::Failed
               ? summaryStateColour(1)
               : QColor();
}

QColor summaryStateColour(int status)
{
    switch (status) {
    case 0:
        return QColor(Qt::green);
    case 1:
        return QColor(Qt::yellow);
    default:
        return QColor(Qt::red);
    }
}
