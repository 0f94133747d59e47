#ifndef ENGINE_MODEL_OPTIONS_H
#define ENGINE_MODEL_OPTIONS_H

#include "engine/base/diagnostics.h"
#include "engine/input/configurationfile.h"
#include "engine/model/regionoptions.h"
#include "engine/model/units.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

// The options of a processing, typed, from the values of the configuration file.
namespace engine {

enum class CalculationType { Adjustment, Simulation, L1Norm, Huber };
enum class ModelType { Local3D, Spherical3D, Ellipsoidal3D };
// Approximate orientation of a direction set: zero, from its first direction, or their mean.
enum class ApproximateOrientation { Zero, First, Mean };
enum class FreeNetwork { None, MinimumTrace, SelectedBase };
enum class SigmaScaling { Auto, Never, Always };
enum class ResidualListing { None, All, InvalidOnly };
enum class IterationListing { None, First, All };
enum class VarianceMethod { Helmert, Lsvce };
enum class MatrixOutput { None, Final, EachIteration };

// The matrices written beside the report ([MATRICES]).
struct MatrixOptions
{
    RegionCoordinates coordinates = RegionCoordinates::Neu; // OUTMAT_CRD
    SigmaScaling scaling = SigmaScaling::Auto;              // OUTMAT_SG0
    MatrixOutput design = MatrixOutput::None;               // A, P, l
    MatrixOutput normal = MatrixOutput::None;               // N, c
    MatrixOutput inverse = MatrixOutput::None;              // inv(N)
    bool residuals = false;                                 // V
    bool solution = false;                                  // X

    bool any() const
    {
        return design != MatrixOutput::None || normal != MatrixOutput::None ||
               inverse != MatrixOutput::None || residuals || solution;
    }
    bool eachIteration() const
    {
        return design == MatrixOutput::EachIteration || normal == MatrixOutput::EachIteration ||
               inverse == MatrixOutput::EachIteration;
    }
};
// Simulated observations (GENE_NOISE): exact values, or errors drawn from each observation's
// standard deviation (BLANC; UNIT is taken alike).
enum class GenerationNoise { None, White, Unit };
// Orientation of the circle of each generated direction set (GENE_LIMBE).
enum class GenerationOrientation { Random, RandomQuarter, Zero };

// The forms of the adjusted coordinates in the report (LOG_SOLFIN: XYZ; PLH and PLO; NEH and
// NEO; the local coordinates).
struct SolutionForms
{
    bool geocentric = false;         // XYZ
    bool geographic = false;         // PLH
    bool geographicAltitude = false; // PLO
    bool projected = false;          // NEH
    bool projectedAltitude = false;  // NEO
    bool local = true;               // LOC

    bool anyGlobal() const
    {
        return geocentric || geographic || geographicAltitude || projected || projectedAltitude;
    }
};

// The multi-epoch analysis ([MULTI EPOQUES]).
struct EpochOptions
{
    bool fromFirst = false;          // MEP_FROM0: each epoch against the first, not the previous
    bool confidenceRegions = false;  // MEP_DOCONF
    bool reliabilityRegions = false; // MEP_DOFIAB
    bool congruence = false;         // MEP_DOCONG
    double confidence = 0.95;        // MEP_CSEUIL
    // MEP_CTYPE: the tests on the heights (1D), on the plan coordinates (2D), on both (3D).
    std::array<bool, 3> dimensions = {false, false, false};
};

struct Options
{
    double convergence = 0.0001; // metres
    CalculationType calculationType = CalculationType::Adjustment;
    double robustThreshold = 2.5; // HUBERVALUE, in units of the a priori standard deviation
    ModelType model = ModelType::Local3D;
    AngleUnit angleUnit = AngleUnit::Grades;
    LinearUnit linearUnit = LinearUnit::Metre;
    int maxIterations = 10;
    ApproximateOrientation approximateOrientation = ApproximateOrientation::Mean;
    FreeNetwork freeNetwork = FreeNetwork::None;
    bool distanceQuadratic = false;         // SIGMADIST STD: sqrt(a^2 + (b D)^2); NOSTD: a + b D
    bool addOwnAndFamily = false;           // SIGM+STD OUI
    bool heightDifferencePerRootKm = false; // SIGMAOHDF STD
    SigmaScaling sigmaScaling = SigmaScaling::Auto;
    double validation = 0.95;
    VarianceMethod varianceMethod = VarianceMethod::Helmert;
    int varianceIterations = 10;        // VCEITERMAX
    bool logVarianceIterations = false; // VCESOLINT
    bool multiEpoch = false;            // MEP_MODE
    EpochOptions epochs;
    int distanceDecimals = 4;
    int angleDecimals = 2;
    bool logCoordinates = true;
    bool logOptions = true;
    bool logReliability = true;
    bool logGeoid = false; // LOG_GEOID: the undulation and deflections used at each point
    ResidualListing logResiduals = ResidualListing::All;
    // The residuals of the vectors and of the XYZ observed positions turned into north, east, up.
    bool logResidualsNeu = false;
    IterationListing logObservedMinusComputed = IterationListing::None;
    IterationListing logIntermediateSolutions = IterationListing::None;
    SolutionForms solutionForms;
    bool logAuxiliary = true;
    bool logPartialFactors = true;
    bool drawingRequested = true;
    bool kmlRequested = false;
    MatrixOptions matrices;
    RegionOptions regions;
    bool generateObservations = false; // GENE_LOG, with a pre-analysis
    GenerationNoise generationNoise = GenerationNoise::None;
    GenerationOrientation generationOrientation = GenerationOrientation::Random;
};

// The token of a value in the configuration file: "AJUSTEMENT", "3D_LOCALE", "MOY", "NON", "NEU"...
const char *optionToken(CalculationType value);
const char *optionToken(ModelType value);
const char *optionToken(LinearUnit value);
const char *optionToken(ApproximateOrientation value);
const char *optionToken(FreeNetwork value);
const char *optionToken(RegionCoordinates value);

// The unit of a token ("DMS", "GRD", "RAD"; "m", "cm", "mm"), in the configuration file as in the
// observation records; none for an unknown token.
std::optional<AngleUnit> angleUnitOfToken(std::string_view token);
std::optional<LinearUnit> linearUnitOfToken(std::string_view token);

// Typed options from the values; unreadable or unsupported values, and the misread lines, go to
// `diagnostics` against `fileLabel`. The confidence of the tests (VALIDATION) lies above 0
// and up to 0.99999, those of the regions between 0.05 and 0.99999 and the second-kind risks
// between 0.005 and 0.30: the ranges the configuration editor offers.
Options optionsFromValues(const ConfigurationValues &values, const std::string &fileLabel,
                          Diagnostics &diagnostics);

} // namespace engine

#endif // ENGINE_MODEL_OPTIONS_H
