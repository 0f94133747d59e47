#include "dxfwriter.h"

#include <cmath>

namespace {

void append(QByteArray &out, int code, const QByteArray &value)
{
    out += QByteArray::number(code);
    out += '\n';
    out += value;
    out += '\n';
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

void DxfWriter::group(int code, const QByteArray &value)
{
    append(m_entities, code, value);
}

void DxfWriter::group(int code, double value)
{
    append(m_entities, code,
           std::isfinite(value) ? QByteArray::number(value, 'f', 4) : QByteArray("0.0"));
}

void DxfWriter::entity(const char *type, const QString &layer)
{
    group(0, QByteArray(type));
    group(8, latin1Line(layer));
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
    for (const QPointF &vertex : vertices) {
        entity("VERTEX", layer);
        group(10, vertex.x());
        group(20, vertex.y());
        group(30, 0.0);
    }
    entity("SEQEND", layer);
}

QByteArray DxfWriter::toDxf() const
{
    QByteArray out;
    out.reserve(m_entities.size() + 1024 + 64 * m_layers.size());
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
    out += m_entities;
    append(out, 0, "ENDSEC");
    append(out, 0, "EOF");
    return out;
}
