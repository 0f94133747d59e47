#include "ficreader.h"

#include "binaryfieldreader.h"

#include <QFile>
#include <QFileInfo>

#include <limits>

namespace {

constexpr qint64 kRecordBytes = 13 * 8;
constexpr qint64 kMinTextBytes = 8; // the word count alone

// Qt's containers hold at most 2^31 bytes; a file large enough to exceed that is read in part
// rather than failing the allocation.
template <typename T>
constexpr qint64 kMaxEntries = (std::numeric_limits<int>::max() - 4096) / qint64(sizeof(T));

// The model keeps the low 32 bits of every integer of the file.
int low32(qint64 value)
{
    return static_cast<qint32>(static_cast<quint32>(static_cast<quint64>(value)));
}

QString calculationTypeName(qint64 code)
{
    switch (code) {
    case 1:
        return QStringLiteral("AJUSTEMENT");
    case 2:
        return QStringLiteral("PREANALYSE");
    case 3:
        return QStringLiteral("NORME L1");
    case 4:
        return QStringLiteral("HUBER");
    default:
        return QString();
    }
}

ChiSquareOutcome chiSquareOutcome(int code)
{
    switch (code) {
    case 0:
        return ChiSquareOutcome::Failed;
    case 1:
        return ChiSquareOutcome::Passed;
    default:
        return ChiSquareOutcome::NotTested;
    }
}

QString testNameOf(qint64 code)
{
    switch (code) {
    case 1:
        return QStringLiteral("Aucune");
    case 2:
        return QStringLiteral("Normale");
    case 3:
        return QStringLiteral("Tau");
    default:
        return QString();
    }
}

QString angleUnitName(qint64 code)
{
    switch (code) {
    case 1:
        return QStringLiteral("GRD");
    case 2:
        return QStringLiteral("DMS");
    case 3:
        return QStringLiteral("RAD");
    default:
        return QString();
    }
}

// Reads `count` texts, never more than the bytes left could hold.
QStringList readTexts(BinaryFieldReader &reader, qint64 count)
{
    QStringList texts;
    const qint64 bounded =
        qMin(reader.boundedCount(count, kMinTextBytes), kMaxEntries<QStringList::value_type>);
    texts.reserve(int(bounded));
    for (qint64 i = 0; i < bounded; ++i)
        texts.append(reader.readText());
    return texts;
}

// The name at `number` (from 1) in `names`, or an empty text outside the list.
QString nameAt(const QStringList &names, qint64 number)
{
    return number >= 1 && number <= names.size() ? names.at(int(number - 1)) : QString();
}

void readHeader(BinaryFieldReader &reader, FicResult &result, qint64 &recordCount)
{
    result.status = low32(reader.readI64());
    result.calculationType = calculationTypeName(reader.readI64());
    recordCount = reader.readI64();
    result.observationCount = low32(recordCount);
    result.unknownCount = low32(reader.readI64());
    result.epochCount = low32(reader.readI64());
    result.iterationCount = low32(reader.readI64());
    result.varianceFactor = reader.readF64();
    result.chiSquareResult = chiSquareOutcome(low32(reader.readI64()));

    const qint64 fileCount = reader.readI64();
    result.observationFileCount = low32(fileCount);
    result.observationFiles = readTexts(reader, fileCount);
    result.logFile = reader.readText();

    const qint64 pointCount = reader.readI64();
    result.pointCount = low32(pointCount);
    result.pointNames = readTexts(reader, pointCount);

    result.auxiliaryValue = reader.readF64();
    result.validObservationCount = low32(reader.readI64());
    result.testName = testNameOf(reader.readI64());
    result.angleUnit = angleUnitName(reader.readI64());
}

void readRecords(BinaryFieldReader &reader, qint64 recordCount, FicResult &result)
{
    const qint64 listSize = result.observations.size();
    FicObservation *entries = result.observations.data();
    for (qint64 i = 0; i < recordCount; ++i) {
        FicObservation o;
        o.epoch = low32(reader.readI64());
        o.value = reader.readF64();
        const qint64 rank = reader.readI64();
        o.rank = low32(rank);
        o.residual = reader.readF64();
        o.normalizedResidual = reader.readF64();
        o.reliability = reader.readF64();
        o.valid = reader.readI64() == 1;
        o.lineNumber = low32(reader.readI64());
        o.fileNumber = low32(reader.readI64());
        const qint64 kind = reader.readI64();
        const qint64 component = reader.readI64();
        o.typeLabel = observationTypeLabel(kind, component);
        const qint64 station = reader.readI64();
        const qint64 target = reader.readI64();
        o.stationIndex = low32(static_cast<qint64>(static_cast<quint64>(station) - 1));
        o.targetIndex = low32(static_cast<qint64>(static_cast<quint64>(target) - 1));
        o.station = nameAt(result.pointNames, station);
        o.target = nameAt(result.pointNames, target);
        if (rank >= 1 && rank <= listSize)
            entries[rank - 1] = std::move(o);
    }
}

// The names of the epochs after the records, when the bytes there begin with their marker.
QStringList readEpochNames(const QByteArray &bytes, qint64 offset)
{
    if (offset >= bytes.size())
        return {};
    BinaryFieldReader reader(reinterpret_cast<const uchar *>(bytes.constData()) + offset,
                             bytes.size() - offset);
    if (reader.readText() != QLatin1String("EPOQUES"))
        return {};
    const qint64 count = reader.boundedCount(reader.readI64(), kMinTextBytes);
    QStringList names;
    for (qint64 i = 0; i < count && !reader.atEnd(); ++i)
        names.append(reader.readText());
    return names;
}

} // namespace

FicResult readFic(const QString &path, bool withObservations)
{
    FicResult result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.status = 2;
    } else {
        // Mapping spares copying a large file; files that cannot be mapped are read whole.
        // Beyond 2 GB, more than the lists can hold, the rest is left unread.
        const qint64 size = qMin<qint64>(file.size(), std::numeric_limits<int>::max());
        const uchar *mapped = size > 0 ? file.map(0, size) : nullptr;
        const QByteArray bytes =
            mapped ? QByteArray::fromRawData(reinterpret_cast<const char *>(mapped), int(size))
                   : file.readAll();
        result = readFicBytes(bytes, withObservations);
    }
    result.fileName = QFileInfo(path).fileName();
    return result;
}

FicResult readFicBytes(const QByteArray &bytes, bool withObservations)
{
    FicResult result;
    // A file too short to hold even its status (an engine stopped before writing anything) is
    // as unreadable as a missing one, not a success.
    if (bytes.size() < 8) {
        result.status = 2;
        return result;
    }

    BinaryFieldReader reader(reinterpret_cast<const uchar *>(bytes.constData()), bytes.size());
    qint64 recordCount = 0;
    readHeader(reader, result, recordCount);

    // Only whole records that the file actually holds get an entry.
    const qint64 entries =
        qMin(reader.boundedCount(recordCount, kRecordBytes), kMaxEntries<FicObservation>);
    result.observations.resize(int(entries));
    const qint64 recordsEnd = reader.position() + (result.status == 0 ? entries * kRecordBytes : 0);
    if (withObservations && result.status == 0)
        readRecords(reader, entries, result);
    // A file holding fewer records than its header counts ends before any names.
    if (result.status != 0 || entries == recordCount)
        result.epochNames = readEpochNames(bytes, recordsEnd);
    return result;
}

QString observationTypeLabel(qint64 kind, qint64 component)
{
    switch (kind) {
    case 1:
        return QStringLiteral("DIST");
    case 2:
        return QStringLiteral("DIR");
    case 3:
        return QStringLiteral("ZANG");
    case 4:
        return QStringLiteral("OHDF");
    case 5:
        return QStringLiteral("AZIM");
    default:
        break;
    }
    // Literals, so that a million records share three static texts instead of allocating.
    const auto pick = [component](QString first, QString second, QString third) {
        switch (component) {
        case 1:
            return first;
        case 2:
            return second;
        case 3:
            return third;
        default:
            return QString();
        }
    };
    switch (kind) {
    case 6:
        return pick(QStringLiteral("DX"), QStringLiteral("DY"), QStringLiteral("DZ"));
    case 11:
        return pick(QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z"));
    case 12:
        return pick(QStringLiteral("P"), QStringLiteral("L"), QStringLiteral("H"));
    case 13:
        return pick(QStringLiteral("P"), QStringLiteral("L"), QStringLiteral("O"));
    case 14:
        return pick(QStringLiteral("N"), QStringLiteral("E"), QStringLiteral("H"));
    case 51:
        return pick(QStringLiteral("N"), QStringLiteral("E"), QStringLiteral("O"));
    default:
        return QString();
    }
}
