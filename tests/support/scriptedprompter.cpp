#include "scriptedprompter.h"

#include <QPrinter>

ScriptedPrompter::ScriptedPrompter()
{
    prompts::setPrompter(this);
}

ScriptedPrompter::~ScriptedPrompter()
{
    prompts::setPrompter(nullptr);
}

QMessageBox::StandardButton ScriptedPrompter::message(QWidget *, const MessageRequest &request)
{
    messages.append(request);
    if (!answers.isEmpty())
        return answers.dequeue();
    if (request.defaultButton != QMessageBox::NoButton)
        return request.defaultButton;
    for (int bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1) {
        if (request.buttons & bit)
            return QMessageBox::StandardButton(bit);
    }
    return QMessageBox::Ok;
}

FileDialogAnswer ScriptedPrompter::fileDialog(QWidget *, const FileDialogRequest &request)
{
    dialogs.append(request);
    FileDialogAnswer answer;
    if (files.isEmpty())
        return answer;
    answer.paths = files.dequeue();
    if (!selectedFilters.isEmpty())
        answer.selectedFilter = selectedFilters.dequeue();
    return answer;
}

bool ScriptedPrompter::printDialog(QWidget *, QPrinter &printer)
{
    ++printDialogs;
    if (printFiles.isEmpty())
        return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(printFiles.dequeue());
    return true;
}

std::optional<int> ScriptedPrompter::integer(QWidget *, const IntegerRequest &request)
{
    integerRequests.append(request);
    if (integers.isEmpty())
        return std::nullopt;
    return integers.dequeue();
}
