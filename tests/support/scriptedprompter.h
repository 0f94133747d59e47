#ifndef SCRIPTEDPROMPTER_H
#define SCRIPTEDPROMPTER_H

#include "prompts.h"

#include <QList>
#include <QQueue>

// Answers prompts in tests: records every request and replies from queues filled by the test.
// Installed for its lifetime; an unscripted message box answers its default button (or the first
// of its buttons), an unscripted file dialog is cancelled. An answered file dialog selects the
// next entry of `selectedFilters`, or its filter's first entry when that queue is empty.
class ScriptedPrompter : public Prompter
{
public:
    ScriptedPrompter();
    ~ScriptedPrompter() override;

    QMessageBox::StandardButton message(QWidget *parent, const MessageRequest &request) override;
    FileDialogAnswer fileDialog(QWidget *parent, const FileDialogRequest &request) override;
    // Answers the next of `integers`; cancelled when that queue is empty.
    std::optional<int> integer(QWidget *parent, const IntegerRequest &request) override;

    QQueue<QMessageBox::StandardButton> answers;
    QQueue<QStringList> files;
    QQueue<QString> selectedFilters;
    QList<MessageRequest> messages;
    QList<FileDialogRequest> dialogs;
    QQueue<int> integers;
    QList<IntegerRequest> integerRequests;
};

#endif // SCRIPTEDPROMPTER_H
