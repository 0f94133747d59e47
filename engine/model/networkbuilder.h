#ifndef ENGINE_MODEL_NETWORKBUILDER_H
#define ENGINE_MODEL_NETWORKBUILDER_H

#include "engine/base/diagnostics.h"
#include "engine/input/observationreader.h"
#include "engine/model/network.h"
#include "engine/model/options.h"

// Turns the record lines of the observation files into the network of the local 3D model.
//   TITL, GRP        title and observation group, carried into the report
//   SIGM             precision family, with the groups of secondary parameters it lists
//   AUX              group of secondary parameters (constant, scale, refraction, variance
//                    group), whose members are the observations of the families that list it
//                    and those under a GRP of its name
//   ANGT             angle unit of the following records
//   LENU, LNEU       points with their fixity flags;  HI, HT  instrument and target heights
//   UNHI, UNHT       unknown instrument and target heights, with their approximate values
//   DSET, DIR        direction sets and their directions;  AZIM, ZANG, DIST, OHDF  observations
//   RSET             precision of the refraction coefficient of the following zenith angles
//   ELIP             reference ellipsoid of the geodetic models (GRS80 without one)
//   XYZ, PLH, PLHD   points on the ellipsoid (geodetic models only)
//   PLO, PLOD        the same with an altitude, which the geoid turns into an ellipsoidal height
//   NEH, NEO         points in a projection, with an ellipsoidal height or an altitude
//   TMER, XTMR, LAMB, XLAM, OMER, STGR   projections, referred to by name from NEH and NEO
//   GEOI, GFIL       the geoid: a point's undulation and deflections, a grid of undulations
//   3DC              an observed position: the next coordinate line, then a matrix header (COV,
//                    CORR or WGT) and its ELEM lines; three correlated observations
//   3DD, DXYZ        GNSS vectors (geodetic models only): one or more DXYZ lines, then a matrix
//                    header and its ELEM lines for all of them (3 rows per vector), and so on
//                    until another record; three correlated observations per vector
// Every other record code is reported with its file and line: the ones this engine does not
// handle yet, and the unknown ones.
namespace engine {

// Bounds of the values of the observation files; beyond them a value is a typing error (a value
// shifted in its columns, a unit mistaken) rather than anything a survey measures.
// Instrument and target heights, metres either way: tripods, masts and survey towers stay well
// within; a target higher above its mark is a point of its own.
constexpr double kMaxHeight = 100.0;
// Coefficient of refraction, either way: 0.13 is the usual value; whole lines of sight, even
// grazing heated ground or cold water, stay within.
constexpr double kMaxRefraction = 2.0;
// Ellipsoidal height of a point given by XYZ, PLH or PLHD, metres either way: beyond the highest
// summits and the deepest trenches, a coordinate was typed in the wrong unit or columns.
constexpr double kMaxEllipsoidalHeight = 12000.0;
// Geoid undulation (GEOI), metres either way: the geoid stays within about 110 m of the
// ellipsoids of the Earth.
constexpr double kMaxUndulation = 150.0;
// Deflection of the vertical (GEOI) either way, radians: 5 minutes of arc, beyond the largest
// observed in mountains.
constexpr double kMaxDeflection = 5.0 / 60.0 * 3.14159265358979323846 / 180.0;
// Standard deviation of the refraction coefficient (RSET).
constexpr double kMaxRefractionSigma = 1.0;
// Centring errors of a precision family, metres.
constexpr double kMaxCentring = 1.0;
// Distance-proportional part of a precision family (PPM).
constexpr double kMaxPpm = 1000.0;
// A priori standard deviations, given or from a family: metres for lengths, radians for angles.
constexpr double kMinLengthSigma = 1e-6;
constexpr double kMaxLengthSigma = 1000.0;
constexpr double kMinAngleSigma = 1e-8;
constexpr double kMaxAngleSigma = 1.5707963267948966; // a quarter circle

Network buildNetwork(const ObservationSource &source, const Options &options,
                     Diagnostics &diagnostics);

} // namespace engine

#endif // ENGINE_MODEL_NETWORKBUILDER_H
