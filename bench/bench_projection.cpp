// Benchmark of the map projections: 1,000,000 points converted from geographic to projected
// coordinates and back with each method, on GRS80, and the same points between geographic and
// geocentric coordinates for comparison. Points are drawn at random within 2 degrees of each
// projection's origin. Prints, per method, the time of each direction (total and per point) and
// the largest distance between a point and its round trip.
//
//   bench_projection [COUNT]   default 1000000

#include "engine/model/projection.h"
#include "engine/model/referenceellipsoid.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from)
{
    return std::chrono::duration<double>(Clock::now() - from).count();
}

engine::ProjectionDefinition definition(engine::ProjectionMethod method, double latitude,
                                        double longitude)
{
    engine::ProjectionDefinition d;
    d.method = method;
    d.latitudeOfOrigin = latitude * kDeg;
    d.longitudeOfOrigin = longitude * kDeg;
    d.falseNorthing = 200000.0;
    d.falseEasting = 600000.0;
    d.scale = 0.9996;
    d.firstParallel = (latitude - 2.5) * kDeg;
    d.secondParallel = (latitude + 2.5) * kDeg;
    d.azimuth = 35.0 * kDeg;
    return d;
}

} // namespace

int main(int argc, char **argv)
{
    const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000000;
    if (count <= 0) {
        std::fprintf(stderr, "usage: bench_projection [COUNT]\n");
        return 2;
    }
    const engine::ReferenceEllipsoid grs80;
    struct Case
    {
        const char *label;
        engine::ProjectionMethod method;
    };
    const Case cases[] = {
        {"transverse Mercator (TMER)", engine::ProjectionMethod::TransverseMercator},
        {"Lambert conformal conic (LAMB)", engine::ProjectionMethod::LambertConic},
        {"oblique Mercator (OMER)", engine::ProjectionMethod::ObliqueMercator},
        {"oblique stereographic (STGR)", engine::ProjectionMethod::ObliqueStereographic}};
    const double originLatitude = 46.5;
    const double originLongitude = 3.0;
    std::mt19937_64 random(20);
    std::uniform_real_distribution<double> spread(-2.0, 2.0);
    std::vector<engine::Geographic> points(static_cast<std::size_t>(count));
    for (engine::Geographic &g : points) {
        g.latitude = (originLatitude + spread(random)) * kDeg;
        g.longitude = (originLongitude + spread(random)) * kDeg;
        g.height = 300.0;
    }
    std::printf("%ld points within 2 degrees of N%.1f E%.1f, GRS80\n", count, originLatitude,
                originLongitude);
    std::printf("%-32s %12s %12s %12s %12s %14s\n", "method", "forward s", "ns/point", "inverse s",
                "ns/point", "round trip m");
    std::vector<engine::GridPosition> grid(points.size());
    std::vector<engine::Geographic> back(points.size());
    for (const Case &c : cases) {
        std::string reason;
        const auto projection = engine::Projection::make(
            grs80, definition(c.method, originLatitude, originLongitude), reason);
        if (!projection) {
            std::fprintf(stderr, "%s: %s\n", c.label, reason.c_str());
            return 1;
        }
        auto start = Clock::now();
        for (std::size_t i = 0; i < points.size(); ++i)
            grid[i] = projection->forward(points[i].latitude, points[i].longitude).value();
        const double forward = seconds(start);
        start = Clock::now();
        for (std::size_t i = 0; i < points.size(); ++i)
            back[i] = projection->inverse(grid[i].north, grid[i].east).value();
        const double inverse = seconds(start);
        double worst = 0.0;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const double dn = (back[i].latitude - points[i].latitude) * 6.4e6;
            const double de =
                (back[i].longitude - points[i].longitude) * 6.4e6 * std::cos(points[i].latitude);
            worst = std::max(worst, std::hypot(dn, de));
        }
        const double n = static_cast<double>(count);
        std::printf("%-32s %12.3f %12.0f %12.3f %12.0f %14.2e\n", c.label, forward,
                    forward / n * 1e9, inverse, inverse / n * 1e9, worst);
    }
    std::vector<Eigen::Vector3d> xyz(points.size());
    auto start = Clock::now();
    for (std::size_t i = 0; i < points.size(); ++i)
        xyz[i] = engine::toGeocentric(grs80, points[i]);
    const double forward = seconds(start);
    start = Clock::now();
    for (std::size_t i = 0; i < points.size(); ++i)
        back[i] = engine::toGeographic(grs80, xyz[i]);
    const double inverse = seconds(start);
    const double n = static_cast<double>(count);
    std::printf("%-32s %12.3f %12.0f %12.3f %12.0f\n", "geocentric XYZ (for comparison)", forward,
                forward / n * 1e9, inverse, inverse / n * 1e9);
    return 0;
}
