#include "helppages.h"

#include "recordcatalogue.h"
#include "recordhelp.h"

#include <QCoreApplication>
#include <QFile>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("HelpPages", text);
}

QString paragraph(const QString &text)
{
    return QStringLiteral("<p>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

QString link(const QString &address, const QString &text)
{
    return QStringLiteral("<a href=\"") + address + QStringLiteral("\">") + text.toHtmlEscaped() +
           QStringLiteral("</a>");
}

QString indexHtml()
{
    const QStringList steps = {
        tr("Ecrire le fichier d'observations (.iob) dans l'éditeur : une ligne par "
           "enregistrement, chaque champ à ses colonnes. L'éditeur de champs (F7) remplit les "
           "colonnes à partir d'un formulaire ; la ligne d'état indique le champ sous le curseur."),
        tr("Créer un fichier de configuration (Traitement, \"Créer un fichier CFG\") puis le "
           "régler (\"Editer un fichier CFG\") : modèle, unités, tests, régions de confiance."),
        tr("Ouvrir \"Lancer le traitement...\", choisir les fichiers IOB et le fichier CFG, puis "
           "\"Lancer le traitement\". Le moteur traite les fichiers l'un après l'autre ; les "
           "fichiers modifiés dans l'éditeur peuvent être sauvés avant."),
        tr("Le moteur écrit à côté de chaque fichier IOB son rapport (.log), son fichier de "
           "résultats (.fic) et, si la configuration le demande, le dessin du réseau (.drw)."),
        tr("Le bilan du calcul donne l'issue de chaque fichier ; de là s'ouvrent le rapport et la "
           "fenêtre des résidus, d'où une observation mène à sa ligne dans le rapport ou dans le "
           "fichier IOB."),
        tr("\"Afficher le réseau\" dessine le réseau ajusté avec ses ellipses de confiance et ses "
           "rectangles de fiabilité."),
    };
    QString html = QStringLiteral("<h1>") + tr("Aide de Tavlo").toHtmlEscaped() +
                   QStringLiteral("</h1><h2>") + tr("Déroulement d'un traitement").toHtmlEscaped() +
                   QStringLiteral("</h2><ol>");
    for (const QString &step : steps)
        html += QStringLiteral("<li>") + step.toHtmlEscaped() + QStringLiteral("</li>");
    html += QStringLiteral("</ol>");
    html += paragraph(tr("Un fichier qui échoue le dit dans son rapport : la ligne fautive, la "
                         "colonne et la raison. La page des formats indique les types "
                         "d'enregistrement que le moteur lit."));
    html += QStringLiteral("<h2>") + tr("Sommaire").toHtmlEscaped() + QStringLiteral("</h2><ul>");
    html += QStringLiteral("<li>") +
            link(recordIndexAddress(), tr("Formats des enregistrements des fichiers IOB")) +
            QStringLiteral("</li><li>") +
            link(engineManualAddress(), tr("Manuel du moteur de calcul (en anglais)")) +
            QStringLiteral("</li></ul>");
    return html;
}

} // namespace

QString helpIndexAddress()
{
    return QStringLiteral("tavlo:index");
}

QString engineManualAddress()
{
    return QStringLiteral("tavlo:engine.md");
}

QString engineManualMarkdown()
{
    // The manual lives in this static library: its resource is registered by the first reader.
    Q_INIT_RESOURCE(help);
    QFile file(QStringLiteral(":/help/engine.md"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

HelpPage helpPage(const QString &address)
{
    HelpPage page;
    if (address == helpIndexAddress()) {
        page.text = indexHtml();
    } else if (address == recordIndexAddress()) {
        page.text = recordIndexHtml(RecordCatalogue());
    } else if (address == engineManualAddress()) {
        page.text = engineManualMarkdown();
        page.markdown = true;
    } else {
        const RecordCatalogue catalogue;
        const int index = catalogue.indexOf(recordPageCode(address));
        if (index < 0)
            return page;
        page.text = recordPageHtml(catalogue.at(index));
    }
    page.found = !page.text.isEmpty();
    return page;
}
