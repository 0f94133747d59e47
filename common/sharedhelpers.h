#ifndef SHAREDHELPERS_H
#define SHAREDHELPERS_H

#include <QString>

// Absolute folder of `path`, the native separator, the complete base name of `path` (its file
// name without the last extension) and `extension` (given with its dot, e.g. ".log").
QString siblingPath(const QString &path, const QString &extension);

// `value` in fixed notation with exactly `decimals` digits after the point, left-padded with
// blanks to `width` characters; a longer text is kept whole.
QString formatFixed(double value, int width, int decimals);

// Every "," replaced by "." and the surrounding white space removed.
QString normaliseDecimal(const QString &text);

#endif // SHAREDHELPERS_H
