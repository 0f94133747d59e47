// Multi-epoch analysis: monitoring networks observed three times, generated here from true
// coordinates with noise drawn in the test, two points moved between the epochs; the
// displacements against the true shifts, their independence of the stable points chosen, and the
// localisation of the moved points by the congruence test.
#include "engine/api/process.h"
#include "engine/base/text.h"
#include "engine/estimation/congruence.h"
#include "engine/estimation/distributions.h"
#include "engine/output/drawingfile.h"
#include "engine/output/report.h"
#include "enginetesthelpers.h"
#include "ficreader.h"
#include "observationlines.h"

#include <Eigen/Dense>
#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/LocalCartesian.hpp>
#include <QtTest>

#include <cmath>
#include <numeric>
#include <random>
#include <set>

using namespace observationlines;

namespace {

constexpr double kGonToRad = kPi / 200.0;

struct Mark
{
    std::string name;
    Eigen::Vector3d at;
};

// Four reference marks around a slope and four marks on it, some 300 m across.
std::vector<Mark> monitoringMarks()
{
    return {{"R1", {1000.0, 2000.0, 100.0}}, {"R2", {1310.0, 1985.0, 104.2}},
            {"R3", {1295.0, 2290.0, 121.7}}, {"R4", {990.0, 2305.0, 112.3}},
            {"P1", {1110.0, 2120.0, 108.4}}, {"P2", {1200.0, 2110.0, 111.9}},
            {"P3", {1190.0, 2200.0, 115.0}}, {"P4", {1100.0, 2190.0, 110.6}}};
}

struct Precision
{
    double distance;  // metres
    double direction; // decimilligrades
};

// Direction sets, distances and zenith angles between every pair of `marks`, with errors drawn
// from their standard deviations when `noise` holds a generator; the records declare these
// standard deviations times `declared`.
std::vector<std::string> epochLines(const std::vector<Mark> &marks, const Precision &precision,
                                    std::mt19937 *noise, double declared = 1.0)
{
    std::normal_distribution<double> normal;
    const auto error = [&](double sigma) { return noise ? sigma * normal(*noise) : 0.0; };
    const double angleSigma = precision.direction * 1e-4 * kGonToRad;
    const std::string angleText = number(declared * precision.direction, 1);
    std::vector<std::string> lines;
    for (const Mark &from : marks) {
        lines.push_back(record("DSET"));
        for (const Mark &to : marks) {
            if (&from == &to)
                continue;
            const Eigen::Vector3d d = to.at - from.at;
            lines.push_back(angle("DIR", "", from.name, to.name,
                                  grades(std::atan2(d.x(), d.y()) + error(angleSigma)), angleText));
            lines.push_back(dist("", from.name, to.name, d.norm() + error(precision.distance),
                                 number(declared * precision.distance, 4)));
            lines.push_back(angle("ZANG", "", from.name, to.name,
                                  grades(std::atan2(d.head<2>().norm(), d.z()) + error(angleSigma)),
                                  angleText));
        }
    }
    return lines;
}

// The observation file of three epochs: the coordinates first (shared), each mark flagged as
// `flags` says, then the epochs, the marks of `shifts` moved by them from the second epoch on.
std::string monitoringFile(const std::map<std::string, std::string> &flags,
                           const std::map<std::string, Eigen::Vector3d> &shifts,
                           const Precision &precision, std::mt19937 *noise, double declared = 1.0)
{
    std::vector<std::string> lines;
    const std::vector<Mark> marks = monitoringMarks();
    for (const Mark &m : marks) {
        const auto f = flags.find(m.name);
        // A few centimetres astray, so that the iterations have work.
        lines.push_back(lenu(f == flags.end() ? "000" : f->second, m.name, m.at.x() + 0.021,
                             m.at.y() - 0.017, m.at.z() + 0.012));
    }
    for (int epoch = 1; epoch <= 3; ++epoch) {
        std::string line = record("EPOC");
        place(line, 7, 40, "Campagne " + std::to_string(epoch), false);
        lines.push_back(line);
        std::vector<Mark> moved = marks;
        for (Mark &m : moved) {
            const auto s = shifts.find(m.name);
            if (epoch > 1 && s != shifts.end())
                m.at += s->second;
        }
        const auto observed = epochLines(moved, precision, noise, declared);
        lines.insert(lines.end(), observed.begin(), observed.end());
    }
    return joinLines(lines);
}

int count(const std::string &text, const std::string &fragment)
{
    int n = 0;
    for (std::size_t at = text.find(fragment); at != std::string::npos;
         at = text.find(fragment, at + 1))
        ++n;
    return n;
}

std::string withKey(std::string text, const std::string &key, const std::string &value)
{
    const std::string padded = key + std::string(11 - key.size(), ' ');
    const std::size_t at = text.find("\n" + padded);
    const std::size_t end = text.find('\n', at + 1);
    return text.replace(at + 1, end - at - 1, padded + value);
}

std::string monitoringConfiguration(const std::string &freeNetwork, bool congruence)
{
    std::string text = engine::defaultConfigurationText("\n");
    text = withKey(text, "TYPEMODEL", "3D_LOCALE");
    text = withKey(text, "FREENET", freeNetwork);
    text = withKey(text, "TYPESIGMA0", "JAMAIS");
    text = withKey(text, "NBMAXITER", "20");
    text = withKey(text, "MEP_MODE", "OUI");
    text = withKey(text, "MEP_FROM0", "OUI");
    text = withKey(text, "MEP_DOCONF", "OUI");
    text = withKey(text, "MEP_DOFIAB", "OUI");
    text = withKey(text, "MEP_DOCONG", congruence ? "OUI" : "NON");
    text = withKey(text, "MEP_CSEUIL", "0.95");
    text = withKey(text, "MEP_CTYPE", "001");
    return text;
}

engine::ProcessOutput runMonitoring(const std::string &observations,
                                    const std::string &configuration)
{
    const std::string iob = engine::normalizedPath("monitoring.iob");
    const std::string cfg = engine::normalizedPath("monitoring.cfg");
    return engine::runProcessing(iob, cfg,
                                 memoryLoader({{iob, observations}, {cfg, configuration}}));
}

// The rows of the report's table of displacements between the first epoch and `to`: name, dE,
// dN, dU, sdE, sdN, sdU.
std::map<std::string, std::array<double, 6>> displacementTable(const std::string &report, int to)
{
    std::map<std::string, std::array<double, 6>> rows;
    const std::string heading =
        engine::fr("DEPLACEMENTS ENTRE LES EPOQUES 1 (Campagne 1) ET ") + std::to_string(to);
    std::size_t at = report.find(heading);
    if (at == std::string::npos)
        return rows;
    at = report.find("-----\n", at);
    std::istringstream in(report.substr(at + 6));
    std::string line;
    while (std::getline(in, line) && !line.empty()) {
        std::istringstream fields(line);
        std::string name;
        std::array<double, 6> v{};
        fields >> name;
        for (double &x : v)
            fields >> x;
        rows[name] = v;
    }
    return rows;
}

// The points the congruence test of epochs 1 and `to` (3D unless `dimension` says) declares moved.
std::set<std::string> movedPoints(const std::string &report, int to,
                                  const std::string &dimension = "3D (est, nord, up)")
{
    std::set<std::string> moved;
    const std::string heading = engine::fr("TEST DE CONGRUENCE ") + dimension +
                                engine::fr(", EPOQUES 1 ET ") + std::to_string(to);
    std::size_t at = report.find(heading);
    if (at == std::string::npos)
        return {"(pas de test)"};
    at = report.find(engine::fr("Point           h"), at);
    at = report.find("-----\n", at);
    std::istringstream in(report.substr(at + 6));
    std::string line;
    while (std::getline(in, line) && !line.empty()) {
        if (line.find(engine::fr("déplacé")) != std::string::npos) {
            std::istringstream fields(line);
            std::string name;
            fields >> name;
            moved.insert(name);
        }
    }
    return moved;
}

// The first value of the table that follows `heading` in each epoch's section, in the row of
// `name`, at field `field` (the name is field 0).
std::vector<double> valuesPerEpoch(const std::string &report, const std::string &heading,
                                   const std::string &name, int field)
{
    std::vector<double> values;
    for (std::size_t at = report.find(heading); at != std::string::npos;
         at = report.find(heading, at + 1)) {
        const std::size_t row = report.find("\n   " + name + " ", at);
        if (row == std::string::npos)
            break;
        std::istringstream fields(report.substr(row + 1, report.find('\n', row + 1) - row - 1));
        std::string text;
        for (int k = 0; k < field; ++k)
            fields >> text;
        double value = 0.0;
        fields >> value;
        values.push_back(value);
    }
    return values;
}

// The monitoring marks on the ellipsoid: their local coordinates taken as east, north and up
// about a point near Lausanne, placed by GeographicLib's local Cartesian frame on GRS80.
struct GeodeticMarks
{
    GeographicLib::Geocentric earth{6378137.0, 1.0 / 298.257222101};
    GeographicLib::LocalCartesian origin{46.5, 6.6, 400.0, earth};

    // The geocentric position of local (east, north, up) `at` moved by `shift` east, north and up
    // in the horizon of the mark.
    Eigen::Vector3d geocentric(const Eigen::Vector3d &at, const Eigen::Vector3d &shift) const
    {
        double latitude = 0.0, longitude = 0.0, height = 0.0;
        origin.Reverse(at.x() - 1000.0, at.y() - 2000.0, at.z(), latitude, longitude, height);
        const GeographicLib::LocalCartesian horizon(latitude, longitude, height, earth);
        Eigen::Vector3d xyz;
        double lat = 0.0, lon = 0.0, h = 0.0;
        horizon.Reverse(shift.x(), shift.y(), shift.z(), lat, lon, h);
        earth.Forward(lat, lon, h, xyz.x(), xyz.y(), xyz.z());
        return xyz;
    }

    // East, north and up of geocentric `to` in the horizon of geocentric `from`.
    Eigen::Vector3d horizonOf(const Eigen::Vector3d &from, const Eigen::Vector3d &to) const
    {
        double latitude = 0.0, longitude = 0.0, height = 0.0;
        earth.Reverse(from.x(), from.y(), from.z(), latitude, longitude, height);
        const GeographicLib::LocalCartesian horizon(latitude, longitude, height, earth);
        Eigen::Vector3d enu;
        double lat = 0.0, lon = 0.0, h = 0.0;
        earth.Reverse(to.x(), to.y(), to.z(), lat, lon, h);
        horizon.Forward(lat, lon, h, enu.x(), enu.y(), enu.z());
        return enu;
    }
};

// A congruence system drawn here: `points` marks scattered over 300 m, `width` components each
// (1 up, 2 east and north, 3 all), cofactors with correlations between all the marks and, with
// `free`, the datum motions of a free network (translations, and the rotation about the vertical
// in plan) projected out of them, as an inner-constraint datum leaves them. The marks of
// `shifted` move by `shift` metres on each component; the rest is noise drawn from the cofactors.
struct DrawnSystem
{
    Eigen::VectorXd d;
    Eigen::MatrixXd q;
    Eigen::MatrixXd g;
};

DrawnSystem drawnSystem(int points, int width, bool free, const std::set<int> &shifted,
                        double shift, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> place(0.0, 300.0);
    std::normal_distribution<double> normal;
    const int n = points * width;
    DrawnSystem s;
    s.g.resize(n, 0);
    if (free) {
        s.g = Eigen::MatrixXd::Zero(n, width == 1 ? 1 : width + 1);
        for (int p = 0; p < points; ++p) {
            const double east = place(random) - 150.0;
            const double north = place(random) - 150.0;
            for (int c = 0; c < width; ++c)
                s.g(p * width + c, c) = 1.0;
            if (width > 1) {
                s.g(p * width, width) = -north / 100.0;
                s.g(p * width + 1, width) = east / 100.0;
            }
        }
    }
    // 1 mm standard deviations, a fifth of the variance shared through a few common factors.
    Eigen::MatrixXd factors(n, 8);
    for (Eigen::Index i = 0; i < factors.size(); ++i)
        factors.data()[i] = normal(random);
    Eigen::MatrixXd q0 =
        0.8e-6 * Eigen::MatrixXd::Identity(n, n) + 0.2e-6 / 8.0 * factors * factors.transpose();
    Eigen::VectorXd d(n);
    for (Eigen::Index i = 0; i < n; ++i)
        d(i) = normal(random);
    d = Eigen::LLT<Eigen::MatrixXd>(q0).matrixL() * d;
    for (int p : shifted)
        d.segment(p * width, width).array() += shift;
    Eigen::MatrixXd projector = Eigen::MatrixXd::Identity(n, n);
    if (free)
        projector -= s.g * (s.g.transpose() * s.g).ldlt().solve(s.g.transpose());
    s.d = projector * d;
    s.q = projector * q0 * projector.transpose();
    return s;
}

// Omega and h over the marks `set` as the projection on the complement of the datum motions of
// that very set gives them: a form of its own for every subset.
std::pair<double, int> subsetForm(const DrawnSystem &s, int width, const std::vector<int> &set)
{
    std::vector<Eigen::Index> rows;
    for (int p : set)
        for (int c = 0; c < width; ++c)
            rows.push_back(p * width + c);
    const auto k = static_cast<Eigen::Index>(rows.size());
    Eigen::MatrixXd q(k, k);
    Eigen::MatrixXd g(k, s.g.cols());
    Eigen::VectorXd d(k);
    for (Eigen::Index i = 0; i < k; ++i) {
        d(i) = s.d(rows[i]);
        g.row(i) = s.g.row(rows[i]);
        for (Eigen::Index j = 0; j < k; ++j)
            q(i, j) = s.q(rows[i], rows[j]);
    }
    Eigen::Index rank = 0;
    if (g.cols() > 0) {
        Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(g);
        qr.setThreshold(1e-10);
        rank = qr.rank();
        d = qr.householderQ().adjoint() * d;
        q = qr.householderQ().adjoint() * q;
        q = q * qr.householderQ();
    }
    const Eigen::Index h = k - rank;
    const Eigen::VectorXd y = d.tail(h);
    return {y.dot(q.bottomRightCorner(h, h).ldlt().solve(y)), static_cast<int>(h)};
}

std::vector<int> without(std::vector<int> set, int p)
{
    set.erase(std::find(set.begin(), set.end(), p));
    return set;
}
} // namespace

Q_DECLARE_METATYPE(std::set<int>)

class TestEngineEpochs : public QObject
{
    Q_OBJECT

private slots:
    void epochRecordNeedsTheMultiEpochMode();
    void sharedObservationsAreRefused();
    void displacementsDoNotDependOnTheStablePoints_data();
    void displacementsDoNotDependOnTheStablePoints();
    void congruenceFindsThePointsBeyondTheirDetectableShift_data();
    void congruenceFindsThePointsBeyondTheirDetectableShift();
    void resultAndDrawingHoldEveryEpoch();
    void reportOpensAndClosesOnce();
    void stableNetworksRaiseFewAlarms();
    void eachEpochHasItsOwnEstimation_data();
    void eachEpochHasItsOwnEstimation();
    void epochsOfTheEllipsoidalModel();
    void fisherQuantileMatchesStudent();
    void localisationMatchesTheSubsetForms_data();
    void localisationMatchesTheSubsetForms();
    void largeLevellingNetworkIsLocalised();
};

void TestEngineEpochs::epochRecordNeedsTheMultiEpochMode()
{
    const std::string file =
        monitoringFile({{"R1", "111"}, {"R2", "111"}, {"R3", "001"}}, {}, {0.001, 3.0}, nullptr);
    std::string configuration = monitoringConfiguration("NON", false);
    const engine::ProcessOutput output =
        runMonitoring(file, withKey(configuration, "MEP_MODE", "NON"));
    QCOMPARE(output.summary.status, 1);
    QVERIFY(output.report.find(engine::fr("EPOC n'est traité qu'avec l'analyse multi époques")) !=
            std::string::npos);
}

void TestEngineEpochs::sharedObservationsAreRefused()
{
    std::string file =
        monitoringFile({{"R1", "111"}, {"R2", "111"}, {"R3", "001"}}, {}, {0.001, 3.0}, nullptr);
    const std::string stray = dist("", "R1", "P1", 150.0, "0.001") + "\n";
    file.insert(file.find(" EPOC"), stray);
    const engine::ProcessOutput output = runMonitoring(file, monitoringConfiguration("NON", false));
    QCOMPARE(output.summary.status, 1);
    QVERIFY(output.report.find(engine::fr("Observation avant le premier EPOC")) !=
            std::string::npos);
}

void TestEngineEpochs::displacementsDoNotDependOnTheStablePoints_data()
{
    QTest::addColumn<QString>("freeNetwork");
    QTest::addColumn<QStringList>("base");
    QTest::addColumn<bool>("congruence");
    QTest::newRow("fixed reference marks") << "NON" << QStringList{"R1", "R2", "R3", "R4"} << false;
    QTest::newRow("base on the reference marks")
        << "BASESEL" << QStringList{"R1", "R2", "R3", "R4"} << false;
    QTest::newRow("base on stable marks of both kinds")
        << "BASESEL" << QStringList{"R1", "R3", "P1", "P3"} << false;
    // The tests find P2 and P4 moved; the displacements are then taken onto the others.
    QTest::newRow("base holding moved marks, after the tests")
        << "BASESEL" << QStringList{"R1", "P2", "P3", "P4"} << true;
}

// Without noise every stable mark keeps its place and each moved one moves by its shift exactly,
// whatever stable marks hold the datum, or once the tests have found the marks that moved.
void TestEngineEpochs::displacementsDoNotDependOnTheStablePoints()
{
    QFETCH(QString, freeNetwork);
    QFETCH(QStringList, base);
    QFETCH(bool, congruence);
    const std::map<std::string, Eigen::Vector3d> shifts = {{"P2", {0.004, -0.003, 0.0}},
                                                           {"P4", {0.0, 0.012, -0.016}}};
    std::map<std::string, std::string> flags;
    for (const QString &name : base)
        flags[name.toStdString()] = freeNetwork == "NON" ? "111" : "222";
    const engine::ProcessOutput output =
        runMonitoring(monitoringFile(flags, shifts, {0.001, 3.0}, nullptr),
                      monitoringConfiguration(freeNetwork.toStdString(), congruence));
    QVERIFY2(output.summary.status == 0, output.report.c_str());
    for (int to = 2; to <= 3; ++to) {
        if (congruence)
            QCOMPARE(movedPoints(output.report, to), (std::set<std::string>{"P2", "P4"}));
        QCOMPARE(count(output.report,
                       engine::fr("Rapportés par transformation S aux points stables du test 3D")),
                 congruence ? 2 : 0);
        const auto rows = displacementTable(output.report, to);
        for (const Mark &m : monitoringMarks()) {
            if (freeNetwork == "NON" && flags.count(m.name))
                continue;
            QVERIFY2(rows.count(m.name), m.name.c_str());
            const auto s = shifts.find(m.name);
            const Eigen::Vector3d truth = s == shifts.end() ? Eigen::Vector3d::Zero() : s->second;
            for (int k = 0; k < 3; ++k)
                QVERIFY2(std::fabs(rows.at(m.name)[static_cast<std::size_t>(k)] - truth(k)) < 2e-5,
                         (m.name + " " + std::to_string(k)).c_str());
        }
    }
}

void TestEngineEpochs::congruenceFindsThePointsBeyondTheirDetectableShift_data()
{
    QTest::addColumn<double>("distanceSigma");
    QTest::addColumn<double>("directionSigma");
    QTest::addColumn<unsigned>("seed");
    QTest::addColumn<QString>("freeNetwork");
    // Precise: both shifts exceed the detectable one. Coarse: only the 2 cm shift does.
    QTest::newRow("precise, fixed references") << 0.0005 << 1.5 << 11u << "NON";
    QTest::newRow("precise, free base") << 0.0005 << 1.5 << 12u << "BASESEL";
    QTest::newRow("coarse, fixed references") << 0.0064 << 32.0 << 13u << "NON";
    QTest::newRow("coarse, free base") << 0.0064 << 32.0 << 15u << "BASESEL";
}

// The minimal detectable displacement of a mark along its shift u, for the 3D test at 95 % with a
// power of 80 %: sqrt(lambda / (u' Cd^-1 u)), lambda the non-centrality of the chi-square law of
// 3 degrees of freedom that reaches the critical value with that power (12.65, from its tables).
void TestEngineEpochs::congruenceFindsThePointsBeyondTheirDetectableShift()
{
    QFETCH(double, distanceSigma);
    QFETCH(double, directionSigma);
    QFETCH(unsigned, seed);
    QFETCH(QString, freeNetwork);
    const std::map<std::string, Eigen::Vector3d> shifts = {{"P2", {0.003, 0.004, 0.0}},
                                                           {"P4", {0.0, 0.012, -0.016}}};
    const std::string flag = freeNetwork == "NON" ? "111" : "222";
    std::mt19937 noise(seed);
    const engine::ProcessOutput output =
        runMonitoring(monitoringFile({{"R1", flag}, {"R2", flag}, {"R3", flag}, {"R4", flag}},
                                     shifts, {distanceSigma, directionSigma}, &noise),
                      monitoringConfiguration(freeNetwork.toStdString(), true));
    QVERIFY2(output.summary.status == 0, output.report.c_str());
    const double lambda = 12.65;
    for (int to = 2; to <= 3; ++to) {
        const auto rows = displacementTable(output.report, to);
        std::set<std::string> expected;
        for (const auto &[name, shift] : shifts) {
            // The standard deviations along the axes bound the one along the shift.
            const auto &row = rows.at(name);
            const double sigma =
                std::sqrt(std::pow(row[3] * shift.x(), 2) + std::pow(row[4] * shift.y(), 2) +
                          std::pow(row[5] * shift.z(), 2)) /
                shift.norm();
            const double detectable = std::sqrt(lambda) * sigma;
            // The rows are chosen well away from the limit, where the test decides surely.
            QVERIFY2(shift.norm() > 1.5 * detectable || shift.norm() < detectable / 1.5,
                     (name + " " + std::to_string(detectable)).c_str());
            if (shift.norm() > detectable)
                expected.insert(name);
        }
        const std::set<std::string> found = movedPoints(output.report, to);
        std::string shown;
        for (const std::string &name : found)
            shown += name + " ";
        QVERIFY2(found == expected, ("found " + shown).c_str());
    }
}

// The result file holds the observations of the three epochs, each with its epoch, ranked
// together; the drawing the three epochs and, per comparison, the regions between epochs of
// every point.
void TestEngineEpochs::resultAndDrawingHoldEveryEpoch()
{
    std::mt19937 noise(7);
    const engine::ProcessOutput output =
        runMonitoring(monitoringFile({{"R1", "222"}, {"R2", "222"}, {"R3", "222"}, {"R4", "222"}},
                                     {{"P2", {0.004, -0.003, 0.0}}}, {0.001, 3.0}, &noise),
                      monitoringConfiguration("BASESEL", false));
    QCOMPARE(output.summary.status, 0);
    const int perEpoch = 8 * 7 * 3;
    const FicResult fic = readFicBytes(QByteArray::fromStdString(output.result), true);
    QCOMPARE(fic.epochCount, 3);
    QCOMPARE(fic.epochNames, (QStringList{"Campagne 1", "Campagne 2", "Campagne 3"}));
    QCOMPARE(fic.observationCount, 3 * perEpoch);
    QCOMPARE(fic.observations.size(), 3 * perEpoch);
    QCOMPARE(fic.pointNames.size(), 8);
    int counts[3] = {0, 0, 0};
    for (int r = 0; r < fic.observations.size(); ++r) {
        const FicObservation &o = fic.observations[r];
        QCOMPARE(o.rank, r + 1);
        QVERIFY(o.epoch >= 1 && o.epoch <= 3);
        ++counts[o.epoch - 1];
        if (r > 0)
            QVERIFY(std::fabs(o.normalizedResidual) <=
                    std::fabs(fic.observations[r - 1].normalizedResidual));
        // Each rank is the key of one residual in the report.
        QCOMPARE(count(output.report, engine::residualKey(o.rank) + "  "), 1);
    }
    for (int c : counts)
        QCOMPARE(c, perEpoch);
    QVERIFY(output.drawing);
    const engine::DrawingFile &drawing = *output.drawing;
    QCOMPARE(drawing.epochCount, std::int64_t(3));
    QCOMPARE(drawing.names.size(), std::size_t(8));
    QCOMPARE(drawing.epochEllipses.size(), std::size_t(16));
    QCOMPARE(drawing.epochRectangles.size(), std::size_t(16));
    for (const engine::DrawingRegion &r : drawing.epochEllipses) {
        QVERIFY(r.epoch == 2 || r.epoch == 3);
        QCOMPARE(r.point2, r.point1);
        QVERIFY(r.shape.semiAxis1 > 0.0 && r.shape.semiAxis1 < 0.01);
    }
}

// The report's opening and closing line stand once, around a section per epoch titled with its
// name, and the comparisons after the last epoch.
void TestEngineEpochs::reportOpensAndClosesOnce()
{
    const engine::ProcessOutput output =
        runMonitoring(monitoringFile({{"R1", "222"}, {"R2", "222"}, {"R3", "222"}, {"R4", "222"}},
                                     {}, {0.001, 3.0}, nullptr),
                      monitoringConfiguration("BASESEL", true));
    QCOMPARE(output.summary.status, 0);
    const std::string &report = output.report;
    for (const char *once : {"TAVLO - RAPPORT DE CALCUL", "OPTIONS DU CALCUL", "TRAITEMENT TERMINE",
                             "ANALYSE MULTI EPOQUES"})
        QCOMPARE(count(report, engine::fr(once)), 1);
    QCOMPARE(count(report, "STATISTIQUES"), 3);
    std::size_t at = report.find(engine::fr("ANALYSE MULTI EPOQUES"));
    for (const std::string next :
         {"EPOQUE 1 : Campagne 1", "STATISTIQUES", "EPOQUE 2 : Campagne 2", "STATISTIQUES",
          "EPOQUE 3 : Campagne 3", "STATISTIQUES", "DEPLACEMENTS ENTRE LES EPOQUES 1",
          "TEST DE CONGRUENCE", "TRAITEMENT TERMINE"}) {
        const std::size_t found = report.find(engine::fr(next), at + 1);
        QVERIFY2(found != std::string::npos, next.c_str());
        at = found;
    }
    QVERIFY(report.find(engine::fr("TAVLO - RAPPORT DE CALCUL")) <
            report.find(engine::fr("ANALYSE MULTI EPOQUES")));
}

// Without any shift the global test of two epochs fails at its risk, 5 %: of 200 runs of two
// comparisons each, the count of comparisons that flag a point follows the binomial law of 400
// and 0.05 (mean 20, standard deviation 4.4).
void TestEngineEpochs::stableNetworksRaiseFewAlarms()
{
    std::mt19937 noise(2026);
    int alarms = 0;
    for (int run = 0; run < 200; ++run) {
        const engine::ProcessOutput output = runMonitoring(
            monitoringFile({{"R1", "222"}, {"R2", "222"}, {"R3", "222"}, {"R4", "222"}}, {},
                           {0.002, 10.0}, &noise),
            monitoringConfiguration("BASESEL", true));
        QCOMPARE(output.summary.status, 0);
        for (int to = 2; to <= 3; ++to)
            alarms += movedPoints(output.report, to).empty() ? 0 : 1;
    }
    QVERIFY2(alarms >= 5 && alarms <= 36, std::to_string(alarms).c_str());
}

// F(1, f) is the square of Student's t of f degrees of freedom at half the risk; F(h, f) tends to
// chi-square(h) / h as f grows.
void TestEngineEpochs::eachEpochHasItsOwnEstimation_data()
{
    QTest::addColumn<QString>("calculation");
    QTest::newRow("robust (Huber)") << "HUBER";
    QTest::newRow("variance components") << "AJUSTEMENT";
}

// A robust estimation keeps a 5 cm blunder of the second epoch out of the displacements; variance
// components are estimated in each epoch, whose records declare twice the standard deviations of
// the noise drawn: a component of 1/4.
void TestEngineEpochs::eachEpochHasItsOwnEstimation()
{
    QFETCH(QString, calculation);
    const bool robust = calculation == "HUBER";
    const std::map<std::string, Eigen::Vector3d> shifts = {{"P2", {0.004, -0.003, 0.0}},
                                                           {"P4", {0.0, 0.012, -0.016}}};
    const std::map<std::string, std::string> flags = {
        {"R1", "111"}, {"R2", "111"}, {"R3", "111"}, {"R4", "111"}};
    std::mt19937 random(23);
    std::string file =
        monitoringFile(flags, shifts, {0.001, 3.0}, robust ? nullptr : &random, robust ? 1.0 : 2.0);
    if (robust) {
        const std::size_t second = file.find("Campagne 2");
        const std::size_t line = file.find("\n DIST", second) + 1;
        const double value = std::stod(file.substr(line + 49, 15));
        std::string blundered = file.substr(line, file.find('\n', line) - line);
        place(blundered, 50, 15, number(value + 0.05, 6), true);
        file.replace(line, blundered.size(), blundered);
    } else {
        file.insert(file.find(" EPOC"), aux("ALL", "G", {"GVCE"}) + "\n" + groupRecord("G") + "\n");
    }
    const engine::ProcessOutput output =
        runMonitoring(file, withKey(monitoringConfiguration("NON", false), "TYPECALCUL",
                                    calculation.toStdString()));
    QVERIFY2(output.summary.status == 0, output.report.c_str());
    if (robust) {
        QCOMPARE(count(output.report, "ESTIMATION ROBUSTE"), 3);
        for (int to = 2; to <= 3; ++to) {
            const auto rows = displacementTable(output.report, to);
            for (const char *name : {"P1", "P2", "P3", "P4"}) {
                QVERIFY2(rows.count(name), name);
                const auto s = shifts.find(name);
                const Eigen::Vector3d truth =
                    s == shifts.end() ? Eigen::Vector3d::Zero() : s->second;
                for (int k = 0; k < 3; ++k)
                    QVERIFY2(std::fabs(rows.at(name)[static_cast<std::size_t>(k)] - truth(k)) <
                                 2e-5,
                             name);
            }
        }
    } else {
        const std::vector<double> components =
            valuesPerEpoch(output.report, "COMPOSANTES DE VARIANCE", "G", 3);
        QCOMPARE(components.size(), std::size_t(3));
        for (double component : components)
            QVERIFY2(std::fabs(component - 0.25) < 0.1, std::to_string(component).c_str());
    }
}

// The epochs of the ellipsoidal model: the marks in XYZ, the sights computed in each station's
// horizon; the displacements, in each mark's horizon, are the shifts given there.
void TestEngineEpochs::epochsOfTheEllipsoidalModel()
{
    const GeodeticMarks geodetic;
    const std::map<std::string, Eigen::Vector3d> shifts = {{"P2", {0.004, -0.003, 0.0}},
                                                           {"P4", {0.0, 0.012, -0.016}}};
    const std::vector<Mark> marks = monitoringMarks();
    std::vector<std::string> lines;
    for (const Mark &m : marks) {
        const bool reference = m.name[0] == 'R';
        const Eigen::Vector3d at = geodetic.geocentric(
            m.at, reference ? Eigen::Vector3d::Zero() : Eigen::Vector3d(0.02, -0.01, 0.015));
        std::string line = lenu(reference ? "111" : "000", m.name, at.x(), at.y(), at.z());
        line.replace(1, 4, "XYZ ");
        lines.push_back(line);
    }
    for (int epoch = 1; epoch <= 2; ++epoch) {
        std::string line = record("EPOC");
        place(line, 7, 40, "Campagne " + std::to_string(epoch), false);
        lines.push_back(line);
        std::vector<Eigen::Vector3d> at;
        for (const Mark &m : marks) {
            const auto s = shifts.find(m.name);
            at.push_back(geodetic.geocentric(
                m.at, epoch > 1 && s != shifts.end() ? s->second : Eigen::Vector3d::Zero()));
        }
        for (std::size_t i = 0; i < marks.size(); ++i) {
            lines.push_back(record("DSET"));
            for (std::size_t j = 0; j < marks.size(); ++j) {
                if (i == j)
                    continue;
                const Eigen::Vector3d d = geodetic.horizonOf(at[i], at[j]);
                lines.push_back(angle("DIR", "", marks[i].name, marks[j].name,
                                      grades(std::atan2(d.x(), d.y())), "3.0"));
                lines.push_back(
                    dist("", marks[i].name, marks[j].name, (at[j] - at[i]).norm(), "0.0010"));
                lines.push_back(angle("ZANG", "", marks[i].name, marks[j].name,
                                      grades(std::atan2(d.head<2>().norm(), d.z())), "3.0"));
            }
        }
    }
    const engine::ProcessOutput output =
        runMonitoring(joinLines(lines), withKey(monitoringConfiguration("NON", false), "TYPEMODEL",
                                                "3D_ELLIPSOIDALE"));
    QVERIFY2(output.summary.status == 0, output.report.c_str());
    const auto rows = displacementTable(output.report, 2);
    for (const char *name : {"P1", "P2", "P3", "P4"}) {
        QVERIFY2(rows.count(name), name);
        const auto s = shifts.find(name);
        const Eigen::Vector3d truth = s == shifts.end() ? Eigen::Vector3d::Zero() : s->second;
        for (int k = 0; k < 3; ++k)
            QVERIFY2(std::fabs(rows.at(name)[static_cast<std::size_t>(k)] - truth(k)) < 2e-5, name);
    }
}

void TestEngineEpochs::fisherQuantileMatchesStudent()
{
    for (double f : {3.0, 10.0, 57.0}) {
        const double t = engine::studentUpperQuantile(0.025, f);
        QVERIFY(std::fabs(engine::fisherUpperQuantile(0.05, 1.0, f) - t * t) < 1e-9 * t * t);
    }
    QVERIFY(std::fabs(engine::fisherUpperQuantile(0.05, 3.0, 1e7) -
                      engine::chiSquareUpperQuantile(0.05, 3.0) / 3.0) < 1e-5);
    // Tables of the F law: F(3, 20) at 95 % is 3.10, F(2, 60) is 3.15.
    QVERIFY(std::fabs(engine::fisherUpperQuantile(0.05, 3.0, 20.0) - 3.0984) < 1e-4);
    QVERIFY(std::fabs(engine::fisherUpperQuantile(0.05, 2.0, 60.0) - 3.1504) < 1e-4);
}

// The localisation updates one inversion of the tested cofactors as points leave the stable set;
// each step must take the point and give the test values that the form of every subset, formed
// anew, gives, up to the old limit of 300 components, and localise beyond it.
void TestEngineEpochs::localisationMatchesTheSubsetForms_data()
{
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("free");
    QTest::addColumn<std::set<int>>("shifted");
    QTest::addColumn<bool>("compared");

    QTest::newRow("heights, free, 60 marks") << 60 << 1 << true << std::set<int>{7, 31} << true;
    QTest::newRow("plan, free, 150 marks: 300 components")
        << 150 << 2 << true << std::set<int>{12, 99} << true;
    QTest::newRow("3D, fixed datum, 100 marks: 300 components")
        << 100 << 3 << false << std::set<int>{40} << true;
    QTest::newRow("3D, free, 40 marks, nothing moved")
        << 40 << 3 << true << std::set<int>{} << true;
    QTest::newRow("plan, free, 700 marks: 1400 components")
        << 700 << 2 << true << std::set<int>{5, 350, 699} << false;
}

void TestEngineEpochs::localisationMatchesTheSubsetForms()
{
    QFETCH(int, points);
    QFETCH(int, width);
    QFETCH(bool, free);
    QFETCH(std::set<int>, shifted);
    QFETCH(bool, compared);

    const DrawnSystem s = drawnSystem(points, width, free, shifted, 0.02, 4242u + points);
    const engine::CongruenceLevel level; // known variance, 95 %
    const engine::CongruenceTest t = engine::localise(width, s.d, s.q, s.g, level);
    QVERIFY(t.done);
    std::set<int> moved;
    for (const engine::PointVerdict &v : t.points) {
        if (v.moved)
            moved.insert(v.displacement);
    }
    QCOMPARE(moved, shifted);
    if (!compared)
        return;

    std::vector<int> stable(static_cast<std::size_t>(points));
    std::iota(stable.begin(), stable.end(), 0);
    for (const engine::CongruenceStep &step : t.steps) {
        const auto [omega, h] = subsetForm(s, width, stable);
        QCOMPARE(step.dimension, h);
        QVERIFY(std::fabs(step.test - level.statistic(omega, h)) <= 1e-6 * step.test);
        if (step.removed < 0)
            break;
        double largest = -1.0;
        int worst = -1;
        for (int p : stable) {
            const double share = omega - subsetForm(s, width, without(stable, p)).first;
            if (share > largest) {
                largest = share;
                worst = p;
            }
        }
        QCOMPARE(step.removed, worst);
        stable = without(stable, worst);
    }
    const auto [omegaStable, hStable] = subsetForm(s, width, stable);
    for (const engine::PointVerdict &v : t.points) {
        std::vector<int> with = stable;
        std::pair<double, int> less{omegaStable, hStable};
        if (v.moved)
            with.push_back(v.displacement);
        else
            less = subsetForm(s, width, without(stable, v.displacement));
        const auto more = subsetForm(s, width, with);
        QCOMPARE(v.dimension, more.second - less.second);
        const double expected = level.statistic(more.first - less.first, v.dimension);
        QVERIFY2(std::fabs(v.test - expected) <= 1e-6 * std::max(expected, 1e-3),
                 (std::to_string(v.test) + " " + std::to_string(expected)).c_str());
    }
}

// A levelling line of 320 marks tied every fifth mark, observed twice, two marks sunk by 8 mm in
// between: beyond 300 components the heights are still tested and exactly those two found.
void TestEngineEpochs::largeLevellingNetworkIsLocalised()
{
    constexpr int kMarks = 320;
    std::mt19937 noise(320);
    std::normal_distribution<double> normal(0.0, 0.0003);
    const auto name = [](int i) { return i == 0 ? std::string("B0") : "M" + std::to_string(i); };
    std::vector<double> heights(kMarks + 1);
    std::vector<std::string> lines;
    for (int i = 0; i <= kMarks; ++i) {
        heights[static_cast<std::size_t>(i)] = 100.0 + 3.0 * std::sin(0.05 * i);
        lines.push_back(lenu(i == 0 ? "111" : "110", name(i), 10.0 * i, 5.0 * (i % 7),
                             heights[static_cast<std::size_t>(i)] + 0.01));
    }
    for (int epoch = 1; epoch <= 2; ++epoch) {
        lines.push_back(record("EPOC"));
        if (epoch == 2) {
            heights[50] -= 0.008;
            heights[250] -= 0.008;
        }
        for (int i = 0; i < kMarks; ++i) {
            for (int step : {1, 5}) {
                if (i + step > kMarks || (step == 5 && i % 5 != 0))
                    continue;
                const double rise = heights[static_cast<std::size_t>(i + step)] -
                                    heights[static_cast<std::size_t>(i)] + normal(noise);
                lines.push_back(ohdf("", name(i), name(i + step), rise, "0.0003", 10.0 * step));
            }
        }
    }
    std::string configuration = monitoringConfiguration("NON", true);
    configuration = withKey(configuration, "MEP_CTYPE", "100");
    const engine::ProcessOutput output = runMonitoring(joinLines(lines), configuration);
    QCOMPARE(output.summary.status, 0);
    QCOMPARE(movedPoints(output.report, 2, "1D (up)"), (std::set<std::string>{"M50", "M250"}));
}

QTEST_APPLESS_MAIN(TestEngineEpochs)
#include "tst_engineepochs.moc"
