#ifndef EDITORSEARCH_H
#define EDITORSEARCH_H

#include <QList>
#include <QTextEdit>

// Searches behind the find dialog, on any text editor. Both ignore case and accept partial words.

enum class SearchDirection { Forward, Backward };

// Looks for `text` from the editor's cursor, without wrapping at the end or start of the document.
// Found: the occurrence becomes the selection and is scrolled into view. Not found: false, and the
// cursor and selection stay as they were.
bool findInEditor(QTextEdit &editor, const QString &text, SearchDirection direction);

// Every occurrence of `text` in `document`, each as an extra selection on a light grey background.
QList<QTextEdit::ExtraSelection> occurrenceSelections(QTextDocument *document, const QString &text);

#endif // EDITORSEARCH_H
