#include "engine/estimation/componentframes.h"

#include <cmath>

namespace engine {

Eigen::Matrix3d northEastUpAxes(double latitude, double longitude)
{
    const Eigen::Matrix3d enu = localHorizon(latitude, longitude);
    Eigen::Matrix3d neu;
    neu << enu.col(1), enu.col(0), enu.col(2);
    return neu;
}

ComponentFrames::ComponentFrames(const Network &network, const Options &options, const State &state,
                                 RegionCoordinates coordinates, bool tangentPlane)
    : m_coordinates(coordinates)
{
    if (options.model == ModelType::Local3D)
        return;
    m_plane = northEastUpAxes(network.tangentOrigin.latitude, network.tangentOrigin.longitude);
    const Projection *projection =
        network.drawingProjection >= 0 && !tangentPlane
            ? &network.projections[static_cast<std::size_t>(network.drawingProjection)]
            : nullptr;
    m_horizons.reserve(state.coordinates.size());
    for (const Eigen::Vector3d &xyz : state.coordinates) {
        const Geographic g = network.geographicOf(xyz);
        m_horizons.push_back(northEastUpAxes(g.latitude, g.longitude));
        if (!projection)
            continue;
        // Grid north lies at the convergence clockwise from the point's north.
        const std::optional<GridPosition> grid = projection->forward(g.latitude, g.longitude);
        const double convergence = grid ? grid->convergence : 0.0;
        const Eigen::Matrix3d &neu = m_horizons.back();
        Eigen::Matrix3d axes;
        axes << std::cos(convergence) * neu.col(0) + std::sin(convergence) * neu.col(1),
            -std::sin(convergence) * neu.col(0) + std::cos(convergence) * neu.col(1), neu.col(2);
        m_grids.push_back(axes);
    }
}

Eigen::Matrix3d ComponentFrames::rotation(int point, int reference) const
{
    if (m_horizons.empty())
        return Eigen::Matrix3d::Identity();
    const Eigen::Matrix3d &own = m_horizons[static_cast<std::size_t>(point)];
    switch (m_coordinates) {
    case RegionCoordinates::Xyz:
        return own;
    case RegionCoordinates::Plu:
        return m_horizons[static_cast<std::size_t>(reference)].transpose() * own;
    case RegionCoordinates::Neu:
        break;
    }
    if (!m_grids.empty())
        return m_grids[static_cast<std::size_t>(reference)].transpose() * own;
    return m_plane.transpose() * own;
}

} // namespace engine
