#ifndef ENGINE_ESTIMATION_VARIANCECOMPONENTS_H
#define ENGINE_ESTIMATION_VARIANCECOMPONENTS_H

#include "engine/base/diagnostics.h"
#include "engine/estimation/adjustment.h"
#include "engine/model/network.h"
#include "engine/model/options.h"

#include <string>
#include <vector>

// Variance component estimation by Helmert's method, in its iterated simplified form: after each
// adjustment, the component of group g is
//   s2_g = v_g' P_g v_g / r_g
// with r_g the sum of the redundancy numbers of the group's observations (for a weight block, the
// trace of its Qvv P), and the weights of the group are divided by s2_g; the adjustment is
// repeated until every s2_g is 1 to kVarianceTolerance. The component of a group is then the
// product of its s2_g: the factor by which its a priori variances are multiplied. Each one is
// tested against 1 by the chi-square law of r_g degrees of freedom (r_g s2 / 1, two-sided at the
// VALIDATION confidence), an approximation since r_g is itself estimated.
namespace engine {

constexpr double kVarianceTolerance = 1e-6;

// Below this sum of redundancy numbers a group's component cannot be estimated: its weights keep
// their a priori values.
constexpr double kLeastGroupRedundancy = 1e-6;

struct VarianceGroups
{
    std::vector<std::string> names; // per group, Latin-1
    std::vector<int> of;            // per observation, its group
};

// The groups of the observations: the group each observation's `varianceGroup` names, else one
// per kind of observation (named by its record code). A weight block belongs as a whole to the
// group of its first observation.
VarianceGroups varianceGroups(const Network &network);

// Whether the observation files put any observation in a variance component group: the
// components are then estimated.
bool declaresVarianceGroups(const Network &network);

struct VarianceComponent
{
    std::string name;
    int count = 0;
    double redundancy = 0.0; // r_g of the final adjustment
    double variance = 1.0;   // the product of the s2_g: a posteriori over a priori variance
    bool estimable = true;
    double chiLower = 0.0; // bounds of r_g * variance
    double chiUpper = 0.0;
    bool passed = true;
};

struct VarianceOutcome
{
    bool estimated = false; // every component converged
    int iterations = 0;
    std::vector<VarianceComponent> components;
    // Per iteration, the s2_g of each group, when VCESOLINT asks for them.
    std::vector<std::vector<double>> history;
};

// The iterated adjustments; the outcome is that of the last, with the estimated weights.
AdjustmentOutcome varianceComponentAdjust(const Network &network, const Options &options,
                                          const VarianceGroups &groups, Diagnostics &diagnostics,
                                          VarianceOutcome &variance);

} // namespace engine

#endif // ENGINE_ESTIMATION_VARIANCECOMPONENTS_H
