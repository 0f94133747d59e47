// Free networks (FREENET): the datum defect found from the design matrix, the minimum-trace
// datum against closed forms and the pseudo-inverse of normal matrices built here from the true
// geometry, and the invariance of residuals and statistics under the choice of datum.
#include "engine/base/text.h"
#include "enginetesthelpers.h"
#include "observationlines.h"

#include <Eigen/Dense>

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/LocalCartesian.hpp>

#include <QtTest>

#include <cmath>
#include <random>

using namespace observationlines;

namespace {

constexpr double kGonToRad = kPi / 200.0;
// The engine linearises at its adjusted coordinates, which the rounding of the written distances
// (5e-7 m) moves by micrometres along the weak heights of the flat network of 3D distances: its
// covariances follow by this share.
constexpr double kLinearisationShare = 2e-6;

struct Mark
{
    const char *name;
    double e, n, u;
};

// Six marks on a hillside, some 500 m across.
const std::vector<Mark> kHillside = {{"A", 1000.0, 2000.0, 100.0}, {"B", 1520.0, 2080.0, 112.5},
                                     {"C", 1210.0, 2460.0, 96.2},  {"D", 1690.0, 2590.0, 131.7},
                                     {"E", 1430.0, 2810.0, 118.4}, {"F", 980.0, 2650.0, 88.9}};

// The kinds of networks of the tests.
enum class Kind {
    Levelling, // height differences between every pair, plan fixed (110)
    Distances, // 3D distances between every pair
    Survey     // direction sets, distances and zenith angles between every pair
};

// The marks displaced from the truth by a few centimetres, so that the iterations have work.
Eigen::Vector3d startOf(std::size_t k)
{
    return Eigen::Vector3d(0.031 * std::sin(1.0 + k), -0.027 * std::cos(2.0 + k),
                           0.022 * std::sin(3.0 * k));
}

// The network of `kind` over the marks, each with its fixity (its own, or "000"); `noise` adds a
// deterministic error of up to half a standard deviation when true.
std::vector<std::string> networkLines(Kind kind, const std::map<std::string, std::string> &fixity,
                                      bool noise, bool astray = true)
{
    std::vector<std::string> lines;
    int k = 0;
    const auto error = [&](double sigma) {
        return noise ? 0.5 * sigma * std::sin(1.7 * ++k + 0.3) : 0.0;
    };
    for (std::size_t p = 0; p < kHillside.size(); ++p) {
        const Mark &m = kHillside[p];
        const auto own = fixity.find(m.name);
        std::string flags = own != fixity.end() ? own->second : "000";
        if (kind == Kind::Levelling && own == fixity.end())
            flags = "110";
        const Eigen::Vector3d at = Eigen::Vector3d(m.e, m.n, m.u) +
                                   (noise && astray ? startOf(p) : Eigen::Vector3d::Zero());
        lines.push_back(lenu(flags, m.name, at.x(), at.y(), at.z()));
    }
    const double angleSigma = 10e-4 * kGonToRad;
    for (std::size_t s = 0; s < kHillside.size(); ++s) {
        const Mark &from = kHillside[s];
        if (kind == Kind::Survey)
            lines.push_back(record("DSET"));
        for (std::size_t t = 0; t < kHillside.size(); ++t) {
            const Mark &to = kHillside[t];
            if (s == t || (kind != Kind::Survey && t < s))
                continue;
            const Eigen::Vector3d d(to.e - from.e, to.n - from.n, to.u - from.u);
            if (kind == Kind::Levelling) {
                lines.push_back(ohdf("", from.name, to.name, d.z() + error(0.002), "0.002",
                                     d.head<2>().norm()));
                continue;
            }
            lines.push_back(dist("", from.name, to.name, d.norm() + error(0.003), "0.003"));
            if (kind == Kind::Survey) {
                lines.push_back(angle("DIR", "", from.name, to.name,
                                      grades(std::atan2(d.x(), d.y()) + error(angleSigma)), "10"));
                lines.push_back(
                    angle("ZANG", "", from.name, to.name,
                          grades(std::atan2(d.head<2>().norm(), d.z()) + error(angleSigma)), "10"));
            }
        }
    }
    return lines;
}

// The marks around 46 N 7 E, their offsets taken east, north and up there, in PLHD records; 3D
// distances between every pair, computed geocentrically by GeographicLib.
std::vector<std::string> geodeticLines(const std::map<std::string, std::string> &fixity)
{
    static const GeographicLib::Geocentric grs80(6378137.0, 1.0 / 298.257222101);
    const GeographicLib::LocalCartesian origin(46.0, 7.0, 0.0, grs80);
    std::vector<std::string> lines;
    std::vector<Eigen::Vector3d> geocentric;
    for (std::size_t p = 0; p < kHillside.size(); ++p) {
        const Mark &m = kHillside[p];
        const Eigen::Vector3d at = Eigen::Vector3d(m.e - 1000.0, m.n - 2000.0, m.u) + startOf(p);
        double latitude = 0.0;
        double longitude = 0.0;
        double height = 0.0;
        origin.Reverse(m.e - 1000.0, m.n - 2000.0, m.u, latitude, longitude, height);
        Eigen::Vector3d xyz;
        grs80.Forward(latitude, longitude, height, xyz.x(), xyz.y(), xyz.z());
        geocentric.push_back(xyz);
        origin.Reverse(at.x(), at.y(), at.z(), latitude, longitude, height);
        const auto own = fixity.find(m.name);
        std::string line = record("PLHD");
        place(line, 7, 3, own != fixity.end() ? own->second : "000", false);
        place(line, 11, 12, m.name, false);
        place(line, 24, 18, "N" + number(latitude, 11), false);
        place(line, 42, 18, "E" + number(longitude, 11), false);
        place(line, 60, 12, number(height, 4), true);
        place(line, 73, 1, "m", false);
        lines.push_back(line);
    }
    for (std::size_t s = 0; s < kHillside.size(); ++s) {
        for (std::size_t t = s + 1; t < kHillside.size(); ++t)
            lines.push_back(dist("", kHillside[s].name, kHillside[t].name,
                                 (geocentric[t] - geocentric[s]).norm() +
                                     0.0015 * std::sin(1.3 * static_cast<double>(s + 7 * t)),
                                 "0.003"));
    }
    return lines;
}

engine::Options freeOptions(engine::FreeNetwork free)
{
    engine::Options options;
    options.freeNetwork = free;
    options.sigmaScaling = engine::SigmaScaling::Never;
    options.convergence = 1e-8;
    options.maxIterations = 20;
    return options;
}

// The sum of the traces of the points' covariances.
double coordinateTrace(const EngineRun &run)
{
    double trace = 0.0;
    for (const Eigen::Matrix3d &c : run.statistics.pointCovariances)
        trace += c.trace();
    return trace;
}

// The corrections (adjusted minus approximate) of the points flagged in `selected` (all when
// empty), against the motions `motions` ("E", "N", "U", "RU": rotation about the vertical):
// the largest of their sums, metres.
double largestMotion(const EngineRun &run, const QStringList &motions,
                     const std::vector<std::string> &selected)
{
    Eigen::Vector3d centroid = Eigen::Vector3d::Zero();
    std::vector<std::size_t> points;
    for (std::size_t p = 0; p < run.network.points.size(); ++p) {
        const std::string &name = run.network.points[p].name;
        if (selected.empty() || std::find(selected.begin(), selected.end(), name) != selected.end())
            points.push_back(p);
    }
    for (std::size_t p : points)
        centroid += run.outcome.state.coordinates[p];
    centroid /= static_cast<double>(points.size());
    // The rotation's motion r x up, over the length of that vector, gives a sum in metres.
    double spread = 0.0;
    for (std::size_t p : points)
        spread += (run.outcome.state.coordinates[p] - centroid).head<2>().squaredNorm();
    spread = std::sqrt(spread);
    double largest = 0.0;
    for (const QString &motion : motions) {
        double sum = 0.0;
        for (std::size_t p : points) {
            const Eigen::Vector3d d =
                run.outcome.state.coordinates[p] - run.outcome.approximate.coordinates[p];
            const Eigen::Vector3d r = run.outcome.state.coordinates[p] - centroid;
            if (motion == "E")
                sum += d.x();
            else if (motion == "N")
                sum += d.y();
            else if (motion == "U")
                sum += d.z();
            else
                sum += (r.x() * d.y() - r.y() * d.x()) / spread;
        }
        largest = std::max(largest, std::fabs(sum));
    }
    return largest;
}

} // namespace

using Fixities = std::vector<std::map<std::string, std::string>>;
Q_DECLARE_METATYPE(Fixities)
Q_DECLARE_METATYPE(engine::ModelType)
Q_DECLARE_METATYPE(engine::FreeNetwork)

class TestEngineFreeNetwork : public QObject
{
    Q_OBJECT

private slots:
    void freeLevellingMatchesClosedForm();
    void minimumTraceIsThePseudoInverse();
    void datumDoesNotChangeTheStatistics_data();
    void datumDoesNotChangeTheStatistics();
    void geodeticModelsHaveTheirDefect_data();
    void geodeticModelsHaveTheirDefect();
    void preAnalysisHasTheAdjustmentsPrecisions_data();
    void preAnalysisHasTheAdjustmentsPrecisions();
    void constrainedDefectIsNamed_data();
    void constrainedDefectIsNamed();
    void publishedFreeNetworks_data();
    void publishedFreeNetworks();
};

void TestEngineFreeNetwork::freeLevellingMatchesClosedForm()
{
    // Every pair of the n marks levelled with the same precision: the normal matrix is
    // (n I - 1 1') / s^2, whose pseudo-inverse s^2 (I - 1 1' / n) / n is the covariance of the
    // minimum-trace heights; these are the mean of the approximate heights plus the mean of the
    // observed differences to each mark.
    const auto run = runEngine(networkLines(Kind::Levelling, {}, true),
                               freeOptions(engine::FreeNetwork::MinimumTrace));
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
    QCOMPARE(run->outcome.datumDefect.size(), 1);
    const auto n = static_cast<double>(kHillside.size());
    double approximateMean = 0.0;
    for (const Eigen::Vector3d &x : run->outcome.approximate.coordinates)
        approximateMean += x.z() / n;
    for (std::size_t i = 0; i < kHillside.size(); ++i) {
        double differences = 0.0;
        for (const auto &o : run->network.observations) {
            if (o.station == static_cast<int>(i))
                differences -= o.value;
            if (o.target == static_cast<int>(i))
                differences += o.value;
        }
        const double expected = approximateMean + differences / n;
        QVERIFY2(std::fabs(run->outcome.state.coordinates[i].z() - expected) < 1e-9,
                 qPrintable(QString::number(run->outcome.state.coordinates[i].z() - expected)));
        const double variance = 0.002 * 0.002 * (1.0 - 1.0 / n) / n;
        QVERIFY(std::fabs(run->statistics.pointCovariances[i](2, 2) / variance - 1.0) < 1e-9);
    }
    QCOMPARE(run->statistics.degreesOfFreedom,
             static_cast<int>(run->network.observations.size()) - 5);
}

void TestEngineFreeNetwork::minimumTraceIsThePseudoInverse()
{
    // 3D distances only: translations and rotations free (6). Over all the coordinates the
    // minimum-trace covariance is the pseudo-inverse of the normal matrix, built here from the
    // true geometry.
    const auto run = runEngine(networkLines(Kind::Distances, {}, false),
                               freeOptions(engine::FreeNetwork::MinimumTrace));
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
    QCOMPARE(run->outcome.datumDefect.size(), 6);
    const auto n = static_cast<Eigen::Index>(kHillside.size());
    Eigen::MatrixXd normal = Eigen::MatrixXd::Zero(3 * n, 3 * n);
    for (Eigen::Index i = 0; i < n; ++i) {
        for (Eigen::Index j = i + 1; j < n; ++j) {
            // The marks as written in the file, to the tenth of a millimetre.
            const Eigen::Vector3d &a = run->network.points[static_cast<std::size_t>(i)].approximate;
            const Eigen::Vector3d &b = run->network.points[static_cast<std::size_t>(j)].approximate;
            Eigen::VectorXd row = Eigen::VectorXd::Zero(3 * n);
            const Eigen::Vector3d u = (b - a).normalized();
            row.segment<3>(3 * i) = -u;
            row.segment<3>(3 * j) = u;
            normal += row * row.transpose() / (0.003 * 0.003);
        }
    }
    const Eigen::MatrixXd q = normal.completeOrthogonalDecomposition().pseudoInverse();
    for (Eigen::Index i = 0; i < n; ++i) {
        const Eigen::Matrix3d expected = q.block<3, 3>(3 * i, 3 * i);
        const Eigen::Matrix3d &c = run->statistics.pointCovariances[static_cast<std::size_t>(i)];
        QVERIFY2((c - expected).norm() < kLinearisationShare * expected.norm(),
                 qPrintable(QString::number((c - expected).norm() / expected.norm())));
    }
}

void TestEngineFreeNetwork::datumDoesNotChangeTheStatistics_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("defect");
    QTest::addColumn<QStringList>("motions");
    QTest::addColumn<QStringList>("base");
    QTest::addColumn<Fixities>("constrained");
    QTest::newRow("levelling") << int(Kind::Levelling) << 1 << QStringList{"U"} << QStringList()
                               << Fixities{{{"A", "111"}}, {{"D", "111"}}};
    QTest::newRow("survey") << int(Kind::Survey) << 4 << QStringList{"E", "N", "U", "RU"}
                            << QStringList()
                            << Fixities{{{"A", "111"}, {"B", "100"}},
                                        {{"C", "111"}, {"E", "010"}},
                                        {{"D", "111"}, {"F", "100"}}};
    QTest::newRow("survey on a base")
        << int(Kind::Survey) << 4 << QStringList{"E", "N", "U", "RU"} << QStringList{"A", "C", "E"}
        << Fixities{{{"A", "111"}, {"C", "010"}}};
    QTest::newRow("distances") << int(Kind::Distances) << 6 << QStringList{"E", "N", "U", "RU"}
                               << QStringList()
                               << Fixities{{{"A", "111"}, {"B", "011"}, {"C", "100"}},
                                           {{"D", "111"}, {"A", "011"}, {"F", "100"}}};
}

void TestEngineFreeNetwork::datumDoesNotChangeTheStatistics()
{
    QFETCH(int, kind);
    QFETCH(int, defect);
    QFETCH(QStringList, motions);
    QFETCH(QStringList, base);
    QFETCH(Fixities, constrained);
    std::map<std::string, std::string> baseFlags;
    std::vector<std::string> baseNames;
    for (const QString &name : base) {
        baseFlags[name.toStdString()] = "222";
        baseNames.push_back(name.toStdString());
    }
    const auto free = runEngine(networkLines(Kind(kind), baseFlags, true),
                                freeOptions(base.isEmpty() ? engine::FreeNetwork::MinimumTrace
                                                           : engine::FreeNetwork::SelectedBase));
    QVERIFY2(free->solved, diagnosticsText(free->diagnostics).c_str());
    QCOMPARE(free->outcome.datumDefect.size(), defect);
    // The corrections have no part along the free motions, over the points of the datum.
    QVERIFY2(largestMotion(*free, motions, baseNames) < 1e-7,
             qPrintable(QString::number(largestMotion(*free, motions, baseNames))));
    const double freeTrace = coordinateTrace(*free);
    for (const auto &fixity : constrained) {
        const auto run = runEngine(networkLines(Kind(kind), fixity, true),
                                   freeOptions(engine::FreeNetwork::None));
        QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
        QCOMPARE(run->statistics.degreesOfFreedom, free->statistics.degreesOfFreedom);
        QVERIFY(std::fabs(run->statistics.weightedSquares / free->statistics.weightedSquares -
                          1.0) < 1e-7);
        for (std::size_t i = 0; i < run->network.observations.size(); ++i) {
            const auto &a = run->statistics.perObservation[i];
            const auto &b = free->statistics.perObservation[i];
            const double sigma = run->network.observations[i].sigma;
            QVERIFY(std::fabs(a.residual - b.residual) < 1e-6 * sigma);
            QVERIFY2(std::fabs(a.redundancy - b.redundancy) < 1e-7,
                     qPrintable(QString::number(a.redundancy - b.redundancy)));
            QVERIFY(std::fabs(a.normalized - b.normalized) < 1e-6);
        }
        // Over all points the minimum trace is the smallest of any datum.
        if (base.isEmpty())
            QVERIFY2(freeTrace < coordinateTrace(*run),
                     qPrintable(QString("%1 %2").arg(freeTrace).arg(coordinateTrace(*run))));
    }
}

void TestEngineFreeNetwork::geodeticModelsHaveTheirDefect_data()
{
    QTest::addColumn<engine::ModelType>("model");
    QTest::newRow("ellipsoid") << engine::ModelType::Ellipsoidal3D;
    QTest::newRow("sphere") << engine::ModelType::Spherical3D;
}

void TestEngineFreeNetwork::geodeticModelsHaveTheirDefect()
{
    // Chords alone leave the three geocentric translations and rotations free in either model.
    QFETCH(engine::ModelType, model);
    engine::Options options = freeOptions(engine::FreeNetwork::MinimumTrace);
    options.model = model;
    const auto free = runEngine(geodeticLines({}), options);
    QVERIFY2(free->solved, diagnosticsText(free->diagnostics).c_str());
    QCOMPARE(free->outcome.datumDefect.size(), 6);
    QCOMPARE(static_cast<int>(free->outcome.datumDefect.free.size()), 6);
    // The geocentric corrections have no mean and no moment about the centroid.
    Eigen::Vector3d centroid = Eigen::Vector3d::Zero();
    for (const Eigen::Vector3d &x : free->outcome.state.coordinates)
        centroid += x / static_cast<double>(kHillside.size());
    Eigen::Vector3d translation = Eigen::Vector3d::Zero();
    Eigen::Vector3d moment = Eigen::Vector3d::Zero();
    double spread = 0.0;
    for (std::size_t p = 0; p < kHillside.size(); ++p) {
        const Eigen::Vector3d d =
            free->outcome.state.coordinates[p] - free->outcome.approximate.coordinates[p];
        const Eigen::Vector3d r = free->outcome.state.coordinates[p] - centroid;
        translation += d;
        moment += r.cross(d);
        spread += r.squaredNorm();
    }
    QVERIFY2(translation.norm() < 1e-7, qPrintable(QString::number(translation.norm())));
    QVERIFY2(moment.norm() / std::sqrt(spread) < 1e-7,
             qPrintable(QString::number(moment.norm() / std::sqrt(spread))));
    options.freeNetwork = engine::FreeNetwork::None;
    const auto held = runEngine(geodeticLines({{"A", "111"}, {"B", "110"}, {"E", "100"}}), options);
    QVERIFY2(held->solved, diagnosticsText(held->diagnostics).c_str());
    QVERIFY(std::fabs(held->statistics.weightedSquares / free->statistics.weightedSquares - 1.0) <
            1e-7);
    for (std::size_t i = 0; i < held->network.observations.size(); ++i)
        QVERIFY(std::fabs(held->statistics.perObservation[i].redundancy -
                          free->statistics.perObservation[i].redundancy) < 1e-7);
    QVERIFY(coordinateTrace(*free) < coordinateTrace(*held));
}

void TestEngineFreeNetwork::preAnalysisHasTheAdjustmentsPrecisions_data()
{
    QTest::addColumn<engine::FreeNetwork>("free");
    QTest::newRow("constrained") << engine::FreeNetwork::None;
    QTest::newRow("free") << engine::FreeNetwork::MinimumTrace;
}

void TestEngineFreeNetwork::preAnalysisHasTheAdjustmentsPrecisions()
{
    // The adjustment of observations computed from the approximate coordinates, with s0 known,
    // against the pre-analysis of the same network with other observed values.
    QFETCH(engine::FreeNetwork, free);
    const std::map<std::string, std::string> fixity =
        free == engine::FreeNetwork::None
            ? std::map<std::string, std::string>{{"A", "111"}, {"B", "111"}}
            : std::map<std::string, std::string>();
    engine::Options options = freeOptions(free);
    const auto adjusted = runEngine(networkLines(Kind::Survey, fixity, false), options);
    QVERIFY2(adjusted->solved, diagnosticsText(adjusted->diagnostics).c_str());
    options.calculationType = engine::CalculationType::Simulation;
    const auto planned = runEngine(networkLines(Kind::Survey, fixity, true, false), options);
    QVERIFY2(planned->solved, diagnosticsText(planned->diagnostics).c_str());
    QCOMPARE(planned->outcome.iterations, 0);
    QCOMPARE(planned->statistics.chiSquare, engine::ChiSquareOutcome::NotTested);
    QCOMPARE(planned->statistics.validCount, planned->statistics.observations);
    for (std::size_t p = 0; p < kHillside.size(); ++p) {
        const Eigen::Matrix3d &a = adjusted->statistics.pointCovariances[p];
        const Eigen::Matrix3d &b = planned->statistics.pointCovariances[p];
        QVERIFY2((a - b).norm() <= 1e-9 * a.norm(),
                 qPrintable(QString::number((a - b).norm() / a.norm())));
    }
    for (std::size_t i = 0; i < adjusted->network.observations.size(); ++i) {
        QVERIFY(std::fabs(adjusted->statistics.perObservation[i].redundancy -
                          planned->statistics.perObservation[i].redundancy) < 1e-9);
        QCOMPARE(planned->statistics.perObservation[i].residual, 0.0);
    }
}

void TestEngineFreeNetwork::constrainedDefectIsNamed_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("fixity");
    QTest::addColumn<QString>("message");
    QTest::newRow("survey, nothing fixed")
        << int(Kind::Survey) << "000"
        << "aucune coordonnée n'est fixée|défaut de datum de 4|translation en est|"
           "translation en nord|translation verticale|rotation autour de la verticale|"
           "Aucun point n'est fixé en planimétrie|FREENET TRACEMIN";
    QTest::newRow("levelling, nothing fixed")
        << int(Kind::Levelling) << "110"
        << "12 coordonnée(s) fixée(s) (est 6, nord 6, up 0)|défaut de datum de 1|"
           "translation verticale|Aucune hauteur n'est fixée";
    QTest::newRow("distances, one point fixed")
        << int(Kind::Distances) << "111"
        << "3 coordonnée(s) fixée(s) (est 1, nord 1, up 1)|défaut de datum de 3|"
           "rotation autour de la verticale|rotation autour de l'axe est|"
           "rotation autour de l'axe nord";
}

void TestEngineFreeNetwork::constrainedDefectIsNamed()
{
    QFETCH(int, kind);
    QFETCH(QString, fixity);
    QFETCH(QString, message);
    const auto run = runEngine(networkLines(Kind(kind), {{"A", fixity.toStdString()}}, true),
                               freeOptions(engine::FreeNetwork::None));
    QVERIFY(!run->solved);
    const std::string text = diagnosticsText(run->diagnostics);
    for (const QString &part : message.split('|'))
        QVERIFY2(text.find(engine::fr(part.toStdString())) != std::string::npos, text.c_str());
    // No point is blamed: the defect is the network's.
    QVERIFY2(text.find(engine::fr("« ")) == std::string::npos, text.c_str());
}

// A levelled height difference of a published example: from, to, observed (m), length (km).
struct PublishedLine
{
    const char *from;
    const char *to;
    double difference;
    double length;
};
using PublishedLines = std::vector<PublishedLine>;
// Per mark: its approximate height and its published minimum-trace correction (m).
using PublishedMarks = std::map<std::string, std::pair<double, double>>;
Q_DECLARE_METATYPE(PublishedLines)
Q_DECLARE_METATYPE(PublishedMarks)

void TestEngineFreeNetwork::publishedFreeNetworks_data()
{
    QTest::addColumn<PublishedLines>("lines");
    QTest::addColumn<PublishedMarks>("marks");
    // A. Maus (1998), solved exercise no. 29 of a course in adjustment (free levelling network of
    // six marks, nine lines weighted 1 / length in km, inner constraint: the corrections sum to
    // zero), read at ypbind.de/maus/belege/statist/1997/stat9.html: the approximate heights, the
    // observed differences and lengths, and the corrections found by Gauss's algorithm (that of F
    // cut off there, taken from the constraint). No standard deviations are given.
    QTest::newRow("Maus 1998, exercise 29")
        << PublishedLines{{"A", "C", 0.4370, 0.76},  {"A", "E", 7.3144, 0.93},
                          {"C", "E", 6.8746, 0.58},  {"D", "C", 10.5098, 0.44},
                          {"D", "E", 17.3830, 0.68}, {"F", "E", 0.9942, 0.51},
                          {"D", "F", 16.3866, 0.79}, {"D", "B", 13.9479, 1.18},
                          {"B", "F", 2.4415, 1.36}}
        << PublishedMarks{
               {"A", {111.6930, 6.5955e-5}},
               {"B", {115.5700, -1.0513e-4}},
               {"C", {112.1314, 8.0725e-6}},
               {"D", {101.6225, 2.5531e-5}},
               {"E", {119.0058, 2.2950e-5}},
               {"F", {118.0108, -(6.5955e-5 - 1.0513e-4 + 8.0725e-6 + 2.5531e-5 + 2.2950e-5)}}};
}

void TestEngineFreeNetwork::publishedFreeNetworks()
{
    QFETCH(PublishedLines, lines);
    QFETCH(PublishedMarks, marks);
    std::vector<std::string> file;
    double east = 0.0;
    for (const auto &[name, mark] : marks) {
        file.push_back(lenu("110", name, east, 0.0, mark.first));
        east += 100.0;
    }
    // Variances of 1 mm^2 per km, in millimetres.
    for (const PublishedLine &l : lines)
        file.push_back(ohdf("", l.from, l.to, l.difference * 1000.0, number(std::sqrt(l.length), 8),
                            l.length * 1e6, "mm"));
    const auto run = runEngine(file, freeOptions(engine::FreeNetwork::MinimumTrace));
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
    QCOMPARE(run->outcome.datumDefect.size(), 1);
    // The published solution took the normal equations rounded to three decimals, which moves its
    // corrections (1e-5 to 1e-4 m) by up to a few tenths of a micrometre.
    for (const auto &[name, mark] : marks) {
        const double up = run->adjusted(name).z();
        QVERIFY2(std::fabs(up - (mark.first + mark.second)) < 5e-7,
                 qPrintable(QString("%1 %2").arg(name.c_str()).arg(up - mark.first)));
    }
}

QTEST_APPLESS_MAIN(TestEngineFreeNetwork)

#include "tst_enginefreenetwork.moc"
