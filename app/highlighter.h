#ifndef HIGHLIGHTER_H
#define HIGHLIGHTER_H

#include <QStringList>
#include <QSyntaxHighlighter>

class QTextDocument;

// Colours observation files by the first character of each line: record codes of record lines
// (blank in column 1) dark red, comment lines dark green, the word "#include" of include lines
// blue. Only the text colour changes; no state is carried from one line to the next.
class Highlighter : public QSyntaxHighlighter
{
    Q_OBJECT

public:
    explicit Highlighter(QTextDocument *document);

protected:
    void highlightBlock(const QString &text) override;

private:
    // Record codes coloured as keywords, stored without surrounding blanks.
    QStringList keywords;
};

#endif // HIGHLIGHTER_H
