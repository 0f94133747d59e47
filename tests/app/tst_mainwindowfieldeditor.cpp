#include "dialogbuttons.h"
#include "frmeditoriob.h"
#include "mainwindow.h"
#include "mdichild.h"
#include "placedline.h"
#include "scriptedprompter.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QtTest>

// The main window's side of the field editor: opening it on the current line, finding it again,
// and the lines it adds, replaces and steps through in the active editor.
class tst_MainWindowFieldEditor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void nothingWithoutEditorWindow();
    void opensOnCurrentLine();
    void reusedWhileItExists();
    void steppingStopsAtFirstAndLastLines();
    void addsAndReplacesLines();
    void tooLongValueLeavesDocumentUnchanged();
    void replaceAfterAJumpAsks_data();
    void replaceAfterAJumpAsks();
    void replaceOfAnEditedLineAsks_data();
    void replaceOfAnEditedLineAsks();

private:
    void trigger(const QString &actionText);
    void newDocument(const QStringList &lines, int currentLine);
    QList<frmEditorIOB *> fieldEditors() const;
    frmEditorIOB *fieldEditor() const;
    void click(const QString &buttonText);
    int currentLine() const;
    QStringList documentLines() const;

    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<MainWindow> m_window;
};

static QString dirLine(const QString &target)
{
    return placedLine(
        {{2, "DIR"}, {7, "S01"}, {11, "STATION1"}, {24, target}, {50, "       45.1234"}});
}

static QString distLine(const QString &target)
{
    return placedLine({{2, "DIST"},
                       {7, "S01"},
                       {11, "STATION1"},
                       {24, target},
                       {50, "       125.4521"},
                       {66, "     0.003"},
                       {77, "m "}});
}

void tst_MainWindowFieldEditor::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true); // keep the window geometry out of the user's store
}

void tst_MainWindowFieldEditor::init()
{
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_window = std::make_unique<MainWindow>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void tst_MainWindowFieldEditor::cleanup()
{
    if (MdiChild *child = m_window->activeMdiChild())
        child->document()->setModified(false);
    m_window.reset(); // the field editor goes with its parent
    QVERIFY(fieldEditors().isEmpty());
    m_prompter.reset();
}

void tst_MainWindowFieldEditor::trigger(const QString &actionText)
{
    for (QAction *action : m_window->findChildren<QAction *>()) {
        if (action->text() == actionText) {
            action->trigger();
            return;
        }
    }
    QFAIL(qPrintable(QStringLiteral("no action ") + actionText));
}

void tst_MainWindowFieldEditor::newDocument(const QStringList &lines, int line)
{
    trigger(QStringLiteral("&Nouveau"));
    MdiChild *child = m_window->activeMdiChild();
    QVERIFY(child);
    child->setPlainText(lines.join(QLatin1Char('\n')));
    QTextCursor cursor(child->document()->findBlockByNumber(line));
    cursor.movePosition(QTextCursor::Right); // somewhere inside the line
    child->setTextCursor(cursor);
}

QList<frmEditorIOB *> tst_MainWindowFieldEditor::fieldEditors() const
{
    QList<frmEditorIOB *> editors;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *editor = qobject_cast<frmEditorIOB *>(window))
            editors.append(editor);
    }
    return editors;
}

frmEditorIOB *tst_MainWindowFieldEditor::fieldEditor() const
{
    const QList<frmEditorIOB *> editors = fieldEditors();
    return editors.size() == 1 ? editors.first() : nullptr;
}

void tst_MainWindowFieldEditor::click(const QString &buttonText)
{
    button(*fieldEditor(), buttonText)->click();
}

int tst_MainWindowFieldEditor::currentLine() const
{
    return m_window->activeMdiChild()->textCursor().blockNumber();
}

QStringList tst_MainWindowFieldEditor::documentLines() const
{
    return m_window->activeMdiChild()->toPlainText().split(QLatin1Char('\n'));
}

static QComboBox *selector(frmEditorIOB *editor)
{
    return editor->findChild<QComboBox *>(QStringLiteral("entrySelector"));
}

static QString firstEdit(frmEditorIOB *editor)
{
    return editor->findChild<QLineEdit *>(QStringLiteral("fieldEdit0"))->text();
}

void tst_MainWindowFieldEditor::nothingWithoutEditorWindow()
{
    trigger(QStringLiteral("Editeur..."));
    QVERIFY(fieldEditors().isEmpty());
}

void tst_MainWindowFieldEditor::opensOnCurrentLine()
{
    newDocument({QStringLiteral("* en-tete"), distLine(QStringLiteral("CIBLE2"))}, 1);
    trigger(QStringLiteral("Editeur..."));

    frmEditorIOB *editor = fieldEditor();
    QVERIFY(editor);
    QCOMPARE(editor->windowTitle(), QStringLiteral("Editeur de Champs"));
    QCOMPARE(editor->parentWidget(), m_window.get());
    QVERIFY(editor->isVisible());
    QCOMPARE(selector(editor)->currentText(), QStringLiteral("DIST Distance 3D entre deux points"));
    QCOMPARE(editor->findChild<QLineEdit *>(QStringLiteral("fieldEdit2"))->text(),
             QStringLiteral("CIBLE2"));
}

void tst_MainWindowFieldEditor::reusedWhileItExists()
{
    newDocument({QStringLiteral("* en-tete"), QStringLiteral("#include data.iob")}, 0);
    trigger(QStringLiteral("Editeur..."));
    frmEditorIOB *first = fieldEditor();
    QVERIFY(first);

    click(QStringLiteral("Quitter"));
    QVERIFY(!first->isVisible());

    QTextCursor cursor = m_window->activeMdiChild()->textCursor();
    cursor.movePosition(QTextCursor::Down);
    m_window->activeMdiChild()->setTextCursor(cursor);
    trigger(QStringLiteral("Editeur..."));
    QCOMPARE(fieldEditors().size(), 1);
    QCOMPARE(fieldEditor(), first);
    QVERIFY(first->isVisible());
    QCOMPARE(selector(first)->currentIndex(), first->includeEntry());
    QCOMPARE(firstEdit(first), QStringLiteral("data.iob"));
}

void tst_MainWindowFieldEditor::steppingStopsAtFirstAndLastLines()
{
    const QStringList lines{QStringLiteral("*premiere"), distLine(QStringLiteral("CIBLE2")),
                            distLine(QStringLiteral("DERNIERE"))};
    newDocument(lines, 0);
    trigger(QStringLiteral("Editeur..."));
    frmEditorIOB *editor = fieldEditor();
    QVERIFY(editor);
    auto *target = editor->findChild<QLineEdit *>(QStringLiteral("fieldEdit2"));

    click(QStringLiteral("Ligne precedente"));
    QCOMPARE(currentLine(), 0);
    QCOMPARE(selector(editor)->currentIndex(), editor->commentEntry());
    QCOMPARE(firstEdit(editor), QStringLiteral("*premiere"));

    click(QStringLiteral("Ligne suivante"));
    QCOMPARE(currentLine(), 1);
    QCOMPARE(target->text(), QStringLiteral("CIBLE2"));

    click(QStringLiteral("Ligne suivante"));
    QCOMPARE(currentLine(), 2);
    QCOMPARE(target->text(), QStringLiteral("DERNIERE"));

    target->setText(QStringLiteral("MODIFIE")); // redrawn from the line handed over again
    click(QStringLiteral("Ligne suivante"));
    QCOMPARE(currentLine(), 2);
    QCOMPARE(target->text(), QStringLiteral("DERNIERE"));

    click(QStringLiteral("Ligne precedente"));
    QCOMPARE(currentLine(), 1);
    QCOMPARE(target->text(), QStringLiteral("CIBLE2"));
    QCOMPARE(documentLines(), lines);
}

void tst_MainWindowFieldEditor::addsAndReplacesLines()
{
    newDocument({QStringLiteral("* premiere"), QStringLiteral("!") + distLine("CIBLE2").mid(1),
                 QStringLiteral("* derniere")},
                1);
    trigger(QStringLiteral("Editeur..."));
    frmEditorIOB *editor = fieldEditor();
    QVERIFY(editor);

    click(QStringLiteral("Remplacer"));
    QCOMPARE(documentLines(), QStringList({QStringLiteral("* premiere"), distLine("CIBLE2"),
                                           QStringLiteral("* derniere")}));

    editor->findChild<QLineEdit *>(QStringLiteral("fieldEdit2"))->setText(QStringLiteral("AUTRE"));
    click(QStringLiteral("Ajouter"));
    QCOMPARE(documentLines(), QStringList({QStringLiteral("* premiere"), distLine("CIBLE2"),
                                           distLine("AUTRE"), QStringLiteral("* derniere")}));
    QCOMPARE(currentLine(), 2);
    QVERIFY(m_prompter->messages.isEmpty());
}

void tst_MainWindowFieldEditor::tooLongValueLeavesDocumentUnchanged()
{
    const QStringList lines{QStringLiteral("* premiere"), distLine(QStringLiteral("CIBLE2"))};
    newDocument(lines, 1);
    trigger(QStringLiteral("Editeur..."));
    frmEditorIOB *editor = fieldEditor();
    QVERIFY(editor);
    editor->findChild<QLineEdit *>(QStringLiteral("fieldEdit4"))->setText("12345678901");

    click(QStringLiteral("Remplacer"));
    click(QStringLiteral("Ajouter"));
    QCOMPARE(documentLines(), lines);
    QVERIFY(!m_window->activeMdiChild()->document()->isModified());
    QCOMPARE(m_prompter->messages.size(), 2);
    QVERIFY(m_prompter->messages.at(0).text.contains(QStringLiteral("\"Ecart-type\"")));
}

void tst_MainWindowFieldEditor::replaceAfterAJumpAsks_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("replacedLine"); // -1: none
    QTest::newRow("Cancel, the default, replaces nothing") << int(QMessageBox::Cancel) << -1;
    QTest::newRow("Yes replaces the line the form was filled from") << int(QMessageBox::Yes) << 0;
    QTest::newRow("No replaces the cursor's line") << int(QMessageBox::No) << 1;
}

void tst_MainWindowFieldEditor::replaceAfterAJumpAsks()
{
    // The editor is opened on a DIST line; the residual window then jumps to a DIR line of the
    // same file. "Remplacer" must not overwrite the DIR line with the DIST form unasked.
    QFETCH(int, answer);
    QFETCH(int, replacedLine);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("saut.iob"));
    const QStringList lines{distLine(QStringLiteral("CIBLE2")), dirLine(QStringLiteral("CIBLE3")),
                            QStringLiteral("* fin")};
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(lines.join(QLatin1Char('\n')).toLatin1());
    }
    QVERIFY(m_window->openFile(path));
    trigger(QStringLiteral("Editeur..."));
    frmEditorIOB *editor = fieldEditor();
    QVERIFY(editor);
    editor->findChild<QLineEdit *>(QStringLiteral("fieldEdit2"))->setText(QStringLiteral("AUTRE"));
    m_window->gotoIob(path, 2);
    QCOMPARE(currentLine(), 1);

    m_prompter->answers.enqueue(QMessageBox::StandardButton(answer));
    click(QStringLiteral("Remplacer"));
    QCOMPARE(m_prompter->messages.size(), 1);
    const MessageRequest &question = m_prompter->messages.first();
    QCOMPARE(question.kind, MessageKind::Question);
    QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(question.defaultButton, QMessageBox::Cancel);
    QVERIFY2(question.text.contains(QStringLiteral("ligne 2")) &&
                 question.text.contains(QStringLiteral("ligne 1")),
             qPrintable(question.text));

    QStringList expected = lines;
    if (replacedLine >= 0) {
        expected[replacedLine] = distLine(QStringLiteral("AUTRE"));
        QCOMPARE(currentLine(), replacedLine);
    }
    QCOMPARE(documentLines(), expected);

    // Once replaced, the line is the form's: replacing it again asks nothing.
    if (replacedLine >= 0) {
        click(QStringLiteral("Remplacer"));
        QCOMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(documentLines(), expected);
    }
}

void tst_MainWindowFieldEditor::replaceOfAnEditedLineAsks_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("No, the default, keeps the edit") << int(QMessageBox::No) << false;
    QTest::newRow("Yes replaces it") << int(QMessageBox::Yes) << true;
}

void tst_MainWindowFieldEditor::replaceOfAnEditedLineAsks()
{
    // The line the form was filled from is typed over in the document afterwards.
    QFETCH(int, answer);
    QFETCH(bool, replaced);

    newDocument({QStringLiteral("* premiere"), distLine(QStringLiteral("CIBLE2"))}, 1);
    trigger(QStringLiteral("Editeur..."));
    QVERIFY(fieldEditor());
    QTextCursor cursor = m_window->activeMdiChild()->textCursor();
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.insertText(QStringLiteral(" note"));
    m_window->activeMdiChild()->setTextCursor(cursor);
    const QStringList edited = documentLines();

    m_prompter->answers.enqueue(QMessageBox::StandardButton(answer));
    click(QStringLiteral("Remplacer"));
    QCOMPARE(m_prompter->messages.size(), 1);
    QCOMPARE(m_prompter->messages.first().buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(m_prompter->messages.first().defaultButton, QMessageBox::No);
    QCOMPARE(documentLines(), replaced ? QStringList({QStringLiteral("* premiere"),
                                                      distLine(QStringLiteral("CIBLE2"))})
                                       : edited);
}

QTEST_MAIN(tst_MainWindowFieldEditor)
#include "tst_mainwindowfieldeditor.moc"
