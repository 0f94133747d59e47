#include "recordline.h"

#include "fieldformat.h"
#include "placedline.h"

#include <QtTest>

// Lines built from a filled form and read back, for every record type of the catalogue.
class tst_RecordLine : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void lineCode_data();
    void lineCode();
    void readField_data();
    void readField();
    void storedLineRebuiltUnchanged();
    void missingValuesLeaveFieldsBlank();
    void tooLongValueRefused_data();
    void tooLongValueRefused();

private:
    RecordCatalogue m_catalogue;
};

// A value per field as the form shows it after reading a line: already in written form and
// trimmed, so that writing it again changes nothing. Values differ from field to field so that a
// field read from a neighbour's columns is noticed.
static QString formValue(const FieldSpec &field, int index)
{
    const QString n = QString::number(index + 1);
    switch (field.kind) {
    case FieldKind::Number:
        return n + QStringLiteral(".25");
    case FieldKind::Choice:
        return field.choiceItems().constLast(); // not the first: an unmatched item shows the first
    case FieldKind::Text:
        return (QStringLiteral("T") + n +
                QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789"
                               "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                               "abcdefghijklmnopqrstuvwxyz"))
            .left(field.width);
    case FieldKind::AngleDms:
        return formatDmsField(QStringLiteral("s1") + n + QStringLiteral(" 2 3.5"), field.width)
            .trimmed();
    case FieldKind::FixFlags:
        return QStringLiteral("101").left(field.width);
    case FieldKind::AngleDecimal:
        return formatDecimalDegreesField(QStringLiteral("o") + n + QStringLiteral(".125"),
                                         field.width)
            .trimmed();
    }
    return {};
}

void tst_RecordLine::roundTrip_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < m_catalogue.size(); ++i)
        QTest::newRow(qPrintable(m_catalogue.at(i).code)) << i;
}

void tst_RecordLine::roundTrip()
{
    QFETCH(int, index);
    const RecordType &type = m_catalogue.at(index);

    QStringList values;
    for (int i = 0; i < type.fields.size(); ++i)
        values.append(formValue(type.fields.at(i), i));

    const BuiltLine built = buildRecordLine(type, values);
    QVERIFY(built.fits());
    QCOMPARE(built.line.size(), type.lineLength());
    QCOMPARE(built.line.at(0), QLatin1Char(' '));
    QCOMPARE(::lineCode(built.line), type.code);
    QCOMPARE(built.line.mid(1, 4), type.code.leftJustified(4));

    // Every column holds the code, its own field's written value, or a blank.
    QString expected(type.lineLength(), QLatin1Char(' '));
    expected.replace(1, type.code.size(), type.code);
    for (int i = 0; i < type.fields.size(); ++i) {
        const FieldSpec &field = type.fields.at(i);
        const QString written = writeField(field, values.at(i));
        QCOMPARE(written.size(), field.width);
        QCOMPARE(built.line.mid(field.column - 1, field.width), written);
        expected.replace(field.column - 1, field.width, written);
    }
    QCOMPARE(built.line, expected);

    QCOMPARE(readFields(built.line, type), values);
    QCOMPARE(buildRecordLine(type, readFields(built.line, type)).line, built.line);
}

void tst_RecordLine::lineCode_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("code");

    QTest::newRow("record") << " DIST S1  ST1"
                            << "DIST";
    QTest::newRow("short code") << " HI  ST1"
                                << "HI";
    QTest::newRow("commented out") << "!XYZ 101"
                                   << "XYZ";
    QTest::newRow("comment text") << "* texte"
                                  << "tex";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("three characters") << " HI"
                                      << "HI";
}

void tst_RecordLine::lineCode()
{
    QFETCH(QString, line);
    QFETCH(QString, code);
    QCOMPARE(::lineCode(line), code);
}

void tst_RecordLine::readField_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("expected");

    const QString line = placedLine({{2, "HI"}, {11, "PT 1"}, {24, "       1.5"}, {35, "m "}});
    QTest::newRow("text trimmed") << line << int(FieldKind::Text) << "PT 1";
    QTest::newRow("number trimmed") << line << int(FieldKind::Number) << "1.5";
    QTest::newRow("choice untrimmed") << line << int(FieldKind::Choice) << "m ";
    QTest::newRow("line ends inside the field")
        << placedLine({{2, "HI"}, {11, "PT"}}) << int(FieldKind::Text) << "PT";
    QTest::newRow("line ends before the field")
        << QStringLiteral(" HI") << int(FieldKind::Text) << "";
}

void tst_RecordLine::readField()
{
    QFETCH(QString, line);
    QFETCH(int, kind);
    QFETCH(QString, expected);

    const RecordType &hi = m_catalogue.at(m_catalogue.indexOf(QStringLiteral("HI")));
    FieldSpec field;
    switch (FieldKind(kind)) {
    case FieldKind::Number:
        field = hi.fields.at(1);
        break;
    case FieldKind::Choice:
        field = hi.fields.at(2);
        break;
    default:
        field = hi.fields.at(0);
        break;
    }
    QCOMPARE(::readField(line, field), expected);
}

void tst_RecordLine::storedLineRebuiltUnchanged()
{
    const RecordType &dist = m_catalogue.at(m_catalogue.indexOf(QStringLiteral("DIST")));
    const QString line = placedLine({{2, "DIST"},
                                     {7, "S01"},
                                     {11, "STATION1"},
                                     {24, "CIBLE2"},
                                     {50, "       125.4521"},
                                     {66, "     0.003"},
                                     {77, "m "}});
    QCOMPARE(line.size(), 78);
    const QStringList values = readFields(line, dist);
    QCOMPARE(values, QStringList({"S01", "STATION1", "CIBLE2", "125.4521", "0.003", "m "}));
    QCOMPARE(buildRecordLine(dist, values).line, line);

    // Numbers typed left-aligned are put back to the right.
    const QString shifted = placedLine({{2, "DIST"},
                                        {7, "S01"},
                                        {11, "STATION1"},
                                        {24, "CIBLE2"},
                                        {50, "125,4521"},
                                        {66, "0.003"},
                                        {77, "mm"}});
    QCOMPARE(buildRecordLine(dist, readFields(shifted, dist)).line,
             QString(line).replace(76, 2, QStringLiteral("mm")));
}

void tst_RecordLine::missingValuesLeaveFieldsBlank()
{
    const RecordType &hi = m_catalogue.at(m_catalogue.indexOf(QStringLiteral("HI")));
    const BuiltLine built = buildRecordLine(hi, {QStringLiteral("PT1")});
    QVERIFY(built.fits());
    QCOMPARE(built.line, placedLine({{2, "HI"}, {11, "PT1"}, {36, " "}}));
}

void tst_RecordLine::tooLongValueRefused_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("writtenLength");

    QTest::newRow("number") << "DIST" << 4 << "12345678901" << 11;
    QTest::newRow("number with exponent") << "HI" << 1 << "1e30" << 31;
    QTest::newRow("flags") << "XYZ" << 0 << "1101" << 4;
    QTest::newRow("degrees") << "PLH" << 2 << "N1234 5 6" << 18;
    QTest::newRow("minutes, width 7") << "LAMB" << 1 << "N12 345" << 8;
    QTest::newRow("decimal degrees") << "PLHD" << 3 << "E12345678901234567" << 18;
    QTest::newRow("choice not an item") << "DIST" << 5 << "mmm" << 3;
}

void tst_RecordLine::tooLongValueRefused()
{
    QFETCH(QString, code);
    QFETCH(int, field);
    QFETCH(QString, value);
    QFETCH(int, writtenLength);

    const RecordType &type = m_catalogue.at(m_catalogue.indexOf(code));
    QStringList values;
    for (int i = 0; i < type.fields.size(); ++i)
        values.append(i == field ? value : formValue(type.fields.at(i), i));
    const BuiltLine built = buildRecordLine(type, values);
    QVERIFY(!built.fits());
    QCOMPARE(built.overflowField, field);
    QCOMPARE(built.writtenLength, writtenLength);
    QVERIFY(built.line.isEmpty());
}

QTEST_GUILESS_MAIN(tst_RecordLine)
#include "tst_recordline.moc"
