#ifndef ENGINE_CONFIGURATION_H
#define ENGINE_CONFIGURATION_H

#include "engine/base/diagnostics.h"
#include "regionoptions.h"

#include <map>
#include <string>
#include <vector>

// The processing configuration (".cfg"): nine sections of key lines. A key line is the key padded
// to 11 characters followed by the value: the key is read from the first 10 characters, the value
// from the 12th character to the end of the line. Sections are not tracked, the last occurrence
// of a key decides, and a missing key (or an empty value) takes the engine's default.
namespace engine {

enum class AngleUnit { Grades = 1, Dms = 2, Radians = 3 }; // the result file's angle unit codes
enum class LinearUnit { Metre, Centimetre, Millimetre };
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

// One key of the file: its section, key, kind and the engine's default value.
struct ConfigurationKey
{
    enum class Kind { Text, Choice, Count, Flag, Digits, Fixed };
    const char *section;
    const char *key;
    Kind kind;
    const char *defaultValue;
};

// Every key in file order, with the engine's defaults for a new file.
const std::vector<ConfigurationKey> &configurationKeys();

// The default configuration file, line by line, each line ending with `lineEnd`.
std::string defaultConfigurationText(const char *lineEnd);

// The key values of a configuration text by the column rules above, with the line of each, and
// the lines that these rules most likely misread: a key line whose value starts in column 11 (its
// first character is then lost), a line whose first word is a key but whose columns give another
// key or another value, a key glued to its value.
struct ConfigurationValues
{
    std::map<std::string, std::pair<std::string, int>> values; // key -> (value, line)
    std::vector<std::pair<int, std::string>> misreadLines;     // (line, warning), Latin-1
    // Misread lines beyond those kept: the report would only count them.
    long long otherMisreadLines = 0;
};
ConfigurationValues readConfigurationValues(const std::string &text);

// Typed options from the values; unreadable or unsupported values, and the misread lines, go to
// `diagnostics` against `fileLabel`. The confidence of the tests (VALIDATION) lies above 0
// and up to 0.99999, those of the regions between 0.05 and 0.99999 and the second-kind risks
// between 0.005 and 0.30: the ranges the configuration editor offers.
Options optionsFromValues(const ConfigurationValues &values, const std::string &fileLabel,
                          Diagnostics &diagnostics);

} // namespace engine

#endif // ENGINE_CONFIGURATION_H
