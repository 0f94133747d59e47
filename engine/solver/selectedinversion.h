#ifndef ENGINE_SOLVER_SELECTEDINVERSION_H
#define ENGINE_SOLVER_SELECTEDINVERSION_H

#include "engine/solver/datumtransform.h"
#include "engine/solver/normalfactor.h"

#include <Eigen/Core>

#include <optional>
#include <vector>

// The entries of the inverse normal matrix on the pattern of its sparse factor, computed without
// forming the dense inverse (selected inversion by the Takahashi recurrences, taken a supernode at
// a time).
//
// The factor holds P Ns P' = L L' (Ns the normal matrix scaled to a unit diagonal, P the
// elimination order). For a supernode with columns J and rows I below them, with
// L11 = L(J, J), L21 = L(I, J) and H = L21 L11^-1, the inverse Z = (L L')^-1 satisfies
//   Z(I, J) = -Z(I, I) H
//   Z(J, J) = L11^-T L11^-1 - H' Z(I, J)
// because Z(later, J) = -Z(later, later) H and H is zero outside the rows I. The rows I of a
// supernode form a clique of the filled pattern, so Z(I, I) lies on the pattern of supernodes
// further in the order: sweeping the supernodes from the last to the first fills Z on exactly the
// pattern of L, in about the work of the factorization and the memory of L.
//
// Every element the statistics need lies on that pattern: an observation couples all the unknowns
// of its row of the design matrix in the normal matrix, hence in L. An entry off the pattern (a
// pair of unknowns that no observation joins) is still available through `block`, which solves
// for the columns concerned, as long as the factor is kept.
//
// A supernode's block of L is read only to make its own block of Z, so Z can be written over L in
// the same sweep, which halves the memory of the inversion when nothing needs the factor after it.
namespace engine {

// Where the inverse is kept: beside the factor, which stays whole, or over the factor's storage,
// which is then gone (no more solves, and no entry off the pattern: block() throws
// std::logic_error for one).
enum class InverseStorage { BesideFactor, OverFactor };

class SelectedInverse
{
public:
    // Keeps a reference to `factor` and to `datum`, which must outlive this object. With a datum,
    // block() gives the inverse in that datum; entry() always gives that of the factor.
    explicit SelectedInverse(const NormalFactor &factor, const DatumTransform *datum = nullptr);
    // The same, with the inverse over the factor's storage when `storage` says so.
    SelectedInverse(NormalFactor &factor, const DatumTransform *datum, InverseStorage storage);

    // Number of unknowns.
    int size() const { return m_factor.solver.size(); }

    // Entry (i, j) of N^-1 (unknowns as numbered by the adjustment) when it lies on the pattern
    // of the factor; nothing otherwise, or for an index out of range.
    std::optional<double> entry(int i, int j) const;

    // The block of N^-1 on `unknowns` (in that order). An index of -1 gives a zero row and
    // column; entries off the pattern are obtained by solves on the factor.
    Eigen::MatrixXd block(const std::vector<int> &unknowns) const;

    // Entries of Z stored (those of L).
    long storedEntries() const { return static_cast<long>(m_values.size()); }

private:
    void invert();
    Eigen::MatrixXd factorBlock(const std::vector<int> &unknowns) const;

    const NormalFactor &m_factor;
    const DatumTransform *m_datum = nullptr;
    bool m_overFactor = false;
    Eigen::VectorXd m_values; // Z in the layout of the factor's supernodal blocks
};

} // namespace engine

#endif // ENGINE_SOLVER_SELECTEDINVERSION_H
