#ifndef ENGINE_SOLVER_DATUMTRANSFORM_H
#define ENGINE_SOLVER_DATUMTRANSFORM_H

#include "engine/solver/normalfactor.h"

#include <Eigen/Core>

#include <vector>

// The datum of a free network, for its inverse normal matrix. The network is solved with a
// minimal set of its unknowns held (`pinned`: their rows of the factor are decoupled, so that the
// sparse factor serves as for any network with fixed points), which gives Q, the inverse with
// zero rows and columns at the pinned unknowns. The datum asked for is reached by the
// S-transformation
//   S = I - G M^-1 G' W,   M = G' W G,   Q_datum = S Q S'
// with G (unknowns x d) a basis of the null space of the design matrix (the free translations,
// rotations and scale) and W the diagonal selection of the coordinates that define the datum
// (all of them for the minimum trace, the base points' otherwise). With H = Q W G (d solves on the
// factor) any block of Q_datum is the block of Q plus a correction of rank d:
//   Q_datum(B, B) = Q(B, B) - H_B M^-1 G_B' - G_B M^-1 H_B' + G_B M^-1 (G' W H) M^-1 G_B'
// so no dense matrix of the size of the network is formed.
namespace engine {

struct DatumTransform
{
    std::vector<int> pinned;   // unknowns held during the solve, ascending
    Eigen::MatrixXd basis;     // G, unknowns x d
    Eigen::VectorXd selection; // W's diagonal, per unknown
    Eigen::MatrixXd mInverse;  // M^-1
    Eigen::MatrixXd h;         // Q W G
    Eigen::MatrixXd gwh;       // G' W H

    int defect() const { return static_cast<int>(basis.cols()); }
    bool isPinned(int unknown) const;

    // Computes M^-1, H and G' W H from the factor of the pinned system. False when the selected
    // coordinates do not define the datum (M singular).
    bool complete(const NormalFactor &factor);

    // Q(B, B) with the pinned rows and columns set to zero, carried to the datum.
    Eigen::MatrixXd transformed(const std::vector<int> &unknowns, Eigen::MatrixXd q) const;
};

// x = N^-1 b through the scaled factor, with the pinned unknowns held: b is taken as zero there and
// x is zero there.
Eigen::VectorXd solvePinned(const NormalFactor &factor, const std::vector<int> &pinned,
                            Eigen::VectorXd b);

} // namespace engine

#endif // ENGINE_SOLVER_DATUMTRANSFORM_H
