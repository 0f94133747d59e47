#include "helpbrowser.h"

#include "helppages.h"

#include <QUrl>

HelpBrowser::HelpBrowser(QWidget *parent)
    : QTextBrowser(parent)
{
    setOpenExternalLinks(true);
}

bool HelpBrowser::showPage(const QString &address)
{
    const HelpPage page = helpPage(address);
    if (!page.found)
        return false;
    setSource(QUrl(address),
              page.markdown ? QTextDocument::MarkdownResource : QTextDocument::HtmlResource);
    return true;
}

QVariant HelpBrowser::loadResource(int type, const QUrl &name)
{
    if (name.scheme() != QLatin1String("tavlo"))
        return QTextBrowser::loadResource(type, name);
    const HelpPage page = helpPage(name.toString());
    return page.found ? QVariant(page.text) : QVariant();
}
