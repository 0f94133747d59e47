#include "dxfwriter.h"

#include <QIODevice>

#include <algorithm>
#include <cmath>

namespace {

void appendCode(QByteArray &out, int code)
{
    char digits[12];
    int n = 0;
    unsigned rest = unsigned(std::abs(code));
    do {
        digits[n++] = char('0' + rest % 10);
        rest /= 10;
    } while (rest > 0);
    if (code < 0)
        digits[n++] = '-';
    std::reverse(digits, digits + n);
    out.append(digits, n);
    out += '\n';
}

void append(QByteArray &out, int code, const QByteArray &value)
{
    appendCode(out, code);
    out += value;
    out += '\n';
}

// `value` with four decimals, as printf's "%.4f" would write it, several times faster than the
// locale-aware conversions: a drawing holds a million coordinates.
void appendFixed4(QByteArray &out, double value)
{
    constexpr double kLargest = 9e14; // keeps value * 10^4 within 64 bits
    if (!std::isfinite(value) || std::abs(value) > kLargest) {
        out += std::isfinite(value) ? QByteArray::number(value, 'f', 4) : QByteArray("0.0");
        return;
    }
    const long long scaled = std::llround(std::abs(value) * 1e4);
    char digits[32];
    int n = 0;
    long long rest = scaled;
    do {
        digits[n++] = char('0' + rest % 10);
        rest /= 10;
        if (n == 4)
            digits[n++] = '.';
    } while (rest > 0 || n <= 5);
    if (value < 0.0 && scaled != 0)
        digits[n++] = '-';
    std::reverse(digits, digits + n);
    out.append(digits, n);
}

// One line, no control character: a value that ran over a line would shift every group after.
QByteArray latin1Line(const QString &text)
{
    QByteArray bytes = text.toLatin1();
    for (char &c : bytes) {
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    }
    return bytes;
}

} // namespace

void DxfWriter::addLayer(const QString &name, int colour)
{
    m_layers.append({name, colour});
}

void DxfWriter::reserve(int vertices)
{
    constexpr int kBytesPerVertex = 56; // "0 VERTEX 8 layer 10 x 20 y", each on its line
    m_entities.reserve(int(std::min<qint64>(qint64(vertices) * kBytesPerVertex, 1 << 30)));
}

void DxfWriter::group(int code, const QByteArray &value)
{
    append(m_entities, code, value);
}

void DxfWriter::group(int code, double value)
{
    appendCode(m_entities, code);
    appendFixed4(m_entities, value);
    m_entities += '\n';
}

void DxfWriter::entity(const char *type, const QString &layer)
{
    entity(type, latin1Line(layer));
}

void DxfWriter::entity(const char *type, const QByteArray &layer)
{
    m_entities += "0\n";
    m_entities += type;
    m_entities += "\n8\n";
    m_entities += layer;
    m_entities += '\n';
}

void DxfWriter::point(const QString &layer, double x, double y, double z)
{
    entity("POINT", layer);
    group(10, x);
    group(20, y);
    group(30, z);
}

void DxfWriter::line(const QString &layer, const QPointF &from, const QPointF &to)
{
    entity("LINE", layer);
    group(10, from.x());
    group(20, from.y());
    group(30, 0.0);
    group(11, to.x());
    group(21, to.y());
    group(31, 0.0);
}

void DxfWriter::text(const QString &layer, const QPointF &position, double height,
                     const QString &text)
{
    entity("TEXT", layer);
    group(10, position.x());
    group(20, position.y());
    group(30, 0.0);
    group(40, height);
    group(1, latin1Line(text));
}

void DxfWriter::polyline(const QString &layer, const QVector<QPointF> &vertices, bool closed)
{
    entity("POLYLINE", layer);
    group(66, QByteArray("1"));
    group(10, 0.0);
    group(20, 0.0);
    group(30, 0.0);
    group(70, QByteArray(closed ? "1" : "0"));
    const QByteArray layerName = latin1Line(layer);
    for (const QPointF &vertex : vertices) {
        // A vertex of a flat polyline takes its elevation from the polyline.
        entity("VERTEX", layerName);
        group(10, vertex.x());
        group(20, vertex.y());
    }
    entity("SEQEND", layerName);
}

bool DxfWriter::write(QIODevice &device) const
{
    QByteArray out;
    append(out, 0, "SECTION");
    append(out, 2, "HEADER");
    append(out, 9, "$ACADVER");
    append(out, 1, "AC1009");
    append(out, 9, "$DWGCODEPAGE");
    append(out, 3, "ANSI_1252");
    append(out, 0, "ENDSEC");

    append(out, 0, "SECTION");
    append(out, 2, "TABLES");
    append(out, 0, "TABLE");
    append(out, 2, "LTYPE");
    append(out, 70, "1");
    append(out, 0, "LTYPE");
    append(out, 2, "CONTINUOUS");
    append(out, 70, "0");
    append(out, 3, "Solid line");
    append(out, 72, "65");
    append(out, 73, "0");
    append(out, 40, "0.0");
    append(out, 0, "ENDTAB");
    append(out, 0, "TABLE");
    append(out, 2, "LAYER");
    append(out, 70, QByteArray::number(m_layers.size()));
    for (const Layer &layer : m_layers) {
        append(out, 0, "LAYER");
        append(out, 2, latin1Line(layer.name));
        append(out, 70, "0");
        append(out, 62, QByteArray::number(layer.colour));
        append(out, 6, "CONTINUOUS");
    }
    append(out, 0, "ENDTAB");
    append(out, 0, "ENDSEC");

    append(out, 0, "SECTION");
    append(out, 2, "ENTITIES");
    QByteArray end;
    append(end, 0, "ENDSEC");
    append(end, 0, "EOF");
    return device.write(out) == out.size() && device.write(m_entities) == m_entities.size() &&
           device.write(end) == end.size();
}
