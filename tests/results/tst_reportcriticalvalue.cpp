#include "reportcriticalvalue.h"

#include <QtTest>

#include <cmath>

class tst_ReportCriticalValue : public QObject
{
    Q_OBJECT

private slots:
    void criticalValue_data();
    void criticalValue();
    void missingReport();
};

void tst_ReportCriticalValue::criticalValue_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<double>("expected"); // NaN: none

    const QByteArray statistics = " STATISTIQUES\n"
                                  "   Degrés de liberté                               : 3\n";
    const double none = std::nan("");
    QTest::newRow("normal") << statistics +
                                   "   Valeur critique                                 : |w| <= "
                                   "1.960 à 95.00 %\n"
                            << 1.96;
    QTest::newRow("tau") << statistics +
                                "   Valeur critique                                 : |tau| <= "
                                "1.645 à 95.00 %\n"
                         << 1.645;
    QTest::newRow("no test") << statistics << none;
    QTest::newRow("listed after the residuals only")
        << statistics + " INFORMATION SUR LES RESIDUS\n   Valeur critique : |w| <= 1.960\n"
        << none;
    QTest::newRow("no bound") << statistics + "   Valeur critique : inconnue\n" << none;
    QTest::newRow("not a number") << statistics + "   Valeur critique : |w| <= abc\n" << none;
    QTest::newRow("negative") << statistics + "   Valeur critique : |w| <= -1.0\n" << none;
    QTest::newRow("at the end without line break")
        << statistics + "   Valeur critique : |w| <= 2.576" << 2.576;
}

void tst_ReportCriticalValue::criticalValue()
{
    QFETCH(QByteArray, report);
    QFETCH(double, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("reseau.log"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(report);
    file.close();
    const double value = reportedCriticalValue(path);
    if (std::isnan(expected))
        QVERIFY2(std::isnan(value), qPrintable(QString::number(value)));
    else
        QCOMPARE(value, expected);
}

void tst_ReportCriticalValue::missingReport()
{
    QTemporaryDir dir;
    QVERIFY(std::isnan(reportedCriticalValue(dir.filePath(QStringLiteral("absent.log")))));
}

QTEST_GUILESS_MAIN(tst_ReportCriticalValue)
#include "tst_reportcriticalvalue.moc"
