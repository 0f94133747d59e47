#include "gnsstestfile.h"
#include "gnssvectors.h"

#include <QtTest>

namespace {

const QChar kBlank(QLatin1Char(' '));

QString columns(const QString &line, int first, int last)
{
    return line.mid(first - 1, last - first + 1);
}

QString covField(const QString &value)
{
    return value.rightJustified(10, QLatin1Char(' '));
}

} // namespace

class tst_GnssVectors : public QObject
{
    Q_OBJECT

private slots:
    void readBaselines_data();
    void readBaselines();
    void readCovarianceValues_data();
    void readCovarianceValues();
    void fieldTexts();
    void switchBlocks_data();
    void switchBlocks();
    void covarianceHeaders_data();
    void covarianceHeaders();
    void linesOutsideBlocksUnchanged();
    void finalLineEndKept_data();
    void finalLineEndKept();
    void shortCovarianceHeaderPadded();
    void parseValue_data();
    void parseValue();
};

void tst_GnssVectors::readBaselines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<bool>>("active");
    QTest::addColumn<QStringList>("stations");
    QTest::addColumn<QStringList>("targets");

    QTest::newRow("single block") << gnssBlock(kBlank, "BASE", "R101") << QList<bool>{true}
                                  << QStringList{"BASE"} << QStringList{"R101"};
    QTest::newRow("star and bang blocks switched off")
        << gnssBlock(kBlank, "BASE", "R101") + gnssBlock('*', "BASE", "R102") +
               gnssBlock('!', "R102", "R103")
        << QList<bool>{true, false, false} << QStringList{"BASE", "BASE", "R102"}
        << QStringList{"R101", "R102", "R103"};
    QTest::newRow("two DXYZ lines: the second one counts")
        << gnssRecord(kBlank, "3DD") + "\n" +
               gnssRecord(kBlank, "DXYZ", {{11, "FIRST"}, {24, "ONE"}}) + "\n" +
               gnssRecord(kBlank, "DXYZ", {{11, "SECOND"}, {24, "TWO"}}) + "\n"
        << QList<bool>{true} << QStringList{"SECOND"} << QStringList{"TWO"};
    QTest::newRow("DXYZ before the first 3DD belongs to no block")
        << gnssRecord(kBlank, "DXYZ", {{11, "LOOSE"}, {24, "END"}}) + "\n" +
               gnssBlock(kBlank, "BASE", "R101")
        << QList<bool>{true} << QStringList{"BASE"} << QStringList{"R101"};
    QTest::newRow("3DD without DXYZ")
        << gnssRecord(kBlank, "3DD") << QList<bool>{true} << QStringList{""} << QStringList{""};
    QTest::newRow("names filling their twelve columns")
        << gnssBlock(kBlank, "STATION-ABCD", "TARGET-12345") << QList<bool>{true}
        << QStringList{"STATION-ABCD"} << QStringList{"TARGET-12345"};
    QTest::newRow("other records and comments")
        << " DIST  S1 A B\n! un vecteur 3DD en commentaire\n#include x.iob\n"
        << QList<bool>{} << QStringList{} << QStringList{};
    QTest::newRow("empty file") << "" << QList<bool>{} << QStringList{} << QStringList{};
}

void tst_GnssVectors::readBaselines()
{
    QFETCH(QString, text);
    QFETCH(QList<bool>, active);
    QFETCH(QStringList, stations);
    QFETCH(QStringList, targets);

    const GnssVectorSummary summary = readGnssVectors(text);
    QCOMPARE(summary.baselines.size(), active.size());
    for (int i = 0; i < active.size(); ++i) {
        QCOMPARE(summary.baselines.at(i).active, active.at(i));
        QCOMPARE(summary.baselines.at(i).station, stations.at(i));
        QCOMPARE(summary.baselines.at(i).target, targets.at(i));
    }
}

void tst_GnssVectors::readCovarianceValues_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("factorField");
    QTest::addColumn<QString>("ppmField");

    QTest::newRow("no COV header") << gnssRecord(kBlank, "3DD") << "     1.000"
                                   << "     0.000";
    QTest::newRow("blank fields") << gnssBlock(kBlank, "A", "B") << "1"
                                  << "     0.000";
    QTest::newRow("factor left in its columns")
        << gnssBlock(kBlank, "A", "B", "1.5") << "     1.500"
        << "     0.000";
    QTest::newRow("factor right in its columns")
        << gnssBlock(kBlank, "A", "B", "       1.5") << "     1.500"
        << "     0.000";
    QTest::newRow("factor in the middle of its columns")
        << gnssBlock(kBlank, "A", "B", "   1.5    ") << "     1.500"
        << "     0.000";
    QTest::newRow("factor and PPM")
        << gnssBlock(kBlank, "A", "B", "     2.000", "     1.500") << "     2.000"
        << "     1.500";
    QTest::newRow("the last COV header counts")
        << gnssBlock(kBlank, "A", "B", "3", "4") + gnssBlock(kBlank, "B", "C", "0.5", "2.25")
        << "     0.500"
        << "     2.250";
    QTest::newRow("unreadable factor gives 1 on screen")
        << gnssBlock(kBlank, "A", "B", "abc", "x") << "1"
        << "     0.000";
    QTest::newRow("switched-off block still read")
        << gnssBlock('*', "A", "B", "2.5") << "     2.500"
        << "     0.000";
}

void tst_GnssVectors::readCovarianceValues()
{
    QFETCH(QString, text);
    QFETCH(QString, factorField);
    QFETCH(QString, ppmField);

    const GnssVectorSummary summary = readGnssVectors(text);
    QCOMPARE(factorFieldText(summary.factor), factorField);
    QCOMPARE(ppmFieldText(summary.ppm), ppmField);
}

void tst_GnssVectors::fieldTexts()
{
    QCOMPARE(factorFieldText(0.0), QStringLiteral("1"));
    QCOMPARE(factorFieldText(1.0), QStringLiteral("     1.000"));
    QCOMPARE(ppmFieldText(0.0), QStringLiteral("     0.000"));
    QCOMPARE(ppmFieldText(-12.3456), QStringLiteral("   -12.346"));
}

void tst_GnssVectors::switchBlocks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVector<bool>>("active");
    QTest::addColumn<QString>("firstColumns");

    // firstColumns: column 1 of every line of the result, in order (ignoring the empty last line).
    const QString three =
        gnssBlock(kBlank, "A", "B") + gnssBlock('*', "B", "C") + gnssBlock('!', "C", "D");
    QTest::newRow("left as read") << three << QVector<bool>{true, false, false}
                                  << "      "
                                     "******"
                                     "******";
    QTest::newRow("all on") << three << QVector<bool>{true, true, true}
                            << "      "
                               "      "
                               "      ";
    QTest::newRow("all off") << three << QVector<bool>{false, false, false}
                             << "******"
                                "******"
                                "******";
    QTest::newRow("block beyond the table untouched") << three << QVector<bool>{false}
                                                      << "******"
                                                         "******"
                                                         "!!!!!!";
}

void tst_GnssVectors::switchBlocks()
{
    QFETCH(QString, text);
    QFETCH(QVector<bool>, active);
    QFETCH(QString, firstColumns);

    const QStringList lines = rewriteGnssVectors(text, active, 1.0, 0.0).split('\n');
    QCOMPARE(lines.size(), firstColumns.size() + 1);
    QString result;
    for (int i = 0; i < firstColumns.size(); ++i)
        result += lines.at(i).at(0);
    QCOMPARE(result, firstColumns);

    // Switching changes column 1 only; the blank COV fields stay blank.
    const QStringList before = text.split('\n');
    for (int i = 0; i < lines.size(); ++i)
        QCOMPARE(lines.at(i).mid(1), before.at(i).mid(1));
}

void tst_GnssVectors::covarianceHeaders_data()
{
    QTest::addColumn<double>("factor");
    QTest::addColumn<double>("ppm");
    QTest::addColumn<QString>("factorColumns");
    QTest::addColumn<QString>("ppmColumns");

    QTest::newRow("factor 1 and PPM 0 give blanks")
        << 1.0 << 0.0 << QString(10, ' ') << QString(10, ' ');
    QTest::newRow("factor 2 and PPM 1.5") << 2.0 << 1.5 << "     2.000"
                                          << "     1.500";
    QTest::newRow("factor 1 with a PPM") << 1.0 << 0.25 << QString(10, ' ') << "     0.250";
    QTest::newRow("factor 0 is written") << 0.0 << 0.0 << "     0.000" << QString(10, ' ');
    QTest::newRow("widest values") << 999999.5 << -99999.25 << "999999.500"
                                   << "-99999.250";
}

void tst_GnssVectors::covarianceHeaders()
{
    QFETCH(double, factor);
    QFETCH(double, ppm);
    QFETCH(QString, factorColumns);
    QFETCH(QString, ppmColumns);

    // Old values in both blocks, one of them switched off: every COV header gets the new ones.
    const QString text = gnssBlock(kBlank, "A", "B", "     3.000", "     9.000") +
                         gnssBlock('*', "B", "C", "7", "8");
    const QStringList lines = rewriteGnssVectors(text, {true, false}, factor, ppm).split('\n');
    const QStringList before = text.split('\n');
    int headers = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        if (columns(line, 2, 5) != "COV ") {
            QCOMPARE(line.mid(1), before.at(i).mid(1));
            continue;
        }
        ++headers;
        QCOMPARE(columns(line, 26, 35), factorColumns);
        QCOMPARE(columns(line, 59, 68), ppmColumns);
        // Every other column of the header keeps its text.
        QCOMPARE(line.left(25).mid(1), before.at(i).left(25).mid(1));
        QCOMPARE(columns(line, 36, 58), columns(before.at(i), 36, 58));
        QCOMPARE(line.mid(68), before.at(i).mid(68));
    }
    QCOMPARE(headers, 2);
}

void tst_GnssVectors::linesOutsideBlocksUnchanged()
{
    const QString preamble = gnssRecord(kBlank, "COV", {{7, "CT"}, {10, "DIAG"}, {26, "4.000"}}) +
                             "\n" + gnssRecord('*', "ELEM", {{7, "1.0"}}) + "\n" +
                             gnssRecord(kBlank, "DXYZ", {{11, "LOOSE"}}) + "\n" +
                             "! titre du fichier\n #include autre.iob\n";
    const QString inside =
        gnssRecord(kBlank, "DIST", {{11, "A"}, {24, "B"}}) + "\n" + "! commentaire dans le bloc\n";
    const QString text = preamble + gnssBlock('*', "A", "B") + inside;

    const QString result = rewriteGnssVectors(text, {true}, 2.0, 1.0);
    QVERIFY(result.startsWith(preamble));
    QVERIFY(result.endsWith(inside));
    QCOMPARE(readGnssVectors(result).baselines.size(), 1);
    QVERIFY(readGnssVectors(result).baselines.first().active);
}

void tst_GnssVectors::finalLineEndKept_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("with final line end") << gnssBlock(kBlank, "A", "B");
    QTest::newRow("without final line end") << gnssBlock(kBlank, "A", "B").chopped(1);
    QTest::newRow("several final line ends") << gnssBlock(kBlank, "A", "B") + "\n\n";
}

void tst_GnssVectors::finalLineEndKept()
{
    QFETCH(QString, text);
    QCOMPARE(rewriteGnssVectors(text, {true}, 1.0, 0.0), text);
}

void tst_GnssVectors::shortCovarianceHeaderPadded()
{
    const QString text = gnssRecord(kBlank, "3DD") + "\n" + gnssRecord(kBlank, "COV", {{7, "CT"}});
    const QString cov = rewriteGnssVectors(text, {true}, 2.0, 1.5).split('\n').at(1);
    QCOMPARE(cov, gnssRecord(kBlank, "COV", {{7, "CT"}, {26, "     2.000"}, {59, "     1.500"}}));
    QCOMPARE(columns(cov, 26, 35), covField("2.000"));
}

void tst_GnssVectors::parseValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<double>("value");

    QTest::newRow("integer") << "2" << true << 2.0;
    QTest::newRow("point") << "1.5" << true << 1.5;
    QTest::newRow("decimal comma") << "1,5" << true << 1.5;
    QTest::newRow("as shown") << "     1.000" << true << 1.0;
    QTest::newRow("negative") << "-0.25" << true << -0.25;
    QTest::newRow("exponent") << "1e3" << true << 1000.0;
    QTest::newRow("widest") << "999999.9994" << true << 999999.9994;
    QTest::newRow("too wide for its columns") << "1234567" << false << 0.0;
    QTest::newRow("rounds too wide") << "999999.9996" << false << 0.0;
    QTest::newRow("letters") << "abc" << false << 0.0;
    QTest::newRow("number then letters") << "2x" << false << 0.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("blanks") << "   " << false << 0.0;
    QTest::newRow("two commas") << "1,2,3" << false << 0.0;
    QTest::newRow("infinity") << "inf" << false << 0.0;
    QTest::newRow("not a number") << "nan" << false << 0.0;
}

void tst_GnssVectors::parseValue()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(double, value);

    double parsed = -42.0;
    QCOMPARE(parseCovarianceValue(text, parsed), accepted);
    QCOMPARE(parsed, accepted ? value : -42.0);
}

QTEST_GUILESS_MAIN(tst_GnssVectors)
#include "tst_gnssvectors.moc"
