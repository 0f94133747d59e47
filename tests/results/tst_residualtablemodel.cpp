#include "residualcsv.h"
#include "residualtablemodel.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace {

struct Row
{
    const char *kind;
    const char *station;
    const char *target;
    double normalized;
    bool valid;
};

// Observations in rank order, each given its kind, points, normalized residual and validity; the
// other numbers are derived from the rank so that every column differs from row to row.
FicResult resultOf(const QVector<Row> &rows)
{
    FicResult result;
    result.angleUnit = QStringLiteral("GRD");
    for (int i = 0; i < rows.size(); ++i) {
        FicObservation o;
        o.rank = i + 1;
        o.typeLabel = QString::fromUtf8(rows[i].kind);
        o.station = QString::fromUtf8(rows[i].station);
        o.target = QString::fromUtf8(rows[i].target);
        o.normalizedResidual = rows[i].normalized;
        o.valid = rows[i].valid;
        o.value = 10.0 * (i + 1);
        o.residual = 0.001 * (i + 1);
        o.reliability = 50.0 + i;
        result.observations.append(o);
    }
    return result;
}

// The ranks shown, row by row.
QVector<int> ranksShown(const ResidualTableModel &model)
{
    QVector<int> ranks;
    for (int row = 0; row < model.rowCount(); ++row)
        ranks.append(model.index(row, ResidualTableModel::RankColumn).data().toInt());
    return ranks;
}

// Fields of one CSV line separated by ";", quoted fields unquoted.
QStringList csvFields(const QString &line)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line.at(i + 1) == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ';') {
            fields.append(field);
            field.clear();
        } else {
            field += c;
        }
    }
    fields.append(field);
    return fields;
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

} // namespace

Q_DECLARE_METATYPE(QVector<int>)
Q_DECLARE_METATYPE(QVector<Row>)

class tst_ResidualTableModel : public QObject
{
    Q_OBJECT

private slots:
    void sorting_data();
    void sorting();
    void filtering_data();
    void filtering();
    void sortingKeepsTheFilterAndTheMapping();
    void unitTexts_data();
    void unitTexts();
    void csvReadBack();
    void csvOfAnUnwritablePath();
};

void tst_ResidualTableModel::sorting_data()
{
    QTest::addColumn<QVector<Row>>("rows");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("order");
    QTest::addColumn<QVector<int>>("ranks");

    // As texts "-20.000" < "-3.000" < "10.500" < "9.200": numbers must not sort so.
    const QVector<Row> numbers = {{"DIST", "A", "B", 10.5, true},
                                  {"DIST", "A", "B", 9.2, true},
                                  {"DIST", "A", "B", -3.0, true},
                                  {"DIST", "A", "B", -20.0, true}};
    QTest::newRow("normalized residual, numbers")
        << numbers << int(ResidualTableModel::NormalizedResidualColumn) << int(Qt::AscendingOrder)
        << QVector<int>{4, 3, 2, 1};
    QTest::newRow("normalized residual, descending")
        << numbers << int(ResidualTableModel::NormalizedResidualColumn) << int(Qt::DescendingOrder)
        << QVector<int>{1, 2, 3, 4};
    // Ranks 1 to 12 as texts would put 10, 11 and 12 before 2.
    QVector<Row> twelve(12, {"DIST", "A", "B", 1.0, true});
    QTest::newRow("rank, descending")
        << twelve << int(ResidualTableModel::RankColumn) << int(Qt::DescendingOrder)
        << QVector<int>{12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1};
    const QVector<Row> names = {{"DIST", "P10", "B", 4, true},
                                {"DIST", "P9", "B", 3, true},
                                {"DIST", "p2", "B", 2, true},
                                {"DIST", "A1", "B", 1, true}};
    QTest::newRow("station, digits as numbers")
        << names << int(ResidualTableModel::StationColumn) << int(Qt::AscendingOrder)
        << QVector<int>{4, 3, 2, 1};
    const QVector<Row> kinds = {{"DIST", "A", "B", 4, true},
                                {"DIR", "A", "B", 3, false},
                                {"DIST", "A", "B", 2, true},
                                {"DIR", "A", "B", 1, false}};
    QTest::newRow("kind, ties in rank order")
        << kinds << int(ResidualTableModel::KindColumn) << int(Qt::AscendingOrder)
        << QVector<int>{2, 4, 1, 3};
    QTest::newRow("kind descending, ties still in rank order")
        << kinds << int(ResidualTableModel::KindColumn) << int(Qt::DescendingOrder)
        << QVector<int>{1, 3, 2, 4};
    QTest::newRow("validity: rejected first")
        << kinds << int(ResidualTableModel::ValidityColumn) << int(Qt::AscendingOrder)
        << QVector<int>{2, 4, 1, 3};
    const QVector<Row> undefined = {
        {"DIST", "A", "B", kNaN, true}, {"DIST", "A", "B", 2, true}, {"DIST", "A", "B", -1, true}};
    QTest::newRow("not a number last, ascending")
        << undefined << int(ResidualTableModel::NormalizedResidualColumn) << int(Qt::AscendingOrder)
        << QVector<int>{3, 2, 1};
    QTest::newRow("not a number last, descending")
        << undefined << int(ResidualTableModel::NormalizedResidualColumn)
        << int(Qt::DescendingOrder) << QVector<int>{2, 3, 1};
    QTest::newRow("no column: rank order")
        << numbers << -1 << int(Qt::DescendingOrder) << QVector<int>{1, 2, 3, 4};
}

void tst_ResidualTableModel::sorting()
{
    QFETCH(QVector<Row>, rows);
    QFETCH(int, column);
    QFETCH(int, order);
    QFETCH(QVector<int>, ranks);

    ResidualTableModel model;
    model.setResult(resultOf(rows));
    model.sort(ResidualTableModel::NormalizedResidualColumn, Qt::AscendingOrder);
    model.sort(column, Qt::SortOrder(order));
    QCOMPARE(ranksShown(model), ranks);
    for (int row = 0; row < model.rowCount(); ++row) {
        QCOMPARE(model.observationIndex(row), ranks[row] - 1);
        QCOMPARE(model.rowOfObservation(ranks[row] - 1), row);
    }
}

void tst_ResidualTableModel::filtering_data()
{
    QTest::addColumn<bool>("rejectedOnly");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("station");
    QTest::addColumn<QVector<int>>("ranks");

    QTest::newRow("everything") << false << QString() << QString() << QVector<int>{1, 2, 3, 4, 5};
    QTest::newRow("rejected only") << true << QString() << QString() << QVector<int>{1, 4};
    QTest::newRow("one kind") << false << "DIR" << QString() << QVector<int>{2, 4};
    QTest::newRow("one station") << false << QString() << "S2" << QVector<int>{3, 4};
    QTest::newRow("all three") << true << "DIR"
                               << "S2" << QVector<int>{4};
    QTest::newRow("nothing left") << true << "ZANG" << QString() << QVector<int>{};
}

void tst_ResidualTableModel::filtering()
{
    QFETCH(bool, rejectedOnly);
    QFETCH(QString, kind);
    QFETCH(QString, station);
    QFETCH(QVector<int>, ranks);

    ResidualTableModel model;
    model.setResult(resultOf({{"DIST", "S1", "P1", 5, false},
                              {"DIR", "S1", "P2", 4, true},
                              {"ZANG", "S2", "P1", 3, true},
                              {"DIR", "S2", "P3", 2, false},
                              {"DIST", "S10", "P2", 1, true}}));
    QCOMPARE(model.kinds(), QStringList({"DIR", "DIST", "ZANG"}));
    QCOMPARE(model.stations(), QStringList({"S1", "S2", "S10"}));
    model.setFilter({rejectedOnly, kind, station});
    QCOMPARE(ranksShown(model), ranks);
    for (int index = 0; index < 5; ++index)
        QCOMPARE(model.rowOfObservation(index), ranks.indexOf(index + 1));
    QCOMPARE(model.observationIndex(ranks.size()), -1);
}

void tst_ResidualTableModel::sortingKeepsTheFilterAndTheMapping()
{
    ResidualTableModel model;
    model.setResult(resultOf({{"DIST", "S1", "P1", 0.5, false},
                              {"DIR", "S1", "P2", -4, true},
                              {"DIST", "S2", "P1", 3, false},
                              {"DIST", "S2", "P3", -2, false}}));
    model.setFilter({true, QStringLiteral("DIST"), QString()});
    model.sort(ResidualTableModel::NormalizedResidualColumn, Qt::AscendingOrder);
    QCOMPARE(ranksShown(model), QVector<int>({4, 1, 3}));
    // A selection made before the sort follows its observation.
    const QPersistentModelIndex selected = model.index(0, ResidualTableModel::StationColumn);
    model.sort(ResidualTableModel::NormalizedResidualColumn, Qt::DescendingOrder);
    QCOMPARE(ranksShown(model), QVector<int>({3, 1, 4}));
    QCOMPARE(selected.row(), 2);
    QCOMPARE(selected.column(), int(ResidualTableModel::StationColumn));
    // A new filter keeps the sort.
    model.setFilter({false, QString(), QString()});
    QCOMPARE(ranksShown(model), QVector<int>({3, 1, 4, 2}));
}

void tst_ResidualTableModel::unitTexts_data()
{
    QTest::addColumn<QString>("angleUnit");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("residual");
    QTest::addColumn<QString>("valueText");
    QTest::addColumn<QString>("residualText");

    // Values built from their parts, so that the expected texts are those parts.
    QTest::newRow("DMS direction")
        << "DMS"
        << "DIR" << 123.0 + 45.0 / 60.0 + 12.35 / 3600.0 << -1.5 << "123 45 12.35 DMS"
        << "-1.50 \"";
    QTest::newRow("DMS azimuth past the circle")
        << "DMS"
        << "AZIM" << 360.0 + 5.0 + 7.0 / 60.0 + 9.5 / 3600.0 << 0.25 << "5  7  9.50 DMS"
        << "0.25 \"";
    QTest::newRow("DMS zenith angle just under the circle")
        << "DMS"
        << "ZANG" << 360.0 - 0.001 / 3600.0 << 0.0 << "0  0  0.00 DMS"
        << "0.00 \"";
    QTest::newRow("grades") << "GRD"
                            << "DIR" << 137.459654 << 3.2 << "137.459654 GRD"
                            << "3.20 cc";
    QTest::newRow("grades, negative direction") << "GRD"
                                                << "DIR" << -12.5 << -0.04 << "387.500000 GRD"
                                                << "-0.04 cc";
    QTest::newRow("distance, residual in mm") << "GRD"
                                              << "DIST" << 125.4521 << -0.00123 << "125.45210 m"
                                              << "-1.23 mm";
    QTest::newRow("height difference, residual in mm") << "DMS"
                                                       << "OHDF" << -2.5 << 0.0156 << "-2.50000 m"
                                                       << "15.60 mm";
}

void tst_ResidualTableModel::unitTexts()
{
    QFETCH(QString, angleUnit);
    QFETCH(QString, kind);
    QFETCH(double, value);
    QFETCH(double, residual);
    QFETCH(QString, valueText);
    QFETCH(QString, residualText);

    FicResult result = resultOf({{"DIST", "S", "T", -0.5, false}});
    result.angleUnit = angleUnit;
    result.observations[0].typeLabel = kind;
    result.observations[0].value = value;
    result.observations[0].residual = residual;
    result.observations[0].reliability = 54.321;
    ResidualTableModel model;
    model.setResult(result);
    const auto cell = [&](int column) { return model.index(0, column).data().toString(); };
    QCOMPARE(cell(ResidualTableModel::ValueColumn), valueText);
    QCOMPARE(cell(ResidualTableModel::ResidualColumn), residualText);
    QCOMPARE(cell(ResidualTableModel::NormalizedResidualColumn), QStringLiteral("-0.500"));
    QCOMPARE(cell(ResidualTableModel::RedundancyColumn), QStringLiteral("54.32 %"));
    QCOMPARE(cell(ResidualTableModel::ValidityColumn), QStringLiteral("Rejetée"));
    QCOMPARE(model.index(0, ResidualTableModel::ValueColumn)
                 .data(ResidualTableModel::SortRole)
                 .toDouble(),
             value);
}

void tst_ResidualTableModel::csvReadBack()
{
    FicResult result = resultOf({{"DIST", "S;1", "P\"1", 0.5, false},
                                 {"DIR", "Clocher é", "P2", -4, true},
                                 {"DIST", "S2", "P1", 3, false}});
    ResidualTableModel model;
    model.setResult(result);
    model.setFilter({true, QString(), QString()});
    model.sort(ResidualTableModel::NormalizedResidualColumn, Qt::DescendingOrder);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("residus.csv"));
    QString error;
    QVERIFY2(writeResidualCsv(model, path, error), qPrintable(error));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    // Latin-1: "é" of "Point visé" is one byte.
    QVERIFY(bytes.contains("Point vis\xe9"));
    QStringList lines = QString::fromLatin1(bytes).split('\n');
    QCOMPARE(lines.takeLast(), QString());
    for (QString &line : lines)
        line.remove('\r');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(csvFields(lines[0]),
             QStringList({"Rang", "Type", "Station", "Point visé", "Observation", "Résidu",
                          "Résidu normé", "Redondance", "Validité"}));
    // Rejected ones only, largest normalized residual first.
    QCOMPARE(csvFields(lines[1]), QStringList({"3", "DIST", "S2", "P1", "30.00000 m", "3.00 mm",
                                               "3.000", "52.00 %", "Rejetée"}));
    QCOMPARE(csvFields(lines[2]), QStringList({"1", "DIST", "S;1", "P\"1", "10.00000 m", "1.00 mm",
                                               "0.500", "50.00 %", "Rejetée"}));
}

void tst_ResidualTableModel::csvOfAnUnwritablePath()
{
    ResidualTableModel model;
    model.setResult(resultOf({{"DIST", "S", "T", 1, true}}));
    QTemporaryDir dir;
    QString error;
    QVERIFY(!writeResidualCsv(model, dir.filePath(QStringLiteral("absent/residus.csv")), error));
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(tst_ResidualTableModel)
#include "tst_residualtablemodel.moc"
