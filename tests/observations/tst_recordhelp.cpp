#include "recordhelp.h"

#include <QFile>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <QtTest>

// The columns, names and units the catalogue gives the status line, the field editor and the
// help pages, checked against the record tables of docs/engine.md and the record lists there.
class tst_RecordHelp : public QObject
{
    Q_OBJECT

private slots:
    void fieldReadout_data();
    void fieldReadout();
    void fieldUnit_data();
    void fieldUnit();
    void engineRecordsAreTheManualsOnes();
    void recordPagesHoldEveryField();
    void recordIndexLinksEveryRecord();

private:
    RecordCatalogue m_catalogue;
    const RecordType &type(const QString &code) const;
    static QTextTable *firstTable(QTextDocument &document);
    static QString cellText(QTextTable *table, int row, int column);
};

const RecordType &tst_RecordHelp::type(const QString &code) const
{
    const int index = m_catalogue.indexOf(code);
    if (index < 0)
        qFatal("no record type %s", qPrintable(code));
    return m_catalogue.at(index);
}

QTextTable *tst_RecordHelp::firstTable(QTextDocument &document)
{
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (QTextTable *table = QTextCursor(block).currentTable())
            return table;
    }
    return nullptr;
}

QString tst_RecordHelp::cellText(QTextTable *table, int row, int column)
{
    const QTextTableCell cell = table->cellAt(row, column);
    QTextCursor cursor = cell.firstCursorPosition();
    cursor.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
    return cursor.selectedText();
}

void tst_RecordHelp::fieldReadout_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("readout");

    // Columns as docs/engine.md's record table gives them.
    const QString dist = QStringLiteral(" DIST S1  P1           P2                          "
                                        "     1234.5678        1.5 mm");
    QTest::newRow("distance value, first column")
        << dist << 50 << QString::fromUtf8("DIST · Observation, col. 50–64");
    QTest::newRow("distance value, last column")
        << dist << 64 << QString::fromUtf8("DIST · Observation, col. 50–64");
    QTest::newRow("distance unit") << dist << 77 << QString::fromUtf8("DIST · Unité, col. 77–78");
    QTest::newRow("station") << dist << 11 << QString::fromUtf8("DIST · Station, col. 11–22");
    QTest::newRow("between fields")
        << dist << 40 << QString::fromUtf8("DIST · col. 40, entre les champs");
    QTest::newRow("code") << dist << 3 << QString::fromUtf8("DIST · Distance 3D entre deux points");
    QTest::newRow("past the end of a short line")
        << QStringLiteral(" ZANG") << 80
        << QString::fromUtf8("ZANG · Coef. réfraction, col. 77–86");
    QTest::newRow("levelling unit")
        << QStringLiteral(" OHDF") << 94 << QString::fromUtf8("OHDF · Unité, col. 93–94");
    QTest::newRow("commented record")
        << QStringLiteral("!HI   P1") << 12 << QString::fromUtf8("HI · Point, col. 11–22");
    QTest::newRow("comment") << QStringLiteral("* DIST comme mot") << 3 << QString();
    QTest::newRow("include") << QStringLiteral("#include DIST.iob") << 12 << QString();
    QTest::newRow("unknown code") << QStringLiteral(" XXXX 1") << 7 << QString();
    QTest::newRow("empty line") << QString() << 1 << QString();
}

void tst_RecordHelp::fieldReadout()
{
    QFETCH(QString, line);
    QFETCH(int, column);
    QFETCH(QString, readout);
    QCOMPARE(::fieldReadout(m_catalogue, line, column), readout);
}

void tst_RecordHelp::fieldUnit_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("unit");

    const QString lineUnit = QString::fromUtf8("celle du champ Unité (col. %1)");
    QTest::newRow("distance") << "DIST"
                              << "Observation" << lineUnit.arg(QString::fromUtf8("77–78"));
    QTest::newRow("height difference") << "OHDF"
                                       << "Denivelée" << lineUnit.arg(QString::fromUtf8("93–94"));
    QTest::newRow("local east") << "LENU"
                                << "Est" << lineUnit.arg(QString::fromUtf8("81–82"));
    QTest::newRow("direction") << "DIR"
                               << "Lecture"
                               << QString::fromUtf8(
                                      "unité d'angle en vigueur (ANGT) : DMS, GRD ou RAD");
    // Standard deviations of angles are in the small unit of the angle unit.
    QTest::newRow("direction sigma")
        << "DIR"
        << "Ecart-type"
        << QString::fromUtf8(
               "secondes d'arc, décimilligrades ou microradians, selon l'unité d'angle");
    QTest::newRow("refraction") << "ZANG"
                                << "Coef. réfraction" << QString::fromUtf8("sans unité");
    QTest::newRow("ppm") << "SIGM"
                         << "PPM" << QString::fromUtf8("ppm (mm/km)");
    QTest::newRow("decimal latitude") << "PLHD"
                                      << "Latitude" << QString::fromUtf8("degrés décimaux");
    QTest::newRow("lambert origin") << "LAMB"
                                    << "Latitude origine" << QString::fromUtf8("degrés et minutes");
    QTest::newRow("geodetic latitude")
        << "PLH"
        << "Latitude" << QString::fromUtf8("degrés, minutes et secondes");
    QTest::newRow("unit field") << "HI"
                                << "Unité" << QString::fromUtf8("m, cm ou mm");
    QTest::newRow("point name") << "HI"
                                << "Point" << QString();
    QTest::newRow("angle type") << "ANGT"
                                << "Type d'angles" << QString();
}

void tst_RecordHelp::fieldUnit()
{
    QFETCH(QString, code);
    QFETCH(QString, field);
    QFETCH(QString, unit);
    const RecordType &record = type(code);
    int index = -1;
    for (int i = 0; i < record.fields.size(); ++i) {
        if (fieldName(record.fields.at(i)) == field)
            index = i;
    }
    QVERIFY2(index >= 0, qPrintable(field));
    QCOMPARE(::fieldUnit(record, index), unit);
}

// docs/engine.md names the records the engine reads in its record table: the catalogue's records,
// every one of them.
void tst_RecordHelp::engineRecordsAreTheManualsOnes()
{
    QFile file(QStringLiteral(TAVLO_ENGINE_MANUAL));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString manual = QString::fromUtf8(file.readAll());

    QStringList read;
    const QRegularExpression tableRow(QStringLiteral("^\\| `([A-Z0-9]+)` \\|"),
                                      QRegularExpression::MultilineOption);
    const int records = manual.indexOf(QStringLiteral("### Records"));
    QVERIFY(records > 0);
    const int end =
        manual.indexOf(QStringLiteral("\n\n"), manual.indexOf(QStringLiteral("| `"), records));
    for (auto match = tableRow.globalMatch(manual.mid(records, end - records)); match.hasNext();)
        read << match.next().captured(1);
    read.sort();

    QStringList engine = RecordCatalogue::engineRecordCodes();
    engine.sort();
    QCOMPARE(engine, read);
    for (const RecordType &record : m_catalogue.types())
        QVERIFY2(read.contains(record.code), qPrintable(record.code));
}

// Each record page's table holds the code and then every field of the catalogue, in order, at
// its columns.
void tst_RecordHelp::recordPagesHoldEveryField()
{
    for (const RecordType &record : m_catalogue.types()) {
        QTextDocument document;
        document.setHtml(recordPageHtml(record));
        QVERIFY2(document.toPlainText().contains(record.description), qPrintable(record.code));
        QTextTable *table = firstTable(document);
        QVERIFY2(table, qPrintable(record.code));
        QCOMPARE(table->rows(), record.fields.size() + 2);
        QCOMPARE(cellText(table, 1, 0), QString::fromUtf8("2–5"));
        for (int i = 0; i < record.fields.size(); ++i) {
            const FieldSpec &field = record.fields.at(i);
            const QStringList columns = cellText(table, i + 2, 0).split(QChar(0x2013));
            QCOMPARE(columns.first().toInt(), field.column);
            QCOMPARE(columns.last().toInt(), field.lastColumn());
            QCOMPARE(cellText(table, i + 2, 2), fieldName(field));
            QCOMPARE(cellText(table, i + 2, 3), ::fieldUnit(record, i));
        }
    }

    QTextDocument distance;
    distance.setHtml(recordPageHtml(type(QStringLiteral("DIST"))));
    QTextTable *table = firstTable(distance);
    QCOMPARE(cellText(table, 5, 0), QString::fromUtf8("50–64"));
    QCOMPARE(cellText(table, 5, 1), QStringLiteral("15"));
    QVERIFY(distance.toPlainText().contains(QStringLiteral("Lu par le moteur")));
}

void tst_RecordHelp::recordIndexLinksEveryRecord()
{
    QTextDocument document;
    document.setHtml(recordIndexHtml(m_catalogue));
    QStringList linked;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isAnchor())
                linked << recordPageCode(format.anchorHref());
        }
    }
    QStringList codes;
    for (const RecordType &record : m_catalogue.types())
        codes << record.code;
    QCOMPARE(linked, codes);
    QCOMPARE(recordPageCode(recordPageAddress(QStringLiteral("3DC"))), QStringLiteral("3DC"));
    QCOMPARE(recordPageCode(recordIndexAddress()), QString());
}

QTEST_MAIN(tst_RecordHelp)
#include "tst_recordhelp.moc"
