#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QTextBlock>
#include <QTextCursor>

#include <optional>

class MdiChild;
class frmBilanCalcul;
class frmEditorIOB;
class frmHelp;
class frmResult;
class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;

// The workbench's frame: a tabbed document area of editor windows, every action, menu and
// toolbar, the status bar, and the slots through which the tool and result windows reach the
// editors.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Builds an editor in a new, not yet shown, sub-window of the document area.
    MdiChild *createMdiChild(bool syntax);
    // The editor of the active sub-window, or nullptr.
    MdiChild *activeMdiChild() const;
    // The first sub-window whose editor shows the file `path` (compared canonically), or nullptr.
    QMdiSubWindow *findMdiChild(const QString &path) const;
    // Opens `path` in a new editor, coloured when its extension is "iob" in any case.
    bool openFile(const QString &path);

    // Transient status-bar messages last this long, in milliseconds.
    static constexpr int StatusMessageTimeout = 2000;
    // The Fichier menu keeps this many recently opened files.
    static constexpr int RecentFileCount = 10;

    // The recently opened or saved files, latest first, as the settings store keeps them.
    QStringList recentFiles() const;

public slots:
    void showCursorPos(int l, int c);
    void changeNewVersionMenu(bool b);
    void getNewVersion();

    void commenter();
    void ajoutLigne(const QString &line);
    void remplaceLigne(const QString &line);
    void suivanteLigne();
    void precedenteLigne();

    void rechercher();
    void rechercherNext(const QString &s);
    void rechercherPrevious(const QString &s);
    void rechercherAll(const QString &s);
    void rechercherQuit();

    void majLastProcessed(const QList<QString> &files, const QString &cfg);
    void afterProcess();

    // Opens the help; on a record line of an observation file, at the page of that record.
    void showHelp();
    // Asks for a line number and moves the active editor's cursor to the start of that line.
    void gotoLine();

    void goShowLog(int i);
    void goShowFic(int i);
    void gotoLog(const QString &f, int l);
    void gotoIob(const QString &f, int l);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void newFile();
    void open();
    void save();
    void saveAs();
    void cut();
    void copy();
    void paste();
    void about();
    void updateMenus();
    void updateWindowMenu();
    void switchLayoutDirection();

    void createCFG();
    void editCFG();
    void processIOB();
    void showEditor();
    void showResults();
    void convert();
    void geoid();
    void manageGNSS();
    void drawNetwork();

    void undo();
    void redo();
    void openRecentFile(const QString &path);
    void updateRecentFilesMenu();

private:
    void createActions();
    void createMenus();
    void createToolBars();
    void createStatusBar();
    void readSettings();
    void writeSettings();
    // Puts `path` first in the recent files.
    void rememberRecentFile(const QString &path);
    // Keeps the last run's files for the launcher of the next start.
    void writeLastRun();
    // Shows the record and field under the cursor of `child` in the status bar.
    void showFieldReadout(MdiChild *child);
    // Moves the active editor's cursor to the start of the next or previous line, if any.
    void stepLine(QTextCursor::MoveOperation move);
    // Makes the only editor, when it was added before the window was shown, fill its tab and be
    // the active one.
    void settleLoneEditor();
    // Brings up the residual window (made once, found again by its title) and loads `fic` into it.
    void showResultWindow(const QString &fic);
    // Hands the field editor `line`, the line of `child` that holds the cursor, and remembers
    // where it came from.
    void loadFieldEditor(MdiChild *child, const QString &line);
    // Remembers the line of `cursor` in `child`, as it is now, as the one the form describes.
    void rememberFieldEditorLine(MdiChild *child, const QTextCursor &cursor);
    // The line the form was filled from, when it is still in its editor as it was then.
    QTextBlock fieldEditorBlock() const;
    // The line "Remplacer" is to overwrite when the cursor is not on the line the form was filled
    // from, as the user chooses: that line, the cursor's line, or none.
    std::optional<QTextCursor> confirmReplacement(MdiChild *child);

    // The residual window; it deletes itself when closed.
    QPointer<frmResult> resultWindow;

    // The field editor, built the first time it is asked for and kept (hidden) afterwards.
    QPointer<frmEditorIOB> fieldEditor;
    // The help window, made once and found again by its title.
    QPointer<frmHelp> helpWindow;
    // The line the field editor's form describes: its editor, a cursor at its start that follows
    // the edits around it, and its text then. "Remplacer" overwrites no other line unasked.
    bool fieldEditorLoaded = false;
    QPointer<MdiChild> fieldEditorChild;
    QTextCursor fieldEditorPosition;
    QString fieldEditorText;

    // The observation files and configuration file of the last processing run, kept in the
    // settings store for the next start; the summary's row numbers index this list.
    QList<QString> lastProcessedFiles;
    QString lastProcessedCfg;
    // The summary of the last run: closed when another run replaces the list its rows index.
    QPointer<frmBilanCalcul> lastSummary;

    QMdiArea *mdiArea = nullptr;
    QLabel *cursorLabel = nullptr;
    // The record and field under the cursor of an observation file.
    QLabel *fieldLabel = nullptr;

    QMenu *fileMenu = nullptr;
    QMenu *editMenu = nullptr;
    QMenu *windowMenu = nullptr;
    QMenu *processMenu = nullptr;
    QMenu *toolsMenu = nullptr;
    QMenu *helpMenu = nullptr;
    QMenu *recentFilesMenu = nullptr;
    QToolBar *fileToolBar = nullptr;
    QToolBar *editToolBar = nullptr;
    QToolBar *processToolBar = nullptr;

    QAction *newAct = nullptr;
    QAction *openAct = nullptr;
    QAction *saveAct = nullptr;
    QAction *saveAsAct = nullptr;
    QAction *exitAct = nullptr;
    QAction *cutAct = nullptr;
    QAction *copyAct = nullptr;
    QAction *pasteAct = nullptr;
    QAction *findAct = nullptr;
    QAction *commentAct = nullptr;
    QAction *closeAct = nullptr;
    QAction *closeAllAct = nullptr;
    QAction *nextAct = nullptr;
    QAction *previousAct = nullptr;
    QAction *separatorAct = nullptr;
    QAction *aboutAct = nullptr;
    QAction *createCfgAct = nullptr;
    QAction *editCfgAct = nullptr;
    QAction *processAct = nullptr;
    QAction *editorAct = nullptr;
    QAction *showResultsAct = nullptr;
    QAction *convertAct = nullptr;
    QAction *geoidAct = nullptr;
    QAction *gnssAct = nullptr;
    QAction *drawAct = nullptr;
    QAction *newVersionAct = nullptr;
    QAction *helpAct = nullptr;
    QAction *gotoLineAct = nullptr;
    QAction *undoAct = nullptr;
    QAction *redoAct = nullptr;
};

#endif // MAINWINDOW_H
