// The contracts between the workbench and the engine, each side's code against the other's: the
// configuration file (keys, tokens, fallbacks, synonyms, the default file, the editor's files), the
// record lines the field editor writes and the engine reads, and the result file the engine
// writes and the workbench reads.

#include "configuration.h"
#include "engine/api/process.h"
#include "engine/base/files.h"
#include "engine/base/text.h"
#include "engine/estimation/epochs.h"
#include "engine/estimation/statistics.h"
#include "engine/import/geoidgrid.h"
#include "engine/input/configurationfile.h"
#include "engine/input/observationreader.h"
#include "engine/model/networkbuilder.h"
#include "engine/model/options.h"
#include "engine/output/resultfile.h"
#include "enginetesthelpers.h"
#include "ficreader.h"
#include "ficwriter.h"
#include "recordcatalogue.h"
#include "recordline.h"
#include "reportcriticalvalue.h"

#include <QtTest>

#include <algorithm>
#include <cstring>
#include <limits>
#include <set>

Q_DECLARE_METATYPE(engine::ChiSquareOutcome)
Q_DECLARE_METATYPE(ChiSquareOutcome)

namespace {

constexpr double kPi = 3.14159265358979323846;

// The engine's default file with the line of `key` and `value` added at its end, where it
// decides on both sides.
std::string defaultsWith(const QString &key, const QString &value)
{
    return engine::defaultConfigurationText("\n") + key.leftJustified(11).toStdString() +
           value.toLatin1().toStdString() + "\n";
}

engine::Diagnostics engineDiagnostics(const std::string &configuration)
{
    engine::Diagnostics diagnostics;
    engine::optionsFromValues(engine::readConfigurationValues(configuration), "contract.cfg",
                              diagnostics);
    return diagnostics;
}

// The engine's warning that it does not know the value of the line `line`, or null.
const engine::Diagnostic *unknownValueWarning(const engine::Diagnostics &diagnostics, int line)
{
    for (const engine::Diagnostic &d : diagnostics.items()) {
        if (d.line == line && d.text.rfind(engine::fr("Valeur inconnue"), 0) == 0)
            return &d;
    }
    return nullptr;
}

int lineCount(const std::string &text)
{
    return int(std::count(text.begin(), text.end(), '\n'));
}

// The engine's run of the sample network with `configuration`, whole.
engine::ProcessOutput sampleRun(const std::string &configuration)
{
    const std::string observations = engine::normalizedPath(TAVLO_SAMPLES_DIR "/reseau.iob");
    const std::string configurationPath = engine::normalizedPath("contract.cfg");
    const engine::FileLoader disk = engine::diskFileLoader();
    return engine::runProcessing(observations, configurationPath,
                                 [&](const std::string &path, std::string &content) {
                                     if (path != configurationPath)
                                         return disk(path, content);
                                     content = configuration;
                                     return true;
                                 });
}

// What the engine makes of the sample network with `configuration`: its report, result file and
// summary, all in memory.
std::string engineRun(const std::string &configuration)
{
    const engine::ProcessOutput output = sampleRun(configuration);
    return output.report + output.result + std::to_string(output.summary.status) + " " +
           std::to_string(output.summary.chiSquare);
}

// A record line of the catalogue's type `code`, built as the field editor builds it.
std::string recordLine(const RecordCatalogue &catalogue, const char *code,
                       const QStringList &values)
{
    const int index = catalogue.indexOf(QLatin1String(code));
    if (index < 0)
        qFatal("no record type %s", code);
    const BuiltLine built = buildRecordLine(catalogue.at(index), values);
    if (!built.fits())
        qFatal("record %s does not fit", code);
    return built.line.toLatin1().toStdString();
}

bool near(const Eigen::Vector3d &a, const Eigen::Vector3d &b)
{
    return (a - b).norm() < 1e-9;
}

double dmsRadians(double degrees, double minutes, double seconds)
{
    return (degrees + minutes / 60.0 + seconds / 3600.0) * kPi / 180.0;
}

const engine::Observation &observationOf(const engine::Network &network,
                                         engine::ObservationKind kind)
{
    for (const engine::Observation &o : network.observations) {
        if (o.kind == kind)
            return o;
    }
    qFatal("no observation of kind %d", int(kind));
}

// The record as read of the observation `observationOf` finds.
const engine::ObservationAsRead &asReadOf(const engine::Network &network,
                                          engine::ObservationKind kind)
{
    const engine::Observation &o = observationOf(network, kind);
    return network.asRead.at(std::size_t(&o - network.observations.data()));
}

} // namespace

class TestEngineContract : public QObject
{
    Q_OBJECT

private slots:
    void configurationKeysAgree();
    void choiceTokensAgree_data();
    void choiceTokensAgree();
    void unknownTokensTakeTheSameFallback_data();
    void unknownTokensTakeTheSameFallback();
    void defaultFileHasTheWorkbenchsLayout_data();
    void defaultFileHasTheWorkbenchsLayout();
    void workbenchFilesReadWithoutDiagnostics_data();
    void workbenchFilesReadWithoutDiagnostics();
    void layoutsAgreeWithTheCatalogue();
    void catalogueRecordsReadBackWithTheirValues();
    void resultFileReadByTheWorkbench_data();
    void resultFileReadByTheWorkbench();
    void criticalValueReadFromTheReport_data();
    void criticalValueReadFromTheReport();
};

// Same keys in the same order and sections, of the same kinds, with the same fixed lines, digit
// counts and key synonyms.
void TestEngineContract::configurationKeysAgree()
{
    const std::vector<engine::ConfigurationKey> &engineKeys = engine::configurationKeys();
    const QVector<ConfigurationKey> &workbenchKeys = configurationKeys();
    QCOMPARE(int(engineKeys.size()), workbenchKeys.size());
    for (int i = 0; i < workbenchKeys.size(); ++i) {
        const engine::ConfigurationKey &e = engineKeys[std::size_t(i)];
        const ConfigurationKey &w = workbenchKeys.at(i);
        const QByteArray at = "key " + QByteArray::number(i) + " " + e.key;
        QVERIFY2(w.section == QLatin1String(e.section), at);
        using EngineKind = engine::ConfigurationKey::Kind;
        switch (w.kind) {
        case ConfigurationKind::Fixed:
            QVERIFY2(e.kind == EngineKind::Fixed && w.name == QLatin1String(e.defaultValue), at);
            continue;
        case ConfigurationKind::Text:
            QVERIFY2(e.kind == EngineKind::Text, at);
            break;
        case ConfigurationKind::Choice:
            QVERIFY2(e.kind == EngineKind::Choice, at);
            break;
        case ConfigurationKind::Count:
            QVERIFY2(e.kind == EngineKind::Count, at);
            break;
        case ConfigurationKind::Flag:
            QVERIFY2(e.kind == EngineKind::Flag, at);
            break;
        case ConfigurationKind::Digits:
            QVERIFY2(e.kind == EngineKind::Digits, at);
            QVERIFY2(w.components == int(std::strlen(e.defaultValue)), at);
            break;
        case ConfigurationKind::SolutionForms:
            // Six forms written on four digits.
            QVERIFY2(e.kind == EngineKind::Digits && std::strlen(e.defaultValue) == 4, at);
            break;
        }
        QVERIFY2(w.name == QLatin1String(e.key), at);
        // A key synonym of the workbench is read by the engine as its key.
        if (!w.keySynonym.isEmpty()) {
            const auto values = engine::readConfigurationValues(
                w.keySynonym.leftJustified(11).toStdString() + "7\n");
            QVERIFY2(values.values.count(e.key) && values.values.at(e.key).first == "7", at);
        }
    }
}

void TestEngineContract::choiceTokensAgree_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("token");
    for (const ConfigurationKey &key : configurationKeys()) {
        if (key.kind != ConfigurationKind::Choice)
            continue;
        for (const QString &token : key.tokens)
            QTest::addRow("%s %s", qPrintable(key.name), qPrintable(token.trimmed()))
                << key.name << token << token;
        for (const auto &synonym : key.synonyms)
            QTest::addRow("%s %s (synonym)", qPrintable(key.name), qPrintable(synonym.first))
                << key.name << synonym.first << key.tokens.at(synonym.second);
    }
}

// Every token and synonym the workbench knows is one the engine takes, and a synonym means to the
// engine what it means to the workbench: the same run as with its token.
void TestEngineContract::choiceTokensAgree()
{
    QFETCH(QString, key);
    QFETCH(QString, written);
    QFETCH(QString, token);
    const std::string text = defaultsWith(key, written);
    QCOMPARE(Configuration::fromText(QString::fromLatin1(text.c_str())).token(key), token);
    const engine::Diagnostics diagnostics = engineDiagnostics(text);
    const engine::Diagnostic *unknown = unknownValueWarning(diagnostics, lineCount(text));
    QVERIFY2(!unknown, unknown ? unknown->text.c_str() : "");
    if (written != token)
        QCOMPARE(engineRun(text), engineRun(defaultsWith(key, token)));
}

void TestEngineContract::unknownTokensTakeTheSameFallback_data()
{
    QTest::addColumn<QString>("key");
    for (const ConfigurationKey &key : configurationKeys()) {
        if (key.kind == ConfigurationKind::Choice)
            QTest::newRow(qPrintable(key.name)) << key.name;
    }
}

// Tokens the workbench does not know for a key, those of its other keys among them, are read by
// the engine as the workbench reads them: where the engine says which value it uses instead, that
// is the workbench's fallback; where it says nothing, it runs as with that fallback.
void TestEngineContract::unknownTokensTakeTheSameFallback()
{
    QFETCH(QString, key);
    QSet<QString> probes{QStringLiteral("INCONNU")};
    for (const ConfigurationKey &other : configurationKeys()) {
        for (const QString &token : other.tokens)
            probes.insert(token.trimmed());
        for (const auto &synonym : other.synonyms)
            probes.insert(synonym.first);
    }
    const ConfigurationKey &workbenchKey =
        *std::find_if(configurationKeys().begin(), configurationKeys().end(),
                      [&](const ConfigurationKey &k) { return k.name == key; });
    const QString fallback = workbenchKey.tokens.at(workbenchKey.fallback);
    const std::string fallbackRun = engineRun(defaultsWith(key, fallback));
    for (const QString &probe : qAsConst(probes)) {
        const std::string text = defaultsWith(key, probe);
        if (Configuration::fromText(QString::fromLatin1(text.c_str())).choice(key) !=
                workbenchKey.fallback ||
            probe == fallback.trimmed())
            continue;
        const QByteArray at = probe.toLatin1();
        const engine::Diagnostics diagnostics = engineDiagnostics(text);
        if (const engine::Diagnostic *unknown = unknownValueWarning(diagnostics, lineCount(text))) {
            const std::string used =
                engine::fr(" : la valeur ") + fallback.trimmed().toStdString() + engine::fr(" est");
            QVERIFY2(unknown->text.find(used) != std::string::npos, unknown->text.c_str());
        } else {
            QVERIFY2(engineRun(text) == fallbackRun, at);
        }
    }
}

void TestEngineContract::defaultFileHasTheWorkbenchsLayout_data()
{
    QTest::addColumn<QString>("lineEnd");
    QTest::newRow("line feed") << "\n";
    QTest::newRow("carriage return and line feed") << "\r\n";
}

// The engine's default file, read by the workbench and written back, comes back byte for byte:
// the engine writes the layout the workbench writes, with values the workbench keeps.
void TestEngineContract::defaultFileHasTheWorkbenchsLayout()
{
    QFETCH(QString, lineEnd);
    const QString written =
        QString::fromLatin1(engine::defaultConfigurationText(qPrintable(lineEnd)).c_str());
    const Configuration read = Configuration::fromText(written);
    QCOMPARE(read.toText().replace(QLatin1Char('\n'), lineEnd), written);
}

void TestEngineContract::workbenchFilesReadWithoutDiagnostics_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("built-in state") << Configuration().toText();
    QTest::newRow("engine defaults")
        << Configuration::fromText(
               QString::fromLatin1(engine::defaultConfigurationText("\n").c_str()))
               .toText();

    // Every value the engine handles, at the ends of the ranges the configuration editor offers;
    // counts as large as the workbench keeps them.
    Configuration limits;
    limits.setText("CRITCONV", " 0,001 ");
    limits.setText("HUBERVALUE", "2.5 3");
    limits.setChoice("TYPEANGLES", 2);
    limits.setChoice("LINEARUNIT", 2);
    limits.setCount("NBMAXITER", std::numeric_limits<int>::max());
    limits.setChoice("APPLIMBE", 1);
    limits.setChoice("SIGMADIST", 0);
    limits.setChoice("SIGM+STD", 0);
    limits.setChoice("SIGMAOHDF", 0);
    limits.setChoice("TYPESIGMA0", 2);
    limits.setText("VALIDATION", "0.99999");
    limits.setChoice("REG_COORD", 2);
    limits.setDigit("REG1D_TYPE", 2, true);
    limits.setDigit("REG2D_TYPE", 0, true);
    for (const char *mode :
         {"REG1D_MODE", "REG2D_MODE", "REG3D_MODE", "FIA1D_MODE", "FIA2D_MODE", "FIA3D_MODE"})
        limits.setChoice(mode, 3);
    for (const char *confidence : {"REG1D_CONF", "REG2D_CONF", "FIA1D_CONF"})
        limits.setText(confidence, "0.05");
    for (const char *confidence : {"REG3D_CONF", "FIA2D_CONF", "FIA3D_CONF"})
        limits.setText(confidence, "0.99999");
    limits.setText("FIA1D_BETA", "0.005");
    limits.setText("FIA2D_BETA", "0.30");
    limits.setText("FIA3D_BETA", "0.1");
    limits.setCount("NBDEC_DIST", std::numeric_limits<int>::max());
    limits.setCount("NBDEC_ANGT", std::numeric_limits<int>::max());
    limits.setFlag("LOG_FIAB", true);
    limits.setChoice("LOG_RESIDU", 2);
    limits.setChoice("LOG_OMC", 2);
    limits.setChoice("LOG_SOLINT", 1);
    limits.setDigit("LOG_SOLFIN", SolutionLoc, true);
    limits.setFlag("DRW_EXPORT", true);
    QTest::newRow("every value at the editor's limits") << limits.toText();

    Configuration lowest = limits;
    lowest.setText("VALIDATION", "0.00001");
    lowest.setCount("NBMAXITER", std::numeric_limits<int>::min());
    lowest.setCount("NBDEC_DIST", std::numeric_limits<int>::min());
    lowest.setCount("NBDEC_ANGT", std::numeric_limits<int>::min());
    QTest::newRow("lowest values") << lowest.toText();
}

// A file the configuration editor writes, with values the engine handles, reads without a message.
void TestEngineContract::workbenchFilesReadWithoutDiagnostics()
{
    QFETCH(QString, text);
    const engine::Diagnostics diagnostics = engineDiagnostics(text.toLatin1().toStdString());
    QVERIFY2(diagnostics.items().empty(), diagnosticsText(diagnostics).c_str());
}

// Every record the engine reads has the catalogue's columns, and a line the field editor builds
// with every field filled stays within them.
void TestEngineContract::layoutsAgreeWithTheCatalogue()
{
    const RecordCatalogue catalogue;
    // The field editor and the help mark the records the engine cannot read from this list.
    QStringList read;
    for (const engine::RecordLayout &layout : engine::recordLayouts())
        read << QString::fromLatin1(layout.code);
    read.sort();
    QStringList marked = RecordCatalogue::engineRecordCodes();
    marked.sort();
    QCOMPARE(marked, read);
    for (const engine::RecordLayout &layout : engine::recordLayouts()) {
        const int index = catalogue.indexOf(QString::fromLatin1(layout.code));
        QVERIFY2(index >= 0, layout.code);
        const RecordType &type = catalogue.at(index);
        QCOMPARE(int(layout.fields.size()), type.fields.size());
        QStringList values;
        for (int i = 0; i < type.fields.size(); ++i) {
            const FieldSpec &field = type.fields.at(i);
            const engine::FieldSpan &span = layout.fields[std::size_t(i)];
            QCOMPARE(span.first, field.column);
            QCOMPARE(span.last, field.lastColumn());
            switch (field.kind) {
            case FieldKind::Number:
                values << QString(field.width - 2, '9');
                break;
            case FieldKind::Choice:
                values << field.choiceItems().constLast();
                break;
            case FieldKind::AngleDms:
                values << QStringLiteral("-123 45 12.345");
                break;
            default:
                values << QString(field.width, 'X');
                break;
            }
        }
        const BuiltLine built = buildRecordLine(type, values);
        QVERIFY2(built.fits(), layout.code);
        QVERIFY2(engine::columnsOutsideFields(built.line.toLatin1().toStdString(), layout).empty(),
                 qPrintable(built.line));
    }
}

// A file of every record the engine reads, each line built by the field editor's rules from the
// catalogue, gives the engine's network the values written, in the units written.
void TestEngineContract::catalogueRecordsReadBackWithTheirValues()
{
    const RecordCatalogue c;
    const std::vector<std::string> lines = {
        recordLine(c, "TITL", {QString::fromUtf8("Réseau du contrat")}),
        recordLine(c, "GRP", {QStringLiteral("Cheminement nord")}),
        recordLine(c, "SIGM", {"S1", "1.5", "2", "0.5", "1", "2", "INSTR,SESS", "mm"}),
        recordLine(c, "AUX", {"DIS", "INSTR", "    ", "SCAL", "    ", "CONS"}),
        recordLine(c, "AUX", {"ALL", "SESS", "GVCE"}),
        recordLine(c, "LENU", {"110", "P1", "1000.125", "2000.25", "100.5", "m "}),
        recordLine(c, "LNEU", {"011", "P2", "210050", "130075", "10125", "cm"}),
        recordLine(c, "LENU", {"000", "P3", "1500", "2500", "90", ""}),
        recordLine(c, "HI", {"P1", "1.55", "m "}),
        recordLine(c, "HT", {"P2", "120", "cm"}),
        recordLine(c, "ANGT", {"DMS"}),
        recordLine(c, "RSET", {"0.06"}),
        recordLine(c, "DSET", {"S1"}),
        recordLine(c, "DIR", {"", "P1", "P2", "123 45 12.345", "2.5"}),
        recordLine(c, "AZIM", {"S1", "P1", "P3", "45 30 0", "3"}),
        recordLine(c, "ZANG", {"", "P1", "P2", "95 10 20.5", "4", "0.13"}),
        recordLine(c, "DIST", {"S1", "P1", "P2", "1234.5678", "1.5", "mm"}),
        recordLine(c, "OHDF", {"", "P2", "P3", "-1.234", "0.8", "250.5", "cm"}),
        recordLine(c, "UNHI", {"P2", "152", "cm"}),
        recordLine(c, "UNHT", {"P1", "0.35", "m "}),
        recordLine(c, "DIST", {"S1", "P2", "P1", "1234.5678", "1.5", "mm"}),
    };
    // The records of points on the ellipsoid, read in a geodetic model.
    const std::vector<std::string> geodeticLines = {
        recordLine(c, "ELIP", {"CLARKE 1880", "6378249.2", "6356515.0", "m "}),
        recordLine(c, "XYZ", {"111", "G1", "3771793.968", "140253.342", "5124304.349", "m "}),
        recordLine(c, "PLH", {"101", "G2", "N45 30 0", "E6 12 0", "42050", "cm"}),
        recordLine(c, "PLHD", {"000", "G3", "S12.5", "E214.25", "-15.5", ""}),
        recordLine(c, "3DC", {""}),
        recordLine(c, "XYZ", {"000", "G1", "3771793.978", "140253.342", "5124304.349", "m "}),
        recordLine(c, "COV", {"CT", "DIAG", "", "4", "", "", "", "", "", "mm"}),
        recordLine(c, "ELEM", {"1", "4", "9", "mm"}),
        recordLine(c, "3DC", {""}),
        recordLine(c, "PLHD", {"", "G3", "S12.5", "E214.25", "-15.5", ""}),
        recordLine(c, "CORR", {"LG", "DIAG", "", "", "", "", "", "", "", "cm"}),
        recordLine(c, "ELEM", {"1", "1", "2", "cm"}),
        recordLine(c, "3DC", {""}),
        recordLine(c, "XYZ", {"", "G1", "3771793.978", "140253.342", "5124304.349", "m "}),
        recordLine(c, "WGT", {"CT", "DIAG", "", "", "", "", "", "", "", "m "}),
        recordLine(c, "ELEM", {"10000", "10000", "2500", "m "}),
        recordLine(c, "3DD", {""}),
        recordLine(c, "DXYZ", {"G1", "G4", "10050", "-2025", "3000", "cm"}),
        recordLine(c, "COV", {"CT", "DIAG", "", "", "", "", "", "", "", "mm"}),
        recordLine(c, "ELEM", {"1", "4", "9", "mm"}),
    };
    // The sphere's latitude, read in the spherical model.
    const std::string meanLatitudeLine = recordLine(c, "PMOY", {"S12 25 36.147"});
    // Unknown heights, sighted both ways; an epoch, split off before the network is built.
    const std::vector<std::string> heightLines = {
        recordLine(c, "LENU", {"111", "H1", "0", "0", "0", "m "}),
        recordLine(c, "LENU", {"001", "H2", "100", "0", "0", "m "}),
        recordLine(c, "UNHI", {"H1", "1.55", "m "}),
        recordLine(c, "UNHT", {"H2", "120", "cm"}),
        recordLine(c, "ZANG", {"", "H1", "H2", "100 0 0", "4"}),
        recordLine(c, "EPOC", {QString::fromUtf8("Campagne de mai")}),
        recordLine(c, "ZANG", {"", "H1", "H2", "100 0 0", "4"}),
    };
    // Projections, points in them and with altitudes, and the geoid: a grid of 45 to 47 degrees
    // north and 5 to 7 east whose undulation is 40 m + 1 m per degree east, exact between nodes.
    QTemporaryDir folder;
    const QString gridPath = folder.filePath("g.geo");
    {
        engine::import::GeoidGrid grid;
        grid.south = 45.0;
        grid.west = 5.0;
        grid.latStep = 1.0;
        grid.lonStep = 1.0;
        grid.rows = 3;
        grid.columns = 3;
        for (int r = 0; r < 3; ++r) {
            for (int k = 0; k < 3; ++k)
                grid.values.push_back(static_cast<float>(45.0 + k));
        }
        QFile file(gridPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromStdString(engine::import::encodeGeoFile(grid)));
    }
    const std::vector<std::string> projectionLines = {
        recordLine(c, "TMER", {"TM1", "E6 0", "N46 0", "100000", "500000", "0.9996", "m "}),
        recordLine(c, "XTMR", {"TM2", "E6 30 0", "N0 0 0", "0", "50000000", "0.9996", "cm"}),
        recordLine(c, "LAMB",
                   {"L93", "N46 30", "E3 0", "6600000", "700000", "N44 0", "N49 0", "m "}),
        recordLine(c, "XLAM",
                   {"L2", "N46 48 0", "E2 20 14.025", "2200000", "600000", "N45 53 56.108",
                    "N47 41 45.652", "m "}),
        recordLine(c, "OMER",
                   {"OM", "E7 26 22.5", "N46 57 8.66", "90 0 0", "200000", "600000", "1.0", "m "}),
        recordLine(c, "STGR",
                   {"RD", "N52 9 22.178", "E5 23 15.5", "463000", "155000", "0.9999079", "m "}),
        recordLine(c, "NEH", {"111", "G4", "100000", "500000", "100", "TM1", "m "}),
        recordLine(c, "NEO", {"000", "G5", "6600000", "700000", "350", "L93", "m "}),
        recordLine(c, "GEOI", {"G5", "N 0 0 10", "W 0 0 5", "47.25", "m "}),
        recordLine(c, "GFIL", {gridPath}),
        recordLine(c, "PLO", {"010", "G6", "N46 0 0", "E6 30 0", "25000", "cm"}),
        recordLine(c, "PLOD", {"000", "G7", "N46.5", "E5.25", "-5", "m "}),
    };
    std::set<std::string> codes;
    for (const std::string &line : lines)
        codes.insert(engine::trim(line.substr(1, 4)));
    for (const std::string &line : geodeticLines)
        codes.insert(engine::trim(line.substr(1, 4)));
    codes.insert(engine::trim(meanLatitudeLine.substr(1, 4)));
    for (const std::string &line : projectionLines)
        codes.insert(engine::trim(line.substr(1, 4)));
    for (const std::string &line : heightLines)
        codes.insert(engine::trim(line.substr(1, 4)));
    for (const engine::RecordLayout &layout : engine::recordLayouts())
        QVERIFY2(codes.count(layout.code), layout.code);
    {
        engine::Diagnostics diagnostics;
        const std::string path = engine::normalizedPath("heights.iob");
        const engine::ObservationSource source = engine::readObservationFiles(
            path, memoryLoader({{path, joinLines(heightLines)}}), diagnostics);
        const std::vector<engine::EpochSource> epochs = engine::splitEpochs(source, diagnostics);
        QCOMPARE(epochs.size(), std::size_t(1));
        QCOMPARE(epochs.front().name, engine::fr("Campagne de mai"));
        QCOMPARE(epochs.front().sharedRecords, std::size_t(5));
        engine::ObservationSource shared;
        shared.files = source.files;
        shared.records.assign(source.records.begin(), source.records.begin() + 5);
        const engine::Network network =
            engine::buildNetwork(shared, engine::Options(), diagnostics);
        QVERIFY2(diagnostics.items().empty(), diagnosticsText(diagnostics).c_str());
        QCOMPARE(network.unknownHeights.size(), std::size_t(2));
        QCOMPARE(network.unknownHeights[0].approximate, 1.55);
        QCOMPARE(network.unknownHeights[1].approximate, 1.2);
    }
    {
        engine::Diagnostics diagnostics;
        const std::string path = engine::normalizedPath("geodetic.iob");
        const engine::ObservationSource source = engine::readObservationFiles(
            path, memoryLoader({{path, joinLines(geodeticLines)}}), diagnostics);
        engine::Options options;
        options.model = engine::ModelType::Ellipsoidal3D;
        const engine::Network network = engine::buildNetwork(source, options, diagnostics);
        QVERIFY2(diagnostics.items().empty(), diagnosticsText(diagnostics).c_str());
        QCOMPARE(network.ellipsoid.name, std::string("CLARKE 1880"));
        QCOMPARE(network.ellipsoid.semiMajor, 6378249.2);
        QCOMPARE(network.ellipsoid.semiMinor, 6356515.0);
        const auto point = [&](const char *name) -> const engine::Point & {
            return network.points[std::size_t(network.pointIndex.at(name))];
        };
        QVERIFY(
            near(point("G1").geocentric, Eigen::Vector3d(3771793.968, 140253.342, 5124304.349)));
        QCOMPARE(point("G1").fixed, (std::array<bool, 3>{true, true, true}));
        const engine::Geographic &g2 = point("G2").geographic;
        QVERIFY(std::abs(g2.latitude - dmsRadians(45, 30, 0)) < 1e-12);
        QVERIFY(std::abs(g2.longitude - dmsRadians(6, 12, 0)) < 1e-12);
        QCOMPARE(g2.height, 420.5);
        // Flags in the record's order latitude, longitude, height: north and up fixed.
        QCOMPARE(point("G2").fixed, (std::array<bool, 3>{false, true, true}));
        const engine::Geographic &g3 = point("G3").geographic;
        QVERIFY(std::abs(g3.latitude + dmsRadians(12, 30, 0)) < 1e-12);
        QVERIFY(std::abs(g3.longitude - dmsRadians(214.25 - 360.0, 0, 0)) < 1e-12);
        QCOMPARE(g3.height, -15.5);
        // The observed positions: variances in square millimetres times 4, standard deviations
        // in centimetres, weights in inverse square metres.
        QCOMPARE(network.correlated.size(), std::size_t(4));
        const Eigen::MatrixXd &covariance = network.correlated.front().covariance;
        QVERIFY(near(covariance.diagonal(), Eigen::Vector3d(4e-6, 16e-6, 36e-6)));
        QVERIFY(std::abs(covariance(0, 1)) < 1e-18);
        QCOMPARE(network.observations.front().value, 3771793.978);
        for (std::size_t k = 1; k < 3; ++k)
            QVERIFY(near(network.correlated[k].covariance.diagonal(),
                         Eigen::Vector3d(1e-4, 1e-4, 4e-4)));
        // The vector, in centimetres, places G4 from G1.
        QVERIFY(
            near(network.correlated[3].covariance.diagonal(), Eigen::Vector3d(1e-6, 4e-6, 9e-6)));
        QVERIFY(near(point("G4").geocentric,
                     point("G1").geocentric + Eigen::Vector3d(100.5, -20.25, 30.0)));
    }
    {
        engine::Diagnostics diagnostics;
        const std::string path = engine::normalizedPath("sphere.iob");
        const engine::ObservationSource source = engine::readObservationFiles(
            path, memoryLoader({{path, meanLatitudeLine + "\n"}}), diagnostics);
        engine::Options options;
        options.model = engine::ModelType::Spherical3D;
        const engine::Network network = engine::buildNetwork(source, options, diagnostics);
        QVERIFY2(diagnostics.items().empty(), diagnosticsText(diagnostics).c_str());
        QVERIFY(network.sphere.has_value());
        QVERIFY(std::abs(network.sphere->latitude() + dmsRadians(12, 25, 36.147)) < 1e-12);
    }

    {
        engine::Diagnostics diagnostics;
        const std::string path = engine::normalizedPath("projections.iob");
        const engine::ObservationSource source = engine::readObservationFiles(
            path, memoryLoader({{path, joinLines(projectionLines)}}), diagnostics);
        engine::Options options;
        options.model = engine::ModelType::Ellipsoidal3D;
        const engine::Network network = engine::buildNetwork(source, options, diagnostics);
        QVERIFY2(!diagnostics.hasErrors(), diagnosticsText(diagnostics).c_str());
        QCOMPARE(network.projections.size(), std::size_t(6));
        const engine::ProjectionDefinition &tm2 = network.projectionNamed("TM2")->definition();
        QCOMPARE(tm2.falseEasting, 500000.0);
        QVERIFY(std::abs(tm2.longitudeOfOrigin - dmsRadians(6, 30, 0)) < 1e-12);
        const engine::ProjectionDefinition &l2 = network.projectionNamed("L2")->definition();
        QVERIFY(std::abs(l2.secondParallel - dmsRadians(47, 41, 45.652)) < 1e-12);
        QCOMPARE(l2.falseNorthing, 2200000.0);
        const engine::ProjectionDefinition &om = network.projectionNamed("OM")->definition();
        QVERIFY(std::abs(om.azimuth - dmsRadians(90, 0, 0)) < 1e-12);
        QVERIFY(std::abs(om.latitudeOfOrigin - dmsRadians(46, 57, 8.66)) < 1e-12);
        QCOMPARE(network.projectionNamed("RD")->definition().scale, 0.9999079);
        const auto point = [&](const char *name) -> const engine::Point & {
            return network.points[std::size_t(network.pointIndex.at(name))];
        };
        // At the origin of TM1 and at the false origin of L93.
        QVERIFY(std::abs(point("G4").geographic.latitude - dmsRadians(46, 0, 0)) < 1e-12);
        QVERIFY(std::abs(point("G4").geographic.longitude - dmsRadians(6, 0, 0)) < 1e-12);
        QCOMPARE(point("G4").geographic.height, 100.0);
        QVERIFY(std::abs(point("G5").geographic.latitude - dmsRadians(46, 30, 0)) < 1e-12);
        QCOMPARE(point("G5").geographic.height, 350.0 + 47.25);
        QVERIFY(std::abs(point("G5").geoid->deflectionNorth - dmsRadians(0, 0, 10)) < 1e-15);
        QVERIFY(std::abs(point("G5").geoid->deflectionEast + dmsRadians(0, 0, 5)) < 1e-15);
        // Altitudes with the grid's undulation; flags of latitude, longitude, altitude.
        QVERIFY(std::abs(point("G6").geographic.height - (250.0 + 46.5)) < 1e-5);
        QCOMPARE(point("G6").fixed, (std::array<bool, 3>{true, false, false}));
        QVERIFY(std::abs(point("G7").geographic.height - (-5.0 + 45.25)) < 1e-5);
    }

    engine::Diagnostics diagnostics;
    const std::string path = engine::normalizedPath("contract.iob");
    const engine::ObservationSource source =
        engine::readObservationFiles(path, memoryLoader({{path, joinLines(lines)}}), diagnostics);
    const engine::Network network = engine::buildNetwork(source, engine::Options(), diagnostics);
    QVERIFY2(diagnostics.items().empty(), diagnosticsText(diagnostics).c_str());

    QCOMPARE(network.titles, std::vector<std::string>{engine::fr("Réseau du contrat")});
    const engine::PrecisionFamily &family = network.families.at("S1");
    QCOMPARE(family.constant, 1.5);
    QCOMPARE(family.ppm, 2.0);
    QCOMPARE(family.unit, 0.001);
    QCOMPARE(family.centringPoint, 0.0005);
    QCOMPARE(family.centringStation, 0.001);
    QCOMPARE(family.centringTarget, 0.002);
    QCOMPARE(family.groups, (std::vector<std::string>{"INSTR", "SESS"}));
    QCOMPARE(network.secondaryGroups.size(), std::size_t(2));
    const engine::SecondaryGroup &instrument = network.secondaryGroups.front();
    QCOMPARE(instrument.name, std::string("INSTR"));
    QCOMPARE(instrument.scope, engine::SecondaryScope::Distances);
    QCOMPARE(instrument.types, (std::vector<engine::SecondaryType>{
                                   engine::SecondaryType::Scale, engine::SecondaryType::Constant}));
    // The family's distances take the scale and the constant; its four observations (the
    // direction of its set, the azimuth and the two distances) form the variance group.
    QCOMPARE(network.secondaryParameters.size(), std::size_t(2));
    QCOMPARE(network.varianceGroups.size(), std::size_t(1));
    QCOMPARE(network.varianceGroups.front().observations.size(), std::size_t(4));

    const engine::Point &p1 = network.points[std::size_t(network.pointIndex.at("P1"))];
    QVERIFY(near(p1.approximate, Eigen::Vector3d(1000.125, 2000.25, 100.5)));
    QCOMPARE(p1.fixed, (std::array<bool, 3>{true, true, false}));
    const engine::Point &p2 = network.points[std::size_t(network.pointIndex.at("P2"))];
    QVERIFY(near(p2.approximate, Eigen::Vector3d(1300.75, 2100.5, 101.25)));
    // Flags in the record's order north, east, up: east and up fixed.
    QCOMPARE(p2.fixed, (std::array<bool, 3>{true, false, true}));
    QVERIFY(near(network.points[std::size_t(network.pointIndex.at("P3"))].approximate,
                 Eigen::Vector3d(1500.0, 2500.0, 90.0)));

    QCOMPARE(network.asRead.size(), network.observations.size());
    const double second = kPi / 180.0 / 3600.0;
    const engine::Observation &dir = observationOf(network, engine::ObservationKind::Direction);
    QCOMPARE(dir.value, dmsRadians(123, 45, 12.345));
    QCOMPARE(asReadOf(network, engine::ObservationKind::Direction).ownSigma, 2.5 * second);
    QCOMPARE(dir.instrumentHeight, 1.55);
    QCOMPARE(dir.targetHeight, 1.2);
    QCOMPARE(network.groupOf(dir), std::string("Cheminement nord"));
    QCOMPARE(network.sets.at(std::size_t(dir.set)).sigmaId, std::string("S1"));
    const engine::Observation &azimuth = observationOf(network, engine::ObservationKind::Azimuth);
    QCOMPARE(azimuth.value, dmsRadians(45, 30, 0));
    const engine::ObservationAsRead &azimuthAsRead =
        asReadOf(network, engine::ObservationKind::Azimuth);
    QCOMPARE(azimuthAsRead.ownSigma, 3.0 * second);
    QCOMPARE(azimuthAsRead.sigmaId, std::string("S1"));
    const engine::Observation &zenith = observationOf(network, engine::ObservationKind::Zenith);
    QCOMPARE(zenith.value, dmsRadians(95, 10, 20.5));
    const engine::ObservationAsRead &zenithAsRead =
        asReadOf(network, engine::ObservationKind::Zenith);
    QCOMPARE(zenithAsRead.ownSigma, 4.0 * second);
    QCOMPARE(zenith.refraction(), 0.13);
    QCOMPARE(zenithAsRead.refractionSigma, 0.06);
    const engine::Observation &distance = observationOf(network, engine::ObservationKind::Distance);
    QCOMPARE(distance.value, 1.2345678);
    QCOMPARE(asReadOf(network, engine::ObservationKind::Distance).ownSigma, 0.0015);
    const engine::IndexRange secondary = network.secondaryOf(distance);
    QCOMPARE(std::vector<int>(secondary.begin(), secondary.end()), (std::vector<int>{0, 1}));
    const engine::Observation &levelling =
        observationOf(network, engine::ObservationKind::HeightDifference);
    QCOMPARE(levelling.value, -0.01234);
    QCOMPARE(asReadOf(network, engine::ObservationKind::HeightDifference).ownSigma, 0.008);
    QCOMPARE(asReadOf(network, engine::ObservationKind::HeightDifference).length, 2.505);
    QCOMPARE(network.points[std::size_t(levelling.station)].name, std::string("P2"));
    QCOMPARE(network.points[std::size_t(levelling.target)].name, std::string("P3"));
    // The unknown heights, with their approximate values, taken by the last distance.
    QCOMPARE(network.unknownHeights.size(), std::size_t(2));
    QVERIFY(network.unknownHeights[0].instrument);
    QCOMPARE(network.unknownHeights[0].approximate, 1.52);
    QCOMPARE(network.points[std::size_t(network.unknownHeights[0].point)].name, std::string("P2"));
    QVERIFY(!network.unknownHeights[1].instrument);
    QCOMPARE(network.unknownHeights[1].approximate, 0.35);
    const engine::Observation &back = network.observations.back();
    QCOMPARE(back.instrumentUnknown, 0);
    QCOMPARE(back.targetUnknown, 1);
    QCOMPARE(back.instrumentHeight, 1.52);
}

void TestEngineContract::resultFileReadByTheWorkbench_data()
{
    QTest::addColumn<engine::ChiSquareOutcome>("engineOutcome");
    QTest::addColumn<ChiSquareOutcome>("workbenchOutcome");
    QTest::newRow("failed") << engine::ChiSquareOutcome::Failed << ChiSquareOutcome::Failed;
    QTest::newRow("passed") << engine::ChiSquareOutcome::Passed << ChiSquareOutcome::Passed;
    QTest::newRow("not tested") << engine::ChiSquareOutcome::NotTested
                                << ChiSquareOutcome::NotTested;
}

// The engine's result file is read by the workbench with the values written, and the tests'
// writer of result files lays the same values out in the same bytes.
void TestEngineContract::resultFileReadByTheWorkbench()
{
    QFETCH(engine::ChiSquareOutcome, engineOutcome);
    QFETCH(ChiSquareOutcome, workbenchOutcome);
    QCOMPARE(int(engineOutcome), int(workbenchOutcome));

    engine::ResultFile file;
    file.status = 0;
    file.observationCount = 5;
    file.unknownCount = 7;
    file.iterationCount = 3;
    file.varianceFactor = 1.125;
    file.chiSquare = static_cast<std::int64_t>(engineOutcome);
    file.observationFiles = {"/r/a.iob", engine::fr("/r/côté.iob")};
    file.logFile = "/r/a.log";
    file.pointNames = {"A", "B", "LONGNOMDEPT"};
    file.auxiliaryValue = 12.5;
    file.validCount = 4;
    file.residualTest = static_cast<std::int64_t>(engine::ResidualTest::Tau);
    file.angleUnit = static_cast<std::int64_t>(engine::AngleUnit::Dms);
    for (int kind = 1; kind <= 5; ++kind) {
        engine::ResultRecord r;
        r.value = 100.0 + kind;
        r.rank = 6 - kind;
        r.residual = 0.001 * kind;
        r.normalizedResidual = -0.5 * kind;
        r.reliability = 10.0 * kind;
        r.valid = kind == 3 ? 0 : 1;
        r.lineNumber = 20 + kind;
        r.fileNumber = kind % 2 + 1;
        r.kind = kind;
        r.station = kind % 3 + 1;
        r.target = (kind + 1) % 3 + 1;
        file.records.push_back(r);
    }
    const std::string bytes = engine::encodeResultFile(file);

    const FicResult read = readFicBytes(QByteArray(bytes.data(), int(bytes.size())), true);
    QCOMPARE(read.status, 0);
    QCOMPARE(read.calculationType, QStringLiteral("AJUSTEMENT"));
    QCOMPARE(read.observationCount, 5);
    QCOMPARE(read.unknownCount, 7);
    QCOMPARE(read.epochCount, 1);
    QCOMPARE(read.iterationCount, 3);
    QCOMPARE(read.varianceFactor, 1.125);
    QCOMPARE(read.chiSquareResult, workbenchOutcome);
    QCOMPARE(read.observationFiles, QStringList({"/r/a.iob", QString::fromUtf8("/r/côté.iob")}));
    QCOMPARE(read.logFile, QStringLiteral("/r/a.log"));
    QCOMPARE(read.pointNames, QStringList({"A", "B", "LONGNOMDEPT"}));
    QCOMPARE(read.auxiliaryValue, 12.5);
    QCOMPARE(read.validObservationCount, 4);
    QCOMPARE(read.testName, QStringLiteral("Tau"));
    QCOMPARE(read.angleUnit, QStringLiteral("DMS"));
    QCOMPARE(read.observations.size(), 5);
    for (const engine::ResultRecord &r : file.records) {
        const FicObservation &o = read.observations.at(int(r.rank - 1));
        const QByteArray at = "rank " + QByteArray::number(qint64(r.rank));
        QVERIFY2(o.rank == r.rank && o.epoch == r.epoch && o.value == r.value, at);
        QVERIFY2(o.residual == r.residual && o.normalizedResidual == r.normalizedResidual, at);
        QVERIFY2(o.reliability == r.reliability && o.valid == (r.valid == 1), at);
        QVERIFY2(o.lineNumber == r.lineNumber && o.fileNumber == r.fileNumber, at);
        QVERIFY2(o.typeLabel == QLatin1String(engine::observationCode(
                                    static_cast<engine::ObservationKind>(r.kind))),
                 at);
        QVERIFY2(o.station == QString::fromStdString(file.pointNames[std::size_t(r.station - 1)]),
                 at);
        QVERIFY2(o.target == QString::fromStdString(file.pointNames[std::size_t(r.target - 1)]),
                 at);
    }

    FicWriter writer;
    writer.status = file.status;
    writer.calculationCode = file.calculation;
    writer.unknownCount = file.unknownCount;
    writer.epochCount = file.epochCount;
    writer.iterationCount = file.iterationCount;
    writer.varianceFactor = file.varianceFactor;
    writer.chiSquareResult = file.chiSquare;
    writer.observationFiles = read.observationFiles;
    writer.logFile = read.logFile;
    writer.pointNames = read.pointNames;
    writer.auxiliaryValue = file.auxiliaryValue;
    writer.validObservationCount = file.validCount;
    writer.testCode = file.residualTest;
    writer.angleUnitCode = file.angleUnit;
    for (const engine::ResultRecord &r : file.records)
        writer.records.append({r.epoch, r.value, r.rank, r.residual, r.normalizedResidual,
                               r.reliability, r.valid, r.lineNumber, r.fileNumber, r.kind,
                               r.component, r.station, r.target});
    QCOMPARE(writer.bytes(), QByteArray(bytes.data(), int(bytes.size())));
}

void TestEngineContract::criticalValueReadFromTheReport_data()
{
    QTest::addColumn<QString>("confidence");
    QTest::addColumn<double>("quantile");
    // Upper quantiles of the standard normal law at (1 + c)/2, from published tables.
    QTest::newRow("95 %") << "0.95" << 1.959964;
    QTest::newRow("99 %") << "0.99" << 2.575829;
}

// The residual window draws the engine's critical value, which only the report holds.
void TestEngineContract::criticalValueReadFromTheReport()
{
    QFETCH(QString, confidence);
    QFETCH(double, quantile);
    const engine::ProcessOutput output = sampleRun(defaultsWith("TYPESIGMA0", "JAMAIS") +
                                                   "VALIDATION " + confidence.toStdString() + "\n");
    QCOMPARE(output.summary.status, 0);
    QCOMPARE(readFicBytes(QByteArray::fromStdString(output.result), false).testName,
             QStringLiteral("Normale"));
    QByteArray report = QByteArray::fromStdString(output.report);
    QBuffer buffer(&report);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const double value = reportedCriticalValue(buffer);
    QVERIFY2(std::abs(value - quantile) <= 5e-4, qPrintable(QString::number(value)));
}

QTEST_GUILESS_MAIN(TestEngineContract)
#include "tst_enginecontract.moc"
