#include "engine/solver/inverseelements.h"

#include "engine/base/chunkedloop.h"

#include <vector>

namespace engine {

Eigen::VectorXd
adjustedObservationCofactors(const SelectedInverse &inverse,
                             const Eigen::SparseMatrix<double, Eigen::RowMajor> &design)
{
    Eigen::VectorXd result = Eigen::VectorXd::Zero(design.rows());
    forEachChunk(
        static_cast<std::size_t>(design.rows()), 1024, [&](std::size_t begin, std::size_t end) {
            std::vector<int> columns;
            std::vector<int> blockColumns;
            std::vector<double> values;
            Eigen::MatrixXd block;
            for (auto row = static_cast<Eigen::Index>(begin); row < static_cast<Eigen::Index>(end);
                 ++row) {
                columns.clear();
                values.clear();
                for (Eigen::SparseMatrix<double, Eigen::RowMajor>::InnerIterator it(design, row);
                     it; ++it) {
                    columns.push_back(static_cast<int>(it.col()));
                    values.push_back(it.value());
                }
                if (columns.empty())
                    continue;
                // Observations of one sight follow each other, and several take the same unknowns
                // (a distance and a zenith angle): their block is taken once.
                if (columns != blockColumns) {
                    block = inverse.block(columns);
                    blockColumns = columns;
                }
                const Eigen::Map<const Eigen::VectorXd> a(values.data(),
                                                          static_cast<Eigen::Index>(values.size()));
                result(row) = a.dot(block * a);
            }
        });
    return result;
}

} // namespace engine
