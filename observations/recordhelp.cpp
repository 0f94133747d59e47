#include "recordhelp.h"

#include "recordline.h"

#include <QCoreApplication>

namespace {

constexpr char kLengthUnits[] = "m |cm|mm";
// Columns 2 to 5 hold the record's code.
constexpr int kCodeLastColumn = 5;
// An observed angle (DIR, AZIM, ZANG) is written in 15 columns, in the unit in force.
constexpr int kObservedAngleWidth = 15;
// An angle of 7 columns holds degrees and minutes only.
constexpr int kDegreesMinutesWidth = 7;

QString tr(const char *text)
{
    return QCoreApplication::translate("RecordHelp", text);
}

const FieldSpec *lengthUnitField(const RecordType &type)
{
    for (const FieldSpec &field : type.fields) {
        if (field.kind == FieldKind::Choice && field.choices == QLatin1String(kLengthUnits))
            return &field;
    }
    return nullptr;
}

bool hasObservedAngle(const RecordType &type)
{
    for (const FieldSpec &field : type.fields) {
        if (field.kind == FieldKind::AngleDms && field.width == kObservedAngleWidth)
            return true;
    }
    return false;
}

QString engineNote(const RecordType &type)
{
    return RecordCatalogue::engineReads(type.code)
               ? tr("Lu par le moteur de calcul.")
               : tr("Pas encore traité par le moteur de calcul : une ligne de ce type est une "
                    "erreur à sa ligne dans le rapport.");
}

QString cell(const QString &text)
{
    return QStringLiteral("<td>") + text.toHtmlEscaped() + QStringLiteral("</td>");
}

} // namespace

QString fieldName(const FieldSpec &field)
{
    QString name = field.caption.trimmed();
    if (name.endsWith(QLatin1Char(':')))
        name.chop(1);
    return name.trimmed();
}

QString fieldColumns(const FieldSpec &field)
{
    if (field.width <= 1)
        return tr("col. %1").arg(field.column);
    return tr("col. %1–%2").arg(field.column).arg(field.lastColumn());
}

QString fieldUnit(const RecordType &type, int index)
{
    if (index < 0 || index >= type.fields.size())
        return QString();
    const FieldSpec &field = type.fields.at(index);
    const QString name = fieldName(field);
    switch (field.kind) {
    case FieldKind::Choice:
        return field.choices == QLatin1String(kLengthUnits) ? tr("m, cm ou mm") : QString();
    case FieldKind::Text:
    case FieldKind::FixFlags:
        return QString();
    case FieldKind::AngleDecimal:
        return tr("degrés décimaux");
    case FieldKind::AngleDms:
        if (field.width == kObservedAngleWidth)
            return tr("unité d'angle en vigueur (ANGT) : DMS, GRD ou RAD");
        if (field.width == kDegreesMinutesWidth)
            return tr("degrés et minutes");
        return tr("degrés, minutes et secondes");
    case FieldKind::Number:
        break;
    }
    if (name.startsWith(QLatin1String("PPM")))
        return tr("ppm (mm/km)");
    if (name.startsWith(QLatin1String("Facteur")) || name.startsWith(QLatin1String("Coef.")))
        return tr("sans unité");
    if (hasObservedAngle(type))
        return tr("secondes d'arc, décimilligrades ou microradians, selon l'unité d'angle");
    if (const FieldSpec *unit = lengthUnitField(type))
        return tr("celle du champ Unité (%1)").arg(fieldColumns(*unit));
    return QString();
}

int fieldAtColumn(const RecordType &type, int column)
{
    for (int i = 0; i < type.fields.size(); ++i) {
        const FieldSpec &field = type.fields.at(i);
        if (column >= field.column && column <= field.lastColumn())
            return i;
    }
    return -1;
}

QString fieldReadout(const RecordCatalogue &catalogue, const QString &line, int column)
{
    if (line.startsWith(QLatin1Char('#')))
        return QString();
    const int index = catalogue.indexOf(lineCode(line));
    if (index < 0)
        return QString();
    const RecordType &type = catalogue.at(index);
    const QString separator = QStringLiteral(" · ");
    if (column <= kCodeLastColumn)
        return type.code + separator + type.description;
    const int field = fieldAtColumn(type, column);
    if (field < 0)
        return type.code + separator + tr("col. %1, entre les champs").arg(column);
    const FieldSpec &spec = type.fields.at(field);
    return type.code + separator + fieldName(spec) + QStringLiteral(", ") + fieldColumns(spec);
}

QString recordIndexAddress()
{
    return QStringLiteral("tavlo:records");
}

QString recordPageAddress(const QString &code)
{
    return QStringLiteral("tavlo:record/") + code;
}

QString recordPageCode(const QString &address)
{
    const QString prefix = QStringLiteral("tavlo:record/");
    return address.startsWith(prefix) ? address.mid(prefix.size()) : QString();
}

QString recordIndexHtml(const RecordCatalogue &catalogue)
{
    QString html = QStringLiteral("<h1>") + tr("Formats des enregistrements").toHtmlEscaped() +
                   QStringLiteral("</h1><p>") +
                   tr("Une ligne d'enregistrement a un blanc en colonne 1, son code en colonnes 2 "
                      "à 5 et ses champs à des colonnes fixes. Une ligne qui commence par \"!\" ou "
                      "\"*\" est un commentaire, \"#include\" inclut un autre fichier IOB. Les "
                      "colonnes se comptent à partir de 1, un caractère par colonne.")
                       .toHtmlEscaped() +
                   QStringLiteral("</p><p>") +
                   tr("Dans l'éditeur, F1 sur une ligne d'enregistrement ouvre la page de son "
                      "type.")
                       .toHtmlEscaped() +
                   QStringLiteral("</p><table border=\"1\" cellspacing=\"0\" cellpadding=\"3\">"
                                  "<tr><th>") +
                   tr("Code").toHtmlEscaped() + QStringLiteral("</th><th>") +
                   tr("Description").toHtmlEscaped() + QStringLiteral("</th><th>") +
                   tr("Moteur").toHtmlEscaped() + QStringLiteral("</th></tr>");
    for (const RecordType &type : catalogue.types()) {
        html += QStringLiteral("<tr><td><a href=\"") + recordPageAddress(type.code) +
                QStringLiteral("\">") + type.code.toHtmlEscaped() + QStringLiteral("</a></td>") +
                cell(type.description) +
                cell(RecordCatalogue::engineReads(type.code) ? tr("lu") : tr("pas encore")) +
                QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

QString recordPageHtml(const RecordType &type)
{
    QString html = QStringLiteral("<h1>") + type.code.toHtmlEscaped() + QStringLiteral(" – ") +
                   type.description.toHtmlEscaped() + QStringLiteral("</h1><p>") +
                   engineNote(type).toHtmlEscaped() +
                   QStringLiteral("</p><table border=\"1\" cellspacing=\"0\" cellpadding=\"3\">"
                                  "<tr><th>") +
                   tr("Colonnes").toHtmlEscaped() + QStringLiteral("</th><th>") +
                   tr("Largeur").toHtmlEscaped() + QStringLiteral("</th><th>") +
                   tr("Champ").toHtmlEscaped() + QStringLiteral("</th><th>") +
                   tr("Unité").toHtmlEscaped() + QStringLiteral("</th><th>") +
                   tr("Contenu").toHtmlEscaped() + QStringLiteral("</th></tr>");
    html += QStringLiteral("<tr>") + cell(QStringLiteral("2–5")) + cell(QStringLiteral("4")) +
            cell(tr("Code")) + cell(QString()) + cell(tr("\"%1\" cadré à gauche").arg(type.code)) +
            QStringLiteral("</tr>");
    for (int i = 0; i < type.fields.size(); ++i) {
        const FieldSpec &field = type.fields.at(i);
        QString content = field.tooltip;
        if (field.kind == FieldKind::Choice)
            content += tr(" ; au choix : %1")
                           .arg(field.choiceItems()
                                    .replaceInStrings(QStringLiteral(" "), QStringLiteral("␣"))
                                    .join(QStringLiteral(", ")));
        const QString columns =
            field.width <= 1 ? QString::number(field.column)
                             : QStringLiteral("%1–%2").arg(field.column).arg(field.lastColumn());
        html += QStringLiteral("<tr>") + cell(columns) + cell(QString::number(field.width)) +
                cell(fieldName(field)) + cell(fieldUnit(type, i)) + cell(content) +
                QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table><p><a href=\"") + recordIndexAddress() + QStringLiteral("\">") +
            tr("Tous les formats d'enregistrement").toHtmlEscaped() + QStringLiteral("</a></p>");
    return html;
}
