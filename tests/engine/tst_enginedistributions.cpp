// Quantiles of the normal, chi-square, Student and tau distributions against printed table
// values and closed forms.

#include "engine/estimation/distributions.h"

#include <QtTest>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kNormalTol = 1e-9;       // the table values carry 10 significant digits
constexpr double kChiSquareRelTol = 2e-6; // the table values carry 7 significant digits
constexpr double kTableTol = 5.01e-4;     // Student tables carry 3 decimals
constexpr double kClosedFormRelTol = 1e-13;

} // namespace

class TestEngineDistributions : public QObject
{
    Q_OBJECT

private slots:
    void normalQuantile_data();
    void normalQuantile();
    void chiSquareQuantile_data();
    void chiSquareQuantile();
    void chiSquareQuantileInvertsTheDistribution_data();
    void chiSquareQuantileInvertsTheDistribution();
    void studentQuantileAgainstTables_data();
    void studentQuantileAgainstTables();
    void studentQuantileClosedForms_data();
    void studentQuantileClosedForms();
    void studentQuantileInvertsTheTail_data();
    void studentQuantileInvertsTheTail();
    void tauCriticalValue_data();
    void tauCriticalValue();
    void quantilesNearTheEdgesAreFinite();
    void outsideTheOpenIntervalIsRefused();
};

void TestEngineDistributions::normalQuantile_data()
{
    QTest::addColumn<double>("p");
    QTest::addColumn<double>("expected");
    QTest::newRow("median") << 0.5 << 0.0;
    QTest::newRow("0.975") << 0.975 << 1.959963985;
    QTest::newRow("0.995") << 0.995 << 2.575829304;
    QTest::newRow("0.999") << 0.999 << 3.090232306;
    QTest::newRow("0.9") << 0.9 << 1.281551566;
    QTest::newRow("0.025 (lower tail)") << 0.025 << -1.959963985;
    QTest::newRow("0.01 (lower region)") << 0.01 << -2.326347874;
    QTest::newRow("1e-10") << 1e-10 << -6.361340902;
    QTest::newRow("0.99999") << 0.99999 << 4.264890794;
}

void TestEngineDistributions::normalQuantile()
{
    QFETCH(double, p);
    QFETCH(double, expected);
    QVERIFY2(std::fabs(engine::normalQuantile(p) - expected) < kNormalTol,
             qPrintable(QString::number(engine::normalQuantile(p), 'g', 12)));
}

void TestEngineDistributions::chiSquareQuantile_data()
{
    QTest::addColumn<double>("p");
    QTest::addColumn<double>("dof");
    QTest::addColumn<double>("expected");
    QTest::newRow("0.95, 1") << 0.95 << 1.0 << 3.841459;
    QTest::newRow("0.05, 1") << 0.05 << 1.0 << 0.003932140;
    QTest::newRow("0.025, 1") << 0.025 << 1.0 << 0.0009820691;
    QTest::newRow("0.95, 2") << 0.95 << 2.0 << 5.991465;
    QTest::newRow("0.95, 10") << 0.95 << 10.0 << 18.30704;
    QTest::newRow("0.975, 10") << 0.975 << 10.0 << 20.48318;
    QTest::newRow("0.025, 10") << 0.025 << 10.0 << 3.246973;
    QTest::newRow("0.99, 10") << 0.99 << 10.0 << 23.20925;
    QTest::newRow("0.5, 5") << 0.5 << 5.0 << 4.351460;
    QTest::newRow("0.95, 100") << 0.95 << 100.0 << 124.3421;
    QTest::newRow("0.05, 100") << 0.05 << 100.0 << 77.92947;
    QTest::newRow("0.99, 1000") << 0.99 << 1000.0 << 1106.969;
}

void TestEngineDistributions::chiSquareQuantile()
{
    QFETCH(double, p);
    QFETCH(double, dof);
    QFETCH(double, expected);
    const double x = engine::chiSquareQuantile(p, dof);
    QVERIFY2(std::fabs(x - expected) <= kChiSquareRelTol * expected,
             qPrintable(QString::number(x, 'g', 12)));
}

void TestEngineDistributions::chiSquareQuantileInvertsTheDistribution_data()
{
    QTest::addColumn<double>("p");
    QTest::addColumn<double>("dof");
    QTest::newRow("small p, one degree") << 1e-6 << 1.0;
    QTest::newRow("large p, three degrees") << 0.999999 << 3.0;
    QTest::newRow("a large network") << 0.975 << 120000.0;
    QTest::newRow("a large network, lower bound") << 0.025 << 120000.0;
}

void TestEngineDistributions::chiSquareQuantileInvertsTheDistribution()
{
    QFETCH(double, p);
    QFETCH(double, dof);
    const double x = engine::chiSquareQuantile(p, dof);
    QVERIFY(x > 0.0);
    QVERIFY(std::fabs(engine::chiSquareCdf(x, dof) - p) < 1e-9);
}

void TestEngineDistributions::studentQuantileAgainstTables_data()
{
    QTest::addColumn<double>("q"); // upper tail
    QTest::addColumn<double>("dof");
    QTest::addColumn<double>("expected");
    // Upper critical values of Student's t, NIST/SEMATECH e-Handbook of Statistical Methods,
    // table 1.3.6.7.2.
    QTest::newRow("0.025, 1") << 0.025 << 1.0 << 12.706;
    QTest::newRow("0.025, 2") << 0.025 << 2.0 << 4.303;
    QTest::newRow("0.025, 3") << 0.025 << 3.0 << 3.182;
    QTest::newRow("0.025, 10") << 0.025 << 10.0 << 2.228;
    QTest::newRow("0.05, 10") << 0.05 << 10.0 << 1.812;
    QTest::newRow("0.005, 10") << 0.005 << 10.0 << 3.169;
    QTest::newRow("0.05, 30") << 0.05 << 30.0 << 1.697;
    QTest::newRow("0.025, 100") << 0.025 << 100.0 << 1.984;
    QTest::newRow("0.001, 100") << 0.001 << 100.0 << 3.174;
    QTest::newRow("0.001, 1") << 0.001 << 1.0 << 318.309;
    QTest::newRow("0.975, 10 (lower tail)") << 0.975 << 10.0 << -2.228;
}

void TestEngineDistributions::studentQuantileAgainstTables()
{
    QFETCH(double, q);
    QFETCH(double, dof);
    QFETCH(double, expected);
    const double t = engine::studentUpperQuantile(q, dof);
    QVERIFY2(std::fabs(t - expected) < kTableTol, qPrintable(QString::number(t, 'g', 12)));
}

void TestEngineDistributions::studentQuantileClosedForms_data()
{
    QTest::addColumn<double>("q");
    QTest::addColumn<double>("dof");
    QTest::newRow("1 degree, 0.025") << 0.025 << 1.0;
    QTest::newRow("1 degree, 1e-12") << 1e-12 << 1.0;
    QTest::newRow("2 degrees, 0.3") << 0.3 << 2.0;
    QTest::newRow("2 degrees, 1e-9") << 1e-9 << 2.0;
    QTest::newRow("4 degrees, 0.025") << 0.025 << 4.0;
    QTest::newRow("4 degrees, 0.3") << 0.3 << 4.0;
    QTest::newRow("4 degrees, 1e-6") << 1e-6 << 4.0;
}

void TestEngineDistributions::studentQuantileClosedForms()
{
    QFETCH(double, q);
    QFETCH(double, dof);
    // The Student quantiles of 1, 2 and 4 degrees of freedom in closed form (W. T. Shaw,
    // "Sampling Student's T distribution", J. Comp. Finance 9, 2006), written with the upper
    // tail q so that a small q keeps its digits.
    double expected = 0.0;
    if (dof == 1.0) {
        expected = 1.0 / std::tan(kPi * q);
    } else if (dof == 2.0) {
        expected = (1.0 - 2.0 * q) / std::sqrt(2.0 * q * (1.0 - q));
    } else {
        const double a = 4.0 * q * (1.0 - q);
        const double root = std::sqrt(a);
        expected = 2.0 * std::sqrt(std::cos(std::acos(root) / 3.0) / root - 1.0);
    }
    const double t = engine::studentUpperQuantile(q, dof);
    QVERIFY2(std::fabs(t - expected) <= kClosedFormRelTol * expected,
             qPrintable(QString::number(t, 'g', 17) + " " + QString::number(expected, 'g', 17)));
}

void TestEngineDistributions::studentQuantileInvertsTheTail_data()
{
    QTest::addColumn<double>("q");
    QTest::addColumn<double>("dof");
    QTest::newRow("a large network") << 0.025 << 140000.0;
    QTest::newRow("a large network, far tail") << 1e-15 << 140000.0;
    QTest::newRow("three degrees, 1e-300") << 1e-300 << 3.0;
    QTest::newRow("half a degree") << 0.01 << 0.5;
    QTest::newRow("near the median") << 0.4999999 << 7.0;
}

void TestEngineDistributions::studentQuantileInvertsTheTail()
{
    QFETCH(double, q);
    QFETCH(double, dof);
    const double t = engine::studentUpperQuantile(q, dof);
    QVERIFY(std::isfinite(t) && t > 0.0);
    QVERIFY2(std::fabs(engine::studentUpperTail(t, dof) - q) <= 1e-13 * q,
             qPrintable(QString::number(engine::studentUpperTail(t, dof), 'g', 17)));
    // With many degrees of freedom Student's t is nearly normal.
    if (dof > 1e5)
        QVERIFY(std::fabs(t - engine::normalUpperQuantile(q)) < 1e-3 * t);
}

void TestEngineDistributions::tauCriticalValue_data()
{
    QTest::addColumn<double>("alpha");
    QTest::addColumn<double>("dof");
    QTest::addColumn<double>("expected");
    // tau^2 / f follows the beta law of parameters 1/2 and (f - 1) / 2 (Pope 1976). For f = 3 its
    // distribution function is sqrt(x), so the critical value is sqrt(3) (1 - alpha); for f = 2
    // it is sqrt(2) sin(pi (1 - alpha) / 2).
    QTest::newRow("f = 3, 5 %") << 0.05 << 3.0 << std::sqrt(3.0) * 0.95;
    QTest::newRow("f = 3, 0.1 %") << 0.001 << 3.0 << std::sqrt(3.0) * 0.999;
    QTest::newRow("f = 2, 5 %") << 0.05 << 2.0 << std::sqrt(2.0) * std::sin(kPi * 0.95 / 2.0);
    QTest::newRow("f = 2, 1e-16") << 1e-16 << 2.0 << std::sqrt(2.0) * std::cos(kPi * 1e-16 / 2.0);
    // With many degrees of freedom tau tends to the normal law: sqrt(f) t / sqrt(f - 1 + t^2)
    // differs from z by about z (3 - z^2) / (4 f).
    QTest::newRow("f = 1e6, 5 %") << 0.05 << 1e6 << 1.959963985;
}

void TestEngineDistributions::tauCriticalValue()
{
    QFETCH(double, alpha);
    QFETCH(double, dof);
    QFETCH(double, expected);
    const double c = engine::tauCriticalValue(alpha, dof);
    QVERIFY2(std::fabs(c - expected) < 1e-6 * expected, qPrintable(QString::number(c, 'g', 17)));
    QVERIFY(c <= std::sqrt(dof));
}

void TestEngineDistributions::quantilesNearTheEdgesAreFinite()
{
    // A confidence of 0.9999999999999999 leaves alpha / 2 = 5.55e-17, whose complement rounds
    // to 1; a second-kind risk of 1e-300 likewise.
    const double half = (1.0 - 0.9999999999999999) / 2.0;
    const double values[] = {engine::normalUpperQuantile(half),
                             engine::normalUpperQuantile(1e-300),
                             engine::normalQuantile(std::numeric_limits<double>::denorm_min()),
                             engine::chiSquareUpperQuantile(half, 3.0),
                             engine::chiSquareQuantile(half, 3.0),
                             engine::chiSquareUpperQuantile(1e-300, 1.0),
                             engine::studentUpperQuantile(half, 1.0),
                             engine::studentUpperQuantile(1e-320, 1.0),
                             engine::tauCriticalValue(2.0 * half, 2.0),
                             engine::tauCriticalValue(0.9999999999999999, 50.0)};
    for (double v : values)
        QVERIFY2(std::isfinite(v), qPrintable(QString::number(v)));
    // Mills' ratio: P(Z > x) ~ phi(x) / x, so x = 8.29 for 5.55e-17 and 37.04 for 1e-300.
    QVERIFY(std::fabs(engine::normalUpperQuantile(half) - 8.2923) < 1e-3);
    QVERIFY(std::fabs(engine::normalUpperQuantile(1e-300) - 37.0471) < 1e-3);
    QVERIFY(std::fabs(engine::chiSquareUpperQuantile(1e-300, 1.0) -
                      engine::normalUpperQuantile(0.5e-300) *
                          engine::normalUpperQuantile(0.5e-300)) < 1e-9 * 1400.0);
}

void TestEngineDistributions::outsideTheOpenIntervalIsRefused()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QVERIFY_EXCEPTION_THROWN(engine::normalQuantile(0.0), std::domain_error);
    QVERIFY_EXCEPTION_THROWN(engine::normalQuantile(1.0), std::domain_error);
    QVERIFY_EXCEPTION_THROWN(engine::normalQuantile(nan), std::domain_error);
    QVERIFY_EXCEPTION_THROWN(engine::chiSquareQuantile(0.5, 0.0), std::domain_error);
    QVERIFY_EXCEPTION_THROWN(engine::chiSquareQuantile(1.0, 3.0), std::domain_error);
    QVERIFY_EXCEPTION_THROWN(engine::chiSquareUpperQuantile(-0.1, 3.0), std::domain_error);
    QVERIFY_EXCEPTION_THROWN(engine::studentUpperQuantile(1.5, 3.0), std::domain_error);
    QVERIFY_EXCEPTION_THROWN(engine::studentUpperQuantile(0.025, nan), std::domain_error);
    QVERIFY_EXCEPTION_THROWN(engine::tauCriticalValue(0.05, 1.0), std::domain_error);
    QVERIFY_EXCEPTION_THROWN(engine::tauCriticalValue(0.0, 5.0), std::domain_error);
}

QTEST_GUILESS_MAIN(TestEngineDistributions)
#include "tst_enginedistributions.moc"
