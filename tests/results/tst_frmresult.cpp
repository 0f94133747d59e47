#include "doubleslider.h"
#include "ficwriter.h"
#include "frmresult.h"
#include "myplotarea.h"
#include "scriptedprompter.h"
#include "widgetimage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QtTest>

Q_DECLARE_METATYPE(ChiSquareOutcome)

namespace {

// A successful run of `count` observations whose normalized residuals fall from count/10 by
// 0.1, all valid, all from the first of two observation files.
FicResult makeResult(int count)
{
    FicResult result;
    result.fileName = QStringLiteral("net.fic");
    result.calculationType = QStringLiteral("AJUSTEMENT");
    result.observationCount = count;
    result.validObservationCount = count;
    result.unknownCount = 12;
    result.epochCount = 1;
    result.iterationCount = 4;
    result.varianceFactor = 1.23456789;
    result.chiSquareResult = ChiSquareOutcome::Passed;
    result.observationFileCount = 2;
    result.observationFiles =
        QStringList{QStringLiteral("/nowhere/net.iob"), QStringLiteral("/nowhere/other.iob")};
    result.logFile = QStringLiteral("/nowhere/net.log");
    result.pointNames = QStringList{QStringLiteral("S1"), QStringLiteral("P2")};
    result.pointCount = 2;
    for (int i = 0; i < count; ++i) {
        FicObservation observation;
        observation.rank = i + 1;
        observation.normalizedResidual = (count - i) / 10.0;
        observation.value = 100.0 + i;
        observation.residual = 0.001 * i;
        observation.reliability = 0.5;
        observation.valid = true;
        observation.lineNumber = 10 + i;
        observation.fileNumber = 1;
        observation.epoch = 1;
        observation.station = QStringLiteral("S1");
        observation.target = QStringLiteral("P2");
        observation.typeLabel = QStringLiteral("DIST");
        result.observations.append(observation);
    }
    return result;
}

template <typename T> T *child(const frmResult &window, const char *name)
{
    T *widget = window.findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no child %s", name);
    return widget;
}

QString labelText(const frmResult &window, const char *name)
{
    return child<QLabel>(window, name)->text();
}

QString editText(const frmResult &window, const char *name)
{
    return child<QLineEdit>(window, name)->text();
}

QString writeFile(const QTemporaryDir &dir, const QString &name)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    file.write("x\n");
    return path;
}

} // namespace

class tst_frmResult : public QObject
{
    Q_OBJECT

private slots:
    void construction();
    void loadResult();
    void chiSquareCodeOfTheFile_data();
    void chiSquareCodeOfTheFile();
    void loadMissingFile();
    void summary_data();
    void summary();
    void epochs_data();
    void epochs();
    void residualTexts_data();
    void residualTexts();
    void details();
    void valuesInTheReportsUnits_data();
    void valuesInTheReportsUnits();
    void validColour_data();
    void validColour();
    void failedRun();
    void noObservations();
    void graphChoice();
    void rankRange_data();
    void rankRange();
    void sliderSetsRanks();
    void goLogEmitsRowPlusOne();
    void goLogMissingReport();
    void goIob_data();
    void goIob();
    void reloadRefreshesGraph();
    void quitCloses();
    void textsAndHandlesFit();
    void tableSelectionDrivesTheJumps();
    void exportWritesTheTableAsShown();
    void criticalValueOfTheReport_data();
    void criticalValueOfTheReport();
};

void tst_frmResult::construction()
{
    frmResult window;
    QCOMPARE(window.windowTitle(), QStringLiteral("Résultat de traitement"));
    QVERIFY(window.parent() == nullptr);
    QCOMPARE(labelText(window, "pathLabel"), QStringLiteral("Nom fichier FIC"));
    QCOMPARE(labelText(window, "calculationType"), QStringLiteral("TypeAdjust"));
    QCOMPARE(labelText(window, "varianceFactor"), QStringLiteral("s0carre"));
    QCOMPARE(labelText(window, "iterationCount"), QStringLiteral("nbiter"));
    QCOMPARE(labelText(window, "observationCount"), QStringLiteral("nbobs"));
    QCOMPARE(labelText(window, "unknownCount"), QStringLiteral("nbpar"));
    QCOMPARE(labelText(window, "rejectedCount"), QStringLiteral("nbvalid"));
    QCOMPARE(labelText(window, "epochCount"), QStringLiteral("0"));
    QCOMPARE(labelText(window, "lowRank"), QStringLiteral("0"));
    QCOMPARE(labelText(window, "highRank"), QStringLiteral("1"));

    auto *choice = child<QComboBox>(window, "graphChoice");
    QCOMPARE(choice->count(), 3);
    QCOMPARE(choice->itemText(0), QStringLiteral("Aucun"));
    QCOMPARE(choice->itemText(1), QStringLiteral("Classement"));
    QCOMPARE(choice->itemText(2), QStringLiteral("Répartition"));
    QCOMPARE(choice->currentIndex(), 0);
    QVERIFY(child<QGroupBox>(window, "graphGroup")->isHidden());
    QVERIFY(child<QLineEdit>(window, "station")->isReadOnly());
    QVERIFY(child<QListWidget>(window, "residuals")->font().fixedPitch());
    QCOMPARE(window.minimumWidth(), 400);
    QCOMPARE(window.maximumWidth(), 600);
}

void tst_frmResult::loadResult()
{
    QTemporaryDir dir;
    FicWriter writer;
    writer.calculationCode = 4;
    writer.unknownCount = 9;
    writer.epochCount = 2;
    writer.iterationCount = 6;
    writer.varianceFactor = 0.75;
    writer.observationFiles = QStringList{QStringLiteral("/m/net.iob")};
    writer.logFile = QStringLiteral("/m/net.log");
    writer.pointNames = QStringList{QStringLiteral("Borne"), QStringLiteral("Eglise")};
    writer.validObservationCount = 2;
    // Written in reverse rank order: the window lists them by rank.
    for (int rank = 3; rank >= 1; --rank) {
        FicRecordFields record;
        record.rank = rank;
        record.normalizedResidual = -1.25 * (4 - rank);
        record.kind = 6;
        record.component = 2;
        record.station = 2;
        record.target = 1;
        record.epoch = rank;
        record.validity = rank == 2 ? 0 : 1;
        writer.records.append(record);
    }
    const QString path = dir.filePath(QStringLiteral("net.fic"));
    QVERIFY(writer.write(path));

    frmResult window;
    window.loadResult(path);
    QCOMPARE(labelText(window, "pathLabel"), path);
    QCOMPARE(labelText(window, "calculationType"), QStringLiteral("HUBER"));
    QCOMPARE(labelText(window, "varianceFactor"), QStringLiteral("0.75"));
    QCOMPARE(labelText(window, "iterationCount"), QStringLiteral("6"));
    QCOMPARE(labelText(window, "observationCount"), QStringLiteral("3"));
    QCOMPARE(labelText(window, "unknownCount"), QStringLiteral("9"));
    QCOMPARE(labelText(window, "rejectedCount"), QStringLiteral("1"));
    QCOMPARE(labelText(window, "epochCount"), QStringLiteral("2"));
    auto *list = child<QListWidget>(window, "residuals");
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->item(0)->text(), QStringLiteral("       -3.750"));
    QCOMPARE(list->item(2)->text(), QStringLiteral("       -1.250"));
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(editText(window, "station"), QStringLiteral("Eglise"));
    QCOMPARE(editText(window, "target"), QStringLiteral("Borne"));
    QCOMPARE(editText(window, "type"), QStringLiteral("DY"));
    QCOMPARE(editText(window, "epoch"), QStringLiteral("1"));
    list->setCurrentRow(1);
    QVERIFY(!child<QCheckBox>(window, "valid")->isChecked());
}

void tst_frmResult::chiSquareCodeOfTheFile_data()
{
    QTest::addColumn<qint64>("code");
    QTest::addColumn<QString>("factor");
    QTest::newRow("failed") << qint64(0) << "0.75";
    QTest::newRow("passed") << qint64(1) << "0.75";
    QTest::newRow("no test") << qint64(2) << "-";
    // Codes the engine never writes mean no test, as the processing summary shows them.
    QTest::newRow("unknown code") << qint64(7) << "-";
    QTest::newRow("negative code") << qint64(-1) << "-";
}

// Without a chi-square test the variance factor is withheld too.
void tst_frmResult::chiSquareCodeOfTheFile()
{
    QFETCH(qint64, code);
    QFETCH(QString, factor);
    QTemporaryDir dir;
    FicWriter writer = FicWriter::sample(3);
    writer.varianceFactor = 0.75;
    writer.chiSquareResult = code;
    const QString path = dir.filePath(QStringLiteral("net.fic"));
    QVERIFY(writer.write(path));
    frmResult window;
    window.loadResult(path);
    QCOMPARE(labelText(window, "varianceFactor"), factor);
}

void tst_frmResult::loadMissingFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("absent.fic"));
    frmResult window;
    window.loadResult(path);
    QCOMPARE(labelText(window, "pathLabel"), path);
    QCOMPARE(labelText(window, "varianceFactor"), QStringLiteral("PB"));
    QCOMPARE(labelText(window, "observationCount"), QStringLiteral("0"));
    QCOMPARE(child<QListWidget>(window, "residuals")->count(), 0);
}

void tst_frmResult::summary_data()
{
    QTest::addColumn<ChiSquareOutcome>("chiSquare");
    QTest::addColumn<double>("factor");
    QTest::addColumn<int>("valid");
    QTest::addColumn<QString>("expectedFactor");
    QTest::addColumn<QString>("expectedRejected");

    QTest::newRow("six significant digits")
        << ChiSquareOutcome::Passed << 1.23456789 << 250 << "1.23457"
        << "0";
    QTest::newRow("large factor in exponent form")
        << ChiSquareOutcome::Failed << 1234567.0 << 250 << "1.23457e+06"
        << "0";
    QTest::newRow("no chi-square test withholds the factor")
        << ChiSquareOutcome::NotTested << 1.5 << 250 << "-"
        << "0";
    QTest::newRow("250 observations, 240 valid") << ChiSquareOutcome::Passed << 0.9 << 240 << "0.9"
                                                 << "10";
}

void tst_frmResult::summary()
{
    QFETCH(ChiSquareOutcome, chiSquare);
    QFETCH(double, factor);
    QFETCH(int, valid);
    QFETCH(QString, expectedFactor);
    QFETCH(QString, expectedRejected);

    FicResult result = makeResult(250);
    result.chiSquareResult = chiSquare;
    result.varianceFactor = factor;
    result.validObservationCount = valid;
    frmResult window;
    window.showResult(QStringLiteral("/data/net.fic"), result);

    QCOMPARE(labelText(window, "pathLabel"), QStringLiteral("/data/net.fic"));
    QCOMPARE(labelText(window, "calculationType"), QStringLiteral("AJUSTEMENT"));
    QCOMPARE(labelText(window, "varianceFactor"), expectedFactor);
    QCOMPARE(labelText(window, "iterationCount"), QStringLiteral("4"));
    QCOMPARE(labelText(window, "observationCount"), QStringLiteral("250"));
    QCOMPARE(labelText(window, "unknownCount"), QStringLiteral("12"));
    QCOMPARE(labelText(window, "rejectedCount"), expectedRejected);
    QCOMPARE(labelText(window, "highRank"), QStringLiteral("250"));
}

void tst_frmResult::epochs_data()
{
    QTest::addColumn<int>("epochCount");
    QTest::addColumn<bool>("shown");

    QTest::newRow("three epochs") << 3 << true;
    QTest::newRow("one epoch") << 1 << false;
    QTest::newRow("no epoch") << 0 << false;
}

void tst_frmResult::epochs()
{
    QFETCH(int, epochCount);
    QFETCH(bool, shown);

    frmResult window;
    FicResult multi = makeResult(3);
    multi.epochCount = 3;
    window.showResult(QStringLiteral("a.fic"), multi);
    FicResult result = makeResult(3);
    result.epochCount = epochCount;
    result.observations[0].epoch = 2;
    window.showResult(QStringLiteral("b.fic"), result);

    for (const char *name : {"epochCaption", "epochCount", "epochCountCaption"})
        QCOMPARE(!child<QLabel>(window, name)->isHidden(), shown);
    QCOMPARE(!child<QLineEdit>(window, "epoch")->isHidden(), shown);
    QCOMPARE(labelText(window, "epochCount"), QString::number(epochCount));
    QCOMPARE(editText(window, "epoch"), QStringLiteral("2"));
}

void tst_frmResult::residualTexts_data()
{
    QTest::addColumn<double>("residual");
    QTest::addColumn<QString>("expected");

    QTest::newRow("-0.5") << -0.5 << "       -0.500";
    QTest::newRow("rounded to 3 decimals") << 2.34567 << "        2.346";
    QTest::newRow("exactly 13 characters") << 123456789.5 << "123456789.500";
    QTest::newRow("longer listed in full") << -12345678901.25 << "-12345678901.250";
}

void tst_frmResult::residualTexts()
{
    QFETCH(double, residual);
    QFETCH(QString, expected);

    FicResult result = makeResult(2);
    result.observations[1].normalizedResidual = residual;
    frmResult window;
    window.showResult(QStringLiteral("net.fic"), result);
    auto *list = child<QListWidget>(window, "residuals");
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->text(), QStringLiteral("        0.200"));
    QCOMPARE(list->item(1)->text(), expected);
}

void tst_frmResult::details()
{
    FicResult result = makeResult(5);
    FicObservation &third = result.observations[2];
    third.station = QStringLiteral("Borne 12");
    third.target = QStringLiteral("Clocher");
    third.typeLabel = QStringLiteral("ZANG");
    third.value = 99.123456;
    third.residual = -0.0123456;
    third.reliability = 12.345;
    third.epoch = 3;
    frmResult window;
    window.showResult(QStringLiteral("net.fic"), result);

    auto *list = child<QListWidget>(window, "residuals");
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(editText(window, "value"), QStringLiteral("      100.00000 m"));

    // Without a known angle unit an angle is shown as the number it is, without unit.
    list->setCurrentRow(2);
    QCOMPARE(editText(window, "station"), QStringLiteral("Borne 12"));
    QCOMPARE(editText(window, "target"), QStringLiteral("Clocher"));
    QCOMPARE(editText(window, "type"), QStringLiteral("ZANG"));
    QCOMPARE(editText(window, "value"), QStringLiteral("       99.12346"));
    QCOMPARE(editText(window, "residual"), QStringLiteral("      -0.01235"));
    QCOMPARE(editText(window, "reliability"), QStringLiteral("     12.35 %"));
    QCOMPARE(editText(window, "epoch"), QStringLiteral("3"));
    QVERIFY(child<QCheckBox>(window, "valid")->isChecked());
}

void tst_frmResult::valuesInTheReportsUnits_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("angleUnit");
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("residual");
    QTest::addColumn<QString>("valueText");
    QTest::addColumn<QString>("residualText");

    // Angles come as decimal degrees, grades or radians, their residuals in arc seconds,
    // decimilligrades or microradians; DMS is shown as the report prints it, "ddd mm ss.ss".
    QTest::newRow("distance in metres") << "DIST"
                                        << "DMS" << 125.4521 << -0.00123 << "      125.45210 m"
                                        << "      -0.00123 m";
    QTest::newRow("DMS direction")
        << "DIR"
        << "DMS" << 123.0 + 45.0 / 60 + 12.35 / 3600 << -1.5 << "   123 45 12.35 DMS"
        << "         -1.50 \"";
    QTest::newRow("DMS, one-digit minutes and seconds")
        << "ZANG"
        << "DMS" << 95.0 + 5.0 / 60 + 2.5 / 3600 << 0.0 << "    95  5  2.50 DMS"
        << "          0.00 \"";
    QTest::newRow("DMS seconds rounding up to a minute")
        << "DIR"
        << "DMS" << 10.0 + 59.0 / 60 + 59.996 / 3600 << 0.0 << "    11  0  0.00 DMS"
        << "          0.00 \"";
    QTest::newRow("DMS just under the full circle")
        << "AZIM"
        << "DMS" << 359.9999999 << 0.0 << "     0  0  0.00 DMS"
        << "          0.00 \"";
    QTest::newRow("DMS negative direction within the circle")
        << "DIR"
        << "DMS" << -10.5 << 0.0 << "   349 30  0.00 DMS"
        << "          0.00 \"";
    QTest::newRow("DMS latitude keeps its sign") << "P"
                                                 << "DMS" << -45.5 << 0.25 << "   -45 30  0.00 DMS"
                                                 << "          0.25 \"";
    QTest::newRow("grades") << "DIR"
                            << "GRD" << 137.4596543 << 3.2 << "     137.459654 GRD"
                            << "          3.20 cc";
    QTest::newRow("grades just under the full circle")
        << "DIR"
        << "GRD" << 399.9999999 << 0.0 << "       0.000000 GRD"
        << "          0.00 cc";
    QTest::newRow("radians") << "ZANG"
                             << "RAD" << 1.5707963268 << 0.75 << "     1.57079633 RAD"
                             << "          0.75 urad";
    QTest::newRow("height difference in metres") << "OHDF"
                                                 << "GRD" << -2.5 << 0.0004 << "       -2.50000 m"
                                                 << "       0.00040 m";
}

void tst_frmResult::valuesInTheReportsUnits()
{
    QFETCH(QString, type);
    QFETCH(QString, angleUnit);
    QFETCH(double, value);
    QFETCH(double, residual);
    QFETCH(QString, valueText);
    QFETCH(QString, residualText);

    FicResult result = makeResult(1);
    result.angleUnit = angleUnit;
    result.observations[0].typeLabel = type;
    result.observations[0].value = value;
    result.observations[0].residual = residual;
    frmResult window;
    window.showResult(QStringLiteral("net.fic"), result);
    QCOMPARE(editText(window, "value"), valueText);
    QCOMPARE(editText(window, "residual"), residualText);
}

void tst_frmResult::validColour_data()
{
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QColor>("colour");

    QTest::newRow("valid in green") << true << QColor(Qt::green);
    QTest::newRow("rejected in red") << false << QColor(Qt::red);
}

void tst_frmResult::validColour()
{
    QFETCH(bool, valid);
    QFETCH(QColor, colour);

    FicResult result = makeResult(1);
    result.observations[0].valid = valid;
    frmResult window;
    window.showResult(QStringLiteral("net.fic"), result);
    auto *box = child<QCheckBox>(window, "valid");
    QCOMPARE(box->isChecked(), valid);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        QCOMPARE(box->palette().color(group, QPalette::Button), colour);

    // The box fills its background, beside the indicator, with that colour.
    box->resize(box->sizeHint() + QSize(40, 10));
    const QImage image = box->grab().toImage();
    QCOMPARE(image.pixelColor(image.width() - 2, image.height() - 2), colour);

    // The user cannot change it.
    QTest::mouseClick(box, Qt::LeftButton);
    QCOMPARE(box->isChecked(), valid);
}

void tst_frmResult::failedRun()
{
    QTemporaryDir dir;
    ScriptedPrompter prompter;
    frmResult window;
    FicResult good = makeResult(4);
    good.logFile = writeFile(dir, QStringLiteral("net.log"));
    window.showResult(QStringLiteral("good.fic"), good);
    QCOMPARE(editText(window, "station"), QStringLiteral("S1"));

    FicResult failed = makeResult(4);
    failed.status = 1;
    failed.logFile = good.logFile;
    window.showResult(QStringLiteral("failed.fic"), failed);
    for (const char *name : {"varianceFactor", "iterationCount", "rejectedCount"})
        QCOMPARE(labelText(window, name), QStringLiteral("PB"));
    QCOMPARE(labelText(window, "observationCount"), QStringLiteral("4"));
    QCOMPARE(child<QListWidget>(window, "residuals")->count(), 0);
    // The previous file's observation is no longer shown.
    QCOMPARE(editText(window, "station"), QString());
    QVERIFY(!child<QCheckBox>(window, "valid")->isChecked());

    QSignalSpy logs(&window, &frmResult::gotoLog);
    QSignalSpy iobs(&window, &frmResult::gotoIob);
    window.goLOG();
    window.goIOB();
    QCOMPARE(logs.count(), 0);
    QCOMPARE(iobs.count(), 0);
    QCOMPARE(prompter.messages.size(), 0);
}

void tst_frmResult::noObservations()
{
    QTemporaryDir dir;
    ScriptedPrompter prompter;
    frmResult window;
    window.showResult(QStringLiteral("full.fic"), makeResult(3));

    FicResult empty = makeResult(0);
    empty.logFile = writeFile(dir, QStringLiteral("net.log"));
    empty.observationFiles = QStringList{writeFile(dir, QStringLiteral("net.iob"))};
    window.showResult(QStringLiteral("empty.fic"), empty);
    QCOMPARE(child<QListWidget>(window, "residuals")->count(), 0);
    for (const char *name :
         {"station", "target", "type", "value", "residual", "reliability", "epoch"})
        QCOMPARE(editText(window, name), QString());

    QSignalSpy logs(&window, &frmResult::gotoLog);
    QSignalSpy iobs(&window, &frmResult::gotoIob);
    child<QPushButton>(window, "goLog")->click();
    child<QPushButton>(window, "goIob")->click();
    QCOMPARE(logs.count(), 0);
    QCOMPARE(iobs.count(), 0);
    QCOMPARE(prompter.messages.size(), 0);

    // Both graphs of nothing.
    auto *choice = child<QComboBox>(window, "graphChoice");
    choice->setCurrentIndex(1);
    choice->setCurrentIndex(2);
    QVERIFY(child<myPlotArea>(window, "plot")->data().isEmpty());
}

void tst_frmResult::graphChoice()
{
    frmResult window;
    window.showResult(QStringLiteral("net.fic"), makeResult(250));
    auto *choice = child<QComboBox>(window, "graphChoice");
    auto *group = child<QGroupBox>(window, "graphGroup");
    auto *plot = child<myPlotArea>(window, "plot");
    auto *slider = child<DoubleSlider>(window, "slider");
    auto *list = child<QListWidget>(window, "residuals");

    choice->setCurrentIndex(2); // "Répartition"
    QVERIFY(!group->isHidden());
    QCOMPARE(plot->mode(), 2);
    QVERIFY(!slider->isEnabled());
    QCOMPARE(labelText(window, "lowRank"), QStringLiteral("1"));
    QCOMPARE(labelText(window, "highRank"), QStringLiteral("250"));
    QCOMPARE(plot->data().size(), 250);
    QCOMPARE(plot->data().first(), list->item(0)->text());
    QCOMPARE(plot->data().last(), list->item(249)->text());

    slider->setEnabled(true);
    slider->setValues(0.5f, 0.6f);
    choice->setCurrentIndex(1); // "Classement"
    QVERIFY(!group->isHidden());
    QCOMPARE(plot->mode(), 1);
    QVERIFY(slider->isEnabled());
    QCOMPARE(slider->minValue(), 0.0f);
    QCOMPARE(slider->maxValue(), 1.0f);
    QCOMPARE(plot->low(), 1.0);
    QCOMPARE(plot->high(), 250.0);
    QCOMPARE(labelText(window, "lowRank"), QStringLiteral("1"));
    QCOMPARE(labelText(window, "highRank"), QStringLiteral("250"));

    choice->setCurrentIndex(2);
    QVERIFY(!slider->isEnabled());
    choice->setCurrentIndex(1);
    QVERIFY(slider->isEnabled());

    choice->setCurrentIndex(0); // "Aucun"
    QVERIFY(group->isHidden());
    QCOMPARE(plot->mode(), 0);
}

void tst_frmResult::rankRange_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<float>("a");
    QTest::addColumn<float>("b");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");

    QTest::newRow("101 observations, 0.25 and 0.5") << 101 << 0.25f << 0.5f << 26 << 51;
    QTest::newRow("full range") << 10 << 0.0f << 1.0f << 1 << 10;
    QTest::newRow("between two ranks") << 10 << 0.5f << 0.5f << 5 << 6;
    QTest::newRow("one observation") << 1 << 0.0f << 1.0f << 1 << 1;
    QTest::newRow("no observation") << 0 << 0.0f << 1.0f << 1 << 0;
}

void tst_frmResult::rankRange()
{
    QFETCH(int, count);
    QFETCH(float, a);
    QFETCH(float, b);
    QFETCH(int, low);
    QFETCH(int, high);

    const RankRange ranks = ::rankRange(count, a, b);
    QCOMPARE(ranks.low, low);
    QCOMPARE(ranks.high, high);
}

void tst_frmResult::sliderSetsRanks()
{
    frmResult window;
    window.showResult(QStringLiteral("net.fic"), makeResult(101));
    child<QComboBox>(window, "graphChoice")->setCurrentIndex(1);
    auto *slider = child<DoubleSlider>(window, "slider");
    slider->setValues(0.25f, 0.5f);
    QCOMPARE(labelText(window, "lowRank"), QStringLiteral("26"));
    QCOMPARE(labelText(window, "highRank"), QStringLiteral("51"));
    auto *plot = child<myPlotArea>(window, "plot");
    QCOMPARE(plot->low(), 26.0);
    QCOMPARE(plot->high(), 51.0);
}

void tst_frmResult::goLogEmitsRowPlusOne()
{
    QTemporaryDir dir;
    ScriptedPrompter prompter;
    FicResult result = makeResult(10);
    result.logFile = writeFile(dir, QStringLiteral("net.log"));
    frmResult window;
    window.showResult(QStringLiteral("net.fic"), result);
    child<QListWidget>(window, "residuals")->setCurrentRow(4);

    QSignalSpy logs(&window, &frmResult::gotoLog);
    child<QPushButton>(window, "goLog")->click();
    QCOMPARE(logs.count(), 1);
    QCOMPARE(logs.first().at(0).toString(), result.logFile);
    QCOMPARE(logs.first().at(1).toInt(), 5);
    QCOMPARE(prompter.messages.size(), 0);
}

void tst_frmResult::goLogMissingReport()
{
    ScriptedPrompter prompter;
    frmResult window;
    window.showResult(QStringLiteral("net.fic"), makeResult(3));
    QSignalSpy logs(&window, &frmResult::gotoLog);
    window.goLOG();
    QCOMPARE(logs.count(), 0);
    QCOMPARE(prompter.messages.size(), 1);
    const MessageRequest &box = prompter.messages.first();
    QCOMPARE(box.kind, MessageKind::Warning);
    QCOMPARE(box.title, QStringLiteral("Fichier LOG absent"));
    QCOMPARE(box.text, QStringLiteral("Fichier /nowhere/net.log introuvable."));
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

void tst_frmResult::goIob_data()
{
    QTest::addColumn<int>("fileNumber");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<int>("expectedFile"); // index into the observation files, -1 for none

    QTest::newRow("first file") << 1 << true << 0;
    QTest::newRow("second file") << 2 << true << 1;
    QTest::newRow("missing file") << 2 << false << 1;
    QTest::newRow("file number 0") << 0 << true << -1;
    QTest::newRow("file number past the list") << 3 << true << -1;
}

void tst_frmResult::goIob()
{
    QFETCH(int, fileNumber);
    QFETCH(bool, exists);
    QFETCH(int, expectedFile);

    QTemporaryDir dir;
    ScriptedPrompter prompter;
    FicResult result = makeResult(6);
    const QString first = writeFile(dir, QStringLiteral("net.iob"));
    const QString second = exists ? writeFile(dir, QStringLiteral("other.iob"))
                                  : dir.filePath(QStringLiteral("other.iob"));
    result.observationFiles = QStringList{first, second};
    result.observations[3].fileNumber = fileNumber;
    result.observations[3].lineNumber = 42;
    frmResult window;
    window.showResult(QStringLiteral("net.fic"), result);
    child<QListWidget>(window, "residuals")->setCurrentRow(3);

    QSignalSpy iobs(&window, &frmResult::gotoIob);
    child<QPushButton>(window, "goIob")->click();
    const QString file = expectedFile < 0 ? QString() : result.observationFiles.at(expectedFile);
    if (exists && expectedFile >= 0) {
        QCOMPARE(iobs.count(), 1);
        QCOMPARE(iobs.first().at(0).toString(), file);
        QCOMPARE(iobs.first().at(1).toInt(), 42);
        QCOMPARE(prompter.messages.size(), 0);
    } else {
        QCOMPARE(iobs.count(), 0);
        QCOMPARE(prompter.messages.size(), 1);
        QCOMPARE(prompter.messages.first().kind, MessageKind::Warning);
        QCOMPARE(prompter.messages.first().title, QStringLiteral("Fichier IOB absent"));
        QCOMPARE(prompter.messages.first().text,
                 QStringLiteral("fichier ") + file + QStringLiteral(" introuvable."));
    }
}

void tst_frmResult::reloadRefreshesGraph()
{
    frmResult window;
    window.showResult(QStringLiteral("a.fic"), makeResult(20));
    child<QComboBox>(window, "graphChoice")->setCurrentIndex(1);
    child<DoubleSlider>(window, "slider")->setValues(0.5f, 0.75f);

    window.showResult(QStringLiteral("b.fic"), makeResult(7));
    auto *plot = child<myPlotArea>(window, "plot");
    QCOMPARE(child<QComboBox>(window, "graphChoice")->currentIndex(), 1);
    QCOMPARE(plot->mode(), 1);
    QCOMPARE(plot->data().size(), 7);
    QCOMPARE(plot->data().first(), QStringLiteral("        0.700"));
    QCOMPARE(plot->low(), 1.0);
    QCOMPARE(plot->high(), 7.0);
    QCOMPARE(labelText(window, "lowRank"), QStringLiteral("1"));
    QCOMPARE(labelText(window, "highRank"), QStringLiteral("7"));
}

void tst_frmResult::quitCloses()
{
    frmResult window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const auto buttons = window.findChildren<QPushButton *>();
    const auto quit = std::find_if(buttons.begin(), buttons.end(), [](QPushButton *b) {
        return b->text() == QStringLiteral("Quitter");
    });
    QVERIFY(quit != buttons.end());
    (*quit)->click();
    QVERIFY(!window.isVisible());
}

void tst_frmResult::textsAndHandlesFit()
{
    FicResult result = makeResult(3);
    result.observations[0].normalizedResidual = -1234.5;
    frmResult window;
    window.showResult(QStringLiteral("net.fic"), result);
    child<QComboBox>(window, "graphChoice")->setCurrentIndex(1);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // A whole residual text fits in the list beside its scroll bar, with the item's margins.
    auto *list = child<QListWidget>(window, "residuals");
    const QString text = list->item(0)->text();
    QCOMPARE(text.size(), 13);
    const int itemMargins = 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    const int textWidth = QFontMetrics(list->font()).horizontalAdvance(text);
    QVERIFY(list->viewport()->width() >= textWidth + itemMargins);
    // Whatever the font on hand, the list is never made narrower than that.
    QVERIFY(list->minimumWidth() >=
            textWidth + itemMargins + list->style()->pixelMetric(QStyle::PM_ScrollBarExtent));

    // Both handles, at 0 and 1, are drawn whole inside the slider.
    auto *slider = child<DoubleSlider>(window, "slider");
    QVERIFY(slider->handlePosition(0.0f) - slider->sliderWidth() >= 0);
    QVERIFY(slider->handlePosition(1.0f) + slider->sliderWidth() < slider->width());
}

void tst_frmResult::tableSelectionDrivesTheJumps()
{
    QTemporaryDir dir;
    ScriptedPrompter prompter;
    FicResult result = makeResult(6);
    result.logFile = writeFile(dir, QStringLiteral("net.log"));
    result.observationFiles[0] = writeFile(dir, QStringLiteral("net.iob"));
    result.observations[2].station = QStringLiteral("S9");
    result.observations[4].station = QStringLiteral("S9");
    frmResult window;
    window.showResult(QStringLiteral("net.fic"), result);
    auto *table = child<QTableView>(window, "observationTable");
    auto *list = child<QListWidget>(window, "residuals");
    QCOMPARE(table->model()->rowCount(), 6);
    QCOMPARE(table->currentIndex().row(), 0);

    // Smallest normalized residual first: the last observation, rank 6, heads the table.
    table->sortByColumn(6, Qt::AscendingOrder);
    QCOMPARE(table->model()->index(0, 0).data().toString(), QStringLiteral("6"));
    // The current observation stays selected where the sort put it.
    QCOMPARE(table->currentIndex().row(), 5);
    table->setCurrentIndex(table->model()->index(0, 3));
    QCOMPARE(list->currentRow(), 5);
    QCOMPARE(editText(window, "value"), QStringLiteral("      105.00000 m"));

    // Station S9 holds ranks 3 and 5; sorted as before, rank 5 comes first.
    auto *stations = child<QComboBox>(window, "stationFilter");
    stations->setCurrentIndex(stations->findText(QStringLiteral("S9")));
    QCOMPARE(table->model()->rowCount(), 2);
    QVERIFY(!table->selectionModel()->hasSelection());
    table->setCurrentIndex(table->model()->index(0, 0));
    QCOMPARE(list->currentRow(), 4);
    QSignalSpy logs(&window, &frmResult::gotoLog);
    child<QPushButton>(window, "goLog")->click();
    QCOMPARE(logs.count(), 1);
    QCOMPARE(logs.first().at(1).toInt(), 5);
    QSignalSpy iobs(&window, &frmResult::gotoIob);
    child<QPushButton>(window, "goIob")->click();
    QCOMPARE(iobs.count(), 1);
    QCOMPARE(iobs.first().at(1).toInt(), 14);

    // The list leads the table too.
    list->setCurrentRow(2);
    QCOMPARE(table->currentIndex().row(), 1);
}

void tst_frmResult::exportWritesTheTableAsShown()
{
    QTemporaryDir dir;
    ScriptedPrompter prompter;
    FicResult result = makeResult(5);
    result.observations[1].valid = false;
    result.observations[3].valid = false;
    frmResult window;
    window.showResult(dir.filePath(QStringLiteral("net.fic")), result);
    child<QCheckBox>(window, "rejectedOnly")->setChecked(true);
    child<QTableView>(window, "observationTable")->sortByColumn(0, Qt::DescendingOrder);

    const QString path = dir.filePath(QStringLiteral("choisi.csv"));
    prompter.files.enqueue({path});
    child<QPushButton>(window, "export")->click();
    QCOMPARE(prompter.dialogs.size(), 1);
    QCOMPARE(prompter.dialogs.first().kind, FileDialogKind::SaveFile);
    QCOMPARE(prompter.dialogs.first().directory, dir.filePath(QStringLiteral("net_residus.csv")));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines =
        QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[0].startsWith(QStringLiteral("Rang;Type;Station;Point vis")));
    QVERIFY2(lines[1].startsWith(QStringLiteral("4;DIST;S1;P2;103.00000 m;3.00 mm;0.200;")),
             qPrintable(lines[1]));
    QVERIFY(lines[2].trimmed().endsWith(QStringLiteral(";Rejetée")));
    QCOMPARE(prompter.messages.size(), 0);

    // A file that cannot be written is said so.
    prompter.files.enqueue({dir.filePath(QStringLiteral("absent/x.csv"))});
    child<QPushButton>(window, "export")->click();
    QCOMPARE(prompter.messages.size(), 1);
    QCOMPARE(prompter.messages.first().title, QStringLiteral("Exportation impossible"));
}

void tst_frmResult::criticalValueOfTheReport_data()
{
    QTest::addColumn<int>("testCode");
    QTest::addColumn<double>("expected"); // 0: none

    QTest::newRow("normal") << 2 << 2.576;
    QTest::newRow("tau") << 3 << 2.576;
    QTest::newRow("no test") << 1 << 0.0;
}

void tst_frmResult::criticalValueOfTheReport()
{
    QFETCH(int, testCode);
    QFETCH(double, expected);
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("net.log"));
    QFile report(log);
    QVERIFY(report.open(QIODevice::WriteOnly));
    report.write(
        "   Valeur critique                                 : |w| <= 2.576 \xe0 99.00 %\n");
    report.close();
    FicWriter writer;
    writer.logFile = log;
    writer.testCode = testCode;
    writer.records.append(FicRecordFields{});
    writer.records[0].rank = 1;
    const QString path = dir.filePath(QStringLiteral("net.fic"));
    QVERIFY(writer.write(path));

    frmResult window;
    window.loadResult(path);
    const double value = child<myPlotArea>(window, "plot")->criticalValue();
    if (expected > 0.0)
        QCOMPARE(value, expected);
    else
        QVERIFY(std::isnan(value));
}

QTEST_MAIN(tst_frmResult)
#include "tst_frmresult.moc"
