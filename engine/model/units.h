#ifndef ENGINE_MODEL_UNITS_H
#define ENGINE_MODEL_UNITS_H

#include <cstdint>

// The units of the observation files and of the report.
namespace engine {

// The result file's angle unit codes.
enum class AngleUnit : std::uint8_t { Grades = 1, Dms = 2, Radians = 3 };
enum class LinearUnit : std::uint8_t { Metre, Centimetre, Millimetre };

constexpr double metresPerUnit(LinearUnit unit)
{
    switch (unit) {
    case LinearUnit::Centimetre:
        return 0.01;
    case LinearUnit::Millimetre:
        return 0.001;
    case LinearUnit::Metre:
        break;
    }
    return 1.0;
}

} // namespace engine

#endif // ENGINE_MODEL_UNITS_H
