// The engine's configuration file: the default file it reads back, the column rules it reads by,
// the lines those rules misread, and the bounds of its values. The layout of the default file and
// the files of the workbench are held against the workbench's code in tst_enginecontract.

#include "engine/base/text.h"
#include "engine/model/options.h"

#include <QtTest>

#include <functional>

namespace {

engine::Options read(const std::string &text, engine::Diagnostics &diagnostics)
{
    return engine::optionsFromValues(engine::readConfigurationValues(text), "test.cfg",
                                     diagnostics);
}

// One option of the read options, as an integer.
using OptionField = std::function<int(const engine::Options &)>;

template <typename Get> OptionField field(Get get)
{
    return [get](const engine::Options &options) { return static_cast<int>(get(options)); };
}

} // namespace

Q_DECLARE_METATYPE(OptionField)

class TestEngineConfiguration : public QObject
{
    Q_OBJECT

private slots:
    void defaultFileReadsBackWithoutMessages();
    void valuesAreReadByColumns_data();
    void valuesAreReadByColumns();
    void missingKeysTakeTheirDefaults();
    void tokensReadAsTheirValues_data();
    void tokensReadAsTheirValues();
    void badValuesAreReported_data();
    void badValuesAreReported();
    void probabilitiesWithinTheEditorsRanges_data();
    void probabilitiesWithinTheEditorsRanges();
    void misreadKeyLinesAreWarned_data();
    void misreadKeyLinesAreWarned();
};

void TestEngineConfiguration::defaultFileReadsBackWithoutMessages()
{
    engine::Diagnostics diagnostics;
    const engine::Options options = read(engine::defaultConfigurationText("\n"), diagnostics);
    QVERIFY(diagnostics.items().empty());
    QCOMPARE(options.model, engine::ModelType::Local3D);
    QCOMPARE(options.calculationType, engine::CalculationType::Adjustment);
    QVERIFY(options.drawingRequested);
    QCOMPARE(options.logResiduals, engine::ResidualListing::All);
    QCOMPARE(options.angleUnit, engine::AngleUnit::Grades);
}

void TestEngineConfiguration::valuesAreReadByColumns_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("maxIterations");
    QTest::addColumn<double>("convergence");
    QTest::addColumn<int>("angleUnit");
    QTest::addColumn<int>("linearUnit");
    QTest::addColumn<bool>("errors");
    QTest::newRow("padded key") << "NBMAXITER  25" << 25 << 0.0001 << 1 << 0 << false;
    QTest::newRow("one space only: the value is read from column 12")
        << "NBMAXITER 12" << 2 << 0.0001 << 1 << 0 << false;
    QTest::newRow("decimal comma") << "CRITCONV   0,005" << 10 << 0.005 << 1 << 0 << false;
    QTest::newRow("degrees") << "TYPEANGLES DMS" << 10 << 0.0001 << 2 << 0 << false;
    QTest::newRow("radians") << "TYPEANGLES RAD" << 10 << 0.0001 << 3 << 0 << false;
    QTest::newRow("unknown angle token falls back to grades")
        << "TYPEANGLES DEG" << 10 << 0.0001 << 1 << 0 << false;
    QTest::newRow("metre without its space") << "LINEARUNIT m" << 10 << 0.0001 << 1 << 0 << false;
    QTest::newRow("millimetre") << "LINEARUNIT mm" << 10 << 0.0001 << 1 << 2 << false;
    QTest::newRow("lower case key is not a key")
        << "nbmaxiter  25" << 10 << 0.0001 << 1 << 0 << false;
    QTest::newRow("section header only") << "[AJUSTEMENT]" << 10 << 0.0001 << 1 << 0 << false;
    QTest::newRow("count of zero") << "NBMAXITER  0" << 1 << 0.0001 << 1 << 0 << true;
}

void TestEngineConfiguration::valuesAreReadByColumns()
{
    QFETCH(QString, line);
    QFETCH(int, maxIterations);
    QFETCH(double, convergence);
    QFETCH(int, angleUnit);
    QFETCH(int, linearUnit);
    QFETCH(bool, errors);
    engine::Diagnostics diagnostics;
    const engine::Options options = read(line.toStdString() + "\r\n", diagnostics);
    QCOMPARE(options.maxIterations, maxIterations);
    QCOMPARE(options.convergence, convergence);
    QCOMPARE(int(options.angleUnit), angleUnit);
    QCOMPARE(int(options.linearUnit), linearUnit);
    QCOMPARE(diagnostics.hasErrors(), errors);
}

void TestEngineConfiguration::missingKeysTakeTheirDefaults()
{
    engine::Diagnostics diagnostics;
    const engine::Options options =
        read("# only comments\nVALIDATION 0.99\nVALIDATION\nITERMAXVCE 7\n", diagnostics);
    QVERIFY(!diagnostics.hasErrors());
    // The last occurrence decides; an empty value takes the default.
    QCOMPARE(options.validation, 0.95);
    QCOMPARE(options.maxIterations, 10);
    QCOMPARE(options.model, engine::ModelType::Local3D);
    const auto values = engine::readConfigurationValues("ITERMAXVCE 7\n");
    QCOMPARE(values.values.at("VCEITERMAX").first, std::string("7"));
}

void TestEngineConfiguration::tokensReadAsTheirValues_data()
{
    using namespace engine;
    QTest::addColumn<QString>("text");
    QTest::addColumn<OptionField>("field");
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("warned");
    const auto row = [](const char *name, const char *text, OptionField field, auto expected,
                        bool warned = false) {
        QTest::newRow(name) << text << field << static_cast<int>(expected) << warned;
    };
    row("older name of the simulation", "TYPECALCUL PREANALYSE\n",
        field([](const Options &o) { return o.calculationType; }), CalculationType::Simulation);
    row("robust estimation", "TYPECALCUL HUBER\n",
        field([](const Options &o) { return o.calculationType; }), CalculationType::Huber);
    row("spherical model", "TYPEMODEL  3D_SPHERIQUE\n",
        field([](const Options &o) { return o.model; }), ModelType::Spherical3D);
    row("unknown model falls back to the ellipsoid", "TYPEMODEL  PLAT\n",
        field([](const Options &o) { return o.model; }), ModelType::Ellipsoidal3D, true);
    row("radians", "TYPEANGLES RAD\n", field([](const Options &o) { return o.angleUnit; }),
        AngleUnit::Radians);
    row("unknown angle unit falls back to grades", "TYPEANGLES DEG\n",
        field([](const Options &o) { return o.angleUnit; }), AngleUnit::Grades, true);
    row("millimetres", "LINEARUNIT mm\n", field([](const Options &o) { return o.linearUnit; }),
        LinearUnit::Millimetre);
    row("orientation from the first direction", "APPLIMBE   FIRST\n",
        field([](const Options &o) { return o.approximateOrientation; }),
        ApproximateOrientation::First);
    row("mean orientation", "APPLIMBE   MOY\n",
        field([](const Options &o) { return o.approximateOrientation; }),
        ApproximateOrientation::Mean);
    row("selected base", "FREENET    BASESEL\n",
        field([](const Options &o) { return o.freeNetwork; }), FreeNetwork::SelectedBase);
    row("sigma always scaled", "TYPESIGMA0 TOUJOURS\n",
        field([](const Options &o) { return o.sigmaScaling; }), SigmaScaling::Always);
    row("invalid residuals only", "LOG_RESIDU NOVALID\n",
        field([](const Options &o) { return o.logResiduals; }), ResidualListing::InvalidOnly);
    row("older name of every iteration", "LOG_OMC    ALL\n",
        field([](const Options &o) { return o.logObservedMinusComputed; }), IterationListing::All);
    row("first iteration", "LOG_SOLINT FRT_ITER\n",
        field([](const Options &o) { return o.logIntermediateSolutions; }),
        IterationListing::First);
    row("unknown listing falls back to none", "LOG_SOLINT TOUT\n",
        field([](const Options &o) { return o.logIntermediateSolutions; }), IterationListing::None,
        true);
    row("regions in XYZ", "REG_COORD  XYZ\n",
        field([](const Options &o) { return o.regions.coordinates; }), RegionCoordinates::Xyz);
    row("quadratic distance precision", "SIGMADIST  STD\n",
        field([](const Options &o) { return o.distanceQuadratic; }), true);
    // XYZ, PLH, PLO, NEH, NEO and LOC as the bits 1, 2, 4, 8, 16 and 32.
    const auto forms = field([](const Options &o) {
        const SolutionForms &f = o.solutionForms;
        return f.geocentric + 2 * f.geographic + 4 * f.geographicAltitude + 8 * f.projected +
               16 * f.projectedAltitude + 32 * f.local;
    });
    row("PLO and NEH asked", "LOG_SOLFIN 0210\n", forms, 4 + 8);
    row("every form", "LOG_SOLFIN 1331\n", forms, 63);
    row("a digit beyond 3 asks for neither", "LOG_SOLFIN 0400\n", forms, 0);
    row("regions between points only", "REG2D_MODE 01\n", field([](const Options &o) {
            return 2 * o.regions.confidence[1].relative + o.regions.confidence[1].absolute;
        }),
        2);
}

// Each token of a choice gives its own value, older names included; an unknown token takes the
// fallback with a warning.
void TestEngineConfiguration::tokensReadAsTheirValues()
{
    QFETCH(QString, text);
    QFETCH(OptionField, field);
    QFETCH(int, expected);
    QFETCH(bool, warned);
    engine::Diagnostics diagnostics;
    QCOMPARE(field(read(text.toStdString(), diagnostics)), expected);
    bool warning = false;
    for (const auto &d : diagnostics.items())
        warning = warning || (d.severity == engine::Diagnostic::Severity::Warning &&
                              d.text.find("Valeur inconnue") != std::string::npos);
    QCOMPARE(warning, warned);
}

void TestEngineConfiguration::badValuesAreReported_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("message");
    QTest::newRow("congruence level") << "MEP_MODE   OUI\nMEP_DOCONG OUI\nMEP_CSEUIL 2\n"
                                      << 3 << "MEP_CSEUIL";
    QTest::newRow("unreadable criterion") << "CRITCONV   abc\n" << 1 << "CRITCONV";
    QTest::newRow("confidence of one") << "VALIDATION 1\n" << 1 << "VALIDATION";
    QTest::newRow("confidence of 1 - 1e-16") << "VALIDATION 0.9999999999999999\n"
                                             << 1 << "de 0 (exclu) à 0.99999";
    QTest::newRow("region confidence of 1 - 1e-16") << "REG2D_CONF 0.9999999999999999\n"
                                                    << 1 << "de 0.05 à 0.99999";
    QTest::newRow("risk of 1e-300") << "\n\nFIA2D_BETA 1e-300\n" << 3 << "de 0.005 à 0.30";
    QTest::newRow("count message in latin-1") << "NBMAXITER  1001\n" << 1 << "de 1 à 1000";
}

void TestEngineConfiguration::badValuesAreReported()
{
    QFETCH(QString, text);
    QFETCH(int, line);
    QFETCH(QString, message);
    engine::Diagnostics diagnostics;
    read(text.toStdString(), diagnostics);
    QVERIFY(diagnostics.hasErrors());
    bool found = false;
    for (const auto &d : diagnostics.items()) {
        if (d.severity == engine::Diagnostic::Severity::Error && d.line == line &&
            d.file == "test.cfg" &&
            d.text.find(message.toLatin1().toStdString()) != std::string::npos)
            found = true;
    }
    QVERIFY(found);
}

void TestEngineConfiguration::probabilitiesWithinTheEditorsRanges_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("accepted");
    // The confidence of the tests is offered from 0 (excluded), those of the regions from 0.05.
    QTest::newRow("VALIDATION 0.01") << "VALIDATION"
                                     << "0.01" << true;
    QTest::newRow("VALIDATION 0") << "VALIDATION"
                                  << "0" << false;
    QTest::newRow("VALIDATION 0.999991") << "VALIDATION"
                                         << "0.999991" << false;
    for (const char *key : {"REG1D_CONF", "REG2D_CONF", "FIA1D_CONF", "FIA2D_CONF"}) {
        QTest::addRow("%s 0.05", key) << key << "0.05" << true;
        QTest::addRow("%s 0.99999", key) << key << "0.99999" << true;
        QTest::addRow("%s 0.0499", key) << key << "0.0499" << false;
        QTest::addRow("%s 0.999991", key) << key << "0.999991" << false;
    }
    for (const char *key : {"FIA1D_BETA", "FIA2D_BETA"}) {
        QTest::addRow("%s 0.005", key) << key << "0.005" << true;
        QTest::addRow("%s 0.30", key) << key << "0.30" << true;
        QTest::addRow("%s 0.0049", key) << key << "0.0049" << false;
        QTest::addRow("%s 0.31", key) << key << "0.31" << false;
    }
}

void TestEngineConfiguration::probabilitiesWithinTheEditorsRanges()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(bool, accepted);
    engine::Diagnostics diagnostics;
    // Every region row is asked for, so that each of its probabilities is read.
    read("REG1D_MODE 10\nFIA1D_MODE 10\n" + key.leftJustified(11).toStdString() +
             value.toStdString() + "\n",
         diagnostics);
    QCOMPARE(diagnostics.errorCount(), accepted ? 0 : 1);
    if (!accepted)
        QCOMPARE(diagnostics.items().front().line, 3);
}

void TestEngineConfiguration::misreadKeyLinesAreWarned_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("message"); // empty: no warning
    QTest::newRow("value in column 11") << "NBMAXITER 15"
                                        << "colonne 11";
    QTest::newRow("value in column 11 after blanks") << "CRITCONV  0.01"
                                                     << "colonne 11";
    QTest::newRow("value glued to a 10-character key") << "VALIDATION0.99"
                                                       << "colonne 11";
    QTest::newRow("value in column 10") << "CRITCONV 0.01"
                                        << "CRITCONV d";
    QTest::newRow("key shifted right") << "   NBMAXITER  15"
                                       << "NBMAXITER d";
    QTest::newRow("tab after the key") << "NBMAXITER\t15"
                                       << "colonne 11";
    QTest::newRow("key glued to its value") << "CRITCONV0.01"
                                            << "coll";
    QTest::newRow("key glued to a flag") << "LOG_FIABOUI"
                                         << "coll";
    QTest::newRow("padded key") << "NBMAXITER  15"
                                << "";
    QTest::newRow("key of 10 characters") << "VALIDATION 0.99"
                                          << "";
    QTest::newRow("key shifted right, value in place") << " CRITCONV  0.01"
                                                       << "";
    QTest::newRow("value further right") << "CRITCONV      0.01"
                                         << "";
    QTest::newRow("fixed line") << "SIGMA0CONNU OUI"
                                << "";
    QTest::newRow("unknown key") << "HUBERLIMIT 3"
                                 << "";
    QTest::newRow("comment") << "# NBMAXITER 15"
                             << "";
    // The outputs of one adjustment that a multi-epoch analysis does not make.
    QTest::newRow("matrix files of epochs") << "MEP_MODE   OUI\nOUTMAT_X   OUI"
                                            << "fichiers de matrices";
    QTest::newRow("simulated observations of epochs")
        << "MEP_MODE   OUI\nTYPECALCUL SIMULATION\nGENE_LOG   OUI"
        << "GENE_LOG";
}

void TestEngineConfiguration::misreadKeyLinesAreWarned()
{
    QFETCH(QString, line);
    QFETCH(QString, message);
    engine::Diagnostics diagnostics;
    read("[AJUSTEMENT]\n" + line.toStdString() + "\n", diagnostics);
    QCOMPARE(int(diagnostics.items().size()), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) {
        const auto &d = diagnostics.items().front();
        QCOMPARE(d.severity, engine::Diagnostic::Severity::Warning);
        QCOMPARE(d.line, 2);
        QVERIFY2(d.text.find(message.toLatin1().toStdString()) != std::string::npos,
                 d.text.c_str());
    }
}

QTEST_GUILESS_MAIN(TestEngineConfiguration)
#include "tst_engineconfiguration.moc"
