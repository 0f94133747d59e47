#ifndef ENGINE_SELECTEDINVERSION_H
#define ENGINE_SELECTEDINVERSION_H

#include "adjustment.h"

#include <Eigen/Core>

#include <optional>
#include <vector>

// The entries of the inverse normal matrix on the pattern of its sparse factor, computed without
// forming the dense inverse (selected inversion by the Takahashi recurrences).
//
// The factor holds P Ns P' = L D L' (Ns the normal matrix scaled to a unit diagonal, P the
// fill-reducing permutation, L unit lower triangular). Z = (L D L')^-1 satisfies
//   Z = D^-1 L^-1 + (I - L') Z,
// and since D^-1 L^-1 is lower triangular with diagonal D^-1, column j of Z below and on the
// diagonal needs only column j of L and entries of Z further right:
//   Z(i, j) = -sum_k L(k, j) Z(i, k)          i > j, k over the rows of column j of L
//   Z(j, j) = 1 / D(j) - sum_k L(k, j) Z(k, j)
// The rows of column j of L form a clique of the filled pattern, so every Z(i, k) named here lies
// on that pattern too: sweeping the columns from the last to the first fills Z on exactly the
// pattern of L, in about the work of the factorization and the memory of L.
//
// Every element the statistics need lies on that pattern: an observation couples all the unknowns
// of its row of the design matrix in the normal matrix, hence in L. An entry off the pattern (a
// pair of unknowns that no observation joins) is still available through `block`, which solves
// for the columns concerned.
namespace engine {

class SelectedInverse
{
public:
    explicit SelectedInverse(const NormalFactor &factor);

    // Number of unknowns.
    int size() const { return static_cast<int>(m_position.size()); }

    // Entry (i, j) of N^-1 (unknowns as numbered by the adjustment) when it lies on the pattern
    // of the factor; nothing otherwise, or for an index out of range.
    std::optional<double> entry(int i, int j) const;

    // The block of N^-1 on `unknowns` (in that order). An index of -1 gives a zero row and
    // column; entries off the pattern are obtained by solves on the factor.
    Eigen::MatrixXd block(const std::vector<int> &unknowns) const;

    // Entries kept off the diagonal (the nonzeros of L).
    long storedEntries() const { return static_cast<long>(m_values.size()); }

private:
    const NormalFactor &m_factor;
    std::vector<int> m_position;   // per unknown: its position in the factor's order
    const int *m_columnStart = nullptr;  // pattern of L, strictly lower, column by column
    const int *m_rows = nullptr;         // rows ascending within each column
    std::vector<double> m_values;  // Z on the pattern of L (scaled, permuted)
    std::vector<double> m_diagonal;
};

} // namespace engine

#endif // ENGINE_SELECTEDINVERSION_H
