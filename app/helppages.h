#ifndef HELPPAGES_H
#define HELPPAGES_H

#include <QString>

// The pages of the help window, by address: the contents with how a run goes ("tavlo:index"),
// the record formats read from the record catalogue ("tavlo:records" and one page per record),
// and the engine's manual, docs/engine.md embedded at build time ("tavlo:engine.md").

struct HelpPage
{
    bool found = false;
    bool markdown = false; // the text is Markdown, else HTML
    QString text;
};

QString helpIndexAddress();
QString engineManualAddress();

HelpPage helpPage(const QString &address);

// docs/engine.md as the program carries it.
QString engineManualMarkdown();

#endif // HELPPAGES_H
