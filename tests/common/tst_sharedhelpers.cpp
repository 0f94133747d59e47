#include "sharedhelpers.h"

#include <QDir>
#include <QtTest>

class tst_SharedHelpers : public QObject
{
    Q_OBJECT

private slots:
    void siblingPath_data();
    void siblingPath();
    void formatFixed_data();
    void formatFixed();
    void normaliseDecimal_data();
    void normaliseDecimal();
};

void tst_SharedHelpers::siblingPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("expected");

    QTest::newRow("last extension only") << "/m/net.old.iob" << ".log" << "/m/net.old.log";
    QTest::newRow("result file") << "/data/reseau.iob" << ".fic" << "/data/reseau.fic";
    QTest::newRow("no extension") << "/data/reseau" << ".drw" << "/data/reseau.drw";
    QTest::newRow("upper-case extension") << "/data/R.IOB" << ".log" << "/data/R.log";
    QTest::newRow("root folder") << "/net.iob" << ".log" << "/net.log";
}

void tst_SharedHelpers::siblingPath()
{
    QFETCH(QString, path);
    QFETCH(QString, extension);
    QFETCH(QString, expected);
    QCOMPARE(::siblingPath(path, extension), QDir::toNativeSeparators(expected));
}

void tst_SharedHelpers::formatFixed_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("expected");

    QTest::newRow("padded") << -0.5 << 13 << 3 << "       -0.500";
    QTest::newRow("rounded") << 2.0 / 3.0 << 10 << 2 << "      0.67";
    QTest::newRow("longer kept whole") << 123456789.125 << 5 << 2 << "123456789.13";
    QTest::newRow("no decimals") << 7.6 << 4 << 0 << "   8";
    QTest::newRow("factor") << 1.5 << 10 << 3 << "     1.500";
}

void tst_SharedHelpers::formatFixed()
{
    QFETCH(double, value);
    QFETCH(int, width);
    QFETCH(int, decimals);
    QFETCH(QString, expected);
    QCOMPARE(::formatFixed(value, width, decimals), expected);
}

void tst_SharedHelpers::normaliseDecimal_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("comma") << "0,001" << "0.001";
    QTest::newRow("blanks") << "  0.95 \t" << "0.95";
    QTest::newRow("every comma") << "1,2,3" << "1.2.3";
    QTest::newRow("empty") << "" << "";
}

void tst_SharedHelpers::normaliseDecimal()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(::normaliseDecimal(text), expected);
}

QTEST_GUILESS_MAIN(tst_SharedHelpers)
#include "tst_sharedhelpers.moc"
