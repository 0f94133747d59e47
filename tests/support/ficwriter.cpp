#include "ficwriter.h"

#include <QFile>
#include <QtEndian>

#include <cstring>

QByteArray FicWriter::i64(qint64 value)
{
    QByteArray bytes(8, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray FicWriter::f64(double value)
{
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return i64(static_cast<qint64>(bits));
}

QByteArray FicWriter::text(const QString &text, qint64 words)
{
    QByteArray latin1 = text.toLatin1();
    if (words < 0)
        words = (latin1.size() + 7) / 8;
    const int width = int(words * 8);
    latin1 = latin1.left(width);
    latin1.append(QByteArray(width - latin1.size(), ' '));
    return i64(words) + latin1;
}

QByteArray FicWriter::record(const FicRecordFields &r)
{
    QByteArray bytes;
    bytes.reserve(104);
    bytes += i64(r.epoch);
    bytes += f64(r.value);
    bytes += i64(r.rank);
    bytes += f64(r.residual);
    bytes += f64(r.normalizedResidual);
    bytes += f64(r.reliability);
    bytes += i64(r.validity);
    bytes += i64(r.lineNumber);
    bytes += i64(r.fileNumber);
    bytes += i64(r.kind);
    bytes += i64(r.component);
    bytes += i64(r.station);
    bytes += i64(r.target);
    return bytes;
}

QByteArray FicWriter::header() const
{
    QByteArray bytes;
    bytes += i64(status);
    bytes += i64(calculationCode);
    bytes += i64(observationCount.value_or(records.size()));
    bytes += i64(unknownCount);
    bytes += i64(epochCount);
    bytes += i64(iterationCount);
    bytes += f64(varianceFactor);
    bytes += i64(chiSquareResult);
    bytes += i64(observationFileCount.value_or(observationFiles.size()));
    for (const QString &name : observationFiles)
        bytes += text(name);
    bytes += text(logFile);
    bytes += i64(pointCount.value_or(pointNames.size()));
    for (const QString &name : pointNames)
        bytes += text(name);
    bytes += f64(auxiliaryValue);
    bytes += i64(validObservationCount);
    bytes += i64(testCode);
    bytes += i64(angleUnitCode);
    return bytes;
}

QByteArray FicWriter::bytes() const
{
    QByteArray bytes = header();
    bytes.reserve(bytes.size() + records.size() * 104 + trailer.size());
    for (const FicRecordFields &r : records)
        bytes += record(r);
    bytes += trailer;
    return bytes;
}

bool FicWriter::write(const QString &path) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray data = bytes();
    return file.write(data) == data.size() && file.flush();
}

FicWriter FicWriter::sample(int count)
{
    FicWriter w;
    w.unknownCount = 3 * 20;
    w.epochCount = 1;
    w.iterationCount = 3;
    w.varianceFactor = 1.0234;
    w.observationFiles = QStringList{QStringLiteral("/data/reseau.iob")};
    w.logFile = QStringLiteral("/data/reseau.log");
    for (int p = 1; p <= 20; ++p)
        w.pointNames.append(QStringLiteral("P%1").arg(p));
    w.auxiliaryValue = 0.5;
    w.records.reserve(count);
    for (int i = 1; i <= count; ++i) {
        FicRecordFields r;
        r.epoch = 1;
        r.value = 100.0 + i * 0.001;
        r.rank = i;
        r.residual = 0.001 * (i % 7) - 0.003;
        r.normalizedResidual = 3.0 - 3.0 * i / count;
        r.reliability = 0.1 + (i % 5) * 0.1;
        r.validity = i % 10 == 0 ? 0 : 1;
        r.lineNumber = i + 5;
        r.fileNumber = 1;
        r.kind = i % 2 ? 1 : 6;
        r.component = 1 + i % 3;
        r.station = 1 + i % 20;
        r.target = 1 + (i + 1) % 20;
        w.records.append(r);
    }
    w.validObservationCount = count - count / 10;
    return w;
}
