#include "frmhelp.h"
#include "helpbrowser.h"
#include "mainwindow.h"
#include "mdichild.h"
#include "scriptedprompter.h"

#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextLayout>
#include <QToolBar>
#include <QtTest>

// Receives the addresses the workbench hands to the desktop's web browser.
class UrlCatcher : public QObject
{
    Q_OBJECT

public slots:
    void openUrl(const QUrl &url) { urls.append(url); }

public:
    QList<QUrl> urls;
};

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void actions_data();
    void actions();
    void menuBar();
    void menus_data();
    void menus();
    void toolBars();
    void startState();
    void actionsWithoutEditor();
    void actionsWithEditor();
    void selectionEnablesCutAndCopy();
    void windowMenu();
    void settingsDefaults();
    void settingsOffScreenNotRestored();
    void settingsStoredOnClose();
    void closeCancelledKeepsWindow();
    void quitClosesEverything();
    void openFileSyntax_data();
    void openFileSyntax();
    void openSamePathTwice();
    void openMissingFile();
    void openedBeforeShowFillsItsTabAndIsActive();
    void findMdiChild_data();
    void findMdiChild();
    void openActivatesOpenFile();
    void saveMessages();
    void cursorLabel();
    void cursorLabelFollowsTheActiveEditor();
    void destructionRunsNoMenuUpdate();
    void newVersionMenu();
    void switchLayoutDirection();
    void commenter_data();
    void commenter();
    void commenterRecolours();
    void ajoutLigne();
    void remplaceLigneSingleUndo();
    void stepLines_data();
    void stepLines();
    void slotsWithoutEditor();
    void fieldReadout_data();
    void fieldReadout();
    void gotoLine_data();
    void gotoLine();
    void undoAndRedo();
    void recentFiles();
    void helpOpensTheRecordsPage_data();
    void helpOpensTheRecordsPage();

private:
    static QAction *findAction(const MainWindow &window, const QString &text);
    static QMenu *findMenu(const MainWindow &window, const QString &title);
    static QStringList texts(const QList<QAction *> &actions, bool visibleOnly = false);
    static QMdiArea *mdiArea(const MainWindow &window);
    static void show(MainWindow &window);
    static void writeBytes(const QString &path, const QByteArray &bytes);
    static void processDeletes();

    QTemporaryDir settingsDir;
    QTemporaryDir dir;
    QString startFolder;
};

QAction *tst_MainWindow::findAction(const MainWindow &window, const QString &text)
{
    const QList<QAction *> actions = window.findChildren<QAction *>();
    for (QAction *action : actions) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

QMenu *tst_MainWindow::findMenu(const MainWindow &window, const QString &title)
{
    const QList<QAction *> entries = window.menuBar()->actions();
    for (QAction *entry : entries) {
        if (entry->menu() && entry->text() == title)
            return entry->menu();
    }
    return nullptr;
}

QStringList tst_MainWindow::texts(const QList<QAction *> &actions, bool visibleOnly)
{
    QStringList result;
    for (const QAction *action : actions) {
        if (!visibleOnly || action->isVisible())
            result.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return result;
}

QMdiArea *tst_MainWindow::mdiArea(const MainWindow &window)
{
    return qobject_cast<QMdiArea *>(window.centralWidget());
}

void tst_MainWindow::show(MainWindow &window)
{
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
}

void tst_MainWindow::writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

void tst_MainWindow::processDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void tst_MainWindow::initTestCase()
{
    Q_INIT_RESOURCE(images);
    QVERIFY(settingsDir.isValid());
    QVERIFY(dir.isValid());
    // Keep the user's own settings out of reach.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    startFolder = QDir::currentPath();
}

void tst_MainWindow::init()
{
    QSettings(QStringLiteral("Tavlo"), QStringLiteral("Brevil/Lumo")).clear();
}

void tst_MainWindow::cleanup()
{
    QDir::setCurrent(startFolder);
    QGuiApplication::setLayoutDirection(Qt::LeftToRight);
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows)
        window->hide();
    processDeletes();
}

void tst_MainWindow::actions_data()
{
    using Keys = QList<QKeySequence>;
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<Keys>("shortcuts");
    QTest::addColumn<QString>("tip");

    int index = 0;
    const auto row = [&index](const char *tag) -> QTestData & {
        return QTest::newRow(tag) << index++;
    };
    const auto keys = [](QKeySequence::StandardKey key) { return QKeySequence::keyBindings(key); };
    const Keys none;
    const QString noIcon;

    row("new") << "&Nouveau"
               << ":/images/new.png" << keys(QKeySequence::New)
               << "Creation d'un nouveau fichier IOB";
    row("open") << "&Ouvrir..."
                << ":/images/open.png" << keys(QKeySequence::Open) << "Ouvrir un fichier existant";
    row("save") << "&Sauver"
                << ":/images/save.png" << keys(QKeySequence::Save)
                << "Sauver le contenu du fichier sur le disque";
    row("save as") << "Sauver &sous..." << noIcon << keys(QKeySequence::SaveAs)
                   << "Sauver le document sous un nouveau nom";
    row("quit") << "&Quitter" << noIcon << keys(QKeySequence::Quit)
                << "Quitter l'application Tavlo";
    row("cut") << "Couper"
               << ":/images/cut.png" << keys(QKeySequence::Cut)
               << "Couper la sélection courante vers le presse papier";
    row("copy") << "&Copier"
                << ":/images/copy.png" << keys(QKeySequence::Copy)
                << "Copier la sélection vers le presse papier";
    row("paste") << "Coller"
                 << ":/images/paste.png" << keys(QKeySequence::Paste)
                 << "Coller le contenu du presse papier dans le document";
    row("find") << "&Rechercher..." << noIcon << keys(QKeySequence::Find) << "Rechercher du texte";
    row("comment") << "&Commenter/Décommenter..." << noIcon << Keys{QKeySequence(Qt::Key_F5)}
                   << "Commenter ou décommenter du texte";
    row("close") << "&Fermer" << noIcon << none << "Ferme la fenêtre courante";
    row("close all") << "Fermer &Tout" << noIcon << none << "Ferme toutes les fenêtres ouvertes";
    row("next") << "Suivante" << noIcon << keys(QKeySequence::NextChild)
                << "Déplace le focus sur la fenêtre suivante";
    row("previous") << "Précédente" << noIcon << keys(QKeySequence::PreviousChild)
                    << "Déplace le focus sur la fenêtre précédente";
    row("separator") << QString() << noIcon << none << QString();
    row("about") << "&A propos de" << noIcon << none << "A propos de Tavlo";
    row("create cfg") << "Créer un fichier CFG" << noIcon << none
                      << "Création d'un nouveau fichier de configuration.";
    row("edit cfg") << "Editer un fichier CFG"
                    << ":/images/settings.png" << none
                    << "Edition d'un fichier de configuration de calcul.";
    row("process") << "Lancer le traitement..."
                   << ":/images/process.png" << none << "Réaliser un traitement par Tavlo";
    row("field editor") << "Editeur..." << noIcon << Keys{QKeySequence(Qt::Key_F7)}
                        << "Lancer l'éditeur de champs";
    row("results") << "Afficher Résultats"
                   << ":/images/showreport.png" << none
                   << "Affiche la fenêtre sur le résultat du traitement";
    row("import") << "Importation de fichier" << noIcon << none
                  << "Importation de données dans un autre format";
    row("geoid") << "Fichier geoïde Tavlo" << noIcon << none
                 << "Création d'un fichier de geoïde au format Tavlo";
    row("gnss") << "Outil GNSS"
                << ":/images/satellite.png" << none << "Gestion avancée des vecteurs GNSS";
    row("draw") << "Afficher le réseau"
                << ":/images/draw.png" << none
                << "Affiche le réseau et ses caractéristiques de précision et fiabilité";
    row("new version") << "Nouvelle version disponible !" << noIcon << none << QString();
    row("help") << "Aide" << noIcon << keys(QKeySequence::HelpContents)
                << "Aide de Tavlo : traitement, formats des enregistrements, manuel du moteur";
    row("go to line") << "Aller à la ligne..." << noIcon << Keys{QKeySequence(Qt::CTRL + Qt::Key_G)}
                      << "Placer le curseur au début d'une ligne du document";
    row("undo") << "Annuler" << noIcon << keys(QKeySequence::Undo)
                << "Annuler la dernière modification";
    row("redo") << "Rétablir" << noIcon << keys(QKeySequence::Redo)
                << "Rétablir la dernière modification annulée";
}

void tst_MainWindow::actions()
{
    QFETCH(int, index);
    QFETCH(QString, caption);
    QFETCH(QString, icon);
    QFETCH(QList<QKeySequence>, shortcuts);
    QFETCH(QString, tip);

    MainWindow window;
    // The window's own actions, in creation order.
    const QList<QAction *> all =
        window.findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(all.size(), 30);
    const QAction *action = all.at(index);
    QCOMPARE(action->text(), caption);
    QCOMPARE(action->isSeparator(), caption.isEmpty());
    QCOMPARE(action->shortcuts(), shortcuts);
    QCOMPARE(action->statusTip(), tip);
    if (icon.isEmpty()) {
        QVERIFY(action->icon().isNull());
    } else {
        QVERIFY2(QFile::exists(icon), qPrintable(icon));
        QCOMPARE(action->icon().pixmap(QSize(24, 24)).toImage(),
                 QIcon(icon).pixmap(QSize(24, 24)).toImage());
    }
}

void tst_MainWindow::menuBar()
{
    MainWindow window;
    QCOMPARE(texts(window.menuBar()->actions()),
             QStringList({"&Fichier", "&Edition", "&Fenêtres", "Traitement", "Outils", "-", "&Aide",
                          "Nouvelle version disponible !"}));
    QCOMPARE(window.windowTitle(), QStringLiteral("Tavlo"));
}

void tst_MainWindow::menus_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("file") << "&Fichier"
                          << QStringList{"&Nouveau",
                                         "&Ouvrir...",
                                         "Fichiers &récents",
                                         "&Sauver",
                                         "Sauver &sous...",
                                         "-",
                                         "Modifier la position des menus",
                                         "&Quitter"};
    QTest::newRow("edit") << "&Edition"
                          << QStringList{"Annuler",
                                         "Rétablir",
                                         "-",
                                         "Couper",
                                         "&Copier",
                                         "Coller",
                                         "-",
                                         "&Rechercher...",
                                         "Aller à la ligne...",
                                         "-",
                                         "&Commenter/Décommenter..."};
    QTest::newRow("processing") << "Traitement"
                                << QStringList{"Créer un fichier CFG",
                                               "Editer un fichier CFG",
                                               "-",
                                               "Lancer le traitement...",
                                               "-",
                                               "Afficher Résultats",
                                               "Editeur..."};
    QTest::newRow("tools") << "Outils" << QStringList{"Importation de fichier",
                                                      "Fichier geoïde Tavlo",
                                                      "-",
                                                      "Outil GNSS",
                                                      "-",
                                                      "Afficher le réseau"};
    QTest::newRow("help") << "&Aide" << QStringList{"Aide", "&A propos de"};
}

void tst_MainWindow::menus()
{
    QFETCH(QString, title);
    QFETCH(QStringList, entries);

    MainWindow window;
    const QMenu *menu = findMenu(window, title);
    QVERIFY(menu);
    QCOMPARE(texts(menu->actions()), entries);
}

void tst_MainWindow::toolBars()
{
    MainWindow window;
    const QList<QToolBar *> bars =
        window.findChildren<QToolBar *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(bars.size(), 3);
    QCOMPARE(bars.at(0)->windowTitle(), QStringLiteral("Fichier"));
    QCOMPARE(texts(bars.at(0)->actions()), QStringList({"&Nouveau", "&Ouvrir...", "&Sauver"}));
    QCOMPARE(bars.at(1)->windowTitle(), QStringLiteral("Edition"));
    QCOMPARE(texts(bars.at(1)->actions()), QStringList({"Couper", "&Copier", "Coller"}));
    QCOMPARE(bars.at(2)->windowTitle(), QStringLiteral("Traitement"));
    QCOMPARE(texts(bars.at(2)->actions()),
             QStringList({"Lancer le traitement...", "Editer un fichier CFG", "Afficher Résultats",
                          "Afficher le réseau"}));
}

void tst_MainWindow::startState()
{
    MainWindow window;
    show(window);
    QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Prêt"));
    QVERIFY(!findAction(window, "Nouvelle version disponible !")->isVisible());
    QVERIFY(mdiArea(window)->subWindowList().isEmpty());
    QVERIFY(!window.activeMdiChild());

    const QAction *layout = findAction(window, "Modifier la position des menus");
    QVERIFY(layout->icon().isNull());
    QVERIFY(layout->shortcut().isEmpty());
    QVERIFY(layout->statusTip().isEmpty());
}

void tst_MainWindow::actionsWithoutEditor()
{
    MainWindow window;
    show(window);
    const QStringList disabled{
        "&Sauver", "Sauver &sous...", "Couper",   "&Copier",    "Coller",
        "&Fermer", "Fermer &Tout",    "Suivante", "Précédente", "Aller à la ligne...",
        "Annuler", "Rétablir"};
    const QList<QAction *> all =
        window.findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly);
    for (const QAction *action : all) {
        // A hidden action counts as disabled.
        if (!action->isSeparator() && action->isVisible())
            QVERIFY2(action->isEnabled() != disabled.contains(action->text()),
                     qPrintable(action->text()));
    }

    QMenu *menu = findMenu(window, "&Fenêtres");
    emit menu->aboutToShow();
    QCOMPARE(texts(menu->actions(), true),
             QStringList({"&Fermer", "Fermer &Tout", "-", "Suivante", "Précédente"}));
}

void tst_MainWindow::actionsWithEditor()
{
    MainWindow window;
    show(window);
    findAction(window, "&Nouveau")->trigger();
    QVERIFY(window.activeMdiChild());
    for (const char *text : {"&Sauver", "Sauver &sous...", "Coller", "&Fermer", "Fermer &Tout",
                             "Suivante", "Précédente"})
        QVERIFY2(findAction(window, text)->isEnabled(), text);
    // Nothing selected yet.
    QVERIFY(!findAction(window, "Couper")->isEnabled());
    QVERIFY(!findAction(window, "&Copier")->isEnabled());

    // The last editor closed: back to the state without editor.
    findAction(window, "&Fermer")->trigger();
    processDeletes();
    QVERIFY(!window.activeMdiChild());
    QVERIFY(!findAction(window, "&Sauver")->isEnabled());
    QVERIFY(!findAction(window, "Précédente")->isEnabled());
}

void tst_MainWindow::selectionEnablesCutAndCopy()
{
    MainWindow window;
    show(window);
    findAction(window, "&Nouveau")->trigger();
    MdiChild *child = window.activeMdiChild();
    child->insertPlainText(" DIST  S01  S02");
    QAction *cut = findAction(window, "Couper");
    QAction *copy = findAction(window, "&Copier");

    child->selectAll();
    QVERIFY(cut->isEnabled());
    QVERIFY(copy->isEnabled());
    child->moveCursor(QTextCursor::End);
    QVERIFY(!cut->isEnabled());
    QVERIFY(!copy->isEnabled());

    // A second editor without selection, activated, disables them again.
    child->selectAll();
    findAction(window, "&Nouveau")->trigger();
    QVERIFY(window.activeMdiChild() != child);
    QVERIFY(!cut->isEnabled());
    mdiArea(window)->setActiveSubWindow(mdiArea(window)->subWindowList().first());
    QCOMPARE(window.activeMdiChild(), child);
    QVERIFY(cut->isEnabled());
}

void tst_MainWindow::windowMenu()
{
    MainWindow window;
    show(window);
    for (int i = 0; i < 11; ++i)
        findAction(window, "&Nouveau")->trigger();
    const QList<QMdiSubWindow *> windows = mdiArea(window)->subWindowList();
    QCOMPARE(windows.size(), 11);
    mdiArea(window)->setActiveSubWindow(windows.at(4));

    QMenu *menu = findMenu(window, "&Fenêtres");
    emit menu->aboutToShow();
    QStringList expected{"&Fermer", "Fermer &Tout", "-", "Suivante", "Précédente", "-"};
    for (int i = 0; i < windows.size(); ++i) {
        const QString name =
            qobject_cast<MdiChild *>(windows.at(i)->widget())->userFriendlyCurrentFile();
        expected.append(i < 9 ? QStringLiteral("&%1 %2").arg(i + 1).arg(name)
                              : QStringLiteral("%1 %2").arg(i + 1).arg(name));
    }
    const QList<QAction *> entries = menu->actions();
    QCOMPARE(texts(entries, true), expected);
    QVERIFY(entries.at(15)->text().startsWith("10 document"));

    for (int i = 0; i < windows.size(); ++i) {
        QVERIFY(entries.at(6 + i)->isCheckable());
        QCOMPARE(entries.at(6 + i)->isChecked(), i == 4);
    }

    // Choosing an entry activates its window.
    entries.at(6 + 9)->trigger();
    QCOMPARE(mdiArea(window)->activeSubWindow(), windows.at(9));
    emit menu->aboutToShow();
    QVERIFY(menu->actions().at(15)->isChecked());
    QVERIFY(!menu->actions().at(10)->isChecked());
}

void tst_MainWindow::settingsDefaults()
{
    // A first start fills four fifths of the screen, in its middle.
    MainWindow window;
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(window.size(),
             QSize(qRound(available.width() * 0.8), qRound(available.height() * 0.8)));
    QVERIFY(qAbs(window.geometry().center().x() - available.center().x()) <= 1);
    QVERIFY(qAbs(window.geometry().center().y() - available.center().y()) <= 1);
}

void tst_MainWindow::settingsOffScreenNotRestored()
{
    // Stored on a screen that is no longer there: the window comes back on this one.
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    QSettings settings(QStringLiteral("Tavlo"), QStringLiteral("Brevil/Lumo"));
    settings.setValue("pos", available.bottomRight() + QPoint(500, 500));
    settings.setValue("size", QSize(700, 500));
    MainWindow window;
    QVERIFY(available.contains(window.geometry().center()));
}

void tst_MainWindow::settingsStoredOnClose()
{
    QPoint pos;
    QSize size;
    {
        MainWindow window;
        show(window);
        window.move(260, 170);
        window.resize(820, 610);
        QVERIFY(window.close());
        pos = window.pos();
        size = window.size();
    }
    QSettings settings(QStringLiteral("Tavlo"), QStringLiteral("Brevil/Lumo"));
    QCOMPARE(settings.value("pos").toPoint(), pos);
    QCOMPARE(settings.value("size").toSize(), QSize(820, 610));
    QCOMPARE(size, QSize(820, 610));
    QCOMPARE(settings.allKeys(), QStringList({"pos", "size"}));

    MainWindow next;
    QCOMPARE(next.pos(), pos);
    QCOMPARE(next.size(), QSize(820, 610));
}

void tst_MainWindow::closeCancelledKeepsWindow()
{
    ScriptedPrompter prompter;
    prompter.answers.enqueue(QMessageBox::Cancel);
    MainWindow window;
    show(window);
    QWidget summary;
    summary.show();
    findAction(window, "&Nouveau")->trigger();
    findAction(window, "&Nouveau")->trigger();
    MdiChild *modified = window.activeMdiChild();
    modified->insertPlainText(" HI  S01");
    // The modified editor is not the active one when the window closes.
    findAction(window, "&Nouveau")->trigger();

    QVERIFY(!window.close());
    processDeletes();
    QVERIFY(window.isVisible());
    QCOMPARE(prompter.messages.size(), 1);
    QCOMPARE(mdiArea(window)->subWindowList().size(), 1);
    QCOMPARE(mdiArea(window)->subWindowList().at(0)->widget(), modified);
    QVERIFY(modified->document()->isModified());
    QVERIFY(!summary.isVisible());
    QVERIFY(!QSettings(QStringLiteral("Tavlo"), QStringLiteral("Brevil/Lumo")).contains("pos"));

    // Discarding the changes lets the window close.
    prompter.answers.enqueue(QMessageBox::Discard);
    QVERIFY(window.close());
    QVERIFY(QSettings(QStringLiteral("Tavlo"), QStringLiteral("Brevil/Lumo")).contains("pos"));
}

void tst_MainWindow::quitClosesEverything()
{
    MainWindow window;
    show(window);
    QWidget tool;
    tool.show();
    findAction(window, "&Nouveau")->trigger();
    findAction(window, "&Quitter")->trigger();
    QVERIFY(!window.isVisible());
    QVERIFY(!tool.isVisible());
}

void tst_MainWindow::openFileSyntax_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("syntax");

    QTest::newRow("iob") << "a.iob" << true;
    QTest::newRow("IOB") << "b.IOB" << true;
    QTest::newRow("Iob") << "c.Iob" << true;
    QTest::newRow("only the last extension") << "d.iob.log" << false;
    QTest::newRow("log") << "e.log" << false;
    QTest::newRow("cfg") << "f.cfg" << false;
    QTest::newRow("no extension") << "iob" << false;
}

void tst_MainWindow::openFileSyntax()
{
    QFETCH(QString, name);
    QFETCH(bool, syntax);

    const QString path = dir.filePath(name);
    writeBytes(path, " HI  S01\n");
    MainWindow window;
    show(window);
    QVERIFY(window.openFile(path));
    QVERIFY(window.activeMdiChild());
    QCOMPARE(window.activeMdiChild()->hasSyntax(), syntax);
    QVERIFY(window.activeMdiChild()->isVisible());
}

void tst_MainWindow::openSamePathTwice()
{
    const QString path = dir.filePath("double.iob");
    writeBytes(path, " HI  S01\n");
    MainWindow window;
    show(window);
    QVERIFY(window.openFile(path));
    QVERIFY(window.openFile(path));
    QCOMPARE(mdiArea(window)->subWindowList().size(), 2);
}

void tst_MainWindow::openMissingFile()
{
    ScriptedPrompter prompter;
    MainWindow window;
    show(window);
    QVERIFY(!window.openFile(dir.filePath("absent.iob")));
    processDeletes();
    QCOMPARE(prompter.messages.size(), 1);
    QCOMPARE(prompter.messages.at(0).title, QStringLiteral("MDI"));
    QVERIFY(mdiArea(window)->subWindowList().isEmpty());
    QVERIFY(!window.activeMdiChild());
    QVERIFY(window.statusBar()->currentMessage().isEmpty() ||
            window.statusBar()->currentMessage() == QStringLiteral("Prêt"));
}

void tst_MainWindow::openedBeforeShowFillsItsTabAndIsActive()
{
    // A file named on the command line is opened before the main window is shown. Alone, it
    // must fill its tab and be the active editor, for the editor actions and tools to work.
    const QString path = dir.filePath("debut.iob");
    writeBytes(path, " HI  S01\n");
    MainWindow window;
    QVERIFY(window.openFile(path));
    show(window);
    QMdiSubWindow *sub = mdiArea(window)->subWindowList().value(0);
    QVERIFY(sub);
    QTRY_VERIFY(sub->isMaximized());
    QTRY_COMPARE(window.activeMdiChild(), qobject_cast<MdiChild *>(sub->widget()));
    QCOMPARE(sub->size(), mdiArea(window)->viewport()->size());
    QVERIFY(findAction(window, "&Sauver")->isEnabled());
    QCOMPARE(mdiArea(window)->subWindowList().size(), 1);
}

void tst_MainWindow::findMdiChild_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("found");

    QTest::newRow("absolute") << "ABS" << true;
    QTest::newRow("relative") << "mesures/reseau.iob" << true;
    QTest::newRow("through the parent folder") << "mesures/../mesures/reseau.iob" << true;
    QTest::newRow("dot") << "./mesures/./reseau.iob" << true;
    QTest::newRow("symbolic link") << "lien.iob" << true;
    QTest::newRow("other file") << "mesures/autre.iob" << false;
    QTest::newRow("missing file") << "mesures/absent.iob" << false;
    QTest::newRow("name of an untitled document") << "document1.iob" << false;
}

void tst_MainWindow::findMdiChild()
{
    QFETCH(QString, path);
    QFETCH(bool, found);

    QTemporaryDir folder;
    QDir(folder.path()).mkpath("mesures");
    const QString file = folder.filePath("mesures/reseau.iob");
    writeBytes(file, " HI  S01\n");
    writeBytes(folder.filePath("mesures/autre.iob"), " HI  S02\n");
    writeBytes(folder.filePath("document1.iob"), "\n");
    QVERIFY(QFile::link(file, folder.filePath("lien.iob")));

    MainWindow window;
    show(window);
    QVERIFY(window.openFile(file));
    QMdiSubWindow *opened = mdiArea(window)->activeSubWindow();
    findAction(window, "&Nouveau")->trigger();
    QVERIFY(QDir::setCurrent(folder.path()));

    QMdiSubWindow *result = window.findMdiChild(path == "ABS" ? file : path);
    QCOMPARE(result, found ? opened : nullptr);
}

void tst_MainWindow::openActivatesOpenFile()
{
    QTemporaryDir folder;
    const QString file = folder.filePath("ouvert.iob");
    writeBytes(file, " HI  S01\n");
    ScriptedPrompter prompter;
    prompter.files.enqueue({file});
    prompter.files.enqueue(
        {folder.path() + "/../" + QFileInfo(folder.path()).fileName() + "/ouvert.iob"});
    MainWindow window;
    show(window);

    findAction(window, "&Ouvrir...")->trigger();
    QCOMPARE(prompter.dialogs.size(), 1);
    const FileDialogRequest &request = prompter.dialogs.at(0);
    QCOMPARE(int(request.kind), int(FileDialogKind::OpenFile));
    QCOMPARE(request.caption, QStringLiteral("Ouverture d'un fichier"));
    QVERIFY(request.directory.isEmpty());
    QCOMPARE(request.filter,
             QStringLiteral("Fichier IOB (*.iob);;Fichier LOG (*.log);;Tous (*.*)"));
    QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Fichier chargé"));
    QMdiSubWindow *opened = mdiArea(window)->activeSubWindow();

    findAction(window, "&Nouveau")->trigger();
    QVERIFY(mdiArea(window)->activeSubWindow() != opened);
    findAction(window, "&Ouvrir...")->trigger();
    QCOMPARE(mdiArea(window)->subWindowList().size(), 2);
    QCOMPARE(mdiArea(window)->activeSubWindow(), opened);

    // A cancelled dialog does nothing.
    findAction(window, "&Ouvrir...")->trigger();
    QCOMPARE(mdiArea(window)->subWindowList().size(), 2);
}

void tst_MainWindow::saveMessages()
{
    QTemporaryDir folder;
    const QString file = folder.filePath("sauve.iob");
    writeBytes(file, " HI  S01\n");
    writeBytes(folder.filePath("plain"), "x");
    ScriptedPrompter prompter;
    MainWindow window;
    show(window);
    QVERIFY(window.openFile(file));
    window.activeMdiChild()->insertPlainText("!");

    findAction(window, "&Sauver")->trigger();
    QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Fichier sauvé"));
    window.statusBar()->clearMessage();

    // A failed save shows the editor's warning and no message.
    prompter.files.enqueue({folder.filePath("plain/sauve.iob")});
    findAction(window, "Sauver &sous...")->trigger();
    QCOMPARE(prompter.messages.size(), 1);
    QCOMPARE(prompter.messages.at(0).title, QStringLiteral("Tavlo"));
    QVERIFY(window.statusBar()->currentMessage().isEmpty());

    prompter.files.enqueue({folder.filePath("copie.iob")});
    findAction(window, "Sauver &sous...")->trigger();
    QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Fichier sauvé"));
    QVERIFY(QFile::exists(folder.filePath("copie.iob")));
}

void tst_MainWindow::cursorLabel()
{
    MainWindow window;
    show(window);
    QLabel *label = window.statusBar()->findChild<QLabel *>();
    QVERIFY(label);
    QVERIFY(label->text().isEmpty());
    window.showCursorPos(12, 7);
    QCOMPARE(label->text(), QStringLiteral("Lig : 12 / Col : 7"));

    findAction(window, "&Nouveau")->trigger();
    window.activeMdiChild()->insertPlainText(" HI  S01\n DIST");
    QCOMPARE(label->text(), QStringLiteral("Lig : 2 / Col : 6"));
}

void tst_MainWindow::cursorLabelFollowsTheActiveEditor()
{
    MainWindow window;
    show(window);
    QLabel *label = window.statusBar()->findChild<QLabel *>();
    findAction(window, "&Nouveau")->trigger();
    MdiChild *first = window.activeMdiChild();
    first->insertPlainText(" HI  S01\n DIST\n HT");
    QCOMPARE(label->text(), QStringLiteral("Lig : 3 / Col : 4"));
    findAction(window, "&Nouveau")->trigger();
    QCOMPARE(label->text(), QStringLiteral("Lig : 1 / Col : 1"));

    // Back on the first editor, whose cursor has not moved, and away from every editor.
    mdiArea(window)->setActiveSubWindow(qobject_cast<QMdiSubWindow *>(first->parentWidget()));
    QCOMPARE(label->text(), QStringLiteral("Lig : 3 / Col : 4"));
    first->document()->setModified(false);
    mdiArea(window)->closeAllSubWindows();
    QVERIFY(label->text().isEmpty());
}

void tst_MainWindow::destructionRunsNoMenuUpdate()
{
    // The document area reports activations while it is deleted, after the main window's own
    // part is gone: no menu update may run on the half-destroyed window then. One would enable
    // "Couper" again for the active editor's selection.
    auto *window = new MainWindow;
    show(*window);
    findAction(*window, "&Nouveau")->trigger();
    MdiChild *child = window->activeMdiChild();
    child->setPlainText(QStringLiteral(" HI  S01"));
    child->selectAll();
    child->document()->setModified(false);
    QAction *cut = findAction(*window, "Couper");
    cut->setEnabled(false);
    QSignalSpy changes(cut, &QAction::changed);
    delete window;
    QCOMPARE(changes.count(), 0);
}

void tst_MainWindow::newVersionMenu()
{
    MainWindow window;
    show(window);
    QAction *action = findAction(window, "Nouvelle version disponible !");
    QVERIFY(!action->isVisible());
    window.changeNewVersionMenu(true);
    QVERIFY(action->isVisible());
    window.changeNewVersionMenu(false);
    QVERIFY(!action->isVisible());

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "openUrl");
    QDesktopServices::setUrlHandler("http", &catcher, "openUrl");
    action->trigger();
    QDesktopServices::unsetUrlHandler("https");
    QDesktopServices::unsetUrlHandler("http");
    QCOMPARE(catcher.urls.size(), 1);
    const QUrl url = catcher.urls.at(0);
    QVERIFY(!url.host().isEmpty());
    QCOMPARE(url.path(), QStringLiteral("/index.php"));
    QCOMPARE(url.query(), QStringLiteral("page=0300"));
}

void tst_MainWindow::switchLayoutDirection()
{
    MainWindow window;
    QAction *action = findAction(window, "Modifier la position des menus");
    action->trigger();
    QCOMPARE(QGuiApplication::layoutDirection(), Qt::RightToLeft);
    QCOMPARE(window.layoutDirection(), Qt::RightToLeft);
    action->trigger();
    QCOMPARE(QGuiApplication::layoutDirection(), Qt::LeftToRight);
}

void tst_MainWindow::commenter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("selectionStart");
    QTest::addColumn<int>("selectionEnd");

    const QString records = " DIST  S01\n DIR   S01\n ZANG  S01";
    const QString commented = "!DIST  S01\n!DIR   S01\n!ZANG  S01";
    QTest::newRow("middle to middle") << records << 3 << 25 << commented << 0 << 32;
    QTest::newRow("selected backwards") << records << 25 << 3 << commented << 0 << 32;
    QTest::newRow("uncomment") << commented << 3 << 25 << records << 0 << 32;
    QTest::newRow("ends at the start of a line") << records << 0 << 22 << commented << 0 << 32;
    QTest::newRow("no selection") << records << 15 << 15 << " DIST  S01\n!DIR   S01\n ZANG  S01"
                                  << 11 << 21;
    QTest::newRow("first line decides: comment")
        << " DIST\n!DIR\n*Z" << 0 << 12 << "!DIST\n!DIR\n!Z" << 0 << 13;
    QTest::newRow("first line decides: blank")
        << "*titre\n DIR\n!ZANG" << 0 << 13 << " titre\n DIR\n ZANG" << 0 << 17;
    QTest::newRow("empty line inside") << " A\n\n B" << 0 << 5 << "!A\n\n!B" << 0 << 6;
    QTest::newRow("empty first line") << "\n B\n C" << 0 << 6 << "\n!B\n!C" << 0 << 6;
    QTest::newRow("empty line alone") << "\n B" << 0 << 0 << "\n B" << 0 << 0;
    QTest::newRow("include line") << "#include a.iob" << 2 << 2 << " include a.iob" << 0 << 14;
}

void tst_MainWindow::commenter()
{
    QFETCH(QString, text);
    QFETCH(int, anchor);
    QFETCH(int, position);
    QFETCH(QString, expected);
    QFETCH(int, selectionStart);
    QFETCH(int, selectionEnd);

    MainWindow window;
    show(window);
    findAction(window, "&Nouveau")->trigger();
    MdiChild *child = window.activeMdiChild();
    child->setPlainText(text);
    QTextCursor cursor = child->textCursor();
    cursor.setPosition(anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    child->setTextCursor(cursor);

    findAction(window, "&Commenter/Décommenter...")->trigger();
    QCOMPARE(child->toPlainText(), expected);
    QCOMPARE(child->textCursor().selectionStart(), selectionStart);
    QCOMPARE(child->textCursor().selectionEnd(), selectionEnd);

    // One undo step restores the whole block.
    child->undo();
    QCOMPARE(child->toPlainText(), text);
}

void tst_MainWindow::commenterRecolours()
{
    MainWindow window;
    show(window);
    findAction(window, "&Nouveau")->trigger();
    MdiChild *child = window.activeMdiChild();
    child->setPlainText(" DIST  S01\n HI  S01");
    child->selectAll();
    window.commenter();
    for (QTextBlock block = child->document()->firstBlock(); block.isValid();
         block = block.next()) {
        const auto formats = block.layout()->formats();
        QCOMPARE(formats.size(), 1);
        QCOMPARE(formats.at(0).start, 0);
        QCOMPARE(formats.at(0).length, block.length() - 1);
        QCOMPARE(formats.at(0).format.foreground().color(), QColor(Qt::darkGreen));
    }
}

void tst_MainWindow::ajoutLigne()
{
    MainWindow window;
    show(window);
    findAction(window, "&Nouveau")->trigger();
    MdiChild *child = window.activeMdiChild();
    child->setPlainText(" HI  S01\n HT  S02");
    QTextCursor cursor = child->textCursor();
    cursor.setPosition(3);
    child->setTextCursor(cursor);

    window.ajoutLigne(" DIST  S01  S02");
    QCOMPARE(child->toPlainText(), QStringLiteral(" HI  S01\n DIST  S01  S02\n HT  S02"));
    QCOMPARE(child->textCursor().position(), 24);
    QVERIFY(!child->textCursor().hasSelection());
}

void tst_MainWindow::remplaceLigneSingleUndo()
{
    MainWindow window;
    show(window);
    findAction(window, "&Nouveau")->trigger();
    MdiChild *child = window.activeMdiChild();
    const QString text = " HI  S01\n DIST  S01  S02     12.3\n HT  S02";
    child->setPlainText(text);
    QTextCursor cursor = child->textCursor();
    cursor.setPosition(15);
    child->setTextCursor(cursor);

    window.remplaceLigne(" DIST  S01  S02     12.4567");
    QCOMPARE(child->toPlainText(),
             QStringLiteral(" HI  S01\n DIST  S01  S02     12.4567\n HT  S02"));
    child->undo();
    QCOMPARE(child->toPlainText(), text);
    child->redo();
    QCOMPARE(child->toPlainText(),
             QStringLiteral(" HI  S01\n DIST  S01  S02     12.4567\n HT  S02"));
}

void tst_MainWindow::stepLines_data()
{
    QTest::addColumn<bool>("forward");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("line");

    // Lines start at 0, 12 and 28.
    QTest::newRow("next from the middle") << true << 4 << 12 << " DIST  S01";
    QTest::newRow("next to the last") << true << 14 << 28 << "!HT  S02";
    QTest::newRow("next on the last line") << true << 30 << 30 << "!HT  S02";
    QTest::newRow("previous") << false << 30 << 12 << " DIST  S01";
    QTest::newRow("previous to the first") << false << 12 << 0 << " HI  S01";
    QTest::newRow("previous on the first line") << false << 3 << 3 << " HI  S01";
}

void tst_MainWindow::stepLines()
{
    QFETCH(bool, forward);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(QString, line);

    MainWindow window;
    show(window);
    findAction(window, "&Nouveau")->trigger();
    MdiChild *child = window.activeMdiChild();
    child->setPlainText(" HI  S01   \n DIST  S01     \n!   HT  S02  ");
    QTextCursor cursor = child->textCursor();
    cursor.setPosition(start);
    child->setTextCursor(cursor);

    if (forward)
        window.suivanteLigne();
    else
        window.precedenteLigne();
    QCOMPARE(child->textCursor().position(), end);
    QCOMPARE(child->fieldEditorLine(), line);
}

void tst_MainWindow::slotsWithoutEditor()
{
    ScriptedPrompter prompter;
    MainWindow window;
    show(window);
    window.commenter();
    window.ajoutLigne(" HI  S01");
    window.remplaceLigne(" HI  S01");
    window.suivanteLigne();
    window.precedenteLigne();
    for (const char *text : {"Couper", "&Copier", "Coller", "&Sauver", "Sauver &sous..."})
        findAction(window, text)->trigger();
    QVERIFY(prompter.messages.isEmpty());
    QVERIFY(prompter.dialogs.isEmpty());
    QVERIFY(mdiArea(window)->subWindowList().isEmpty());
}

void tst_MainWindow::fieldReadout_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("readout");

    // Columns of docs/engine.md's record table.
    QTest::newRow("distance") << "a.iob" << 50
                              << QString::fromUtf8("DIST · Observation, col. 50–64");
    QTest::newRow("unit") << "a.iob" << 78 << QString::fromUtf8("DIST · Unité, col. 77–78");
    QTest::newRow("report") << "a.log" << 50 << QString();
}

void tst_MainWindow::fieldReadout()
{
    QFETCH(QString, file);
    QFETCH(int, column);
    QFETCH(QString, readout);
    const QString path = dir.filePath(file);
    writeBytes(path, " HI   P1           1.55       m \n DIST S1  P1           P2"
                     "                          1234.5678        1.5       mm\n");
    MainWindow window;
    show(window);
    QVERIFY(window.openFile(path));
    auto *label = window.statusBar()->findChild<QLabel *>(QStringLiteral("fieldLabel"));
    QVERIFY(label);
    MdiChild *child = window.activeMdiChild();
    QTextCursor cursor(child->document()->findBlockByNumber(1));
    cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, column - 1);
    child->setTextCursor(cursor);
    QCOMPARE(label->text(), readout);
    // The label follows the cursor.
    cursor.movePosition(QTextCursor::StartOfBlock);
    child->setTextCursor(cursor);
    QCOMPARE(label->text(), file.endsWith(".iob")
                                ? QString::fromUtf8("DIST · Distance 3D entre deux points")
                                : QString());
    child->parentWidget()->close();
    QVERIFY(label->text().isEmpty());
}

void tst_MainWindow::gotoLine_data()
{
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<int>("line");

    QTest::newRow("third") << QList<int>{3} << 3;
    QTest::newRow("last") << QList<int>{5} << 5;
    QTest::newRow("past the end") << QList<int>{6} << 2;
    QTest::newRow("cancelled") << QList<int>{} << 2;
}

void tst_MainWindow::gotoLine()
{
    QFETCH(QList<int>, answers);
    QFETCH(int, line);
    ScriptedPrompter prompter;
    for (int answer : answers)
        prompter.integers.enqueue(answer);
    MainWindow window;
    show(window);
    findAction(window, "&Nouveau")->trigger();
    MdiChild *child = window.activeMdiChild();
    child->setPlainText(" HI  S01\n DIST\n HT  P2\n\n ZANG");
    QTextCursor start(child->document()->findBlockByNumber(1));
    start.movePosition(QTextCursor::EndOfBlock);
    child->setTextCursor(start);

    findAction(window, "Aller à la ligne...")->trigger();
    QCOMPARE(prompter.integerRequests.size(), 1);
    QCOMPARE(prompter.integerRequests.at(0).value, 2);
    QCOMPARE(prompter.integerRequests.at(0).minimum, 1);
    QCOMPARE(prompter.integerRequests.at(0).maximum, 5);
    QCOMPARE(child->textCursor().blockNumber() + 1, line);
    // A move lands at the start of the line; no move leaves the cursor where it was.
    QCOMPARE(child->textCursor().columnNumber(), answers.isEmpty() || line == 2 ? 5 : 0);
}

void tst_MainWindow::undoAndRedo()
{
    MainWindow window;
    show(window);
    findAction(window, "&Nouveau")->trigger();
    MdiChild *child = window.activeMdiChild();
    QAction *undo = findAction(window, "Annuler");
    QAction *redo = findAction(window, "Rétablir");
    QVERIFY(!undo->isEnabled());
    QTest::keyClicks(child, " HI  S01");
    QVERIFY(undo->isEnabled());
    QVERIFY(!redo->isEnabled());

    undo->trigger();
    QVERIFY(child->toPlainText().isEmpty());
    QVERIFY(!undo->isEnabled());
    QVERIFY(redo->isEnabled());
    redo->trigger();
    QCOMPARE(child->toPlainText(), QStringLiteral(" HI  S01"));

    // The actions follow the editor that is active.
    findAction(window, "&Nouveau")->trigger();
    QVERIFY(!undo->isEnabled());
    QVERIFY(!redo->isEnabled());
}

void tst_MainWindow::recentFiles()
{
    QStringList files;
    for (int i = 1; i <= 12; ++i) {
        files << dir.filePath(QStringLiteral("recent%1.iob").arg(i));
        writeBytes(files.last(), " HI  S01\n");
    }
    ScriptedPrompter prompter;
    QStringList entries;
    {
        MainWindow window;
        show(window);
        QMenu *menu = findMenu(window, "&Fichier")->findChild<QMenu *>();
        QVERIFY(menu);
        QVERIFY(!menu->isEnabled());
        for (const QString &file : files) {
            prompter.files.enqueue({file});
            findAction(window, "&Ouvrir...")->trigger();
        }
        // The ten latest, latest first; opening one again puts it first.
        QCOMPARE(window.recentFiles().size(), 10);
        QCOMPARE(window.recentFiles().first(), QFileInfo(files.last()).canonicalFilePath());
        QCOMPARE(window.recentFiles().last(), QFileInfo(files.at(2)).canonicalFilePath());
        mdiArea(window)->closeAllSubWindows();
        menu->actions().at(4)->trigger();
        QCOMPARE(window.activeMdiChild()->currentFile(),
                 QFileInfo(files.at(7)).canonicalFilePath());
        QCOMPARE(window.recentFiles().first(), QFileInfo(files.at(7)).canonicalFilePath());
        QCOMPARE(menu->actions().first()->text(),
                 "&1 " + QDir::toNativeSeparators(QFileInfo(files.at(7)).canonicalFilePath()));
        QCOMPARE(menu->actions().at(9)->text().left(3), QStringLiteral("10 "));
        entries = texts(menu->actions());
    }

    // Kept for the next start; a file gone since leaves the list when chosen.
    MainWindow next;
    show(next);
    QMenu *menu = findMenu(next, "&Fichier")->findChild<QMenu *>();
    QCOMPARE(texts(menu->actions()), entries);
    QVERIFY(QFile::remove(files.at(11)));
    menu->actions().at(1)->trigger();
    QCOMPARE(prompter.messages.size(), 1);
    QVERIFY(mdiArea(next)->subWindowList().isEmpty());
    QCOMPARE(next.recentFiles().size(), 9);
    QVERIFY(!next.recentFiles().contains(QFileInfo(files.at(11)).absoluteFilePath()));
}

void tst_MainWindow::helpOpensTheRecordsPage_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("page");

    QTest::newRow("record") << " DIST S1  P1"
                            << "tavlo:record/DIST";
    QTest::newRow("commented record") << "!ZANG"
                                      << "tavlo:record/ZANG";
    QTest::newRow("comment") << "* notes"
                             << "tavlo:index";
    QTest::newRow("include") << "#include DIST.iob"
                             << "tavlo:index";
}

void tst_MainWindow::helpOpensTheRecordsPage()
{
    QFETCH(QString, line);
    QFETCH(QString, page);
    MainWindow window;
    show(window);
    findAction(window, "&Nouveau")->trigger();
    window.activeMdiChild()->setPlainText(line);

    QTest::keyClick(window.activeMdiChild(), Qt::Key_F1);
    QList<frmHelp *> helps;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *help = qobject_cast<frmHelp *>(widget); help && help->isVisible())
            helps << help;
    }
    QCOMPARE(helps.size(), 1);
    QCOMPARE(helps.first()->windowTitle(), QStringLiteral("Aide de Tavlo"));
    QCOMPARE(helps.first()->browser()->source().toString(), page);

    // Asked again, the same window comes back.
    findAction(window, "Aide")->trigger();
    int shown = 0;
    for (QWidget *widget : QApplication::topLevelWidgets())
        shown += qobject_cast<frmHelp *>(widget) && widget->isVisible();
    QCOMPARE(shown, 1);
    helps.first()->close();
    processDeletes();
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
