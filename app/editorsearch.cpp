#include "editorsearch.h"

#include <QTextDocument>

bool findInEditor(QTextEdit &editor, const QString &text, SearchDirection direction)
{
    return editor.find(text, direction == SearchDirection::Backward ? QTextDocument::FindBackward
                                                                    : QTextDocument::FindFlags());
}

QList<QTextEdit::ExtraSelection> occurrenceSelections(QTextDocument *document, const QString &text)
{
    QList<QTextEdit::ExtraSelection> selections;
    if (text.isEmpty())
        return selections;
    QTextCursor cursor(document);
    while (true) {
        cursor = document->find(text, cursor);
        if (cursor.isNull())
            break;
        QTextEdit::ExtraSelection selection;
        selection.cursor = cursor;
        selection.format.setBackground(QBrush(Qt::lightGray, Qt::SolidPattern));
        selections.append(selection);
    }
    return selections;
}
