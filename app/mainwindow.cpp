#include "mainwindow.h"

#include "configuration.h"
#include "editorsearch.h"
#include "enginelibrary.h"
#include "filestamp.h"
#include "frmabout.h"
#include "frmbilancalcul.h"
#include "frmconvert.h"
#include "frmdrawmain.h"
#include "frmeditoriob.h"
#include "frmfindreplace.h"
#include "frmgeoid.h"
#include "frmhelp.h"
#include "frmoptions.h"
#include "frmresult.h"
#include "frmtraitement.h"
#include "frmvecteurgnss.h"
#include "mdichild.h"
#include "prompts.h"
#include "recordcatalogue.h"
#include "recordhelp.h"
#include "recordline.h"
#include "sharedhelpers.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTextBlock>
#include <QToolBar>
#include <QUrl>

namespace {

// The product's download page.
const char DownloadPage[] = "https://www.tavlo.fr/index.php?page=0300";

// The settings store and its keys beyond the window's position and size.
QSettings settingsStore()
{
    return QSettings(QStringLiteral("Tavlo"), QStringLiteral("Brevil/Lumo"));
}
const char RecentFilesKey[] = "recentFiles";
const char LastRunFilesKey[] = "lastRunFiles";
const char LastRunConfigurationKey[] = "lastRunConfiguration";

// A first start fills this share of the screen.
constexpr qreal FirstWindowShare = 0.8;
// Of a restored window, at least this strip along its top must be on a screen to be reached.
constexpr int ReachableHeight = 40;

const RecordCatalogue &catalogue()
{
    static const RecordCatalogue records;
    return records;
}

// Brings back every top-level window titled `title`; returns the first of them that is a T, or
// null when there is none.
template <typename T = QWidget> T *showWindowsTitled(const QString &title)
{
    T *first = nullptr;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window->windowTitle() != title)
            continue;
        window->show();
        window->raise();
        window->activateWindow();
        if (!first)
            first = qobject_cast<T *>(window);
    }
    return first;
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    mdiArea = new QMdiArea(this);
    mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea->setViewMode(QMdiArea::TabbedView);
    mdiArea->setTabsClosable(true);
    mdiArea->setTabShape(QTabWidget::Triangular);
    setCentralWidget(mdiArea);
    connect(mdiArea, &QMdiArea::subWindowActivated, this, &MainWindow::updateMenus);

    createActions();
    createMenus();
    createToolBars();
    createStatusBar();
    updateMenus();
    readSettings();

    setWindowTitle(tr("Tavlo"));
    setUnifiedTitleAndToolBarOnMac(true);
    newVersionAct->setVisible(false);
}

MainWindow::~MainWindow()
{
    // The document area outlives this class's part of the window and reports the closing of its
    // sub-windows as activations: no slot may run on the half-destroyed window.
    disconnect(mdiArea, nullptr, this, nullptr);
}

MdiChild *MainWindow::createMdiChild(bool syntax)
{
    auto *child = new MdiChild(syntax);
    connect(child, &MdiChild::showCursorPos, this, &MainWindow::showCursorPos);
    mdiArea->addSubWindow(child);
    connect(child, &QTextEdit::copyAvailable, cutAct, &QAction::setEnabled);
    connect(child, &QTextEdit::copyAvailable, copyAct, &QAction::setEnabled);
    connect(child, &QTextEdit::undoAvailable, undoAct, &QAction::setEnabled);
    connect(child, &QTextEdit::redoAvailable, redoAct, &QAction::setEnabled);
    connect(child, &QTextEdit::cursorPositionChanged, this,
            [this, child] { showFieldReadout(child); });
    return child;
}

MdiChild *MainWindow::activeMdiChild() const
{
    // The current sub-window stays current while a tool window of the application is active.
    if (QMdiSubWindow *window = mdiArea->currentSubWindow())
        return qobject_cast<MdiChild *>(window->widget());
    return nullptr;
}

QMdiSubWindow *MainWindow::findMdiChild(const QString &path) const
{
    const QString canonicalPath = QFileInfo(path).canonicalFilePath();
    if (canonicalPath.isEmpty())
        return nullptr;
    const QList<QMdiSubWindow *> windows = mdiArea->subWindowList();
    for (QMdiSubWindow *window : windows) {
        auto *child = qobject_cast<MdiChild *>(window->widget());
        if (child && child->currentFile() == canonicalPath)
            return window;
    }
    return nullptr;
}

bool MainWindow::openFile(const QString &path)
{
    const bool syntax = QFileInfo(path).suffix().toUpper() == QLatin1String("IOB");
    MdiChild *child = createMdiChild(syntax);
    const bool loaded = child->loadFile(path);
    if (loaded) {
        child->show();
        rememberRecentFile(path);
    } else {
        child->parentWidget()->close();
    }
    return loaded;
}

void MainWindow::showCursorPos(int l, int c)
{
    cursorLabel->setText(tr("Lig : ") + QString::number(l) + tr(" / Col : ") + QString::number(c));
}

void MainWindow::changeNewVersionMenu(bool b)
{
    newVersionAct->setVisible(b);
}

void MainWindow::getNewVersion()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(DownloadPage)));
}

void MainWindow::commenter()
{
    MdiChild *child = activeMdiChild();
    if (!child)
        return;
    QTextDocument *document = child->document();
    const QTextCursor selection = child->textCursor();
    const QTextBlock firstBlock = document->findBlock(selection.selectionStart());
    const QTextBlock lastBlock = document->findBlock(selection.selectionEnd());

    // The first line that has a first character decides the mode for the whole block; an empty
    // line has nothing to replace and is left as it is, so no line is ever joined to the next.
    QTextCursor edit(document);
    edit.beginEditBlock();
    bool modeChosen = false;
    bool comment = false;
    for (QTextBlock block = firstBlock; block.isValid(); block = block.next()) {
        const QString text = block.text();
        if (!text.isEmpty()) {
            if (!modeChosen) {
                comment = text.at(0) == QLatin1Char(' ');
                modeChosen = true;
            }
            edit.setPosition(block.position());
            edit.setPosition(block.position() + 1, QTextCursor::KeepAnchor);
            edit.insertText(comment ? QStringLiteral("!") : QStringLiteral(" "));
        }
        if (block == lastBlock)
            break;
    }
    edit.endEditBlock();

    QTextCursor lines(document);
    lines.setPosition(firstBlock.position());
    lines.setPosition(lastBlock.position() + lastBlock.length() - 1, QTextCursor::KeepAnchor);
    child->setTextCursor(lines);
    // No explicit re-colouring of the whole document: the colour of a line depends on that line
    // alone, and the edit above has re-coloured every changed line already. Re-colouring line by
    // line outside an edit lays the document out again after each line, which took seconds on a
    // file of a few thousand lines.
}

void MainWindow::ajoutLigne(const QString &line)
{
    MdiChild *child = activeMdiChild();
    if (!child)
        return;
    QTextCursor cursor = child->textCursor();
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.insertText(QLatin1Char('\n') + line);
    child->setTextCursor(cursor);
    // The form now describes the new line.
    if (fieldEditorLoaded)
        rememberFieldEditorLine(child, cursor);
}

void MainWindow::remplaceLigne(const QString &line)
{
    MdiChild *child = activeMdiChild();
    if (!child)
        return;
    QTextCursor cursor = child->textCursor();
    // Before the field editor was first given a line there is no form to check the line with.
    if (fieldEditorLoaded && (fieldEditorChild != child || fieldEditorBlock() != cursor.block())) {
        const std::optional<QTextCursor> target = confirmReplacement(child);
        if (!target)
            return;
        cursor = *target;
        child = activeMdiChild();
        if (!child || cursor.document() != child->document())
            return;
    }
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::StartOfBlock);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    cursor.insertText(line);
    cursor.endEditBlock();
    child->setTextCursor(cursor);
    if (fieldEditorLoaded)
        rememberFieldEditorLine(child, cursor);
}

std::optional<QTextCursor> MainWindow::confirmReplacement(MdiChild *child)
{
    const QTextCursor current = child->textCursor();
    const int currentLine = current.blockNumber() + 1;
    const QString title = frmEditorIOB::tr("Editeur de Champs");
    const QTextBlock loaded = fieldEditorBlock();
    if (!loaded.isValid()) {
        // The line the form was filled from has changed, or its editor is gone.
        const bool sameLine = fieldEditorChild == child && !fieldEditorPosition.isNull() &&
                              fieldEditorPosition.block() == current.block();
        const QString text =
            sameLine ? tr("La ligne %1 a été modifiée depuis que le formulaire a été rempli à "
                          "partir d'elle.\nLa remplacer quand même par le formulaire ?")
                           .arg(currentLine)
                     : tr("Le formulaire n'a pas été rempli à partir de la ligne %1 du curseur, "
                          "et la ligne dont il vient a été modifiée ou fermée depuis.\n"
                          "Remplacer quand même la ligne %1 par le formulaire ?")
                           .arg(currentLine);
        if (prompts::question(this, title, text, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes)
            return std::nullopt;
        return current;
    }

    const int loadedLine = loaded.blockNumber() + 1;
    const QString loadedPlace =
        fieldEditorChild == child
            ? tr("la ligne %1").arg(loadedLine)
            : tr("la ligne %1 de %2")
                  .arg(QString::number(loadedLine), fieldEditorChild->userFriendlyCurrentFile());
    const QString text =
        tr("Le curseur est sur la ligne %1, mais le formulaire a été rempli à partir de %2.\n\n"
           "Oui : remplacer %2.\n"
           "Non : remplacer la ligne %1 du curseur.\n"
           "Annuler : ne rien remplacer.")
            .arg(QString::number(currentLine), loadedPlace);
    switch (prompts::question(this, title, text,
                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                              QMessageBox::Cancel)) {
    case QMessageBox::Yes: {
        if (fieldEditorChild != child)
            mdiArea->setActiveSubWindow(
                qobject_cast<QMdiSubWindow *>(fieldEditorChild->parentWidget()));
        QTextCursor target(loaded);
        fieldEditorChild->setTextCursor(target);
        fieldEditorChild->ensureCursorVisible();
        return target;
    }
    case QMessageBox::No:
        return current;
    default:
        return std::nullopt;
    }
}

void MainWindow::loadFieldEditor(MdiChild *child, const QString &line)
{
    if (!fieldEditor)
        return;
    rememberFieldEditorLine(child, child->textCursor());
    fieldEditor->setLine(line);
}

void MainWindow::rememberFieldEditorLine(MdiChild *child, const QTextCursor &cursor)
{
    const QTextBlock block = cursor.block();
    fieldEditorLoaded = true;
    fieldEditorChild = child;
    fieldEditorPosition = QTextCursor(block);
    fieldEditorText = block.text();
}

QTextBlock MainWindow::fieldEditorBlock() const
{
    if (!fieldEditorChild || fieldEditorPosition.isNull())
        return QTextBlock();
    const QTextBlock block = fieldEditorPosition.block();
    return block.isValid() && block.text() == fieldEditorText ? block : QTextBlock();
}

void MainWindow::suivanteLigne()
{
    stepLine(QTextCursor::NextBlock);
    if (MdiChild *child = activeMdiChild())
        loadFieldEditor(child, child->fieldEditorLine());
}

void MainWindow::precedenteLigne()
{
    stepLine(QTextCursor::PreviousBlock);
    if (MdiChild *child = activeMdiChild())
        loadFieldEditor(child, child->fieldEditorLine());
}

void MainWindow::rechercher()
{
    if (!activeMdiChild())
        return;
    // Each use opens another dialog; it lives until it is closed.
    auto *dialog = new frmFindReplace;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &frmFindReplace::rechercherNext, this, &MainWindow::rechercherNext);
    connect(dialog, &frmFindReplace::rechercherPrevious, this, &MainWindow::rechercherPrevious);
    connect(dialog, &frmFindReplace::rechercherAll, this, &MainWindow::rechercherAll);
    connect(dialog, &frmFindReplace::rechercherQuit, this, &MainWindow::rechercherQuit);
    dialog->show();
}

void MainWindow::rechercherNext(const QString &s)
{
    MdiChild *child = activeMdiChild();
    if (child && !findInEditor(*child, s, SearchDirection::Forward))
        prompts::about(this, tr("Rechercher"), s + tr(" non trouvé"));
}

void MainWindow::rechercherPrevious(const QString &s)
{
    MdiChild *child = activeMdiChild();
    if (child && !findInEditor(*child, s, SearchDirection::Backward))
        prompts::about(this, tr("Rechercher"), s + tr(" non trouvé"));
}

void MainWindow::rechercherAll(const QString &s)
{
    if (MdiChild *child = activeMdiChild())
        child->setExtraSelections(occurrenceSelections(child->document(), s));
}

void MainWindow::rechercherQuit()
{
    if (MdiChild *child = activeMdiChild())
        child->setExtraSelections({});
}

void MainWindow::majLastProcessed(const QList<QString> &files, const QString &cfg)
{
    lastProcessedFiles = files;
    lastProcessedCfg = cfg;
    writeLastRun();
}

void MainWindow::afterProcess()
{
    // Files that no longer exist are dropped; editors with unsaved changes to a listed file may
    // save them first, each asked once even when its file is listed twice.
    QList<QString> existing;
    QList<MdiChild *> asked;
    for (const QString &path : qAsConst(lastProcessedFiles)) {
        if (QFileInfo(path).isFile())
            existing.append(path);
        QMdiSubWindow *window = findMdiChild(path);
        auto *child = window ? qobject_cast<MdiChild *>(window->widget()) : nullptr;
        if (child && !asked.contains(child)) {
            asked.append(child);
            child->askSaveBeforeProcess();
        }
    }
    lastProcessedFiles = existing;
    writeLastRun();

    // The rows of an earlier summary would now index the files of this run.
    if (lastSummary)
        lastSummary->close();

    // A result file the engine did not rewrite (it could not remove it, or was not found) is an
    // earlier run's: the summary must not present it as this run's outcome.
    QList<bool> resultWritten;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    for (const QString &path : qAsConst(lastProcessedFiles)) {
        const QString result = siblingPath(path, QStringLiteral(".fic"));
        const FileStamp before = FileStamp::beforeWrite(result);
        EngineLibrary::runEngineProcess(path, lastProcessedCfg);
        resultWritten.append(FileStamp(result) != before);
    }
    QApplication::restoreOverrideCursor();

    auto *summary = new frmBilanCalcul(lastProcessedFiles, resultWritten);
    summary->setAttribute(Qt::WA_DeleteOnClose);
    connect(summary, &frmBilanCalcul::goShowLog, this, &MainWindow::goShowLog);
    connect(summary, &frmBilanCalcul::goShowFic, this, &MainWindow::goShowFic);
    lastSummary = summary;
    summary->show();
}

void MainWindow::goShowLog(int i)
{
    if (i < 0 || i >= lastProcessedFiles.size())
        return;
    const QString log = siblingPath(lastProcessedFiles.at(i), QStringLiteral(".log"));
    if (QMdiSubWindow *existing = findMdiChild(log)) {
        mdiArea->setActiveSubWindow(existing);
        return;
    }
    if (openFile(log))
        statusBar()->showMessage(tr("Fichier LOG charge"), StatusMessageTimeout);
}

void MainWindow::goShowFic(int i)
{
    if (i < 0 || i >= lastProcessedFiles.size())
        return;
    const QString fic = siblingPath(lastProcessedFiles.at(i), QStringLiteral(".fic"));
    if (QFileInfo::exists(fic))
        showResultWindow(fic);
}

void MainWindow::gotoLog(const QString &f, int l)
{
    if (f.isEmpty())
        return;
    if (QMdiSubWindow *existing = findMdiChild(f))
        mdiArea->setActiveSubWindow(existing);
    else if (openFile(f))
        statusBar()->showMessage(tr("Fichier LOG chargé"), StatusMessageTimeout);

    MdiChild *child = activeMdiChild();
    if (!child)
        return;
    child->moveCursor(QTextCursor::Start);
    if (!child->find(QStringLiteral("INFORMATION SUR LES RESIDUS"))) {
        statusBar()->showMessage(tr("Le fichier LOG ne contient pas les valeurs des résidus "
                                    "(revoir fichier CFG utilisé)"),
                                 StatusMessageTimeout);
        return;
    }
    // The report lists each observation as "#" and its number right-aligned in 11 characters.
    const QString key = QLatin1Char('#') + QString::number(l).rightJustified(11, QLatin1Char(' '));
    child->find(key);
}

void MainWindow::gotoIob(const QString &f, int l)
{
    if (f.isEmpty())
        return;
    if (QMdiSubWindow *existing = findMdiChild(f))
        mdiArea->setActiveSubWindow(existing);
    else if (openFile(f))
        statusBar()->showMessage(tr("Fichier IOB chargé"), StatusMessageTimeout);

    MdiChild *child = activeMdiChild();
    if (!child)
        return;
    // Lines of the file are the document's blocks, whatever the editor's wrapping shows; a line
    // past the end stops at the last one.
    QTextCursor cursor(child->document());
    cursor.movePosition(QTextCursor::NextBlock, QTextCursor::MoveAnchor, l - 1);
    cursor.movePosition(QTextCursor::StartOfBlock);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    child->setTextCursor(cursor);
    child->ensureCursorVisible();
}

void MainWindow::showResultWindow(const QString &fic)
{
    frmResult *window = showWindowsTitled<frmResult>(frmResult::title());
    if (!window) {
        resultWindow = new frmResult;
        resultWindow->setAttribute(Qt::WA_DeleteOnClose);
        connect(resultWindow, &frmResult::gotoLog, this, &MainWindow::gotoLog);
        connect(resultWindow, &frmResult::gotoIob, this, &MainWindow::gotoIob);
        resultWindow->show();
        window = resultWindow;
    }
    window->loadResult(fic);
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        QMetaObject::invokeMethod(this, &MainWindow::settleLoneEditor, Qt::QueuedConnection);
}

void MainWindow::settleLoneEditor()
{
    // The document area neither maximizes nor activates the only editor when it was added while
    // the area was hidden (a file named on the command line): it stays a small window inside its
    // tab, and the tools and editor actions ignore it. Added again now that the area is on
    // screen, it behaves as any editor opened later.
    const QList<QMdiSubWindow *> windows = mdiArea->subWindowList();
    if (windows.size() != 1 || windows.first()->isMaximized())
        return;
    QMdiSubWindow *window = windows.first();
    mdiArea->removeSubWindow(window);
    mdiArea->addSubWindow(window);
    window->show();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    mdiArea->closeAllSubWindows();
    if (!mdiArea->subWindowList().isEmpty()) {
        event->ignore();
    } else {
        writeSettings();
        event->accept();
    }
    // This window is closing already, so the application leaves it out.
    QApplication::closeAllWindows();
}

void MainWindow::newFile()
{
    MdiChild *child = createMdiChild(true);
    child->newFile();
    child->show();
}

void MainWindow::open()
{
    const QString path =
        prompts::openFileName(this, tr("Ouverture d'un fichier"), QString(),
                              tr("Fichier IOB (*.iob);;Fichier LOG (*.log);;Tous (*.*)"));
    if (path.isEmpty())
        return;
    if (QMdiSubWindow *existing = findMdiChild(path)) {
        mdiArea->setActiveSubWindow(existing);
        return;
    }
    if (openFile(path))
        statusBar()->showMessage(tr("Fichier chargé"), StatusMessageTimeout);
}

void MainWindow::save()
{
    MdiChild *child = activeMdiChild();
    if (child && child->save()) {
        statusBar()->showMessage(tr("Fichier sauvé"), StatusMessageTimeout);
        rememberRecentFile(child->currentFile());
    }
}

void MainWindow::saveAs()
{
    MdiChild *child = activeMdiChild();
    if (child && child->saveAs()) {
        statusBar()->showMessage(tr("Fichier sauvé"), StatusMessageTimeout);
        rememberRecentFile(child->currentFile());
    }
}

void MainWindow::cut()
{
    if (MdiChild *child = activeMdiChild())
        child->cut();
}

void MainWindow::copy()
{
    if (MdiChild *child = activeMdiChild())
        child->copy();
}

void MainWindow::paste()
{
    if (MdiChild *child = activeMdiChild())
        child->paste();
}

void MainWindow::undo()
{
    if (MdiChild *child = activeMdiChild())
        child->undo();
}

void MainWindow::redo()
{
    if (MdiChild *child = activeMdiChild())
        child->redo();
}

void MainWindow::showHelp()
{
    frmHelp *window = showWindowsTitled<frmHelp>(frmHelp::title());
    if (!window) {
        helpWindow = new frmHelp;
        helpWindow->setAttribute(Qt::WA_DeleteOnClose);
        // Over the middle of the workbench rather than in a corner of the screen.
        helpWindow->move(geometry().center() - helpWindow->rect().center());
        helpWindow->show();
        window = helpWindow;
    }
    MdiChild *child = activeMdiChild();
    if (!child || !child->hasSyntax())
        return;
    const QString line = child->textCursor().block().text();
    const QString code = lineCode(line);
    if (!line.startsWith(QLatin1Char('#')) && catalogue().indexOf(code) >= 0)
        window->showRecord(code);
}

void MainWindow::gotoLine()
{
    MdiChild *child = activeMdiChild();
    if (!child)
        return;
    QTextDocument *document = child->document();
    const int lines = document->blockCount();
    const std::optional<int> line =
        prompts::integer(this, tr("Aller à la ligne"), tr("Numéro de ligne (1 à %1) :").arg(lines),
                         child->textCursor().blockNumber() + 1, 1, lines);
    if (!line)
        return;
    child->setTextCursor(QTextCursor(document->findBlockByNumber(*line - 1)));
    child->ensureCursorVisible();
    child->setFocus();
}

void MainWindow::about()
{
    auto *box = new frmAbout;
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

void MainWindow::updateMenus()
{
    MdiChild *child = activeMdiChild();
    const bool has = child != nullptr;
    saveAct->setEnabled(has);
    saveAsAct->setEnabled(has);
    pasteAct->setEnabled(has);
    closeAct->setEnabled(has);
    closeAllAct->setEnabled(has);
    nextAct->setEnabled(has);
    previousAct->setEnabled(has);
    separatorAct->setVisible(has);

    const bool hasSelection = has && child->textCursor().hasSelection();
    cutAct->setEnabled(hasSelection);
    copyAct->setEnabled(hasSelection);
    undoAct->setEnabled(has && child->document()->isUndoAvailable());
    redoAct->setEnabled(has && child->document()->isRedoAvailable());
    gotoLineAct->setEnabled(has);
    showFieldReadout(child);

    // The label follows the editor now active, whose cursor has not moved.
    if (has) {
        const QTextCursor cursor = child->textCursor();
        showCursorPos(cursor.blockNumber() + 1, cursor.columnNumber() + 1);
    } else {
        cursorLabel->clear();
    }
}

void MainWindow::updateWindowMenu()
{
    windowMenu->clear();
    windowMenu->addAction(closeAct);
    windowMenu->addAction(closeAllAct);
    windowMenu->addSeparator();
    windowMenu->addAction(nextAct);
    windowMenu->addAction(previousAct);
    windowMenu->addAction(separatorAct);

    const QList<QMdiSubWindow *> windows = mdiArea->subWindowList();
    separatorAct->setVisible(!windows.isEmpty());

    const MdiChild *active = activeMdiChild();
    for (int i = 0; i < windows.size(); ++i) {
        auto *child = qobject_cast<MdiChild *>(windows.at(i)->widget());
        if (!child)
            continue;
        // Only the first nine entries get a keyboard mnemonic.
        const QString format = i < 9 ? tr("&%1 %2") : tr("%1 %2");
        QAction *action =
            windowMenu->addAction(format.arg(i + 1).arg(child->userFriendlyCurrentFile()));
        action->setCheckable(true);
        action->setChecked(child == active);
        // The sub-window is the context: the entry does nothing once its window is gone.
        QMdiSubWindow *window = windows.at(i);
        connect(action, &QAction::triggered, window,
                [this, window] { mdiArea->setActiveSubWindow(window); });
    }
}

void MainWindow::switchLayoutDirection()
{
    if (layoutDirection() == Qt::LeftToRight)
        QGuiApplication::setLayoutDirection(Qt::RightToLeft);
    else
        QGuiApplication::setLayoutDirection(Qt::LeftToRight);
}

void MainWindow::createCFG()
{
    const QString path = prompts::saveFileName(this, tr("Fichier CFG à créer"), QString(),
                                               tr("Fichier CFG (*.cfg)"));
    if (path.isEmpty())
        return;
    if (EngineLibrary::runEngineNewCfg(path))
        statusBar()->showMessage(tr("Fichier CFG crée"), StatusMessageTimeout);
    else
        statusBar()->showMessage(tr("Impossible de créer le fichier CFG"), StatusMessageTimeout);
}

void MainWindow::editCFG()
{
    const QString path = prompts::openFileName(this, tr("Ouvrir un fichier CFG"), QString(),
                                               tr("Fichiers CFG (*.cfg)"));
    if (path.isEmpty())
        return;
    // Without parent and not modal: several editors may stay open beside the main window.
    auto *editor = new frmoptions;
    editor->setAttribute(Qt::WA_DeleteOnClose);
    editor->readConfiguration(path);
    editor->show();
}

void MainWindow::processIOB()
{
    auto *launcher = new frmTraitement(lastProcessedFiles, lastProcessedCfg);
    launcher->setAttribute(Qt::WA_DeleteOnClose);
    connect(launcher, &frmTraitement::majLastProcessed, this, &MainWindow::majLastProcessed);
    connect(launcher, &frmTraitement::afterProcess, this, &MainWindow::afterProcess);
    launcher->show();
}

void MainWindow::showEditor()
{
    MdiChild *child = activeMdiChild();
    if (!child)
        return;

    if (!showWindowsTitled(frmEditorIOB::tr("Editeur de Champs"))) {
        fieldEditor = new frmEditorIOB(this);
        connect(fieldEditor, &frmEditorIOB::ajoutLigne, this, &MainWindow::ajoutLigne);
        connect(fieldEditor, &frmEditorIOB::remplaceLigne, this, &MainWindow::remplaceLigne);
        connect(fieldEditor, &frmEditorIOB::suivanteLigne, this, &MainWindow::suivanteLigne);
        connect(fieldEditor, &frmEditorIOB::precedenteLigne, this, &MainWindow::precedenteLigne);
        fieldEditor->show();
    }
    loadFieldEditor(child, child->textCursor().block().text());
}

void MainWindow::showResults()
{
    MdiChild *child = activeMdiChild();
    if (!child)
        return;
    const QString fic = siblingPath(child->currentFile(), QStringLiteral(".fic"));
    if (QFileInfo::exists(fic))
        showResultWindow(fic);
    else
        statusBar()->showMessage(tr("Fichier FIC ") + fic + tr(" inexistant"),
                                 StatusMessageTimeout);
}

void MainWindow::convert()
{
    if (showWindowsTitled(frmConvert::tr("Importation de données externes")))
        return;
    auto *dialog = new frmConvert;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void MainWindow::geoid()
{
    if (showWindowsTitled(frmGeoid::tr("Création d'un fichier de géoïde pour Tavlo")))
        return;
    auto *dialog = new frmGeoid;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void MainWindow::manageGNSS()
{
    MdiChild *child = activeMdiChild();
    if (!child)
        return;
    // The tool works on the file on disk: without a successful save it would rewrite an older
    // text than the editor's (or, for an untitled document, no file at all).
    if (!child->save())
        return;
    frmVecteurGNSS dialog(child->currentFile(), this);
    dialog.exec();
}

void MainWindow::drawNetwork()
{
    MdiChild *child = activeMdiChild();
    if (!child)
        return;
    const QString drawing = siblingPath(child->currentFile(), QStringLiteral(".drw"));
    if (!QFileInfo(drawing).isFile())
        return;
    frmDrawMain window(drawing, width(), height());
    window.setWindowTitle(tr("Dessin : ") + child->userFriendlyCurrentFile());
    // The ellipses hold the points at the confidence of the run that drew them.
    Configuration configuration;
    QString error;
    if (lastProcessedFiles.contains(child->currentFile()) &&
        loadConfiguration(lastProcessedCfg, configuration, error)) {
        const double confidence =
            normaliseDecimal(configuration.text(QStringLiteral("REG2D_CONF"))).toDouble();
        if (confidence > 0.0 && confidence < 1.0)
            window.setConfidence(confidence);
    }
    window.exec();
}

void MainWindow::createActions()
{
    const auto makeAction = [this](const QString &text, const char *icon, const QString &tip) {
        auto *action = icon ? new QAction(QIcon(QString::fromLatin1(icon)), text, this)
                            : new QAction(text, this);
        action->setStatusTip(tip);
        return action;
    };

    newAct =
        makeAction(tr("&Nouveau"), ":/images/new.png", tr("Creation d'un nouveau fichier IOB"));
    newAct->setShortcuts(QKeySequence::New);
    connect(newAct, &QAction::triggered, this, &MainWindow::newFile);

    openAct = makeAction(tr("&Ouvrir..."), ":/images/open.png", tr("Ouvrir un fichier existant"));
    openAct->setShortcuts(QKeySequence::Open);
    connect(openAct, &QAction::triggered, this, &MainWindow::open);

    saveAct = makeAction(tr("&Sauver"), ":/images/save.png",
                         tr("Sauver le contenu du fichier sur le disque"));
    saveAct->setShortcuts(QKeySequence::Save);
    connect(saveAct, &QAction::triggered, this, &MainWindow::save);

    saveAsAct =
        makeAction(tr("Sauver &sous..."), nullptr, tr("Sauver le document sous un nouveau nom"));
    saveAsAct->setShortcuts(QKeySequence::SaveAs);
    connect(saveAsAct, &QAction::triggered, this, &MainWindow::saveAs);

    exitAct = makeAction(tr("&Quitter"), nullptr, tr("Quitter l'application Tavlo"));
    exitAct->setShortcuts(QKeySequence::Quit);
    connect(exitAct, &QAction::triggered, qApp, &QApplication::closeAllWindows);

    cutAct = makeAction(tr("Couper"), ":/images/cut.png",
                        tr("Couper la sélection courante vers le presse papier"));
    cutAct->setShortcuts(QKeySequence::Cut);
    connect(cutAct, &QAction::triggered, this, &MainWindow::cut);

    copyAct = makeAction(tr("&Copier"), ":/images/copy.png",
                         tr("Copier la sélection vers le presse papier"));
    copyAct->setShortcuts(QKeySequence::Copy);
    connect(copyAct, &QAction::triggered, this, &MainWindow::copy);

    pasteAct = makeAction(tr("Coller"), ":/images/paste.png",
                          tr("Coller le contenu du presse papier dans le document"));
    pasteAct->setShortcuts(QKeySequence::Paste);
    connect(pasteAct, &QAction::triggered, this, &MainWindow::paste);

    findAct = makeAction(tr("&Rechercher..."), nullptr, tr("Rechercher du texte"));
    findAct->setShortcuts(QKeySequence::Find);
    connect(findAct, &QAction::triggered, this, &MainWindow::rechercher);

    commentAct = makeAction(tr("&Commenter/Décommenter..."), nullptr,
                            tr("Commenter ou décommenter du texte"));
    commentAct->setShortcut(QKeySequence(Qt::Key_F5));
    connect(commentAct, &QAction::triggered, this, &MainWindow::commenter);

    closeAct = makeAction(tr("&Fermer"), nullptr, tr("Ferme la fenêtre courante"));
    connect(closeAct, &QAction::triggered, mdiArea, &QMdiArea::closeActiveSubWindow);

    closeAllAct = makeAction(tr("Fermer &Tout"), nullptr, tr("Ferme toutes les fenêtres ouvertes"));
    connect(closeAllAct, &QAction::triggered, mdiArea, &QMdiArea::closeAllSubWindows);

    nextAct = makeAction(tr("Suivante"), nullptr, tr("Déplace le focus sur la fenêtre suivante"));
    nextAct->setShortcuts(QKeySequence::NextChild);
    connect(nextAct, &QAction::triggered, mdiArea, &QMdiArea::activateNextSubWindow);

    previousAct =
        makeAction(tr("Précédente"), nullptr, tr("Déplace le focus sur la fenêtre précédente"));
    previousAct->setShortcuts(QKeySequence::PreviousChild);
    connect(previousAct, &QAction::triggered, mdiArea, &QMdiArea::activatePreviousSubWindow);

    separatorAct = new QAction(this);
    separatorAct->setSeparator(true);

    aboutAct = makeAction(tr("&A propos de"), nullptr, tr("A propos de Tavlo"));
    connect(aboutAct, &QAction::triggered, this, &MainWindow::about);

    createCfgAct = makeAction(tr("Créer un fichier CFG"), nullptr,
                              tr("Création d'un nouveau fichier de configuration."));
    connect(createCfgAct, &QAction::triggered, this, &MainWindow::createCFG);

    editCfgAct = makeAction(tr("Editer un fichier CFG"), ":/images/settings.png",
                            tr("Edition d'un fichier de configuration de calcul."));
    connect(editCfgAct, &QAction::triggered, this, &MainWindow::editCFG);

    processAct = makeAction(tr("Lancer le traitement..."), ":/images/process.png",
                            tr("Réaliser un traitement par Tavlo"));
    connect(processAct, &QAction::triggered, this, &MainWindow::processIOB);

    editorAct = makeAction(tr("Editeur..."), nullptr, tr("Lancer l'éditeur de champs"));
    editorAct->setShortcut(QKeySequence(Qt::Key_F7));
    connect(editorAct, &QAction::triggered, this, &MainWindow::showEditor);

    showResultsAct = makeAction(tr("Afficher Résultats"), ":/images/showreport.png",
                                tr("Affiche la fenêtre sur le résultat du traitement"));
    connect(showResultsAct, &QAction::triggered, this, &MainWindow::showResults);

    convertAct = makeAction(tr("Importation de fichier"), nullptr,
                            tr("Importation de données dans un autre format"));
    connect(convertAct, &QAction::triggered, this, &MainWindow::convert);

    geoidAct = makeAction(tr("Fichier geoïde Tavlo"), nullptr,
                          tr("Création d'un fichier de geoïde au format Tavlo"));
    connect(geoidAct, &QAction::triggered, this, &MainWindow::geoid);

    gnssAct = makeAction(tr("Outil GNSS"), ":/images/satellite.png",
                         tr("Gestion avancée des vecteurs GNSS"));
    connect(gnssAct, &QAction::triggered, this, &MainWindow::manageGNSS);

    drawAct = makeAction(tr("Afficher le réseau"), ":/images/draw.png",
                         tr("Affiche le réseau et ses caractéristiques de précision et fiabilité"));
    connect(drawAct, &QAction::triggered, this, &MainWindow::drawNetwork);

    newVersionAct = makeAction(tr("Nouvelle version disponible !"), nullptr, QString());
    connect(newVersionAct, &QAction::triggered, this, &MainWindow::getNewVersion);

    helpAct = makeAction(tr("Aide"), nullptr,
                         tr("Aide de Tavlo : traitement, formats des enregistrements, manuel du "
                            "moteur"));
    helpAct->setShortcuts(QKeySequence::HelpContents);
    connect(helpAct, &QAction::triggered, this, &MainWindow::showHelp);

    gotoLineAct = makeAction(tr("Aller à la ligne..."), nullptr,
                             tr("Placer le curseur au début d'une ligne du document"));
    gotoLineAct->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_G));
    connect(gotoLineAct, &QAction::triggered, this, &MainWindow::gotoLine);

    undoAct = makeAction(tr("Annuler"), nullptr, tr("Annuler la dernière modification"));
    undoAct->setShortcuts(QKeySequence::Undo);
    connect(undoAct, &QAction::triggered, this, &MainWindow::undo);

    redoAct = makeAction(tr("Rétablir"), nullptr, tr("Rétablir la dernière modification annulée"));
    redoAct->setShortcuts(QKeySequence::Redo);
    connect(redoAct, &QAction::triggered, this, &MainWindow::redo);
}

void MainWindow::createMenus()
{
    fileMenu = menuBar()->addMenu(tr("&Fichier"));
    fileMenu->addAction(newAct);
    fileMenu->addAction(openAct);
    recentFilesMenu = fileMenu->addMenu(tr("Fichiers &récents"));
    updateRecentFilesMenu();
    fileMenu->addAction(saveAct);
    fileMenu->addAction(saveAsAct);
    fileMenu->addSeparator();
    QAction *layoutAct = fileMenu->addAction(tr("Modifier la position des menus"));
    connect(layoutAct, &QAction::triggered, this, &MainWindow::switchLayoutDirection);
    fileMenu->addAction(exitAct);

    editMenu = menuBar()->addMenu(tr("&Edition"));
    editMenu->addAction(undoAct);
    editMenu->addAction(redoAct);
    editMenu->addSeparator();
    editMenu->addAction(cutAct);
    editMenu->addAction(copyAct);
    editMenu->addAction(pasteAct);
    editMenu->addSeparator();
    editMenu->addAction(findAct);
    editMenu->addAction(gotoLineAct);
    editMenu->addSeparator();
    editMenu->addAction(commentAct);

    windowMenu = menuBar()->addMenu(tr("&Fenêtres"));
    updateWindowMenu();
    connect(windowMenu, &QMenu::aboutToShow, this, &MainWindow::updateWindowMenu);

    processMenu = menuBar()->addMenu(tr("Traitement"));
    processMenu->addAction(createCfgAct);
    processMenu->addAction(editCfgAct);
    processMenu->addSeparator();
    processMenu->addAction(processAct);
    processMenu->addSeparator();
    processMenu->addAction(showResultsAct);
    processMenu->addAction(editorAct);

    toolsMenu = menuBar()->addMenu(tr("Outils"));
    toolsMenu->addAction(convertAct);
    toolsMenu->addAction(geoidAct);
    toolsMenu->addSeparator();
    toolsMenu->addAction(gnssAct);
    toolsMenu->addSeparator();
    toolsMenu->addAction(drawAct);

    menuBar()->addSeparator();

    helpMenu = menuBar()->addMenu(tr("&Aide"));
    helpMenu->addAction(helpAct);
    helpMenu->addAction(aboutAct);

    menuBar()->addAction(newVersionAct);
}

void MainWindow::createToolBars()
{
    fileToolBar = addToolBar(tr("Fichier"));
    fileToolBar->addAction(newAct);
    fileToolBar->addAction(openAct);
    fileToolBar->addAction(saveAct);

    editToolBar = addToolBar(tr("Edition"));
    editToolBar->addAction(cutAct);
    editToolBar->addAction(copyAct);
    editToolBar->addAction(pasteAct);

    processToolBar = addToolBar(tr("Traitement"));
    processToolBar->addAction(processAct);
    processToolBar->addAction(editCfgAct);
    processToolBar->addAction(showResultsAct);
    processToolBar->addAction(drawAct);
}

void MainWindow::createStatusBar()
{
    statusBar()->showMessage(tr("Prêt"));
    cursorLabel = new QLabel(this);
    cursorLabel->setObjectName(QStringLiteral("cursorLabel"));
    statusBar()->addPermanentWidget(cursorLabel);
    // Left of the cursor's position.
    fieldLabel = new QLabel(this);
    fieldLabel->setObjectName(QStringLiteral("fieldLabel"));
    // Apart from the line and column, which follow it.
    fieldLabel->setContentsMargins(0, 0, 16, 0);
    statusBar()->insertPermanentWidget(0, fieldLabel);
}

void MainWindow::readSettings()
{
    QSettings settings = settingsStore();
    lastProcessedFiles = settings.value(QLatin1String(LastRunFilesKey)).toStringList();
    lastProcessedCfg = settings.value(QLatin1String(LastRunConfigurationKey)).toString();

    const QPoint pos = settings.value(QStringLiteral("pos")).toPoint();
    const QSize size = settings.value(QStringLiteral("size")).toSize();
    if (settings.contains(QStringLiteral("pos")) && size.isValid()) {
        // A window stored on a screen that is gone would open out of reach.
        const QRect top(pos, QSize(size.width(), ReachableHeight));
        const QList<QScreen *> screens = QGuiApplication::screens();
        for (const QScreen *screen : screens) {
            if (screen->availableGeometry().intersects(top)) {
                move(pos);
                resize(size);
                return;
            }
        }
    }
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    resize(available.size() * FirstWindowShare);
    move(available.center() - QPoint(width() / 2, height() / 2));
}

void MainWindow::writeSettings()
{
    QSettings settings = settingsStore();
    settings.setValue(QStringLiteral("pos"), pos());
    settings.setValue(QStringLiteral("size"), size());
}

QStringList MainWindow::recentFiles() const
{
    return settingsStore().value(QLatin1String(RecentFilesKey)).toStringList();
}

void MainWindow::rememberRecentFile(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty())
        return;
    QStringList files = recentFiles();
    files.removeAll(canonical);
    files.prepend(canonical);
    settingsStore().setValue(QLatin1String(RecentFilesKey),
                             QStringList(files.mid(0, RecentFileCount)));
    updateRecentFilesMenu();
}

void MainWindow::updateRecentFilesMenu()
{
    recentFilesMenu->clear();
    const QStringList files = recentFiles();
    for (int i = 0; i < files.size() && i < RecentFileCount; ++i) {
        const QString path = files.at(i);
        QString shown = QDir::toNativeSeparators(path);
        shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
        // Only the first nine entries get a keyboard mnemonic, as in the window menu.
        const QString format = i < 9 ? tr("&%1 %2") : tr("%1 %2");
        QAction *action = recentFilesMenu->addAction(format.arg(i + 1).arg(shown));
        connect(action, &QAction::triggered, this, [this, path] { openRecentFile(path); });
    }
    recentFilesMenu->setEnabled(!files.isEmpty());
}

void MainWindow::openRecentFile(const QString &path)
{
    if (QMdiSubWindow *existing = findMdiChild(path)) {
        mdiArea->setActiveSubWindow(existing);
        return;
    }
    if (openFile(path)) {
        statusBar()->showMessage(tr("Fichier chargé"), StatusMessageTimeout);
        return;
    }
    // The file is gone or unreadable (the editor said why): it leaves the list.
    QStringList files = recentFiles();
    files.removeAll(path);
    settingsStore().setValue(QLatin1String(RecentFilesKey), files);
    updateRecentFilesMenu();
}

void MainWindow::writeLastRun()
{
    QSettings settings = settingsStore();
    settings.setValue(QLatin1String(LastRunFilesKey), QStringList(lastProcessedFiles));
    settings.setValue(QLatin1String(LastRunConfigurationKey), lastProcessedCfg);
}

void MainWindow::showFieldReadout(MdiChild *child)
{
    // Signals of an editor in the background, or of one that is going, change nothing shown.
    if (child != activeMdiChild())
        return;
    QString readout;
    if (child && child->hasSyntax()) {
        const QTextCursor cursor = child->textCursor();
        readout = fieldReadout(catalogue(), cursor.block().text(), cursor.columnNumber() + 1);
    }
    fieldLabel->setText(readout);
}

void MainWindow::stepLine(QTextCursor::MoveOperation move)
{
    MdiChild *child = activeMdiChild();
    if (!child)
        return;
    QTextCursor cursor = child->textCursor();
    // On the last (or first) line the cursor cannot move and stays where it is.
    cursor.movePosition(move);
    child->setTextCursor(cursor);
    child->ensureCursorVisible();
}
