#ifndef ENGINE_ESTIMATION_DATUM_H
#define ENGINE_ESTIMATION_DATUM_H

#include "engine/model/ellipsoidalmodel.h"
#include "engine/model/localmodel.h"
#include "engine/model/network.h"
#include "engine/model/options.h"
#include "engine/model/unknowns.h"
#include "engine/solver/weightblock.h"

#include <Eigen/Core>
#include <Eigen/SparseCore>

#include <string>
#include <vector>

// The datum defect of a network, detected from its design matrix.
//
// The candidates are the motions of the whole network that observations of its kinds may not see:
// in the local model the translations along east, north and up, the rotations about the vertical
// and the two horizontal axes through the centroid, the scale about the centroid in 3D and in
// plan only; in the geodetic models the translations along the geocentric axes, the rotations
// about the geocentric axes through the centroid and the scale about the centroid, each turned
// into every point's horizon, where its unknowns lie. Each candidate g is a vector over the
// unknowns (the orientations of the direction sets follow the rotation that best keeps their
// directions; unknown instrument and target heights, above their marks, stay). The defect is the
// part of their span that the design matrix A maps to nothing: the combinations whose A g is below
// sqrt(kPivotTolerance) of the size of its terms, the bound at which the factor would call the
// system singular. Fixed coordinates are not unknowns, so the candidates restricted to the free
// ones find what the fixed points leave free.
namespace engine {

enum class DatumParameter {
    TranslationEast,
    TranslationNorth,
    TranslationUp,
    RotationVertical,
    RotationEastAxis,
    RotationNorthAxis,
    Scale,
    PlanScale,
    TranslationX,
    TranslationY,
    TranslationZ,
    RotationX,
    RotationY,
    RotationZ
};

// "la translation en est", "la rotation autour de la verticale"... (Latin-1).
std::string datumParameterText(DatumParameter parameter);

struct DatumDefect
{
    std::vector<DatumParameter> candidates;
    Eigen::MatrixXd coefficients;     // candidates x defect: a basis of the free combinations
    std::vector<DatumParameter> free; // the candidates free by themselves
    int size() const { return static_cast<int>(coefficients.cols()); }
    // The free parameters named, then the combinations that are free but none of them alone.
    std::string text() const;
};

// The design matrix of the adjustment, with the weights of its rows (0 for those of a weight
// block) and its blocks.
struct DesignSystem
{
    const Eigen::SparseMatrix<double, Eigen::RowMajor> &design;
    const Eigen::VectorXd &weights;
    const std::vector<WeightBlock> &blocks;
};

// The defect at `state`; `positions` are the points of a geodetic model there, or null.
DatumDefect detectDatumDefect(const Network &network, const Unknowns &unknowns, const State &state,
                              const std::vector<EllipsoidalPosition> *positions,
                              const DesignSystem &system);

// The basis G (unknowns x defect) of the free combinations of `defect` at `state`.
Eigen::MatrixXd datumBasis(const DatumDefect &defect, const Network &network,
                           const Unknowns &unknowns, const State &state,
                           const std::vector<EllipsoidalPosition> *positions,
                           const DesignSystem &system);

// The coordinate unknowns to hold so that the rest is determined, as far apart as the basis
// allows (a column-pivoted QR of G'), ascending.
std::vector<int> pinnedUnknowns(const Eigen::MatrixXd &basis, const Unknowns &unknowns);

// The coordinates that define the datum: all of them for the minimum trace, those of the base
// points (flag 2) for the selected base.
Eigen::VectorXd datumSelection(const Network &network, const Unknowns &unknowns,
                               FreeNetwork freeNetwork);

} // namespace engine

#endif // ENGINE_ESTIMATION_DATUM_H
