#include "engine/estimation/datum.h"

#include "engine/base/text.h"
#include "engine/solver/supernodalcholesky.h"

#include <Eigen/Eigenvalues>
#include <Eigen/QR>

#include <cmath>

namespace engine {

namespace {

using Design = Eigen::SparseMatrix<double, Eigen::RowMajor>;

// Below this share of the largest eigenvalue of their Gram matrix, combinations of candidates are
// no motion at all (a rotation about an axis through every free point, the 3D scale of a flat
// network, the same as its plan scale).
constexpr double kSpanTolerance = 1e-12;
// A combination whose image A g is this small a share of the size of its terms is in the null
// space: the square root of the factor's pivot bound.
constexpr double kNullTolerance = 1e-5;
// Below this share of a unit vector left out of the free span, a candidate is not free alone.
constexpr double kNamedTolerance = 1e-6;

bool hasUnknown(const Unknowns &unknowns, std::size_t point)
{
    const auto &u = unknowns.point[point];
    return u[0] >= 0 || u[1] >= 0 || u[2] >= 0;
}

std::vector<DatumParameter> candidateKinds(const Network &network, const Unknowns &unknowns,
                                           const State &state, bool geodetic)
{
    if (geodetic)
        return {DatumParameter::TranslationX, DatumParameter::TranslationY,
                DatumParameter::TranslationZ, DatumParameter::RotationX,
                DatumParameter::RotationY,    DatumParameter::RotationZ,
                DatumParameter::Scale};
    // A flat network's 3D scale is its plan scale: only the latter is named.
    double lowest = 0.0;
    double highest = 0.0;
    bool first = true;
    for (std::size_t p = 0; p < network.points.size(); ++p) {
        if (!hasUnknown(unknowns, p))
            continue;
        const double up = state.coordinates[p].z();
        lowest = first ? up : std::min(lowest, up);
        highest = first ? up : std::max(highest, up);
        first = false;
    }
    std::vector<DatumParameter> kinds = {
        DatumParameter::TranslationEast,  DatumParameter::TranslationNorth,
        DatumParameter::TranslationUp,    DatumParameter::RotationVertical,
        DatumParameter::RotationEastAxis, DatumParameter::RotationNorthAxis,
        DatumParameter::PlanScale};
    if (highest > lowest)
        kinds.push_back(DatumParameter::Scale);
    return kinds;
}

// The displacement of a point at `relative` (to the centroid) by a unit of `kind`, in the frame
// of the coordinates (east, north, up or geocentric).
Eigen::Vector3d motion(DatumParameter kind, const Eigen::Vector3d &r)
{
    switch (kind) {
    case DatumParameter::TranslationEast:
    case DatumParameter::TranslationX:
        return Eigen::Vector3d::UnitX();
    case DatumParameter::TranslationNorth:
    case DatumParameter::TranslationY:
        return Eigen::Vector3d::UnitY();
    case DatumParameter::TranslationUp:
    case DatumParameter::TranslationZ:
        return Eigen::Vector3d::UnitZ();
    case DatumParameter::RotationEastAxis:
    case DatumParameter::RotationX:
        return Eigen::Vector3d::UnitX().cross(r);
    case DatumParameter::RotationNorthAxis:
    case DatumParameter::RotationY:
        return Eigen::Vector3d::UnitY().cross(r);
    case DatumParameter::RotationVertical:
    case DatumParameter::RotationZ:
        return Eigen::Vector3d::UnitZ().cross(r);
    case DatumParameter::Scale:
        return r;
    case DatumParameter::PlanScale:
        return Eigen::Vector3d(r.x(), r.y(), 0.0);
    }
    return Eigen::Vector3d::Zero();
}

// The points that observations reach.
std::vector<bool> observedPoints(const Network &network)
{
    std::vector<bool> observed(network.points.size(), false);
    for (const Observation &o : network.observations) {
        observed[static_cast<std::size_t>(o.station)] = true;
        observed[static_cast<std::size_t>(o.target)] = true;
    }
    return observed;
}

// The candidates as columns over the unknowns; the orientations follow each motion as closely as
// the directions of their sets allow. With `fixedRows`, also their rows at the fixed coordinates
// of the observed points, which a motion of the datum must leave still.
Eigen::MatrixXd candidateMatrix(const std::vector<DatumParameter> &kinds, const Network &network,
                                const Unknowns &unknowns, const State &state,
                                const std::vector<EllipsoidalPosition> *positions,
                                const DesignSystem &system, Eigen::MatrixXd *fixedRows = nullptr)
{
    const auto k = static_cast<Eigen::Index>(kinds.size());
    Eigen::MatrixXd g = Eigen::MatrixXd::Zero(unknowns.count, k);
    const std::vector<bool> observed = observedPoints(network);
    auto at = [&](std::size_t p) {
        return positions ? (*positions)[p].geocentric : state.coordinates[p];
    };
    Eigen::Vector3d centroid = Eigen::Vector3d::Zero();
    int count = 0;
    for (std::size_t p = 0; p < network.points.size(); ++p) {
        if (observed[p]) {
            centroid += at(p);
            ++count;
        }
    }
    if (count == 0)
        return g;
    centroid /= count;
    std::vector<Eigen::RowVectorXd> fixed;
    for (std::size_t p = 0; p < network.points.size(); ++p) {
        if (!observed[p])
            continue;
        const Eigen::Vector3d r = at(p) - centroid;
        Eigen::Matrix<double, 3, Eigen::Dynamic> d(3, k);
        for (Eigen::Index j = 0; j < k; ++j) {
            d.col(j) = motion(kinds[static_cast<std::size_t>(j)], r);
            if (positions)
                d.col(j) = (*positions)[p].horizon.transpose() * d.col(j);
        }
        for (int c = 0; c < 3; ++c) {
            const int u = unknowns.point[p][static_cast<std::size_t>(c)];
            if (u >= 0)
                g.row(u) = d.row(c);
            else
                fixed.push_back(d.row(c));
        }
    }
    if (fixedRows) {
        fixedRows->resize(static_cast<Eigen::Index>(fixed.size()), k);
        for (std::size_t r = 0; r < fixed.size(); ++r)
            fixedRows->row(static_cast<Eigen::Index>(r)) = fixed[r];
    }
    // Per set, the orientation that cancels the motion of its directions in the least squares.
    const int sets = unknowns.orientationCount;
    if (sets == 0)
        return g;
    Eigen::MatrixXd numerator = Eigen::MatrixXd::Zero(sets, k);
    Eigen::VectorXd denominator = Eigen::VectorXd::Zero(sets);
    for (Eigen::Index i = 0; i < system.design.rows(); ++i) {
        int set = -1;
        double coefficient = 0.0;
        Eigen::RowVectorXd moved = Eigen::RowVectorXd::Zero(k);
        for (Design::InnerIterator it(system.design, i); it; ++it) {
            if (it.col() < unknowns.coordinateCount) {
                moved += it.value() * g.row(it.col());
            } else if (it.col() < unknowns.coordinateCount + sets) {
                set = static_cast<int>(it.col()) - unknowns.coordinateCount;
                coefficient = it.value();
            }
        }
        if (set < 0)
            continue;
        const double w = system.weights(i) > 0.0 ? system.weights(i) : 1.0;
        numerator.row(set) += w * coefficient * moved;
        denominator(set) += w * coefficient * coefficient;
    }
    for (int s = 0; s < sets; ++s) {
        if (denominator(s) > 0.0)
            g.row(unknowns.coordinateCount + s) = -numerator.row(s) / denominator(s);
    }
    return g;
}

// Per column of `g`: the weighted norm of A g, and that of |A| |g|, the size of its terms.
void images(const DesignSystem &system, const Eigen::MatrixXd &g, Eigen::MatrixXd &gram,
            Eigen::VectorXd &sizes)
{
    const Eigen::MatrixXd b = system.design * g;
    Eigen::MatrixXd magnitude = Eigen::MatrixXd::Zero(b.rows(), b.cols());
    for (Eigen::Index i = 0; i < system.design.rows(); ++i) {
        for (Design::InnerIterator it(system.design, i); it; ++it)
            magnitude.row(i) += std::fabs(it.value()) * g.row(it.col()).cwiseAbs();
    }
    const Eigen::VectorXd &w = system.weights;
    gram = b.transpose() * w.asDiagonal() * b;
    sizes = (magnitude.array().square().colwise() * w.array()).colwise().sum().transpose();
    for (const WeightBlock &block : system.blocks) {
        const Eigen::MatrixXd rows = b.middleRows(block.first, block.size());
        gram += rows.transpose() * block.weight * rows;
        const Eigen::MatrixXd sized = magnitude.middleRows(block.first, block.size());
        sizes += (sized.array().square().colwise() * block.weight.diagonal().array())
                     .colwise()
                     .sum()
                     .transpose()
                     .matrix();
    }
    sizes = sizes.cwiseSqrt();
}

// An orthonormal basis of the columns of `m` (rank by kNamedTolerance).
Eigen::MatrixXd orthonormalColumns(const Eigen::MatrixXd &m)
{
    if (m.cols() == 0)
        return m;
    const Eigen::JacobiSVD<Eigen::MatrixXd> svd(m, Eigen::ComputeThinU);
    const Eigen::VectorXd &s = svd.singularValues();
    Eigen::Index rank = 0;
    while (rank < s.size() && s(rank) > kNamedTolerance * s(0))
        ++rank;
    return svd.matrixU().leftCols(rank);
}

// Whether `v` (not zero) lies in the span of the orthonormal columns.
bool inSpan(const Eigen::MatrixXd &orthonormal, const Eigen::VectorXd &v)
{
    const double length = v.norm();
    if (!(length > 0.0))
        return false;
    return (v - orthonormal * (orthonormal.transpose() * v)).norm() < kNamedTolerance * length;
}

bool isTranslation(DatumParameter kind)
{
    switch (kind) {
    case DatumParameter::TranslationEast:
    case DatumParameter::TranslationNorth:
    case DatumParameter::TranslationUp:
    case DatumParameter::TranslationX:
    case DatumParameter::TranslationY:
    case DatumParameter::TranslationZ:
        return true;
    default:
        break;
    }
    return false;
}

} // namespace

std::string datumParameterText(DatumParameter parameter)
{
    switch (parameter) {
    case DatumParameter::TranslationEast:
        return fr("la translation en est");
    case DatumParameter::TranslationNorth:
        return fr("la translation en nord");
    case DatumParameter::TranslationUp:
        return fr("la translation verticale");
    case DatumParameter::RotationVertical:
        return fr("la rotation autour de la verticale");
    case DatumParameter::RotationEastAxis:
        return fr("la rotation autour de l'axe est");
    case DatumParameter::RotationNorthAxis:
        return fr("la rotation autour de l'axe nord");
    case DatumParameter::Scale:
        return fr("l'échelle");
    case DatumParameter::PlanScale:
        return fr("l'échelle en planimétrie");
    case DatumParameter::TranslationX:
        return fr("la translation en X");
    case DatumParameter::TranslationY:
        return fr("la translation en Y");
    case DatumParameter::TranslationZ:
        return fr("la translation en Z");
    case DatumParameter::RotationX:
        return fr("la rotation autour de l'axe X");
    case DatumParameter::RotationY:
        return fr("la rotation autour de l'axe Y");
    case DatumParameter::RotationZ:
        return fr("la rotation autour de l'axe Z");
    }
    return std::string();
}

std::string DatumDefect::text() const
{
    std::string text;
    for (DatumParameter p : free)
        text += (text.empty() ? "" : ", ") + datumParameterText(p);
    const int others = size() - static_cast<int>(free.size());
    if (others > 0)
        text += (text.empty() ? "" : fr(" et ")) + std::to_string(others) +
                fr(" combinaison(s) de translations, rotations et échelle");
    return text;
}

DatumDefect detectDatumDefect(const Network &network, const Unknowns &unknowns, const State &state,
                              const std::vector<EllipsoidalPosition> *positions,
                              const DesignSystem &system)
{
    DatumDefect defect;
    defect.candidates = candidateKinds(network, unknowns, state, positions != nullptr);
    Eigen::MatrixXd fixed;
    const Eigen::MatrixXd g =
        candidateMatrix(defect.candidates, network, unknowns, state, positions, system, &fixed);
    const auto k = g.cols();
    defect.coefficients.resize(k, 0);
    // The motions the candidates span over all the coordinates, fixed or not, orthonormal.
    Eigen::MatrixXd coordinates(unknowns.coordinateCount + fixed.rows(), k);
    coordinates << g.topRows(unknowns.coordinateCount), fixed;
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> span(coordinates.transpose() *
                                                              coordinates);
    const Eigen::VectorXd &lengths = span.eigenvalues();
    if (k == 0 || !(lengths(k - 1) > 0.0))
        return defect;
    std::vector<Eigen::Index> kept;
    for (Eigen::Index j = 0; j < k; ++j) {
        if (lengths(j) > kSpanTolerance * lengths(k - 1))
            kept.push_back(j);
    }
    Eigen::MatrixXd t(k, static_cast<Eigen::Index>(kept.size()));
    for (std::size_t c = 0; c < kept.size(); ++c)
        t.col(static_cast<Eigen::Index>(c)) =
            span.eigenvectors().col(kept[c]) / std::sqrt(lengths(kept[c]));
    Eigen::MatrixXd gram;
    Eigen::VectorXd sizes;
    images(system, g * t, gram, sizes);
    // A motion of a fixed coordinate is seen in full, as by an exact observation of it.
    const Eigen::MatrixXd held = fixed * t;
    gram += held.transpose() * held;
    sizes = (sizes.array().square() + held.colwise().squaredNorm().transpose().array()).sqrt();
    // Motions that no observation reaches at all are free: their size is 0.
    const Eigen::VectorXd scale = sizes.unaryExpr([](double s) { return s > 0.0 ? 1.0 / s : 1.0; });
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> image(scale.asDiagonal() * gram *
                                                               scale.asDiagonal());
    Eigen::Index free = 0;
    while (free < image.eigenvalues().size() &&
           image.eigenvalues()(free) <= kNullTolerance * kNullTolerance)
        ++free;
    defect.coefficients = t * scale.asDiagonal() * image.eigenvectors().leftCols(free);
    // Named: a translation free by itself; a rotation or a scale free up to translations (about
    // a fixed point, say), unless it is one (a rotation of a single point).
    const Eigen::MatrixXd freeMotions = coordinates * defect.coefficients;
    Eigen::MatrixXd translations(coordinates.rows(), 0);
    for (Eigen::Index j = 0; j < k; ++j) {
        if (isTranslation(defect.candidates[static_cast<std::size_t>(j)])) {
            translations.conservativeResize(Eigen::NoChange, translations.cols() + 1);
            translations.rightCols(1) = coordinates.col(j);
        }
    }
    Eigen::MatrixXd withTranslations(coordinates.rows(), free + translations.cols());
    withTranslations << freeMotions, translations;
    const Eigen::MatrixXd whole = orthonormalColumns(freeMotions);
    const Eigen::MatrixXd shifted = orthonormalColumns(withTranslations);
    const Eigen::MatrixXd rigid = orthonormalColumns(translations);
    for (Eigen::Index j = 0; j < k; ++j) {
        const DatumParameter kind = defect.candidates[static_cast<std::size_t>(j)];
        const Eigen::VectorXd motionOf = coordinates.col(j);
        if (isTranslation(kind) ? inSpan(whole, motionOf)
                                : inSpan(shifted, motionOf) && !inSpan(rigid, motionOf))
            defect.free.push_back(kind);
    }
    return defect;
}

Eigen::MatrixXd datumBasis(const DatumDefect &defect, const Network &network,
                           const Unknowns &unknowns, const State &state,
                           const std::vector<EllipsoidalPosition> *positions,
                           const DesignSystem &system)
{
    return candidateMatrix(defect.candidates, network, unknowns, state, positions, system) *
           defect.coefficients;
}

std::vector<int> pinnedUnknowns(const Eigen::MatrixXd &basis, const Unknowns &unknowns)
{
    const Eigen::MatrixXd coordinates = basis.topRows(unknowns.coordinateCount).transpose();
    const Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(coordinates);
    std::vector<int> pinned;
    for (Eigen::Index c = 0; c < basis.cols() && c < coordinates.cols(); ++c)
        pinned.push_back(qr.colsPermutation().indices()(c));
    std::sort(pinned.begin(), pinned.end());
    return pinned;
}

Eigen::VectorXd datumSelection(const Network &network, const Unknowns &unknowns,
                               FreeNetwork freeNetwork)
{
    Eigen::VectorXd w = Eigen::VectorXd::Zero(unknowns.count);
    for (std::size_t p = 0; p < network.points.size(); ++p) {
        for (std::size_t c = 0; c < 3; ++c) {
            const int u = unknowns.point[p][c];
            if (u >= 0 && (freeNetwork != FreeNetwork::SelectedBase || network.points[p].base[c]))
                w(u) = 1.0;
        }
    }
    return w;
}

} // namespace engine
