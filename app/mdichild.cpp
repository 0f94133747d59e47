#include "mdichild.h"

#include "highlighter.h"
#include "prompts.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextBlock>

namespace {

// Shows the busy cursor for the lifetime of the guard.
class BusyCursor
{
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

// A modification time further than this from the one last seen means another program wrote the
// file; smaller differences come from file systems that round times.
constexpr qint64 ReloadThresholdMs = 100;

} // namespace

int MdiChild::sequenceNumber = 1;

MdiChild::MdiChild(bool syntax, QWidget *parent)
    : QTextEdit(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setStyleSheet(QStringLiteral("color: black; background-color: white; selection-color: white; "
                                 "selection-background-color: #B18904;"));
    setAcceptRichText(false);
    setLineWrapMode(QTextEdit::NoWrap);
    QFont font(QStringLiteral("Courier"), 11);
    font.setFixedPitch(true);
    font.setStyleHint(QFont::TypeWriter);
    setFont(font);

    if (syntax)
        highlighter = new Highlighter(document());

    connect(document(), &QTextDocument::contentsChanged, this, &MdiChild::documentWasModified);
    connect(this, &QTextEdit::cursorPositionChanged, this, &MdiChild::cursorAsMoved);
}

void MdiChild::newFile()
{
    isUntitled = true;
    curFile = tr("document%1.iob").arg(sequenceNumber++);
    setWindowTitle(curFile + QStringLiteral("[*]"));
    setToolTip(QStringLiteral("?"));
}

bool MdiChild::loadFile(const QString &path)
{
    TextFileContent content;
    QString error;
    bool read = false;
    {
        BusyCursor busy;
        read = readTextFile(path, content, error);
        if (read)
            setPlainText(content.text);
    }
    if (!read) {
        prompts::warning(this, tr("MDI"),
                         tr("Impossible de lire le fichier %1:\n%2.").arg(path, error));
        return false;
    }
    lineEnding = content.lineEnding;
    setCurrentFile(path);
    lastModified = QFileInfo(path).lastModified();
    return true;
}

bool MdiChild::save()
{
    return isUntitled ? saveAs() : saveFile(curFile);
}

bool MdiChild::saveAs()
{
    const QString path = prompts::saveFileName(this, tr("Sauvegarder sous"), curFile,
                                               tr("Fichier IOB (*.iob);;Autre fichier (*.*)"));
    if (path.isEmpty())
        return false;
    return saveFile(path);
}

bool MdiChild::saveFile(const QString &path)
{
    const QString text = documentText();
    if (!confirmLatin1(text, path))
        return false;

    QString error;
    bool written = false;
    {
        BusyCursor busy;
        written = writeTextFile(path, {text, lineEnding}, error);
    }
    if (!written) {
        prompts::warning(this, tr("Tavlo"),
                         tr("Impossible d'écrire le fichier %1:\n%2.").arg(path, error));
        return false;
    }
    setCurrentFile(path);
    lastModified = QFileInfo(path).lastModified();
    return true;
}

QString MdiChild::userFriendlyCurrentFile() const
{
    return QFileInfo(curFile).fileName();
}

bool MdiChild::askSaveBeforeProcess()
{
    if (!document()->isModified())
        return false;
    const auto answer = prompts::question(
        this, tr("Attention : fichier non sauvé"),
        tr("Le fichier ") + curFile +
            tr(" a été modifié. Souhaitez vous prendre en compte les dernières modifications "
               "dans le traitement ?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes && saveFile(curFile);
}

bool MdiChild::maybeSave()
{
    if (!document()->isModified())
        return true;
    const auto answer =
        prompts::warning(this, tr("MDI"),
                         tr("'%1' a ete modifie.\nVoulez vous sauver les changements ?")
                             .arg(userFriendlyCurrentFile()),
                         QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    if (answer == QMessageBox::Save)
        return save();
    return answer == QMessageBox::Discard;
}

QString MdiChild::fieldEditorLine() const
{
    const QString line = textCursor().block().text();
    return line.left(1) + line.mid(1).trimmed();
}

void MdiChild::closeEvent(QCloseEvent *event)
{
    if (maybeSave())
        event->accept();
    else
        event->ignore();
}

void MdiChild::focusInEvent(QFocusEvent *event)
{
    QTextEdit::focusInEvent(event);
    checkFileOnDisk();
}

void MdiChild::documentWasModified()
{
    setWindowModified(document()->isModified());
}

void MdiChild::cursorAsMoved()
{
    const QTextCursor cursor = textCursor();
    emit showCursorPos(cursor.blockNumber() + 1, cursor.columnNumber() + 1);
}

void MdiChild::setCurrentFile(const QString &path)
{
    curFile = QFileInfo(path).canonicalFilePath();
    isUntitled = false;
    document()->setModified(false);
    setWindowModified(false);
    setWindowTitle(userFriendlyCurrentFile() + QStringLiteral("[*]"));
    setToolTip(path);
}

QString MdiChild::documentText() const
{
    // toPlainText() would turn non-breaking spaces (byte 0xA0 of Latin-1) into blanks.
    QString text = document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

bool MdiChild::confirmLatin1(const QString &text, const QString &path)
{
    const int index = firstNonLatin1Character(text);
    if (index < 0)
        return true;
    const int line = text.leftRef(index).count(QLatin1Char('\n')) + 1;
    const int column = index - text.lastIndexOf(QLatin1Char('\n'), index - 1);
    const int length = text.at(index).isHighSurrogate() ? 2 : 1;
    const auto answer = prompts::warning(
        this, tr("Tavlo"),
        tr("Le fichier %1 contient des caractères que le codage Latin-1 ne peut pas "
           "enregistrer (le premier, « %2 », ligne %3, colonne %4).\n"
           "Ils seront remplacés par « ? ». Voulez vous sauver quand même ?")
            .arg(path, text.mid(index, length))
            .arg(line)
            .arg(column),
        QMessageBox::Save | QMessageBox::Cancel, QMessageBox::Cancel);
    return answer == QMessageBox::Save;
}

void MdiChild::checkFileOnDisk()
{
    if (asking) {
        // The focus came back from the question box itself.
        asking = false;
        return;
    }
    const QDateTime current = QFileInfo(curFile).lastModified();
    if (!current.isValid() || !lastModified.isValid() ||
        qAbs(lastModified.msecsTo(current)) <= ReloadThresholdMs)
        return;

    asking = true;
    // The safe answer is the default: without unsaved changes reloading loses nothing, while a
    // stale text saved later would write over the file's new content (the GNSS tool's, say).
    const QMessageBox::StandardButton safe =
        document()->isModified() ? QMessageBox::No : QMessageBox::Yes;
    const auto answer = prompts::question(this, tr("Modification du contenu d'un fichier' ?"),
                                          tr("Le fichier ") + curFile +
                                              tr(" a été modifié. Voulez vous le recharger ?"),
                                          QMessageBox::Yes | QMessageBox::No, safe);
    if (answer == QMessageBox::Yes)
        loadFile(curFile);
    // Where the box gave the focus back before returning, that focus-in has passed already;
    // elsewhere it arrives later and must not raise the question again.
    asking = !hasFocus();
}
