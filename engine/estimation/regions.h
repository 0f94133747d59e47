#ifndef ENGINE_ESTIMATION_REGIONS_H
#define ENGINE_ESTIMATION_REGIONS_H

#include "engine/estimation/adjustment.h"
#include "engine/estimation/reliability.h"
#include "engine/estimation/statistics.h"
#include "engine/model/network.h"
#include "engine/model/options.h"

#include <Eigen/Core>

#include <array>
#include <utility>
#include <vector>

// Confidence regions of the adjusted coordinates and the reliability regions, as the [CONFIANCE]
// and [FIABILITE] keys ask (see docs/engine.md, "Régions de confiance" and "Fiabilité").
//
// Coordinates are taken in the local frame as (north, east, up), metres. The covariance of a point
// is s0^2 times its block of N^-1, s0 the a posteriori standard deviation of unit weight when it
// scales the precisions (TYPESIGMA0), 1 otherwise; the covariance of two points joined by an
// observation is that of the second minus the first: C22 + C11 - C12 - C21.
//
// A region of dimension d at the confidence p holds the true position with probability p (for
// the normal law and a known variance factor): its half-axes are k_d times the square roots of
// the eigenvalues of the covariance, k_d^2 the p-quantile of the chi-square law with d degrees of
// freedom (k_1 = 1.960, k_2 = 2.448, k_3 = 2.795 at 95 %).
namespace engine {

// A 2D region: half-axes (metres, the first the larger) and the bearing of the first, in degrees
// in [0, 180), from the axis of the first component towards the second; for (north, east) this is
// clockwise from north.
struct Ellipse
{
    double semiAxis1 = 0.0;
    double semiAxis2 = 0.0;
    double bearing = 0.0;
};

// A 3D region: half-axes (metres, decreasing) and the unit direction of each, as columns in
// (north, east, up), each turned so that it does not point downwards.
struct Ellipsoid
{
    Eigen::Vector3d semiAxes = Eigen::Vector3d::Zero();
    Eigen::Matrix3d directions = Eigen::Matrix3d::Identity();
};

// k_d for a region of `dimension` (1 to 3) at `confidence` (strictly between 0 and 1).
double confidenceFactor(int dimension, double confidence);

// The ellipse of a 2x2 covariance, half-axes multiplied by `factor`.
Ellipse ellipse(const Eigen::Matrix2d &covariance, double factor);

// The ellipsoid of a 3x3 covariance, half-axes multiplied by `factor`.
Ellipsoid ellipsoid(const Eigen::Matrix3d &covariance, double factor);

// A rectangle with sides along the axes of its two components, half-sides `first` and `second`,
// in the form of an ellipse: the larger half-side first, with a bearing of 0 (along the first
// component) or 90 degrees (along the second).
Ellipse rectangle(double first, double second);

// The sub-matrix of a (north, east, up) matrix on a pair of components (0: NE, 1: NU, 2: EU).
Eigen::Matrix2d pairBlock(const Eigen::Matrix3d &matrix, int pair);

struct PointCovariance
{
    int point1 = -1;
    int point2 = -1;                                      // -1 for a single point
    Eigen::Matrix3d covariance = Eigen::Matrix3d::Zero(); // (north, east, up), metres^2
};

struct Regions
{
    RegionOptions options;
    std::array<double, 3> confidenceFactors = {0.0, 0.0, 0.0}; // k_1, k_2, k_3 of the rows
    std::array<double, 3> noncentralities = {0.0, 0.0, 0.0};   // delta0 of the reliability rows
    std::vector<std::pair<int, int>> links; // pairs of points joined by an observation
    std::vector<PointCovariance> points;    // points with a free coordinate, network order
    std::vector<PointCovariance> pairs;     // per link with a free point, when asked
    Reliability reliability;                // boxes for delta0 = 1
};

// The pairs of distinct points joined by at least one observation, (smaller index, larger
// index), in ascending order.
std::vector<std::pair<int, int>> linkedPairs(const Network &network);

// The covariances and reliability boxes that the options ask for. Needs the statistics' selected
// inverse; without unknowns everything is empty. A probability of a row asked for outside ]0, 1[,
// or a second-kind risk so large that delta0 is not positive (beta above 1 - alpha / 2), is
// refused with std::domain_error.
Regions computeRegions(const Network &network, const AdjustmentOutcome &outcome,
                       const Statistics &statistics, const Options &options);

// Checks that every value the report, the result file and the drawing file take from the
// adjustment is finite: adjusted coordinates and observations, the statistics, the regions. An
// error naming the first value that is not goes to `diagnostics`; false then.
bool checkFinite(const Network &network, const AdjustmentOutcome &outcome,
                 const Statistics &statistics, const Regions &regions, Diagnostics &diagnostics);

} // namespace engine

#endif // ENGINE_ESTIMATION_REGIONS_H
