#include "frmabout.h"

#include "enginelibrary.h"
#include "productinfo.h"
#include "tavloversion.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTextDocument>
#include <QTextEdit>

#include <memory>

frmAbout::frmAbout(QWidget *parent)
    : QDialog(parent, Qt::Tool)
{
    setWindowTitle(tr("A propos de Tavlo"));

    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("picture"));
    picture->setFixedSize(250, 220);
    picture->setScaledContents(true);
    picture->setPixmap(QPixmap(QStringLiteral(":/images/tavlo.png")));

    auto *text = new QTextEdit(this);
    text->setObjectName(QStringLiteral("text"));
    QFont font(QStringLiteral("Arial"), 12);
    font.setFixedPitch(true);
    text->setFont(font);
    text->setReadOnly(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text->setHtml(
        productTitleHtml() + QStringLiteral("<br><br><i>") + productAuthorLine().toHtmlEscaped() +
        QStringLiteral("<br>") + productLaboratoryLine().toHtmlEscaped() +
        QStringLiteral("</i><br><br><b>") + tr("Version DLL : ") + QStringLiteral("</b>") +
        EngineLibrary::engineVersion().toHtmlEscaped() + QStringLiteral("<br><b>") +
        tr("Version IHM : ") + QStringLiteral("</b> ") + QString::fromLatin1(TAVLO_VERSION_DATE));

    // Wide and high enough for the whole text without wrapping or scrolling. Measured on a copy:
    // the view gives its own document the width of its viewport.
    const std::unique_ptr<QTextDocument> probe(text->document()->clone());
    probe->setTextWidth(-1);
    probe->setTextWidth(probe->idealWidth());
    const QSize natural = probe->size().toSize();
    text->setMinimumSize(natural + 2 * QSize(text->frameWidth(), text->frameWidth()) + QSize(2, 2));

    auto *layout = new QHBoxLayout(this);
    layout->setAlignment(Qt::AlignCenter);
    layout->addWidget(picture);
    layout->addWidget(text);
}
