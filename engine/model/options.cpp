#include "engine/model/options.h"

#include "engine/base/text.h"

namespace engine {

namespace {

// The ranges of probabilities the configuration editor offers; beyond them the quantiles of the
// tests lose their meaning (a confidence of 1 - 1e-16 has no finite critical value). The editor
// offers the confidence of the tests from 0, which itself is no test at all: it is excluded.
constexpr const char kLowestValidation[] = "0";
constexpr const char kLowestConfidence[] = "0.05";
constexpr const char kHighestConfidence[] = "0.99999";
constexpr const char kLowestRisk[] = "0.005";
constexpr const char kHighestRisk[] = "0.30";

} // namespace

namespace {

class OptionReader
{
public:
    OptionReader(const ConfigurationValues &values, const std::string &file, Diagnostics &diag)
        : m_values(values)
        , m_file(file)
        , m_diagnostics(diag)
    {}

    // The value of `key`, or its default when missing or empty; `line` receives its line.
    std::string raw(const char *key, int *line = nullptr) const
    {
        const auto it = m_values.values.find(key);
        if (line)
            *line = it == m_values.values.end() ? 0 : it->second.second;
        if (it != m_values.values.end() && !it->second.first.empty())
            return it->second.first;
        for (const ConfigurationKey &k : configurationKeys()) {
            if (std::string(k.key) == key)
                return trim(k.defaultValue);
        }
        return {};
    }

    // A choice among `tokens`; an unknown token takes `fallback`, as the configuration editor
    // reads it, with a warning so that the report shows what was used.
    std::string choice(const char *key, std::initializer_list<const char *> tokens,
                       const char *fallback)
    {
        int line = 0;
        const std::string value = raw(key, &line);
        for (const char *token : tokens) {
            if (value == token)
                return value;
        }
        m_diagnostics.warning(m_file, line,
                              fr("Valeur inconnue « ") + shownValue(value) + fr(" » pour la clé ") +
                                  key + fr(" : la valeur ") + fallback + fr(" est utilisée."));
        return fallback;
    }

    bool flag(const char *key) const { return raw(key) == "OUI"; }

    int count(const char *key, int minimum, int maximum)
    {
        int line = 0;
        const std::string value = raw(key, &line);
        const auto n = parseInteger(value);
        if (!n || *n < minimum || *n > maximum) {
            m_diagnostics.error(m_file, line,
                                fr("Valeur illisible « ") + shownValue(value) +
                                    fr(" » pour la clé ") + key + fr(" : un entier de ") +
                                    std::to_string(minimum) + fr(" à ") + std::to_string(maximum) +
                                    fr(" est attendu."));
            return minimum;
        }
        return static_cast<int>(*n);
    }

    double number(const char *key, double lowerExclusive, double upperExclusive)
    {
        int line = 0;
        const std::string value = raw(key, &line);
        const auto x = parseNumber(value);
        if (!x || *x <= lowerExclusive || *x >= upperExclusive) {
            m_diagnostics.error(m_file, line,
                                fr("Valeur illisible ou hors limites « ") + shownValue(value) +
                                    fr(" » pour la clé ") + key + ".");
            return 0.0;
        }
        return *x;
    }

    // A probability from `low` to `high`, both included but for a low bound of 0, given as text
    // so that the message shows the bounds as the configuration editor does.
    double probability(const char *key, const char *low, const char *high, double fallback)
    {
        int line = 0;
        const std::string value = raw(key, &line);
        const auto x = parseNumber(value);
        const double lowest = *parseNumber(low);
        const bool inRange =
            x && (lowest > 0.0 ? *x >= lowest : *x > lowest) && *x <= *parseNumber(high);
        if (!inRange) {
            m_diagnostics.error(m_file, line,
                                fr("Valeur illisible ou hors limites « ") + shownValue(value) +
                                    fr(" » pour la clé ") + key + fr(" : de ") + low +
                                    (lowest > 0.0 ? "" : fr(" (exclu)")) + fr(" à ") + high +
                                    fr(" attendu."));
            return fallback;
        }
        return *x;
    }

    int lineOf(const char *key) const
    {
        int line = 0;
        raw(key, &line);
        return line;
    }

    const std::string &file() const { return m_file; }
    Diagnostics &diagnostics() { return m_diagnostics; }

private:
    const ConfigurationValues &m_values;
    const std::string &m_file;
    Diagnostics &m_diagnostics;
};

IterationListing iterationListing(OptionReader &reader, const char *key)
{
    std::string value = reader.raw(key);
    if (value == "ALL")
        value = "ALL_ITER";
    if (value == "FRT_ITER")
        return IterationListing::First;
    if (value == "ALL_ITER")
        return IterationListing::All;
    if (value != "NON")
        reader.choice(key, {"NON", "FRT_ITER", "ALL_ITER"}, "NON");
    return IterationListing::None;
}

// A row of regions: the mode ("00" none, "10" per point, "01" between points, "11" both) and,
// when regions are asked for or the row is `used` otherwise, the confidence and the second-kind
// risk.
RegionRow regionRow(OptionReader &reader, const char *modeKey, const char *confidenceKey,
                    const char *betaKey, bool used)
{
    RegionRow row;
    const std::string mode = reader.choice(modeKey, {"00", "10", "01", "11"}, "00");
    row.absolute = mode[0] == '1';
    row.relative = mode[1] == '1';
    if (row.requested() || used) {
        row.confidence =
            reader.probability(confidenceKey, kLowestConfidence, kHighestConfidence, 0.95);
        if (betaKey)
            row.beta = reader.probability(betaKey, kLowestRisk, kHighestRisk, 0.20);
    }
    return row;
}

// The 1D reliability row also gives the minimal detectable biases that the residual listing
// shows when `biasesListed`.
void readRegionOptions(OptionReader &reader, RegionOptions &regions, bool biasesListed)
{
    regions.coordinates = reader.choice("REG_COORD", {"XYZ", "PLU", "NEU"}, "NEU");
    const std::string components = reader.raw("REG1D_TYPE");
    const std::string pairs = reader.raw("REG2D_TYPE");
    for (std::size_t c = 0; c < 3; ++c) {
        regions.components[c] = c < components.size() && components[c] == '1';
        regions.pairs[c] = c < pairs.size() && pairs[c] == '1';
    }
    static const char *const keys[3][5] = {
        {"REG1D_MODE", "REG1D_CONF", "FIA1D_MODE", "FIA1D_CONF", "FIA1D_BETA"},
        {"REG2D_MODE", "REG2D_CONF", "FIA2D_MODE", "FIA2D_CONF", "FIA2D_BETA"},
        {"REG3D_MODE", "REG3D_CONF", "FIA3D_MODE", "FIA3D_CONF", "FIA3D_BETA"}};
    for (std::size_t d = 0; d < 3; ++d) {
        regions.confidence[d] = regionRow(reader, keys[d][0], keys[d][1], nullptr, false);
        regions.reliability[d] =
            regionRow(reader, keys[d][2], keys[d][3], keys[d][4], d == 0 && biasesListed);
    }
    if (regions.anyRequested() && regions.coordinates != "NEU")
        reader.diagnostics().warning(
            reader.file(), reader.lineOf("REG_COORD"),
            fr("Régions demandées en ") + regions.coordinates +
                fr(" : le modèle 3D_LOCALE n'a que les composantes locales nord, est et up ; "
                   "les régions sont données en NEU."));
}

} // namespace

Options optionsFromValues(const ConfigurationValues &values, const std::string &fileLabel,
                          Diagnostics &diagnostics)
{
    OptionReader reader(values, fileLabel, diagnostics);
    Options options;
    for (const auto &[line, warning] : values.misreadLines)
        diagnostics.warning(fileLabel, line, warning);
    for (long long i = 0; i < values.otherMisreadLines; ++i)
        diagnostics.warning(fileLabel, 0, fr("Ligne de clé décalée."));

    options.convergence = reader.number("CRITCONV", 0.0, 1e6);

    // "PREANALYSE" is the older name of "SIMULATION".
    if (reader.raw("TYPECALCUL") == "PREANALYSE")
        options.calculationType = "SIMULATION";
    else
        options.calculationType = reader.choice(
            "TYPECALCUL", {"AJUSTEMENT", "SIMULATION", "NORMEL1", "HUBER"}, "AJUSTEMENT");
    if (options.calculationType != "AJUSTEMENT")
        diagnostics.error(fileLabel, reader.lineOf("TYPECALCUL"),
                          fr("Le type de calcul ") + options.calculationType +
                              fr(" n'est pas encore traité par ce moteur : seul AJUSTEMENT "
                                 "est disponible."));

    options.model = reader.choice("TYPEMODEL", {"3D_LOCALE", "3D_SPHERIQUE", "3D_ELLIPSOIDALE"},
                                  "3D_ELLIPSOIDALE");
    if (options.model != "3D_LOCALE")
        diagnostics.error(fileLabel, reader.lineOf("TYPEMODEL"),
                          fr("Le modèle ") + options.model +
                              fr(" n'est pas encore traité par ce moteur : seul le modèle "
                                 "3D_LOCALE est disponible."));

    const std::string angles = reader.choice("TYPEANGLES", {"DMS", "GRD", "RAD"}, "GRD");
    options.angleUnit = angles == "DMS"   ? AngleUnit::Dms
                        : angles == "RAD" ? AngleUnit::Radians
                                          : AngleUnit::Grades;

    const std::string unit = reader.choice("LINEARUNIT", {"m", "cm", "mm"}, "m");
    options.linearUnit = unit == "cm"   ? LinearUnit::Centimetre
                         : unit == "mm" ? LinearUnit::Millimetre
                                        : LinearUnit::Metre;

    options.maxIterations = reader.count("NBMAXITER", 1, 1000);
    options.approximateOrientation = reader.choice("APPLIMBE", {"ZERO", "FIRST", "MOY"}, "ZERO");
    options.freeNetwork = reader.choice("FREENET", {"NON", "TRACEMIN", "BASESEL"}, "NON");
    if (options.freeNetwork != "NON")
        diagnostics.error(fileLabel, reader.lineOf("FREENET"),
                          fr("Le calcul en réseau libre (") + options.freeNetwork +
                              fr(") n'est pas encore traité par ce moteur."));
    options.distanceQuadratic = reader.choice("SIGMADIST", {"STD", "NOSTD"}, "NOSTD") == "STD";
    options.addOwnAndFamily = reader.choice("SIGM+STD", {"OUI", "NON"}, "NON") == "OUI";
    options.heightDifferencePerRootKm =
        reader.choice("SIGMAOHDF", {"STD", "NOSTD"}, "NOSTD") == "STD";

    const std::string scaling = reader.choice("TYPESIGMA0", {"AUTO", "JAMAIS", "TOUJOURS"}, "AUTO");
    options.sigmaScaling = scaling == "JAMAIS"     ? SigmaScaling::Never
                           : scaling == "TOUJOURS" ? SigmaScaling::Always
                                                   : SigmaScaling::Auto;
    options.validation =
        reader.probability("VALIDATION", kLowestValidation, kHighestConfidence, 0.95);

    options.multiEpoch = reader.flag("MEP_MODE");
    if (options.multiEpoch)
        diagnostics.error(fileLabel, reader.lineOf("MEP_MODE"),
                          fr("L'analyse multi époques n'est pas encore traitée par ce moteur."));

    options.distanceDecimals = reader.count("NBDEC_DIST", 1, 9);
    options.angleDecimals = reader.count("NBDEC_ANGT", 1, 9);
    options.logCoordinates = reader.flag("LOG_STATIO");
    options.logOptions = reader.flag("LOG_OPTION");
    options.logReliability = reader.flag("LOG_FIAB");
    const std::string residuals = reader.choice("LOG_RESIDU", {"NON", "TOUS", "NOVALID"}, "NON");
    options.logResiduals = residuals == "TOUS"      ? ResidualListing::All
                           : residuals == "NOVALID" ? ResidualListing::InvalidOnly
                                                    : ResidualListing::None;
    options.logObservedMinusComputed = iterationListing(reader, "LOG_OMC");
    options.logIntermediateSolutions = iterationListing(reader, "LOG_SOLINT");
    options.logSolutionForms = reader.raw("LOG_SOLFIN");
    options.logSolutionForms.resize(4, '0');
    options.logLocalCoordinates = options.logSolutionForms[3] == '1';
    options.logAuxiliary = reader.flag("LOG_SOLAUX");
    options.logPartialFactors = reader.flag("LOG_SGMGRP");

    options.drawingRequested = reader.flag("DRW_EXPORT");
    options.kmlRequested = reader.flag("KML_EXPORT");
    for (const char *key : {"OUTMAT_ABP", "OUTMAT_NC", "OUTMAT_INC", "OUTMAT_V", "OUTMAT_X"}) {
        if (reader.raw(key) != "NON")
            options.matricesRequested = true;
    }
    readRegionOptions(reader, options.regions, options.logReliability);
    return options;
}

} // namespace engine
