#include "engine/output/deformationreport.h"

#include "engine/base/text.h"
#include "engine/output/reportwriter.h"

#include <cmath>

namespace engine {

namespace {

std::string epochLabel(const std::vector<std::string> &names, int index)
{
    return std::to_string(index + 1) + " (" + names[static_cast<std::size_t>(index)] + ")";
}

const char *dimensionText(int dimension)
{
    return dimension == 1 ? "1D (up)" : dimension == 2 ? "2D (est, nord)" : "3D (est, nord, up)";
}

} // namespace

std::string epochListReport(const std::vector<std::string> &names, const EpochOptions &options,
                            const char *lineEnd)
{
    ReportWriter out(lineEnd);
    out.heading(fr("ANALYSE MULTI EPOQUES : ") + std::to_string(names.size()) + fr(" époques"));
    for (std::size_t i = 0; i < names.size(); ++i)
        out.line("   " + columnRight(std::to_string(i + 1), 4) + "  " + names[i]);
    out.line();
    out.line(options.fromFirst ? fr("   Chaque époque est comparée à la première.")
                               : fr("   Chaque époque est comparée à la précédente."));
    out.line(fr("   Chaque époque est ajustée seule, dans le datum commun aux époques : ses "
                "sections suivent."));
    return std::move(out).text();
}

std::string epochBanner(int index, const std::string &name, const char *lineEnd)
{
    ReportWriter out(lineEnd);
    out.line();
    out.line(kReportRule);
    out.line(kReportRule);
    out.line(fr(" EPOQUE ") + std::to_string(index + 1) + " : " + name);
    out.line(kReportRule);
    out.line(kReportRule);
    return std::move(out).text();
}

std::string deformationReport(const std::vector<std::string> &names,
                              const std::vector<EpochComparison> &comparisons,
                              const EpochOptions &options, int decimals, const char *lineEnd)
{
    ReportWriter out(lineEnd);
    const auto length = [&](double metres, int width) { return fixed(metres, width, decimals); };
    for (const EpochComparison &c : comparisons) {
        out.heading(fr("DEPLACEMENTS ENTRE LES EPOQUES ") + epochLabel(names, c.from) + fr(" ET ") +
                    epochLabel(names, c.to));
        out.line(fr("   Déplacements de l'époque ") + std::to_string(c.to + 1) +
                 fr(" par rapport à l'époque ") + std::to_string(c.from + 1) +
                 fr(" (m, est, nord, up), écarts-types de Qd = Q1 + Q2 :"));
        if (c.stableDatum > 0)
            out.line(fr("   Rapportés par transformation S aux points stables du test ") +
                     dimensionText(c.stableDatum) + ".");
        out.line(fr("   Point                 dE           dN           dU"
                    "       sdE      sdN      sdU"));
        out.line(kReportThinRule);
        for (const PointDisplacement &d : c.displacements) {
            std::string row = "   " + columnLeft(d.name, 14);
            std::string sigmas;
            for (int k = 0; k < 3; ++k) {
                const bool free = d.estimated[static_cast<std::size_t>(k)];
                row += free ? length(d.displacement(k), 13) : columnRight(fr("fixe"), 13);
                sigmas += free ? length(std::sqrt(std::max(d.covariance(k, k), 0.0)), 9)
                               : columnRight("-", 9);
            }
            out.line(row + sigmas);
        }
        if (!options.congruence)
            continue;
        for (const CongruenceTest &t : c.tests) {
            out.heading(fr("TEST DE CONGRUENCE ") + dimensionText(t.dimension) + fr(", EPOQUES ") +
                        std::to_string(c.from + 1) + fr(" ET ") + std::to_string(c.to + 1));
            if (!t.done) {
                out.line("   " + fr("Test non fait : ") + t.reason + ".");
                continue;
            }
            out.line(c.knownVariance
                         ? fr("   Facteur de variance connu : T = Omega / h contre khi-deux(h) / h "
                              "au seuil ") +
                               fixed(options.confidence, 0, 4) + "."
                         : fr("   T = Omega / (h s²), s² = ") + fixed(c.varianceFactor, 0, 4) +
                               fr(" commun aux deux époques, contre F(h, ") +
                               std::to_string(c.degreesOfFreedom) + fr(") au seuil ") +
                               fixed(options.confidence, 0, 4) + ".");
            out.line(fr("   Etape    h          T   Valeur critique   Résultat"));
            out.line(kReportThinRule);
            for (std::size_t s = 0; s < t.steps.size(); ++s) {
                const CongruenceStep &step = t.steps[s];
                std::string result =
                    step.removed < 0
                        ? fr("accepté")
                        : fr("rejeté : ") +
                              c.displacements[static_cast<std::size_t>(step.removed)].name +
                              fr(" retiré");
                out.line("   " + columnRight(std::to_string(s + 1), 5) +
                         columnRight(std::to_string(step.dimension), 5) + fixed(step.test, 11, 3) +
                         fixed(step.critical, 18, 3) + "   " + result);
            }
            out.line();
            out.line(fr("   Point           h          T   Valeur critique   Verdict"));
            out.line(kReportThinRule);
            bool alone = false;
            for (const PointVerdict &v : t.points) {
                // A stable point whose own test exceeds its bound: the stable set as a whole
                // passes the test, which decides.
                const bool beyond = !v.moved && v.test > v.critical;
                alone = alone || beyond;
                out.line(
                    "   " +
                    columnLeft(c.displacements[static_cast<std::size_t>(v.displacement)].name, 14) +
                    columnRight(std::to_string(v.dimension), 3) + fixed(v.test, 11, 3) +
                    fixed(v.critical, 18, 3) + "   " +
                    (v.moved  ? fr("déplacé")
                     : beyond ? fr("stable (*)")
                              : fr("stable")));
            }
            if (alone)
                out.line(fr("   (*) test du point seul au-delà de sa valeur critique ; l'ensemble "
                            "des points stables passe le test global, qui décide."));
        }
    }
    return std::move(out).text();
}

} // namespace engine
