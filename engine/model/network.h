#ifndef ENGINE_MODEL_NETWORK_H
#define ENGINE_MODEL_NETWORK_H

#include "engine/import/geoidgrid.h"
#include "engine/model/conformalsphere.h"
#include "engine/model/projection.h"
#include "engine/model/referenceellipsoid.h"
#include "engine/model/units.h"

#include <Eigen/Core>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The network of the local 3D model: points in a local frame (east, north, up; metres), the
// observations between them and the orientation unknowns of the direction sets.
namespace engine {

// Observation kinds, numbered as in the result file. A GNSS vector (DXYZ) and a point's observed
// position (a 3DC block) give one observation per component.
enum class ObservationKind : std::uint8_t {
    Distance = 1,
    Direction = 2,
    Zenith = 3,
    HeightDifference = 4,
    Azimuth = 5,
    Vector = 6,      // DX, DY, DZ: geocentric target minus station, on the ellipsoid
    Geocentric = 11, // X, Y, Z
    Geographic = 12, // latitude, longitude, ellipsoidal height
    Local = 14       // north, east, up of the local model
};

// The record code of a kind ("DIST", "DIR", ...; "XYZ", "PLH", "LNEU" for observed positions).
const char *observationCode(ObservationKind kind);

// Whether `kind` is a component of an observed position.
bool isObservedPosition(ObservationKind kind);

// Whether `kind` is a component of an item of three (an observed position or a vector).
bool isComponent(ObservationKind kind);

struct Observation;

// The kinds of observation a group of secondary parameters (AUX) applies to: DIS its distances,
// ZAN its zenith angles, ALL every observation each of its parameters can apply to.
enum class SecondaryScope { Distances, ZenithAngles, All };

// The parameter types of an AUX record.
enum class SecondaryType {
    Constant,     // CONS: added to the group's distances, metres
    Scale,        // SCAL: lengthens the group's distances, parts per million
    Refraction,   // REFR: the coefficient of refraction of the group's zenith angles
    VarianceGroup // GVCE: the group's observations share a variance component; no unknown
};

// The token of a parameter type ("CONS", "SCAL", "REFR", "GVCE") and of a scope ("DIS", "ZAN",
// "ALL").
const char *secondaryTypeCode(SecondaryType type);
const char *secondaryScopeCode(SecondaryScope scope);

// The record code of an observation, or for a component the letter of it: DX, DY, DZ for a
// vector; X, Y, Z; P, L, H; N, E, H for an observed position.
const char *observationLabel(const Observation &observation);

// The frame of a point's coordinate record: LENU or LNEU, XYZ, PLH or PLHD (and PLO, PLOD, NEH,
// NEO, which come to latitude and longitude once read).
enum class CoordinateFrame { Local, Geocentric, Geographic };

// The geoid at a point: its undulation N (ellipsoidal height h = altitude H + N) and, from a GEOI
// record, the deflections of the vertical: xi along the meridian, positive when the plumb line's
// zenith lies north of the ellipsoid normal's (astronomic latitude above the geodetic one), eta
// along the prime vertical, positive east.
struct GeoidValue
{
    double undulation = 0.0;      // metres
    double deflectionNorth = 0.0; // xi, radians
    double deflectionEast = 0.0;  // eta, radians
    int fileNumber = 0;           // the GEOI record; line 0: the GFIL grid
    int lineNumber = 0;
};

struct Point
{
    std::string name;
    Eigen::Vector3d approximate = Eigen::Vector3d::Zero(); // east, north, up as read (metres)
    std::array<bool, 3> fixed = {false, false, false};     // east, north, up
    // Free coordinates flagged 2: they define the datum of a free network with a selected base.
    std::array<bool, 3> base = {false, false, false};
    bool given = true;     // by a coordinate record; otherwise computed from the observations
    std::string placement; // how a computed point was placed (Latin-1)
    // XYZ, PLH and PLHD records (geodetic models): the position they give, in both forms once
    // the whole files are read (the ELIP record may come last), and the fixity above read as
    // east, north, up of the point's horizon.
    CoordinateFrame frame = CoordinateFrame::Local;
    Eigen::Vector3d geocentric = Eigen::Vector3d::Zero(); // X, Y, Z, metres
    Geographic geographic;
    // PLO, PLOD, NEO: the height read is an altitude, `geographic.height` the ellipsoidal height
    // it gives with the geoid.
    bool altitude = false;
    double altitudeRead = 0.0; // metres
    // NEH, NEO: the projection named and the north and east read (metres).
    std::string projection;
    double gridNorth = 0.0;
    double gridEast = 0.0;
    // The geoid at the point: from its GEOI record, or from the GFIL grid at its position (its
    // approximate one for a point placed from the observations).
    std::optional<GeoidValue> geoid;
    int fileNumber = 0;
    int lineNumber = 0;
};

// The HI or HT record an observation took its height from (line 0: none, the height is 0).
struct HeightRecord
{
    int fileNumber = 0;
    int lineNumber = 0;
    LinearUnit unit = LinearUnit::Metre;
};

// An instrument height (UNHI, at a station) or a target height (UNHT, at a point sighted) that the
// adjustment estimates, from its approximate value. Each record is one unknown, taken by the
// observations that the record's height serves.
struct UnknownHeight
{
    int point = -1;           // index into Network::points
    bool instrument = true;   // UNHI; false: UNHT
    double approximate = 0.0; // metres
    int fileNumber = 0;
    int lineNumber = 0;
};

// Whether the instrument and target heights enter an observation of `kind`: the sights (DIST, DIR,
// AZIM, ZANG); levelling joins the marks, vectors and observed positions the points themselves.
bool takesHeights(ObservationKind kind);

// A run of indices held by a list of the network.
struct IndexRange
{
    const int *first = nullptr;
    const int *last = nullptr;

    const int *begin() const { return first; }
    const int *end() const { return last; }
    std::size_t size() const { return static_cast<std::size_t>(last - first); }
    bool empty() const { return first == last; }
};

// Members ordered by size, so that the millions of a large network carry no padding.
struct Observation
{
    double value = 0.0;            // metres or radians
    double sigma = 0.0;            // a priori standard deviation, metres or radians
    double instrumentHeight = 0.0; // metres, above the station mark
    double targetHeight = 0.0;     // metres, above the target mark
    int station = 0;               // index into Network::points
    int target = 0;
    // The unknown heights the sight takes instead (index into Network::unknownHeights, -1: the
    // height above is known); the height above then holds the approximate value.
    int instrumentUnknown = -1;
    int targetUnknown = -1;
    int set = -1;   // index into Network::sets (directions)
    int group = -1; // GRP in force: index into Network::groupNames, -1 for none
    // The secondary parameters its computed value takes (constants and scales of a distance, the
    // refraction of a zenith angle): Network::secondaryOf() gives them.
    int secondaryStart = 0;
    int secondaryCount = 0;
    int fileNumber = 0;
    int lineNumber = 0;
    // Its variance component group: index into Network::varianceGroups, -1 for none.
    int varianceGroup = -1;
    ObservationKind kind = ObservationKind::Distance;
    AngleUnit angleUnit = AngleUnit::Grades;   // the unit in force (angles)
    LinearUnit linearUnit = LinearUnit::Metre; // the unit of the record (DIST, OHDF)
    // Observed positions and vectors: the component (0 to 2: X, Y, Z; latitude, longitude,
    // height; north, east, up).
    std::uint8_t component = 0;

    // Zenith angles: the coefficient of refraction; 0 for the other kinds.
    double refraction() const { return kind == ObservationKind::Zenith ? m_ofKind : 0.0; }
    // Observed latitudes and longitudes: the metres per radian along north or east at the
    // observed position, which turn the misclosure and the residual into metres; 1 otherwise.
    double metresPerRadian() const
    {
        return kind == ObservationKind::Geographic && component < 2 ? m_ofKind : 1.0;
    }
    // OHDF with a geoid: undulation of the target less that of the station, so that the
    // observation is a difference of altitudes; 0 otherwise.
    double undulationDifference() const
    {
        return kind == ObservationKind::HeightDifference ? m_ofKind : 0.0;
    }
    // Each for its own kind: the readings above give the value to that kind only.
    void setRefraction(double coefficient) { m_ofKind = coefficient; }
    void setMetresPerRadian(double metres) { m_ofKind = metres; }
    void setUndulationDifference(double metres) { m_ofKind = metres; }

private:
    // The value that only one kind carries, which the kinds share since none carries two; last,
    // where the members above leave it aligned.
    double m_ofKind = 0.0;
};

// What only the building of the network and the data check read of an observation's record:
// its precision as read, resolved into `Observation::sigma` once the whole file is read, and the
// record as written, for the data check to read it again another way.
struct ObservationAsRead
{
    std::string sigmaId;
    std::string written;           // the angle field, without surrounding blanks
    double ownSigma = 0.0;         // metres or radians
    double smallAngleUnit = 0.0;   // radians per small angle unit in force (angles)
    double refractionSigma = 0.0;  // RSET in force (zenith angles)
    double length = 0.0;           // OHDF: length of the levelling line, metres (0: not given)
    HeightRecord instrumentRecord; // DIST and ZANG
    HeightRecord targetRecord;
    bool hasOwnSigma = false;
};

// A direction set: the directions read from one station with one orientation of the circle.
struct DirectionSet
{
    int station = -1;
    double orientation = 0.0; // radians, approximate then adjusted
    std::string sigmaId;      // the DSET's Sigma-ID, used by its directions that name none
    int fileNumber = 0;
    int lineNumber = 0;
};

// A precision family (SIGM).
struct PrecisionFamily
{
    std::string id;
    double constant = 0.0; // as written: record unit for lengths, small angle unit for angles
    double ppm = 0.0;
    double centringPoint = 0.0;   // metres
    double centringStation = 0.0; // metres
    double centringTarget = 0.0;  // metres
    double unit = 1.0;            // metres per record unit
    std::string otherParameters;
    // The groups of secondary parameters its observations belong to, as listed in
    // `otherParameters` (names separated by blanks or commas).
    std::vector<std::string> groups;
    int fileNumber = 0;
    int lineNumber = 0;
};

// A group of secondary parameters (AUX): its observations are those whose precision family lists
// its name, and those that follow a GRP record of its name.
struct SecondaryGroup
{
    std::string name;
    SecondaryScope scope = SecondaryScope::All;
    std::vector<SecondaryType> types; // as the record lists them
    int fileNumber = 0;
    int lineNumber = 0;
};

// A secondary parameter (CONS, SCAL or REFR of a group), one unknown of the adjustment; only the
// parameters that apply to at least one observation are made.
struct SecondaryParameter
{
    int group = 0; // index into Network::secondaryGroups
    SecondaryType type = SecondaryType::Constant;
    double start = 0.0;   // where the iterations start: metres, ppm, or the coefficient
    int observations = 0; // how many observations take it
};

// A variance component group (GVCE): the observations whose a priori variances share one factor.
struct VarianceGroup
{
    std::string name;
    int fileNumber = 0; // its AUX record
    int lineNumber = 0;
    std::vector<int> observations; // indices into Network::observations, increasing
};

// Consecutive observations whose errors are correlated: the components of an observed position,
// or of the vectors of one matrix header, item after item (three observations each).
struct CorrelatedBlock
{
    int first = 0;              // index of its first observation
    Eigen::MatrixXd covariance; // in the units of its observations' misclosures (metres squared)
    int fileNumber = 0;         // its matrix header (COV, CORR, WGT)
    int lineNumber = 0;

    int size() const { return static_cast<int>(covariance.rows()); }
};

struct Network
{
    std::vector<std::string> files; // Latin-1 paths of the observation files, numbered from 1
    std::vector<Point> points;
    std::map<std::string, int> pointIndex;
    std::vector<Observation> observations;
    // Beside each observation, at its index, its record as read; empty once released.
    std::vector<ObservationAsRead> asRead;
    std::vector<std::string> groupNames; // the GRP names the observations name, in reading order
    std::vector<DirectionSet> sets;
    std::vector<UnknownHeight> unknownHeights;
    std::vector<CorrelatedBlock> correlated; // in the order of their observations
    std::map<std::string, PrecisionFamily> families;
    std::vector<SecondaryGroup> secondaryGroups;         // AUX records, in reading order
    std::vector<SecondaryParameter> secondaryParameters; // by group, then in the record's order
    // The secondary parameters the observations take, indices into secondaryParameters, the
    // observations' one after the other in their order.
    std::vector<int> observationSecondary;
    std::vector<VarianceGroup> varianceGroups; // the GVCE groups, in AUX order
    std::vector<std::string> titles;
    bool geodetic = false;        // the ellipsoidal or the spherical model
    ReferenceEllipsoid ellipsoid; // of the ELIP record, GRS80 without one
    // Geodetic models: the surface the observations are computed on, the ellipsoid itself or,
    // in the spherical model, the conformal sphere (both semi-axes equal). Points keep their
    // height from one to the other; the adjusted state is geocentric on it.
    ReferenceEllipsoid surface;
    std::optional<ConformalSphere> sphere; // the spherical model's
    // Spherical model: the PMOY record that gave the sphere's latitude (line 0: none, the mean
    // latitude of the points given by XYZ, PLH or PLHD).
    int meanLatitudeFile = 0;
    int meanLatitudeLine = 0;
    // Geodetic models: the origin, on the ellipsoid below the centroid of the points given by
    // XYZ, PLH or PLHD, of the plane tangent to the ellipsoid (east, north, up) in which their
    // `approximate` coordinates lie, so that placing points, precisions and drawings work as in
    // the local model, on the sphere as on the ellipsoid.
    Geographic tangentOrigin;
    // The projections the files define (TMER, XTMR, LAMB, XLAM, OMER, STGR), in their order, and
    // the one the drawing and the regions' north, east, up are in: the projection of the first
    // NEH or NEO record, else the first defined (-1: none, the tangent plane).
    std::vector<Projection> projections;
    int drawingProjection = -1;
    // The GFIL grid of undulations (null: none), with its record.
    std::shared_ptr<const import::GeoidGrid> geoidGrid;
    std::string geoidGridPath; // Latin-1, as resolved
    int geoidFileNumber = 0;
    int geoidLineNumber = 0;

    // Frees the records as read, which nothing reads after the data check.
    void releaseAsRead();
    // The GRP name in force at `observation`, empty for none.
    const std::string &groupOf(const Observation &observation) const;
    // The secondary parameters `observation` takes, indices into secondaryParameters.
    IndexRange secondaryOf(const Observation &observation) const;

    // The path of file number `fileNumber`, or an empty text when there is no such file.
    const std::string &fileName(int fileNumber) const;

    // Geodetic models: the geocentric position of `point` on the surface, from its record or,
    // for a point placed from the observations, from the tangent plane.
    Eigen::Vector3d geocentricOf(const Point &point) const;

    // Geodetic models, for a geocentric position `onSurface` of the state: its latitude,
    // longitude and height on the ellipsoid; its geocentric position on the ellipsoid; its east,
    // north, up in the tangent plane.
    Geographic geographicOf(const Eigen::Vector3d &onSurface) const;
    Eigen::Vector3d ellipsoidGeocentricOf(const Eigen::Vector3d &onSurface) const;
    Eigen::Vector3d planeOf(const Eigen::Vector3d &onSurface) const;
    // The east, north, up axes of the tangent plane, as columns in geocentric components.
    Eigen::Matrix3d planeHorizon() const;

    // The projection named `name`, or null.
    const Projection *projectionNamed(const std::string &name) const;
    // Whether the files give a geoid: a GFIL grid or a GEOI record.
    bool hasGeoid() const;
    // The geoid at point `point` whose position is `at` (on the ellipsoid): its GEOI record's, or
    // the grid's undulation there (none outside the grid, or without a grid).
    std::optional<GeoidValue> geoidAt(const Point &point, const Geographic &at) const;
    // Geodetic models: east, north, up of the drawing plane (the drawing projection's grid with
    // the ellipsoidal height, or the tangent plane) for a position `onSurface` of the state.
    Eigen::Vector3d drawingOf(const Eigen::Vector3d &onSurface) const;
};

} // namespace engine

#endif // ENGINE_MODEL_NETWORK_H
