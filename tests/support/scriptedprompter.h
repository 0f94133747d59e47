#ifndef SCRIPTEDPROMPTER_H
#define SCRIPTEDPROMPTER_H

#include "prompts.h"

#include <QList>
#include <QQueue>

// Answers prompts in tests: records every request and replies from queues filled by the test.
// Installed for its lifetime; an unscripted message box answers its default button (or the first
// of its buttons), an unscripted file or print dialog is cancelled. A print dialog answered from
// `printFiles` prints to that PDF file. An answered file dialog selects the
// next entry of `selectedFilters`, or its filter's first entry when that queue is empty.
class ScriptedPrompter : public Prompter
{
public:
    ScriptedPrompter();
    ~ScriptedPrompter() override;

    QMessageBox::StandardButton message(QWidget *parent, const MessageRequest &request) override;
    FileDialogAnswer fileDialog(QWidget *parent, const FileDialogRequest &request) override;
    bool printDialog(QWidget *parent, QPrinter &printer) override;
    // Answers the next of `integers`; cancelled when that queue is empty.
    std::optional<int> integer(QWidget *parent, const IntegerRequest &request) override;

    QQueue<QMessageBox::StandardButton> answers;
    QQueue<QStringList> files;
    QQueue<QString> selectedFilters;
    QQueue<QString> printFiles;
    int printDialogs = 0;
    QList<MessageRequest> messages;
    QList<FileDialogRequest> dialogs;
    QQueue<int> integers;
    QList<IntegerRequest> integerRequests;
};

#endif // SCRIPTEDPROMPTER_H
