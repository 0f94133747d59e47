#include "prompts.h"

#include <QFileDialog>

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

    QStringList fileDialog(QWidget *parent, const FileDialogRequest &request) override
    {
        switch (request.kind) {
        case FileDialogKind::OpenFile: {
            const QString path = QFileDialog::getOpenFileName(parent, request.caption,
                                                              request.directory, request.filter);
            return path.isEmpty() ? QStringList() : QStringList{path};
        }
        case FileDialogKind::OpenFiles:
            return QFileDialog::getOpenFileNames(parent, request.caption, request.directory,
                                                 request.filter);
        case FileDialogKind::SaveFile: {
            const QString path = QFileDialog::getSaveFileName(parent, request.caption,
                                                              request.directory, request.filter);
            return path.isEmpty() ? QStringList() : QStringList{path};
        }
        }
        return {};
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

QStringList choose(QWidget *parent, FileDialogKind kind, const QString &caption,
                   const QString &directory, const QString &filter)
{
    return currentPrompter->fileDialog(parent, {kind, caption, directory, filter});
}

} // namespace

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

void about(QWidget *parent, const QString &title, const QString &text)
{
    ask(parent, MessageKind::About, title, text, QMessageBox::Ok, QMessageBox::NoButton);
}

QString openFileName(QWidget *parent, const QString &caption, const QString &directory,
                     const QString &filter)
{
    return choose(parent, FileDialogKind::OpenFile, caption, directory, filter).value(0);
}

QStringList openFileNames(QWidget *parent, const QString &caption, const QString &directory,
                          const QString &filter)
{
    return choose(parent, FileDialogKind::OpenFiles, caption, directory, filter);
}

QString saveFileName(QWidget *parent, const QString &caption, const QString &directory,
                     const QString &filter)
{
    return choose(parent, FileDialogKind::SaveFile, caption, directory, filter).value(0);
}

} // namespace prompts
