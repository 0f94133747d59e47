#ifndef PROMPTS_H
#define PROMPTS_H

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <optional>

class QPrinter;
class QWidget;

// Every message box and file dialog of the workbench goes through these functions, so that tests
// can install a Prompter that records the question and answers it instead of the user.
enum class MessageKind { Information, Warning, Question, About };

struct MessageRequest
{
    MessageKind kind = MessageKind::Information;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

enum class FileDialogKind { OpenFile, OpenFiles, SaveFile };

struct FileDialogRequest
{
    FileDialogKind kind = FileDialogKind::OpenFile;
    QString caption;
    QString directory;
    QString filter;
};

struct FileDialogAnswer
{
    QStringList paths; // empty when the dialog was cancelled
    // The entry of the request's filter that was selected; empty stands for its first entry.
    QString selectedFilter;
};

struct IntegerRequest
{
    QString title;
    QString label;
    int value = 0;
    int minimum = 0;
    int maximum = 0;
};

class Prompter
{
public:
    virtual ~Prompter() = default;
    virtual QMessageBox::StandardButton message(QWidget *parent, const MessageRequest &request) = 0;
    virtual FileDialogAnswer fileDialog(QWidget *parent, const FileDialogRequest &request) = 0;
    // Lets the user choose the printer and its settings for `printer`; false when cancelled. A
    // prompter that has no answer for it cancels.
    virtual bool printDialog(QWidget * /*parent*/, QPrinter & /*printer*/) { return false; }
    // The number chosen, or nothing when the dialog was cancelled; a prompter that does not answer
    // numbers cancels.
    virtual std::optional<int> integer(QWidget *parent, const IntegerRequest &request);
};

namespace prompts {

// Installs `prompter` for every later prompt (not owned); nullptr restores the real dialogs.
void setPrompter(Prompter *prompter);

QMessageBox::StandardButton information(QWidget *parent, const QString &title, const QString &text);
QMessageBox::StandardButton
warning(QWidget *parent, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
QMessageBox::StandardButton question(QWidget *parent, const QString &title, const QString &text,
                                     QMessageBox::StandardButtons buttons,
                                     QMessageBox::StandardButton defaultButton);
// The print dialog for `printer`: true when the user chose to print.
bool print(QWidget *parent, QPrinter &printer);
// The plain "about" style box: the application icon and one OK button.
void about(QWidget *parent, const QString &title, const QString &text);

// A whole number from `minimum` to `maximum`, `value` proposed; nothing when cancelled.
std::optional<int> integer(QWidget *parent, const QString &title, const QString &label, int value,
                           int minimum, int maximum);

QString openFileName(QWidget *parent, const QString &caption, const QString &directory,
                     const QString &filter);
QStringList openFileNames(QWidget *parent, const QString &caption, const QString &directory,
                          const QString &filter);
// A name typed without extension gets the one of the selected filter entry ("essai" saved as
// "Fichier CFG (*.cfg)" is "essai.cfg"), and replacing an existing file of that name is asked
// first: the dialog could only confirm the name as typed.
QString saveFileName(QWidget *parent, const QString &caption, const QString &directory,
                     const QString &filter);

// `path` with the extension of the filter entry `selectedFilter` of `filter` (its first entry when
// `selectedFilter` is none of them) when the file name has no extension at all; unchanged when the
// entry's first pattern has no plain extension ("*.*", "*").
QString withFilterExtension(const QString &path, const QString &filter,
                            const QString &selectedFilter);

} // namespace prompts

#endif // PROMPTS_H
