#ifndef ENGINE_NETWORKBUILDER_H
#define ENGINE_NETWORKBUILDER_H

#include "configuration.h"
#include "diagnostics.h"
#include "network.h"
#include "observationreader.h"

// Turns the record lines of the observation files into the network of the local 3D model.
//   TITL, GRP        title and observation group, carried into the report
//   SIGM             precision family;  ANGT  angle unit of the following records
//   LENU, LNEU       points with their fixity flags;  HI, HT  instrument and target heights
//   DSET, DIR        direction sets and their directions;  AZIM, ZANG, DIST, OHDF  observations
//   RSET             precision of the refraction coefficient of the following zenith angles
// Every other record code is reported with its file and line: the ones this engine does not
// handle yet, and the unknown ones.
namespace engine {

// Earth radius used for the bending of the line of sight by refraction, metres.
constexpr double kEarthRadius = 6371000.0;

Network buildNetwork(const ObservationSource &source, const Options &options,
                     Diagnostics &diagnostics);

} // namespace engine

#endif // ENGINE_NETWORKBUILDER_H
