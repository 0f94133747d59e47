#include "engine/estimation/componentframes.h"

namespace engine {

Eigen::Matrix3d northEastUpAxes(double latitude, double longitude)
{
    const Eigen::Matrix3d enu = localHorizon(latitude, longitude);
    Eigen::Matrix3d neu;
    neu << enu.col(1), enu.col(0), enu.col(2);
    return neu;
}

ComponentFrames::ComponentFrames(const Network &network, const Options &options, const State &state,
                                 RegionCoordinates coordinates)
    : m_coordinates(coordinates)
{
    if (options.model == ModelType::Local3D)
        return;
    m_plane = northEastUpAxes(network.tangentOrigin.latitude, network.tangentOrigin.longitude);
    m_horizons.reserve(state.coordinates.size());
    for (const Eigen::Vector3d &xyz : state.coordinates) {
        const Geographic g = network.geographicOf(xyz);
        m_horizons.push_back(northEastUpAxes(g.latitude, g.longitude));
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
    return m_plane.transpose() * own;
}

} // namespace engine
