#include "helpbrowser.h"

#include "helppages.h"

#include <QDesktopServices>
#include <QUrl>

HelpBrowser::HelpBrowser(QWidget *parent)
    : QTextBrowser(parent)
{
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &HelpBrowser::follow);
}

void HelpBrowser::follow(const QUrl &address)
{
    if (address.scheme() == QLatin1String("tavlo"))
        showPage(address.toString());
    else if (address.isRelative() && address.path().isEmpty() && address.hasFragment())
        scrollToAnchor(address.fragment());
    else
        QDesktopServices::openUrl(address);
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
