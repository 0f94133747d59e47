#include "engine/model/network.h"

namespace engine {

const char *observationCode(ObservationKind kind)
{
    switch (kind) {
    case ObservationKind::Distance:
        return "DIST";
    case ObservationKind::Direction:
        return "DIR";
    case ObservationKind::Zenith:
        return "ZANG";
    case ObservationKind::HeightDifference:
        return "OHDF";
    case ObservationKind::Vector:
        return "DXYZ";
    case ObservationKind::Geocentric:
        return "XYZ";
    case ObservationKind::Geographic:
        return "PLH";
    case ObservationKind::Local:
        return "LNEU";
    case ObservationKind::Azimuth:
        break;
    }
    return "AZIM";
}

bool isObservedPosition(ObservationKind kind)
{
    return kind == ObservationKind::Geocentric || kind == ObservationKind::Geographic ||
           kind == ObservationKind::Local;
}

const char *secondaryTypeCode(SecondaryType type)
{
    switch (type) {
    case SecondaryType::Constant:
        return "CONS";
    case SecondaryType::Scale:
        return "SCAL";
    case SecondaryType::Refraction:
        return "REFR";
    case SecondaryType::VarianceGroup:
        break;
    }
    return "GVCE";
}

const char *secondaryScopeCode(SecondaryScope scope)
{
    switch (scope) {
    case SecondaryScope::Distances:
        return "DIS";
    case SecondaryScope::ZenithAngles:
        return "ZAN";
    case SecondaryScope::All:
        break;
    }
    return "ALL";
}

bool isComponent(ObservationKind kind)
{
    return kind == ObservationKind::Vector || isObservedPosition(kind);
}

bool takesHeights(ObservationKind kind)
{
    return kind == ObservationKind::Distance || kind == ObservationKind::Direction ||
           kind == ObservationKind::Azimuth || kind == ObservationKind::Zenith;
}

const char *observationLabel(const Observation &o)
{
    static const char *const letters[4][3] = {
        {"X", "Y", "Z"}, {"P", "L", "H"}, {"N", "E", "H"}, {"DX", "DY", "DZ"}};
    const int c = o.component < 3 ? o.component : 0;
    switch (o.kind) {
    case ObservationKind::Vector:
        return letters[3][c];
    case ObservationKind::Geocentric:
        return letters[0][c];
    case ObservationKind::Geographic:
        return letters[1][c];
    case ObservationKind::Local:
        return letters[2][c];
    default:
        break;
    }
    return observationCode(o.kind);
}

void Network::releaseAsRead()
{
    std::vector<ObservationAsRead>().swap(asRead);
}

const std::string &Network::groupOf(const Observation &observation) const
{
    static const std::string none;
    if (observation.group < 0 || static_cast<std::size_t>(observation.group) >= groupNames.size())
        return none;
    return groupNames[static_cast<std::size_t>(observation.group)];
}

IndexRange Network::secondaryOf(const Observation &observation) const
{
    const auto start = static_cast<std::size_t>(observation.secondaryStart);
    const auto count = static_cast<std::size_t>(observation.secondaryCount);
    if (observation.secondaryStart < 0 || observation.secondaryCount <= 0 ||
        start + count > observationSecondary.size())
        return IndexRange();
    return {observationSecondary.data() + start, observationSecondary.data() + start + count};
}

const std::string &Network::fileName(int fileNumber) const
{
    static const std::string none;
    if (fileNumber < 1 || static_cast<std::size_t>(fileNumber) > files.size())
        return none;
    return files[static_cast<std::size_t>(fileNumber - 1)];
}

Eigen::Vector3d Network::geocentricOf(const Point &point) const
{
    Eigen::Vector3d onEllipsoid = point.geocentric;
    Geographic geographic = point.geographic;
    if (point.frame == CoordinateFrame::Local) {
        const Geographic base{tangentOrigin.latitude, tangentOrigin.longitude, 0.0};
        onEllipsoid = toGeocentric(ellipsoid, base) + planeHorizon() * point.approximate;
        if (!sphere)
            return onEllipsoid;
        geographic = toGeographic(ellipsoid, onEllipsoid);
    }
    return sphere ? toGeocentric(surface, sphere->toSphere(geographic)) : onEllipsoid;
}

Geographic Network::geographicOf(const Eigen::Vector3d &onSurface) const
{
    const Geographic g = toGeographic(surface, onSurface);
    return sphere ? sphere->toEllipsoid(g) : g;
}

Eigen::Vector3d Network::ellipsoidGeocentricOf(const Eigen::Vector3d &onSurface) const
{
    return sphere ? toGeocentric(ellipsoid, geographicOf(onSurface)) : onSurface;
}

Eigen::Vector3d Network::planeOf(const Eigen::Vector3d &onSurface) const
{
    const Geographic base{tangentOrigin.latitude, tangentOrigin.longitude, 0.0};
    return planeHorizon().transpose() *
           (ellipsoidGeocentricOf(onSurface) - toGeocentric(ellipsoid, base));
}

Eigen::Matrix3d Network::planeHorizon() const
{
    return localHorizon(tangentOrigin.latitude, tangentOrigin.longitude);
}

const Projection *Network::projectionNamed(const std::string &name) const
{
    for (const Projection &p : projections) {
        if (p.definition().name == name)
            return &p;
    }
    return nullptr;
}

bool Network::hasGeoid() const
{
    if (geoidGrid)
        return true;
    for (const Point &p : points) {
        if (p.geoid && p.geoid->lineNumber > 0)
            return true;
    }
    return false;
}

std::optional<GeoidValue> Network::geoidAt(const Point &point, const Geographic &at) const
{
    if (point.geoid && point.geoid->lineNumber > 0)
        return point.geoid;
    if (!geoidGrid)
        return std::nullopt;
    constexpr double kDegree = 3.14159265358979323846 / 180.0;
    const std::optional<double> n =
        geoidGrid->undulation(at.latitude / kDegree, at.longitude / kDegree);
    if (!n)
        return std::nullopt;
    GeoidValue value;
    value.undulation = *n;
    value.fileNumber = geoidFileNumber;
    return value;
}

Eigen::Vector3d Network::drawingOf(const Eigen::Vector3d &onSurface) const
{
    if (drawingProjection < 0)
        return planeOf(onSurface);
    const Geographic g = geographicOf(onSurface);
    const std::optional<GridPosition> grid =
        projections[static_cast<std::size_t>(drawingProjection)].forward(g.latitude, g.longitude);
    if (!grid)
        return planeOf(onSurface);
    return Eigen::Vector3d(grid->east, grid->north, g.height);
}

} // namespace engine
