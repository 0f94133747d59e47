#include "prompts.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>

namespace {

class WidgetPrompter : public Prompter
{
public:
    QMessageBox::StandardButton message(QWidget *parent, const MessageRequest &request) override
    {
        switch (request.kind) {
        case MessageKind::Information:
            return QMessageBox::information(parent, request.title, request.text, request.buttons,
                                            request.defaultButton);
        case MessageKind::Warning:
            return QMessageBox::warning(parent, request.title, request.text, request.buttons,
                                        request.defaultButton);
        case MessageKind::Question:
            return QMessageBox::question(parent, request.title, request.text, request.buttons,
                                         request.defaultButton);
        case MessageKind::About:
            QMessageBox::about(parent, request.title, request.text);
            return QMessageBox::Ok;
        }
        return QMessageBox::NoButton;
    }

    FileDialogAnswer fileDialog(QWidget *parent, const FileDialogRequest &request) override
    {
        FileDialogAnswer answer;
        switch (request.kind) {
        case FileDialogKind::OpenFile: {
            const QString path = QFileDialog::getOpenFileName(
                parent, request.caption, request.directory, request.filter, &answer.selectedFilter);
            if (!path.isEmpty())
                answer.paths.append(path);
            break;
        }
        case FileDialogKind::OpenFiles:
            answer.paths = QFileDialog::getOpenFileNames(parent, request.caption, request.directory,
                                                         request.filter, &answer.selectedFilter);
            break;
        case FileDialogKind::SaveFile: {
            const QString path = QFileDialog::getSaveFileName(
                parent, request.caption, request.directory, request.filter, &answer.selectedFilter);
            if (!path.isEmpty())
                answer.paths.append(path);
            break;
        }
        }
        return answer;
    }

    bool printDialog(QWidget *parent, QPrinter &printer) override
    {
        QPrintDialog dialog(&printer, parent);
        return dialog.exec() == QDialog::Accepted;
    }

    std::optional<int> integer(QWidget *parent, const IntegerRequest &request) override
    {
        QInputDialog dialog(parent);
        dialog.setWindowTitle(request.title);
        dialog.setLabelText(request.label);
        dialog.setIntRange(request.minimum, request.maximum);
        dialog.setIntValue(request.value);
        dialog.setCancelButtonText(QCoreApplication::translate("prompts", "Annuler"));
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.intValue();
    }
};

WidgetPrompter widgetPrompter;
Prompter *currentPrompter = &widgetPrompter;

QMessageBox::StandardButton ask(QWidget *parent, MessageKind kind, const QString &title,
                                const QString &text, QMessageBox::StandardButtons buttons,
                                QMessageBox::StandardButton defaultButton)
{
    return currentPrompter->message(parent, {kind, title, text, buttons, defaultButton});
}

FileDialogAnswer choose(QWidget *parent, FileDialogKind kind, const QString &caption,
                        const QString &directory, const QString &filter)
{
    return currentPrompter->fileDialog(parent, {kind, caption, directory, filter});
}

// The name patterns of a filter entry: those between its last parentheses, or the whole entry
// when it has none ("*.cfg").
QStringList entryPatterns(const QString &entry)
{
    const int open = entry.lastIndexOf(QLatin1Char('('));
    const int close = entry.lastIndexOf(QLatin1Char(')'));
    const QString patterns =
        open >= 0 && close > open ? entry.mid(open + 1, close - open - 1) : entry;
    return patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

std::optional<int> Prompter::integer(QWidget *, const IntegerRequest &)
{
    return std::nullopt;
}

namespace prompts {

void setPrompter(Prompter *prompter)
{
    currentPrompter = prompter ? prompter : &widgetPrompter;
}

QMessageBox::StandardButton information(QWidget *parent, const QString &title, const QString &text)
{
    return ask(parent, MessageKind::Information, title, text, QMessageBox::Ok,
               QMessageBox::NoButton);
}

QMessageBox::StandardButton warning(QWidget *parent, const QString &title, const QString &text,
                                    QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton)
{
    return ask(parent, MessageKind::Warning, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton question(QWidget *parent, const QString &title, const QString &text,
                                     QMessageBox::StandardButtons buttons,
                                     QMessageBox::StandardButton defaultButton)
{
    return ask(parent, MessageKind::Question, title, text, buttons, defaultButton);
}

bool print(QWidget *parent, QPrinter &printer)
{
    return currentPrompter->printDialog(parent, printer);
}

void about(QWidget *parent, const QString &title, const QString &text)
{
    ask(parent, MessageKind::About, title, text, QMessageBox::Ok, QMessageBox::NoButton);
}

std::optional<int> integer(QWidget *parent, const QString &title, const QString &label, int value,
                           int minimum, int maximum)
{
    const std::optional<int> answer =
        currentPrompter->integer(parent, {title, label, value, minimum, maximum});
    // A dialog keeps its number within bounds; a scripted answer is held to them too.
    if (answer && (*answer < minimum || *answer > maximum))
        return std::nullopt;
    return answer;
}

QString openFileName(QWidget *parent, const QString &caption, const QString &directory,
                     const QString &filter)
{
    return choose(parent, FileDialogKind::OpenFile, caption, directory, filter).paths.value(0);
}

QStringList openFileNames(QWidget *parent, const QString &caption, const QString &directory,
                          const QString &filter)
{
    return choose(parent, FileDialogKind::OpenFiles, caption, directory, filter).paths;
}

QString saveFileName(QWidget *parent, const QString &caption, const QString &directory,
                     const QString &filter)
{
    QString proposed = directory;
    for (;;) {
        const FileDialogAnswer answer =
            choose(parent, FileDialogKind::SaveFile, caption, proposed, filter);
        const QString chosen = answer.paths.value(0);
        if (chosen.isEmpty())
            return QString();
        const QString path = withFilterExtension(chosen, filter, answer.selectedFilter);
        if (path == chosen || !QFileInfo::exists(path))
            return path;
        const QString text =
            QCoreApplication::translate("prompts",
                                        "Le fichier %1 existe déjà.\nVoulez-vous le remplacer ?")
                .arg(QFileInfo(path).fileName());
        if (question(parent, caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
            QMessageBox::Yes)
            return path;
        // Back to the dialog, on the name it would have replaced, for another one.
        proposed = path;
    }
}

QString withFilterExtension(const QString &path, const QString &filter,
                            const QString &selectedFilter)
{
    const QString name = QFileInfo(path).fileName();
    if (name.isEmpty() || name.contains(QLatin1Char('.')))
        return path;
    const QStringList entries = filter.split(QStringLiteral(";;"), Qt::SkipEmptyParts);
    const QString entry = entries.contains(selectedFilter) ? selectedFilter : entries.value(0);
    const QString pattern = entryPatterns(entry).value(0);
    if (!pattern.startsWith(QLatin1String("*.")))
        return path;
    const QString extension = pattern.mid(2);
    static const QRegularExpression wildcard(QStringLiteral("[*?\\[\\]]"));
    if (extension.isEmpty() || extension.contains(wildcard))
        return path;
    return path + QLatin1Char('.') + extension;
}

} // namespace prompts
