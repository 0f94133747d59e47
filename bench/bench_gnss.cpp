// Benchmark of the adjustment engine on generated GNSS networks (ellipsoidal model).
//
// A network is a jittered grid of points about 1 km apart around 45.5° N, each joined by GNSS
// vectors to its eastern, northern and north-eastern neighbours (about three vectors per point).
// Half the points measure their three vectors in one session: one 3DD block with a 9 x 9
// correlated matrix; the others give one 3DD block per vector. Vectors carry Gaussian noise drawn
// from their covariance. A point in about a thousand is fixed (PLHD 111); the others are given as
// free XYZ points a decimetre or so off.
//
// A fresh process runs the full processing (report with every residual, the loops of vectors,
// result file; the drawing is left out beyond 5,000 points); its wall time and peak resident
// memory are printed with the load average.
//
//   bench_gnss [--keep] [SIZE ...]   default size: 10000

#include "engine/api/process.h"
#include "engine/model/referenceellipsoid.h"

#include <Eigen/Cholesky>
#include <Eigen/Core>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#if defined(__unix__)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSpacing = 1000.0;  // metres between neighbouring grid nodes
constexpr double kJitter = 0.3;      // share of the spacing a point may stray
constexpr int kFixedEvery = 32;      // grid step between fixed points
constexpr double kStartError = 0.10; // metres, standard error of the approximate values
constexpr double kLatitude = 45.5;   // degrees, of the grid's origin
constexpr double kLongitude = 6.2;

struct Vector
{
    int from = 0;
    int to = 0;
};

double loadAverage()
{
    double load[1] = {0.0};
#if defined(__unix__)
    if (getloadavg(load, 1) != 1)
        return -1.0;
#endif
    return load[0];
}

std::string number(double value, int decimals)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

// A record line with each text right-aligned to end at its last column, names left-aligned.
class Line
{
public:
    explicit Line(const char *code)
        : m_text(" " + std::string(code))
    {}

    Line &left(int first, const std::string &text) { return put(first, text); }

    Line &right(int last, const std::string &text)
    {
        return put(last - static_cast<int>(text.size()) + 1, text);
    }

    std::string str() const { return m_text + "\n"; }

private:
    Line &put(int first, const std::string &text)
    {
        const auto at = static_cast<std::size_t>(first - 1);
        if (m_text.size() < at + text.size())
            m_text.resize(at + text.size(), ' ');
        m_text.replace(at, text.size(), text);
        return *this;
    }

    std::string m_text;
};

std::string pointName(int index)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "P%06d", index);
    return buffer;
}

// The covariance of a vector of length `length` in X, Y, Z: 3 mm + 0.5 ppm across, twice that
// along the vertical of `enu` (east, north, up as columns).
Eigen::Matrix3d vectorCovariance(const Eigen::Matrix3d &enu, double length)
{
    const double across = 0.003 + 0.5e-6 * length;
    const Eigen::Vector3d variances(across * across, across * across, 4.0 * across * across);
    return enu * variances.asDiagonal() * enu.transpose();
}

struct GeneratedNetwork
{
    std::string text;
    int points = 0;
    int vectors = 0;
    int fixedPoints = 0;
};

GeneratedNetwork generate(int size, unsigned seed)
{
    std::mt19937_64 random(seed);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::uniform_real_distribution<double> jitter(-kJitter, kJitter);
    const int side = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(size))));
    const engine::ReferenceEllipsoid grs80;
    const double lat0 = kLatitude * kPi / 180.0;
    const double lon0 = kLongitude * kPi / 180.0;
    const Eigen::Matrix3d enu0 = engine::localHorizon(lat0, lon0);
    const Eigen::Vector3d origin = engine::toGeocentric(grs80, {lat0, lon0, 400.0});

    GeneratedNetwork g;
    std::vector<Eigen::Vector3d> xyz;
    std::vector<Eigen::Matrix3d> horizon;
    std::vector<int> grid(static_cast<std::size_t>(side * side), -1);
    for (int row = 0; row < side && g.points < size; ++row) {
        for (int column = 0; column < side && g.points < size; ++column) {
            const double east = (column + jitter(random)) * kSpacing;
            const double north = (row + jitter(random)) * kSpacing;
            const double up = 100.0 * std::sin(east / 3000.0) * std::cos(north / 2500.0);
            const Eigen::Vector3d plane = origin + enu0 * Eigen::Vector3d(east, north, 0.0);
            engine::Geographic at = engine::toGeographic(grs80, plane);
            at.height = 400.0 + up;
            xyz.push_back(engine::toGeocentric(grs80, at));
            horizon.push_back(engine::localHorizon(at.latitude, at.longitude));
            const bool fixed = row % kFixedEvery == 0 && column % kFixedEvery == 0;
            if (fixed) {
                ++g.fixedPoints;
                g.text += Line("PLHD")
                              .left(7, "111")
                              .left(11, pointName(g.points))
                              .right(40, number(at.latitude * 180.0 / kPi, 10))
                              .right(58, number(at.longitude * 180.0 / kPi, 10))
                              .right(71, number(at.height, 4))
                              .left(73, "m")
                              .str();
            } else {
                const Eigen::Vector3d start =
                    xyz.back() +
                    kStartError * Eigen::Vector3d(gauss(random), gauss(random), gauss(random));
                g.text += Line("XYZ")
                              .left(7, "000")
                              .left(11, pointName(g.points))
                              .right(41, number(start.x(), 4))
                              .right(60, number(start.y(), 4))
                              .right(79, number(start.z(), 4))
                              .left(81, "m")
                              .str();
            }
            grid[static_cast<std::size_t>(row * side + column)] = g.points++;
        }
    }
    const auto at = [&](int row, int column) {
        return row < side && column < side ? grid[static_cast<std::size_t>(row * side + column)]
                                           : -1;
    };
    for (int row = 0; row < side; ++row) {
        for (int column = 0; column < side; ++column) {
            const int from = at(row, column);
            if (from < 0)
                continue;
            std::vector<Vector> session;
            for (const int to : {at(row, column + 1), at(row + 1, column), at(row + 1, column + 1)})
                if (to >= 0)
                    session.push_back({from, to});
            if (session.empty())
                continue;
            // Half the stations measure their vectors in one correlated session.
            const bool together = (row + column) % 2 == 0 && session.size() > 1;
            const std::size_t groups = together ? 1 : session.size();
            for (std::size_t group = 0; group < groups; ++group) {
                const std::size_t first = together ? 0 : group;
                const std::size_t count = together ? session.size() : 1;
                const auto n = static_cast<Eigen::Index>(3 * count);
                Eigen::MatrixXd c = Eigen::MatrixXd::Zero(n, n);
                std::vector<Eigen::Vector3d> deltas;
                for (std::size_t k = 0; k < count; ++k) {
                    const Vector &v = session[first + k];
                    const Eigen::Vector3d d =
                        xyz[static_cast<std::size_t>(v.to)] - xyz[static_cast<std::size_t>(v.from)];
                    deltas.push_back(d);
                    const auto r = static_cast<Eigen::Index>(3 * k);
                    c.block<3, 3>(r, r) =
                        vectorCovariance(horizon[static_cast<std::size_t>(v.from)], d.norm());
                }
                // Vectors of one session share a part of their errors.
                for (Eigen::Index i = 0; i < n; ++i)
                    for (Eigen::Index j = i + 3; j < n; j += 3)
                        c(i, j) = c(j, i) = 0.3 * std::sqrt(c(i, i) * c(j, j));
                const Eigen::MatrixXd l = c.llt().matrixL();
                Eigen::VectorXd z(n);
                for (Eigen::Index i = 0; i < n; ++i)
                    z(i) = gauss(random);
                const Eigen::VectorXd noise = l * z;
                g.text += Line("3DD").str();
                for (std::size_t k = 0; k < count; ++k) {
                    const Vector &v = session[first + k];
                    const Eigen::Vector3d d =
                        deltas[k] + noise.segment<3>(static_cast<Eigen::Index>(3 * k));
                    g.text += Line("DXYZ")
                                  .left(11, pointName(v.from))
                                  .left(24, pointName(v.to))
                                  .right(49, number(d.x(), 5))
                                  .right(63, number(d.y(), 5))
                                  .right(77, number(d.z(), 5))
                                  .left(79, "m")
                                  .str();
                    ++g.vectors;
                }
                g.text += Line("COV").left(7, "CT").left(10, "UPPR").left(92, "m").str();
                int column3 = 0;
                Line elem("ELEM");
                for (Eigen::Index i = 0; i < n; ++i) {
                    for (Eigen::Index j = i; j < n; ++j) {
                        char buffer[32];
                        std::snprintf(buffer, sizeof buffer, "%.12e", c(i, j));
                        elem.right(29 + 24 * column3, buffer);
                        if (++column3 == 3) {
                            g.text += elem.str();
                            elem = Line("ELEM");
                            column3 = 0;
                        }
                    }
                }
                if (column3 > 0)
                    g.text += elem.str();
            }
        }
    }
    return g;
}

struct ChildFigures
{
    double seconds = 0.0;
    long peakKilobytes = 0;
    int status = 0;
};

ChildFigures processInChild(const std::string &observationPath,
                            const std::string &configurationPath)
{
    ChildFigures figures;
    const auto start = std::chrono::steady_clock::now();
#if defined(__unix__)
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0)
        _exit(engine::processObservationFile(observationPath, configurationPath).status);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    figures.peakKilobytes = usage.ru_maxrss;
    figures.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#else
    figures.status = engine::processObservationFile(observationPath, configurationPath).status;
#endif
    figures.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return figures;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<int> sizes;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--keep")
            keep = true;
        else
            sizes.push_back(std::atoi(argv[i]));
    }
    if (sizes.empty())
        sizes = {10000};
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("bench_gnss_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string configurationPath = (folder / "bench.cfg").string();
    engine::writeDefaultConfiguration(configurationPath);
    {
        std::ifstream in(configurationPath, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string local = "3D_LOCALE";
        const auto found = text.find(local);
        if (found != std::string::npos)
            text.replace(found, local.size(), "3D_ELLIPSOIDALE");
        std::ofstream(configurationPath, std::ios::binary) << text;
    }
    std::printf("GNSS benchmark: full processing in the ellipsoidal model\n");
    for (int size : sizes) {
        if (size < 4)
            continue;
        const std::string observationPath =
            (folder / ("gnss" + std::to_string(size) + ".iob")).string();
        const GeneratedNetwork network = generate(size, 20260101u + static_cast<unsigned>(size));
        std::ofstream(observationPath, std::ios::binary) << network.text;
        std::printf("\n%d points (%d fixed), %d vectors; load average %.2f\n", network.points,
                    network.fixedPoints, network.vectors, loadAverage());
        const ChildFigures run = processInChild(observationPath, configurationPath);
        std::printf("   full processing: %.2f s wall, peak memory %.0f MB, status %d; load "
                    "average %.2f\n",
                    run.seconds, static_cast<double>(run.peakKilobytes) / 1024.0, run.status,
                    loadAverage());
    }
    if (keep) {
        std::printf("\nFiles kept in %s\n", folder.string().c_str());
    } else {
        std::error_code error;
        std::filesystem::remove_all(folder, error);
    }
    return 0;
}
