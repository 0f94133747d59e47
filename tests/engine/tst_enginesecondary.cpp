// Secondary parameters (AUX): a distance constant, a scale and a coefficient of refraction planted
// in observations generated from true positions, apart from the engine's equations (in the local
// frame by plain vector sums, on the ellipsoid with GeographicLib's local Cartesian frame at each
// station), and recovered by the adjustment; the records' mistakes; the variance groups (GVCE)
// the network gathers.
#include "engine/api/process.h"
#include "engine/model/angles.h"
#include "enginetesthelpers.h"
#include "observationlines.h"

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/LocalCartesian.hpp>

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

using namespace observationlines;

namespace {

constexpr double kGon = kPi / 200.0;
// The planted biases of the instruments and of the atmosphere.
constexpr double kConstant = 0.007; // metres
constexpr double kScale = 25.0;     // ppm
constexpr double kRefraction = 0.13;
// The coefficient written on the zenith angles, which an estimated one replaces.
constexpr double kWrittenRefraction = 0.05;
constexpr double kTargetHeight = 1.7;
constexpr double kLatitude = 46.0; // degrees, of the grid's origin
constexpr double kLongitude = 7.0;
constexpr double kMetresPerDegree = 111200.0;

enum class Model { Local, Ellipsoidal };
// How the observations join the groups: their precision families list the group, or GRP records
// name it; or no AUX at all.
enum class Membership { Families, GroupRecords, None };

const GeographicLib::Geocentric &earth()
{
    static const GeographicLib::Geocentric grs80(6378137.0, 1.0 / 298.257222101);
    return grs80;
}

// A grid of 4 x 4 points about 600 m apart on rolling ground; the corners P0, P3 and P15 fixed.
constexpr int kSide = 4;
constexpr int kCount = kSide * kSide;

Eigen::Vector3d trueLocal(int p)
{
    const int row = p / kSide;
    const int column = p % kSide;
    return {600.0 * column + 37.0 * std::sin(1.3 * p), 600.0 * row + 29.0 * std::cos(0.7 * p),
            250.0 + 90.0 * std::sin(0.9 * p + 0.4) + 40.0 * row};
}

bool isFixed(int p)
{
    return p == 0 || p == kSide - 1 || p == kCount - 1;
}

// The ellipsoidal model's points: the grid laid on the ellipsoid by its east and north.
Eigen::Vector3d geographic(int p)
{
    const Eigen::Vector3d l = trueLocal(p);
    return {kLatitude + l.y() / kMetresPerDegree,
            kLongitude + l.x() / (kMetresPerDegree * std::cos(kLatitude * kPi / 180.0)), l.z()};
}

Eigen::Vector3d geocentric(int p)
{
    const Eigen::Vector3d g = geographic(p);
    Eigen::Vector3d xyz;
    earth().Forward(g.x(), g.y(), g.z(), xyz.x(), xyz.y(), xyz.z());
    return xyz;
}

std::string name(int p)
{
    return "P" + std::to_string(p);
}

double instrumentHeight(int station)
{
    return 1.45 + 0.03 * station;
}

std::string sigmWithGroups(const std::string &id, double constant, double ppm,
                           const std::string &groups)
{
    std::string line = sigm(id, constant, ppm, 0.0, 0.0);
    place(line, 66, 12, groups, false);
    return line;
}

// The sight from the instrument on `s` to the target on `t`: east, north, up in the station's
// horizon (the local frame itself in the local model).
Eigen::Vector3d sight(Model model, int s, int t)
{
    if (model == Model::Local)
        return trueLocal(t) + Eigen::Vector3d(0.0, 0.0, kTargetHeight) - trueLocal(s) -
               Eigen::Vector3d(0.0, 0.0, instrumentHeight(s));
    const Eigen::Vector3d from = geographic(s);
    const Eigen::Vector3d to = geographic(t);
    const GeographicLib::LocalCartesian horizon(from.x(), from.y(), from.z(), earth());
    Eigen::Vector3d enu;
    horizon.Forward(to.x(), to.y(), to.z() + kTargetHeight, enu.x(), enu.y(), enu.z());
    enu.z() -= instrumentHeight(s);
    return enu;
}

// Every station sights the points within 1.9 km: a direction, a distance lengthened by the
// constant and the scale, a zenith angle bent by the planted refraction. Error free.
std::vector<std::string> network(Model model, Membership membership)
{
    std::vector<std::string> lines;
    const bool families = membership == Membership::Families;
    lines.push_back(sigmWithGroups("D", 0.001, 1.0, families ? "G1" : ""));
    lines.push_back(sigmWithGroups("Z", 3.0, 0.0, families ? "G1" : ""));
    if (families) {
        lines.push_back(aux("ALL", "G1", {"CONS", "SCAL", "REFR"}));
    } else if (membership == Membership::GroupRecords) {
        lines.push_back(aux("DIS", "GD", {"SCAL", "", "CONS"}));
        lines.push_back(aux("ZAN", "GZ", {"REFR"}));
    }
    for (int p = 0; p < kCount; ++p) {
        const std::string fixity = isFixed(p) ? "111" : "000";
        // Free points start some decimetres away from the truth.
        const Eigen::Vector3d astray =
            isFixed(p) ? Eigen::Vector3d::Zero()
                       : Eigen::Vector3d(0.3 * std::sin(p), 0.4 * std::cos(p), 0.2);
        if (model == Model::Local) {
            const Eigen::Vector3d l = trueLocal(p) + astray;
            lines.push_back(lenu(fixity, name(p), l.x(), l.y(), l.z()));
        } else {
            const Eigen::Vector3d x = geocentric(p) + astray;
            std::string line = lenu(fixity, name(p), x.x(), x.y(), x.z());
            line.replace(1, 4, "XYZ ");
            lines.push_back(line);
        }
        lines.push_back(height("HT", name(p), kTargetHeight));
        lines.push_back(height("HI", name(p), instrumentHeight(p)));
    }
    std::vector<std::string> distances;
    std::vector<std::string> zeniths;
    for (int s = 0; s < kCount; ++s) {
        lines.push_back(record("DSET"));
        const double orientation = (23.0 + 41.0 * s) * kGon;
        for (int t = 0; t < kCount; ++t) {
            if (t == s || (trueLocal(t) - trueLocal(s)).head<2>().norm() > 1900.0)
                continue;
            const Eigen::Vector3d d = sight(model, s, t);
            const double h = d.head<2>().norm();
            const double slope = d.norm();
            lines.push_back(
                angle("DIR", "", name(s), name(t),
                      grades(engine::normalizeAngle(std::atan2(d.x(), d.y()) - orientation)), "3"));
            distances.push_back(
                dist("D", name(s), name(t), slope * (1.0 + kScale * 1e-6) + kConstant, ""));
            const double zenith =
                std::atan2(h, d.z()) - kRefraction * h / (2.0 * engine::kEarthRadius);
            zeniths.push_back(angle("ZANG", "Z", name(s), name(t), grades(zenith), "",
                                    number(kWrittenRefraction, 2)));
        }
    }
    if (membership == Membership::GroupRecords)
        lines.push_back(groupRecord("GD"));
    lines.insert(lines.end(), distances.begin(), distances.end());
    if (membership == Membership::GroupRecords)
        lines.push_back(groupRecord("GZ"));
    lines.insert(lines.end(), zeniths.begin(), zeniths.end());
    return lines;
}

engine::Options options(Model model)
{
    engine::Options o;
    o.model = model == Model::Local ? engine::ModelType::Local3D : engine::ModelType::Ellipsoidal3D;
    o.maxIterations = 20;
    return o;
}

// The statistics of the secondary parameter of `type`.
const engine::SecondaryStatistics *parameter(const EngineRun &run, engine::SecondaryType type)
{
    for (std::size_t k = 0; k < run.network.secondaryParameters.size(); ++k) {
        if (run.network.secondaryParameters[k].type == type)
            return &run.statistics.secondary[k];
    }
    return nullptr;
}

// A small valid local network for the bad inputs: its lines come after the record under test.
std::vector<std::string> smallNetwork()
{
    return {sigm("D", 0.001, 1.0, 0.0, 0.0),
            sigmWithGroups("Z", 3.0, 0.0, ""),
            lenu("111", "A", 0.0, 0.0, 100.0),
            lenu("111", "B", 500.0, 0.0, 110.0),
            lenu("000", "C", 200.0, 400.0, 120.0),
            dist("D", "A", "C", 447.3, ""),
            dist("D", "B", "C", 500.1, ""),
            angle("ZANG", "Z", "A", "C", "97 15 00.0000"),
            angle("ZANG", "Z", "B", "C", "98 72 00.0000")};
}

} // namespace

Q_DECLARE_METATYPE(Model)
Q_DECLARE_METATYPE(Membership)
Q_DECLARE_METATYPE(std::vector<std::string>)
Q_DECLARE_METATYPE(std::vector<int>)

class TestEngineSecondary : public QObject
{
    Q_OBJECT

private slots:
    void plantedParametersAreRecovered_data();
    void plantedParametersAreRecovered();
    void badRecords_data();
    void badRecords();
    void varianceGroupsGatherTheirObservations_data();
    void varianceGroupsGatherTheirObservations();
    void reportSectionFollowsLogSolaux_data();
    void reportSectionFollowsLogSolaux();
};

void TestEngineSecondary::plantedParametersAreRecovered_data()
{
    QTest::addColumn<Model>("model");
    QTest::addColumn<Membership>("membership");
    QTest::newRow("local, families") << Model::Local << Membership::Families;
    QTest::newRow("local, GRP") << Model::Local << Membership::GroupRecords;
    QTest::newRow("local, no AUX") << Model::Local << Membership::None;
    QTest::newRow("ellipsoidal, families") << Model::Ellipsoidal << Membership::Families;
    QTest::newRow("ellipsoidal, GRP") << Model::Ellipsoidal << Membership::GroupRecords;
    QTest::newRow("ellipsoidal, no AUX") << Model::Ellipsoidal << Membership::None;
}

void TestEngineSecondary::plantedParametersAreRecovered()
{
    QFETCH(Model, model);
    QFETCH(Membership, membership);
    const auto run = runEngine(network(model, membership), options(model));
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
    const engine::Statistics &st = run->statistics;
    // The redundancy numbers count the extra columns: they add up to n - u.
    QVERIFY(std::fabs(st.rawRedundancySum - st.degreesOfFreedom) < 1e-6 * st.observations);

    if (membership == Membership::None) {
        // Unmodelled, the biases stay in the residuals: every distance is read 7 mm and 25 ppm
        // too long, which the fixed corners keep the network from absorbing.
        QVERIFY(run->network.secondaryParameters.empty());
        double sum = 0.0;
        int count = 0;
        for (std::size_t i = 0; i < run->network.observations.size(); ++i) {
            if (run->network.observations[i].kind == engine::ObservationKind::Distance) {
                sum += st.perObservation[i].residual;
                ++count;
            }
        }
        QVERIFY2(sum / count < -0.5 * kConstant, std::to_string(sum / count).c_str());
        QCOMPARE(st.chiSquare, engine::ChiSquareOutcome::Failed);
        return;
    }

    QCOMPARE(st.unknowns, 3 * (kCount - 3) + kCount + 3);
    const engine::SecondaryStatistics *constant = parameter(*run, engine::SecondaryType::Constant);
    const engine::SecondaryStatistics *scale = parameter(*run, engine::SecondaryType::Scale);
    const engine::SecondaryStatistics *refraction =
        parameter(*run, engine::SecondaryType::Refraction);
    QVERIFY(constant && scale && refraction);
    QVERIFY2(std::fabs(constant->value - kConstant) < 1e-5,
             std::to_string(constant->value).c_str());
    QVERIFY2(std::fabs(scale->value - kScale) < 0.01, std::to_string(scale->value).c_str());
    QVERIFY2(std::fabs(refraction->value - kRefraction) < 0.001,
             std::to_string(refraction->value).c_str());
    for (const engine::SecondaryStatistics *p : {constant, scale, refraction}) {
        QVERIFY(p->sigma > 0.0);
        QVERIFY(p->significant);
    }
    for (int p = 0; p < kCount; ++p) {
        const Eigen::Vector3d truth = model == Model::Local ? trueLocal(p) : geocentric(p);
        const double off = (run->adjusted(name(p)) - truth).norm();
        QVERIFY2(off < 1e-4, (name(p) + " " + std::to_string(off)).c_str());
    }
    // Error free, the observations fit exactly once the biases are modelled.
    QVERIFY2(st.varianceFactor < 1e-4, std::to_string(st.varianceFactor).c_str());
}

void TestEngineSecondary::badRecords_data()
{
    QTest::addColumn<std::vector<std::string>>("records");
    QTest::addColumn<int>("line"); // 1-based, of the error
    QTest::addColumn<QString>("text");

    const std::vector<std::string> good = {aux("ALL", "G1", {"CONS", "SCAL", "REFR", "GVCE"})};
    QTest::newRow("refraction of distances")
        << std::vector<std::string>{aux("DIS", "G1", {"CONS", "REFR"})} << 1
        << "REFR ne s'applique pas";
    QTest::newRow("constant of zenith angles")
        << std::vector<std::string>{aux("ZAN", "G1", {"REFR", "", "CONS"})} << 1
        << "CONS ne s'applique pas";
    QTest::newRow("scale of zenith angles")
        << std::vector<std::string>{aux("ZAN", "G1", {"SCAL"})} << 1 << "SCAL ne s'applique pas";
    QTest::newRow("repeated type")
        << std::vector<std::string>{aux("ALL", "G1", {"CONS", "SCAL", "CONS"})} << 1
        << "CONS est r";
    QTest::newRow("unknown type") << std::vector<std::string>{aux("ALL", "G1", {"CONS", "PPM"})}
                                  << 1 << "PPM";
    QTest::newRow("unknown observation type")
        << std::vector<std::string>{aux("DST", "G1", {"CONS"})} << 1 << "DST";
    QTest::newRow("no name") << std::vector<std::string>{aux("ALL", "", {"CONS"})} << 1
                             << "sans nom";
    QTest::newRow("comma in the name")
        << std::vector<std::string>{aux("ALL", "G1,G2", {"CONS"})} << 1 << "virgule";
    QTest::newRow("repeated group")
        << std::vector<std::string>{good[0], aux("DIS", "G1", {"SCAL"})} << 2 << "déjà défini";
    QTest::newRow("unknown group of a family")
        << std::vector<std::string>{good[0], sigmWithGroups("X", 0.001, 0.0, "G1 G9")} << 2
        << "inconnu « G9";
    // An observation joined to two variance groups, by its family and by its GRP.
    QTest::newRow("two variance groups")
        << std::vector<std::string>{aux("ALL", "V1", {"GVCE"}), aux("DIS", "V2", {"GVCE"}),
                                    sigmWithGroups("E", 0.001, 0.0, "V1"), groupRecord("V2"),
                                    dist("E", "A", "B", 500.1, "")}
        << 5 << "deux groupes de variance";
    QTest::newRow("two refraction coefficients")
        << std::vector<std::string>{aux("ZAN", "R1", {"REFR"}), aux("ALL", "R2", {"REFR"}),
                                    sigmWithGroups("Y", 3.0, 0.0, "R1,R2"),
                                    angle("ZANG", "Y", "A", "B", "98 72 00.0000")}
        << 4 << "deux coefficients";
}

void TestEngineSecondary::badRecords()
{
    QFETCH(std::vector<std::string>, records);
    QFETCH(int, line);
    QFETCH(QString, text);
    std::vector<std::string> lines = records;
    for (const std::string &l : smallNetwork())
        lines.push_back(l);
    const auto run = runEngine(lines);
    QVERIFY(run->diagnostics.hasErrors());
    bool found = false;
    for (const auto &d : run->diagnostics.items()) {
        if (d.severity == engine::Diagnostic::Severity::Error && d.line == line &&
            QString::fromLatin1(d.text.c_str()).contains(text))
            found = true;
    }
    QVERIFY2(found, diagnosticsText(run->diagnostics).c_str());
}

void TestEngineSecondary::varianceGroupsGatherTheirObservations_data()
{
    QTest::addColumn<std::vector<std::string>>("records");
    QTest::addColumn<std::vector<int>>("members"); // 1-based lines of the group's observations

    // Lines 1 and 2 are the families D and Z of the small network, lines 3 to 5 its points.
    const std::vector<std::string> network = smallNetwork();
    QTest::newRow("distances of a family")
        << std::vector<std::string>{sigmWithGroups("D", 0.001, 1.0, "V"),
                                    network[1],
                                    network[2],
                                    network[3],
                                    network[4],
                                    aux("DIS", "V", {"GVCE"}),
                                    network[5],
                                    network[6],
                                    network[7],
                                    network[8]}
        << std::vector<int>{7, 8};
    QTest::newRow("all after a GRP")
        << std::vector<std::string>{network[0], network[1],       network[2],
                                    network[3], network[4],       aux("ALL", "V", {"GVCE"}),
                                    network[5], groupRecord("V"), network[6],
                                    network[7], network[8]}
        << std::vector<int>{9, 10, 11};
    QTest::newRow("zenith angles of a GRP")
        << std::vector<std::string>{network[0], network[1],       network[2],
                                    network[3], network[4],       aux("ZAN", "V", {"GVCE"}),
                                    network[5], groupRecord("V"), network[6],
                                    network[7], network[8]}
        << std::vector<int>{10, 11};
}

void TestEngineSecondary::varianceGroupsGatherTheirObservations()
{
    QFETCH(std::vector<std::string>, records);
    QFETCH(std::vector<int>, members);
    const auto run = runEngine(records);
    QVERIFY2(!run->diagnostics.hasErrors(), diagnosticsText(run->diagnostics).c_str());
    const engine::Network &n = run->network;
    QCOMPARE(n.varianceGroups.size(), std::size_t(1));
    QCOMPARE(n.varianceGroups[0].name, std::string("V"));
    std::vector<int> lines;
    for (int i : n.varianceGroups[0].observations) {
        lines.push_back(n.observations[static_cast<std::size_t>(i)].lineNumber);
        QCOMPARE(n.observations[static_cast<std::size_t>(i)].varianceGroup, 0);
    }
    QCOMPARE(lines, members);
    // A variance group adds no unknown.
    QVERIFY(n.secondaryParameters.empty());
}

void TestEngineSecondary::reportSectionFollowsLogSolaux_data()
{
    QTest::addColumn<QString>("flag");
    QTest::addColumn<bool>("printed");
    QTest::newRow("default") << QString() << true;
    QTest::newRow("OUI") << "OUI" << true;
    QTest::newRow("NON") << "NON" << false;
}

void TestEngineSecondary::reportSectionFollowsLogSolaux()
{
    QFETCH(QString, flag);
    QFETCH(bool, printed);
    const std::string iob = engine::normalizedPath("aux.iob");
    const std::string cfg = engine::normalizedPath("aux.cfg");
    std::string configuration = engine::defaultConfigurationText("\n");
    if (!flag.isEmpty())
        configuration += "LOG_SOLAUX " + flag.toStdString() + "\n";
    const engine::ProcessOutput out = engine::runProcessing(
        iob, cfg,
        memoryLoader(
            {{iob, joinLines(network(Model::Local, Membership::Families))}, {cfg, configuration}}));
    QCOMPARE(out.summary.status, 0);
    const QString report = QString::fromLatin1(out.report.c_str());
    const int heading = report.indexOf("PARAMETRES SECONDAIRES : GROUPES AUX");
    QCOMPARE(heading >= 0, printed);
    if (!printed)
        return;
    // One row per parameter, each significant, its value that planted: 7 mm, 25 ppm, 0.13.
    const QStringList lines = report.mid(heading).split('\n');
    for (const auto &[type, truth, tolerance] :
         {std::tuple<QString, double, double>{"CONS", 7.0, 0.001},
          std::tuple<QString, double, double>{"SCAL", kScale, 0.01},
          std::tuple<QString, double, double>{"REFR", kRefraction, 0.001}}) {
        const auto row = std::find_if(lines.begin(), lines.end(), [&](const QString &line) {
            return line.simplified().startsWith("G1 " + type + " ");
        });
        QVERIFY2(row != lines.end(), qPrintable(type));
        const QStringList words = row->simplified().split(' ');
        QVERIFY2(std::fabs(words.at(2).toDouble() - truth) < tolerance, qPrintable(*row));
        QVERIFY2(words.contains("OUI"), qPrintable(*row));
    }
}

QTEST_APPLESS_MAIN(TestEngineSecondary)
#include "tst_enginesecondary.moc"
