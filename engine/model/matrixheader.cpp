#include "engine/model/matrixheader.h"

#include "engine/base/text.h"

#include <Eigen/Cholesky>
#include <Eigen/Eigenvalues>

#include <cmath>

namespace engine {

int MatrixHeader::elementCount(int dimension) const
{
    return shape == MatrixShape::Diagonal ? dimension : dimension * (dimension + 1) / 2;
}

namespace {

// The matrix of the ELEM lines, each element with the metres per unit of its line.
void fill(const MatrixHeader &header, const std::vector<MatrixElement> &elements,
          Eigen::MatrixXd &values, Eigen::MatrixXd &metres)
{
    const auto n = values.rows();
    std::size_t k = 0;
    for (Eigen::Index i = 0; i < n; ++i) {
        const Eigen::Index last = header.shape == MatrixShape::Diagonal ? i : n - 1;
        for (Eigen::Index j = i; j <= last; ++j, ++k) {
            values(i, j) = values(j, i) = elements[k].value;
            metres(i, j) = metres(j, i) = elements[k].metres;
        }
    }
}

// Below this ratio of its extreme eigenvalues a covariance matrix is taken as singular: its
// inverse, the weight, would carry no digit of the smallest variance.
constexpr double kConditionFloor = 1e-12;

bool positiveDefinite(const Eigen::MatrixXd &m)
{
    if (!m.allFinite())
        return false;
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> solver(m, Eigen::EigenvaluesOnly);
    if (solver.info() != Eigen::Success)
        return false;
    const Eigen::VectorXd &lambda = solver.eigenvalues();
    return lambda(0) > kConditionFloor * lambda(lambda.size() - 1);
}

std::string elementText(Eigen::Index i, Eigen::Index j)
{
    return fr("élément (") + std::to_string(i + 1) + ", " + std::to_string(j + 1) + ")";
}

} // namespace

std::optional<Eigen::MatrixXd> blockCovariance(const MatrixHeader &header,
                                               const std::vector<MatrixElement> &elements,
                                               const std::vector<MatrixItem> &items,
                                               MatrixFrame rows, std::string &reason)
{
    const auto n = static_cast<Eigen::Index>(3 * items.size());
    const int expected = header.elementCount(static_cast<int>(n));
    if (static_cast<int>(elements.size()) != expected) {
        reason = std::to_string(elements.size()) + fr(" élément(s) lu(s), ") +
                 std::to_string(expected) + fr(" attendu(s) pour une matrice ") +
                 (header.shape == MatrixShape::Diagonal ? "DIAG" : "UPPR") + fr(" de ") +
                 std::to_string(n) + fr(" lignes");
        return std::nullopt;
    }
    if (!(header.allFactor > 0.0 && header.diagonalFactor > 0.0 && header.upFactor > 0.0)) {
        reason = fr("un facteur de l'entête n'est pas positif");
        return std::nullopt;
    }
    Eigen::MatrixXd values = Eigen::MatrixXd::Zero(n, n);
    Eigen::MatrixXd metres = Eigen::MatrixXd::Ones(n, n);
    fill(header, elements, values, metres);

    Eigen::MatrixXd c(n, n);
    switch (header.content) {
    case MatrixContent::Covariance:
        c = values.cwiseProduct(metres).cwiseProduct(metres);
        break;
    case MatrixContent::Correlation: {
        // The diagonal holds the standard deviations, the rest the correlations.
        Eigen::VectorXd sigma = values.diagonal().cwiseProduct(metres.diagonal());
        for (Eigen::Index i = 0; i < n; ++i) {
            if (!(sigma(i) > 0.0)) {
                reason = fr("l'écart-type de l'") + elementText(i, i) + fr(" n'est pas positif");
                return std::nullopt;
            }
            for (Eigen::Index j = i + 1; j < n; ++j) {
                if (!(std::fabs(values(i, j)) <= 1.0)) {
                    reason =
                        fr("la corrélation de l'") + elementText(i, j) + fr(" sort de [-1, 1]");
                    return std::nullopt;
                }
            }
        }
        c = sigma.asDiagonal() * values * sigma.asDiagonal();
        c.diagonal() = sigma.cwiseProduct(sigma);
        break;
    }
    case MatrixContent::Weight: {
        const Eigen::MatrixXd weight = values.cwiseQuotient(metres.cwiseProduct(metres));
        if (!positiveDefinite(weight)) {
            reason = fr("la matrice de poids n'est pas définie positive");
            return std::nullopt;
        }
        c = weight.llt().solve(Eigen::MatrixXd::Identity(n, n));
        break;
    }
    }

    c = header.allFactor * c;
    c.array() += header.allConstant * header.allConstant;
    c.diagonal() *= header.diagonalFactor;
    c.diagonal().array() += header.diagonalConstant * header.diagonalConstant;

    Eigen::MatrixXd axes = Eigen::MatrixXd::Zero(n, n); // local horizons in the Cartesian frame
    for (std::size_t k = 0; k < items.size(); ++k) {
        const auto at = static_cast<Eigen::Index>(3 * k);
        const double ppm = header.diagonalPpm * 1e-6 * items[k].length;
        c.diagonal().segment<3>(at).array() += ppm * ppm;
        axes.block<3, 3>(at, at) = items[k].axes;
    }
    Eigen::MatrixXd local =
        header.frame == MatrixFrame::Cartesian ? axes.transpose() * c * axes : c;
    const double upScale = std::sqrt(header.upFactor);
    for (std::size_t k = 0; k < items.size(); ++k) {
        const auto at = static_cast<Eigen::Index>(3 * k);
        local.row(at + 2) *= upScale;
        local.col(at + 2) *= upScale;
        local(at + 2, at + 2) += header.upConstant * header.upConstant;
        const double centring = items[k].centring * items[k].centring;
        local(at, at) += centring;
        local(at + 1, at + 1) += centring;
    }
    Eigen::MatrixXd result =
        rows == MatrixFrame::Cartesian ? axes * local * axes.transpose() : local;
    result = 0.5 * (result + result.transpose());
    if (!positiveDefinite(result)) {
        reason = fr("la matrice de covariance obtenue n'est pas définie positive");
        return std::nullopt;
    }
    return result;
}

} // namespace engine
