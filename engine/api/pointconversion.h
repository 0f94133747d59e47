#ifndef ENGINE_API_POINTCONVERSION_H
#define ENGINE_API_POINTCONVERSION_H

#include "engine/base/files.h"
#include "engine/import/geoidgrid.h"
#include "engine/model/projection.h"
#include "engine/model/referenceellipsoid.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Conversion of single points between the coordinate forms of the observation files, with the
// ellipsoid (ELIP), the projections (TMER, XTMR, LAMB, XLAM, OMER, STGR) and the geoid grid (GFIL)
// that an observation file defines: `tavlo-engine convert`.
//   XYZ          X, Y, Z in metres
//   PLH, PLO     latitude, longitude as in the files (letters, degrees minutes seconds, one
//                argument each) and the ellipsoidal height or the altitude; written in degrees,
//                minutes and seconds
//   PLHD, PLOD   the same, written in decimal degrees (north and east positive)
//   NEH:NAME, NEO:NAME   north, east in the projection NAME and the height or altitude; written
//                with the point scale factor and the meridian convergence (decimal degrees)
// Altitudes take the undulation of the grid at the point.
namespace engine {

struct PointForm
{
    enum class Kind { Xyz, Plh, Plhd, Plo, Plod, Neh, Neo };
    Kind kind = Kind::Xyz;
    std::string projection; // NEH, NEO

    bool altitude() const { return kind == Kind::Plo || kind == Kind::Plod || kind == Kind::Neo; }
};

// The form named `text` ("PLH", "NEO:LAMB93", ...), or none.
std::optional<PointForm> pointFormOf(std::string_view text);

class PointConverter
{
public:
    // The definitions of the observation file `path` (and the files it includes), or none with
    // the errors read (Latin-1, one a line with file and line) in `error`. With
    // `naturalOrigin`, the OMER projections have their false origin at the natural origin
    // (EPSG 9812) instead of the projection centre.
    static std::optional<PointConverter> load(const std::string &path, const FileLoader &loader,
                                              bool naturalOrigin, std::string &error);

    // `values` (three texts) in the form `from` written in the form `to`, fields separated by
    // blanks; none with why (Latin-1) in `error`.
    std::optional<std::string> convert(const PointForm &from, const PointForm &to,
                                       const std::vector<std::string> &values,
                                       std::string &error) const;

private:
    const Projection *projection(const std::string &name, std::string &error) const;

    ReferenceEllipsoid m_ellipsoid;
    std::vector<Projection> m_projections;
    std::shared_ptr<const import::GeoidGrid> m_grid;
};

} // namespace engine

#endif // ENGINE_API_POINTCONVERSION_H
