#ifndef DRWWRITER_H
#define DRWWRITER_H

#include "drwdrawing.h"

#include <QByteArray>

class QString;

// Writes drawing files for the tests, field by field (to build damaged files) or whole from a
// model (to build valid ones).
class DrwWriter
{
public:
    DrwWriter &i64(qint64 value);
    DrwWriter &f64(double value);
    // A TEXT field of `words` eight-byte words holding `text` in Latin-1, padded with blanks;
    // with words < 0, as few words as hold the text.
    DrwWriter &text(const QString &text, int words = -1);
    DrwWriter &raw(const QByteArray &bytes);
    const QByteArray &bytes() const { return m_bytes; }

    // The whole file for `drawing`: N is the number of points, the link matrix is written N x N
    // from drawing.link(), point2 is written only for the relative sections.
    static QByteArray file(const DrwDrawing &drawing);
    static bool save(const QString &path, const QByteArray &bytes);

private:
    QByteArray m_bytes;
};

// A point record of the drawing model: `name` at east `x`, north `y` and height `z`.
DrwPoint drwPoint(const QString &name, double x, double y, double z = 0.0);

// A region record of the drawing model: at `point1` (and `point2` for the two-point families) in
// `epoch`, with half-axes `a` and `b` and the bearing of the first half-axis in degrees.
DrwRegion drwRegion(int point1, int point2, int epoch, double a, double b, double bearing);

#endif // DRWWRITER_H
