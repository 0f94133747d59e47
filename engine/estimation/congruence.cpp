#include "engine/estimation/congruence.h"

#include "engine/base/text.h"
#include "engine/estimation/distributions.h"
#include "engine/model/referenceellipsoid.h"

#include <Eigen/Dense>

#include <algorithm>
#include <numeric>

namespace engine {

namespace {

// Rank decisions on the datum motions, relative to the largest pivot.
constexpr double kRankThreshold = 1e-10;

// The components a test of `dimension` reads: up; east and north; all three.
std::vector<int> testedComponents(int dimension)
{
    if (dimension == 1)
        return {2};
    if (dimension == 2)
        return {0, 1};
    return {0, 1, 2};
}

// The displacement of a point between two adjusted states, in the frame of its unknowns.
Eigen::Vector3d displacementOf(const Network &network, const Eigen::Vector3d &a,
                               const Eigen::Vector3d &b)
{
    if (!network.geodetic)
        return b - a;
    const Geographic g = toGeographic(network.surface, a);
    return localHorizon(g.latitude, g.longitude).transpose() * (b - a);
}

// The dense system of one test: the displacements and cofactors on the tested components of the
// points, and the datum motions there.
class CongruenceSystem
{
public:
    CongruenceSystem(Eigen::VectorXd d, Eigen::MatrixXd q, Eigen::MatrixXd g, int width)
        : m_d(std::move(d))
        , m_q(std::move(q))
        , m_g(std::move(g))
        , m_width(width)
    {}

    // Omega and h over the points `set` (indices of the tested points).
    std::pair<double, int> omega(const std::vector<int> &set) const
    {
        std::vector<int> rows;
        for (int p : set)
            for (int c = 0; c < m_width; ++c)
                rows.push_back(p * m_width + c);
        const auto k = static_cast<Eigen::Index>(rows.size());
        Eigen::VectorXd d(k);
        Eigen::MatrixXd q(k, k);
        Eigen::MatrixXd g(k, m_g.cols());
        for (Eigen::Index i = 0; i < k; ++i) {
            d(i) = m_d(rows[static_cast<std::size_t>(i)]);
            g.row(i) = m_g.row(rows[static_cast<std::size_t>(i)]);
            for (Eigen::Index j = 0; j < k; ++j)
                q(i, j) = m_q(rows[static_cast<std::size_t>(i)], rows[static_cast<std::size_t>(j)]);
        }
        Eigen::MatrixXd basis = Eigen::MatrixXd::Identity(k, k);
        if (g.cols() > 0) {
            Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(g);
            qr.setThreshold(kRankThreshold);
            const Eigen::MatrixXd full = qr.householderQ();
            basis = full.rightCols(k - qr.rank());
        }
        const Eigen::Index h = basis.cols();
        if (h == 0)
            return {0.0, 0};
        const Eigen::VectorXd y = basis.transpose() * d;
        const Eigen::MatrixXd m = basis.transpose() * q * basis;
        const Eigen::LDLT<Eigen::MatrixXd> ldlt(m);
        return {y.dot(ldlt.solve(y)), static_cast<int>(h)};
    }

private:
    Eigen::VectorXd m_d;
    Eigen::MatrixXd m_q;
    Eigen::MatrixXd m_g;
    int m_width;
};

class Comparison
{
public:
    Comparison(const EpochResult &a, const EpochResult &b, const EpochOptions &options,
               EpochComparison &out)
        : m_a(a)
        , m_b(b)
        , m_options(options)
        , m_out(out)
    {}

    void run()
    {
        const Statistics &sa = *m_a.statistics;
        const Statistics &sb = *m_b.statistics;
        m_out.knownVariance = !sa.scaled && !sb.scaled;
        m_out.degreesOfFreedom = sa.degreesOfFreedom + sb.degreesOfFreedom;
        if (!m_out.knownVariance && m_out.degreesOfFreedom > 0)
            m_out.varianceFactor =
                (sa.weightedSquares + sb.weightedSquares) / m_out.degreesOfFreedom;
        displacements();
        if (!m_options.congruence)
            return;
        for (int dimension = 1; dimension <= 3; ++dimension) {
            if (m_options.dimensions[static_cast<std::size_t>(dimension - 1)])
                m_out.tests.push_back(test(dimension));
        }
    }

private:
    static std::vector<int> unknownsOf(const Unknowns &unknowns, int point,
                                       const std::vector<int> &components)
    {
        std::vector<int> list;
        for (int c : components)
            list.push_back(
                unknowns.point[static_cast<std::size_t>(point)][static_cast<std::size_t>(c)]);
        return list;
    }

    static Eigen::MatrixXd cofactors(const EpochResult &epoch, const std::vector<int> &unknowns)
    {
        if (!epoch.statistics->inverse)
            return Eigen::MatrixXd::Zero(static_cast<Eigen::Index>(unknowns.size()),
                                         static_cast<Eigen::Index>(unknowns.size()));
        return epoch.statistics->inverse->block(unknowns);
    }

    void displacements()
    {
        const Network &na = *m_a.network;
        const Network &nb = *m_b.network;
        const double scaleA = m_a.statistics->sigmaScale * m_a.statistics->sigmaScale;
        const double scaleB = m_b.statistics->sigmaScale * m_b.statistics->sigmaScale;
        for (std::size_t p = 0; p < na.points.size(); ++p) {
            const auto found = nb.pointIndex.find(na.points[p].name);
            if (found == nb.pointIndex.end())
                continue;
            PointDisplacement d;
            d.name = na.points[p].name;
            d.pointA = static_cast<int>(p);
            d.pointB = found->second;
            const auto &ua = m_a.outcome->unknowns.point[p];
            const auto &ub = m_b.outcome->unknowns.point[static_cast<std::size_t>(d.pointB)];
            bool any = false;
            for (std::size_t c = 0; c < 3; ++c) {
                d.estimated[c] = ua[c] >= 0 && ub[c] >= 0;
                any = any || d.estimated[c];
            }
            if (!any)
                continue;
            d.displacement =
                displacementOf(na, m_a.outcome->state.coordinates[p],
                               m_b.outcome->state.coordinates[static_cast<std::size_t>(d.pointB)]);
            d.covariance = scaleA * cofactors(m_a, {ua.begin(), ua.end()}) +
                           scaleB * cofactors(m_b, {ub.begin(), ub.end()});
            m_out.displacements.push_back(d);
        }
    }

    double critical(int h) const
    {
        const double q = 1.0 - m_options.confidence;
        if (m_out.knownVariance || m_out.degreesOfFreedom <= 0)
            return chiSquareUpperQuantile(q, h) / h;
        return fisherUpperQuantile(q, h, m_out.degreesOfFreedom);
    }

    double statistic(double omega, int h) const { return omega / (h * m_out.varianceFactor); }

    CongruenceTest test(int dimension)
    {
        CongruenceTest t;
        t.dimension = dimension;
        const std::vector<int> components = testedComponents(dimension);
        const int width = static_cast<int>(components.size());
        std::vector<int> tested; // indices into the displacements
        for (std::size_t i = 0; i < m_out.displacements.size(); ++i) {
            const PointDisplacement &d = m_out.displacements[i];
            if (std::all_of(components.begin(), components.end(),
                            [&](int c) { return d.estimated[static_cast<std::size_t>(c)]; }))
                tested.push_back(static_cast<int>(i));
        }
        const auto size = static_cast<Eigen::Index>(tested.size()) * width;
        if (size > kMaxCongruenceComponents) {
            t.reason = std::to_string(size) + fr(" composantes, au-delà des ") +
                       std::to_string(kMaxCongruenceComponents) +
                       fr(" que ce test traite (ses cofacteurs sont pleins)");
            return t;
        }
        std::vector<int> ua;
        std::vector<int> ub;
        Eigen::VectorXd d(size);
        for (std::size_t i = 0; i < tested.size(); ++i) {
            const PointDisplacement &pd = m_out.displacements[static_cast<std::size_t>(tested[i])];
            const auto a = unknownsOf(m_a.outcome->unknowns, pd.pointA, components);
            const auto b = unknownsOf(m_b.outcome->unknowns, pd.pointB, components);
            ua.insert(ua.end(), a.begin(), a.end());
            ub.insert(ub.end(), b.begin(), b.end());
            for (int c = 0; c < width; ++c)
                d(static_cast<Eigen::Index>(i) * width + c) =
                    pd.displacement(components[static_cast<std::size_t>(c)]);
        }
        const Eigen::MatrixXd q = cofactors(m_a, ua) + cofactors(m_b, ub);
        Eigen::MatrixXd g(size, 0);
        if (const DatumTransform *datum = m_a.outcome->datum.get()) {
            g.resize(size, datum->basis.cols());
            for (Eigen::Index i = 0; i < size; ++i)
                g.row(i) = datum->basis.row(ua[static_cast<std::size_t>(i)]);
        }
        const CongruenceSystem system(d, q, g, width);

        std::vector<int> stable(tested.size());
        std::iota(stable.begin(), stable.end(), 0);
        std::vector<int> moved;
        while (true) {
            const auto [omega, h] = system.omega(stable);
            if (h <= 0) {
                if (t.steps.empty())
                    t.reason = fr("aucune composante testable au-delà du datum");
                break;
            }
            CongruenceStep step;
            step.dimension = h;
            step.test = statistic(omega, h);
            step.critical = critical(h);
            if (step.test <= step.critical) {
                t.steps.push_back(step);
                break;
            }
            double largest = -1.0;
            std::size_t worst = 0;
            for (std::size_t k = 0; k < stable.size(); ++k) {
                std::vector<int> others = stable;
                others.erase(others.begin() + static_cast<std::ptrdiff_t>(k));
                const double share = omega - system.omega(others).first;
                if (share > largest) {
                    largest = share;
                    worst = k;
                }
            }
            step.removed = tested[static_cast<std::size_t>(stable[worst])];
            t.steps.push_back(step);
            moved.push_back(stable[worst]);
            stable.erase(stable.begin() + static_cast<std::ptrdiff_t>(worst));
        }
        t.done = !t.steps.empty();
        if (!t.done)
            return t;
        const auto [omegaStable, hStable] = system.omega(stable);
        for (std::size_t k = 0; k < tested.size(); ++k) {
            const int index = static_cast<int>(k);
            const bool isMoved = std::find(moved.begin(), moved.end(), index) != moved.end();
            std::vector<int> with = stable;
            std::pair<double, int> without{omegaStable, hStable};
            if (isMoved)
                with.push_back(index);
            else
                without = system.omega([&] {
                    std::vector<int> others = stable;
                    others.erase(std::find(others.begin(), others.end(), index));
                    return others;
                }());
            const auto [omegaWith, hWith] = system.omega(with);
            PointVerdict v;
            v.displacement = tested[k];
            v.moved = isMoved;
            v.dimension = hWith - without.second;
            if (v.dimension > 0) {
                v.test = statistic(std::max(omegaWith - without.first, 0.0), v.dimension);
                v.critical = critical(v.dimension);
            }
            t.points.push_back(v);
        }
        return t;
    }

    const EpochResult &m_a;
    const EpochResult &m_b;
    const EpochOptions &m_options;
    EpochComparison &m_out;
};

} // namespace

EpochComparison compareEpochs(const EpochResult &a, const EpochResult &b,
                              const EpochOptions &options)
{
    EpochComparison out;
    Comparison(a, b, options, out).run();
    return out;
}

} // namespace engine
