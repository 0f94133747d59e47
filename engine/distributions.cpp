#include "distributions.h"

#include <cmath>
#include <limits>

namespace engine {

namespace {

constexpr double kSqrt2 = 1.41421356237309504880;
constexpr double kSqrt2Pi = 2.50662827463100050242;

// Series of P(a, x), good for x < a + 1.
double gammaSeries(double a, double x)
{
    double term = 1.0 / a;
    double sum = term;
    for (int n = 1; n < 100000; ++n) {
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
    constexpr double tiny = 1e-300;
    double b = x + 1.0 - a;
    double c = 1.0 / tiny;
    double d = 1.0 / b;
    double h = d;
    for (int i = 1; i < 100000; ++i) {
        const double an = -i * (i - a);
        b += 2.0;
        d = an * d + b;
        if (std::fabs(d) < tiny)
            d = tiny;
        c = b + an / c;
        if (std::fabs(c) < tiny)
            c = tiny;
        d = 1.0 / d;
        const double delta = d * c;
        h *= delta;
        if (std::fabs(delta - 1.0) < 1e-16)
            break;
    }
    return std::exp(-x + a * std::log(x) - std::lgamma(a)) * h;
}

} // namespace

double normalQuantile(double p)
{
    if (!(p > 0.0 && p < 1.0))
        return std::numeric_limits<double>::quiet_NaN();
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
    // One Halley step on the exact distribution function brings it to full precision.
    const double e = 0.5 * std::erfc(-x / kSqrt2) - p;
    const double u = e * kSqrt2Pi * std::exp(x * x / 2.0);
    return x - u / (1.0 + x * u / 2.0);
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

double chiSquareCdf(double x, double dof)
{
    if (x <= 0.0)
        return 0.0;
    return regularizedGammaP(dof / 2.0, x / 2.0);
}

double chiSquareQuantile(double p, double dof)
{
    if (!(p > 0.0 && p < 1.0) || !(dof > 0.0))
        return std::numeric_limits<double>::quiet_NaN();
    // Wilson-Hilferty: (X / dof)^(1/3) is nearly normal.
    const double z = normalQuantile(p);
    const double v = 2.0 / (9.0 * dof);
    double x = dof * std::pow(std::fmax(1.0 - v + z * std::sqrt(v), 1e-3), 3.0);
    // Keep a bracket [low, high] around the root so that a bad Newton step falls back on
    // bisection (the start is poor for one or two degrees of freedom in the tails).
    double low = 0.0;
    double high = std::fmax(2.0 * x, dof + 20.0 * std::sqrt(2.0 * dof) + 100.0);
    while (chiSquareCdf(high, dof) < p)
        high *= 2.0;
    const double k = dof / 2.0;
    for (int i = 0; i < 200; ++i) {
        const double f = chiSquareCdf(x, dof) - p;
        if (f == 0.0)
            break;
        if (f < 0.0)
            low = x;
        else
            high = x;
        // Density of the chi-square distribution.
        const double density =
            std::exp((k - 1.0) * std::log(x) - x / 2.0 - k * std::log(2.0) - std::lgamma(k));
        double next = density > 0.0 ? x - f / density : 0.5 * (low + high);
        if (!(next > low && next < high))
            next = 0.5 * (low + high);
        if (std::fabs(next - x) <= 1e-14 * std::fmax(1.0, x)) {
            x = next;
            break;
        }
        x = next;
    }
    return x;
}

} // namespace engine
