#ifndef ENGINE_MODEL_REGIONOPTIONS_H
#define ENGINE_MODEL_REGIONOPTIONS_H

#include <array>

// What the configuration asks of the confidence regions ([CONFIANCE]) and of the reliability
// regions ([FIABILITE]): one row per dimension, 1D, 2D and 3D.
namespace engine {

// The components of the regions, in the order of their digits: north, east, up. The pairs of the
// 2D regions are (north, east), (north, up) and (east, up).
enum class RegionComponent { North = 0, East = 1, Up = 2 };

// The components the regions are asked in (REG_COORD).
enum class RegionCoordinates { Xyz, Plu, Neu };

struct RegionRow
{
    bool absolute = false; // mode "10" or "11": a region per point
    bool relative =
        false; // mode "01" or "11": a region per pair of points joined by an observation
    double confidence = 0.95; // strictly between 0 and 1
    double beta = 0.20;       // second-kind risk of the reliability rows, strictly between 0 and 1

    bool requested() const { return absolute || relative; }
};

struct RegionOptions
{
    RegionCoordinates coordinates = RegionCoordinates::Neu;
    std::array<bool, 3> components = {false, false, true}; // REG1D_TYPE: N, E, U
    std::array<bool, 3> pairs = {true, false, false};      // REG2D_TYPE: NE, NU, EU
    std::array<RegionRow, 3> confidence;                   // REG1D_*, REG2D_*, REG3D_*
    std::array<RegionRow, 3> reliability;                  // FIA1D_*, FIA2D_*, FIA3D_*

    bool anyRequested() const
    {
        for (const RegionRow &row : confidence)
            if (row.requested())
                return true;
        for (const RegionRow &row : reliability)
            if (row.requested())
                return true;
        return false;
    }
};

} // namespace engine

#endif // ENGINE_MODEL_REGIONOPTIONS_H
