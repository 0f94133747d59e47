#include "engine/estimation/distributions.h"

#include "engine/base/text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace engine {

namespace {

constexpr double kSqrt2 = 1.41421356237309504880;
constexpr double kSqrt2Pi = 2.50662827463100050242;
constexpr double kLogSqrt2Pi = 0.91893853320467274178;
constexpr double kSqrtPi = 1.77245385090551602730;
constexpr double kTiny = 1e-300; // guards the continued fractions against a zero denominator
constexpr int kMaxTerms = 100000;

std::string shortest(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ec == std::errc() ? result.ptr : buffer);
}

void requireProbability(double p)
{
    if (!(p > 0.0 && p < 1.0))
        throw std::domain_error(fr("probabilité ") + shortest(p) +
                                fr(" hors de l'intervalle ]0 ; 1[ : quantile infini ou non "
                                   "défini."));
}

void requireDegrees(double dof)
{
    if (!(dof > 0.0) || !std::isfinite(dof))
        throw std::domain_error(fr("nombre de degrés de liberté ") + shortest(dof) +
                                fr(" non positif : loi non définie."));
}

// Series of P(a, x), good for x < a + 1.
double gammaSeries(double a, double x)
{
    double term = 1.0 / a;
    double sum = term;
    for (int n = 1; n < kMaxTerms; ++n) {
        term *= x / (a + n);
        sum += term;
        if (std::fabs(term) < std::fabs(sum) * 1e-16)
            break;
    }
    return sum * std::exp(-x + a * std::log(x) - std::lgamma(a));
}

// Continued fraction of Q(a, x) = 1 - P(a, x) (modified Lentz), good for x >= a + 1.
double gammaContinuedFraction(double a, double x)
{
    double b = x + 1.0 - a;
    double c = 1.0 / kTiny;
    double d = 1.0 / b;
    double h = d;
    for (int i = 1; i < kMaxTerms; ++i) {
        const double an = -i * (i - a);
        b += 2.0;
        d = an * d + b;
        if (std::fabs(d) < kTiny)
            d = kTiny;
        c = b + an / c;
        if (std::fabs(c) < kTiny)
            c = kTiny;
        d = 1.0 / d;
        const double delta = d * c;
        h *= delta;
        if (std::fabs(delta - 1.0) < 1e-16)
            break;
    }
    return std::exp(-x + a * std::log(x) - std::lgamma(a)) * h;
}

// log Gamma(z) - ((z - 1/2) log z - z + log sqrt(2 pi)) for z >= 15, from Stirling's series
// (the first omitted term is below 2e-16).
double stirlingRemainder(double z)
{
    const double w = 1.0 / (z * z);
    return (1.0 / 12.0 - w * (1.0 / 360.0 - w * (1.0 / 1260.0 - w * (1.0 / 1680.0 - w / 1188.0)))) /
           z;
}

// log B(a, b). Taken as lgamma(a) + lgamma(b) - lgamma(a + b) for large a, this would lose the
// digits of terms of size a log a; Stirling's form keeps the differences exact.
double logBeta(double a, double b)
{
    if (a < b)
        std::swap(a, b);
    constexpr double large = 15.0;
    if (b >= large) {
        const double sum = a + b;
        return kLogSqrt2Pi - 0.5 * std::log(sum) - (a - 0.5) * std::log1p(b / a) -
               (b - 0.5) * std::log1p(a / b) + stirlingRemainder(a) + stirlingRemainder(b) -
               stirlingRemainder(sum);
    }
    if (a >= large)
        return std::lgamma(b) - (a + b - 0.5) * std::log1p(b / a) - b * std::log(a) + b +
               stirlingRemainder(a) - stirlingRemainder(a + b);
    return std::lgamma(a) + std::lgamma(b) - std::lgamma(a + b);
}

// Continued fraction of I_x(a, b) (modified Lentz), good for x < (a + 1) / (a + b + 2).
double betaContinuedFraction(double a, double b, double x)
{
    double c = 1.0;
    double d = 1.0 - (a + b) * x / (a + 1.0);
    if (std::fabs(d) < kTiny)
        d = kTiny;
    d = 1.0 / d;
    double h = d;
    for (int m = 1; m < kMaxTerms; ++m) {
        const double twice = 2.0 * m;
        for (const double coefficient :
             {m * (b - m) * x / ((a + twice - 1.0) * (a + twice)),
              -(a + m) * (a + b + m) * x / ((a + twice) * (a + twice + 1.0))}) {
            d = 1.0 + coefficient * d;
            if (std::fabs(d) < kTiny)
                d = kTiny;
            c = 1.0 + coefficient / c;
            if (std::fabs(c) < kTiny)
                c = kTiny;
            d = 1.0 / d;
            h *= d * c;
        }
        if (std::fabs(d * c - 1.0) < 1e-16)
            break;
    }
    return h;
}

// I_x(a, b) with y = 1 - x given separately, so that neither loses digits near 1.
double incompleteBeta(double x, double y, double a, double b)
{
    if (x <= 0.0)
        return 0.0;
    if (y <= 0.0)
        return 1.0;
    const double logX = x > 0.5 ? std::log1p(-y) : std::log(x);
    const double logY = y > 0.5 ? std::log1p(-x) : std::log(y);
    const double front = std::exp(a * logX + b * logY - logBeta(a, b));
    if (x < (a + 1.0) / (a + b + 2.0))
        return front * betaContinuedFraction(a, b, x) / a;
    return 1.0 - front * betaContinuedFraction(b, a, y) / b;
}

// I_x(a, 1/2) for a >= 15 and x = exp(-u) with u <= 1, where the continued fraction of the
// incomplete beta function cancels digits (about a sqrt(a) times the rounding near its switch).
// With s = exp(-v),
//   I_x(a, 1/2) = (1 / B(a, 1/2)) integral from u to infinity of exp(-a v) v^(-1/2) phi(v) dv,
//   phi(v) = sqrt(v / (1 - exp(-v))) = sum c_k v^k,
// and integrating term by term (Watson's lemma; the terms fall off as Gamma(k + 1/2) / (2 pi a)^k)
// gives sum c_k Gamma(k + 1/2, a u) / a^(k + 1/2), every term from the upward recurrence of the
// upper incomplete gamma function, Gamma(s + 1, w) = s Gamma(s, w) + w^s exp(-w), which only adds.
double halfBetaLargeA(double a, double u)
{
    constexpr int terms = 40;
    static const std::array<double, terms> c = [] {
        // (1 - exp(-v)) / v = sum h_n v^n, h_n = (-1)^n / (n + 1)!; its inverse g, then the
        // square root of g.
        std::array<double, terms> h{};
        std::array<double, terms> g{};
        std::array<double, terms> root{};
        double factorial = 1.0;
        for (int n = 0; n < terms; ++n) {
            factorial *= n + 1;
            h[static_cast<std::size_t>(n)] = (n % 2 == 0 ? 1.0 : -1.0) / factorial;
        }
        g[0] = 1.0;
        root[0] = 1.0;
        for (std::size_t n = 1; n < terms; ++n) {
            for (std::size_t k = 1; k <= n; ++k)
                g[n] -= h[k] * g[n - k];
            double sum = g[n];
            for (std::size_t k = 1; k < n; ++k)
                sum -= root[k] * root[n - k];
            root[n] = sum / 2.0;
        }
        return root;
    }();
    const double w = a * u;
    const double decay = std::exp(-w);
    // scaled = Gamma(k + 1/2, w) / a^(k + 1/2), from Gamma(1/2, w) = sqrt(pi) erfc(sqrt(w)).
    double scaled = kSqrtPi * std::erfc(std::sqrt(w)) / std::sqrt(a);
    double sum = 0.0;
    for (int k = 0; k < terms; ++k) {
        const double term = c[static_cast<std::size_t>(k)] * scaled;
        sum += term;
        if (std::fabs(term) <= 1e-17 * std::fabs(sum))
            break;
        scaled = ((k + 0.5) * scaled + std::pow(u, k + 0.5) * decay) / a;
    }
    return sum * std::exp(-logBeta(a, 0.5));
}

// log(1 + t^2 / dof) without overflow for large t.
double logOnePlusSquare(double t, double dof)
{
    const double w = std::fabs(t) / std::sqrt(dof);
    if (w <= 1.0)
        return std::log1p(w * w);
    return 2.0 * std::log(w) + std::log1p(1.0 / (w * w));
}

// Solves F(x) = 0 for x in [low, high] with F increasing, F(low) <= 0 <= F(high), by Newton
// steps that fall back on bisection when they leave the bracket.
template <typename Value, typename Slope>
double solveIncreasing(double x, double low, double high, const Value &value, const Slope &slope,
                       double tolerance)
{
    for (int i = 0; i < 400 && high - low > tolerance * std::fmax(1.0, std::fabs(x)); ++i) {
        const double f = value(x);
        if (f == 0.0)
            return x;
        if (f < 0.0)
            low = x;
        else
            high = x;
        const double s = slope(x);
        double next = s > 0.0 && std::isfinite(s) ? x - f / s : 0.5 * (low + high);
        if (!(next > low && next < high))
            next = 0.5 * (low + high);
        if (std::fabs(next - x) <= tolerance * std::fmax(1.0, std::fabs(x)))
            return next;
        x = next;
    }
    return x;
}

// x such that P(X <= x) = p (lower) or P(X > x) = p (upper) for a chi-square X, working on the
// smaller of the two tails.
double chiSquareInverse(double p, bool upper, double dof)
{
    requireProbability(p);
    requireDegrees(dof);
    if (p > 0.5) {
        p = 1.0 - p; // exact for p in [0.5, 1]
        upper = !upper;
    }
    // Wilson-Hilferty: (X / dof)^(1/3) is nearly normal.
    const double z = upper ? normalUpperQuantile(p) : normalQuantile(p);
    const double v = 2.0 / (9.0 * dof);
    double x = dof * std::pow(std::fmax(1.0 - v + z * std::sqrt(v), 1e-3), 3.0);
    // The start is poor for one or two degrees of freedom in the tails: keep a bracket.
    const double k = dof / 2.0;
    double high = std::fmax(2.0 * x, dof + 20.0 * std::sqrt(2.0 * dof) + 100.0);
    auto value = [&](double t) {
        return upper ? p - regularizedGammaQ(k, t / 2.0) : regularizedGammaP(k, t / 2.0) - p;
    };
    while (value(high) < 0.0 && high < std::numeric_limits<double>::max() / 2.0)
        high *= 2.0;
    auto density = [&](double t) {
        return t > 0.0 ? std::exp((k - 1.0) * std::log(t) - t / 2.0 - k * std::log(2.0) -
                                  std::lgamma(k))
                       : 0.0;
    };
    return solveIncreasing(std::clamp(x, 0.0, high), 0.0, high, value, density, 1e-14);
}

} // namespace

double normalQuantile(double p)
{
    requireProbability(p);
    static const double a[] = {-3.969683028665376e+01, 2.209460984245205e+02,
                               -2.759285104469687e+02, 1.383577518672690e+02,
                               -3.066479806614716e+01, 2.506628277459239e+00};
    static const double b[] = {-5.447609879822406e+01, 1.615858368580409e+02,
                               -1.556989798598866e+02, 6.680131188771972e+01,
                               -1.328068155288572e+01};
    static const double c[] = {-7.784894002430293e-03, -3.223964580411365e-01,
                               -2.400758277161838e+00, -2.549732539343734e+00,
                               4.374664141464968e+00,  2.938163982698783e+00};
    static const double d[] = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00,
                               3.754408661907416e+00};
    constexpr double low = 0.02425;
    double x = 0.0;
    if (p < low) {
        const double q = std::sqrt(-2.0 * std::log(p));
        x = (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
            ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1.0);
    } else if (p <= 1.0 - low) {
        const double q = p - 0.5;
        const double r = q * q;
        x = (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
            (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1.0);
    } else {
        const double q = std::sqrt(-2.0 * std::log(1.0 - p));
        x = -(((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
            ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1.0);
    }
    // One Halley step on the exact distribution function brings it to full precision. Far in
    // the tails (p below about 1e-308) the density underflows: the approximation, good to about
    // 1e-9, is kept.
    const double density = std::exp(-x * x / 2.0) / kSqrt2Pi;
    if (density < std::numeric_limits<double>::min())
        return x;
    const double u = (0.5 * std::erfc(-x / kSqrt2) - p) / density;
    return x - u / (1.0 + x * u / 2.0);
}

double normalUpperQuantile(double q)
{
    return -normalQuantile(q);
}

double regularizedGammaP(double a, double x)
{
    if (!(a > 0.0) || !(x >= 0.0))
        return std::numeric_limits<double>::quiet_NaN();
    if (x == 0.0)
        return 0.0;
    if (x < a + 1.0)
        return gammaSeries(a, x);
    return 1.0 - gammaContinuedFraction(a, x);
}

double regularizedGammaQ(double a, double x)
{
    if (!(a > 0.0) || !(x >= 0.0))
        return std::numeric_limits<double>::quiet_NaN();
    if (x == 0.0)
        return 1.0;
    if (x < a + 1.0)
        return 1.0 - gammaSeries(a, x);
    return gammaContinuedFraction(a, x);
}

double chiSquareCdf(double x, double dof)
{
    if (x <= 0.0)
        return 0.0;
    return regularizedGammaP(dof / 2.0, x / 2.0);
}

double chiSquareQuantile(double p, double dof)
{
    return chiSquareInverse(p, false, dof);
}

double chiSquareUpperQuantile(double q, double dof)
{
    return chiSquareInverse(q, true, dof);
}

double regularizedBeta(double x, double a, double b)
{
    if (!(a > 0.0) || !(b > 0.0) || !(x >= 0.0 && x <= 1.0))
        return std::numeric_limits<double>::quiet_NaN();
    return incompleteBeta(x, 1.0 - x, a, b);
}

double studentUpperTail(double t, double dof)
{
    requireDegrees(dof);
    if (std::isnan(t))
        return t;
    if (t < 0.0)
        return 1.0 - studentUpperTail(-t, dof);
    if (t == 0.0)
        return 0.5;
    // P(T > t) = I_x(dof / 2, 1/2) / 2 with x = dof / (dof + t^2).
    const double a = dof / 2.0;
    const double u = logOnePlusSquare(t, dof); // -log x
    if (a >= 15.0 && u <= 1.0)
        return 0.5 * halfBetaLargeA(a, u);
    const double w = t / std::sqrt(dof);
    double x = 0.0;
    double y = 1.0;
    if (w <= 1.0) {
        x = 1.0 / (1.0 + w * w);
        y = w * w * x;
    } else if (std::isfinite(w * w)) {
        y = 1.0 / (1.0 + 1.0 / (w * w));
        x = y / (w * w);
    }
    return 0.5 * incompleteBeta(x, y, a, 0.5);
}

double studentUpperQuantile(double q, double dof)
{
    requireProbability(q);
    requireDegrees(dof);
    if (q > 0.5)
        return -studentUpperQuantile(1.0 - q, dof);
    if (q == 0.5)
        return 0.0;
    // Student's t is heavier-tailed than the normal law: the normal quantile bounds it below.
    const double z = normalUpperQuantile(q);
    const double largest = std::numeric_limits<double>::max();
    // Cornish-Fisher expansion in 1 / dof (Abramowitz and Stegun 26.7.5) as the start.
    const double z2 = z * z;
    const double g1 = (z2 + 1.0) * z / 4.0;
    const double g2 = ((5.0 * z2 + 16.0) * z2 + 3.0) * z / 96.0;
    const double g3 = (((3.0 * z2 + 19.0) * z2 + 17.0) * z2 - 15.0) * z / 384.0;
    const double start = z + (g1 + (g2 + g3 / dof) / dof) / dof;

    // log P(T > t) - log q against u = log t: nearly linear in the tail, where P(T > t) falls as
    // a power of t.
    const double logQ = std::log(q);
    const double logDensityScale = -0.5 * std::log(dof) - logBeta(dof / 2.0, 0.5);
    auto value = [&](double u) { return logQ - std::log(studentUpperTail(std::exp(u), dof)); };
    auto slope = [&](double u) {
        const double t = std::exp(u);
        const double logDensity = -(dof + 1.0) / 2.0 * logOnePlusSquare(t, dof) + logDensityScale;
        return std::exp(u + logDensity - std::log(studentUpperTail(t, dof)));
    };
    const double low = std::log(z);
    const double top = std::log(largest);
    double high = std::log(std::fmax(2.0 * start, 2.0 * z));
    while (high < top && value(high) < 0.0)
        high = std::fmin(top, high + std::fmax(1.0, high));
    if (value(high) < 0.0)
        return largest;
    const double u = solveIncreasing(std::clamp(std::log(std::fmax(start, z)), low, high), low,
                                     high, value, slope, 1e-15);
    return std::fmin(std::exp(u), largest);
}

double tauCriticalValue(double alpha, double dof)
{
    requireProbability(alpha);
    if (!(dof >= 2.0) || !std::isfinite(dof))
        throw std::domain_error(fr("test tau avec ") + shortest(dof) +
                                fr(" degré(s) de liberté : il en faut au moins 2."));
    const double t = studentUpperQuantile(alpha / 2.0, dof - 1.0);
    // sqrt(f) t / sqrt(f - 1 + t^2), written so that a huge t does not overflow.
    return std::sqrt(dof) / std::sqrt(1.0 + (dof - 1.0) / t / t);
}

double fisherUpperQuantile(double q, double dof1, double dof2)
{
    requireProbability(q);
    requireDegrees(dof1);
    requireDegrees(dof2);
    // With x = dof1 F / (dof1 F + dof2), P(F > f) = I_(1 - x)(dof2 / 2, dof1 / 2), falling in x.
    double low = 0.0;
    double high = 1.0;
    for (int i = 0; i < 200 && high - low > 0.0; ++i) {
        const double middle = 0.5 * (low + high);
        if (middle == low || middle == high)
            break;
        if (regularizedBeta(1.0 - middle, dof2 / 2.0, dof1 / 2.0) > q)
            low = middle;
        else
            high = middle;
    }
    const double x = 0.5 * (low + high);
    return dof2 * x / (dof1 * (1.0 - x));
}

} // namespace engine
