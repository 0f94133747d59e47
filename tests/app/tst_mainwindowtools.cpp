#include "dialogbuttons.h"
#include "frmabout.h"
#include "frmconvert.h"
#include "frmfindreplace.h"
#include "frmgeoid.h"
#include "frmsplash.h"
#include "frmvecteurgnss.h"
#include "mainwindow.h"
#include "mdichild.h"
#include "recordingengine.h"
#include "scriptedprompter.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

static void initImages()
{
    Q_INIT_RESOURCE(images);
}

namespace {

const QString kText = QStringLiteral(" DIST  S1  A           B\n"
                                     " ZANG  S1  A           B\n"
                                     " DIST  S1  B           C\n");

template <typename T> QList<T *> topLevels()
{
    QList<T *> windows;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<T *>(widget))
            windows.append(window);
    }
    return windows;
}

void click(QWidget *dialog, const QString &text)
{
    button(*dialog, text)->click();
}

void search(frmFindReplace *dialog, const QString &text, const QString &button)
{
    dialog->findChild<QLineEdit *>()->setText(text);
    click(dialog, button);
}

} // namespace

// The main window's tool slots: find, import, geoid, GNSS tool, about box and version notice.
class tst_MainWindowTools : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void findNeedsAnEditor();
    void findIgnoresCase();
    void findDoesNotWrap();
    void highlightAndClear();
    void closeButtonKeepsHighlighting();
    void twoDialogsOnTheActiveEditor();

    void importAndGeoidFoundAgain_data();
    void importAndGeoidFoundAgain();

    void gnssToolNeedsAnEditor();
    void gnssToolSavesFirst();
    void gnssToolNotOnUnsavedDocument();
    void gnssToolChangesReloadedByDefault();

    void twoAboutBoxes();

    void splashPicture();
    void noVersionNotice();
    void clickHidesSplash();

private:
    QAction *action(const QString &text) const;
    void trigger(const QString &text) { action(text)->trigger(); }
    MdiChild *newDocument(const QString &text);

    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<RecordingEngine> m_engine;
    std::unique_ptr<MainWindow> m_window;
    QTemporaryDir m_dir;
};

void tst_MainWindowTools::initTestCase()
{
    initImages();
    QStandardPaths::setTestModeEnabled(true); // keep the window geometry out of the user's store
}

void tst_MainWindowTools::init()
{
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_engine = std::make_unique<RecordingEngine>();
    m_window = std::make_unique<MainWindow>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void tst_MainWindowTools::cleanup()
{
    for (QMdiSubWindow *sub : m_window->findChild<QMdiArea *>()->subWindowList())
        qobject_cast<MdiChild *>(sub->widget())->document()->setModified(false);
    m_window->close(); // closes every other top-level window too
    m_window.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_engine.reset();
    m_prompter.reset();
}

QAction *tst_MainWindowTools::action(const QString &text) const
{
    for (QAction *candidate : m_window->findChildren<QAction *>()) {
        if (candidate->text() == text)
            return candidate;
    }
    qFatal("no action %s", qPrintable(text));
}

MdiChild *tst_MainWindowTools::newDocument(const QString &text)
{
    trigger(QStringLiteral("&Nouveau"));
    MdiChild *child = m_window->activeMdiChild();
    child->setPlainText(text);
    child->moveCursor(QTextCursor::Start);
    return child;
}

void tst_MainWindowTools::findNeedsAnEditor()
{
    trigger(QStringLiteral("&Rechercher..."));
    QVERIFY(topLevels<frmFindReplace>().isEmpty());
}

void tst_MainWindowTools::findIgnoresCase()
{
    MdiChild *child = newDocument(kText);
    trigger(QStringLiteral("&Rechercher..."));
    QCOMPARE(topLevels<frmFindReplace>().size(), 1);
    frmFindReplace *dialog = topLevels<frmFindReplace>().first();
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->parent());

    search(dialog, QStringLiteral("dist"), QStringLiteral("Cherche suivant"));
    QCOMPARE(child->textCursor().selectedText(), QStringLiteral("DIST"));
    QCOMPARE(child->textCursor().blockNumber(), 0);
    QVERIFY(m_prompter->messages.isEmpty());
}

void tst_MainWindowTools::findDoesNotWrap()
{
    MdiChild *child = newDocument(kText);
    trigger(QStringLiteral("&Rechercher..."));
    frmFindReplace *dialog = topLevels<frmFindReplace>().first();
    search(dialog, QStringLiteral("dist"), QStringLiteral("Cherche suivant"));
    search(dialog, QStringLiteral("dist"), QStringLiteral("Cherche suivant"));
    QCOMPARE(child->textCursor().blockNumber(), 2);
    const int start = child->textCursor().selectionStart();

    search(dialog, QStringLiteral("dist"), QStringLiteral("Cherche suivant"));
    QCOMPARE(m_prompter->messages.size(), 1);
    const MessageRequest message = m_prompter->messages.first();
    QCOMPARE(message.kind, MessageKind::About);
    QCOMPARE(message.title, QStringLiteral("Rechercher"));
    QCOMPARE(message.text, QStringLiteral("dist non trouvé"));
    QCOMPARE(child->textCursor().selectionStart(), start);
    QCOMPARE(child->textCursor().selectedText(), QStringLiteral("DIST"));

    // Backwards: the first occurrence, then nothing before it.
    search(dialog, QStringLiteral("Dist"), QStringLiteral("Cherche precedent"));
    QCOMPARE(child->textCursor().blockNumber(), 0);
    search(dialog, QStringLiteral("Dist"), QStringLiteral("Cherche precedent"));
    QCOMPARE(m_prompter->messages.size(), 2);
    QCOMPARE(m_prompter->messages.last().text, QStringLiteral("Dist non trouvé"));
    QCOMPARE(child->textCursor().blockNumber(), 0);
}

void tst_MainWindowTools::highlightAndClear()
{
    MdiChild *child = newDocument(kText);
    trigger(QStringLiteral("&Rechercher..."));
    QPointer<frmFindReplace> dialog = topLevels<frmFindReplace>().first();

    search(dialog, QStringLiteral("dist"), QStringLiteral("Cherche tout"));
    QCOMPARE(child->extraSelections().size(), 2);
    for (const QTextEdit::ExtraSelection &selection : child->extraSelections())
        QCOMPARE(selection.format.background().color(), QColor(Qt::lightGray));
    QCOMPARE(child->toPlainText(), kText);
    QVERIFY(!child->document()->isModified());

    // A text that is not there removes the older highlighting.
    search(dialog, QStringLiteral("AZIM"), QStringLiteral("Cherche tout"));
    QVERIFY(child->extraSelections().isEmpty());

    search(dialog, QStringLiteral("S1"), QStringLiteral("Cherche tout"));
    QCOMPARE(child->extraSelections().size(), 3);
    click(dialog, QStringLiteral("Quitter"));
    QVERIFY(child->extraSelections().isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(dialog.isNull());
}

void tst_MainWindowTools::closeButtonKeepsHighlighting()
{
    MdiChild *child = newDocument(kText);
    trigger(QStringLiteral("&Rechercher..."));
    frmFindReplace *dialog = topLevels<frmFindReplace>().first();
    search(dialog, QStringLiteral("zang"), QStringLiteral("Cherche tout"));
    dialog->close();
    QCOMPARE(child->extraSelections().size(), 1);
}

void tst_MainWindowTools::twoDialogsOnTheActiveEditor()
{
    MdiChild *first = newDocument(kText);
    MdiChild *second = newDocument(kText);
    trigger(QStringLiteral("&Rechercher..."));
    trigger(QStringLiteral("&Rechercher..."));
    const QList<frmFindReplace *> dialogs = topLevels<frmFindReplace>();
    QCOMPARE(dialogs.size(), 2);

    auto *area = m_window->findChild<QMdiArea *>();
    area->setActiveSubWindow(qobject_cast<QMdiSubWindow *>(first->parentWidget()));
    QCOMPARE(m_window->activeMdiChild(), first);
    search(dialogs.at(0), QStringLiteral("dist"), QStringLiteral("Cherche suivant"));
    search(dialogs.at(1), QStringLiteral("dist"), QStringLiteral("Cherche suivant"));
    QCOMPARE(first->textCursor().blockNumber(), 2);
    QVERIFY(!second->textCursor().hasSelection());

    area->setActiveSubWindow(qobject_cast<QMdiSubWindow *>(second->parentWidget()));
    search(dialogs.at(1), QStringLiteral("zang"), QStringLiteral("Cherche tout"));
    QCOMPARE(second->extraSelections().size(), 1);
    QVERIFY(first->extraSelections().isEmpty());
    // "Quitter" clears the editor active at that moment only.
    area->setActiveSubWindow(qobject_cast<QMdiSubWindow *>(first->parentWidget()));
    click(dialogs.at(0), QStringLiteral("Quitter"));
    QCOMPARE(second->extraSelections().size(), 1);
}

void tst_MainWindowTools::importAndGeoidFoundAgain_data()
{
    QTest::addColumn<QString>("actionText");
    QTest::addColumn<QString>("title");
    QTest::newRow("import") << "Importation de fichier"
                            << "Importation de données externes";
    QTest::newRow("geoid") << "Fichier geoïde Tavlo"
                           << "Création d'un fichier de géoïde pour Tavlo";
}

void tst_MainWindowTools::importAndGeoidFoundAgain()
{
    QFETCH(QString, actionText);
    QFETCH(QString, title);

    const auto titled = [&title] {
        QList<QWidget *> windows;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget->windowTitle() == title)
                windows.append(widget);
        }
        return windows;
    };

    trigger(actionText);
    QCOMPARE(titled().size(), 1);
    QPointer<QWidget> dialog = titled().first();
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->parent());

    // Hidden, then asked for again: the same window comes back.
    dialog->hide();
    trigger(actionText);
    QCOMPARE(titled().size(), 1);
    QCOMPARE(titled().first(), dialog.data());
    QVERIFY(dialog->isVisible());

    click(dialog, QStringLiteral("Quitter"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(dialog.isNull());
    trigger(actionText);
    QCOMPARE(titled().size(), 1);
}

void tst_MainWindowTools::gnssToolNeedsAnEditor()
{
    bool shown = false;
    QTimer::singleShot(0, [&shown] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            shown = true;
            modal->close();
        }
    });
    trigger(QStringLiteral("Outil GNSS"));
    QCoreApplication::processEvents();
    QVERIFY(!shown);
}

void tst_MainWindowTools::gnssToolSavesFirst()
{
    QVERIFY(m_dir.isValid());
    const QString path = m_dir.filePath(QStringLiteral("gnss.iob"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(" 3DD  GPS\n DXYZ     BASE         R101\n");
    }
    QVERIFY(m_window->openFile(path));
    MdiChild *child = m_window->activeMdiChild();
    child->moveCursor(QTextCursor::End);
    child->insertPlainText(QStringLiteral(" 3DD  GPS\n DXYZ     R101         R102\n"));

    QString toolPath;
    int rows = -1;
    QTimer::singleShot(0, [&] {
        auto *tool = qobject_cast<frmVecteurGNSS *>(QApplication::activeModalWidget());
        if (!tool)
            return;
        toolPath = tool->findChild<QLabel *>()->text();
        rows = tool->findChild<QTableWidget *>()->rowCount();
        click(tool, QStringLiteral("Annuler"));
    });
    trigger(QStringLiteral("Outil GNSS"));

    QCOMPARE(toolPath, QFileInfo(path).canonicalFilePath());
    QCOMPARE(rows, 2); // the editor's text was saved before the tool read the file
    QVERIFY(!child->document()->isModified());
}

void tst_MainWindowTools::gnssToolNotOnUnsavedDocument()
{
    newDocument(QStringLiteral(" 3DD  GPS\n"));
    bool shown = false;
    QTimer::singleShot(0, [&shown] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            shown = true;
            modal->close();
        }
    });
    trigger(QStringLiteral("Outil GNSS")); // the save dialog is cancelled
    QCoreApplication::processEvents();
    QCOMPARE(m_prompter->dialogs.size(), 1);
    QCOMPARE(m_prompter->dialogs.first().kind, FileDialogKind::SaveFile);
    QVERIFY(!shown);
    QVERIFY(m_prompter->messages.isEmpty());
}

void tst_MainWindowTools::gnssToolChangesReloadedByDefault()
{
    // Enter on the reload question that follows the tool takes its changes into the editor, so
    // that a later save cannot write the stale text over them.
    QVERIFY(m_dir.isValid());
    const QString path = m_dir.filePath(QStringLiteral("recharge.iob"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            " 3DD  GPS\n DXYZ     BASE         R101\n 3DD  GPS\n DXYZ     R101         R102\n");
    }
    QVERIFY(m_window->openFile(path));
    MdiChild *child = m_window->activeMdiChild();

    QTimer::singleShot(0, [] {
        auto *tool = qobject_cast<frmVecteurGNSS *>(QApplication::activeModalWidget());
        if (!tool)
            return;
        tool->findChild<QTableWidget *>()->item(0, 0)->setCheckState(Qt::Unchecked);
        click(tool, QStringLiteral("Valider"));
    });
    trigger(QStringLiteral("Outil GNSS"));
    // The user spends more than a moment in the tool.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(2),
                             QFileDevice::FileModificationTime));
    const QByteArray rewritten = file.readAll();
    file.close();
    QVERIFY(rewritten.startsWith("*3DD"));

    QFocusEvent focus(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(child, &focus);
    QCOMPARE(m_prompter->messages.size(), 1);
    QCOMPARE(m_prompter->messages.first().defaultButton, QMessageBox::Yes);
    QCOMPARE(child->toPlainText().toLatin1(), rewritten);
    QVERIFY(child->save());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), rewritten);
}

void tst_MainWindowTools::twoAboutBoxes()
{
    m_engine->setVersion("7.0.1");
    trigger(QStringLiteral("&A propos de"));
    trigger(QStringLiteral("&A propos de"));
    const QList<frmAbout *> boxes = topLevels<frmAbout>();
    QCOMPARE(boxes.size(), 2);
    QVERIFY(boxes.at(0)->isVisible() && boxes.at(1)->isVisible());
    QVERIFY(!boxes.at(0)->isModal());

    QPointer<frmAbout> closed = boxes.at(0);
    closed->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(closed.isNull());
    QCOMPARE(topLevels<frmAbout>().size(), 1);
    QVERIFY(topLevels<frmAbout>().first()->isVisible());
}

void tst_MainWindowTools::splashPicture()
{
    frmSplash splash;
    const QImage picture = QPixmap(QStringLiteral(":/images/tavlo.png")).toImage();
    QVERIFY(!picture.isNull());
    QCOMPARE(splash.pixmap().size(), picture.size());
    QVERIFY(!splash.parent());
    QVERIFY(splash.windowFlags() & Qt::SplashScreen);
    QCOMPARE(splash.font().family(), QStringLiteral("Arial"));
    QCOMPARE(splash.font().pixelSize(), 12);
    QCOMPARE(splash.font().weight(), int(QFont::Bold));
    QCOMPARE(splash.font().stretch(), 125);

    // The title is written in dark red in the bottom right corner, over the picture.
    splash.show();
    QVERIFY(QTest::qWaitForWindowExposed(&splash));
    const QImage shown =
        splash.grab().toImage().convertToFormat(QImage::Format_RGB32).scaled(picture.size());
    const QImage plain = picture.convertToFormat(QImage::Format_RGB32);
    QRect changed;
    int darkRed = 0;
    for (int y = 0; y < plain.height(); ++y) {
        for (int x = 0; x < plain.width(); ++x) {
            if (shown.pixel(x, y) == plain.pixel(x, y))
                continue;
            changed |= QRect(x, y, 1, 1);
            if (QColor(shown.pixel(x, y)) == QColor(Qt::darkRed))
                ++darkRed;
        }
    }
    QVERIFY(darkRed > 100);
    QVERIFY(changed.top() > plain.height() / 2);
    QVERIFY(changed.right() >= plain.width() - 12);
    QVERIFY(changed.bottom() >= plain.height() - 12);
    // Three lines of 12 pixels.
    QVERIFY(changed.height() >= 30 && changed.height() <= 60);
}

void tst_MainWindowTools::noVersionNotice()
{
    frmSplash splash;
    splash.connectToMainWindow(*m_window);
    splash.show();
    QCoreApplication::processEvents();

    QAction *notice = action(QStringLiteral("Nouvelle version disponible !"));
    QVERIFY(m_window->menuBar()->actions().contains(notice));
    QVERIFY(!notice->isVisible());

    emit splash.changeNewVersionMenu(true);
    QVERIFY(notice->isVisible());
    emit splash.changeNewVersionMenu(false);
    QVERIFY(!notice->isVisible());
}

void tst_MainWindowTools::clickHidesSplash()
{
    frmSplash splash;
    splash.connectToMainWindow(*m_window);
    splash.show();
    QVERIFY(QTest::qWaitForWindowExposed(&splash));
    // The window manager gave the splash screen the keyboard; the click hands it to the main
    // window, whose shortcuts then work.
    splash.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&splash));
    QTest::mouseClick(&splash, Qt::LeftButton);
    QVERIFY(!splash.isVisible());
    QVERIFY(m_window->isVisible());
    QTRY_VERIFY(m_window->isActiveWindow());
}

QTEST_MAIN(tst_MainWindowTools)
#include "tst_mainwindowtools.moc"
