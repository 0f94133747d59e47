#include "productinfo.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace {

// The title's lines, the letters of the product name between brackets.
QStringList markedTitleLines()
{
    return {
        QCoreApplication::translate("productinfo",
                                    "[T]raitement et [A]justement par moindres carrés"),
        QCoreApplication::translate("productinfo",
                                    "des [V]ecteurs GNSS, des [L]evés et des [O]bservations"),
        QCoreApplication::translate("productinfo", "de réseaux topographiques et géodésiques"),
    };
}

const QRegularExpression &marked()
{
    static const QRegularExpression expression(QStringLiteral("\\[([^\\]]+)\\]"));
    return expression;
}

} // namespace

QStringList productTitleLines()
{
    QStringList lines = markedTitleLines();
    for (QString &line : lines)
        line.replace(marked(), QStringLiteral("\\1"));
    return lines;
}

QString productTitle()
{
    return productTitleLines().join(QLatin1Char(' '));
}

QString productTitleHtml()
{
    QStringList lines = markedTitleLines();
    for (QString &line : lines) {
        line = line.toHtmlEscaped();
        line.replace(marked(), QStringLiteral("<b><font color=\"#c1002a\">\\1</font></b>"));
    }
    return lines.join(QStringLiteral("<br>"));
}

QString productAuthorLine()
{
    return QCoreApplication::translate("productinfo", "Claire Morvan et Étienne Daubrac");
}

QString productLaboratoryLine()
{
    return QCoreApplication::translate("productinfo",
                                       "Laboratoire Brevil de géodésie et de topométrie, Lumo");
}
