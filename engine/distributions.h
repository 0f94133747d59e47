#ifndef ENGINE_DISTRIBUTIONS_H
#define ENGINE_DISTRIBUTIONS_H

// Quantiles of the distributions of the statistical tests.
namespace engine {

// x such that P(Z <= x) = p for a standard normal Z, 0 < p < 1 (Acklam's rational
// approximation, refined by one Halley step on erfc: about 1e-15 relative).
double normalQuantile(double p);

// P(X <= x) for a chi-square X with `dof` degrees of freedom (dof > 0, x >= 0).
double chiSquareCdf(double x, double dof);

// x such that P(X <= x) = p for a chi-square X with `dof` degrees of freedom, 0 < p < 1
// (Wilson-Hilferty start, then safeguarded Newton steps on the regularized gamma function).
double chiSquareQuantile(double p, double dof);

// The regularized lower incomplete gamma function P(a, x), a > 0, x >= 0.
double regularizedGammaP(double a, double x);

} // namespace engine

#endif // ENGINE_DISTRIBUTIONS_H
