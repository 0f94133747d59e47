#ifndef FIELDFORMAT_H
#define FIELDFORMAT_H

#include <QString>

// Writing rules of the fields of an observation record line. Each takes the text the user typed
// and the field width w (characters) and returns the characters to write at the field's columns.
// Number, flags and angle values are never cut: a result longer than w means the value does not
// fit, and the caller must refuse it rather than let it run into the next field.

// A real number right-aligned in w characters, with the decimals typed but at most w - p - 2 of
// them (p = characters before the point), so one blank stays in front of the integral part.
// A decimal comma is accepted; text that is not a finite number is written as 0; empty text
// gives w blanks.
QString formatNumberField(const QString &text, int w);

// The text as typed, cut to w characters or padded on the right with blanks.
QString formatTextField(const QString &text, int w);

// Fixity flags ("1" fixed, "0" free, one per coordinate): trimmed, padded on the right.
QString formatFlagsField(const QString &text, int w);

// An angle in three parts: an optional hemisphere or sign prefix (N, S, E, W with O for ouest,
// + or -), degrees right-aligned in 3 characters, minutes in 2, and for w >= 8 the seconds as a
// number of w - 8 characters. Widths 7 (degrees and minutes), 15 and 17 are used.
QString formatDmsField(const QString &text, int w);

// An angle in decimal degrees: the prefix of formatDmsField, then the number in w - 1 characters.
QString formatDecimalDegreesField(const QString &text, int w);

#endif // FIELDFORMAT_H
