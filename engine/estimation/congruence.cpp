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

// A symmetric matrix's pseudo-inverse and rank, eigenvalues below kRankThreshold times the
// largest counting as zero.
struct PseudoInverse
{
    Eigen::MatrixXd inverse;
    int rank = 0;
};

PseudoInverse pseudoInverse(const Eigen::MatrixXd &m)
{
    PseudoInverse out;
    out.inverse = Eigen::MatrixXd::Zero(m.rows(), m.cols());
    if (m.size() == 0)
        return out;
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eigen(m);
    const Eigen::VectorXd &values = eigen.eigenvalues();
    const double largest = values.cwiseAbs().maxCoeff();
    if (!(largest > 0.0))
        return out;
    const Eigen::MatrixXd &vectors = eigen.eigenvectors();
    for (Eigen::Index i = 0; i < values.size(); ++i) {
        if (values(i) <= kRankThreshold * largest)
            continue;
        ++out.rank;
        out.inverse += vectors.col(i) * (vectors.col(i).transpose() / values(i));
    }
    return out;
}

// The reduced weights R of the tested components and z = R d, from which the form of any stable
// set follows by small updates.
class ReducedSystem
{
public:
    ReducedSystem(const Eigen::VectorXd &d, Eigen::MatrixXd q, const Eigen::MatrixXd &g, int width)
        : m_width(width)
    {
        const Eigen::Index n = d.size();
        int datumRank = 0;
        if (g.cols() > 0) {
            // Q + c G D^2 G' has the same N' Q N for every c and D, and is regular where Q is
            // singular only along the datum motions; D brings G's columns to unit length and c to
            // the size of Q's diagonal, so that the sum stays well conditioned.
            Eigen::MatrixXd scaled = g;
            for (Eigen::Index c = 0; c < scaled.cols(); ++c) {
                const double norm = scaled.col(c).norm();
                if (norm > 0.0)
                    scaled.col(c) /= norm;
            }
            const double size = n > 0 ? std::max(q.trace() / static_cast<double>(n), 0.0) : 0.0;
            q.noalias() += (size > 0.0 ? size : 1.0) * scaled * scaled.transpose();
        }
        {
            const Eigen::LDLT<Eigen::MatrixXd> ldlt(q);
            q.resize(0, 0);
            m_r = ldlt.solve(Eigen::MatrixXd::Identity(n, n));
            if (g.cols() > 0) {
                const Eigen::MatrixXd wg = ldlt.solve(g);
                const PseudoInverse middle = pseudoInverse(g.transpose() * wg);
                datumRank = middle.rank;
                m_r.noalias() -= wg * middle.inverse * wg.transpose();
            }
        }
        m_r = 0.5 * (m_r + m_r.transpose()).eval();
        m_z = m_r * d;
        m_omega = d.dot(m_z);
        m_dimension = static_cast<int>(n) - datumRank;
    }

    int pointCount() const { return static_cast<int>(m_z.size()) / m_width; }

    // Omega and h of the tested points but `moved`.
    std::pair<double, int> stable(const std::vector<int> &moved) const
    {
        const Moved m(*this, moved);
        return {m_omega - m.share, m_dimension - m.rank};
    }

    // What each point of `candidates` adds to Omega and h of the tested points but `moved`,
    // leaving it out of them as well.
    std::vector<std::pair<double, int>> shares(const std::vector<int> &moved,
                                               const std::vector<int> &candidates) const
    {
        const Moved m(*this, moved);
        const std::vector<Eigen::Index> rows = components(moved);
        // R_.M (R_MM)^+, the rows of each candidate taken as needed.
        Eigen::MatrixXd coupling(m_r.rows(), static_cast<Eigen::Index>(rows.size()));
        for (std::size_t k = 0; k < rows.size(); ++k)
            coupling.col(static_cast<Eigen::Index>(k)) = m_r.col(rows[k]);
        const Eigen::MatrixXd through = coupling * m.inverse;
        std::vector<std::pair<double, int>> out;
        out.reserve(candidates.size());
        for (int p : candidates) {
            const Eigen::Index first = static_cast<Eigen::Index>(p) * m_width;
            Eigen::VectorXd u = m_z.segment(first, m_width);
            Eigen::MatrixXd c = m_r.block(first, first, m_width, m_width);
            if (!rows.empty()) {
                u.noalias() -= through.middleRows(first, m_width) * m.z;
                c.noalias() -= through.middleRows(first, m_width) *
                               coupling.middleRows(first, m_width).transpose();
            }
            const PseudoInverse inverse = pseudoInverse(0.5 * (c + c.transpose()));
            out.emplace_back(std::max(u.dot(inverse.inverse * u), 0.0), inverse.rank);
        }
        return out;
    }

private:
    // z_M' (R_MM)^+ z_M and rank R_MM for the moved points M.
    struct Moved
    {
        Moved(const ReducedSystem &system, const std::vector<int> &moved)
        {
            const std::vector<Eigen::Index> rows = system.components(moved);
            const auto k = static_cast<Eigen::Index>(rows.size());
            Eigen::MatrixXd block(k, k);
            z.resize(k);
            for (Eigen::Index i = 0; i < k; ++i) {
                z(i) = system.m_z(rows[static_cast<std::size_t>(i)]);
                for (Eigen::Index j = 0; j < k; ++j)
                    block(i, j) = system.m_r(rows[static_cast<std::size_t>(i)],
                                             rows[static_cast<std::size_t>(j)]);
            }
            PseudoInverse p = pseudoInverse(block);
            inverse = std::move(p.inverse);
            rank = p.rank;
            share = k > 0 ? std::max(z.dot(inverse * z), 0.0) : 0.0;
        }

        Eigen::VectorXd z;
        Eigen::MatrixXd inverse;
        double share = 0.0;
        int rank = 0;
    };

    std::vector<Eigen::Index> components(const std::vector<int> &points) const
    {
        std::vector<Eigen::Index> rows;
        for (int p : points)
            for (int c = 0; c < m_width; ++c)
                rows.push_back(static_cast<Eigen::Index>(p) * m_width + c);
        return rows;
    }

    int m_width;
    Eigen::MatrixXd m_r;
    Eigen::VectorXd m_z;
    double m_omega = 0.0;
    int m_dimension = 0;
};

} // namespace

double CongruenceLevel::statistic(double omega, int h) const
{
    return omega / (h * varianceFactor);
}

double CongruenceLevel::critical(int h) const
{
    const double q = 1.0 - confidence;
    if (knownVariance || degreesOfFreedom <= 0)
        return chiSquareUpperQuantile(q, h) / h;
    return fisherUpperQuantile(q, h, degreesOfFreedom);
}

CongruenceTest localise(int dimension, const Eigen::VectorXd &d, Eigen::MatrixXd q,
                        const Eigen::MatrixXd &g, const CongruenceLevel &level)
{
    CongruenceTest t;
    t.dimension = dimension;
    const int width = static_cast<int>(testedComponents(dimension).size());
    const ReducedSystem system(d, std::move(q), g, width);
    std::vector<int> stable(static_cast<std::size_t>(system.pointCount()));
    std::iota(stable.begin(), stable.end(), 0);
    std::vector<int> moved;
    while (true) {
        const auto [omega, h] = system.stable(moved);
        if (h <= 0) {
            if (t.steps.empty())
                t.reason = fr("aucune composante testable au-delà du datum");
            break;
        }
        CongruenceStep step;
        step.dimension = h;
        step.test = level.statistic(omega, h);
        step.critical = level.critical(h);
        if (step.test <= step.critical) {
            t.steps.push_back(step);
            break;
        }
        const std::vector<std::pair<double, int>> shares = system.shares(moved, stable);
        std::size_t worst = 0;
        for (std::size_t k = 1; k < shares.size(); ++k) {
            if (shares[k].first > shares[worst].first)
                worst = k;
        }
        step.removed = stable[worst];
        t.steps.push_back(step);
        moved.push_back(stable[worst]);
        stable.erase(stable.begin() + static_cast<std::ptrdiff_t>(worst));
    }
    t.done = !t.steps.empty();
    if (!t.done)
        return t;
    const std::vector<std::pair<double, int>> stableShares = system.shares(moved, stable);
    const auto [omegaStable, hStable] = system.stable(moved);
    for (int p = 0; p < system.pointCount(); ++p) {
        PointVerdict v;
        v.displacement = p;
        const auto isMoved = std::find(moved.begin(), moved.end(), p);
        v.moved = isMoved != moved.end();
        double share = 0.0;
        if (v.moved) {
            std::vector<int> others = moved;
            others.erase(others.begin() + (isMoved - moved.begin()));
            const auto [omegaWith, hWith] = system.stable(others);
            share = omegaWith - omegaStable;
            v.dimension = hWith - hStable;
        } else {
            const auto at = std::find(stable.begin(), stable.end(), p) - stable.begin();
            share = stableShares[static_cast<std::size_t>(at)].first;
            v.dimension = stableShares[static_cast<std::size_t>(at)].second;
        }
        if (v.dimension > 0) {
            v.test = level.statistic(std::max(share, 0.0), v.dimension);
            v.critical = level.critical(v.dimension);
        }
        t.points.push_back(v);
    }
    return t;
}

namespace {

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
        toStablePoints();
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

    // The S-transformation of the displacements and their covariance onto the points that the
    // test of the highest dimension made keeps stable: d' = (I - G T) d with T = (G_S' G_S)^+ G_S'
    // on the rows of the stable points, the minimum trace over them. Only a free datum moves so.
    void toStablePoints()
    {
        const DatumTransform *datum = m_a.outcome->datum.get();
        const CongruenceTest *decisive = nullptr;
        for (const CongruenceTest &t : m_out.tests) {
            if (t.done)
                decisive = &t;
        }
        if (!datum || datum->basis.cols() == 0 || !decisive)
            return;
        std::vector<bool> stable(m_out.displacements.size(), false);
        for (const PointVerdict &v : decisive->points)
            stable[static_cast<std::size_t>(v.displacement)] = !v.moved;
        std::vector<int> ua;
        std::vector<int> ub;
        std::vector<std::pair<std::size_t, int>> at; // (displacement, component) of each row
        for (std::size_t i = 0; i < m_out.displacements.size(); ++i) {
            const PointDisplacement &pd = m_out.displacements[i];
            for (int c = 0; c < 3; ++c) {
                if (!pd.estimated[static_cast<std::size_t>(c)])
                    continue;
                ua.push_back(unknownsOf(m_a.outcome->unknowns, pd.pointA, {c}).front());
                ub.push_back(unknownsOf(m_b.outcome->unknowns, pd.pointB, {c}).front());
                at.emplace_back(i, c);
            }
        }
        const auto n = static_cast<Eigen::Index>(at.size());
        if (n > kMaxCongruenceComponents)
            return;
        Eigen::MatrixXd g(n, datum->basis.cols());
        Eigen::MatrixXd onStable = Eigen::MatrixXd::Zero(n, datum->basis.cols());
        Eigen::VectorXd d(n);
        for (Eigen::Index r = 0; r < n; ++r) {
            const auto [i, c] = at[static_cast<std::size_t>(r)];
            g.row(r) = datum->basis.row(ua[static_cast<std::size_t>(r)]);
            if (stable[i])
                onStable.row(r) = g.row(r);
            d(r) = m_out.displacements[i].displacement(c);
        }
        // The stable points must hold every datum motion that the epochs leave free.
        const PseudoInverse whole = pseudoInverse(g.transpose() * g);
        const PseudoInverse held = pseudoInverse(onStable.transpose() * onStable);
        if (held.rank < whole.rank)
            return;
        const double scaleA = m_a.statistics->sigmaScale * m_a.statistics->sigmaScale;
        const double scaleB = m_b.statistics->sigmaScale * m_b.statistics->sigmaScale;
        Eigen::MatrixXd q = scaleA * cofactors(m_a, ua);
        q += scaleB * cofactors(m_b, ub);
        // S = I - G T with T of the datum's few rows: the blocks of S Q S' without forming S.
        const Eigen::MatrixXd t = held.inverse * onStable.transpose();
        const Eigen::VectorXd moved = d - g * (t * d);
        const Eigen::MatrixXd tq = t * q;
        const Eigen::MatrixXd tqt = tq * t.transpose();
        for (Eigen::Index r = 0; r < n; ++r) {
            const auto [i, c] = at[static_cast<std::size_t>(r)];
            PointDisplacement &pd = m_out.displacements[i];
            pd.displacement(c) = moved(r);
            for (Eigen::Index k = r; k >= 0 && at[static_cast<std::size_t>(k)].first == i; --k) {
                const int e = at[static_cast<std::size_t>(k)].second;
                const double v = q(r, k) - g.row(r).dot(tq.col(k)) - g.row(k).dot(tq.col(r)) +
                                 g.row(r).dot(tqt * g.row(k).transpose());
                pd.covariance(c, e) = v;
                pd.covariance(e, c) = v;
            }
        }
        m_out.stableDatum = decisive->dimension;
    }

    CongruenceTest test(int dimension)
    {
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
            CongruenceTest t;
            t.dimension = dimension;
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
        Eigen::MatrixXd q = cofactors(m_a, ua);
        q += cofactors(m_b, ub);
        Eigen::MatrixXd g(size, 0);
        if (const DatumTransform *datum = m_a.outcome->datum.get()) {
            g.resize(size, datum->basis.cols());
            for (Eigen::Index i = 0; i < size; ++i)
                g.row(i) = datum->basis.row(ua[static_cast<std::size_t>(i)]);
        }
        const CongruenceLevel level{m_options.confidence, m_out.knownVariance, m_out.varianceFactor,
                                    m_out.degreesOfFreedom};
        CongruenceTest t = localise(dimension, d, std::move(q), g, level);
        for (CongruenceStep &step : t.steps) {
            if (step.removed >= 0)
                step.removed = tested[static_cast<std::size_t>(step.removed)];
        }
        for (PointVerdict &v : t.points)
            v.displacement = tested[static_cast<std::size_t>(v.displacement)];
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
