#ifndef FICWRITER_H
#define FICWRITER_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

#include <optional>

// Builds result files (".fic") for the tests, field by field as the engine lays them out: any
// header, any records in any order, raw 64-bit values so that damaged files can be written too.
// The workbench itself never writes these files.
struct FicRecordFields
{
    qint64 epoch = 0;
    double value = 0.0;
    qint64 rank = 0;
    double residual = 0.0;
    double normalizedResidual = 0.0;
    double reliability = 0.0;
    qint64 validity = 1;
    qint64 lineNumber = 0;
    qint64 fileNumber = 1;
    qint64 kind = 1;
    qint64 component = 1;
    qint64 station = 1;
    qint64 target = 2;
};

class FicWriter
{
public:
    qint64 status = 0;
    qint64 calculationCode = 1;
    std::optional<qint64> observationCount; // the number of records when not set
    qint64 unknownCount = 0;
    qint64 epochCount = 0;
    qint64 iterationCount = 0;
    double varianceFactor = 0.0;
    qint64 chiSquareResult = 1;
    std::optional<qint64> observationFileCount; // the number of names when not set
    QStringList observationFiles;
    QString logFile;
    std::optional<qint64> pointCount; // the number of names when not set
    QStringList pointNames;
    double auxiliaryValue = 0.0;
    qint64 validObservationCount = 0;
    qint64 testCode = 1;
    qint64 angleUnitCode = 1;
    QVector<FicRecordFields> records; // written in this order
    QByteArray trailer;               // raw bytes written after the records

    QByteArray header() const;
    QByteArray bytes() const;
    bool write(const QString &path) const;

    // A file of `count` records in rank order with every field derived from the rank, over a
    // small network: what a successful run on a sizeable observation file leaves.
    static FicWriter sample(int count);

    static QByteArray i64(qint64 value);
    static QByteArray f64(double value);
    // A TEXT field: `words` 8-byte words (the fewest that hold `text` when negative), the text in
    // Latin-1, blank-padded; a text longer than the words is cut.
    static QByteArray text(const QString &text, qint64 words = -1);
    static QByteArray record(const FicRecordFields &fields);
};

#endif // FICWRITER_H
