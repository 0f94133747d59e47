#include "engine/model/projection.h"

#include "engine/base/text.h"

#include <GeographicLib/LambertConformalConic.hpp>
#include <GeographicLib/TransverseMercator.hpp>

#include <cmath>
#include <exception>

namespace engine {

namespace {

constexpr double kPiValue = 3.14159265358979323846;
constexpr double kDegree = kPiValue / 180.0;
// Scale factors beyond these are typing errors (0.9996 typed 9996), not projections.
constexpr double kMinScale = 0.5;
constexpr double kMaxScale = 2.0;
// How near the poles a latitude of origin may come for the oblique projections, radians.
constexpr double kPoleMargin = 1e-9;

double sign(double x)
{
    return x > 0.0 ? 1.0 : x < 0.0 ? -1.0 : 0.0;
}

// asin of a value that rounding may have carried just past 1 (an azimuth of 90 degrees at the
// centre of an oblique Mercator gives exactly 1); beyond that, NaN as asin gives.
double asinRounded(double x)
{
    constexpr double kRounding = 1e-12;
    if (std::abs(x) > 1.0 && std::abs(x) <= 1.0 + kRounding)
        x = std::copysign(1.0, x);
    return std::asin(x);
}

double wrap(double angle)
{
    return std::remainder(angle, 2.0 * kPiValue);
}

// The latitude whose isometric latitude is `psi`, on an ellipsoid of eccentricity `e`.
double latitudeOfIsometric(double psi, double e)
{
    const double target = std::exp(psi);
    double phi = 2.0 * std::atan(target) - kPiValue / 2.0;
    for (int i = 0; i < 30; ++i) {
        const double s = e * std::sin(phi);
        const double next =
            2.0 * std::atan(target * std::pow((1.0 + s) / (1.0 - s), e / 2.0)) - kPiValue / 2.0;
        const bool done = std::abs(next - phi) < 1e-15;
        phi = next;
        if (done)
            break;
    }
    return phi;
}

} // namespace

struct Projection::Method
{
    virtual ~Method() = default;
    virtual std::unique_ptr<Method> clone() const = 0;
    // North and east of the grid without the false origin.
    virtual bool forward(double latitude, double longitude, double &north, double &east,
                         double &scale, double &convergence) const = 0;
    virtual bool inverse(double north, double east, double &latitude, double &longitude) const = 0;
};

namespace {

using Method = Projection::Method;

// Point scale factor and convergence by central differences of the forward projection, for the
// methods written here: the grid's derivative along the meridian gives its north, along the
// parallel its scale.
template <typename F>
void differentialScale(const F &grid, double a, double e2, double latitude, double longitude,
                       double &scale, double &convergence)
{
    constexpr double kStep = 1e-6; // radians
    double n1 = 0, e1 = 0, n2 = 0, e2g = 0, n3 = 0, e3 = 0, n4 = 0, e4 = 0;
    grid(latitude + kStep, longitude, n1, e1);
    grid(latitude - kStep, longitude, n2, e2g);
    grid(latitude, longitude + kStep, n3, e3);
    grid(latitude, longitude - kStep, n4, e4);
    const double dNdPhi = n1 - n2;
    const double dEdPhi = e1 - e2g;
    const double sine = std::sin(latitude);
    const double nu = a / std::sqrt(1.0 - e2 * sine * sine);
    const double parallel = nu * std::cos(latitude) * 2.0 * kStep;
    scale = std::hypot(n3 - n4, e3 - e4) / parallel;
    convergence = std::atan2(-dEdPhi, dNdPhi);
}

class TransverseMercatorMethod : public Method
{
public:
    TransverseMercatorMethod(const ReferenceEllipsoid &e, const ProjectionDefinition &d)
        : m_tm(e.semiMajor, e.flattening(), d.scale)
        , m_centralMeridian(d.longitudeOfOrigin / kDegree)
    {
        double x = 0, gamma = 0, k = 0;
        m_tm.Forward(m_centralMeridian, d.latitudeOfOrigin / kDegree, m_centralMeridian, x,
                     m_originNorth, gamma, k);
    }

    std::unique_ptr<Method> clone() const override
    {
        return std::make_unique<TransverseMercatorMethod>(*this);
    }

    bool forward(double latitude, double longitude, double &north, double &east, double &scale,
                 double &convergence) const override
    {
        double gamma = 0;
        m_tm.Forward(m_centralMeridian, latitude / kDegree, longitude / kDegree, east, north, gamma,
                     scale);
        north -= m_originNorth;
        convergence = gamma * kDegree;
        return std::isfinite(north) && std::isfinite(east);
    }

    bool inverse(double north, double east, double &latitude, double &longitude) const override
    {
        double gamma = 0, k = 0;
        m_tm.Reverse(m_centralMeridian, east, north + m_originNorth, latitude, longitude, gamma, k);
        latitude *= kDegree;
        longitude *= kDegree;
        return std::isfinite(latitude) && std::isfinite(longitude);
    }

private:
    GeographicLib::TransverseMercator m_tm;
    double m_centralMeridian; // degrees
    double m_originNorth = 0.0;
};

class LambertMethod : public Method
{
public:
    LambertMethod(const ReferenceEllipsoid &e, const ProjectionDefinition &d)
        : m_lcc(e.semiMajor, e.flattening(), d.firstParallel / kDegree, d.secondParallel / kDegree,
                1.0)
        , m_centralMeridian(d.longitudeOfOrigin / kDegree)
    {
        double x = 0, gamma = 0, k = 0;
        m_lcc.Forward(m_centralMeridian, d.latitudeOfOrigin / kDegree, m_centralMeridian, x,
                      m_originNorth, gamma, k);
    }

    std::unique_ptr<Method> clone() const override
    {
        return std::make_unique<LambertMethod>(*this);
    }

    bool forward(double latitude, double longitude, double &north, double &east, double &scale,
                 double &convergence) const override
    {
        double gamma = 0;
        m_lcc.Forward(m_centralMeridian, latitude / kDegree, longitude / kDegree, east, north,
                      gamma, scale);
        north -= m_originNorth;
        convergence = gamma * kDegree;
        // The pole away from the cone's apex lies at infinity: GeographicLib gives huge values.
        constexpr double kFar = 1e9;
        return std::abs(north) < kFar && std::abs(east) < kFar && std::isfinite(scale);
    }

    bool inverse(double north, double east, double &latitude, double &longitude) const override
    {
        double gamma = 0, k = 0;
        m_lcc.Reverse(m_centralMeridian, east, north + m_originNorth, latitude, longitude, gamma,
                      k);
        latitude *= kDegree;
        longitude *= kDegree;
        return std::isfinite(latitude) && std::isfinite(longitude);
    }

    double originNorth() const { return m_originNorth; }

private:
    GeographicLib::LambertConformalConic m_lcc;
    double m_centralMeridian; // degrees
    double m_originNorth = 0.0;
};

// Hotine's oblique Mercator through the aposphere, as IOGP guidance note 7-2 writes it.
class ObliqueMercatorMethod : public Method
{
public:
    ObliqueMercatorMethod(const ReferenceEllipsoid &ellipsoid, const ProjectionDefinition &d)
        : m_a(ellipsoid.semiMajor)
        , m_centre(d.falseOriginAtCentre)
    {
        const double f = ellipsoid.flattening();
        m_e2 = f * (2.0 - f);
        m_e = std::sqrt(m_e2);
        const double phic = d.latitudeOfOrigin;
        const double sinc = std::sin(phic);
        const double cosc = std::cos(phic);
        m_b = std::sqrt(1.0 + m_e2 * std::pow(cosc, 4) / (1.0 - m_e2));
        m_bigA = m_a * m_b * d.scale * std::sqrt(1.0 - m_e2) / (1.0 - m_e2 * sinc * sinc);
        const double t0 = isometricT(phic);
        const double dd =
            m_b * std::sqrt(1.0 - m_e2) / (cosc * std::sqrt(1.0 - m_e2 * sinc * sinc));
        const double d2 = std::max(dd * dd, 1.0);
        const double ff = dd + std::sqrt(d2 - 1.0) * sign(phic);
        m_h = ff * std::pow(t0, m_b);
        const double g = (ff - 1.0 / ff) / 2.0;
        m_gamma0 = asinRounded(std::sin(d.azimuth) / dd);
        m_lambda0 = d.longitudeOfOrigin - asinRounded(g * std::tan(m_gamma0)) / m_b;
        // The centre's distance along the initial line from the natural origin, signed as the
        // latitude of the centre (|uc| sign(latitude) of the guidance note).
        m_uc = m_bigA / m_b * std::atan2(std::sqrt(d2 - 1.0), std::cos(d.azimuth)) * sign(phic);
        m_gammac = d.skew.value_or(d.azimuth);
    }

    bool valid() const
    {
        return std::isfinite(m_h) && m_h > 0.0 && std::isfinite(m_gamma0) &&
               std::isfinite(m_lambda0) && std::isfinite(m_uc) && std::isfinite(m_bigA);
    }

    std::unique_ptr<Method> clone() const override
    {
        return std::make_unique<ObliqueMercatorMethod>(*this);
    }

    bool forward(double latitude, double longitude, double &north, double &east, double &scale,
                 double &convergence) const override
    {
        const auto grid = [this](double phi, double lambda, double &n, double &e) {
            return project(phi, lambda, n, e);
        };
        if (!project(latitude, longitude, north, east))
            return false;
        differentialScale(grid, m_a, m_e2, latitude, longitude, scale, convergence);
        return true;
    }

    bool inverse(double north, double east, double &latitude, double &longitude) const override
    {
        const double v = east * std::cos(m_gammac) - north * std::sin(m_gammac);
        double u = north * std::cos(m_gammac) + east * std::sin(m_gammac);
        if (m_centre)
            u += m_uc;
        const double q = std::exp(-m_b * v / m_bigA);
        const double s = (q - 1.0 / q) / 2.0;
        const double t = (q + 1.0 / q) / 2.0;
        const double vv = std::sin(m_b * u / m_bigA);
        const double uu = (vv * std::cos(m_gamma0) + s * std::sin(m_gamma0)) / t;
        if (!(std::abs(uu) < 1.0))
            return false;
        const double tt = std::pow(m_h / std::sqrt((1.0 + uu) / (1.0 - uu)), 1.0 / m_b);
        latitude = latitudeOfIsometric(-std::log(tt), m_e);
        longitude = wrap(m_lambda0 - std::atan2(s * std::cos(m_gamma0) - vv * std::sin(m_gamma0),
                                                std::cos(m_b * u / m_bigA)) /
                                         m_b);
        return std::isfinite(latitude) && std::isfinite(longitude);
    }

private:
    double isometricT(double phi) const
    {
        const double s = m_e * std::sin(phi);
        return std::tan(kPiValue / 4.0 - phi / 2.0) / std::pow((1.0 - s) / (1.0 + s), m_e / 2.0);
    }

    bool project(double phi, double lambda, double &north, double &east) const
    {
        const double t = isometricT(phi);
        if (!(t > 0.0) || !std::isfinite(t))
            return false;
        const double q = m_h / std::pow(t, m_b);
        const double s = (q - 1.0 / q) / 2.0;
        const double tt = (q + 1.0 / q) / 2.0;
        const double dl = m_b * wrap(lambda - m_lambda0);
        const double v = std::sin(dl);
        const double uu = (-v * std::cos(m_gamma0) + s * std::sin(m_gamma0)) / tt;
        if (!(std::abs(uu) < 1.0))
            return false;
        const double vg = m_bigA * std::log((1.0 - uu) / (1.0 + uu)) / (2.0 * m_b);
        double ug = m_bigA *
                    std::atan2(s * std::cos(m_gamma0) + v * std::sin(m_gamma0), std::cos(dl)) / m_b;
        if (m_centre)
            ug -= m_uc;
        east = vg * std::cos(m_gammac) + ug * std::sin(m_gammac);
        north = ug * std::cos(m_gammac) - vg * std::sin(m_gammac);
        return std::isfinite(north) && std::isfinite(east);
    }

    double m_a;
    bool m_centre;
    double m_e2 = 0.0;
    double m_e = 0.0;
    double m_b = 1.0;
    double m_bigA = 0.0;
    double m_h = 1.0;
    double m_gamma0 = 0.0;
    double m_lambda0 = 0.0;
    double m_uc = 0.0;
    double m_gammac = 0.0;
};

// The double projection: the ellipsoid onto Gauss's conformal sphere at the origin, then the
// sphere's stereographic projection from the antipode of the origin, as in IOGP guidance note 7-2.
class ObliqueStereographicMethod : public Method
{
public:
    ObliqueStereographicMethod(const ReferenceEllipsoid &ellipsoid, const ProjectionDefinition &d)
        : m_a(ellipsoid.semiMajor)
        , m_lambda0(d.longitudeOfOrigin)
    {
        const double f = ellipsoid.flattening();
        m_e2 = f * (2.0 - f);
        m_e = std::sqrt(m_e2);
        const double phi0 = d.latitudeOfOrigin;
        const double sin0 = std::sin(phi0);
        const double w = 1.0 - m_e2 * sin0 * sin0;
        const double rho0 = m_a * (1.0 - m_e2) / std::pow(w, 1.5);
        const double nu0 = m_a / std::sqrt(w);
        m_twoRk = 2.0 * std::sqrt(rho0 * nu0) * d.scale;
        m_n = std::sqrt(1.0 + m_e2 * std::pow(std::cos(phi0), 4) / (1.0 - m_e2));
        const double w1 = std::pow(isometricProduct(phi0), m_n);
        const double sinChi00 = (w1 - 1.0) / (w1 + 1.0);
        m_c = (m_n + sin0) * (1.0 - sinChi00) / ((m_n - sin0) * (1.0 + sinChi00));
        const double w2 = m_c * w1;
        m_chi0 = std::asin((w2 - 1.0) / (w2 + 1.0));
    }

    std::unique_ptr<Method> clone() const override
    {
        return std::make_unique<ObliqueStereographicMethod>(*this);
    }

    bool forward(double latitude, double longitude, double &north, double &east, double &scale,
                 double &convergence) const override
    {
        const auto grid = [this](double phi, double lambda, double &n, double &e) {
            return project(phi, lambda, n, e);
        };
        if (!project(latitude, longitude, north, east))
            return false;
        differentialScale(grid, m_a, m_e2, latitude, longitude, scale, convergence);
        return true;
    }

    bool inverse(double north, double east, double &latitude, double &longitude) const override
    {
        // The sphere's stereographic projection inverted, then the conformal latitude carried
        // back to the ellipsoid through the isometric latitude.
        const double rho = std::hypot(north, east);
        double chi = m_chi0;
        double dLambda = 0.0;
        if (rho > 0.0) {
            const double c = 2.0 * std::atan(rho / m_twoRk);
            chi = std::asin(std::cos(c) * std::sin(m_chi0) +
                            north * std::sin(c) * std::cos(m_chi0) / rho);
            dLambda = std::atan2(east * std::sin(c), rho * std::cos(m_chi0) * std::cos(c) -
                                                         north * std::sin(m_chi0) * std::sin(c));
        }
        const double sinChi = std::sin(chi);
        const double psi = 0.5 * std::log((1.0 + sinChi) / (m_c * (1.0 - sinChi))) / m_n;
        latitude = latitudeOfIsometric(psi, m_e);
        longitude = wrap(m_lambda0 + dLambda / m_n);
        return std::isfinite(latitude) && std::isfinite(longitude);
    }

private:
    // ((1 + sin phi) / (1 - sin phi)) ((1 - e sin phi) / (1 + e sin phi))^e
    double isometricProduct(double phi) const
    {
        const double sine = std::sin(phi);
        const double s = m_e * sine;
        return (1.0 + sine) / (1.0 - sine) * std::pow((1.0 - s) / (1.0 + s), m_e);
    }

    bool project(double phi, double lambda, double &north, double &east) const
    {
        const double w = m_c * std::pow(isometricProduct(phi), m_n);
        const double chi = std::asin((w - 1.0) / (w + 1.0));
        const double dLambda = m_n * wrap(lambda - m_lambda0);
        const double b = 1.0 + std::sin(chi) * std::sin(m_chi0) +
                         std::cos(chi) * std::cos(m_chi0) * std::cos(dLambda);
        // The antipode of the origin goes to infinity.
        if (!(b > 1e-12))
            return false;
        east = m_twoRk * std::cos(chi) * std::sin(dLambda) / b;
        north = m_twoRk *
                (std::sin(chi) * std::cos(m_chi0) -
                 std::cos(chi) * std::sin(m_chi0) * std::cos(dLambda)) /
                b;
        return std::isfinite(north) && std::isfinite(east);
    }

    double m_a;
    double m_lambda0;
    double m_e2 = 0.0;
    double m_e = 0.0;
    double m_twoRk = 0.0;
    double m_n = 1.0;
    double m_c = 1.0;
    double m_chi0 = 0.0;
};

std::string degreesText(double radians)
{
    return fixed(radians / kDegree, 0, 6) + "°";
}

} // namespace

Projection::Projection(const ProjectionDefinition &definition, std::unique_ptr<Method> method)
    : m_definition(definition)
    , m_method(std::move(method))
{}

Projection::Projection(const Projection &other)
    : m_definition(other.m_definition)
    , m_method(other.m_method->clone())
{}

Projection &Projection::operator=(const Projection &other)
{
    if (this != &other) {
        m_definition = other.m_definition;
        m_method = other.m_method->clone();
    }
    return *this;
}

Projection::Projection(Projection &&) noexcept = default;
Projection &Projection::operator=(Projection &&) noexcept = default;
Projection::~Projection() = default;

std::optional<Projection> Projection::make(const ReferenceEllipsoid &ellipsoid,
                                           const ProjectionDefinition &d, std::string &reason)
{
    const double quarter = kPiValue / 2.0;
    if (!(d.scale >= kMinScale && d.scale <= kMaxScale) &&
        d.method != ProjectionMethod::LambertConic) {
        reason = fr("facteur d'échelle ") + fixed(d.scale, 0, 6) + fr(" hors limites, de ") +
                 fixed(kMinScale, 0, 1) + fr(" à ") + fixed(kMaxScale, 0, 1) + fr(" attendu");
        return std::nullopt;
    }
    if (!(std::abs(d.latitudeOfOrigin) <= quarter) || !std::isfinite(d.longitudeOfOrigin) ||
        !std::isfinite(d.falseNorthing) || !std::isfinite(d.falseEasting)) {
        reason = fr("latitude d'origine ") + degreesText(d.latitudeOfOrigin) +
                 fr(" hors limites, de -90° à 90° attendu");
        return std::nullopt;
    }
    try {
        switch (d.method) {
        case ProjectionMethod::TransverseMercator:
            return Projection(d, std::make_unique<TransverseMercatorMethod>(ellipsoid, d));
        case ProjectionMethod::LambertConic: {
            const double p1 = d.firstParallel;
            const double p2 = d.secondParallel;
            if (!(std::abs(p1) < quarter && std::abs(p2) < quarter)) {
                reason = fr("parallèle automécoïque aux pôles ou au-delà (") + degreesText(p1) +
                         ", " + degreesText(p2) + ")";
                return std::nullopt;
            }
            // Parallels symmetric about the equator make the cone a cylinder: no Lambert.
            if (std::abs(std::sin(p1) + std::sin(p2)) < 1e-6) {
                reason = fr("parallèles automécoïques symétriques par rapport à l'équateur (") +
                         degreesText(p1) + ", " + degreesText(p2) +
                         fr(") : le cône devient un cylindre");
                return std::nullopt;
            }
            auto method = std::make_unique<LambertMethod>(ellipsoid, d);
            if (!std::isfinite(method->originNorth()) || std::abs(method->originNorth()) > 1e9) {
                reason = fr("latitude d'origine ") + degreesText(d.latitudeOfOrigin) +
                         fr(" au pôle opposé au sommet du cône");
                return std::nullopt;
            }
            return Projection(d, std::move(method));
        }
        case ProjectionMethod::ObliqueMercator: {
            if (!(std::abs(d.latitudeOfOrigin) < quarter - kPoleMargin)) {
                reason = fr("latitude du centre ") + degreesText(d.latitudeOfOrigin) +
                         fr(" : la ligne centrale d'un Mercator oblique ne passe pas par un pôle");
                return std::nullopt;
            }
            auto method = std::make_unique<ObliqueMercatorMethod>(ellipsoid, d);
            if (!method->valid()) {
                reason = fr("azimut ") + degreesText(d.azimuth) +
                         fr(" impossible à la latitude du centre ") +
                         degreesText(d.latitudeOfOrigin);
                return std::nullopt;
            }
            return Projection(d, std::move(method));
        }
        case ProjectionMethod::ObliqueStereographic:
            if (!(std::abs(d.latitudeOfOrigin) < quarter - kPoleMargin)) {
                reason = fr("latitude d'origine ") + degreesText(d.latitudeOfOrigin) +
                         fr(" : un stéréographique oblique n'a pas son origine au pôle");
                return std::nullopt;
            }
            return Projection(d, std::make_unique<ObliqueStereographicMethod>(ellipsoid, d));
        }
    } catch (const std::exception &) {
        reason = fr("paramètres hors du domaine de la projection");
        return std::nullopt;
    }
    reason = fr("méthode inconnue");
    return std::nullopt;
}

std::optional<GridPosition> Projection::forward(double latitude, double longitude) const
{
    GridPosition g;
    if (!m_method->forward(latitude, longitude, g.north, g.east, g.scale, g.convergence))
        return std::nullopt;
    g.north += m_definition.falseNorthing;
    g.east += m_definition.falseEasting;
    return g;
}

std::optional<Geographic> Projection::inverse(double north, double east) const
{
    Geographic g;
    if (!m_method->inverse(north - m_definition.falseNorthing, east - m_definition.falseEasting,
                           g.latitude, g.longitude))
        return std::nullopt;
    return g;
}

} // namespace engine
