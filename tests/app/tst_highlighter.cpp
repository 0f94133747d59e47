#include "highlighter.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QtTest>

// Colours are checked on the formats the highlighter leaves on each line's layout.
class tst_Highlighter : public QObject
{
    Q_OBJECT

private slots:
    void colours_data();
    void colours();
    void everyRecordCode_data();
    void everyRecordCode();
    void linesAreIndependent();

private:
    static QVector<QTextLayout::FormatRange> formatsOf(const QString &line);
};

QVector<QTextLayout::FormatRange> tst_Highlighter::formatsOf(const QString &line)
{
    QTextDocument document;
    // A document reports its changes, and so gets coloured, once it has a layout, as in an editor.
    document.documentLayout();
    Highlighter highlighter(&document);
    document.setPlainText(line);
    return document.firstBlock().layout()->formats();
}

void tst_Highlighter::colours_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("length");
    QTest::addColumn<QColor>("colour");

    const QColor red(Qt::darkRed);
    const QColor green(Qt::darkGreen);
    const QColor blue(Qt::blue);

    QTest::newRow("distance") << " DIST  S01  S02      123.4567" << 1 << 4 << red;
    QTest::newRow("two-letter code with fields") << " HI  S01     1.543" << 1 << 2 << red;
    QTest::newRow("two-letter code and a blank") << " HI " << 1 << 2 << red;
    QTest::newRow("three-letter code") << " 3DC  S01" << 1 << 3 << red;
    QTest::newRow("code alone, four characters") << " XYZ" << 1 << 3 << red;
    QTest::newRow("XMTR is a keyword") << " XMTR 1 2" << 1 << 4 << red;
    QTest::newRow("lower-case code") << " dist  S01  S02" << 0 << 0 << QColor();
    QTest::newRow("lower-case two letters") << " hi  S01" << 0 << 0 << QColor();
    QTest::newRow("XTMR is not a keyword") << " XTMR 1 2" << 0 << 0 << QColor();
    QTest::newRow("STGR is not a keyword") << " STGR 1 2" << 0 << 0 << QColor();
    QTest::newRow("code shifted to column 3") << "  DIST S01" << 0 << 0 << QColor();
    QTest::newRow("three characters") << " HI" << 0 << 0 << QColor();
    QTest::newRow("blank line") << "    " << 0 << 0 << QColor();
    QTest::newRow("empty line") << "" << 0 << 0 << QColor();
    QTest::newRow("include") << "#include nivellement.iob" << 0 << 8 << blue;
    QTest::newRow("include, one-letter name") << "#include a" << 0 << 8 << blue;
    QTest::newRow("include alone") << "#include" << 0 << 0 << QColor();
    QTest::newRow("include and a blank") << "#include " << 0 << 0 << QColor();
    QTest::newRow("upper-case include") << "#INCLUDE a.iob" << 0 << 0 << QColor();
    QTest::newRow("other hash line") << "# 12 points" << 0 << 0 << QColor();
    QTest::newRow("star comment") << "* levé du 12 mars" << 0 << 17 << green;
    QTest::newRow("commented record") << "! DIST  S01  S02" << 0 << 16 << green;
    QTest::newRow("code from column 1") << "DIST  S01" << 0 << 9 << green;
    QTest::newRow("tab in column 1") << "\tDIST" << 0 << 5 << green;
}

void tst_Highlighter::colours()
{
    QFETCH(QString, line);
    QFETCH(int, start);
    QFETCH(int, length);
    QFETCH(QColor, colour);

    const QVector<QTextLayout::FormatRange> formats = formatsOf(line);
    if (length == 0) {
        QVERIFY(formats.isEmpty());
        return;
    }
    QCOMPARE(formats.size(), 1);
    QCOMPARE(formats.at(0).start, start);
    QCOMPARE(formats.at(0).length, length);
    QCOMPARE(formats.at(0).format.foreground().color(), colour);
    // Only the text colour changes: no font, weight or background.
    QCOMPARE(formats.at(0).format.properties().keys(), QList<int>{QTextFormat::ForegroundBrush});
}

void tst_Highlighter::everyRecordCode_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("coloured");

    const QStringList catalogue{
        "3DC",  "3DD",  "ANGT", "AUX",  "AZIM", "CORR", "COV",  "DIR",  "DIST", "DSET", "DXYZ",
        "ELEM", "ELIP", "EPOC", "GEOI", "GFIL", "GRP",  "HI",   "HT",   "LAMB", "LENU", "LNEU",
        "NEH",  "NEO",  "OHDF", "OMER", "PLH",  "PLHD", "PLO",  "PLOD", "PMOY", "RSET", "SIGM",
        "STGR", "TITL", "TMER", "UNHI", "UNHT", "XLAM", "XTMR", "XYZ",  "WGT",  "ZANG"};
    for (const QString &code : catalogue) {
        const bool coloured = code != "STGR" && code != "XTMR";
        QTest::newRow(qPrintable(code)) << code << coloured;
    }
    QTest::newRow("XMTR") << "XMTR" << true;
    QTest::newRow("unknown") << "ABCD" << false;
}

void tst_Highlighter::everyRecordCode()
{
    QFETCH(QString, code);
    QFETCH(bool, coloured);

    const QString line = QLatin1Char(' ') + code.leftJustified(4) + QStringLiteral(" S01  S02");
    const QVector<QTextLayout::FormatRange> formats = formatsOf(line);
    QCOMPARE(formats.size(), coloured ? 1 : 0);
    if (coloured) {
        QCOMPARE(formats.at(0).start, 1);
        QCOMPARE(formats.at(0).length, code.size());
    }
}

void tst_Highlighter::linesAreIndependent()
{
    QTextDocument document;
    document.documentLayout();
    Highlighter highlighter(&document);
    document.setPlainText("* titre\n DIST  S01\n#include a.iob\n\n ZANG  S01");

    const QList<QColor> expected{Qt::darkGreen, Qt::darkRed, Qt::blue, QColor(), Qt::darkRed};
    QTextBlock block = document.firstBlock();
    for (const QColor &colour : expected) {
        const auto formats = block.layout()->formats();
        QCOMPARE(formats.size(), colour.isValid() ? 1 : 0);
        if (colour.isValid())
            QCOMPARE(formats.at(0).format.foreground().color(), colour);
        block = block.next();
    }

    // Commenting a record line out turns it green without touching its neighbours.
    QTextCursor cursor(document.findBlockByNumber(1));
    cursor.deleteChar();
    cursor.insertText("!");
    QCOMPARE(document.findBlockByNumber(1).layout()->formats().at(0).format.foreground().color(),
             QColor(Qt::darkGreen));
    QCOMPARE(document.findBlockByNumber(2).layout()->formats().at(0).format.foreground().color(),
             QColor(Qt::blue));
}

QTEST_MAIN(tst_Highlighter)
#include "tst_highlighter.moc"
