#include "frmhelp.h"
#include "helpbrowser.h"
#include "helppages.h"

#include <QFile>
#include <QTextBlock>
#include <QTextTable>
#include <QtTest>

// The help window: its pages by address, the record pages reached from the index, and the engine's
// manual carried by the program as docs/engine.md and shown through Qt's Markdown reader.
class tst_frmHelp : public QObject
{
    Q_OBJECT

private slots:
    void startsOnTheContents();
    void engineManualIsTheRepositorysOne();
    void engineManualRenderedAsMarkdown();
    void recordPageFromTheIndex();
    void unknownRecordShowsTheIndex();
    void unknownAddressFound();
};

void tst_frmHelp::startsOnTheContents()
{
    frmHelp help;
    QCOMPARE(help.windowTitle(), QStringLiteral("Aide de Tavlo"));
    QCOMPARE(help.browser()->source().toString(), helpIndexAddress());
    const QString text = help.browser()->toPlainText();
    QVERIFY(text.contains(QString::fromUtf8("Déroulement d'un traitement")));
    QVERIFY(text.contains(QStringLiteral("Lancer le traitement")));
}

void tst_frmHelp::engineManualIsTheRepositorysOne()
{
    QFile file(QStringLiteral(TAVLO_ENGINE_MANUAL));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(engineManualMarkdown(), QString::fromUtf8(file.readAll()));
}

void tst_frmHelp::engineManualRenderedAsMarkdown()
{
    frmHelp help;
    help.showEngineManual();
    QCOMPARE(help.browser()->source().toString(), engineManualAddress());
    QTextDocument *document = help.browser()->document();
    // Headings and tables come out as such, not as the Markdown's marks.
    const QTextBlock first = document->firstBlock();
    QCOMPARE(first.text(), QStringLiteral("The Tavlo adjustment engine"));
    QCOMPARE(first.blockFormat().headingLevel(), 1);
    int tables = 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        QVERIFY2(!block.text().startsWith(QStringLiteral("| ")), qPrintable(block.text()));
        if (QTextCursor(block).currentTable() &&
            QTextCursor(block).currentTable()->cellAt(QTextCursor(block)).row() == 0 &&
            QTextCursor(block).currentTable()->cellAt(QTextCursor(block)).column() == 0)
            ++tables;
    }
    QVERIFY(tables >= 5);
}

void tst_frmHelp::recordPageFromTheIndex()
{
    frmHelp help;
    help.resize(900, 700);
    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    help.showRecords();
    HelpBrowser *browser = help.browser();
    QVERIFY(browser->find(QStringLiteral("OHDF")));
    // A click on the code follows its link.
    QTextCursor link = browser->textCursor();
    link.clearSelection();
    link.movePosition(QTextCursor::Left);
    const QPoint where = browser->cursorRect(link).center() + QPoint(4, 0);
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, Qt::NoModifier, where);
    QCOMPARE(browser->source().toString(), QStringLiteral("tavlo:record/OHDF"));
    const QString text = browser->toPlainText();
    QVERIFY(text.contains(QString::fromUtf8("93–94")));
    QVERIFY(text.contains(QStringLiteral("Lu par le moteur")));
    browser->backward();
    QCOMPARE(browser->source().toString(), QStringLiteral("tavlo:records"));
}

void tst_frmHelp::unknownRecordShowsTheIndex()
{
    frmHelp help;
    help.showRecord(QStringLiteral("XXXX"));
    QCOMPARE(help.browser()->source().toString(), QStringLiteral("tavlo:records"));
    help.showRecord(QStringLiteral("AUX"));
    QCOMPARE(help.browser()->source().toString(), QStringLiteral("tavlo:record/AUX"));
}

void tst_frmHelp::unknownAddressFound()
{
    QVERIFY(!helpPage(QStringLiteral("tavlo:nowhere")).found);
    QVERIFY(!helpPage(QStringLiteral("tavlo:record/")).found);
    QVERIFY(helpPage(engineManualAddress()).markdown);
}

QTEST_MAIN(tst_frmHelp)
#include "tst_frmhelp.moc"
