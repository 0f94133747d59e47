#include "engine/model/approximatecoordinates.h"

#include "engine/base/text.h"
#include "engine/model/angles.h"
#include "engine/model/localmodel.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <map>
#include <numeric>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace engine {

namespace horizon {

namespace {

using Complex = std::complex<double>;

// A point of the horizon plane as a complex number north + i east, whose argument is the azimuth.
Complex toComplex(const Eigen::Vector2d &p)
{
    return {p.y(), p.x()};
}

Eigen::Vector2d fromComplex(Complex w)
{
    return {w.imag(), w.real()};
}

double cross(const Eigen::Vector2d &a, const Eigen::Vector2d &b)
{
    return a.x() * b.y() - a.y() * b.x();
}

// The centre of the circle through `a` and `b` from whose points `b` is seen `angle` after `a`
// (an inscribed angle is half the angle at the centre).
std::optional<Complex> arcCentre(Complex a, Complex b, double angle)
{
    const Complex turn = std::polar(1.0, 2.0 * angle);
    if (std::abs(turn - 1.0) < 1e-9)
        return std::nullopt;
    return (a * turn - b) / (turn - 1.0);
}

} // namespace

Eigen::Vector2d polar(const Eigen::Vector2d &origin, double azimuth, double length)
{
    return origin + length * Eigen::Vector2d(std::sin(azimuth), std::cos(azimuth));
}

std::optional<Eigen::Vector2d> intersect(const Eigen::Vector2d &a, double azimuthA,
                                         const Eigen::Vector2d &b, double azimuthB,
                                         double minimumCut)
{
    const Eigen::Vector2d da(std::sin(azimuthA), std::cos(azimuthA));
    const Eigen::Vector2d db(std::sin(azimuthB), std::cos(azimuthB));
    const double sine = cross(da, db);
    if (std::fabs(sine) < std::sin(minimumCut))
        return std::nullopt;
    const double ta = cross(b - a, db) / sine;
    const double tb = cross(b - a, da) / sine;
    if (!(ta > 0.0) || !(tb > 0.0))
        return std::nullopt;
    return a + ta * da;
}

std::optional<std::array<Eigen::Vector2d, 2>>
circles(const Eigen::Vector2d &a, double ra, const Eigen::Vector2d &b, double rb, double minimumCut)
{
    const double d = (b - a).norm();
    if (!(d > 1e-9) || !(ra > 0.0) || !(rb > 0.0))
        return std::nullopt;
    const double cosCut = (ra * ra + rb * rb - d * d) / (2.0 * ra * rb);
    if (!(std::fabs(cosCut) <= std::cos(minimumCut)))
        return std::nullopt;
    const double along = (ra * ra - rb * rb + d * d) / (2.0 * d);
    const double across = std::sqrt(std::max(0.0, ra * ra - along * along));
    const Eigen::Vector2d u = (b - a) / d;
    const Eigen::Vector2d left(-u.y(), u.x());
    return std::array<Eigen::Vector2d, 2>{a + along * u + across * left,
                                          a + along * u - across * left};
}

std::optional<Eigen::Vector2d> resect(const Eigen::Vector2d &a, double da, const Eigen::Vector2d &b,
                                      double db, const Eigen::Vector2d &c, double dc)
{
    const Complex wa = toComplex(a);
    const Complex wb = toComplex(b);
    const Complex wc = toComplex(c);
    const auto centreB = arcCentre(wa, wb, db - da);
    const auto centreC = arcCentre(wa, wc, dc - da);
    if (!centreB || !centreC)
        return std::nullopt;
    // The station is the second crossing of the two circles through `a`: the mirror image of
    // `a` in the line of the centres. Near the danger circle the centres meet.
    const Complex axis = *centreC - *centreB;
    const double radii = std::abs(wa - *centreB) + std::abs(wa - *centreC);
    if (!(std::abs(axis) > 1e-3 * radii))
        return std::nullopt;
    const Complex station = *centreB + axis * std::conj((wa - *centreB) / axis);
    if (!(std::abs(station - wa) > 1e-6 * radii))
        return std::nullopt;
    // The circles only know the angles up to a half turn: keep a station that reads them.
    const double toA = std::arg(wa - station);
    for (const auto &[w, reading] : {std::pair{wb, db - da}, std::pair{wc, dc - da}}) {
        if (std::abs(w - station) < 1e-6 * radii ||
            std::fabs(wrapAngle(std::arg(w - station) - toA - reading)) > 0.1)
            return std::nullopt;
    }
    return fromComplex(station);
}

std::optional<Eigen::Vector2d> freeStation(const Eigen::Vector2d &a, double da, double la,
                                           const Eigen::Vector2d &b, double db, double lb)
{
    const Complex va = std::polar(la, da);
    const Complex vb = std::polar(lb, db);
    const Complex read = vb - va;
    if (!(std::abs(read) > 1e-9))
        return std::nullopt;
    const Complex rotation = (toComplex(b) - toComplex(a)) / read;
    const double scale = std::abs(rotation);
    if (!(scale > 0.8 && scale < 1.25))
        return std::nullopt;
    const Complex unit = rotation / scale;
    return fromComplex(0.5 * (toComplex(a) - va * unit + toComplex(b) - vb * unit));
}

double heightDifference(double zenith, double refraction, double length, double instrumentHeight,
                        double targetHeight)
{
    const double geometric = zenith + refraction * length / (2.0 * kEarthRadius);
    return length * std::cos(geometric) / std::sin(geometric) + instrumentHeight - targetHeight;
}

double horizontalLength(double slope, double zenith, double refraction)
{
    const double first = slope * std::sin(zenith);
    return slope * std::sin(zenith + refraction * first / (2.0 * kEarthRadius));
}

} // namespace horizon

namespace {

// Flatter crossings of rays or circles give no position: their error grows as 1 / sin(cut).
constexpr double kMinimumCut = 0.1; // radians
// Sights of one kind a point combines pairwise, the first by name: enough for a robust median,
// few enough that a point seen from everywhere costs no more than any other.
constexpr std::size_t kMaxSights = 8;
// Positions of a point closer than this (metres) agree with each other.
constexpr double kAgreement = 0.1;
// Beyond this many positions of a point, their median alone (the agreement costs their square).
constexpr std::size_t kConsensusLimit = 24;
// Names listed in one message.
constexpr std::size_t kListedNames = 20;

double median(std::vector<double> values)
{
    const auto middle = values.begin() + static_cast<long>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    if (values.size() % 2 == 1)
        return *middle;
    return 0.5 * (*std::max_element(values.begin(), middle) + *middle);
}

// The median of angles, counted from the widest gap between them so that values on both sides
// of north stay together.
double circularMedian(std::vector<double> values)
{
    for (double &v : values)
        v = normalizeAngle(v);
    std::sort(values.begin(), values.end());
    std::size_t start = 0;
    double widest = values.front() + 2.0 * kPi - values.back();
    for (std::size_t i = 1; i < values.size(); ++i) {
        if (values[i] - values[i - 1] > widest) {
            widest = values[i] - values[i - 1];
            start = i;
        }
    }
    std::vector<double> unrolled;
    unrolled.reserve(values.size());
    for (std::size_t k = 0; k < values.size(); ++k) {
        const std::size_t i = (start + k) % values.size();
        unrolled.push_back(values[i] + (start + k >= values.size() ? 2.0 * kPi : 0.0));
    }
    return normalizeAngle(median(std::move(unrolled)));
}

enum Method {
    Polar,
    Intersection,
    Resection,
    FreeStation,
    Trilateration,
    LocalFrames,
    PlanOfNeighbour,
    Levelling,
    Trigonometric,
    HeightOfNeighbour,
    MethodCount
};

const char *methodName(int method)
{
    switch (method) {
    case Polar:
        return "rayonnement";
    case Intersection:
        return "intersection";
    case Resection:
        return "relèvement";
    case FreeStation:
        return "station libre";
    case Trilateration:
        return "multilatération";
    case LocalFrames:
        return "assemblage de stations";
    case PlanOfNeighbour:
        return "planimétrie non observée, fixée sur ses voisins";
    case Levelling:
        return "nivellement";
    case Trigonometric:
        return "trigonométrie";
    case HeightOfNeighbour:
        return "hauteur non observée, fixée sur ses voisins";
    default:
        break;
    }
    return "";
}

unsigned kindBit(ObservationKind kind)
{
    return 1u << static_cast<unsigned>(kind);
}

// « name »
std::string quotedName(const std::string &name)
{
    return fr("« ") + name + fr(" »");
}

// « A », « B » et « C », at most kListedNames of them, then the count of the others.
std::string nameList(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    std::string text;
    const std::size_t shown = std::min(names.size(), kListedNames);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0)
            text += i + 1 == shown && shown == names.size() ? fr(" et ") : ", ";
        text += quotedName(names[i]);
    }
    if (names.size() > shown)
        text += fr(" et ") + std::to_string(names.size() - shown) + fr(" autre(s)");
    return text;
}

struct Candidates
{
    std::vector<double> first; // east (plan) or up (height)
    std::vector<double> second;
    std::array<int, MethodCount> methods{};

    void add(const Eigen::Vector2d &p, int method)
    {
        if (!p.allFinite())
            return;
        first.push_back(p.x());
        second.push_back(p.y());
        ++methods[static_cast<std::size_t>(method)];
    }
    void add(double up, int method)
    {
        if (!std::isfinite(up))
            return;
        first.push_back(up);
        ++methods[static_cast<std::size_t>(method)];
    }
    bool empty() const { return first.empty(); }
};

struct Ray
{
    const std::string *name; // of the origin
    int origin;
    double azimuth;
};

struct Length
{
    const std::string *name;
    int other;
    double length;
};

struct OwnDirection
{
    int set;
    const std::string *name;
    int target;
    double reading;
};

// The surface of a geodetic model as the placing sees it: a point is its foot on the surface, by
// its east and north in the tangent plane of the network, and its height above the surface, so
// that levelled height differences hold as they are and a zenith angle only needs the surface's
// drop below the station's horizon. (In the tangent plane itself, 10 km from its origin, heights
// are 8 m off and verticals lean by 0.09 degrees.) In the local model every correction is nought.
class Surface
{
public:
    explicit Surface(const Network &network)
        : m_network(network)
        , m_plane(network.planeHorizon())
    {
        if (!network.geodetic)
            return;
        const ReferenceEllipsoid &surface = network.surface;
        const Geographic &origin = network.tangentOrigin;
        m_origin = toGeocentric(surface, Geographic{origin.latitude, origin.longitude, 0.0});
        // The mean radius of curvature sqrt(M N) at the origin.
        const double a = surface.semiMajor;
        const double e2 = 1.0 - (surface.semiMinor * surface.semiMinor) / (a * a);
        const double sine = std::sin(origin.latitude);
        const double w2 = 1.0 - e2 * sine * sine;
        m_radius = a * std::sqrt(1.0 - e2) / w2;
    }

    // The position of a point of a coordinate record.
    Eigen::Vector3d position(const Point &point) const
    {
        const Geographic &g = point.geographic;
        const Eigen::Vector3d foot =
            toGeocentric(m_network.surface, Geographic{g.latitude, g.longitude, 0.0});
        const Eigen::Vector3d plane = m_plane.transpose() * (foot - m_origin);
        return {plane.x(), plane.y(), g.height};
    }

    // East, north and up in the tangent plane of a position.
    Eigen::Vector3d approximate(const Eigen::Vector3d &position) const
    {
        Geographic g = footOf(position.head<2>());
        g.height = position.z();
        return m_network.planeOf(toGeocentric(m_network.surface, g));
    }

    // How far the surface falls below a station's horizon at horizontal length `length`.
    double drop(double length) const
    {
        return m_network.geodetic ? length * length / (2.0 * m_radius) : 0.0;
    }

    // The length on the surface of a sight of horizontal length `length` in the horizon of its
    // station, whose far end stands at height `farHeight`.
    double onSurface(double length, double farHeight) const
    {
        return m_network.geodetic ? m_radius * std::atan2(length, m_radius + farHeight) : length;
    }

    // The azimuth in the plane of the north of the horizon at `plan`, radians.
    double convergence(const Eigen::Vector2d &plan) const
    {
        if (!m_network.geodetic)
            return 0.0;
        const Geographic g = footOf(plan);
        const Eigen::Vector3d north = localHorizon(g.latitude, g.longitude).col(1);
        return std::atan2(m_plane.col(0).dot(north), m_plane.col(1).dot(north));
    }

private:
    // The point of the surface below `plan`: its latitude and longitude.
    Geographic footOf(const Eigen::Vector2d &plan) const
    {
        Eigen::Vector3d xyz = m_origin + m_plane.col(0) * plan.x() + m_plane.col(1) * plan.y();
        Geographic g = toGeographic(m_network.surface, xyz);
        // Each step leaves the height times the square of the angle between the normals.
        for (int step = 0; step < 3; ++step) {
            xyz -= m_plane.col(2) * g.height;
            g = toGeographic(m_network.surface, xyz);
        }
        g.height = 0.0;
        return g;
    }

    const Network &m_network;
    Eigen::Matrix3d m_plane;
    Eigen::Vector3d m_origin = Eigen::Vector3d::Zero();
    double m_radius = kEarthRadius;
};

struct Placed
{
    int point;
    bool plan;
    Eigen::Vector3d position;
    std::array<int, MethodCount> methods;
};

class Placer
{
public:
    Placer(Network &network, Diagnostics &diagnostics)
        : m_network(network)
        , m_diagnostics(diagnostics)
        , m_points(network.points.size())
        , m_surface(network)
    {}

    void run()
    {
        std::vector<int> examine;
        for (std::size_t p = 0; p < m_points; ++p) {
            if (!m_network.points[p].given)
                examine.push_back(static_cast<int>(p));
        }
        if (examine.empty())
            return;
        index();
        std::vector<int> sets(m_network.sets.size());
        std::iota(sets.begin(), sets.end(), 0);
        for (;;) {
            orient(sets, examine);
            std::sort(examine.begin(), examine.end());
            examine.erase(std::unique(examine.begin(), examine.end()), examine.end());
            std::vector<Placed> placed;
            for (int p : examine) {
                if (!m_plan[static_cast<std::size_t>(p)])
                    placePlan(p, placed);
                if (!m_height[static_cast<std::size_t>(p)])
                    placeHeight(p, placed);
            }
            if (placed.empty() && !joinStations(placed))
                break;
            examine.clear();
            sets.clear();
            apply(placed, examine, sets);
        }
        store();
        label();
        reportUnplaced();
    }

private:
    const Observation &observation(int i) const
    {
        return m_network.observations[static_cast<std::size_t>(i)];
    }
    const Point &point(int p) const { return m_network.points[static_cast<std::size_t>(p)]; }
    const std::string &name(int p) const { return point(p).name; }
    Eigen::Vector2d plan(int p) const { return m_position[static_cast<std::size_t>(p)].head<2>(); }
    double height(int p) const { return m_position[static_cast<std::size_t>(p)].z(); }
    bool planOf(int p) const { return m_plan[static_cast<std::size_t>(p)] != 0; }
    bool heightOf(int p) const { return m_height[static_cast<std::size_t>(p)] != 0; }

    // The observations touching each point and the directions of each set, and what is known.
    void index()
    {
        m_first.assign(m_points + 1, 0);
        m_kinds.assign(m_points, 0);
        for (const Observation &o : m_network.observations) {
            ++m_first[static_cast<std::size_t>(o.station) + 1];
            ++m_first[static_cast<std::size_t>(o.target) + 1];
            m_kinds[static_cast<std::size_t>(o.station)] |= kindBit(o.kind);
            m_kinds[static_cast<std::size_t>(o.target)] |= kindBit(o.kind);
        }
        std::partial_sum(m_first.begin(), m_first.end(), m_first.begin());
        m_touching.resize(static_cast<std::size_t>(m_first.back()));
        std::vector<int> next(m_first.begin(), m_first.end() - 1);
        m_setFirst.assign(m_network.sets.size() + 1, 0);
        for (std::size_t i = 0; i < m_network.observations.size(); ++i) {
            const Observation &o = m_network.observations[i];
            m_touching[static_cast<std::size_t>(next[static_cast<std::size_t>(o.station)]++)] =
                static_cast<int>(i);
            m_touching[static_cast<std::size_t>(next[static_cast<std::size_t>(o.target)]++)] =
                static_cast<int>(i);
            if (o.kind == ObservationKind::Direction && o.set >= 0)
                ++m_setFirst[static_cast<std::size_t>(o.set) + 1];
        }
        std::partial_sum(m_setFirst.begin(), m_setFirst.end(), m_setFirst.begin());
        m_setDirections.resize(static_cast<std::size_t>(m_setFirst.back()));
        next.assign(m_setFirst.begin(), m_setFirst.end() - 1);
        for (std::size_t i = 0; i < m_network.observations.size(); ++i) {
            const Observation &o = m_network.observations[i];
            if (o.kind == ObservationKind::Direction && o.set >= 0)
                m_setDirections[static_cast<std::size_t>(next[static_cast<std::size_t>(o.set)]++)] =
                    static_cast<int>(i);
        }
        m_plan.assign(m_points, 0);
        m_height.assign(m_points, 0);
        m_position.resize(m_points);
        for (std::size_t p = 0; p < m_points; ++p) {
            const Point &point = m_network.points[p];
            m_plan[p] = m_height[p] = point.given ? 1 : 0;
            m_position[p] =
                point.given && m_network.geodetic ? m_surface.position(point) : point.approximate;
        }
        m_oriented.assign(m_network.sets.size(), 0);
        m_orientation.assign(m_network.sets.size(), 0.0);
        m_methods.assign(m_points, {});
    }

    template <typename F> void forTouching(int p, F &&f) const
    {
        const auto begin = static_cast<std::size_t>(m_first[static_cast<std::size_t>(p)]);
        const auto end = static_cast<std::size_t>(m_first[static_cast<std::size_t>(p) + 1]);
        for (std::size_t k = begin; k < end; ++k)
            f(m_touching[k]);
    }

    // Orients the sets on their placed targets; the targets still to place are examined.
    void orient(const std::vector<int> &sets, std::vector<int> &examine)
    {
        std::vector<double> values;
        for (int s : sets) {
            const DirectionSet &set = m_network.sets[static_cast<std::size_t>(s)];
            if (set.station < 0 || !planOf(set.station))
                continue;
            values.clear();
            const auto begin = static_cast<std::size_t>(m_setFirst[static_cast<std::size_t>(s)]);
            const auto end = static_cast<std::size_t>(m_setFirst[static_cast<std::size_t>(s) + 1]);
            for (std::size_t k = begin; k < end; ++k) {
                const Observation &o = observation(m_setDirections[k]);
                if (!planOf(o.target))
                    continue;
                const Eigen::Vector2d d = plan(o.target) - plan(o.station);
                if (d.norm() > 0.0)
                    values.push_back(std::atan2(d.x(), d.y()) - o.value);
            }
            if (values.empty())
                continue;
            m_oriented[static_cast<std::size_t>(s)] = 1;
            m_orientation[static_cast<std::size_t>(s)] = circularMedian(values);
            for (std::size_t k = begin; k < end; ++k) {
                const int target = observation(m_setDirections[k]).target;
                if (!planOf(target))
                    examine.push_back(target);
            }
        }
    }

    // The slope length of the sight `station` -> `target` with its heights: a distance measured
    // along it, else one measured the other way, else none (0).
    double slopeLength(int p, int station, int target) const
    {
        double reverse = 0.0;
        double same = 0.0;
        forTouching(p, [&](int i) {
            const Observation &o = observation(i);
            if (o.kind != ObservationKind::Distance)
                return;
            if (o.station == station && o.target == target && same == 0.0)
                same = o.value;
            else if (o.station == target && o.target == station && reverse == 0.0)
                reverse = o.value;
        });
        return same > 0.0 ? same : reverse;
    }

    // The horizontal length of distance `d` touching point `p`: reduced by a zenith angle of the
    // same sight, else by the heights when both are known, else the slope length itself.
    double horizontalOf(int p, const Observation &d) const
    {
        const Observation *zenith = nullptr;
        forTouching(p, [&](int i) {
            const Observation &o = observation(i);
            if (o.kind != ObservationKind::Zenith)
                return;
            const bool same = o.station == d.station && o.target == d.target;
            const bool reverse = o.station == d.target && o.target == d.station;
            if (same && (!zenith || zenith->station != d.station))
                zenith = &o;
            else if (reverse && !zenith)
                zenith = &o;
        });
        if (zenith) {
            const double length =
                horizon::horizontalLength(d.value, zenith->value, zenith->refraction());
            // The height of the far end of the sight, from either end.
            double far = 0.0;
            if (heightOf(zenith->target))
                far = height(zenith->target) + zenith->targetHeight;
            else if (heightOf(zenith->station))
                far = height(zenith->station) + zenith->instrumentHeight +
                      horizon::heightDifference(zenith->value, zenith->refraction(), length, 0.0,
                                                0.0) +
                      m_surface.drop(length);
            return m_surface.onSurface(length, far);
        }
        if (heightOf(d.station) && heightOf(d.target)) {
            const double far = height(d.target) + d.targetHeight;
            double up = far - (height(d.station) + d.instrumentHeight);
            if (d.value > std::fabs(up)) {
                // On the surface the target lies below the station's horizon.
                up -= m_surface.drop(std::sqrt(d.value * d.value - up * up));
                if (d.value > std::fabs(up))
                    return m_surface.onSurface(std::sqrt(d.value * d.value - up * up), far);
            }
        }
        const int known = heightOf(d.target) ? d.target : d.station;
        return m_surface.onSurface(d.value, heightOf(known) ? height(known) : 0.0);
    }

    void placePlan(int p, std::vector<Placed> &placed)
    {
        Candidates c;
        const unsigned planKinds =
            kindBit(ObservationKind::Distance) | kindBit(ObservationKind::Direction) |
            kindBit(ObservationKind::Azimuth) | kindBit(ObservationKind::Zenith);
        if (!(m_kinds[static_cast<std::size_t>(p)] & planKinds)) {
            forTouching(p, [&](int i) {
                const Observation &o = observation(i);
                const int other = o.station == p ? o.target : o.station;
                if (planOf(other))
                    c.add(plan(other), PlanOfNeighbour);
            });
        } else {
            gatherPlan(p, c);
        }
        if (c.empty())
            return;
        Placed result{p, true, Eigen::Vector3d::Zero(), c.methods};
        result.position.head<2>() = consensus(c);
        placed.push_back(result);
    }

    // The componentwise median of the positions that agree with the most others: two methods
    // untouched by a blunder outvote the positions it moved, however these lie. With no two
    // positions agreeing, or many of them (their median is robust as it is), the median of all.
    static Eigen::Vector2d consensus(const Candidates &c)
    {
        std::vector<Eigen::Vector2d> positions;
        for (std::size_t i = 0; i < c.first.size(); ++i)
            positions.emplace_back(c.first[i], c.second[i]);
        std::sort(positions.begin(), positions.end(),
                  [](const Eigen::Vector2d &a, const Eigen::Vector2d &b) {
                      return std::tie(a.x(), a.y()) < std::tie(b.x(), b.y());
                  });
        std::vector<double> east;
        std::vector<double> north;
        const std::size_t n = positions.size();
        std::size_t best = n;
        if (n >= 3 && n <= kConsensusLimit) {
            int bestCount = 0;
            double bestSpread = 0.0;
            for (std::size_t i = 0; i < n; ++i) {
                int count = 0;
                double spread = 0.0;
                for (std::size_t j = 0; j < n; ++j) {
                    const double d = (positions[j] - positions[i]).norm();
                    if (j != i && d <= kAgreement) {
                        ++count;
                        spread += d;
                    }
                }
                if (count > bestCount || (count == bestCount && count > 0 && spread < bestSpread)) {
                    best = i;
                    bestCount = count;
                    bestSpread = spread;
                }
            }
        }
        for (const Eigen::Vector2d &q : positions) {
            if (best == n || (q - positions[best]).norm() <= kAgreement) {
                east.push_back(q.x());
                north.push_back(q.y());
            }
        }
        return {median(std::move(east)), median(std::move(north))};
    }

    void gatherPlan(int p, Candidates &c) const
    {
        std::vector<Ray> rays;
        std::vector<Length> lengths;
        std::vector<OwnDirection> own;
        forTouching(p, [&](int i) {
            const Observation &o = observation(i);
            const int other = o.station == p ? o.target : o.station;
            if (!planOf(other))
                return;
            switch (o.kind) {
            case ObservationKind::Direction:
                if (o.target == p && o.set >= 0 && m_oriented[static_cast<std::size_t>(o.set)])
                    rays.push_back({&name(other), other,
                                    o.value + m_orientation[static_cast<std::size_t>(o.set)]});
                else if (o.station == p && o.set >= 0)
                    own.push_back({o.set, &name(other), other, o.value});
                break;
            case ObservationKind::Azimuth:
                // Read in the station's horizon, drawn in the plane from the placed end.
                rays.push_back({&name(other), other,
                                (o.target == p ? o.value : o.value + kPi) +
                                    m_surface.convergence(plan(other))});
                break;
            case ObservationKind::Distance:
                lengths.push_back({&name(other), other, horizontalOf(p, o)});
                break;
            case ObservationKind::Zenith:
            case ObservationKind::HeightDifference:
            case ObservationKind::Vector:
            case ObservationKind::Geocentric:
            case ObservationKind::Geographic:
            case ObservationKind::Local:
                break;
            }
        });
        std::sort(rays.begin(), rays.end(), [](const Ray &a, const Ray &b) {
            return std::tie(*a.name, a.azimuth) < std::tie(*b.name, b.azimuth);
        });
        const std::vector<Length> distinct = lengthPerPoint(lengths);

        for (const Ray &ray : rays) {
            for (const Length &l : distinct) {
                if (l.other == ray.origin)
                    c.add(horizon::polar(plan(ray.origin), ray.azimuth, l.length), Polar);
            }
        }
        const std::size_t nRays = std::min(rays.size(), kMaxSights);
        for (std::size_t i = 0; i < nRays; ++i) {
            for (std::size_t j = i + 1; j < nRays; ++j) {
                if (rays[i].origin == rays[j].origin)
                    continue;
                if (const auto x =
                        horizon::intersect(plan(rays[i].origin), rays[i].azimuth,
                                           plan(rays[j].origin), rays[j].azimuth, kMinimumCut))
                    c.add(*x, Intersection);
            }
        }

        std::sort(own.begin(), own.end(), [](const OwnDirection &a, const OwnDirection &b) {
            return std::tie(a.set, *a.name, a.reading) < std::tie(b.set, *b.name, b.reading);
        });
        own.erase(std::unique(own.begin(), own.end(),
                              [](const OwnDirection &a, const OwnDirection &b) {
                                  return a.set == b.set && a.target == b.target;
                              }),
                  own.end());
        trilaterate(distinct, own, c);
        for (std::size_t begin = 0; begin < own.size();) {
            std::size_t end = begin;
            while (end < own.size() && own[end].set == own[begin].set)
                ++end;
            fromOwnSet(own, begin, std::min(end, begin + kMaxSights), distinct, c);
            begin = end;
        }
    }

    // One horizontal length per other point (the median of its distances), by name.
    static std::vector<Length> lengthPerPoint(std::vector<Length> lengths)
    {
        std::sort(lengths.begin(), lengths.end(), [](const Length &a, const Length &b) {
            return std::tie(*a.name, a.length) < std::tie(*b.name, b.length);
        });
        std::vector<Length> distinct;
        std::vector<double> values;
        for (std::size_t begin = 0; begin < lengths.size();) {
            std::size_t end = begin;
            values.clear();
            while (end < lengths.size() && lengths[end].other == lengths[begin].other)
                values.push_back(lengths[end++].length);
            distinct.push_back({lengths[begin].name, lengths[begin].other, median(values)});
            begin = end;
        }
        return distinct;
    }

    static const OwnDirection *ownTo(const std::vector<OwnDirection> &own, int set, int target)
    {
        for (const OwnDirection &d : own) {
            if (d.target == target && (set < 0 || d.set == set))
                return &d;
        }
        return nullptr;
    }

    static const Length *lengthTo(const std::vector<Length> &lengths, int other)
    {
        for (const Length &l : lengths) {
            if (l.other == other)
                return &l;
        }
        return nullptr;
    }

    // Pairs of distances: the circles cross twice; a third distance or the point's own
    // directions to the pair tell the crossings apart.
    void trilaterate(const std::vector<Length> &lengths, const std::vector<OwnDirection> &own,
                     Candidates &c) const
    {
        const std::size_t n = std::min(lengths.size(), kMaxSights);
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = i + 1; j < n; ++j) {
                const auto both =
                    horizon::circles(plan(lengths[i].other), lengths[i].length,
                                     plan(lengths[j].other), lengths[j].length, kMinimumCut);
                if (!both)
                    continue;
                std::array<double, 2> misfit{0.0, 0.0};
                bool told = false;
                for (std::size_t k = 0; k < n; ++k) {
                    if (k == i || k == j)
                        continue;
                    for (std::size_t s = 0; s < 2; ++s)
                        misfit[s] += std::fabs(((*both)[s] - plan(lengths[k].other)).norm() -
                                               lengths[k].length);
                    told = true;
                }
                if (!told) {
                    const OwnDirection *a = ownTo(own, -1, lengths[i].other);
                    const OwnDirection *b = a ? ownTo(own, a->set, lengths[j].other) : nullptr;
                    if (!b)
                        continue;
                    for (std::size_t s = 0; s < 2; ++s) {
                        const Eigen::Vector2d da = plan(a->target) - (*both)[s];
                        const Eigen::Vector2d db = plan(b->target) - (*both)[s];
                        misfit[s] = std::fabs(wrapAngle(std::atan2(db.x(), db.y()) -
                                                        std::atan2(da.x(), da.y()) -
                                                        (b->reading - a->reading)));
                    }
                }
                if (misfit[0] != misfit[1])
                    c.add((*both)[misfit[0] < misfit[1] ? 0 : 1], Trilateration);
            }
        }
    }

    // The directions of one set read from the point, [begin, end) of `own`: a free station
    // from pairs with distances, a resection from triples.
    void fromOwnSet(const std::vector<OwnDirection> &own, std::size_t begin, std::size_t end,
                    const std::vector<Length> &lengths, Candidates &c) const
    {
        for (std::size_t i = begin; i < end; ++i) {
            const Length *li = lengthTo(lengths, own[i].target);
            if (!li)
                continue;
            for (std::size_t j = i + 1; j < end; ++j) {
                const Length *lj = lengthTo(lengths, own[j].target);
                if (!lj)
                    continue;
                if (const auto s =
                        horizon::freeStation(plan(own[i].target), own[i].reading, li->length,
                                             plan(own[j].target), own[j].reading, lj->length))
                    c.add(*s, FreeStation);
            }
        }
        const std::size_t n = end - begin;
        if (n < 3)
            return;
        const auto add = [&](std::size_t i, std::size_t j, std::size_t k) {
            const OwnDirection &a = own[begin + i];
            const OwnDirection &b = own[begin + j];
            const OwnDirection &d = own[begin + k];
            if (const auto s = horizon::resect(plan(a.target), a.reading, plan(b.target), b.reading,
                                               plan(d.target), d.reading))
                c.add(*s, Resection);
        };
        if (n <= 5) {
            for (std::size_t i = 0; i < n; ++i)
                for (std::size_t j = i + 1; j < n; ++j)
                    for (std::size_t k = j + 1; k < n; ++k)
                        add(i, j, k);
        } else {
            for (std::size_t i = 0; i < n; ++i)
                add(i, (i + 1) % n, (i + 2) % n);
        }
    }

    void placeHeight(int p, std::vector<Placed> &placed)
    {
        Candidates c;
        const unsigned heightKinds = kindBit(ObservationKind::Distance) |
                                     kindBit(ObservationKind::Zenith) |
                                     kindBit(ObservationKind::HeightDifference);
        const bool observed = (m_kinds[static_cast<std::size_t>(p)] & heightKinds) != 0;
        forTouching(p, [&](int i) {
            const Observation &o = observation(i);
            const int other = o.station == p ? o.target : o.station;
            if (!heightOf(other))
                return;
            const double up = height(other);
            const double sign = o.target == p ? 1.0 : -1.0;
            if (!observed) {
                c.add(up, HeightOfNeighbour);
            } else if (o.kind == ObservationKind::HeightDifference) {
                c.add(up + sign * o.value, Levelling);
            } else if (o.kind == ObservationKind::Zenith) {
                double length = 0.0;
                const double slope = slopeLength(p, o.station, o.target);
                if (slope > 0.0)
                    length = horizon::horizontalLength(slope, o.value, o.refraction());
                else if (planOf(o.station) && planOf(o.target))
                    length = (plan(o.target) - plan(o.station)).norm();
                if (length > 0.0)
                    c.add(up + sign *
                                   (horizon::heightDifference(o.value, o.refraction(), length,
                                                              o.instrumentHeight, o.targetHeight) +
                                    m_surface.drop(length)),
                          Trigonometric);
            }
        });
        if (c.empty())
            return;
        Placed result{p, false, Eigen::Vector3d::Zero(), c.methods};
        result.position.z() = median(c.first);
        placed.push_back(result);
    }

    // The frame of each direction set: its station at the origin and the targets it measured a
    // distance to, each at its reading and horizontal length. A frame only lacks a rotation and a
    // translation to sit in the horizon plane.
    void buildFrames()
    {
        m_frames.assign(m_network.sets.size(), {});
        m_framesOf.assign(m_points, {});
        for (std::size_t s = 0; s < m_network.sets.size(); ++s) {
            const int station = m_network.sets[s].station;
            if (station < 0)
                continue;
            std::vector<std::pair<int, Eigen::Vector2d>> &frame = m_frames[s];
            const auto begin = static_cast<std::size_t>(m_setFirst[s]);
            const auto end = static_cast<std::size_t>(m_setFirst[s + 1]);
            for (std::size_t k = begin; k < end; ++k) {
                const Observation &o = observation(m_setDirections[k]);
                const bool known = std::any_of(frame.begin(), frame.end(),
                                               [&](const auto &m) { return m.first == o.target; });
                if (known)
                    continue;
                std::vector<double> lengths;
                forTouching(o.target, [&](int i) {
                    const Observation &d = observation(i);
                    if (d.kind == ObservationKind::Distance &&
                        ((d.station == station && d.target == o.target) ||
                         (d.station == o.target && d.target == station)))
                        lengths.push_back(horizontalOf(o.target, d));
                });
                if (!lengths.empty())
                    frame.emplace_back(o.target, horizon::polar(Eigen::Vector2d::Zero(), o.value,
                                                                median(std::move(lengths))));
            }
            if (frame.size() < 2) {
                frame.clear();
                continue;
            }
            frame.emplace_back(station, Eigen::Vector2d::Zero());
            std::sort(frame.begin(), frame.end(),
                      [&](const auto &a, const auto &b) { return name(a.first) < name(b.first); });
            for (const auto &member : frame)
                m_framesOf[static_cast<std::size_t>(member.first)].push_back(static_cast<int>(s));
            std::string key = name(station);
            for (const auto &member : frame)
                key += '\n' + name(member.first);
            m_frameKeys.emplace_back(std::move(key), static_cast<int>(s));
        }
        std::sort(m_frameKeys.begin(), m_frameKeys.end());
        std::vector<int> rank(m_network.sets.size(), 0);
        for (std::size_t k = 0; k < m_frameKeys.size(); ++k)
            rank[static_cast<std::size_t>(m_frameKeys[k].second)] = static_cast<int>(k);
        for (std::vector<int> &sets : m_framesOf)
            std::sort(sets.begin(), sets.end(), [&](int a, int b) {
                return rank[static_cast<std::size_t>(a)] < rank[static_cast<std::size_t>(b)];
            });
        m_framesBuilt = true;
    }

    // The rotation and translation that carry the points `from` onto `to` (least squares), as
    // complex numbers: to = rotation * from + shift. None when the lengths between the points
    // disagree by more than a quarter.
    static std::optional<std::pair<std::complex<double>, std::complex<double>>>
    fit(const std::vector<Eigen::Vector2d> &from, const std::vector<Eigen::Vector2d> &to)
    {
        using C = std::complex<double>;
        C meanFrom;
        C meanTo;
        for (std::size_t i = 0; i < from.size(); ++i) {
            meanFrom += C(from[i].y(), from[i].x());
            meanTo += C(to[i].y(), to[i].x());
        }
        meanFrom /= static_cast<double>(from.size());
        meanTo /= static_cast<double>(to.size());
        C sum;
        double spreadFrom = 0.0;
        double spreadTo = 0.0;
        for (std::size_t i = 0; i < from.size(); ++i) {
            const C a = C(from[i].y(), from[i].x()) - meanFrom;
            const C b = C(to[i].y(), to[i].x()) - meanTo;
            sum += b * std::conj(a);
            spreadFrom += std::norm(a);
            spreadTo += std::norm(b);
        }
        if (!(spreadFrom > 1.0) || !(std::abs(sum) > 0.0))
            return std::nullopt;
        const double scale = std::sqrt(spreadTo / spreadFrom);
        if (!(scale > 0.8 && scale < 1.25))
            return std::nullopt;
        const C rotation = sum / std::abs(sum);
        return std::pair{rotation, meanTo - rotation * meanFrom};
    }

    static Eigen::Vector2d carry(const std::pair<std::complex<double>, std::complex<double>> &t,
                                 const Eigen::Vector2d &p)
    {
        const std::complex<double> w = t.first * std::complex<double>(p.y(), p.x()) + t.second;
        return {w.imag(), w.real()};
    }

    // When the rounds stall (sets that no placed point orients, stations too far apart to see
    // two placed points): the frames of the sets are joined, starting from one that holds a placed
    // point, each onto the points it shares with the frames joined so far, until the union holds
    // two placed points; it is then carried onto them and its points placed.
    bool joinStations(std::vector<Placed> &placed)
    {
        if (!m_framesBuilt)
            buildFrames();
        for (const auto &seed : m_frameKeys) {
            const auto s0 = static_cast<std::size_t>(seed.second);
            if (m_deadFrames.count(seed.second))
                continue;
            const auto &frame = m_frames[s0];
            const bool anchored = std::any_of(frame.begin(), frame.end(),
                                              [&](const auto &m) { return planOf(m.first); });
            const bool open = std::any_of(frame.begin(), frame.end(),
                                          [&](const auto &m) { return !planOf(m.first); });
            if (anchored && open && joinFrom(seed.second, placed))
                return true;
        }
        return false;
    }

    bool joinFrom(int seed, std::vector<Placed> &placed)
    {
        std::map<int, Eigen::Vector2d> local;
        std::map<int, int> shared; // set -> its points already in the union
        std::vector<int> queue;
        std::vector<int> joined{seed};
        std::set<int> used{seed};
        std::vector<int> anchors;
        const auto add = [&](int point, const Eigen::Vector2d &position) {
            local.emplace(point, position);
            if (planOf(point))
                anchors.push_back(point);
            for (int t : m_framesOf[static_cast<std::size_t>(point)]) {
                if (!used.count(t) && ++shared[t] == 2)
                    queue.push_back(t);
            }
        };
        for (const auto &[point, position] : m_frames[static_cast<std::size_t>(seed)])
            add(point, position);
        const auto spans = [&]() {
            for (std::size_t i = 1; i < anchors.size(); ++i) {
                if ((plan(anchors[i]) - plan(anchors[0])).norm() > 1.0)
                    return true;
            }
            return false;
        };
        for (std::size_t next = 0; next < queue.size() && !spans(); ++next) {
            const int t = queue[next];
            if (!used.insert(t).second)
                continue;
            std::vector<Eigen::Vector2d> from;
            std::vector<Eigen::Vector2d> to;
            for (const auto &[point, position] : m_frames[static_cast<std::size_t>(t)]) {
                const auto found = local.find(point);
                if (found != local.end()) {
                    from.push_back(position);
                    to.push_back(found->second);
                }
            }
            const auto transform = fit(from, to);
            if (!transform)
                continue;
            joined.push_back(t);
            for (const auto &[point, position] : m_frames[static_cast<std::size_t>(t)]) {
                if (!local.count(point))
                    add(point, carry(*transform, position));
            }
        }
        if (!spans()) {
            m_deadFrames.insert(joined.begin(), joined.end());
            return false;
        }
        std::vector<Eigen::Vector2d> from;
        std::vector<Eigen::Vector2d> to;
        for (int a : anchors) {
            from.push_back(local.at(a));
            to.push_back(plan(a));
        }
        const auto transform = fit(from, to);
        if (!transform) {
            m_deadFrames.insert(joined.begin(), joined.end());
            return false;
        }
        for (const auto &[point, position] : local) {
            if (planOf(point))
                continue;
            Placed result{point, true, Eigen::Vector3d::Zero(), {}};
            result.position.head<2>() = carry(*transform, position);
            result.methods[LocalFrames] = 1;
            placed.push_back(result);
        }
        return !placed.empty();
    }

    // Writes the positions of a round; their neighbours and sets are looked at again.
    void apply(const std::vector<Placed> &placed, std::vector<int> &examine, std::vector<int> &sets)
    {
        for (const Placed &r : placed) {
            const auto p = static_cast<std::size_t>(r.point);
            Point &target = m_network.points[p];
            if (r.plan) {
                m_position[p].head<2>() = r.position.head<2>();
                m_plan[p] = 1;
                if (r.methods[PlanOfNeighbour] > 0)
                    target.fixed[0] = target.fixed[1] = true;
            } else {
                m_position[p].z() = r.position.z();
                m_height[p] = 1;
                if (r.methods[HeightOfNeighbour] > 0)
                    target.fixed[2] = true;
            }
            for (std::size_t m = 0; m < MethodCount; ++m)
                m_methods[p][m] += r.methods[m];
        }
        for (const Placed &r : placed) {
            // A height may follow from the plan position just found, and the reverse.
            examine.push_back(r.point);
            forTouching(r.point, [&](int i) {
                const Observation &o = observation(i);
                const int other = o.station == r.point ? o.target : o.station;
                if (!planOf(other) || !heightOf(other))
                    examine.push_back(other);
                if (o.kind == ObservationKind::Direction && o.set >= 0)
                    sets.push_back(o.set);
            });
        }
        std::sort(sets.begin(), sets.end());
        sets.erase(std::unique(sets.begin(), sets.end()), sets.end());
    }

    // The positions placed, into the network; in a geodetic model only whole ones, which the
    // tangent plane mixes.
    void store()
    {
        for (std::size_t p = 0; p < m_points; ++p) {
            Point &point = m_network.points[p];
            if (point.given)
                continue;
            if (m_network.geodetic) {
                if (m_plan[p] && m_height[p])
                    point.approximate = m_surface.approximate(m_position[p]);
                continue;
            }
            if (m_plan[p])
                point.approximate.head<2>() = m_position[p].head<2>();
            if (m_height[p])
                point.approximate.z() = m_position[p].z();
        }
    }

    // "rayonnement 2, intersection 3 ; nivellement 1": how each computed point was placed.
    void label()
    {
        for (std::size_t p = 0; p < m_points; ++p) {
            Point &point = m_network.points[p];
            if (point.given)
                continue;
            std::string plan;
            std::string height;
            for (int m = 0; m < MethodCount; ++m) {
                const int count = m_methods[p][static_cast<std::size_t>(m)];
                if (count == 0)
                    continue;
                std::string &text = m < Levelling ? plan : height;
                text += (text.empty() ? "" : ", ") + fr(methodName(m));
                if (m != PlanOfNeighbour && m != HeightOfNeighbour)
                    text += " " + std::to_string(count);
            }
            point.placement = plan + (plan.empty() || height.empty() ? "" : " ; ") + height;
        }
    }

    // Why point `p` has no plan position, from what its observations reach.
    std::string planReason(int p) const
    {
        int rays = 0;
        int unoriented = 0;
        std::vector<int> lengths;
        std::map<int, int> ownPerSet;
        std::vector<std::string> unplaced;
        forTouching(p, [&](int i) {
            const Observation &o = observation(i);
            const int other = o.station == p ? o.target : o.station;
            if (!planOf(other)) {
                unplaced.push_back(name(other));
                return;
            }
            if (o.kind == ObservationKind::Azimuth)
                ++rays;
            else if (o.kind == ObservationKind::Direction && o.target == p)
                ++(m_oriented[static_cast<std::size_t>(o.set)] ? rays : unoriented);
            else if (o.kind == ObservationKind::Direction)
                ++ownPerSet[o.set];
            else if (o.kind == ObservationKind::Distance)
                lengths.push_back(other);
        });
        std::sort(lengths.begin(), lengths.end());
        const auto distances =
            static_cast<int>(std::unique(lengths.begin(), lengths.end()) - lengths.begin());
        int own = 0;
        for (const auto &entry : ownPerSet)
            own = std::max(own, entry.second);
        if (rays + unoriented + distances + own == 0) {
            std::sort(unplaced.begin(), unplaced.end());
            unplaced.erase(std::unique(unplaced.begin(), unplaced.end()), unplaced.end());
            if (unplaced.empty())
                return fr("aucune distance ni direction ne le relie à un point placé");
            return fr("relié seulement à des points non placés : ") + nameList(unplaced);
        }
        if (rays + distances + own == 0)
            return fr("visé seulement depuis des stations dont le jeu de directions n'est orienté "
                      "sur aucun point placé");
        if (rays == 1 && distances == 0 && own < 3)
            return fr("vu d'une seule station, sans distance");
        if (rays == 0 && distances == 1 && own < 2)
            return fr("une seule distance vers un point placé, sans direction orientée");
        if (rays == 0 && distances == 2 && own < 2)
            return fr("deux distances seulement, sans troisième mesure : deux positions possibles");
        if (rays == 0 && distances == 0 && own < 3)
            return fr("station sur moins de trois points placés, sans distance");
        return fr("géométrie critique (visées presque parallèles, cercle dangereux) ou mesures "
                  "incohérentes");
    }

    void reportUnplaced()
    {
        // Connected parts of the network, to name together the points no given point reaches.
        std::vector<int> parent(m_points);
        std::iota(parent.begin(), parent.end(), 0);
        const auto root = [&](int p) {
            while (parent[static_cast<std::size_t>(p)] != p) {
                parent[static_cast<std::size_t>(p)] =
                    parent[static_cast<std::size_t>(parent[static_cast<std::size_t>(p)])];
                p = parent[static_cast<std::size_t>(p)];
            }
            return p;
        };
        for (const Observation &o : m_network.observations)
            parent[static_cast<std::size_t>(root(o.station))] = root(o.target);
        std::vector<char> anchored(m_points, 0);
        for (std::size_t p = 0; p < m_points; ++p) {
            if (m_network.points[p].given)
                anchored[static_cast<std::size_t>(root(static_cast<int>(p)))] = 1;
        }
        std::map<int, std::vector<int>> lonely; // by part: its points, in name order
        for (std::size_t p = 0; p < m_points; ++p) {
            const int r = root(static_cast<int>(p));
            if (!anchored[static_cast<std::size_t>(r)])
                lonely[r].push_back(static_cast<int>(p));
        }
        std::vector<std::vector<int>> parts;
        for (auto &entry : lonely)
            parts.push_back(std::move(entry.second));
        std::sort(parts.begin(), parts.end(),
                  [&](const auto &a, const auto &b) { return name(a.front()) < name(b.front()); });
        for (const std::vector<int> &part : parts) {
            std::vector<std::string> names;
            for (int p : part)
                names.push_back(name(p));
            const Point &first = point(part.front());
            m_diagnostics.error(m_network.fileName(first.fileNumber), first.lineNumber,
                                fr("Coordonnées approchées impossibles : ") + fr("les points ") +
                                    nameList(names) +
                                    fr(" ne sont reliés qu'entre eux, à aucun point connu."));
        }
        for (std::size_t p = 0; p < m_points; ++p) {
            if ((m_plan[p] && m_height[p]) ||
                !anchored[static_cast<std::size_t>(root(static_cast<int>(p)))])
                continue;
            const int i = static_cast<int>(p);
            const std::string reason =
                !m_plan[p] ? planReason(i)
                           : fr("hauteur : aucune dénivelée (OHDF) ni angle zénithal avec sa "
                                "distance vers un point de hauteur connue");
            m_diagnostics.error(m_network.fileName(point(i).fileNumber), point(i).lineNumber,
                                fr("Coordonnées approchées impossibles pour ") +
                                    quotedName(name(i)) + " : " + reason + ".");
        }
    }

    Network &m_network;
    Diagnostics &m_diagnostics;
    std::size_t m_points;
    std::vector<int> m_first; // observations touching point p: m_touching[m_first[p] ..]
    std::vector<int> m_touching;
    std::vector<int> m_setFirst; // directions of set s: m_setDirections[m_setFirst[s] ..]
    std::vector<int> m_setDirections;
    std::vector<unsigned> m_kinds; // per point: the kinds of its observations, one bit each
    Surface m_surface;
    // Per point: east, north and up as placed. In a geodetic model, east and north of the foot of
    // the point on the surface in the tangent plane, and the height above the surface.
    std::vector<Eigen::Vector3d> m_position;
    std::vector<char> m_plan; // per point: east and north placed
    std::vector<char> m_height;
    std::vector<char> m_oriented; // per set
    std::vector<double> m_orientation;
    std::vector<std::array<int, MethodCount>> m_methods;
    // Per set: its frame, points by name (empty when it holds fewer than two sights with a
    // distance); per point: the frames that hold it; the frames by key (their names).
    std::vector<std::vector<std::pair<int, Eigen::Vector2d>>> m_frames;
    std::vector<std::vector<int>> m_framesOf;
    std::vector<std::pair<std::string, int>> m_frameKeys;
    std::set<int> m_deadFrames; // frames joined in vain: no second placed point reachable
    bool m_framesBuilt = false;
};

} // namespace

void computeApproximateCoordinates(Network &network, Diagnostics &diagnostics)
{
    Placer(network, diagnostics).run();
}

} // namespace engine
