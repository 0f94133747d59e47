#include "drwreader.h"

#include "binaryfieldreader.h"

#include <QFile>
#include <QFileInfo>

#include <limits>
#include <utility>

namespace {

constexpr qint64 kFieldBytes = 8;
constexpr qint64 kCoordinateBytes = 3 * kFieldBytes;
constexpr qint64 kSinglePointRecordBytes = 5 * kFieldBytes;
constexpr qint64 kTwoPointRecordBytes = 6 * kFieldBytes;

qint32 lowBits(qint64 value)
{
    return static_cast<qint32>(static_cast<quint32>(value & 0xffffffff));
}

enum class RecordKind { Absolute, Relative, BetweenEpochs };

// Reads one region section into `regions`; returns false when the file ended before the count it
// gave, so that no later section is read from a misaligned place.
bool readSection(BinaryFieldReader &reader, RecordKind kind, QVector<DrwRegion> &regions)
{
    const qint64 count = reader.readI64();
    const qint64 recordBytes =
        kind == RecordKind::Relative ? kTwoPointRecordBytes : kSinglePointRecordBytes;
    const qint64 whole = reader.boundedCount(count, recordBytes);
    regions.reserve(int(whole));
    for (qint64 k = 0; k < whole; ++k) {
        DrwRegion region;
        region.point1 = lowBits(reader.readI64());
        if (kind == RecordKind::Relative)
            region.point2 = lowBits(reader.readI64());
        else if (kind == RecordKind::BetweenEpochs)
            region.point2 = region.point1;
        region.epoch = lowBits(reader.readI64());
        region.semiAxis1 = reader.readF64();
        region.semiAxis2 = reader.readF64();
        region.bearing = reader.readF64();
        regions.append(region);
    }
    return whole == qMax<qint64>(count, 0);
}

} // namespace

DrwDrawing readDrw(const QString &path)
{
    DrwDrawing drawing;
    drawing.fileName = QFileInfo(path).fileName();

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return drawing;
    const QByteArray bytes = file.readAll();
    BinaryFieldReader reader(reinterpret_cast<const uchar *>(bytes.constData()), bytes.size());

    drawing.epochCount = lowBits(reader.readI64());
    // Each name takes at least its word count, which bounds N by the bytes left.
    const qint64 declaredPoints = reader.readI64();
    const int n = int(qMin<qint64>(reader.boundedCount(declaredPoints, kFieldBytes),
                                   std::numeric_limits<int>::max()));

    QStringList names;
    names.reserve(n);
    for (int i = 0; i < n; ++i)
        names.append(reader.readText());

    drawing.points.reserve(n);
    for (int i = 0; i < n && reader.remaining() >= kCoordinateBytes; ++i) {
        DrwPoint point;
        point.name = names.at(i);
        point.y = reader.readF64();
        point.x = reader.readF64();
        point.z = reader.readF64();
        drawing.points.append(point);
    }
    drawing.pointCount = drawing.points.size();
    drawing.pointNames = names.mid(0, drawing.pointCount);
    if (drawing.pointCount < n)
        return drawing;

    // Rows are made only while the file has entries for them, so a large N in a short file
    // allocates no more than one row past what it holds.
    drawing.links.reserve(int(reader.boundedCount(n, n * kFieldBytes)) + 1);
    for (int i = 0; i < n && reader.remaining() >= kFieldBytes; ++i) {
        QVector<qint32> row(n, 0);
        for (int j = 0; j < n && reader.remaining() >= kFieldBytes; ++j)
            row[j] = lowBits(reader.readI64());
        drawing.links.append(row);
    }

    const std::pair<RecordKind, QVector<DrwRegion> *> sections[] = {
        {RecordKind::Absolute, &drawing.absoluteEllipses},
        {RecordKind::Relative, &drawing.relativeEllipses},
        {RecordKind::Absolute, &drawing.absoluteRectangles},
        {RecordKind::Relative, &drawing.relativeRectangles},
        {RecordKind::BetweenEpochs, &drawing.epochEllipses},
        {RecordKind::BetweenEpochs, &drawing.epochRectangles},
    };
    for (const auto &[kind, regions] : sections) {
        if (!readSection(reader, kind, *regions))
            break;
    }
    return drawing;
}
