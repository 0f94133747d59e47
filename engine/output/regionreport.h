#ifndef ENGINE_OUTPUT_REGIONREPORT_H
#define ENGINE_OUTPUT_REGIONREPORT_H

#include "engine/estimation/regions.h"
#include "engine/model/network.h"
#include "engine/model/options.h"

#include <string>
#include <vector>

// The report's sections "REGIONS DE CONFIANCE" and "FIABILITE": one table per row of the
// configuration that asks for regions, per point and between points. Lengths in metres with the
// report's decimals; bearings in gon for the GRD angle unit, in decimal degrees otherwise.
namespace engine {

// The lines of both sections (Latin-1, without line ends); none when nothing is asked.
std::vector<std::string> regionReport(const Network &network, const Regions &regions,
                                      const Options &options, bool scaled);

// The minimal detectable bias of observation `index` for the 1D reliability row (metres or
// radians), or a negative value when it has none (uncontrolled, or not computed).
double minimalDetectableBias(const Regions &regions, std::size_t index);

} // namespace engine

#endif // ENGINE_OUTPUT_REGIONREPORT_H
