#include "engine/model/options.h"

#include "engine/base/text.h"

#include <optional>
#include <string_view>
#include <tuple>
#include <utility>

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

// A value of an option and its token in the file. A value may have several tokens (an older
// name); the first one names it.
template <typename T> struct Token
{
    T value;
    const char *text;
};

constexpr Token<CalculationType> kCalculationTypes[] = {
    {CalculationType::Adjustment, "AJUSTEMENT"},
    {CalculationType::Simulation, "SIMULATION"},
    {CalculationType::L1Norm, "NORMEL1"},
    {CalculationType::Huber, "HUBER"},
    {CalculationType::Simulation, "PREANALYSE"}};
constexpr Token<GenerationNoise> kGenerationNoises[] = {{GenerationNoise::None, "AUCUN"},
                                                        {GenerationNoise::White, "BLANC"},
                                                        {GenerationNoise::Unit, "UNIT"}};
constexpr Token<GenerationOrientation> kGenerationOrientations[] = {
    {GenerationOrientation::Random, "ALEATOIRE"},
    {GenerationOrientation::RandomQuarter, "PISURDEUX"},
    {GenerationOrientation::Zero, "ZERO"}};
constexpr Token<ModelType> kModelTypes[] = {{ModelType::Local3D, "3D_LOCALE"},
                                            {ModelType::Spherical3D, "3D_SPHERIQUE"},
                                            {ModelType::Ellipsoidal3D, "3D_ELLIPSOIDALE"}};
constexpr Token<AngleUnit> kAngleUnits[] = {
    {AngleUnit::Dms, "DMS"}, {AngleUnit::Grades, "GRD"}, {AngleUnit::Radians, "RAD"}};
constexpr Token<LinearUnit> kLinearUnits[] = {
    {LinearUnit::Metre, "m"}, {LinearUnit::Centimetre, "cm"}, {LinearUnit::Millimetre, "mm"}};
constexpr Token<ApproximateOrientation> kApproximateOrientations[] = {
    {ApproximateOrientation::Zero, "ZERO"},
    {ApproximateOrientation::First, "FIRST"},
    {ApproximateOrientation::Mean, "MOY"}};
constexpr Token<FreeNetwork> kFreeNetworks[] = {{FreeNetwork::None, "NON"},
                                                {FreeNetwork::MinimumTrace, "TRACEMIN"},
                                                {FreeNetwork::SelectedBase, "BASESEL"}};
constexpr Token<SigmaScaling> kSigmaScalings[] = {{SigmaScaling::Auto, "AUTO"},
                                                  {SigmaScaling::Never, "JAMAIS"},
                                                  {SigmaScaling::Always, "TOUJOURS"}};
constexpr Token<ResidualListing> kResidualListings[] = {{ResidualListing::None, "NON"},
                                                        {ResidualListing::All, "TOUS"},
                                                        {ResidualListing::InvalidOnly, "NOVALID"}};
constexpr Token<IterationListing> kIterationListings[] = {{IterationListing::None, "NON"},
                                                          {IterationListing::First, "FRT_ITER"},
                                                          {IterationListing::All, "ALL_ITER"},
                                                          {IterationListing::All, "ALL"}};
constexpr Token<RegionCoordinates> kRegionCoordinates[] = {{RegionCoordinates::Xyz, "XYZ"},
                                                           {RegionCoordinates::Plu, "PLU"},
                                                           {RegionCoordinates::Neu, "NEU"}};
// Regions per point (first) and between points (second).
constexpr Token<std::pair<bool, bool>> kRegionModes[] = {
    {{false, false}, "00"}, {{true, false}, "10"}, {{false, true}, "01"}, {{true, true}, "11"}};
// SIGMADIST and SIGMAOHDF: the quadratic (or per root kilometre) form of a precision.
constexpr Token<bool> kStandardForms[] = {{true, "STD"}, {false, "NOSTD"}};
constexpr Token<bool> kYesNo[] = {{true, "OUI"}, {false, "NON"}};
constexpr Token<MatrixOutput> kMatrixOutputs[] = {{MatrixOutput::None, "NON"},
                                                  {MatrixOutput::Final, "FINAL"},
                                                  {MatrixOutput::EachIteration, "ALL_ITER"}};
constexpr Token<VarianceMethod> kVarianceMethods[] = {{VarianceMethod::Helmert, "HELMERT"},
                                                      {VarianceMethod::Lsvce, "LSVCE"}};

template <typename T, std::size_t N> const char *tokenOf(const Token<T> (&tokens)[N], T value)
{
    for (const Token<T> &token : tokens) {
        if (token.value == value)
            return token.text;
    }
    return "?";
}

template <typename T, std::size_t N>
std::optional<T> valueOf(const Token<T> (&tokens)[N], std::string_view text)
{
    for (const Token<T> &token : tokens) {
        if (text == token.text)
            return token.value;
    }
    return std::nullopt;
}

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

    // The value of one of `tokens`; an unknown token takes `fallback`, as the configuration
    // editor reads it, with a warning so that the report shows what was used.
    template <typename T, std::size_t N>
    T choice(const char *key, const Token<T> (&tokens)[N], T fallback)
    {
        int line = 0;
        const std::string value = raw(key, &line);
        if (const std::optional<T> known = valueOf(tokens, value))
            return *known;
        m_diagnostics.warning(m_file, line,
                              fr("Valeur inconnue « ") + shownValue(value) + fr(" » pour la clé ") +
                                  key + fr(" : la valeur ") + tokenOf(tokens, fallback) +
                                  fr(" est utilisée."));
        return fallback;
    }

    // OUI or not: no warning, any other token reads as NON.
    bool flag(const char *key) const { return valueOf(kYesNo, raw(key)).value_or(false); }

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

// A row of regions: the mode ("00" none, "10" per point, "01" between points, "11" both) and,
// when regions are asked for or the row is `used` otherwise, the confidence and the second-kind
// risk.
RegionRow regionRow(OptionReader &reader, const char *modeKey, const char *confidenceKey,
                    const char *betaKey, bool used)
{
    RegionRow row;
    std::tie(row.absolute, row.relative) =
        reader.choice(modeKey, kRegionModes, std::pair<bool, bool>(false, false));
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
void readRegionOptions(OptionReader &reader, RegionOptions &regions, bool biasesListed,
                       ModelType model)
{
    regions.coordinates = reader.choice("REG_COORD", kRegionCoordinates, RegionCoordinates::Neu);
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
    if (model == ModelType::Local3D && regions.anyRequested() &&
        regions.coordinates != RegionCoordinates::Neu)
        reader.diagnostics().warning(
            reader.file(), reader.lineOf("REG_COORD"),
            fr("Régions demandées en ") + optionToken(regions.coordinates) +
                fr(" : le modèle 3D_LOCALE n'a que les composantes locales nord, est et up ; "
                   "les régions sont données en NEU."));
}

void readEpochOptions(OptionReader &reader, EpochOptions &epochs)
{
    epochs.fromFirst = reader.flag("MEP_FROM0");
    epochs.confidenceRegions = reader.flag("MEP_DOCONF");
    epochs.reliabilityRegions = reader.flag("MEP_DOFIAB");
    epochs.congruence = reader.flag("MEP_DOCONG");
    if (epochs.congruence || epochs.confidenceRegions || epochs.reliabilityRegions)
        epochs.confidence =
            reader.probability("MEP_CSEUIL", kLowestConfidence, kHighestConfidence, 0.95);
    const std::string dimensions = reader.raw("MEP_CTYPE");
    bool any = false;
    for (std::size_t d = 0; d < 3; ++d) {
        epochs.dimensions[d] = d < dimensions.size() && dimensions[d] == '1';
        any = any || epochs.dimensions[d];
    }
    if (epochs.congruence && !any) {
        epochs.dimensions[2] = true;
        reader.diagnostics().warning(
            reader.file(), reader.lineOf("MEP_CTYPE"),
            fr("MEP_CTYPE ne coche aucun type de coordonnées : les tests de congruence sont "
               "faits en 3D."));
    }
}

} // namespace

const char *optionToken(CalculationType value)
{
    return tokenOf(kCalculationTypes, value);
}

const char *optionToken(ModelType value)
{
    return tokenOf(kModelTypes, value);
}

const char *optionToken(LinearUnit value)
{
    return tokenOf(kLinearUnits, value);
}

std::optional<AngleUnit> angleUnitOfToken(std::string_view token)
{
    return valueOf(kAngleUnits, token);
}

std::optional<LinearUnit> linearUnitOfToken(std::string_view token)
{
    return valueOf(kLinearUnits, token);
}

const char *optionToken(ApproximateOrientation value)
{
    return tokenOf(kApproximateOrientations, value);
}

const char *optionToken(FreeNetwork value)
{
    return tokenOf(kFreeNetworks, value);
}

const char *optionToken(RegionCoordinates value)
{
    return tokenOf(kRegionCoordinates, value);
}

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

    options.calculationType =
        reader.choice("TYPECALCUL", kCalculationTypes, CalculationType::Adjustment);
    if (options.calculationType == CalculationType::Huber ||
        options.calculationType == CalculationType::L1Norm)
        options.robustThreshold = reader.number("HUBERVALUE", 0.0, 1e6);

    options.model = reader.choice("TYPEMODEL", kModelTypes, ModelType::Ellipsoidal3D);

    options.angleUnit = reader.choice("TYPEANGLES", kAngleUnits, AngleUnit::Grades);
    options.linearUnit = reader.choice("LINEARUNIT", kLinearUnits, LinearUnit::Metre);
    options.maxIterations = reader.count("NBMAXITER", 1, 1000);
    options.approximateOrientation =
        reader.choice("APPLIMBE", kApproximateOrientations, ApproximateOrientation::Zero);
    options.freeNetwork = reader.choice("FREENET", kFreeNetworks, FreeNetwork::None);
    options.distanceQuadratic = reader.choice("SIGMADIST", kStandardForms, false);
    options.addOwnAndFamily = reader.choice("SIGM+STD", kYesNo, false);
    options.heightDifferencePerRootKm = reader.choice("SIGMAOHDF", kStandardForms, false);
    options.sigmaScaling = reader.choice("TYPESIGMA0", kSigmaScalings, SigmaScaling::Auto);
    options.validation =
        reader.probability("VALIDATION", kLowestValidation, kHighestConfidence, 0.95);

    options.varianceMethod = reader.choice("VCE_METHOD", kVarianceMethods, VarianceMethod::Helmert);
    options.varianceIterations = reader.count("VCEITERMAX", 1, 1000);
    options.logVarianceIterations = reader.flag("VCESOLINT");

    options.generateObservations = reader.flag("GENE_LOG");
    options.generationNoise = reader.choice("GENE_NOISE", kGenerationNoises, GenerationNoise::None);
    options.generationOrientation =
        reader.choice("GENE_LIMBE", kGenerationOrientations, GenerationOrientation::Random);
    if (options.generateObservations && options.calculationType != CalculationType::Simulation)
        diagnostics.warning(fileLabel, reader.lineOf("GENE_LOG"),
                            fr("GENE_LOG OUI : les observations ne sont simulées qu'avec une "
                               "préanalyse (TYPECALCUL SIMULATION) ; rien n'est généré."));
    options.multiEpoch = reader.flag("MEP_MODE");
    if (options.multiEpoch)
        readEpochOptions(reader, options.epochs);

    options.distanceDecimals = reader.count("NBDEC_DIST", 1, 9);
    options.angleDecimals = reader.count("NBDEC_ANGT", 1, 9);
    options.logCoordinates = reader.flag("LOG_STATIO");
    options.logOptions = reader.flag("LOG_OPTION");
    options.logReliability = reader.flag("LOG_FIAB");
    options.logGeoid = reader.flag("LOG_GEOID");
    options.logResiduals = reader.choice("LOG_RESIDU", kResidualListings, ResidualListing::None);
    options.logResidualsNeu = reader.flag("LOG_RESNEU");
    options.logObservedMinusComputed =
        reader.choice("LOG_OMC", kIterationListings, IterationListing::None);
    options.logIntermediateSolutions =
        reader.choice("LOG_SOLINT", kIterationListings, IterationListing::None);
    std::string solutionForms = reader.raw("LOG_SOLFIN");
    solutionForms.resize(4, '0');
    // The second and third digits are a + 2b, as the configuration editor writes them.
    const auto first = [](char digit) { return digit == '1' || digit == '3'; };
    const auto second = [](char digit) { return digit == '2' || digit == '3'; };
    SolutionForms &forms = options.solutionForms;
    forms.geocentric = solutionForms[0] == '1';
    forms.geographic = first(solutionForms[1]);
    forms.geographicAltitude = second(solutionForms[1]);
    forms.projected = first(solutionForms[2]);
    forms.projectedAltitude = second(solutionForms[2]);
    forms.local = solutionForms[3] == '1';
    options.logAuxiliary = reader.flag("LOG_SOLAUX");
    options.logPartialFactors = reader.flag("LOG_SGMGRP");

    options.drawingRequested = reader.flag("DRW_EXPORT");
    options.kmlRequested = reader.flag("KML_EXPORT");
    // An unknown token asks for no matrix, as the configuration editor reads it.
    MatrixOptions &matrices = options.matrices;
    matrices.coordinates = reader.choice("OUTMAT_CRD", kRegionCoordinates, RegionCoordinates::Neu);
    matrices.scaling = reader.choice("OUTMAT_SG0", kSigmaScalings, SigmaScaling::Auto);
    matrices.design = reader.choice("OUTMAT_ABP", kMatrixOutputs, MatrixOutput::None);
    matrices.normal = reader.choice("OUTMAT_NC", kMatrixOutputs, MatrixOutput::None);
    matrices.inverse = reader.choice("OUTMAT_INC", kMatrixOutputs, MatrixOutput::None);
    matrices.residuals = reader.choice("OUTMAT_V", kYesNo, false);
    matrices.solution = reader.choice("OUTMAT_X", kYesNo, false);
    readRegionOptions(reader, options.regions, options.logReliability, options.model);
    // The matrix files and the simulated observations are those of one adjustment.
    if (options.multiEpoch && options.matrices.any())
        diagnostics.warning(fileLabel, reader.lineOf("MEP_MODE"),
                            fr("Analyse multi époques : les fichiers de matrices (OUTMAT_...) ne "
                               "sont pas écrits."));
    if (options.multiEpoch && options.generateObservations &&
        options.calculationType == CalculationType::Simulation)
        diagnostics.warning(fileLabel, reader.lineOf("MEP_MODE"),
                            fr("Analyse multi époques : les observations simulées (GENE_LOG) ne "
                               "sont pas générées."));
    return options;
}

} // namespace engine
