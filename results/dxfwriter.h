#ifndef DXFWRITER_H
#define DXFWRITER_H

#include <QByteArray>
#include <QPointF>
#include <QString>
#include <QVector>

class QIODevice;

// A plain ASCII drawing exchange file of the oldest kind that every CAD program reads: a header,
// a table of layers and the entities POINT, LINE, TEXT and POLYLINE. Coordinates are in the
// file's unit (metres here), with a tenth of a millimetre; texts are written in Latin-1.
class DxfWriter
{
public:
    // Declares a layer; `colour` is an AutoCAD colour index (1 red, 3 green, 5 blue...).
    // Entities may only name declared layers.
    void addLayer(const QString &name, int colour);
    // Room for about `vertices` coordinate pairs, so that a large drawing is not copied over and
    // over as it grows.
    void reserve(int vertices);

    void point(const QString &layer, double x, double y, double z = 0.0);
    void line(const QString &layer, const QPointF &from, const QPointF &to);
    // `text` on one line, its bottom left corner at `position`, `height` high.
    void text(const QString &layer, const QPointF &position, double height, const QString &text);
    void polyline(const QString &layer, const QVector<QPointF> &vertices, bool closed);

    // Writes the whole file to `device`; false when it could not take it all.
    bool write(QIODevice &device) const;

private:
    struct Layer
    {
        QString name;
        int colour = 7;
    };
    void group(int code, const QByteArray &value);
    void group(int code, double value);
    void entity(const char *type, const QString &layer);
    void entity(const char *type, const QByteArray &layer);

    QVector<Layer> m_layers;
    QByteArray m_entities;
};

#endif // DXFWRITER_H
