// Quantiles of the normal and chi-square distributions against printed table values.

#include "distributions.h"

#include <QtTest>

#include <cmath>

namespace {

constexpr double kNormalTol = 1e-9;       // the table values carry 10 significant digits
constexpr double kChiSquareRelTol = 2e-6; // the table values carry 7 significant digits

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
    void outsideTheOpenIntervalGivesNaN();
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

void TestEngineDistributions::outsideTheOpenIntervalGivesNaN()
{
    QVERIFY(std::isnan(engine::normalQuantile(0.0)));
    QVERIFY(std::isnan(engine::normalQuantile(1.0)));
    QVERIFY(std::isnan(engine::chiSquareQuantile(0.5, 0.0)));
    QVERIFY(std::isnan(engine::chiSquareQuantile(1.0, 3.0)));
}

QTEST_GUILESS_MAIN(TestEngineDistributions)
#include "tst_enginedistributions.moc"
