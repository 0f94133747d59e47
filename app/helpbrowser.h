#ifndef HELPBROWSER_H
#define HELPBROWSER_H

#include <QTextBrowser>

// A text browser that reads the help's own addresses ("tavlo:...") from the help pages, Markdown
// pages through Qt's Markdown reader, and hands web addresses to the desktop's browser.
class HelpBrowser : public QTextBrowser
{
    Q_OBJECT

public:
    explicit HelpBrowser(QWidget *parent = nullptr);

    // Shows the page at `address`; false, and the page unchanged, when there is none.
    bool showPage(const QString &address);

    QVariant loadResource(int type, const QUrl &name) override;

private slots:
    // The help's own addresses open here; anchors in a page scroll to them; web addresses open
    // in the desktop's browser (the text browser would hand the help's addresses there too).
    void follow(const QUrl &address);
};

#endif // HELPBROWSER_H
