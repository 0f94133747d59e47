#ifndef ENGINE_ESTIMATION_DISTRIBUTIONS_H
#define ENGINE_ESTIMATION_DISTRIBUTIONS_H

// Quantiles of the distributions of the statistical tests.
//
// Every quantile takes a probability strictly between 0 and 1 and gives a finite value for any
// such probability, however close to 0 or 1 (the upper-tail forms keep full precision where
// 1 - q would round to 1). A probability of 0 or 1, outside [0, 1] or NaN, or a count of degrees
// of freedom that is not positive, is refused with std::domain_error: those quantiles are
// infinite or undefined, and no NaN may reach the results.
namespace engine {

// x such that P(Z <= x) = p for a standard normal Z (Acklam's rational approximation, refined by
// one Halley step on erfc: about 1e-15 relative).
double normalQuantile(double p);

// x such that P(Z > x) = q: -normalQuantile(q), exact for small q.
double normalUpperQuantile(double q);

// P(X <= x) for a chi-square X with `dof` degrees of freedom (dof > 0, x >= 0).
double chiSquareCdf(double x, double dof);

// x such that P(X <= x) = p for a chi-square X with `dof` degrees of freedom (Wilson-Hilferty
// start, then safeguarded Newton steps on the regularized gamma function of the smaller tail).
double chiSquareQuantile(double p, double dof);

// x such that P(X > x) = q for a chi-square X with `dof` degrees of freedom.
double chiSquareUpperQuantile(double q, double dof);

// The regularized lower incomplete gamma function P(a, x), a > 0, x >= 0, and its complement
// Q(a, x) = 1 - P(a, x), each computed without cancellation in its own tail.
double regularizedGammaP(double a, double x);
double regularizedGammaQ(double a, double x);

// The regularized incomplete beta function I_x(a, b), a > 0, b > 0, 0 <= x <= 1 (continued
// fraction of the smaller tail, log B(a, b) from Stirling's series for large arguments).
double regularizedBeta(double x, double a, double b);

// P(T > t) for a Student T with `dof` degrees of freedom (dof > 0): the incomplete beta function,
// or for 30 degrees of freedom and more and t^2 < 1.7 dof an asymptotic expansion of it that
// keeps full precision where its continued fraction loses digits.
double studentUpperTail(double t, double dof);

// t such that P(T > t) = q for a Student T with `dof` degrees of freedom (safeguarded Newton
// steps on log P(T > t) against log t, from a Cornish-Fisher start). Beyond the largest finite
// double (one degree of freedom and q below about 1e-308) the largest finite double is returned.
double studentUpperQuantile(double q, double dof);

// The critical value c of Pope's tau test with `dof` degrees of freedom (dof >= 2) at the
// two-sided first-kind risk `alpha`: P(|tau| > c) = alpha. The tau variable of an adjustment with
// f degrees of freedom relates to Student's t with f - 1:  tau = sqrt(f) t / sqrt(f - 1 + t^2),
// so c follows from the Student quantile at alpha / 2. Always below sqrt(dof).
double tauCriticalValue(double alpha, double dof);

// x such that P(F > x) = q for Fisher's F with `dof1` and `dof2` degrees of freedom (bisection
// on the upper tail of the beta law of dof1 F / (dof1 F + dof2), which keeps small q precise).
double fisherUpperQuantile(double q, double dof1, double dof2);

} // namespace engine

#endif // ENGINE_ESTIMATION_DISTRIBUTIONS_H
