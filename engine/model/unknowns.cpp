#include "engine/model/unknowns.h"

#include "engine/base/text.h"

namespace engine {

const char *componentName(int component)
{
    switch (component) {
    case 0:
        return "E";
    case 1:
        return "N";
    case 2:
        return "U";
    case kHeightComponent:
        return "hauteur";
    default:
        break;
    }
    return "orientation";
}

std::string unknownLabel(const Network &network, const Unknowns &unknowns, int index)
{
    if (index < 0 || index >= unknowns.count)
        return "?";
    const auto [owner, component] = unknowns.owner[static_cast<std::size_t>(index)];
    if (component == kSecondaryComponent) {
        const SecondaryParameter &parameter =
            network.secondaryParameters[static_cast<std::size_t>(owner)];
        return std::string(secondaryTypeCode(parameter.type)) + fr(" du groupe « ") +
               network.secondaryGroups[static_cast<std::size_t>(parameter.group)].name + fr(" »");
    }
    if (component == kHeightComponent) {
        const UnknownHeight &height = network.unknownHeights[static_cast<std::size_t>(owner)];
        return (height.instrument ? fr("hauteur d'instrument inconnue de ")
                                  : fr("hauteur de cible inconnue de ")) +
               network.points[static_cast<std::size_t>(height.point)].name + fr(" (ligne ") +
               std::to_string(height.lineNumber) + ")";
    }
    if (component == kOrientationComponent) {
        const DirectionSet &set = network.sets[static_cast<std::size_t>(owner)];
        const std::string station =
            set.station >= 0 ? network.points[static_cast<std::size_t>(set.station)].name : "?";
        return fr("orientation du jeu ") + std::to_string(owner + 1) + fr(" (station ") + station +
               ")";
    }
    return std::string(componentName(component)) + " " +
           network.points[static_cast<std::size_t>(owner)].name;
}

Unknowns numberUnknowns(const Network &network, Diagnostics &diagnostics)
{
    Unknowns u;
    std::vector<bool> observed(network.points.size(), false);
    std::vector<bool> setUsed(network.sets.size(), false);
    for (const Observation &o : network.observations) {
        observed[static_cast<std::size_t>(o.station)] = true;
        observed[static_cast<std::size_t>(o.target)] = true;
        if (o.kind == ObservationKind::Direction && o.set >= 0)
            setUsed[static_cast<std::size_t>(o.set)] = true;
    }
    u.point.assign(network.points.size(), {-1, -1, -1});
    for (std::size_t p = 0; p < network.points.size(); ++p) {
        const Point &point = network.points[p];
        const bool free = !point.fixed[0] || !point.fixed[1] || !point.fixed[2];
        if (free && !observed[p]) {
            diagnostics.error(network.fileName(point.fileNumber), point.lineNumber,
                              fr("Le point « ") + point.name +
                                  fr(" » a des coordonnées libres mais aucune observation ne le "
                                     "relie au réseau : il ne peut être déterminé."));
            continue;
        }
        for (int c = 0; c < 3; ++c) {
            if (!point.fixed[static_cast<std::size_t>(c)]) {
                u.point[p][static_cast<std::size_t>(c)] = u.count++;
                u.owner.emplace_back(static_cast<int>(p), c);
            }
        }
    }
    u.coordinateCount = u.count;
    u.set.assign(network.sets.size(), -1);
    for (std::size_t s = 0; s < network.sets.size(); ++s) {
        if (setUsed[s]) {
            u.set[s] = u.count++;
            u.owner.emplace_back(static_cast<int>(s), kOrientationComponent);
        }
    }
    u.orientationCount = u.count - u.coordinateCount;
    // Every unknown height serves a sight: the network builder refuses one that serves none.
    u.height.assign(network.unknownHeights.size(), -1);
    for (std::size_t h = 0; h < network.unknownHeights.size(); ++h) {
        u.height[h] = u.count++;
        u.owner.emplace_back(static_cast<int>(h), kHeightComponent);
    }
    // Every secondary parameter made applies to some observation. Numbered last, they come last
    // in the elimination order too: each one couples all of its observations' points.
    u.secondary.assign(network.secondaryParameters.size(), -1);
    for (std::size_t k = 0; k < network.secondaryParameters.size(); ++k) {
        u.secondary[k] = u.count++;
        u.owner.emplace_back(static_cast<int>(k), kSecondaryComponent);
    }
    return u;
}

} // namespace engine
