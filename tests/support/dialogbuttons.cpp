#include "dialogbuttons.h"

#include <QPushButton>

QPushButton *button(const QWidget &dialog, const QString &text, int occurrence)
{
    for (QPushButton *candidate : dialog.findChildren<QPushButton *>()) {
        if (candidate->text() == text && occurrence-- == 0)
            return candidate;
    }
    qFatal("no button %s", qPrintable(text));
}
