#ifndef ENGINE_MODEL_OPTIONS_H
#define ENGINE_MODEL_OPTIONS_H

#include "engine/base/diagnostics.h"
#include "engine/input/configurationfile.h"
#include "engine/model/regionoptions.h"
#include "engine/model/units.h"

#include <string>

// The options of a processing, typed, from the values of the configuration file.
namespace engine {

enum class SigmaScaling { Auto, Never, Always };
enum class ResidualListing { None, All, InvalidOnly };
enum class IterationListing { None, First, All };

struct Options
{
    double convergence = 0.0001; // metres
    std::string calculationType = "AJUSTEMENT";
    std::string model = "3D_LOCALE";
    AngleUnit angleUnit = AngleUnit::Grades;
    LinearUnit linearUnit = LinearUnit::Metre;
    int maxIterations = 10;
    std::string approximateOrientation = "MOY"; // ZERO, FIRST or MOY
    std::string freeNetwork = "NON";
    bool distanceQuadratic = false;         // SIGMADIST STD: sqrt(a^2 + (b D)^2); NOSTD: a + b D
    bool addOwnAndFamily = false;           // SIGM+STD OUI
    bool heightDifferencePerRootKm = false; // SIGMAOHDF STD
    SigmaScaling sigmaScaling = SigmaScaling::Auto;
    double validation = 0.95;
    bool multiEpoch = false;
    int distanceDecimals = 4;
    int angleDecimals = 2;
    bool logCoordinates = true;
    bool logOptions = true;
    bool logReliability = true;
    ResidualListing logResiduals = ResidualListing::All;
    IterationListing logObservedMinusComputed = IterationListing::None;
    IterationListing logIntermediateSolutions = IterationListing::None;
    bool logLocalCoordinates = true; // the fourth character of LOG_SOLFIN
    std::string logSolutionForms = "0001";
    bool logAuxiliary = true;
    bool logPartialFactors = true;
    bool drawingRequested = true;
    bool kmlRequested = false;
    bool matricesRequested = false;
    RegionOptions regions;
};

// Typed options from the values; unreadable or unsupported values, and the misread lines, go to
// `diagnostics` against `fileLabel`. The confidence of the tests (VALIDATION) lies above 0
// and up to 0.99999, those of the regions between 0.05 and 0.99999 and the second-kind risks
// between 0.005 and 0.30: the ranges the configuration editor offers.
Options optionsFromValues(const ConfigurationValues &values, const std::string &fileLabel,
                          Diagnostics &diagnostics);

} // namespace engine

#endif // ENGINE_MODEL_OPTIONS_H
