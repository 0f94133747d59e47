#include "drwwriter.h"

#include <QFile>
#include <QString>
#include <QtEndian>

#include <cstring>

DrwWriter &DrwWriter::i64(qint64 value)
{
    char field[8];
    qToLittleEndian(value, field);
    m_bytes.append(field, sizeof field);
    return *this;
}

DrwWriter &DrwWriter::f64(double value)
{
    qint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return i64(bits);
}

DrwWriter &DrwWriter::text(const QString &text, int words)
{
    QByteArray latin1 = text.toLatin1();
    if (words < 0)
        words = (latin1.size() + 7) / 8;
    latin1 = latin1.leftJustified(8 * words, ' ', true);
    i64(words);
    m_bytes.append(latin1);
    return *this;
}

DrwWriter &DrwWriter::raw(const QByteArray &bytes)
{
    m_bytes.append(bytes);
    return *this;
}

QByteArray DrwWriter::file(const DrwDrawing &drawing)
{
    DrwWriter writer;
    const int n = drawing.points.size();
    writer.i64(drawing.epochCount).i64(n);
    for (const DrwPoint &point : drawing.points)
        writer.text(point.name);
    for (const DrwPoint &point : drawing.points)
        writer.f64(point.y).f64(point.x).f64(point.z);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j)
            writer.i64(drawing.link(i, j));
    }
    const auto section = [&writer](const QVector<DrwRegion> &regions, bool twoPoints) {
        writer.i64(regions.size());
        for (const DrwRegion &region : regions) {
            writer.i64(region.point1);
            if (twoPoints)
                writer.i64(region.point2);
            writer.i64(region.epoch)
                .f64(region.semiAxis1)
                .f64(region.semiAxis2)
                .f64(region.bearing);
        }
    };
    section(drawing.absoluteEllipses, false);
    section(drawing.relativeEllipses, true);
    section(drawing.absoluteRectangles, false);
    section(drawing.relativeRectangles, true);
    section(drawing.epochEllipses, false);
    section(drawing.epochRectangles, false);
    return writer.bytes();
}

bool DrwWriter::save(const QString &path, const QByteArray &bytes)
{
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
}

DrwPoint drwPoint(const QString &name, double x, double y, double z)
{
    DrwPoint p;
    p.name = name;
    p.x = x;
    p.y = y;
    p.z = z;
    return p;
}

DrwRegion drwRegion(int point1, int point2, int epoch, double a, double b, double bearing)
{
    DrwRegion r;
    r.point1 = point1;
    r.point2 = point2;
    r.epoch = epoch;
    r.semiAxis1 = a;
    r.semiAxis2 = b;
    r.bearing = bearing;
    return r;
}
