#ifndef ENGINE_MODEL_UNITS_H
#define ENGINE_MODEL_UNITS_H

// The units of the observation files and of the report.
namespace engine {

enum class AngleUnit { Grades = 1, Dms = 2, Radians = 3 }; // the result file's angle unit codes
enum class LinearUnit { Metre, Centimetre, Millimetre };

} // namespace engine

#endif // ENGINE_MODEL_UNITS_H
