#ifndef TESTS_ENGINE_DENSEGRID_H
#define TESTS_ENGINE_DENSEGRID_H

#include "engine/model/angles.h"
#include "observationlines.h"

#include <Eigen/Core>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

// A dense survey grid generated from true coordinates: the shape of a national densification,
// small enough for a test. Points are named P0, P1, ... row by row.
namespace densegrid {

using namespace observationlines;

// Standard normal draws from a seeded generator, in a fixed sequence.
class Noise
{
public:
    explicit Noise(unsigned seed)
        : m_random(seed)
    {}
    double operator()() { return m_unit(m_random); }

private:
    std::mt19937 m_random;
    std::normal_distribution<double> m_unit{0.0, 1.0};
};

inline std::string pointName(int index)
{
    return "P" + std::to_string(index);
}

// A jittered grid of `side` x `side` points `step` metres apart on rolling terrain.
inline std::vector<Eigen::Vector3d> truth(int side, double step, Noise &noise)
{
    std::vector<Eigen::Vector3d> points;
    for (int r = 0; r < side; ++r) {
        for (int c = 0; c < side; ++c) {
            const double e = c * step + 40.0 * noise();
            const double n = r * step + 40.0 * noise();
            points.emplace_back(e, n, 300.0 + 40.0 * std::sin(e / 900.0) * std::cos(n / 1300.0));
        }
    }
    return points;
}

// Each station's sights to every neighbour within two grid steps: a direction, a slope distance
// and a zenith angle, from the true coordinates with noise (20 dmgon; 2 mm + 2 ppm).
inline void appendSights(std::vector<std::string> &lines, const std::vector<Eigen::Vector3d> &truth,
                         int side, Noise &noise)
{
    const double angleSigma = 20.0; // decimilligrades
    const double angleRadians = angleSigma * 1e-4 * engine::kPi / 200.0;
    for (int r = 0; r < side; ++r) {
        for (int c = 0; c < side; ++c) {
            const int s = r * side + c;
            lines.push_back(record("DSET"));
            for (int tr = std::max(0, r - 2); tr <= std::min(side - 1, r + 2); ++tr) {
                for (int tc = std::max(0, c - 2); tc <= std::min(side - 1, c + 2); ++tc) {
                    if ((tr - r) * (tr - r) + (tc - c) * (tc - c) > 4 || (tr == r && tc == c))
                        continue;
                    const int t = tr * side + tc;
                    const Eigen::Vector3d d =
                        truth[static_cast<std::size_t>(t)] - truth[static_cast<std::size_t>(s)];
                    const double h = std::hypot(d.x(), d.y());
                    const double length = d.norm();
                    lines.push_back(angle("DIR", "", pointName(s), pointName(t),
                                          grades(std::atan2(d.x(), d.y()) + angleRadians * noise()),
                                          number(angleSigma, 1)));
                    lines.push_back(dist("DIS", pointName(s), pointName(t),
                                         length + (0.002 + 2e-6 * length) * noise(), ""));
                    lines.push_back(angle("ZANG", "", pointName(s), pointName(t),
                                          grades(std::atan2(h, d.z()) + angleRadians * noise()),
                                          number(angleSigma, 1)));
                }
            }
        }
    }
}

} // namespace densegrid

#endif // TESTS_ENGINE_DENSEGRID_H
