#ifndef MDICHILD_H
#define MDICHILD_H

#include "textfile.h"

#include <QDateTime>
#include <QTextEdit>

class Highlighter;

// The plain-text editor of one observation file, engine report or configuration file, shown in a
// tab of the main window. It names new documents, loads and saves Latin-1 files keeping their
// line endings, marks unsaved changes in its title, offers to reload its file when another
// program changed it, and asks before unsaved work is lost.
class MdiChild : public QTextEdit
{
    Q_OBJECT

public:
    // With `syntax`, the document is coloured as an observation file.
    explicit MdiChild(bool syntax, QWidget *parent = nullptr);

    // Names a new untitled document "documentN.iob".
    void newFile();
    // Replaces the text by the file's; shows a warning and changes nothing when it cannot be read.
    bool loadFile(const QString &path);
    bool save();
    bool saveAs();
    // Writes the text to `path`; shows a warning and leaves the file on disk whole on failure.
    bool saveFile(const QString &path);
    QString userFriendlyCurrentFile() const;
    QString currentFile() const { return curFile; }
    // Before a processing run: offers to save unsaved changes; true when they were saved.
    bool askSaveBeforeProcess();
    // Before closing: true when the document may go (saved, unchanged or changes discarded).
    bool maybeSave();

    bool hasSyntax() const { return highlighter != nullptr; }
    // The line holding the cursor as the field editor shows it: its first character kept, the
    // rest without surrounding blanks.
    QString fieldEditorLine() const;

signals:
    void showCursorPos(int l, int c);

protected:
    void closeEvent(QCloseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

private slots:
    void documentWasModified();
    void cursorAsMoved();

private:
    void setCurrentFile(const QString &path);
    // The text as stored: lines separated by '\n', non-breaking spaces kept.
    QString documentText() const;
    // Asks before a text holding characters that Latin-1 cannot store is written to `path`.
    bool confirmLatin1(const QString &text, const QString &path);
    void checkFileOnDisk();

    QDateTime lastModified;
    // Set while the reload question is on screen and until the focus it took comes back.
    bool asking = false;
    QString curFile;
    bool isUntitled = true;
    Highlighter *highlighter = nullptr;
    LineEnding lineEnding = platformLineEnding();

    static int sequenceNumber;
};

#endif // MDICHILD_H
