#ifndef ENGINE_MODEL_MATRIXHEADER_H
#define ENGINE_MODEL_MATRIXHEADER_H

#include <Eigen/Core>

#include <optional>
#include <string>
#include <vector>

// The matrix headers COV, CORR and WGT of the observation files and the covariance they give to a
// block of n items of three components each (observed points, vectors): 3n rows, item after item.
// The ELEM lines after a header hold the matrix as written, then the header's constants and
// factors change it in a fixed order (see docs/engine.md, "Matrix headers COV, CORR, WGT"):
//   1. ALL    every element: factor times element, plus the square of the constant
//   2. DIAG   the diagonal elements alone, the same way
//   3. PPM    on the diagonal of each item, the square of ppm 1e-6 times the item's length
//   4. UP     in each item's local horizon (north, east, up; a Cartesian block is turned into it
//             and back): the up component scaled by the square root of the factor, so that its
//             variance takes the factor, then the square of the constant added to that variance
//   5. the centring of each item, squared, added to the variances of its north and east.
// Constants and centrings are standard deviations, metres; factors multiply covariances.
namespace engine {

enum class MatrixContent { Covariance, Correlation, Weight }; // COV, CORR, WGT
enum class MatrixFrame { Cartesian, Local };                  // CT: X, Y, Z; LG: north, east, up
enum class MatrixShape { Diagonal, UpperTriangle };           // DIAG, UPPR

// An element as its ELEM line writes it, and the metres per unit of that line.
struct MatrixElement
{
    double value = 0.0;
    double metres = 1.0;
};

struct MatrixHeader
{
    MatrixContent content = MatrixContent::Covariance;
    MatrixFrame frame = MatrixFrame::Cartesian;
    MatrixShape shape = MatrixShape::Diagonal;
    double allConstant = 0.0; // metres
    double allFactor = 1.0;
    double diagonalConstant = 0.0; // metres
    double diagonalFactor = 1.0;
    double diagonalPpm = 0.0;
    double upConstant = 0.0; // metres
    double upFactor = 1.0;

    // How many elements the ELEM lines hold for a matrix of `dimension` rows.
    int elementCount(int dimension) const;
};

// One item of a block.
struct MatrixItem
{
    // North, east and up of the item's local horizon, as the columns of the matrix, in the
    // block's Cartesian frame.
    Eigen::Matrix3d axes = Eigen::Matrix3d::Identity();
    double length = 0.0;   // metres, for PPM DIAG
    double centring = 0.0; // standard deviation, metres
};

// The covariance of the block of `items`, metres squared, with its rows in `rows` (each item's
// components X, Y, Z or north, east, up). None, with `reason` in French, when the elements are
// too few or too many, not a matrix of their kind (a correlation beyond 1, a standard deviation or
// a factor that is not positive) or when the result is not positive definite.
std::optional<Eigen::MatrixXd> blockCovariance(const MatrixHeader &header,
                                               const std::vector<MatrixElement> &elements,
                                               const std::vector<MatrixItem> &items,
                                               MatrixFrame rows, std::string &reason);

} // namespace engine

#endif // ENGINE_MODEL_MATRIXHEADER_H
