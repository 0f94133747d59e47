#ifndef GNSSVECTORS_H
#define GNSSVECTORS_H

#include <QList>
#include <QString>
#include <QVector>

// GNSS baselines of an observation file. A baseline block starts at a 3DD record and runs to the
// next 3DD record or the end of the file; it holds the DXYZ vector line, the COV matrix header and
// its ELEM lines. The record code sits in columns 2 to 5 whatever column 1 holds, so a block that
// was switched off (its lines made comments with "*" or "!") is still recognised.

struct GnssBaseline
{
    bool active = true; // the 3DD line has a blank in column 1
    QString station;    // columns 11 to 22 of the block's last DXYZ line, trimmed
    QString target;     // columns 24 to 35 of that line, trimmed
};

struct GnssVectorSummary
{
    QList<GnssBaseline> baselines; // in file order
    // "Facteur ALL" (columns 26 to 35) and "PPM DIAG" (columns 59 to 68) of the last COV header;
    // 1 and 0 without any COV header, 0 for a blank or unreadable field.
    double factor = 1.0;
    double ppm = 0.0;
};

// Reads the baselines of `text` (lines separated by '\n'). Vector and matrix lines that come
// before the first 3DD record belong to no baseline and are ignored.
GnssVectorSummary readGnssVectors(const QString &text);

// `text` with every baseline block switched on (blank in column 1 of its 3DD, ELEM, COV and DXYZ
// lines) or off ("*" there) after `active`, block by block in file order, and with the factor and
// the PPM written into every COV header of a block: blanks for a factor of 1 or a PPM of 0, else
// the value on 10 columns with 3 decimals. Lines before the first 3DD record, lines of other kinds
// and blocks beyond the end of `active` keep their text; the final line end stays as it was.
// `factor` and `ppm` must pass parseCovarianceValue.
QString rewriteGnssVectors(const QString &text, const QVector<bool> &active, double factor,
                           double ppm);

// The factor and PPM field texts shown for values read from a file.
QString factorFieldText(double factor);
QString ppmFieldText(double ppm);

// Reads a factor or PPM typed by the user: a decimal number, with a point or a comma, that fits
// the 10 columns of its COV field once written with 3 decimals. False for anything else.
bool parseCovarianceValue(const QString &text, double &value);

#endif // GNSSVECTORS_H
