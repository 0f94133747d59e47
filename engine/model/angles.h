#ifndef ENGINE_MODEL_ANGLES_H
#define ENGINE_MODEL_ANGLES_H

#include "engine/model/units.h"

#include <optional>
#include <string>
#include <string_view>

// Angles of the observation files. An angle field holds an optional sign letter (N, E or "+" for
// positive, S, W, O or "-" for negative) then up to three parts separated by blanks, summed:
//   DMS  degrees, minutes (0 to 60), seconds (0 to 60)
//   GRD  grades, centigrades (0 to 100), decimilligrades (0 to 100)
//   RAD  radians, in one part (further parts must be zero)
// A direction or an azimuth lies under a full circle either way, a zenith angle between 0 and a
// half circle. Standard deviations of angles are given in the small unit of the angle unit: arc
// seconds (DMS), decimilligrades, 0.0001 gon (GRD), microradians (RAD).
namespace engine {

constexpr double kPi = 3.14159265358979323846;

// The size of one degree, grade or radian, in radians.
double angleUnitInRadians(AngleUnit unit);
// The size of one arc second, decimilligrade or microradian, in radians.
double smallAngleUnitInRadians(AngleUnit unit);

const char *angleUnitName(AngleUnit unit);        // "DMS", "GRD", "RAD"
const char *smallAngleUnitSymbol(AngleUnit unit); // "\"", "cc", "urad"

// The values an angle field may take.
enum class AngleRange {
    Any,
    Circle,    // under a full circle either way: directions and azimuths (-10 gon is 390 gon)
    HalfCircle // from 0 to a half circle, both included: zenith angles
};

// The angle in radians, or no value with the reason (Latin-1) in `error`.
std::optional<double> parseAngle(std::string_view field, AngleUnit unit, std::string &error,
                                 AngleRange range = AngleRange::Any);

// An angle for the report: DMS as "ddd mm ss.ss" with `decimals` decimals on the seconds, GRD as
// decimal grades with `decimals` + 4 decimals, RAD as radians with `decimals` + 6 decimals.
std::string formatAngle(double radians, AngleUnit unit, int decimals);

// `angle` brought into (-pi, pi].
double wrapAngle(double angle);
// `angle` brought into [0, 2 pi).
double normalizeAngle(double angle);

} // namespace engine

#endif // ENGINE_MODEL_ANGLES_H
