#include "engine/api/pointconversion.h"

#include "engine/base/diagnostics.h"
#include "engine/base/text.h"
#include "engine/input/observationreader.h"
#include "engine/model/angles.h"
#include "engine/model/networkbuilder.h"
#include "engine/model/options.h"
#include "engine/output/coordinatereport.h"

#include <cmath>

namespace engine {

namespace {

constexpr double kDegree = kPi / 180.0;

std::optional<double> number(const std::string &text)
{
    return parseNumber(trimmedView(text));
}

} // namespace

std::optional<PointForm> pointFormOf(std::string_view text)
{
    PointForm form;
    const std::size_t colon = text.find(':');
    const std::string_view code = text.substr(0, colon);
    if (code == "XYZ")
        form.kind = PointForm::Kind::Xyz;
    else if (code == "PLH")
        form.kind = PointForm::Kind::Plh;
    else if (code == "PLHD")
        form.kind = PointForm::Kind::Plhd;
    else if (code == "PLO")
        form.kind = PointForm::Kind::Plo;
    else if (code == "PLOD")
        form.kind = PointForm::Kind::Plod;
    else if (code == "NEH")
        form.kind = PointForm::Kind::Neh;
    else if (code == "NEO")
        form.kind = PointForm::Kind::Neo;
    else
        return std::nullopt;
    const bool projected = form.kind == PointForm::Kind::Neh || form.kind == PointForm::Kind::Neo;
    if (projected != (colon != std::string_view::npos))
        return std::nullopt;
    if (projected) {
        form.projection = text.substr(colon + 1);
        if (form.projection.empty())
            return std::nullopt;
    }
    return form;
}

std::optional<PointConverter> PointConverter::load(const std::string &path,
                                                   const FileLoader &loader, bool naturalOrigin,
                                                   std::string &error)
{
    Diagnostics diagnostics;
    const ObservationSource source = readObservationFiles(path, loader, diagnostics);
    Options options;
    options.model = ModelType::Ellipsoidal3D;
    Network network = buildNetwork(source, options, diagnostics);
    if (diagnostics.hasErrors()) {
        for (const Diagnostic &d : diagnostics.items()) {
            if (d.severity == Diagnostic::Severity::Error)
                error += d.file + fr(", ligne ") + std::to_string(d.line) + " : " + d.text + "\n";
        }
        return std::nullopt;
    }
    PointConverter converter;
    converter.m_ellipsoid = network.ellipsoid;
    converter.m_grid = network.geoidGrid;
    for (Projection &p : network.projections) {
        ProjectionDefinition d = p.definition();
        if (naturalOrigin && d.method == ProjectionMethod::ObliqueMercator) {
            d.falseOriginAtCentre = false;
            std::string reason;
            if (std::optional<Projection> a = Projection::make(network.ellipsoid, d, reason))
                converter.m_projections.push_back(std::move(*a));
            continue;
        }
        converter.m_projections.push_back(std::move(p));
    }
    return converter;
}

const Projection *PointConverter::projection(const std::string &name, std::string &error) const
{
    for (const Projection &p : m_projections) {
        if (p.definition().name == name)
            return &p;
    }
    error = fr("Projection « ") + name + fr(" » inconnue : le fichier ne la définit pas.");
    return nullptr;
}

std::optional<std::string> PointConverter::convert(const PointForm &from, const PointForm &to,
                                                   const std::vector<std::string> &values,
                                                   std::string &error) const
{
    using Kind = PointForm::Kind;
    if (values.size() != 3) {
        error = fr("Trois valeurs attendues.");
        return std::nullopt;
    }
    const std::optional<double> third = number(values[2]);
    Geographic g;
    if (from.kind == Kind::Xyz) {
        const auto x = number(values[0]);
        const auto y = number(values[1]);
        if (!x || !y || !third) {
            error = fr("Coordonnées X, Y, Z illisibles.");
            return std::nullopt;
        }
        g = toGeographic(m_ellipsoid, Eigen::Vector3d(*x, *y, *third));
    } else if (from.kind == Kind::Neh || from.kind == Kind::Neo) {
        const Projection *p = projection(from.projection, error);
        const auto north = number(values[0]);
        const auto east = number(values[1]);
        if (!p)
            return std::nullopt;
        if (!north || !east || !third) {
            error = fr("Coordonnées nord, est, hauteur illisibles.");
            return std::nullopt;
        }
        const std::optional<Geographic> onGrid = p->inverse(*north, *east);
        if (!onGrid) {
            error = fr("Coordonnées hors du domaine de la projection.");
            return std::nullopt;
        }
        g = *onGrid;
        g.height = *third;
    } else {
        std::string reason;
        const auto latitude = parseAngle(values[0], AngleUnit::Dms, reason);
        const auto longitude = parseAngle(values[1], AngleUnit::Dms, reason);
        if (!latitude || !longitude || !third || !(std::abs(*latitude) <= kPi / 2.0)) {
            error = fr("Latitude, longitude, hauteur illisibles") +
                    (reason.empty() ? std::string() : " : " + reason) + ".";
            return std::nullopt;
        }
        g = {*latitude, wrapAngle(*longitude), *third};
    }
    if (from.altitude() != to.altitude()) {
        const std::optional<double> n =
            m_grid ? m_grid->undulation(g.latitude / kDegree, g.longitude / kDegree) : std::nullopt;
        if (!n) {
            error = m_grid ? fr("Point hors de la grille de géoïde.")
                           : fr("Altitude sans géoïde : le fichier ne donne pas de grille GFIL.");
            return std::nullopt;
        }
        g.height += from.altitude() ? *n : -*n;
    }
    switch (to.kind) {
    case Kind::Xyz: {
        const Eigen::Vector3d xyz = toGeocentric(m_ellipsoid, g);
        return fixed(xyz.x(), 0, 5) + " " + fixed(xyz.y(), 0, 5) + " " + fixed(xyz.z(), 0, 5);
    }
    case Kind::Plh:
    case Kind::Plo:
        return geographicDms(g.latitude, true, 6) + "  " + geographicDms(g.longitude, false, 6) +
               "  " + fixed(g.height, 0, 5);
    case Kind::Plhd:
    case Kind::Plod:
        return fixed(g.latitude / kDegree, 0, 11) + " " + fixed(g.longitude / kDegree, 0, 11) +
               " " + fixed(g.height, 0, 5);
    case Kind::Neh:
    case Kind::Neo:
        break;
    }
    const Projection *p = projection(to.projection, error);
    if (!p)
        return std::nullopt;
    const std::optional<GridPosition> grid = p->forward(g.latitude, g.longitude);
    if (!grid) {
        error = fr("Point hors du domaine de la projection.");
        return std::nullopt;
    }
    return fixed(grid->north, 0, 5) + " " + fixed(grid->east, 0, 5) + " " + fixed(g.height, 0, 5) +
           " " + fixed(grid->scale, 0, 10) + " " + fixed(grid->convergence / kDegree, 0, 9);
}

} // namespace engine
