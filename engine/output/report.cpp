#include "engine/output/report.h"

#include "engine/base/prefetch.h"
#include "engine/base/text.h"
#include "engine/base/version.h"
#include "engine/model/angles.h"
#include "engine/output/coordinatereport.h"
#include "engine/output/regionreport.h"
#include "engine/output/reportwriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

namespace engine {

namespace {

bool isAngle(ObservationKind kind)
{
    return kind == ObservationKind::Direction || kind == ObservationKind::Azimuth ||
           kind == ObservationKind::Zenith;
}

class Report
{
public:
    Report(const ReportInput &input, const char *lineEnd, ReportStream *stream)
        : m_in(input)
        , m_out(lineEnd, stream)
    {
        if (m_in.options)
            m_options = *m_in.options;
    }

    std::string build() &&
    {
        const ReportPart part = m_in.part;
        if (part == ReportPart::Whole || part == ReportPart::Opening) {
            header();
            if (m_in.options && m_options.logOptions)
                options();
        }
        messages();
        if (part == ReportPart::Closing)
            conclusion();
        if (part == ReportPart::Opening || part == ReportPart::Closing)
            return std::move(m_out).text();
        if (m_in.network && m_in.options && m_options.model != ModelType::Local3D) {
            geodeticModel();
            for (const std::string &line : geoidReport(*m_in.network, m_options))
                m_out.line(line);
        }
        if (m_in.network && m_options.logCoordinates)
            approximateCoordinates();
        if (m_in.network && m_in.dataCheck)
            dataCheck();
        if (m_in.network && m_in.gnssLoops && hasVectors())
            gnssLoops();
        if (m_in.outcome && !m_in.outcome->history.empty())
            iterations();
        if (m_in.robust && m_in.network)
            robustEstimation();
        if (m_in.variance)
            varianceComponents();
        if (m_in.statistics) {
            statistics();
            if (m_in.outcome && m_in.network && m_options.freeNetwork != FreeNetwork::None)
                datum();
            if (m_in.simulated)
                simulated();
            if (m_options.logPartialFactors && !m_in.statistics->preAnalysis)
                partialFactors();
            adjustedCoordinates();
            if (m_in.outcome && m_in.network && !m_in.network->unknownHeights.empty())
                unknownHeights();
            if (m_options.logAuxiliary) {
                orientations();
                secondaryParameters();
            }
            if (m_in.regions && m_in.network) {
                for (const std::string &line :
                     regionReport(*m_in.network, *m_in.regions, m_options, m_in.statistics->scaled))
                    m_out.line(line);
            }
            if (m_options.logResiduals != ResidualListing::None && !m_in.statistics->preAnalysis)
                residuals();
            if (m_options.logResidualsNeu)
                residualsNeu();
        }
        if (part == ReportPart::Whole)
            conclusion();
        return std::move(m_out).text();
    }

private:
    // Numbers in a table column of `width` (with a blank before them however wide they are), or
    // bare with a width of 0.
    static std::string column(const std::string &text, int width)
    {
        return width > 0 ? columnRight(text, width) : text;
    }

    // A number in a table column of `width` (with a blank before it however wide it is), or bare
    // with a width of 0.
    static void appendNumber(std::string &out, double v, int width, int decimals)
    {
        if (width > 0)
            out += ' ';
        appendFixed(out, v, width - 1, decimals);
    }

    static void appendColumn(std::string &out, std::string_view text, int width)
    {
        if (width > 0)
            appendColumnRight(out, text, width);
        else
            out += text;
    }

    void appendLength(std::string &out, double metres, int width) const
    {
        appendNumber(out, metres, width, m_options.distanceDecimals);
    }

    std::string length(double metres, int width = 0) const
    {
        std::string text;
        appendLength(text, metres, width);
        return text;
    }

    void appendSmallAngle(std::string &out, double radians, int width) const
    {
        appendNumber(out, radians / smallAngleUnitInRadians(m_options.angleUnit), width,
                     m_options.angleDecimals);
    }

    std::string smallAngle(double radians, int width = 0) const
    {
        std::string text;
        appendSmallAngle(text, radians, width);
        return text;
    }

    // A value of the observation's kind: metres or an angle in the run's unit.
    void appendValue(std::string &out, const Observation &o, double v, int width) const
    {
        if (o.kind == ObservationKind::Geographic && o.component < 2)
            appendColumn(out,
                         formatAngle(o.component == 0 ? v : normalizeAngle(v), m_options.angleUnit,
                                     m_options.angleDecimals),
                         width);
        else if (isAngle(o.kind))
            appendColumn(
                out, formatAngle(normalizeAngle(v), m_options.angleUnit, m_options.angleDecimals),
                width);
        else
            appendLength(out, v, width);
    }

    // A small quantity of the observation's kind: metres, or the small angle unit.
    void appendSmall(std::string &out, const Observation &o, double v, int width) const
    {
        if (isAngle(o.kind))
            appendSmallAngle(out, v, width);
        else
            appendLength(out, v, width);
    }

    std::string small(const Observation &o, double v, int width) const
    {
        std::string text;
        appendSmall(text, o, v, width);
        return text;
    }

    std::string smallUnit(const Observation &o) const
    {
        return isAngle(o.kind) ? smallAngleUnitSymbol(m_options.angleUnit) : "m";
    }

    void header()
    {
        m_out.line(kReportRule);
        m_out.line(fr(" TAVLO - RAPPORT DE CALCUL"));
        m_out.line(fr(" Moteur : ") + kEngineVersion);
        m_out.line(kReportRule);
        m_out.line(fr(" Fichier d'observations   : ") + m_in.observationPath);
        m_out.line(fr(" Fichier de configuration : ") + m_in.configurationPath);
        if (m_in.network) {
            for (const std::string &title : m_in.network->titles)
                m_out.line(fr(" Titre                    : ") + title);
        }
        if (!m_in.files.empty()) {
            m_out.line();
            m_out.line(fr(" Fichiers d'observations lus :"));
            for (std::size_t i = 0; i < m_in.files.size(); ++i)
                m_out.line(padLeft(std::to_string(i + 1), 6) + "  " + m_in.files[i]);
        }
    }

    void options()
    {
        m_out.heading(fr("OPTIONS DU CALCUL"));
        const Options &o = m_options;
        auto row = [&](const char *label, const std::string &value) {
            m_out.line("   " + padRight(fr(label), 48) + ": " + value);
        };
        row("Type de calcul", optionToken(o.calculationType));
        row("Modèle", optionToken(o.model));
        row("Unité d'angle par défaut", angleUnitName(o.angleUnit));
        row("Unité linéaire par défaut", optionToken(o.linearUnit));
        row("Critère de convergence (m)", fixed(o.convergence, 0, 6));
        row("Nombre maximum d'itérations", std::to_string(o.maxIterations));
        row("Valeurs approchées des orientations", optionToken(o.approximateOrientation));
        row("Calcul en réseau libre", optionToken(o.freeNetwork));
        row("Précision des distances",
            o.distanceQuadratic ? fr("racine(a² + (b.D)²)") : fr("a + b.D"));
        row("Précision des dénivelées",
            o.heightDifferencePerRootKm ? fr("racine(a² + b².L(km))") : fr("racine(a² + (b.L)²)"));
        row("Ecart-type et Sigma-ID", o.addOwnAndFamily ? fr("combinés") : fr("l'un ou l'autre"));
        row("Facteur de variance a posteriori",
            o.sigmaScaling == SigmaScaling::Auto    ? fr("automatique")
            : o.sigmaScaling == SigmaScaling::Never ? fr("jamais")
                                                    : fr("toujours"));
        row("Seuil de confiance des tests", fixed(o.validation, 0, 4));
        if (o.kmlRequested)
            m_out.line(fr("   Fichier KML demandé : il n'est pas produit par cette version du "
                          "moteur."));
    }

    // The ellipsoid, said whether it comes from an ELIP record or is the default, and the plane
    // in which local coordinates and the drawing are given.
    void geodeticModel()
    {
        const Network &n = *m_in.network;
        const ReferenceEllipsoid &e = n.ellipsoid;
        m_out.heading(fr("MODELE GEODESIQUE"));
        auto row = [&](const char *label, const std::string &value) {
            m_out.line("   " + padRight(fr(label), 48) + ": " + value);
        };
        row("Ellipsoïde",
            e.name + (e.isDefault() ? fr(" (par défaut : aucun enregistrement ELIP)")
                                    : fr(" (ELIP, fichier ") + std::to_string(e.fileNumber) +
                                          fr(" ligne ") + std::to_string(e.lineNumber) + ")"));
        row("Demi-grand axe a (m)", fixed(e.semiMajor, 0, 4));
        row("Demi-petit axe b (m)", fixed(e.semiMinor, 0, 4));
        row("Inverse de l'aplatissement 1/f",
            e.flattening() > 0.0 ? fixed(1.0 / e.flattening(), 0, 9) : fr("infini (sphère)"));
        row("Origine du plan local (plan tangent)",
            geographicDms(n.tangentOrigin.latitude, true, 4) + "  " +
                geographicDms(n.tangentOrigin.longitude, false, 4));
        for (const Projection &p : n.projections) {
            const ProjectionDefinition &d = p.definition();
            // The name is the file's, Latin-1 already.
            m_out.line("   " + padRight(fr("Projection ") + d.name, 48) + ": " + d.code +
                       fr(" (fichier ") + std::to_string(d.fileNumber) + fr(" ligne ") +
                       std::to_string(d.lineNumber) + ")");
        }
        m_out.line(
            "   " + padRight(fr("Plan du dessin"), 48) + ": " +
            (n.drawingProjection >= 0
                 ? fr("projection ") + n.projections[static_cast<std::size_t>(n.drawingProjection)]
                                           .definition()
                                           .name
                 : fr("plan tangent")));
        if (!n.sphere)
            return;
        row("Rayon de la sphère R = racine(M N) (m)", fixed(n.sphere->radius(), 0, 4));
        row("Latitude de la sphère",
            geographicDms(n.sphere->latitude(), true, 4) +
                (n.meanLatitudeLine > 0
                     ? fr(" (PMOY, fichier ") + std::to_string(n.meanLatitudeFile) + fr(" ligne ") +
                           std::to_string(n.meanLatitudeLine) + ")"
                     : fr(" (latitude moyenne du réseau : aucun "
                          "enregistrement PMOY)")));
    }

    void messages()
    {
        if (!m_in.diagnostics || m_in.diagnostics->items().empty())
            return;
        m_out.heading(fr("MESSAGES"));
        for (const Diagnostic &d : m_in.diagnostics->items()) {
            std::string where;
            if (!d.file.empty()) {
                where = " (" + d.file;
                if (d.line > 0)
                    where += fr(", ligne ") + std::to_string(d.line);
                where += ")";
            }
            m_out.line(std::string("   ") +
                       (d.severity == Diagnostic::Severity::Error ? "ERREUR" : "ATTENTION") +
                       where + " : " + d.text);
        }
        const auto &omitted = m_in.diagnostics->omitted();
        if (omitted.empty())
            return;
        m_out.line(fr("   Au-delà des ") + std::to_string(Diagnostics::kDetailedLimit) +
                   fr(" premiers messages, les suivants sont seulement comptés :"));
        for (const Diagnostics::OmittedKind &kind : omitted) {
            const bool error = kind.severity == Diagnostic::Severity::Error;
            std::string text = fr("   ... et ") + groupedThousands(kind.count) +
                               (error ? fr(" autres erreurs") : fr(" autres avertissements"));
            if (kind.example.empty())
                text += fr(" d'autres types.");
            else
                text += fr(" du même type que : ") + kind.example;
            m_out.line(text);
        }
    }

    // 4999700 as "4 999 700".
    static std::string groupedThousands(long long count)
    {
        const std::string digits = std::to_string(count);
        std::string text;
        for (std::size_t i = 0; i < digits.size(); ++i) {
            if (i > 0 && (digits.size() - i) % 3 == 0)
                text += ' ';
            text += digits[i];
        }
        return text;
    }

    static std::string fixity(const Point &p)
    {
        std::string text;
        for (bool f : p.fixed)
            text += f ? '1' : '0';
        return text;
    }

    void approximateCoordinates()
    {
        const Network &n = *m_in.network;
        m_out.heading(fr("COORDONNEES APPROCHEES (m)"));
        if (m_options.model != ModelType::Local3D)
            m_out.line(fr("   Est, nord, up dans le plan tangent à l'ellipsoïde") +
                       (n.drawingProjection < 0 ? fr(" (plan du dessin)") : std::string()) +
                       fr(" ; fixité selon l'horizon de chaque point."));
        m_out.line(fr("   Point         Fixité (ENU)             Est              Nord"
                      "                Up"));
        m_out.line(kReportThinRule);
        for (const Point &p : n.points) {
            m_out.line("   " + columnLeft(p.name, 14) + columnLeft(fixity(p), 13) +
                       length(p.approximate.x(), 18) + length(p.approximate.y(), 18) +
                       length(p.approximate.z(), 18));
        }
        int fixedCount = 0;
        for (const Point &p : n.points)
            fixedCount += (p.fixed[0] ? 1 : 0) + (p.fixed[1] ? 1 : 0) + (p.fixed[2] ? 1 : 0);
        m_out.line();
        m_out.line(fr("   Points : ") + std::to_string(n.points.size()) +
                   fr(", coordonnées fixées : ") + std::to_string(fixedCount) +
                   fr(", jeux de directions : ") + std::to_string(n.sets.size()) +
                   fr(", observations : ") + std::to_string(n.observations.size()));
        computedPoints();
    }

    // The points no coordinate record gives, and how their approximate position was computed.
    void computedPoints()
    {
        const Network &n = *m_in.network;
        std::size_t count = 0;
        for (const Point &p : n.points)
            count += p.given ? 0 : 1;
        if (count == 0)
            return;
        m_out.line();
        m_out.line(fr("   Points calculés à partir des observations : ") + std::to_string(count));
        m_out.line(fr("   Point         Placé par"));
        m_out.line(kReportThinRule);
        for (const Point &p : n.points) {
            if (!p.given)
                m_out.line("   " + columnLeft(p.name, 14) +
                           (p.placement.empty() ? fr("non placé") : p.placement));
        }
    }

    // "DIST  A -> B" for an observation.
    std::string sight(const Observation &o) const
    {
        const Network &n = *m_in.network;
        return std::string(observationCode(o.kind)) + " " +
               n.points[static_cast<std::size_t>(o.station)].name + " -> " +
               n.points[static_cast<std::size_t>(o.target)].name;
    }

    static const char *linearUnitName(double metres)
    {
        return metres == 0.01 ? "cm" : metres == 0.001 ? "mm" : "m";
    }

    std::string hintText(const Hint &h) const
    {
        const Network &n = *m_in.network;
        const Observation &o = n.observations[static_cast<std::size_t>(h.observation)];
        const std::string misfits = fr(" (écart ") + fixed(std::abs(h.normalizedAsRead), 0, 1) +
                                    fr(" sigma ; relue, ") +
                                    fixed(std::abs(h.normalizedReread), 0, 1) + fr(" sigma)");
        switch (h.kind) {
        case HintKind::LinearUnit:
            return sight(o) + fr(" : lue en ") + linearUnitName(h.unitReread) + fr(" et non en ") +
                   linearUnitName(h.unitAsRead) + fr(", la valeur vaut ") + length(h.reread) +
                   fr(" m au lieu de ") + length(h.asRead) + fr(" m et s'accorde aux coordonnées") +
                   misfits + fr(". Vérifiez le champ d'unité de l'enregistrement (colonnes ") +
                   (o.kind == ObservationKind::Distance ? "77" : "93") + fr(" à ") +
                   (o.kind == ObservationKind::Distance ? "78" : "94") +
                   fr(" ; vide, il vaut LINEARUNIT de la configuration).");
        case HintKind::AngleUnit:
            return sight(o) + fr(" : la lecture « ") + h.written + fr(" » lue en ") +
                   angleUnitName(h.angleUnitReread) + fr(" et non en ") +
                   angleUnitName(o.angleUnit) + fr(" s'accorde aux coordonnées") + misfits +
                   fr(". Vérifiez l'unité d'angle en vigueur (enregistrement ANGT ou TYPEANGLES "
                      "de la configuration).");
        case HintKind::Sexagesimal:
            return sight(o) + fr(" : la lecture « ") + h.written +
                   fr(" » lue comme DDD.MMSS (degrés, minutes, secondes accolés) vaut ") +
                   formatAngle(h.reread, AngleUnit::Dms, m_options.angleDecimals) +
                   fr(" et s'accorde aux coordonnées") + misfits +
                   fr(". Ecrivez-la en trois parties séparées par des blancs (« ddd mm ss ») "
                      "sous ANGT DMS.");
        case HintKind::InstrumentHeight:
        case HintKind::TargetHeight:
            return std::string(h.kind == HintKind::InstrumentHeight ? "HI" : "HT") + " " +
                   n.points[static_cast<std::size_t>(
                                h.kind == HintKind::InstrumentHeight ? o.station : o.target)]
                       .name +
                   fr(" : lue en ") + linearUnitName(h.unitReread) + fr(" et non en ") +
                   linearUnitName(h.unitAsRead) + fr(", la hauteur vaut ") + length(h.reread) +
                   fr(" m au lieu de ") + length(h.asRead) + fr(" m et les ") +
                   std::to_string(h.observations) +
                   fr(" distances et angles zénithaux qui la prennent s'accordent aux "
                      "coordonnées (écart jusqu'à ") +
                   fixed(std::abs(h.normalizedAsRead), 0, 1) + fr(" sigma ; relus, au plus ") +
                   fixed(std::abs(h.normalizedReread), 0, 1) +
                   fr(" sigma). Vérifiez l'unité de l'enregistrement (colonnes 35 à 36).");
        case HintKind::OtherFace:
            return sight(o) + fr(" : augmentée d'un demi-tour, la lecture vaut ") +
                   formatAngle(h.reread, m_options.angleUnit, m_options.angleDecimals) +
                   fr(" et s'accorde aux autres directions du jeu") + misfits +
                   fr(". Vérifiez la face de cette lecture (cercle gauche ou droit).");
        }
        return std::string();
    }

    void dataCheck()
    {
        const Network &n = *m_in.network;
        const DataCheck &check = *m_in.dataCheck;
        m_out.heading(fr("CONTROLE DES DONNEES AVANT AJUSTEMENT"));
        m_out.line(fr("   Observé moins calculé sur les coordonnées approchées et les orientations "
                      "approchées des jeux,"));
        m_out.line(fr("   rapporté à l'écart-type a priori : les ") + std::to_string(kListedWorst) +
                   fr(" plus grands écarts et tous ceux de plus de ") + fixed(kListedMisfit, 0, 0) +
                   fr(" sigma."));
        m_out.line(fr("   Rang  Obs.  Station      Point visé         Observé - calculé      "
                      "Ecart/sigma  Fichier  Ligne"));
        m_out.line(kReportThinRule);
        const std::size_t beyond = static_cast<std::size_t>(
            std::count_if(check.misfits.begin(), check.misfits.end(),
                          [](const ObservationMisfit &m) { return m.beyondListed(); }));
        m_out.entries(check.misfits.size(), [&](std::size_t k, std::string &text) {
            fetchAhead(k, check.misfits.size(), [&](std::size_t ahead) {
                return static_cast<std::size_t>(check.misfits[ahead].observation);
            });
            const ObservationMisfit &m = check.misfits[k];
            const Observation &o = n.observations[static_cast<std::size_t>(m.observation)];
            appendInteger(text, static_cast<long long>(k + 1), 7);
            text += "  ";
            appendColumnLeft(text, observationCode(o.kind), 6);
            appendColumnLeft(text, n.points[static_cast<std::size_t>(o.station)].name, 13);
            appendColumnLeft(text, n.points[static_cast<std::size_t>(o.target)].name, 13);
            appendSmall(text, o, m.misfit, 18);
            text += ' ';
            text += padRight(smallUnit(o), 4);
            appendNumber(text, m.normalized, 13, 1);
            text += ' ';
            appendInteger(text, o.fileNumber, 8);
            text += ' ';
            appendInteger(text, o.lineNumber, 6);
            text += m_out.lineEnd();
        });
        m_out.line(fr("   Observations contrôlées : ") + std::to_string(check.checked) +
                   fr(", au-delà de ") + fixed(kListedMisfit, 0, 0) + fr(" sigma : ") +
                   std::to_string(beyond));

        m_out.line();
        m_out.line(fr("   Boucles de nivellement (dénivelées OHDF) : ") +
                   std::to_string(check.loops.size()) + fr(", tolérance ") +
                   fixed(kLoopTolerance, 0, 0) + fr(" sigma de la fermeture."));
        if (!check.loops.empty()) {
            m_out.line(fr("   Boucle    Fermeture (m)  Ecart-type (m)  Fermeture/sigma   "
                          "Fermée par (fichier, ligne)   Points"));
            m_out.line(kReportThinRule);
        }
        for (std::size_t k = 0; k < check.loops.size(); ++k) {
            const LevellingLoop &loop = check.loops[k];
            if (!loop.flagged() && k >= kListedWorst)
                continue;
            const Observation &closing = n.observations[static_cast<std::size_t>(loop.closing)];
            constexpr std::size_t kShownPoints = 8;
            std::string points;
            for (std::size_t p = 0; p < loop.points.size() && p < kShownPoints; ++p)
                points += n.points[static_cast<std::size_t>(loop.points[p])].name + " - ";
            points += loop.points.size() > kShownPoints
                          ? fr("... (") + std::to_string(loop.points.size()) + fr(" points)")
                          : n.points[static_cast<std::size_t>(loop.points.front())].name;
            m_out.line(padLeft(std::to_string(k + 1), 9) + length(loop.misclosure, 17) +
                       length(loop.sigma, 16) +
                       columnRight(fixed(loop.misclosure / loop.sigma, 0, 1), 17) +
                       columnRight(std::to_string(closing.fileNumber) + ", " +
                                       std::to_string(closing.lineNumber),
                                   30) +
                       "   " + points + (loop.flagged() ? fr("   HORS TOLERANCE") : ""));
        }

        m_out.line();
        m_out.line(fr("   Indices d'erreurs probables : ") + std::to_string(check.hints.size()));
        for (const Hint &h : check.hints)
            m_out.line(fr("   ") + n.fileName(h.fileNumber) + fr(", ligne ") +
                       std::to_string(h.lineNumber) + " : " + hintText(h));
    }

    bool hasVectors() const
    {
        const auto &all = m_in.network->observations;
        return std::any_of(all.begin(), all.end(),
                           [](const Observation &o) { return o.kind == ObservationKind::Vector; });
    }

    void gnssLoops()
    {
        const Network &n = *m_in.network;
        const GnssLoops &g = *m_in.gnssLoops;
        m_out.heading(fr("BOUCLES DE VECTEURS GNSS AVANT AJUSTEMENT"));
        m_out.line(fr("   Fermeture en nord, est, up au premier point de la boucle ; T = fermeture "
                      "pondérée par sa covariance propagée,"));
        m_out.line(fr("   hors tolérance au-delà de ") + fixed(g.critical, 0, 3) +
                   fr(" (chi-deux à 3 degrés de liberté à ") +
                   fixed(kGnssLoopConfidence * 100.0, 0, 2) + " %).");
        m_out.line(fr("   Boucles : ") + std::to_string(g.loops.size()) +
                   fr(", hors tolérance : ") + std::to_string(g.flagged()));
        if (g.loops.empty())
            return;
        m_out.line(fr("   Boucle  Vect.   Nord (m)    Est (m)     Up (m)  Longueur (m)     ppm"
                      "          T   Fermée par (fichier, ligne)   Points"));
        m_out.line(kReportThinRule);
        for (std::size_t k = 0; k < g.loops.size(); ++k) {
            const GnssLoop &loop = g.loops[k];
            const bool flagged = loop.test > g.critical;
            if (!flagged && k >= kListedWorst)
                continue;
            const Observation &closing = n.observations[static_cast<std::size_t>(loop.closing)];
            constexpr std::size_t kShownPoints = 8;
            std::string points;
            for (std::size_t p = 0; p < loop.points.size() && p < kShownPoints; ++p)
                points += n.points[static_cast<std::size_t>(loop.points[p])].name + " - ";
            points += loop.points.size() > kShownPoints
                          ? fr("... (") + std::to_string(loop.points.size()) + fr(" points)")
                          : n.points[static_cast<std::size_t>(loop.points.front())].name;
            m_out.line(padLeft(std::to_string(k + 1), 9) +
                       columnRight(std::to_string(loop.vectors.size()), 7) +
                       columnRight(fixed(loop.misclosure.x(), 0, 4), 11) +
                       columnRight(fixed(loop.misclosure.y(), 0, 4), 11) +
                       columnRight(fixed(loop.misclosure.z(), 0, 4), 11) +
                       columnRight(fixed(loop.length, 0, 3), 14) +
                       columnRight(fixed(loop.ppm(), 0, 2), 8) +
                       columnRight(fixed(loop.test, 0, 2), 11) +
                       columnRight(std::to_string(closing.fileNumber) + ", " +
                                       std::to_string(closing.lineNumber),
                                   30) +
                       "   " + points + (flagged ? fr("   HORS TOLERANCE") : ""));
        }
    }

    void iterations()
    {
        const AdjustmentOutcome &out = *m_in.outcome;
        const Network &n = *m_in.network;
        m_out.heading(fr("ITERATIONS"));
        m_out.line(fr("   Itération   Correction maximale (m)   Inconnue"));
        m_out.line(kReportThinRule);
        for (const IterationRecord &r : out.history) {
            std::string where = "-";
            if (r.maxPoint >= 0)
                where = std::string(r.maxComponent == 0   ? "E "
                                    : r.maxComponent == 1 ? "N "
                                                          : "U ") +
                        n.points[static_cast<std::size_t>(r.maxPoint)].name;
            m_out.line(padLeft(std::to_string(r.number), 12) +
                       columnRight(fixed(r.maxCorrection, 0, 6), 26) + "   " + where);
        }
        for (const IterationRecord &r : out.history) {
            if (r.misclosures.size() > 0) {
                m_out.line();
                m_out.line(fr("   Observé moins calculé, itération ") + std::to_string(r.number) +
                           " :");
                for (std::size_t i = 0; i < n.observations.size(); ++i) {
                    const Observation &o = n.observations[i];
                    m_out.line("   " + columnLeft(observationCode(o.kind), 5) +
                               columnLeft(n.points[static_cast<std::size_t>(o.station)].name, 13) +
                               columnLeft(n.points[static_cast<std::size_t>(o.target)].name, 13) +
                               small(o, r.misclosures(static_cast<Eigen::Index>(i)), 14) + " " +
                               smallUnit(o) + fr("   ligne ") + std::to_string(o.lineNumber) +
                               fr(" fichier ") + std::to_string(o.fileNumber));
                }
            }
            if (r.corrections.size() > 0) {
                m_out.line();
                m_out.line(fr("   Corrections des inconnues, itération ") +
                           std::to_string(r.number) + " :");
                for (Eigen::Index j = 0; j < r.corrections.size(); ++j) {
                    const auto [owner, component] = out.unknowns.owner[static_cast<std::size_t>(j)];
                    const std::string label =
                        "   " + columnLeft(unknownLabel(n, out.unknowns, static_cast<int>(j)), 40);
                    if (component == kSecondaryComponent)
                        m_out.line(label +
                                   secondaryValue(
                                       n.secondaryParameters[static_cast<std::size_t>(owner)].type,
                                       r.corrections(j), 16));
                    else if (component == kOrientationComponent)
                        m_out.line(label + smallAngle(r.corrections(j), 16) + " " +
                                   smallAngleUnitSymbol(m_options.angleUnit));
                    else
                        m_out.line(label + length(r.corrections(j), 16) + " m");
                }
            }
        }
    }

    void robustEstimation()
    {
        const RobustOutcome &r = *m_in.robust;
        const Network &n = *m_in.network;
        m_out.heading(fr("ESTIMATION ROBUSTE"));
        auto row = [&](const char *label, const std::string &value) {
            m_out.line("   " + padRight(fr(label), 48) + ": " + value);
        };
        row("Méthode", r.method == CalculationType::Huber
                           ? fr("Huber (moindres carrés repondérés)")
                           : fr("norme L1 (moindres carrés repondérés)"));
        row("Valeur limite k (en écarts-types a priori)", fixed(r.threshold, 0, 3));
        row("Itérations de repondération", std::to_string(r.iterations));
        row("Observations sous-pondérées (|v/sigma| > k)", std::to_string(r.downWeighted.size()));
        if (r.downWeighted.empty())
            return;
        m_out.line(fr("   Les observations sous-pondérées sont écartées de l'ajustement final par "
                      "moindres carrés,"));
        m_out.line(fr("   dont les statistiques suivent ; leur résidu y est testé contre la "
                      "solution des autres."));
        m_out.line();
        m_out.line(fr("   Type Station      -> Visé                 Résidu robuste     v/sigma"
                      "    Poids   Ligne  Fichier"));
        m_out.line(kReportThinRule);
        for (int index : r.downWeighted) {
            const auto i = static_cast<std::size_t>(index);
            const Observation &o = n.observations[i];
            const auto e = static_cast<Eigen::Index>(i);
            const std::string &station = n.points[static_cast<std::size_t>(o.station)].name;
            const std::string sight =
                isObservedPosition(o.kind)
                    ? columnLeft(station, 29)
                    : columnLeft(station, 13) + "-> " +
                          columnLeft(n.points[static_cast<std::size_t>(o.target)].name, 13);
            m_out.line("   " + columnLeft(observationLabel(o), 5) + sight +
                       small(o, r.residuals(e), 12) + " " + padRight(smallUnit(o), 4) +
                       columnRight(fixed(r.standardized(e), 0, 2), 9) +
                       columnRight(fixed(r.factors(e), 0, 4), 9) +
                       columnRight(std::to_string(o.lineNumber), 8) +
                       columnRight(std::to_string(o.fileNumber), 9));
        }
    }

    void varianceComponents()
    {
        const VarianceOutcome &v = *m_in.variance;
        m_out.heading(fr("COMPOSANTES DE VARIANCE"));
        auto row = [&](const char *label, const std::string &value) {
            m_out.line("   " + padRight(fr(label), 48) + ": " + value);
        };
        row("Méthode", fr("Helmert (itérée)"));
        row("Itérations", std::to_string(v.iterations) +
                              (v.estimated ? fr(" (convergée)") : fr(" (non convergée)")));
        if (!v.history.empty()) {
            std::string names;
            for (const VarianceComponent &c : v.components)
                names += columnRight(c.name, 13);
            m_out.line(padRight("   Groupe", 38) + names);
        }
        for (std::size_t k = 0; k < v.history.size(); ++k) {
            std::string values;
            for (double ratio : v.history[k])
                values += columnRight(fixed(ratio, 0, 6), 13);
            m_out.line(fr("   Itération ") + columnRight(std::to_string(k + 1), 3) +
                       fr(" : v'Pv / r par groupe") + values);
        }
        m_out.line(fr("   Chaque composante multiplie les variances a priori de son groupe ; "
                      "test du khi-deux"));
        m_out.line(fr("   de r degrés de liberté sur r x composante (composante = 1 a priori)."));
        m_out.line();
        m_out.line(
            fr("   Groupe                     Nb obs.      Somme r   Composante    Ecart-type"
               "   Borne inf.   Borne sup.  Test"));
        m_out.line(kReportThinRule);
        for (const VarianceComponent &c : v.components) {
            if (!c.estimable) {
                m_out.line("   " + columnLeft(c.name, 24) +
                           columnRight(std::to_string(c.count), 10) +
                           columnRight(fixed(c.redundancy, 0, 3), 13) +
                           fr("   non estimable (aucune redondance)"));
                continue;
            }
            m_out.line("   " + columnLeft(c.name, 24) + columnRight(std::to_string(c.count), 10) +
                       columnRight(fixed(c.redundancy, 0, 3), 13) +
                       columnRight(fixed(c.variance, 0, 6), 13) +
                       columnRight(fixed(std::sqrt(c.variance), 0, 6), 14) +
                       columnRight(fixed(c.chiLower, 0, 3), 13) +
                       columnRight(fixed(c.chiUpper, 0, 3), 13) +
                       (c.passed ? fr("  accepté") : fr("  refusé")));
        }
    }

    void statistics()
    {
        const Statistics &s = *m_in.statistics;
        m_out.heading(fr("STATISTIQUES"));
        auto row = [&](const char *label, const std::string &value) {
            m_out.line("   " + padRight(fr(label), 48) + ": " + value);
        };
        row("Nombre d'observations", std::to_string(s.observations));
        if (s.leftOut > 0)
            row("Observations écartées de l'ajustement", std::to_string(s.leftOut));
        row("Nombre d'inconnues", std::to_string(s.unknowns));
        row("Degrés de liberté", std::to_string(s.degreesOfFreedom));
        row("Somme des nombres de redondance", fixed(s.redundancySum, 0, 3));
        if (s.preAnalysis) {
            row("Type de calcul", fr("PREANALYSE (valeurs observées non lues)"));
            row("Facteur de variance", fr("a priori, connu : s0² = 1"));
            row("Tests statistiques", fr("aucun (pas de résidus)"));
            return;
        }
        row("Itérations", std::to_string(m_in.outcome ? m_in.outcome->iterations : 0));
        row("Somme pondérée des carrés des résidus v'Pv", fixed(s.weightedSquares, 0, 4));
        const std::string confidence = fixed(m_options.validation * 100.0, 0, 2) + " %";
        if (s.degreesOfFreedom > 0) {
            row("Facteur de variance a posteriori s0²", fixed(s.varianceFactor, 0, 4));
            row("Ecart-type de l'unité de poids s0", fixed(std::sqrt(s.varianceFactor), 0, 4));
            row("Test global du chi-deux",
                (s.chiSquare == ChiSquareOutcome::Passed ? fr("ACCEPTE") : fr("REFUSE")) +
                    fr(" (v'Pv dans [") + fixed(s.chiLower, 0, 3) + " ; " +
                    fixed(s.chiUpper, 0, 3) + fr("] à ") + confidence + ")");
        } else {
            row("Facteur de variance a posteriori s0²", fr("non défini (aucune redondance)"));
            row("Test global du chi-deux", fr("non réalisé (aucune redondance)"));
        }
        row("Précisions multipliées par s0", s.scaled ? fr("OUI") : fr("NON"));
        switch (s.residualTest) {
        case ResidualTestKind::Normal:
            row("Test des résidus normés", fr("loi normale"));
            row("Valeur critique",
                fr("|w| <= ") + fixed(s.criticalValue, 0, 3) + fr(" à ") + confidence);
            break;
        case ResidualTestKind::Tau:
            row("Test des résidus normés", fr("tau de Pope (loi tau à ") +
                                               std::to_string(s.degreesOfFreedom) +
                                               fr(" degrés de liberté)"));
            row("Valeur critique",
                fr("|tau| <= ") + fixed(s.criticalValue, 0, 3) + fr(" à ") + confidence);
            break;
        case ResidualTestKind::None:
            row("Test des résidus normés",
                s.degreesOfFreedom > 0
                    ? fr("aucun (un seul degré de liberté : |tau| = 1 pour toute observation "
                         "contrôlée)")
                    : fr("aucun (aucune redondance)"));
            break;
        }
        row("Observations rejetées", std::to_string(s.observations - s.validCount));
        if (!s.items.empty()) {
            if (s.itemCriticalValue > 0.0)
                row("Test 3D des vecteurs et positions observées",
                    fr("T <= ") + fixed(s.itemCriticalValue, 0, 3) +
                        (s.scaled ? fr(" (loi bêta, précisions multipliées par s0)")
                                  : fr(" (chi-deux à 3 degrés de liberté)")) +
                        fr(" à ") + confidence);
            else
                row("Test 3D des vecteurs et positions observées", fr("aucun"));
            const auto rejected = std::count_if(s.items.begin(), s.items.end(),
                                                [](const ItemStatistics &i) { return !i.valid; });
            row("Vecteurs et positions rejetés (test 3D)", std::to_string(rejected));
        }
    }

    // What the generation of simulated observations wrote.
    void simulated()
    {
        const SimulatedObservations &g = *m_in.simulated;
        m_out.heading(fr("OBSERVATIONS SIMULEES"));
        auto row = [&](const char *label, const std::string &value) {
            m_out.line("   " + padRight(fr(label), 48) + ": " + value);
        };
        row("Fichier écrit", m_in.simulatedPath);
        row("Valeurs calculées",
            std::to_string(g.generated) + fr(" (coordonnées approchées, DIST DIR AZIM ZANG OHDF)"));
        row("Lignes recopiées telles quelles", std::to_string(g.kept));
        row("Bruit", m_options.generationNoise == GenerationNoise::None
                         ? fr("aucun (valeurs exactes)")
                         : fr("loi normale, écart-type de chaque observation"));
        row("Graine du tirage", std::to_string(g.seed));
        if (m_options.generationNoise != GenerationNoise::None)
            row("Plus grande erreur tirée", fixed(g.largestError, 0, 2) + fr(" écart-type(s)"));
        row("Orientation des jeux de directions",
            m_options.generationOrientation == GenerationOrientation::Zero ? fr("nulle")
            : m_options.generationOrientation == GenerationOrientation::RandomQuarter
                ? fr("tirée entre 0 et pi/2")
                : fr("tirée entre 0 et pi"));
    }

    // What the datum defect of a free network was and how it was fixed.
    void datum()
    {
        const AdjustmentOutcome &out = *m_in.outcome;
        const Network &n = *m_in.network;
        m_out.heading(fr("RESEAU LIBRE : DATUM"));
        if (!out.datum) {
            m_out.line(fr("   Aucun défaut de datum : les coordonnées fixées définissent le "
                          "datum, le réseau est calculé tel qu'il est contraint."));
            return;
        }
        m_out.line(fr("   Défaut de datum trouvé par la matrice des observations : ") +
                   std::to_string(out.datum->defect()));
        m_out.line(fr("   Paramètres libres : ") + out.datumDefect.text() + ".");
        std::string held;
        for (int j : out.datum->pinned)
            held += (held.empty() ? "" : ", ") + unknownLabel(n, out.unknowns, j);
        m_out.line(fr("   Résolution avec ces inconnues tenues : ") + held + ".");
        if (m_options.freeNetwork == FreeNetwork::MinimumTrace) {
            m_out.line(fr("   Datum : trace minimale de la covariance des coordonnées de tous les "
                          "points (contraintes internes)."));
            return;
        }
        std::string base;
        for (std::size_t p = 0; p < n.points.size(); ++p) {
            const auto &flags = n.points[p].base;
            if (flags[0] || flags[1] || flags[2])
                base += (base.empty() ? "" : ", ") + n.points[p].name;
        }
        m_out.line(fr("   Datum : trace minimale de la covariance des coordonnées des points de "
                      "base (marqués 2) : ") +
                   base + ".");
    }

    void partialFactors()
    {
        const Statistics &s = *m_in.statistics;
        if (s.partialFactors.empty())
            return;
        m_out.heading(fr("FACTEURS DE VARIANCE PARTIELS"));
        m_out.line(fr("   Type ou groupe             Nb obs.           v'Pv      Somme r"
                      "          s0²"));
        m_out.line(kReportThinRule);
        for (const PartialFactor &f : s.partialFactors) {
            const std::string factor = f.redundancy > kUncontrolledRedundancy
                                           ? fixed(f.weightedSquares / f.redundancy, 0, 4)
                                           : std::string("-");
            m_out.line("   " + columnLeft(f.label, 24) + columnRight(std::to_string(f.count), 10) +
                       columnRight(fixed(f.weightedSquares, 0, 4), 15) +
                       columnRight(fixed(f.redundancy, 0, 3), 13) + columnRight(factor, 13));
        }
    }

    void adjustedCoordinates()
    {
        for (const std::string &line :
             coordinateReport(*m_in.network, *m_in.outcome, *m_in.statistics, m_options))
            m_out.line(line);
    }

    void unknownHeights()
    {
        const Network &n = *m_in.network;
        const Statistics &s = *m_in.statistics;
        const AdjustmentOutcome &out = *m_in.outcome;
        m_out.heading(fr("HAUTEURS D'INSTRUMENT ET DE CIBLE INCONNUES"));
        m_out.line(
            fr("   Hauteur    Point           Approchée (m)   Compensée (m)  Ecart-type (mm)  "
               "Ligne  Fichier"));
        m_out.line(kReportThinRule);
        for (std::size_t h = 0; h < n.unknownHeights.size(); ++h) {
            const UnknownHeight &height = n.unknownHeights[h];
            const double adjusted =
                h < out.state.heights.size() ? out.state.heights[h] : height.approximate;
            const double sigma = h < s.heightSigmas.size() ? s.heightSigmas[h] : 0.0;
            m_out.line(
                std::string(height.instrument ? fr("   instrument ") : fr("   cible      ")) +
                columnLeft(n.points[static_cast<std::size_t>(height.point)].name, 14) +
                columnRight(fixed(height.approximate, 0, 4), 15) +
                columnRight(fixed(adjusted, 0, 4), 16) +
                columnRight(fixed(sigma * 1000.0, 0, 2), 17) +
                columnRight(std::to_string(height.lineNumber), 7) +
                columnRight(std::to_string(height.fileNumber), 9));
        }
    }

    void orientations()
    {
        const Network &n = *m_in.network;
        const Statistics &s = *m_in.statistics;
        const AdjustmentOutcome &out = *m_in.outcome;
        if (n.sets.empty())
            return;
        m_out.heading(fr("PARAMETRES SECONDAIRES : ORIENTATIONS DES JEUX DE DIRECTIONS"));
        m_out.line(fr("   Jeu  Station            Orientation        Ecart-type   Ligne  Fichier"));
        m_out.line(kReportThinRule);
        for (std::size_t k = 0; k < n.sets.size(); ++k) {
            const DirectionSet &set = n.sets[k];
            if (out.unknowns.set[k] < 0)
                continue;
            const std::string station =
                set.station >= 0 ? n.points[static_cast<std::size_t>(set.station)].name : "?";
            m_out.line(padLeft(std::to_string(k + 1), 6) + "  " + columnLeft(station, 14) +
                       columnRight(formatAngle(out.state.orientations[k], m_options.angleUnit,
                                               m_options.angleDecimals),
                                   18) +
                       smallAngle(s.orientationSigmas[k], 15) + " " +
                       smallAngleUnitSymbol(m_options.angleUnit) +
                       columnRight(std::to_string(set.lineNumber), 7) +
                       columnRight(std::to_string(set.fileNumber), 9));
        }
    }

    // A secondary parameter's value with its unit: a constant in millimetres, a scale in parts per
    // million, a coefficient of refraction bare.
    std::string secondaryValue(SecondaryType type, double value, int width) const
    {
        switch (type) {
        case SecondaryType::Constant:
            return columnRight(
                       fixed(value * 1000.0, 0, std::max(m_options.distanceDecimals - 1, 2)),
                       width) +
                   " mm ";
        case SecondaryType::Scale:
            return columnRight(fixed(value, 0, 3), width) + " ppm";
        case SecondaryType::Refraction:
        case SecondaryType::VarianceGroup:
            break;
        }
        return columnRight(fixed(value, 0, 4), width) + "    ";
    }

    void secondaryParameters()
    {
        const Network &n = *m_in.network;
        const Statistics &s = *m_in.statistics;
        if (n.secondaryParameters.empty() || s.secondary.size() != n.secondaryParameters.size())
            return;
        m_out.heading(fr("PARAMETRES SECONDAIRES : GROUPES AUX"));
        const std::string confidence = fixed(m_options.validation * 100.0, 0, 2) + " %";
        switch (s.secondaryTest) {
        case ResidualTestKind::Normal:
            m_out.line(fr("   Test de signification : |t| = |valeur| / écart-type > ") +
                       fixed(s.secondaryCriticalValue, 0, 3) + fr(" (loi normale, ") + confidence +
                       ")");
            break;
        case ResidualTestKind::Tau:
            m_out.line(fr("   Test de signification : |t| = |valeur| / écart-type > ") +
                       fixed(s.secondaryCriticalValue, 0, 3) + fr(" (loi de Student à ") +
                       std::to_string(s.degreesOfFreedom) + fr(" degrés de liberté, ") +
                       confidence + ")");
            break;
        case ResidualTestKind::None:
            m_out.line(fr("   Test de signification : non réalisé (aucune redondance)"));
            break;
        }
        m_out.line();
        m_out.line(fr("   Groupe        Param.           Valeur          Ecart-type        |t|  "
                      "Significatif  Obs.   Ligne  Fichier"));
        m_out.line(kReportThinRule);
        for (std::size_t k = 0; k < n.secondaryParameters.size(); ++k) {
            const SecondaryParameter &p = n.secondaryParameters[k];
            const SecondaryGroup &g = n.secondaryGroups[static_cast<std::size_t>(p.group)];
            const SecondaryStatistics &t = s.secondary[k];
            const bool tested = s.secondaryTest != ResidualTestKind::None && t.sigma > 0.0;
            m_out.line("   " + columnLeft(g.name, 14) + columnLeft(secondaryTypeCode(p.type), 6) +
                       secondaryValue(p.type, t.value, 16) + secondaryValue(p.type, t.sigma, 16) +
                       columnRight(tested ? fixed(t.test, 0, 2) : std::string("-"), 9) + "  " +
                       columnLeft(tested ? (t.significant ? fr("OUI") : fr("NON")) : "-", 12) +
                       columnRight(std::to_string(p.observations), 6) +
                       columnRight(std::to_string(g.lineNumber), 8) +
                       columnRight(std::to_string(g.fileNumber), 9));
        }
    }

    // The 3D test of an item, for the residual listings.
    std::string itemTestText(const ItemStatistics &item) const
    {
        const Statistics &s = *m_in.statistics;
        if (!item.controlled)
            return fr("non contrôlé");
        std::string text = fr("T = ") + fixed(item.test, 0, 3);
        if (s.itemCriticalValue > 0.0)
            text += fr(" (<= ") + fixed(s.itemCriticalValue, 0, 3) + ") " +
                    (item.valid ? fr("VALIDE") : fr("REJETE"));
        return text;
    }

    void residualsNeu()
    {
        const Network &n = *m_in.network;
        const Statistics &s = *m_in.statistics;
        const AdjustmentOutcome &out = *m_in.outcome;
        m_out.heading(fr("RESIDUS 3D EN NEU"));
        m_out.line(
            fr("   Résidus des vecteurs GNSS et des positions observées XYZ tournés en nord, "
               "est, up à leur station ; résidus normés"));
        m_out.line(fr("   des composantes tournées (w = v / (k racine(Qvv))), test 3D de chacun."));
        m_out.line(fr("   Obs.  Station      Point visé    Fichier  Ligne    vN (m)    vE (m)    "
                      "vU (m)      wN      wE      wU   Test 3D"));
        m_out.line(kReportThinRule);
        int listed = 0;
        for (const ItemStatistics &item : s.items) {
            const Observation &o = n.observations[static_cast<std::size_t>(item.first)];
            if (o.kind != ObservationKind::Vector && o.kind != ObservationKind::Geocentric)
                continue;
            // A vector is an ellipsoid's difference; an observed position's components are those
            // of the state's surface (the spherical model's sphere).
            const Eigen::Vector3d &at = out.state.coordinates[static_cast<std::size_t>(o.station)];
            const Geographic g = o.kind == ObservationKind::Vector ? n.geographicOf(at)
                                                                   : toGeographic(n.surface, at);
            const Eigen::Matrix3d enu = localHorizon(g.latitude, g.longitude);
            Eigen::Matrix3d neu;
            neu << enu.col(1), enu.col(0), enu.col(2);
            Eigen::Vector3d v;
            for (int c = 0; c < 3; ++c)
                v(c) = s.perObservation[static_cast<std::size_t>(item.first + c)].residual;
            const Eigen::Vector3d turned = neu.transpose() * v;
            const Eigen::Matrix3d q = neu.transpose() * item.residualCofactors * neu;
            std::string line = "   " + columnLeft(observationCode(o.kind), 5) +
                               columnLeft(n.points[static_cast<std::size_t>(o.station)].name, 13) +
                               columnLeft(o.kind == ObservationKind::Vector
                                              ? n.points[static_cast<std::size_t>(o.target)].name
                                              : std::string(),
                                          13) +
                               columnRight(std::to_string(o.fileNumber), 8) +
                               columnRight(std::to_string(o.lineNumber), 7);
            for (int c = 0; c < 3; ++c)
                line += columnRight(fixed(turned(c), 0, 4), 10);
            for (int c = 0; c < 3; ++c)
                line +=
                    columnRight(item.controlled && q(c, c) > 0.0
                                    ? fixed(turned(c) / (s.sigmaScale * std::sqrt(q(c, c))), 0, 2)
                                    : std::string("-"),
                                8);
            m_out.line(line + "   " + itemTestText(item));
            ++listed;
        }
        if (listed == 0)
            m_out.line(fr("   Aucun vecteur GNSS ni position observée XYZ."));
    }

    void residuals()
    {
        const Network &n = *m_in.network;
        const Statistics &s = *m_in.statistics;
        std::vector<int> itemOf(n.observations.size(), -1);
        for (std::size_t k = 0; k < s.items.size(); ++k)
            for (int c = 0; c < 3; ++c)
                itemOf[static_cast<std::size_t>(s.items[k].first + c)] = static_cast<int>(k);
        m_out.line();
        m_out.line(kReportRule);
        m_out.line(std::string(" ") + kResidualHeading);
        m_out.line(kReportRule);
        m_out.line(fr("   Observations par rang de résidu normé décroissant. Résidu = valeur "
                      "ajustée - valeur observée."));
        m_out.line(fr("   Angles en ") + angleUnitName(m_options.angleUnit) +
                   fr(", petits angles en ") + smallAngleUnitSymbol(m_options.angleUnit) +
                   fr(", longueurs en m. Fiabilité : nombre de redondance en %."));
        if (m_options.logResiduals == ResidualListing::InvalidOnly)
            m_out.line(fr("   Seules les observations rejetées sont listées."));
        std::vector<int> listed;
        listed.reserve(s.rankOrder.size());
        for (int index : s.rankOrder) {
            if (m_options.logResiduals != ResidualListing::InvalidOnly ||
                !s.perObservation[static_cast<std::size_t>(index)].valid)
                listed.push_back(index);
        }
        const ResidualLabels labels;
        m_out.entries(listed.size(), [&](std::size_t k, std::string &text) {
            fetchAhead(k, listed.size(), [&](std::size_t ahead) {
                const auto i = static_cast<std::size_t>(listed[ahead]);
                prefetch(&itemOf[i]);
                return i;
            });
            residual(text, static_cast<std::size_t>(listed[k]), itemOf, labels);
        });
    }

    // The listings run in the order of their ranks, which scatters their reads over records much
    // larger than the caches: before entry `at` of `count` is formatted, the records of the
    // entries a few places ahead are fetched, their observations first, then the points these
    // name. `observationAt(k)` is the observation of entry k.
    static constexpr std::size_t kFetchAhead = 16;

    template <typename ObservationAt>
    void fetchAhead(std::size_t at, std::size_t count, const ObservationAt &observationAt) const
    {
        if (at + kFetchAhead < count)
            fetchObservation(observationAt(at + kFetchAhead));
        if (at + kFetchAhead / 2 < count)
            fetchSight(observationAt(at + kFetchAhead / 2));
    }

    void fetchObservation(std::size_t i) const
    {
        prefetchObject(m_in.network->observations[i]);
        if (m_in.statistics && i < m_in.statistics->perObservation.size())
            prefetchObject(m_in.statistics->perObservation[i]);
        if (m_in.outcome && static_cast<Eigen::Index>(i) < m_in.outcome->computed.size())
            prefetch(&m_in.outcome->computed(static_cast<Eigen::Index>(i)));
        if (m_in.regions && i < m_in.regions->reliability.biasFactor.size())
            prefetch(&m_in.regions->reliability.biasFactor[i]);
    }

    void fetchSight(std::size_t i) const
    {
        const Network &n = *m_in.network;
        const Observation &o = n.observations[i];
        for (int point : {o.station, o.target}) {
            if (point >= 0 && static_cast<std::size_t>(point) < n.points.size())
                prefetch(&n.points[static_cast<std::size_t>(point)].name);
        }
    }

    // The Latin-1 texts of a residual entry, converted once for the whole listing.
    struct ResidualLabels
    {
        std::string file = fr("fichier ");
        std::string line = fr(" ligne ");
        std::string group = fr("  groupe ");
        std::string observed = fr("     Observé  ");
        std::string adjusted = fr("   Ajusté ");
        std::string sigma = fr("   Ecart-type ");
        std::string residual = fr("     Résidu   ");
        std::string normalized = fr("   Résidu normé ");
        std::string reliability = fr("   Fiabilité ");
        std::string bias = fr("   Biais min. ");
        std::string valid = fr("   VALIDE");
        std::string rejected = fr("   REJETEE");
        std::string uncontrolled = fr("   NON CONTROLEE");
        std::string vectorTest = fr("     Test 3D du vecteur : ");
        std::string positionTest = fr("     Test 3D de la position : ");
    };

    // The lines of observation `i` in the residual listing, appended to `text`.
    void residual(std::string &text, std::size_t i, const std::vector<int> &itemOf,
                  const ResidualLabels &labels) const
    {
        const Network &n = *m_in.network;
        const Statistics &s = *m_in.statistics;
        const Observation &o = n.observations[i];
        const ObservationStatistics &st = s.perObservation[i];
        const std::string_view end = m_out.lineEnd();
        text += end;
        text += '#';
        appendInteger(text, st.rank, 11);
        text += "  ";
        appendColumnLeft(text, observationLabel(o), 5);
        // An observed position is of one point: no sight to show.
        const std::string &station = n.points[static_cast<std::size_t>(o.station)].name;
        if (isObservedPosition(o.kind)) {
            appendColumnLeft(text, station, 29);
        } else {
            appendColumnLeft(text, station, 13);
            text += "-> ";
            appendColumnLeft(text, n.points[static_cast<std::size_t>(o.target)].name, 13);
        }
        text += labels.file;
        appendInteger(text, o.fileNumber);
        text += labels.line;
        appendInteger(text, o.lineNumber);
        if (const std::string &group = n.groupOf(o); !group.empty()) {
            text += labels.group;
            text += group;
        }
        text += end;

        const std::string unit = smallUnit(o);
        text += labels.observed;
        appendValue(text, o, o.value, 18);
        text += labels.adjusted;
        appendValue(text, o, m_in.outcome->computed(static_cast<Eigen::Index>(i)), 18);
        text += labels.sigma;
        appendSmall(text, o, o.sigma, 10);
        text += ' ';
        text += unit;
        text += end;

        text += labels.residual;
        appendSmall(text, o, st.residual, 12);
        text += ' ';
        text += padRight(unit, 4);
        text += labels.normalized;
        if (st.controlled)
            appendNumber(text, st.normalized, 9, 3);
        else
            appendColumnRight(text, "-", 9);
        if (m_options.logReliability) {
            text += labels.reliability;
            appendNumber(text, st.redundancy * 100.0, 7, 2);
            text += " %";
            const double bias = m_in.regions ? minimalDetectableBias(*m_in.regions, i) : -1.0;
            text += labels.bias;
            if (bias < 0.0)
                appendColumnRight(text, "-", 10);
            else
                appendSmall(text, o, bias, 10);
            text += ' ';
            text += unit;
        }
        text += st.controlled ? (st.valid ? labels.valid : labels.rejected) : labels.uncontrolled;
        text += end;
        if (itemOf[i] >= 0) {
            text += o.kind == ObservationKind::Vector ? labels.vectorTest : labels.positionTest;
            text += itemTestText(s.items[static_cast<std::size_t>(itemOf[i])]);
            text += end;
        }
    }

    // `value` right-aligned in `width`.
    static void appendInteger(std::string &out, long long value, int width = 0)
    {
        char digits[24];
        const char *end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        if (end - digits < width)
            out.append(static_cast<std::size_t>(width - (end - digits)), ' ');
        out.append(digits, static_cast<std::size_t>(end - digits));
    }

    void conclusion()
    {
        m_out.line();
        m_out.line(kReportRule);
        const bool closing = m_in.part == ReportPart::Closing;
        const int errors = closing            ? m_in.runErrors
                           : m_in.diagnostics ? m_in.diagnostics->errorCount()
                                              : 0;
        if (errors == 0 && (closing ? m_in.runFinished : m_in.statistics != nullptr))
            m_out.line(fr(" TRAITEMENT TERMINE"));
        else
            m_out.line(fr(" TRAITEMENT INTERROMPU : ") + std::to_string(errors) +
                       fr(" erreur(s), voir la section MESSAGES."));
        m_out.line(kReportRule);
    }

    const ReportInput &m_in;
    Options m_options;
    ReportWriter m_out;
};

} // namespace

std::string residualKey(int rank)
{
    return "#" + padLeft(std::to_string(rank), 11);
}

std::string writeReport(const ReportInput &input, const char *lineEnd)
{
    return Report(input, lineEnd, nullptr).build();
}

void writeReport(const ReportInput &input, const char *lineEnd, ReportStream &stream)
{
    Report(input, lineEnd, &stream).build();
}

} // namespace engine
