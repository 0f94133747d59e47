#include "filesizelimit.h"
#include "highlighter.h"
#include "mdichild.h"
#include "scriptedprompter.h"
#include "testfiles.h"

#include <QDir>
#include <QFocusEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

class tst_MdiChild : public QObject
{
    Q_OBJECT

private slots:
    // Runs first: the document counter belongs to the whole program run.
    void numbering();
    void loadFile();
    void loadMissingFile();
    void modifiedMark();
    void syntaxColouring();
    void openAndSaveKeepsBytes_data();
    void openAndSaveKeepsBytes();
    void nonLatin1Text_data();
    void nonLatin1Text();
    void failedSaveKeepsOldFile();
    void saveUntitledCancelled();
    void saveUntitledChosen();
    void maybeSave_data();
    void maybeSave();
    void closeEventFollowsAnswer_data();
    void closeEventFollowsAnswer();
    void reloadThreshold_data();
    void reloadThreshold();
    void reloadYesReplacesText();
    void reloadNoAsksAgainOnNextFocus();
    void noReloadQuestionWithoutFile();
    void askSaveBeforeProcess_data();
    void askSaveBeforeProcess();
    void cursorPosition();
    void fieldEditorLine_data();
    void fieldEditorLine();

private:
    static void writeBytes(const QString &path, const QByteArray &bytes);
    static void setModificationTime(const QString &path, const QDateTime &time);
    static void focusIn(MdiChild &child);

    QTemporaryDir dir;
};

void tst_MdiChild::writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

void tst_MdiChild::setModificationTime(const QString &path, const QDateTime &time)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(time, QFileDevice::FileModificationTime));
}

void tst_MdiChild::focusIn(MdiChild &child)
{
    QFocusEvent event(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(&child, &event);
}

void tst_MdiChild::numbering()
{
    const QString path = dir.filePath("between.iob");
    writeBytes(path, " TITL x\n");
    {
        MdiChild first(true);
        first.newFile();
        QCOMPARE(first.currentFile(), QStringLiteral("document1.iob"));
        QCOMPARE(first.windowTitle(), QStringLiteral("document1.iob[*]"));
        QCOMPARE(first.toolTip(), QStringLiteral("?"));
        MdiChild loaded(true);
        QVERIFY(loaded.loadFile(path));
    }
    // Documents closed in between do not give their numbers back.
    MdiChild second(true);
    second.newFile();
    QCOMPARE(second.currentFile(), QStringLiteral("document2.iob"));
    MdiChild third(false);
    third.newFile();
    QCOMPARE(third.userFriendlyCurrentFile(), QStringLiteral("document3.iob"));
}

void tst_MdiChild::loadFile()
{
    QDir(dir.path()).mkpath("obs");
    const QString path = dir.filePath("obs/reseau.iob");
    writeBytes(path, " TITL Reseau\n DIST  S01  S02      12.3456\n");
    const QString link = dir.filePath("lien.iob");
    QVERIFY(QFile::link(path, link));

    MdiChild child(true);
    QSignalSpy modified(child.document(), &QTextDocument::modificationChanged);
    QVERIFY(child.loadFile(link));
    QCOMPARE(child.toPlainText(), QStringLiteral(" TITL Reseau\n DIST  S01  S02      12.3456\n"));
    // The canonical path names the file itself; the tool tip keeps the path as given.
    QCOMPARE(child.currentFile(), QFileInfo(path).canonicalFilePath());
    QCOMPARE(child.userFriendlyCurrentFile(), QStringLiteral("reseau.iob"));
    QCOMPARE(child.windowTitle(), QStringLiteral("reseau.iob[*]"));
    QCOMPARE(child.toolTip(), link);
    QVERIFY(!child.document()->isModified());
    QVERIFY(!child.isWindowModified());
}

void tst_MdiChild::loadMissingFile()
{
    ScriptedPrompter prompter;
    MdiChild child(true);
    child.newFile();
    const QString name = child.currentFile();
    const QString path = dir.filePath("absent.iob");

    QVERIFY(!child.loadFile(path));
    QCOMPARE(prompter.messages.size(), 1);
    const MessageRequest &request = prompter.messages.at(0);
    QCOMPARE(int(request.kind), int(MessageKind::Warning));
    QCOMPARE(request.title, QStringLiteral("MDI"));
    QVERIFY2(request.text.startsWith("Impossible de lire le fichier " + path + ":\n"),
             qPrintable(request.text));
    QVERIFY(request.text.endsWith('.'));
    QCOMPARE(request.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(child.currentFile(), name);
    QVERIFY(child.toPlainText().isEmpty());
}

void tst_MdiChild::modifiedMark()
{
    const QString path = dir.filePath("marque.iob");
    writeBytes(path, " HI  S01 1.5\n");
    MdiChild child(true);
    QVERIFY(child.loadFile(path));
    QVERIFY(!child.isWindowModified());

    child.moveCursor(QTextCursor::End);
    child.insertPlainText(" HT  S02 1.6");
    QVERIFY(child.isWindowModified());
    child.undo();
    QCOMPARE(child.toPlainText(), QStringLiteral(" HI  S01 1.5\n"));
    QVERIFY(!child.isWindowModified());
}

void tst_MdiChild::syntaxColouring()
{
    MdiChild coloured(true);
    MdiChild plain(false);
    QVERIFY(coloured.hasSyntax());
    QVERIFY(coloured.document()->findChild<Highlighter *>());
    QVERIFY(!plain.hasSyntax());
    QVERIFY(!plain.document()->findChild<Highlighter *>());
}

void tst_MdiChild::openAndSaveKeepsBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("accents, CRLF")
        << QByteArray("!Lev\xe9 \xe0 la station \xc9GLISE, mars\r\n DIST  S01  \xc9GLISE   "
                      "  12.3456\r\n");
    QTest::newRow("accents, LF") << QByteArray(" TITL R\xe9seau de l'\xeele\n");
    QTest::newRow("no final line end") << QByteArray(" HI  S01 1.5\r\n HT  S02 1.6");
    QTest::newRow("non-breaking space, tab, blank lines") << QByteArray("!a\xa0"
                                                                        "b\tc\r\n\r\n\r\n");
    QTest::newRow("trailing blanks") << QByteArray(" DIST  S01  S02   \r\n   \r\n");
}

void tst_MdiChild::openAndSaveKeepsBytes()
{
    QFETCH(QByteArray, bytes);
    const QString path = dir.filePath("octets.iob");
    writeBytes(path, bytes);

    ScriptedPrompter prompter;
    MdiChild child(true);
    QVERIFY(child.loadFile(path));
    // An edit undone again leaves the text as read.
    child.moveCursor(QTextCursor::End);
    child.insertPlainText("x");
    child.undo();
    QVERIFY(child.save());
    QCOMPARE(fileBytes(path), bytes);
    QVERIFY(prompter.messages.isEmpty());
}

void tst_MdiChild::nonLatin1Text_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("cancel") << int(QMessageBox::Cancel) << false << QByteArray(" HI  S01\r\n");
    QTest::newRow("save anyway") << int(QMessageBox::Save) << true
                                 << QByteArray(" HI  S01\r\n!co\xfbt 5 ?\r\n");
}

void tst_MdiChild::nonLatin1Text()
{
    QFETCH(int, answer);
    QFETCH(bool, saved);
    QFETCH(QByteArray, bytes);

    const QString path = dir.filePath("euro.iob");
    writeBytes(path, " HI  S01\r\n");
    ScriptedPrompter prompter;
    prompter.answers.enqueue(QMessageBox::StandardButton(answer));
    MdiChild child(true);
    QVERIFY(child.loadFile(path));
    child.moveCursor(QTextCursor::End);
    child.insertPlainText(QStringLiteral("!coût 5 €\n"));

    QCOMPARE(child.save(), saved);
    QCOMPARE(prompter.messages.size(), 1);
    const MessageRequest &request = prompter.messages.at(0);
    QCOMPARE(int(request.kind), int(MessageKind::Warning));
    QCOMPARE(request.buttons, QMessageBox::Save | QMessageBox::Cancel);
    QCOMPARE(request.defaultButton, QMessageBox::Cancel);
    // The warning points at the first such character: line 2, column 9.
    QVERIFY2(request.text.contains(QStringLiteral("« € », ligne 2, colonne 9")),
             qPrintable(request.text));
    QCOMPARE(fileBytes(path), bytes);
    QCOMPARE(child.document()->isModified(), !saved);
}

void tst_MdiChild::failedSaveKeepsOldFile()
{
    const QString path = dir.filePath("plein.iob");
    const QByteArray old(" TITL Ancien\r\n DIST  S01  S02      12.3456\r\n");
    writeBytes(path, old);

    ScriptedPrompter prompter;
    MdiChild child(true);
    QVERIFY(child.loadFile(path));
    child.moveCursor(QTextCursor::End);
    child.insertPlainText(QString(2000, QLatin1Char('x')));

    bool saved = true;
    {
        FileSizeLimit limit(old.size());
        saved = child.save();
    }
    QVERIFY(!saved);
    QCOMPARE(fileBytes(path), old);
    QCOMPARE(QDir(QFileInfo(path).path()).entryList({"plein*"}, QDir::Files),
             QStringList{"plein.iob"});
    QCOMPARE(prompter.messages.size(), 1);
    QCOMPARE(prompter.messages.at(0).title, QStringLiteral("Tavlo"));
    QVERIFY2(
        prompter.messages.at(0).text.startsWith("Impossible d'écrire le fichier " + path + ":\n"),
        qPrintable(prompter.messages.at(0).text));
    QVERIFY(child.document()->isModified());
    QVERIFY(child.isWindowModified());
}

void tst_MdiChild::saveUntitledCancelled()
{
    ScriptedPrompter prompter;
    MdiChild child(true);
    child.newFile();
    const QString name = child.currentFile();
    child.insertPlainText(" HI  S01");

    QVERIFY(!child.save());
    QCOMPARE(prompter.dialogs.size(), 1);
    const FileDialogRequest &request = prompter.dialogs.at(0);
    QCOMPARE(int(request.kind), int(FileDialogKind::SaveFile));
    QCOMPARE(request.caption, QStringLiteral("Sauvegarder sous"));
    QCOMPARE(request.directory, name);
    QCOMPARE(request.filter, QStringLiteral("Fichier IOB (*.iob);;Autre fichier (*.*)"));
    QCOMPARE(child.currentFile(), name);
    QVERIFY(child.document()->isModified());
    QVERIFY(prompter.messages.isEmpty());
}

void tst_MdiChild::saveUntitledChosen()
{
    ScriptedPrompter prompter;
    const QString path = dir.filePath("nouveau.iob");
    prompter.files.enqueue({path});
    MdiChild child(true);
    child.newFile();
    child.insertPlainText(QStringLiteral(" TITL Réseau\n"));

    QVERIFY(child.save());
    QCOMPARE(fileBytes(path), QByteArray(" TITL R\xe9seau\n"));
    QCOMPARE(child.currentFile(), QFileInfo(path).canonicalFilePath());
    QCOMPARE(child.windowTitle(), QStringLiteral("nouveau.iob[*]"));
    QVERIFY(!child.isWindowModified());

    // Titled now: the next save asks for no name.
    child.insertPlainText(" HI  S01\n");
    QVERIFY(child.save());
    QCOMPARE(prompter.dialogs.size(), 1);
    QCOMPARE(fileBytes(path), QByteArray(" TITL R\xe9seau\n HI  S01\n"));
}

void tst_MdiChild::maybeSave_data()
{
    QTest::addColumn<bool>("modified");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("mayGo");
    QTest::addColumn<bool>("written");

    QTest::newRow("unchanged") << false << int(QMessageBox::NoButton) << true << false;
    QTest::newRow("save") << true << int(QMessageBox::Save) << true << true;
    QTest::newRow("discard") << true << int(QMessageBox::Discard) << true << false;
    QTest::newRow("cancel") << true << int(QMessageBox::Cancel) << false << false;
}

void tst_MdiChild::maybeSave()
{
    QFETCH(bool, modified);
    QFETCH(int, answer);
    QFETCH(bool, mayGo);
    QFETCH(bool, written);

    const QString path = dir.filePath("question.iob");
    writeBytes(path, " HI  S01\n");
    ScriptedPrompter prompter;
    prompter.answers.enqueue(QMessageBox::StandardButton(answer));
    MdiChild child(true);
    QVERIFY(child.loadFile(path));
    if (modified)
        child.insertPlainText("!");

    QCOMPARE(child.maybeSave(), mayGo);
    QCOMPARE(fileBytes(path), QByteArray(written ? "! HI  S01\n" : " HI  S01\n"));
    QCOMPARE(prompter.messages.size(), modified ? 1 : 0);
    if (modified) {
        const MessageRequest &request = prompter.messages.at(0);
        QCOMPARE(int(request.kind), int(MessageKind::Warning));
        QCOMPARE(request.title, QStringLiteral("MDI"));
        QCOMPARE(
            request.text,
            QStringLiteral("'question.iob' a ete modifie.\nVoulez vous sauver les changements ?"));
        QCOMPARE(request.buttons, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    }
}

void tst_MdiChild::closeEventFollowsAnswer_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("chooseName");
    QTest::addColumn<bool>("closed");

    QTest::newRow("discard") << int(QMessageBox::Discard) << false << true;
    QTest::newRow("cancel") << int(QMessageBox::Cancel) << false << false;
    QTest::newRow("save, name chosen") << int(QMessageBox::Save) << true << true;
    QTest::newRow("save, name dialog cancelled") << int(QMessageBox::Save) << false << false;
}

void tst_MdiChild::closeEventFollowsAnswer()
{
    QFETCH(int, answer);
    QFETCH(bool, chooseName);
    QFETCH(bool, closed);

    ScriptedPrompter prompter;
    prompter.answers.enqueue(QMessageBox::StandardButton(answer));
    const QString path = dir.filePath("ferme.iob");
    QFile::remove(path);
    if (chooseName)
        prompter.files.enqueue({path});

    QPointer<MdiChild> child = new MdiChild(true);
    child->newFile();
    child->insertPlainText(" HI  S01");
    child->show();
    QCOMPARE(child->close(), closed);
    QCOMPARE(QFile::exists(path), chooseName);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(child.isNull(), closed);
    delete child;
}

void tst_MdiChild::reloadThreshold_data()
{
    QTest::addColumn<int>("shiftMs");
    QTest::addColumn<bool>("asked");

    QTest::newRow("unchanged") << 0 << false;
    QTest::newRow("50 ms later") << 50 << false;
    QTest::newRow("50 ms earlier") << -50 << false;
    QTest::newRow("100 ms later") << 100 << false;
    QTest::newRow("101 ms later") << 101 << true;
    QTest::newRow("150 ms later") << 150 << true;
    QTest::newRow("150 ms earlier") << -150 << true;
    QTest::newRow("an hour later") << 3600 * 1000 << true;
}

void tst_MdiChild::reloadThreshold()
{
    QFETCH(int, shiftMs);
    QFETCH(bool, asked);

    const QString path = dir.filePath("seuil.iob");
    writeBytes(path, " HI  S01\n");
    const QDateTime read = QDateTime::currentDateTime().addSecs(-60);
    setModificationTime(path, read);
    ScriptedPrompter prompter;
    prompter.answers.enqueue(QMessageBox::No);
    MdiChild child(true);
    QVERIFY(child.loadFile(path));

    setModificationTime(path, read.addMSecs(shiftMs));
    focusIn(child);
    QCOMPARE(prompter.messages.size(), asked ? 1 : 0);
    if (asked) {
        const MessageRequest &request = prompter.messages.at(0);
        QCOMPARE(int(request.kind), int(MessageKind::Question));
        QCOMPARE(request.title, QStringLiteral("Modification du contenu d'un fichier' ?"));
        QCOMPARE(request.text, "Le fichier " + child.currentFile() +
                                   " a été modifié. Voulez vous le recharger ?");
        QCOMPARE(request.buttons, QMessageBox::Yes | QMessageBox::No);
        // Without unsaved changes, reloading is the safe answer.
        QCOMPARE(request.defaultButton, QMessageBox::Yes);
    }
}

void tst_MdiChild::reloadYesReplacesText()
{
    const QString path = dir.filePath("recharge.iob");
    writeBytes(path, " HI  S01\n");
    setModificationTime(path, QDateTime::currentDateTime().addSecs(-60));
    ScriptedPrompter prompter;
    prompter.answers.enqueue(QMessageBox::Yes);
    MdiChild child(true);
    QVERIFY(child.loadFile(path));
    child.insertPlainText("!");

    writeBytes(path, " HT  S02\n");
    setModificationTime(path, QDateTime::currentDateTime());
    focusIn(child);
    QCOMPARE(prompter.messages.size(), 1);
    // Reloading would lose the unsaved change: keeping it is the default.
    QCOMPARE(prompter.messages.first().defaultButton, QMessageBox::No);
    QCOMPARE(child.toPlainText(), QStringLiteral(" HT  S02\n"));
    QVERIFY(!child.isWindowModified());

    // The reload took the new time: later focus changes ask nothing.
    focusIn(child);
    focusIn(child);
    QCOMPARE(prompter.messages.size(), 1);
}

void tst_MdiChild::reloadNoAsksAgainOnNextFocus()
{
    QWidget window;
    auto *child = new MdiChild(true, &window);
    auto *other = new QLineEdit(&window);
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(child);
    layout->addWidget(other);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    other->setFocus();

    const QString path = dir.filePath("refus.iob");
    writeBytes(path, " HI  S01\n");
    setModificationTime(path, QDateTime::currentDateTime().addSecs(-60));
    ScriptedPrompter prompter;
    prompter.answers.enqueue(QMessageBox::No);
    prompter.answers.enqueue(QMessageBox::No);
    QVERIFY(child->loadFile(path));
    setModificationTime(path, QDateTime::currentDateTime());

    child->setFocus();
    QVERIFY(child->hasFocus());
    QCOMPARE(prompter.messages.size(), 1);
    QCOMPARE(child->toPlainText(), QStringLiteral(" HI  S01\n"));

    other->setFocus();
    child->setFocus();
    QCOMPARE(prompter.messages.size(), 2);
}

void tst_MdiChild::noReloadQuestionWithoutFile()
{
    ScriptedPrompter prompter;
    MdiChild untitled(true);
    untitled.newFile();
    focusIn(untitled);

    const QString path = dir.filePath("efface.iob");
    writeBytes(path, " HI  S01\n");
    MdiChild removed(true);
    QVERIFY(removed.loadFile(path));
    QVERIFY(QFile::remove(path));
    focusIn(removed);
    QVERIFY(prompter.messages.isEmpty());
}

void tst_MdiChild::askSaveBeforeProcess_data()
{
    QTest::addColumn<bool>("modified");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("result");

    QTest::newRow("unchanged") << false << int(QMessageBox::NoButton) << false;
    QTest::newRow("yes") << true << int(QMessageBox::Yes) << true;
    QTest::newRow("no") << true << int(QMessageBox::No) << false;
}

void tst_MdiChild::askSaveBeforeProcess()
{
    QFETCH(bool, modified);
    QFETCH(int, answer);
    QFETCH(bool, result);

    const QString path = dir.filePath("calcul.iob");
    writeBytes(path, " HI  S01\n");
    ScriptedPrompter prompter;
    prompter.answers.enqueue(QMessageBox::StandardButton(answer));
    MdiChild child(true);
    QVERIFY(child.loadFile(path));
    if (modified)
        child.insertPlainText("!");

    QCOMPARE(child.askSaveBeforeProcess(), result);
    QCOMPARE(fileBytes(path), QByteArray(result ? "! HI  S01\n" : " HI  S01\n"));
    QCOMPARE(prompter.messages.size(), modified ? 1 : 0);
    if (modified) {
        const MessageRequest &request = prompter.messages.at(0);
        QCOMPARE(int(request.kind), int(MessageKind::Question));
        QCOMPARE(request.title, QStringLiteral("Attention : fichier non sauvé"));
        QCOMPARE(request.text, "Le fichier " + child.currentFile() +
                                   " a été modifié. Souhaitez vous prendre en compte les "
                                   "dernières modifications dans le traitement ?");
        QCOMPARE(request.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(request.defaultButton, QMessageBox::No);
    }
}

void tst_MdiChild::cursorPosition()
{
    MdiChild child(true);
    child.setPlainText(" HI  S01\n DIST  S01  S02");
    QSignalSpy spy(&child, &MdiChild::showCursorPos);
    QTextCursor cursor = child.textCursor();
    cursor.setPosition(13);
    child.setTextCursor(cursor);
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), 2);
    QCOMPARE(spy.at(0).at(1).toInt(), 5);
}

void tst_MdiChild::fieldEditorLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");

    QTest::newRow("record line") << " DIST  S01  S02   12.3  "
                                 << " DIST  S01  S02   12.3";
    QTest::newRow("commented record") << "!  DIST  S01  "
                                      << "!DIST  S01";
    QTest::newRow("include") << "#include  a.iob "
                             << "#include  a.iob";
    QTest::newRow("blanks only") << "    "
                                 << " ";
    QTest::newRow("empty") << ""
                           << "";
}

void tst_MdiChild::fieldEditorLine()
{
    QFETCH(QString, line);
    QFETCH(QString, expected);

    MdiChild child(true);
    child.setPlainText("!avant\n" + line + "\n!apres");
    QTextCursor cursor = child.textCursor();
    cursor.setPosition(7 + line.size());
    child.setTextCursor(cursor);
    QCOMPARE(child.fieldEditorLine(), expected);
}

QTEST_MAIN(tst_MdiChild)
#include "tst_mdichild.moc"
