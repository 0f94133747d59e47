#ifndef DIALOGBUTTONS_H
#define DIALOGBUTTONS_H

#include <QString>

class QPushButton;
class QWidget;

// The push button of `dialog` (or any of its descendants) showing `text`, the first one or the
// `occurrence`-th from 0 when several show it. A missing button stops the test program: every
// caller goes on to use the button.
QPushButton *button(const QWidget &dialog, const QString &text, int occurrence = 0);

#endif // DIALOGBUTTONS_H
