#ifndef ENGINE_OUTPUT_MATRIXFILES_H
#define ENGINE_OUTPUT_MATRIXFILES_H

#include "engine/base/diagnostics.h"
#include "engine/estimation/adjustment.h"
#include "engine/estimation/linearsystem.h"
#include "engine/estimation/statistics.h"
#include "engine/model/network.h"
#include "engine/model/options.h"

#include <functional>
#include <string>
#include <string_view>

// The matrices of the adjustment in the Matrix Market coordinate format, one file per matrix
// beside the report: NAME_A.mtx, NAME_P.mtx, NAME_l.mtx (OUTMAT_ABP), NAME_N.mtx, NAME_c.mtx
// (OUTMAT_NC), NAME_invN.mtx and NAME_c.mtx (OUTMAT_INC), NAME_V.mtx (OUTMAT_V), NAME_X.mtx
// (OUTMAT_X) for the system at the adjusted state, and with ALL_ITER also NAME_A_it1.mtx... for
// the system of each Gauss-Newton iteration. Rows of observations are in the network's order;
// columns of unknowns in the order of the unknowns, each point's three in the components
// OUTMAT_CRD asks for. The header comments name each row and column.
namespace engine {

using MatrixWriter =
    std::function<bool(const std::string &path, const std::string &content, std::string &reason)>;

// The system at the adjusted state, from the outcome's factor; `inverse` (N^-1 on the pattern of
// the factor) is read when inv(N) is asked for.
LinearSystem adjustedSystem(const Network &network, const AdjustmentOutcome &outcome,
                            const SelectedInverse *inverse, const Options &options);

// Writes the files asked for; each one that cannot be written is an error in `diagnostics`.
void writeMatrixFiles(const std::string &observationPath, const Network &network,
                      const AdjustmentOutcome &outcome, const Statistics &statistics,
                      const LinearSystem &adjusted, const Options &options,
                      const MatrixWriter &write, Diagnostics &diagnostics);

// Whether `fileName` (without folder) is the name of a matrix file of the observation file
// `observationPath`: the outputs of an earlier run, to be removed before a new one.
bool isMatrixFileName(std::string_view observationPath, std::string_view fileName);

} // namespace engine

#endif // ENGINE_OUTPUT_MATRIXFILES_H
