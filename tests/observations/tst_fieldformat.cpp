#include "fieldformat.h"

#include <QtTest>

// Blanks are significant in every expected value below.
class tst_FieldFormat : public QObject
{
    Q_OBJECT

private slots:
    void number_data();
    void number();
    void text_data();
    void text();
    void flags_data();
    void flags();
    void dms_data();
    void dms();
    void decimalDegrees_data();
    void decimalDegrees();
};

void tst_FieldFormat::number_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("expected");

    QTest::newRow("decimal comma, decimals cut and rounded") << "123,456789" << 10 << " 123.45679";
    QTest::newRow("no point, no decimals") << "12" << 10 << "        12";
    QTest::newRow("empty") << "" << 10 << "          ";
    QTest::newRow("blanks only") << "   " << 4 << "    ";
    QTest::newRow("comma") << "1,5" << 10 << "       1.5";
    QTest::newRow("not a number") << "abc" << 10 << "         0";
    QTest::newRow("not a number keeps typed decimals") << "1.2.3" << 10 << "     0.000";
    QTest::newRow("infinity is not a number") << "inf" << 6 << "     0";
    QTest::newRow("nan is not a number") << "nan" << 6 << "     0";
    QTest::newRow("too many decimals") << "1.23456789012" << 10 << " 1.2345679";
    QTest::newRow("decimals typed are kept") << "2.500" << 10 << "     2.500";
    QTest::newRow("surrounding blanks") << "  42.1  " << 8 << "    42.1";
    QTest::newRow("negative") << "-12.25" << 10 << "    -12.25";
    QTest::newRow("point only decimals") << ".5" << 4 << " 0.5";
    QTest::newRow("trailing point") << "7." << 5 << "    7";
    QTest::newRow("rounded up") << "9.99996" << 7 << "10.0000";
    QTest::newRow("no room for decimals") << "12345.678" << 6 << " 12346";
    QTest::newRow("longer is not cut") << "1234567" << 5 << "1234567";
    QTest::newRow("exactly full") << "12345" << 5 << "12345";
}

void tst_FieldFormat::number()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(QString, expected);
    QCOMPARE(formatNumberField(text, width), expected);
}

void tst_FieldFormat::text_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("expected");

    QTest::newRow("padded on the right") << "ST1" << 12 << "ST1         ";
    QTest::newRow("cut") << "ABCDEFGHIJKLMN" << 12 << "ABCDEFGHIJKL";
    QTest::newRow("not trimmed") << " A " << 5 << " A   ";
    QTest::newRow("leading blanks kept when cut") << "  ABCD" << 3 << "  A";
    QTest::newRow("empty") << "" << 3 << "   ";
    QTest::newRow("exact") << "ABC" << 3 << "ABC";
}

void tst_FieldFormat::text()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(QString, expected);
    QCOMPARE(formatTextField(text, width), expected);
}

void tst_FieldFormat::flags_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("expected");

    QTest::newRow("trimmed") << " 101 " << 3 << "101";
    QTest::newRow("padded on the right") << "1" << 3 << "1  ";
    QTest::newRow("empty") << "" << 3 << "   ";
    QTest::newRow("longer is not cut") << "1101" << 3 << "1101";
}

void tst_FieldFormat::flags()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(QString, expected);
    QCOMPARE(formatFlagsField(text, width), expected);
}

void tst_FieldFormat::dms_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("expected");

    QTest::newRow("17, lower-case north") << "n47 25 23.1454" << 17 << "N 47 25   23.1454";
    QTest::newRow("7, east, three-digit degrees") << "E254 25" << 7 << "E254 25";
    QTest::newRow("7, minutes missing") << "N47" << 7 << "N 47 00";
    QTest::newRow("7, minus, one-digit minutes") << "-12 5" << 7 << "- 12  5";
    QTest::newRow("15, no prefix") << "12 30 15.5" << 15 << "  12 30    15.5";
    QTest::newRow("15, ouest written W") << "O1 2 3" << 15 << "W  1  2       3";
    QTest::newRow("15, lower-case ouest") << "o1 2 3" << 15 << "W  1  2       3";
    QTest::newRow("15, west") << "w1 2 3" << 15 << "W  1  2       3";
    QTest::newRow("15, south") << "s1 2 3" << 15 << "S  1  2       3";
    QTest::newRow("15, plus") << "+1 2 3" << 15 << "+  1  2       3";
    QTest::newRow("17, blank after prefix") << "N 47 25 23.1454" << 17 << "N 47 25   23.1454";
    QTest::newRow("17, many blanks") << "  E  8   5   1.25 " << 17 << "E  8  5      1.25";
    QTest::newRow("17, seconds missing") << "N47 25" << 17 << "N 47 25         0";
    QTest::newRow("17, prefix only") << "S" << 17 << "S  0 00         0";
    QTest::newRow("17, seconds comma") << "E1 2 3,5" << 17 << "E  1  2       3.5";
    QTest::newRow("17, seconds decimals cut") << "N1 2 3.123456789" << 17 << "N  1  2  3.123457";
    QTest::newRow("15, seconds in 7 characters") << "N1 2 3.123456789" << 15 << "N  1  2  3.1235";
    QTest::newRow("16, seconds in 8 characters") << "N52 25 32.1457" << 16 << "N 52 25  32.1457";
    QTest::newRow("7, seconds dropped") << "N47 25 10" << 7 << "N 47 25";
    QTest::newRow("empty") << "" << 15 << "               ";
    QTest::newRow("blanks only") << "   " << 7 << "       ";
    QTest::newRow("degrees not cut") << "N1234 5" << 7 << "N1234  5";
    QTest::newRow("minutes not cut") << "N12 345" << 7 << "N 12 345";
}

void tst_FieldFormat::dms()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(QString, expected);
    QCOMPARE(formatDmsField(text, width), expected);
}

void tst_FieldFormat::decimalDegrees_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("expected");

    QTest::newRow("north") << "N12.214577" << 17 << "N       12.214577";
    QTest::newRow("lower-case east") << "e214.012445" << 17 << "E      214.012445";
    QTest::newRow("ouest written W") << "o1.5" << 17 << "W             1.5";
    QTest::newRow("no prefix") << "12.5" << 17 << "             12.5";
    QTest::newRow("minus") << "-0.25" << 17 << "-            0.25";
    QTest::newRow("decimal comma") << "S45,5" << 17 << "S            45.5";
    QTest::newRow("decimals cut to the field")
        << "N1.123456789012345678" << 17 << "N 1.1234567890123";
    QTest::newRow("empty") << "" << 17 << "                 ";
    QTest::newRow("prefix only") << "N" << 17 << "N                ";
}

void tst_FieldFormat::decimalDegrees()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(QString, expected);
    QCOMPARE(formatDecimalDegreesField(text, width), expected);
}

QTEST_GUILESS_MAIN(tst_FieldFormat)
#include "tst_fieldformat.moc"
