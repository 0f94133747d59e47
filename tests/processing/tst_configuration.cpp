#include "configuration.h"

#include "testfiles.h"
#include "textfile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The configuration that tests/data/configuration/full.cfg holds.
Configuration fullConfiguration()
{
    Configuration c;
    c.setText("CRITCONV", "0,0001");
    c.setText("HUBERVALUE", " 2.5 ");
    c.setChoice("TYPECALCUL", 1);
    c.setChoice("TYPEANGLES", 1);
    c.setCount("NBMAXITER", 10);
    c.setChoice("APPLIMBE", 2);
    c.setChoice("SIGMADIST", 0);
    c.setChoice("SIGM+STD", 0);
    c.setChoice("SIGMAOHDF", 1);
    c.setChoice("TYPESIGMA0", 2);
    c.setText("VALIDATION", "0.95");
    c.setChoice("REG_COORD", 2);
    c.setDigit("REG1D_TYPE", 2, true);
    c.setDigit("REG2D_TYPE", 0, true);
    c.setCount("VCEITERMAX", 29);
    c.setFlag("VCESOLINT", true);
    c.setChoice("REG1D_MODE", 1);
    c.setText("REG1D_CONF", "0.95");
    c.setChoice("REG2D_MODE", 2);
    c.setText("REG2D_CONF", "0.99");
    c.setChoice("REG3D_MODE", 3);
    c.setChoice("FIA1D_MODE", 3);
    c.setText("FIA1D_CONF", "0.95");
    c.setText("FIA1D_BETA", "0,20");
    c.setText("FIA2D_CONF", "0.95");
    c.setText("FIA2D_BETA", "0.05");
    c.setChoice("FIA3D_MODE", 1);
    c.setText("FIA3D_CONF", "0.99");
    c.setText("FIA3D_BETA", "0.1");
    c.setFlag("MEP_MODE", true);
    c.setChoice("MEP_FROM0", 1);
    c.setFlag("MEP_DOFIAB", true);
    c.setFlag("MEP_DOCONG", true);
    c.setText("MEP_CSEUIL", "0.95");
    c.setDigit("MEP_CTYPE", 0, true);
    c.setDigit("MEP_CTYPE", 1, true);
    c.setCount("NBDEC_DIST", 4);
    c.setCount("NBDEC_ANGT", 5);
    c.setFlag("LOG_STATIO", true);
    c.setFlag("LOG_GEOID", true);
    c.setFlag("LOG_FIAB", true);
    c.setChoice("LOG_RESIDU", 2);
    c.setFlag("LOG_RESNEU", true);
    c.setChoice("LOG_OMC", 2);
    c.setChoice("LOG_SOLINT", 1);
    for (const int form : {SolutionXyz, SolutionPlo, SolutionNeh, SolutionNeo, SolutionLoc})
        c.setDigit("LOG_SOLFIN", form, true);
    c.setFlag("LOG_SGMGRP", true);
    c.setChoice("OUTMAT_CRD", 0);
    c.setChoice("OUTMAT_SG0", 1);
    c.setChoice("OUTMAT_ABP", 1);
    c.setChoice("OUTMAT_NC", 2);
    c.setChoice("OUTMAT_V", 1);
    c.setChoice("OUTMAT_X", 1);
    c.setFlag("GENE_LOG", true);
    c.setChoice("GENE_NOISE", 1);
    c.setChoice("GENE_LIMBE", 1);
    c.setFlag("KML_EXPORT", true);
    c.setFlag("KML_LNFIA", true);
    c.setFlag("DRW_EXPORT", true);
    return c;
}

// A file made of the lines `body` after the two comment lines.
QString withHeader(const QString &body)
{
    return QStringLiteral("# Fichier de configuration de Tavlo\n\n[AJUSTEMENT]\n\n") + body;
}

// The key line of `key` in the written form of `configuration`.
QString writtenLine(const Configuration &configuration, const QString &key)
{
    const QStringList lines = configuration.toText().split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.left(10).trimmed() == key)
            return line;
    }
    return QString();
}

} // namespace

class tst_Configuration : public QObject
{
    Q_OBJECT

private slots:
    void writesExpectedFile();
    void builtInState();
    void roundTripEveryValue();
    void savesOpenedFileInLayout();
    void keyLines_data();
    void keyLines();
    void choiceFallbacks_data();
    void choiceFallbacks();
    void tokensWithoutCaptionSurvive_data();
    void tokensWithoutCaptionSurvive();
    void counts_data();
    void counts();
    void digits_data();
    void digits();
    void solutionForms_data();
    void solutionForms();
    void layoutVariations_data();
    void layoutVariations();
    void textWithLineBreakStaysOneLine();
    void saveFailure();
};

void tst_Configuration::writesExpectedFile()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("full.cfg"));
    QString error;
    QVERIFY2(saveConfiguration(path, fullConfiguration(), error), qPrintable(error));
    QCOMPARE(fileBytes(path), platformBytes(fileBytes(dataFile("configuration/full.cfg"))));
}

void tst_Configuration::builtInState()
{
    const Configuration c;
    QCOMPARE(c.token("TYPECALCUL"), QStringLiteral("AJUSTEMENT"));
    QCOMPARE(c.token("TYPEMODEL"), QStringLiteral("3D_LOCALE"));
    QCOMPARE(c.token("SIGMADIST"), QStringLiteral("STD"));
    QCOMPARE(c.count("NBMAXITER"), 1);
    QCOMPARE(c.count("NBDEC_ANGT"), 1);
    QVERIFY(!c.flag("DRW_EXPORT"));
    QVERIFY(c.text("CRITCONV").isEmpty());
    QCOMPARE(writtenLine(c, "LOG_SOLFIN"), QStringLiteral("LOG_SOLFIN 0000"));
    QCOMPARE(writtenLine(c, "REG1D_TYPE"), QStringLiteral("REG1D_TYPE 000"));
    QCOMPARE(writtenLine(c, "CRITCONV"), QStringLiteral("CRITCONV   "));
    QCOMPARE(Configuration::fromText(QString()), c);
}

void tst_Configuration::roundTripEveryValue()
{
    // Every entry of every choice, the ends of every count, each flag and digit on its own.
    const QVector<ConfigurationKey> &keys = configurationKeys();
    for (const ConfigurationKey &key : keys) {
        QList<Configuration> variants;
        switch (key.kind) {
        case ConfigurationKind::Text: {
            Configuration c;
            c.setText(key.name, QStringLiteral("1.25e-3 x"));
            variants << c;
            break;
        }
        case ConfigurationKind::Choice:
            for (int i = 0; i < key.tokens.size(); ++i) {
                Configuration c;
                c.setChoice(key.name, i);
                variants << c;
            }
            break;
        case ConfigurationKind::Count:
            for (const int n : {1, 2, key.maximum}) {
                Configuration c;
                c.setCount(key.name, n);
                variants << c;
            }
            break;
        case ConfigurationKind::Flag: {
            Configuration c;
            c.setFlag(key.name, true);
            variants << c;
            break;
        }
        case ConfigurationKind::Digits:
        case ConfigurationKind::SolutionForms:
            for (int i = 0; i < key.components; ++i) {
                Configuration c;
                c.setDigit(key.name, i, true);
                variants << c;
            }
            break;
        case ConfigurationKind::Fixed:
            break;
        }
        for (const Configuration &c : qAsConst(variants)) {
            const Configuration read = Configuration::fromText(c.toText());
            QVERIFY2(read == c, qPrintable(key.name + QStringLiteral(": ") + c.toText()));
            QCOMPARE(read == Configuration(), c == Configuration());
        }
    }
    QCOMPARE(Configuration::fromText(fullConfiguration().toText()).toText(),
             fullConfiguration().toText());
}

void tst_Configuration::savesOpenedFileInLayout()
{
    // Comments, unknown keys, synonyms, decimal commas, CRLF line ends and sections out of order,
    // read and written back in the workbench's own layout.
    Configuration c;
    QString error;
    QVERIFY2(loadConfiguration(dataFile("configuration/untidy.cfg"), c, error), qPrintable(error));
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("saved.cfg"));
    QVERIFY2(saveConfiguration(path, c, error), qPrintable(error));
    QCOMPARE(fileBytes(path), platformBytes(fileBytes(dataFile("configuration/untidy-saved.cfg"))));

    Configuration reread;
    QVERIFY(loadConfiguration(path, reread, error));
    QCOMPARE(reread, c);
}

void tst_Configuration::keyLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("written");

    QTest::newRow("decimal comma") << "CRITCONV   0,005"
                                   << "CRITCONV"
                                   << "CRITCONV   0.005";
    QTest::newRow("text trimmed") << "HUBERVALUE   1,5  "
                                  << "HUBERVALUE"
                                  << "HUBERVALUE 1.5";
    QTest::newRow("text read from column 12") << "VALIDATION0.95"
                                              << "VALIDATION"
                                              << "VALIDATION .95";
    QTest::newRow("one space after short key") << "NBMAXITER 10"
                                               << "NBMAXITER"
                                               << "NBMAXITER  1";
    QTest::newRow("two spaces after short key") << "NBMAXITER  10"
                                                << "NBMAXITER"
                                                << "NBMAXITER  10";
    QTest::newRow("PREANALYSE") << "TYPECALCUL PREANALYSE"
                                << "TYPECALCUL"
                                << "TYPECALCUL SIMULATION";
    QTest::newRow("SIMULATION") << "TYPECALCUL SIMULATION"
                                << "TYPECALCUL"
                                << "TYPECALCUL SIMULATION";
    QTest::newRow("ITERMAXVCE") << "ITERMAXVCE 7"
                                << "VCEITERMAX"
                                << "VCEITERMAX 7";
    QTest::newRow("metre with space") << "LINEARUNIT  m"
                                      << "LINEARUNIT"
                                      << "LINEARUNIT  m";
    QTest::newRow("metre without space") << "LINEARUNIT m"
                                         << "LINEARUNIT"
                                         << "LINEARUNIT  m";
    QTest::newRow("unknown unit") << "LINEARUNIT km"
                                  << "LINEARUNIT"
                                  << "LINEARUNIT  m";
    QTest::newRow("millimetre") << "LINEARUNIT mm"
                                << "LINEARUNIT"
                                << "LINEARUNIT mm";
    QTest::newRow("ALL is ALL_ITER") << "LOG_OMC    ALL"
                                     << "LOG_OMC"
                                     << "LOG_OMC    ALL_ITER";
    QTest::newRow("ALL for LOG_SOLINT") << "LOG_SOLINT ALL"
                                        << "LOG_SOLINT"
                                        << "LOG_SOLINT ALL_ITER";
    QTest::newRow("flag OUI") << "GENE_LOG   OUI"
                              << "GENE_LOG"
                              << "GENE_LOG   OUI";
    QTest::newRow("flag lower case") << "GENE_LOG   oui"
                                     << "GENE_LOG"
                                     << "GENE_LOG   NON";
    QTest::newRow("flag missing value") << "MEP_MODE"
                                        << "MEP_MODE"
                                        << "MEP_MODE   NON";
    QTest::newRow("tokens are case-sensitive") << "TYPEANGLES rad"
                                               << "TYPEANGLES"
                                               << "TYPEANGLES GRD";
    QTest::newRow("key not at the start") << "  OUTMAT_X OUI"
                                          << "OUTMAT_X"
                                          << "OUTMAT_X   OUI";
    QTest::newRow("lower-case key ignored") << "outmat_x   OUI"
                                            << "OUTMAT_X"
                                            << "OUTMAT_X   NON";
    QTest::newRow("key of 11 characters ignored") << "SIGMA0CONNU NON"
                                                  << "TYPESIGMA0"
                                                  << "TYPESIGMA0 AUTO";
}

void tst_Configuration::keyLines()
{
    QFETCH(QString, line);
    QFETCH(QString, key);
    QFETCH(QString, written);
    const Configuration c = Configuration::fromText(withHeader(line + QLatin1Char('\n')));
    QCOMPARE(writtenLine(c, key), written);
}

void tst_Configuration::choiceFallbacks_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("fallback");

    QTest::newRow("TYPECALCUL") << "TYPECALCUL"
                                << "AJUSTEMENT";
    QTest::newRow("TYPEMODEL") << "TYPEMODEL"
                               << "3D_ELLIPSOIDALE";
    QTest::newRow("TYPEANGLES") << "TYPEANGLES"
                                << "GRD";
    QTest::newRow("LINEARUNIT") << "LINEARUNIT"
                                << " m";
    QTest::newRow("APPLIMBE") << "APPLIMBE"
                              << "ZERO";
    QTest::newRow("FREENET") << "FREENET"
                             << "NON";
    QTest::newRow("SIGMADIST") << "SIGMADIST"
                               << "NOSTD";
    QTest::newRow("SIGM+STD") << "SIGM+STD"
                              << "NON";
    QTest::newRow("SIGMAOHDF") << "SIGMAOHDF"
                               << "NOSTD";
    QTest::newRow("TYPESIGMA0") << "TYPESIGMA0"
                                << "AUTO";
    QTest::newRow("REG_COORD") << "REG_COORD"
                               << "NEU";
    QTest::newRow("VCE_METHOD") << "VCE_METHOD"
                                << "HELMERT";
    QTest::newRow("REG2D_MODE") << "REG2D_MODE"
                                << "00";
    QTest::newRow("FIA3D_MODE") << "FIA3D_MODE"
                                << "00";
    QTest::newRow("MEP_FROM0") << "MEP_FROM0"
                               << "NON";
    QTest::newRow("LOG_RESIDU") << "LOG_RESIDU"
                                << "NON";
    QTest::newRow("LOG_OMC") << "LOG_OMC"
                             << "NON";
    QTest::newRow("LOG_SOLINT") << "LOG_SOLINT"
                                << "NON";
    QTest::newRow("OUTMAT_CRD") << "OUTMAT_CRD"
                                << "NEU";
    QTest::newRow("OUTMAT_SG0") << "OUTMAT_SG0"
                                << "AUTO";
    QTest::newRow("OUTMAT_INC") << "OUTMAT_INC"
                                << "NON";
    QTest::newRow("OUTMAT_X") << "OUTMAT_X"
                              << "NON";
    QTest::newRow("GENE_NOISE") << "GENE_NOISE"
                                << "AUCUN";
    QTest::newRow("GENE_LIMBE") << "GENE_LIMBE"
                                << "ALEATOIRE";
}

void tst_Configuration::choiceFallbacks()
{
    QFETCH(QString, key);
    QFETCH(QString, fallback);
    // Another token first, so that the unknown token is seen to replace it.
    QString other;
    for (const ConfigurationKey &k : configurationKeys()) {
        if (k.name == key)
            other = k.tokens.at(k.tokens.at(0) == fallback ? 1 : 0);
    }
    QVERIFY(!other.isEmpty());
    const QString text = key.leftJustified(11) + other + QStringLiteral("\n") +
                         key.leftJustified(11) + QStringLiteral("INCONNU\n");
    QCOMPARE(Configuration::fromText(text).token(key), fallback);
}

void tst_Configuration::tokensWithoutCaptionSurvive_data()
{
    QTest::addColumn<QString>("line");

    QTest::newRow("NORMEL1") << "TYPECALCUL NORMEL1";
    QTest::newRow("HUBER") << "TYPECALCUL HUBER";
    QTest::newRow("TRACEMIN") << "FREENET    TRACEMIN";
    QTest::newRow("BASESEL") << "FREENET    BASESEL";
    QTest::newRow("LSVCE") << "VCE_METHOD LSVCE";
}

void tst_Configuration::tokensWithoutCaptionSurvive()
{
    QFETCH(QString, line);
    const Configuration c = Configuration::fromText(line + QLatin1Char('\n'));
    QVERIFY2(c.toText().split(QLatin1Char('\n')).contains(line), qPrintable(c.toText()));
}

void tst_Configuration::counts_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("expected");

    QTest::newRow("in range") << "NBMAXITER"
                              << "15" << 15;
    QTest::newRow("zero") << "NBMAXITER"
                          << "0" << 1;
    QTest::newRow("negative") << "VCEITERMAX"
                              << "-3" << 1;
    QTest::newRow("30 is beyond 29") << "NBMAXITER"
                                     << "30" << 29;
    QTest::newRow("huge") << "VCEITERMAX"
                          << "123456789012345678901234" << 29;
    QTest::newRow("huge negative") << "VCEITERMAX"
                                   << "-123456789012345678901234" << 1;
    QTest::newRow("decimals beyond 5") << "NBDEC_DIST"
                                       << "6" << 5;
    QTest::newRow("decimals 5") << "NBDEC_ANGT"
                                << "5" << 5;
    QTest::newRow("not a number") << "NBDEC_ANGT"
                                  << "abc" << 1;
    QTest::newRow("real number") << "NBMAXITER"
                                 << "7.5" << 1;
    QTest::newRow("empty") << "NBMAXITER"
                           << "" << 1;
    QTest::newRow("blanks around") << "NBMAXITER"
                                   << "  12  " << 12;
}

void tst_Configuration::counts()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(int, expected);
    const Configuration c = Configuration::fromText(key.leftJustified(11) + value);
    QCOMPARE(c.count(key), expected);
    QCOMPARE(writtenLine(c, key), key.leftJustified(11) + QString::number(expected));
}

void tst_Configuration::digits_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("written");

    QTest::newRow("one character") << "1"
                                   << "100";
    QTest::newRow("third only") << "001"
                                << "001";
    QTest::newRow("all") << "111"
                         << "111";
    QTest::newRow("other characters") << "21x1"
                                      << "010";
    QTest::newRow("empty") << ""
                           << "000";
    QTest::newRow("blanks around") << "  11 "
                                   << "110";
}

void tst_Configuration::digits()
{
    QFETCH(QString, value);
    QFETCH(QString, written);
    for (const char *key : {"REG1D_TYPE", "REG2D_TYPE", "MEP_CTYPE"}) {
        const QString name = QLatin1String(key);
        const Configuration c = Configuration::fromText(name.leftJustified(11) + value);
        QCOMPARE(writtenLine(c, name), name.leftJustified(11) + written);
    }
}

void tst_Configuration::solutionForms_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("checked"); // the forms XYZ PLH PLO NEH NEO LOC, 1 when checked
    QTest::addColumn<QString>("written");

    QTest::newRow("1231") << "1231"
                          << "101111"
                          << "1231";
    QTest::newRow("none") << "0000"
                          << "000000"
                          << "0000";
    QTest::newRow("PLH and NEO") << "0120"
                                 << "010010"
                                 << "0120";
    QTest::newRow("out of range digits") << "2940"
                                         << "000000"
                                         << "0000";
    QTest::newRow("short") << "13"
                           << "111000"
                           << "1300";
    QTest::newRow("LOC alone") << "0001"
                               << "000001"
                               << "0001";
}

void tst_Configuration::solutionForms()
{
    QFETCH(QString, value);
    QFETCH(QString, checked);
    QFETCH(QString, written);
    const Configuration c = Configuration::fromText(QStringLiteral("LOG_SOLFIN ") + value);
    QString forms;
    for (int i = 0; i < kSolutionForms; ++i)
        forms += QLatin1Char(c.digit("LOG_SOLFIN", i) ? '1' : '0');
    QCOMPARE(forms, checked);
    QCOMPARE(writtenLine(c, "LOG_SOLFIN"), QStringLiteral("LOG_SOLFIN ") + written);
}

void tst_Configuration::layoutVariations_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("builtIn");

    const QString ordered = QStringLiteral("[AJUSTEMENT]\n\nNBMAXITER  12\n\n[RAPPORT]\n\n"
                                           "LOG_FIAB   OUI\n\n[DESSIN]\n\nKML_ALTI   OUI\n");
    QTest::newRow("ordered") << ordered << false;
    QTest::newRow("no headers") << "NBMAXITER  12\nLOG_FIAB   OUI\nKML_ALTI   OUI\n" << false;
    QTest::newRow("other order") << "[DESSIN]\nKML_ALTI   OUI\n[RAPPORT]\nLOG_FIAB   OUI\n"
                                    "[AJUSTEMENT]\nNBMAXITER  12"
                                 << false;
    QTest::newRow("key in a wrong section") << "[DESSIN]\nNBMAXITER  12\nLOG_FIAB   OUI\n"
                                               "[AJUSTEMENT]\nKML_ALTI   OUI\n"
                                            << false;
    QTest::newRow("last occurrence decides") << "NBMAXITER  3\nLOG_FIAB   NON\nKML_ALTI   OUI\n"
                                                "LOG_FIAB   OUI\nNBMAXITER  12\n"
                                             << false;
    QTest::newRow("comments only")
        << "# Fichier de configuration de Tavlo\n# NBMAXITER  12\n; LOG_FIAB OUI\n"
        << true;
    QTest::newRow("unknown keys") << "NBMAXITERS 12\nLOG_FIABLE OUI\n[DESSIN]\n" << true;
}

void tst_Configuration::layoutVariations()
{
    QFETCH(QString, text);
    QFETCH(bool, builtIn);
    Configuration expected;
    if (!builtIn) {
        expected.setCount("NBMAXITER", 12);
        expected.setFlag("LOG_FIAB", true);
        expected.setFlag("KML_ALTI", true);
    }
    QCOMPARE(Configuration::fromText(text), expected);
}

void tst_Configuration::textWithLineBreakStaysOneLine()
{
    Configuration c;
    c.setText("VALIDATION", QStringLiteral("0.9\nNBMAXITER  5"));
    QCOMPARE(writtenLine(c, "VALIDATION"), QStringLiteral("VALIDATION 0.9 NBMAXITER  5"));
    QCOMPARE(Configuration::fromText(c.toText()).count("NBMAXITER"), 1);
}

void tst_Configuration::saveFailure()
{
    QTemporaryDir folder;
    const QString blocker = folder.filePath(QStringLiteral("file"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    QString error;
    QVERIFY(!saveConfiguration(blocker + QStringLiteral("/inside.cfg"), Configuration(), error));
    QVERIFY(!error.isEmpty());

    Configuration untouched;
    untouched.setFlag("KML_ALTI", true);
    error.clear();
    QVERIFY(!loadConfiguration(folder.filePath(QStringLiteral("missing.cfg")), untouched, error));
    QVERIFY(!error.isEmpty());
    QVERIFY(untouched.flag("KML_ALTI"));
}

QTEST_GUILESS_MAIN(tst_Configuration)
#include "tst_configuration.moc"
