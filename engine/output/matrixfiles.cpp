#include "engine/output/matrixfiles.h"

#include "engine/base/text.h"
#include "engine/estimation/componentframes.h"

#include <cstdio>

namespace engine {

namespace {

constexpr const char *kMatrixNames[] = {"A", "P", "l", "N", "c", "invN", "V", "X"};

// The rotation Q that carries the unknowns' corrections x into the components asked for,
// Q x, and the names of the columns it gives. A point with a fixed component keeps its own
// north, east and up.
struct Columns
{
    Eigen::SparseMatrix<double> rotation;
    std::vector<std::string> names;
};

Columns columnsOf(const Network &network, const AdjustmentOutcome &outcome, const Options &options)
{
    const Unknowns &unknowns = outcome.unknowns;
    const RegionCoordinates coordinates = options.matrices.coordinates;
    const bool local = options.model == ModelType::Local3D;
    const ComponentFrames frames(network, options, outcome.state, coordinates);
    // The local model has only its own frame: XYZ is its east, north and up, PLU is NEU.
    const char *const *letters = nullptr;
    static const char *const kXyz[] = {"X", "Y", "Z"};
    static const char *const kPlu[] = {"P", "L", "U"};
    static const char *const kNeu[] = {"N", "E", "U"};
    Eigen::Matrix3d localXyz;
    localXyz << 0, 1, 0, 1, 0, 0, 0, 0, 1;
    switch (coordinates) {
    case RegionCoordinates::Xyz:
        letters = kXyz;
        break;
    case RegionCoordinates::Plu:
        letters = local ? kNeu : kPlu;
        break;
    case RegionCoordinates::Neu:
        letters = kNeu;
        break;
    }
    Columns columns;
    columns.names.resize(static_cast<std::size_t>(unknowns.count));
    std::vector<Eigen::Triplet<double>> entries;
    for (std::size_t p = 0; p < unknowns.point.size(); ++p) {
        const auto &u = unknowns.point[p];
        const std::string &name = network.points[p].name;
        if (u[0] >= 0 && u[1] >= 0 && u[2] >= 0) {
            // The rotation takes (north, east, up), the unknowns are (east, north, up).
            const Eigen::Matrix3d r =
                local && coordinates == RegionCoordinates::Xyz
                    ? localXyz
                    : frames.rotation(static_cast<int>(p), static_cast<int>(p));
            for (int k = 0; k < 3; ++k) {
                entries.emplace_back(u[k], u[1], r(k, 0));
                entries.emplace_back(u[k], u[0], r(k, 1));
                entries.emplace_back(u[k], u[2], r(k, 2));
                columns.names[static_cast<std::size_t>(u[k])] =
                    std::string(letters[k]) + " " + name;
            }
            continue;
        }
        for (int c = 0; c < 3; ++c) {
            if (u[c] < 0)
                continue;
            entries.emplace_back(u[c], u[c], 1.0);
            columns.names[static_cast<std::size_t>(u[c])] =
                std::string(componentName(c)) + " " + name;
        }
    }
    for (int set : unknowns.set) {
        if (set < 0)
            continue;
        entries.emplace_back(set, set, 1.0);
        columns.names[static_cast<std::size_t>(set)] = unknownLabel(network, unknowns, set);
    }
    columns.rotation.resize(unknowns.count, unknowns.count);
    columns.rotation.setFromTriplets(entries.begin(), entries.end());
    return columns;
}

std::vector<std::string> observationNames(const Network &network)
{
    std::vector<std::string> names;
    names.reserve(network.observations.size());
    for (const Observation &o : network.observations) {
        std::string name = network.fileName(o.fileNumber) + fr(" ligne ") +
                           std::to_string(o.lineNumber) + " " + observationLabel(o) + " " +
                           network.points[static_cast<std::size_t>(o.station)].name;
        if (!isObservedPosition(o.kind))
            name += " -> " + network.points[static_cast<std::size_t>(o.target)].name;
        names.push_back(std::move(name));
    }
    return names;
}

// The variance factor that divides the weights (and multiplies N^-1): s0^2 when OUTMAT_SG0 asks
// for it, as TYPESIGMA0 does for the precisions of the report.
double varianceScale(const Statistics &statistics, const Options &options)
{
    if (statistics.degreesOfFreedom <= 0 || !(statistics.varianceFactor > 0.0))
        return 1.0;
    switch (options.matrices.scaling) {
    case SigmaScaling::Always:
        return statistics.varianceFactor;
    case SigmaScaling::Auto:
        return statistics.weightedSquares > statistics.chiUpper ? statistics.varianceFactor : 1.0;
    case SigmaScaling::Never:
        break;
    }
    return 1.0;
}

void appendNumber(std::string &text, double value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    text += buffer;
}

// A matrix in the Matrix Market coordinate format; a symmetric one gives its lower triangle.
// `columnNames` null: the columns are named as the rows.
std::string matrixMarket(const Eigen::SparseMatrix<double> &matrix, bool symmetric,
                         const std::string &title, const std::vector<std::string> &rowNames,
                         const std::vector<std::string> *columnNames)
{
    std::string text = std::string("%%MatrixMarket matrix coordinate real ") +
                       (symmetric ? "symmetric" : "general") + "\n";
    text += "% " + title + "\n";
    text += fr("% Unités : mètres et radians ; lignes et colonnes numérotées à partir de 1.\n");
    for (std::size_t i = 0; i < rowNames.size(); ++i)
        text += "% L " + std::to_string(i + 1) + " : " + rowNames[i] + "\n";
    if (columnNames) {
        for (std::size_t j = 0; j < columnNames->size(); ++j)
            text += "% C " + std::to_string(j + 1) + " : " + (*columnNames)[j] + "\n";
    } else if (matrix.cols() > 1) {
        text += fr("% Colonnes : nommées comme les lignes.\n");
    }
    long count = 0;
    for (Eigen::Index j = 0; j < matrix.outerSize(); ++j) {
        for (Eigen::SparseMatrix<double>::InnerIterator it(matrix, j); it; ++it)
            count += !symmetric || it.row() >= it.col() ? 1 : 0;
    }
    text += std::to_string(matrix.rows()) + " " + std::to_string(matrix.cols()) + " " +
            std::to_string(count) + "\n";
    for (Eigen::Index j = 0; j < matrix.outerSize(); ++j) {
        for (Eigen::SparseMatrix<double>::InnerIterator it(matrix, j); it; ++it) {
            if (symmetric && it.row() < it.col())
                continue;
            text += std::to_string(it.row() + 1) + " " + std::to_string(it.col() + 1) + " ";
            appendNumber(text, it.value());
            text += "\n";
        }
    }
    return text;
}

// A vector as a matrix of one column, every element written.
Eigen::SparseMatrix<double> column(const Eigen::VectorXd &v)
{
    Eigen::SparseMatrix<double> m(v.size(), 1);
    m.reserve(Eigen::VectorXi::Constant(1, static_cast<int>(v.size())));
    for (Eigen::Index i = 0; i < v.size(); ++i)
        m.insert(i, 0) = v(i);
    m.makeCompressed();
    return m;
}

struct Writer
{
    const std::string &observationPath;
    const MatrixWriter &write;
    Diagnostics &diagnostics;

    void operator()(const std::string &name, int iteration, const std::string &content) const
    {
        const std::string suffix = iteration > 0 ? "_it" + std::to_string(iteration) : "";
        const std::string path = siblingPath(observationPath, "_" + name + suffix + ".mtx");
        std::string reason;
        if (!write(path, content, reason))
            diagnostics.error(std::string(), 0,
                              fr("La matrice ") + path + fr(" n'a pas pu être écrite (") + reason +
                                  ").");
    }
};

} // namespace

LinearSystem adjustedSystem(const Network &network, const AdjustmentOutcome &outcome,
                            const SelectedInverse *inverse, const Options &options)
{
    LinearSystem system;
    system.design = outcome.design;
    system.misclosures = -outcome.residuals;
    system.solution = Eigen::VectorXd::Zero(outcome.unknowns.count);
    if (outcome.factor)
        system.solution = solveNormal(*outcome.factor, system.design, system.misclosures,
                                      outcome.weights, outcome.weightBlocks);
    if (inverse && options.matrices.inverse != MatrixOutput::None)
        system.inverse = inverseOnPattern(network, outcome.unknowns, *inverse);
    return system;
}

void writeMatrixFiles(const std::string &observationPath, const Network &network,
                      const AdjustmentOutcome &outcome, const Statistics &statistics,
                      const LinearSystem &adjusted, const Options &options,
                      const MatrixWriter &write, Diagnostics &diagnostics)
{
    const MatrixOptions &asked = options.matrices;
    const Writer put{observationPath, write, diagnostics};
    const Columns columns = columnsOf(network, outcome, options);
    const Eigen::SparseMatrix<double> &q = columns.rotation;
    const std::vector<std::string> rows = observationNames(network);
    const double s2 = varianceScale(statistics, options);
    const Eigen::SparseMatrix<double> p = weightMatrix(outcome.weights, outcome.weightBlocks) / s2;
    const std::string scaled =
        s2 != 1.0
            ? fr(" ; poids divisés par le facteur de variance a posteriori ") + fixed(s2, 0, 6)
            : std::string();
    const std::string at = fr(" (état ajusté)");

    const auto systemFiles = [&](const LinearSystem &system, bool design, bool normal, bool inverse,
                                 bool solution) {
        const std::string when =
            system.iteration > 0 ? fr(" (itération ") + std::to_string(system.iteration) + ")" : at;
        const Eigen::SparseMatrix<double> a =
            Eigen::SparseMatrix<double>(system.design) * Eigen::SparseMatrix<double>(q.transpose());
        if (design) {
            put("A", system.iteration,
                matrixMarket(a, false, fr("Matrice des dérivées partielles A") + when, rows,
                             &columns.names));
            put("P", system.iteration,
                matrixMarket(p, true, fr("Matrice des poids P") + when + scaled, rows, nullptr));
            put("l", system.iteration,
                matrixMarket(column(system.misclosures), false,
                             fr("Vecteur l des observées moins calculées") + when, rows, nullptr));
        }
        if (normal || inverse) {
            const Eigen::VectorXd c = a.transpose() * (p * system.misclosures);
            put("c", system.iteration,
                matrixMarket(column(c), false, fr("Second membre c = A'Pl") + when + scaled,
                             columns.names, nullptr));
        }
        if (normal) {
            const Eigen::SparseMatrix<double> n =
                Eigen::SparseMatrix<double>(a.transpose() * p) * a;
            put("N", system.iteration,
                matrixMarket(n, true, fr("Matrice normale N = A'PA") + when + scaled, columns.names,
                             nullptr));
        }
        if (inverse && system.inverse.size() > 0) {
            const Eigen::SparseMatrix<double> full =
                Eigen::SparseMatrix<double>(system.inverse.selfadjointView<Eigen::Lower>());
            const Eigen::SparseMatrix<double> z = s2 * Eigen::SparseMatrix<double>(q * full) *
                                                  Eigen::SparseMatrix<double>(q.transpose());
            put("invN", system.iteration,
                matrixMarket(z, true,
                             fr("Eléments de inv(N) aux places non nulles de N") + when +
                                 (s2 != 1.0 ? fr(" ; multipliés par le facteur de variance a "
                                                 "posteriori ") +
                                                  fixed(s2, 0, 6)
                                            : std::string()),
                             columns.names, nullptr));
        }
        if (solution)
            put("X", system.iteration,
                matrixMarket(column(q * system.solution), false,
                             fr("Vecteur solution X = inv(N) c") + when, columns.names, nullptr));
    };

    for (const IterationRecord &record : outcome.history) {
        if (record.system)
            systemFiles(*record.system, asked.design == MatrixOutput::EachIteration,
                        asked.normal == MatrixOutput::EachIteration,
                        asked.inverse == MatrixOutput::EachIteration, asked.solution);
    }
    systemFiles(adjusted, asked.design != MatrixOutput::None, asked.normal != MatrixOutput::None,
                asked.inverse != MatrixOutput::None, asked.solution);
    if (asked.residuals)
        put("V", 0,
            matrixMarket(column(outcome.residuals), false,
                         fr("Vecteur des résidus V (ajustée moins observée)") + at, rows, nullptr));
}

bool isMatrixFileName(std::string_view observationPath, std::string_view fileName)
{
    const std::string sibling = siblingPath(observationPath, "_");
    const std::size_t slash = sibling.find_last_of("/\\");
    const std::string stem = slash == std::string::npos ? sibling : sibling.substr(slash + 1);
    if (fileName.size() <= stem.size() || fileName.substr(0, stem.size()) != stem)
        return false;
    std::string_view rest = fileName.substr(stem.size());
    constexpr std::string_view kExtension = ".mtx";
    if (rest.size() <= kExtension.size() ||
        rest.substr(rest.size() - kExtension.size()) != kExtension)
        return false;
    rest.remove_suffix(kExtension.size());
    const std::size_t iteration = rest.find("_it");
    if (iteration != std::string_view::npos) {
        const std::string_view digits = rest.substr(iteration + 3);
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos)
            return false;
        rest = rest.substr(0, iteration);
    }
    for (const char *name : kMatrixNames) {
        if (rest == name)
            return true;
    }
    return false;
}

} // namespace engine
