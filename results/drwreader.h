#ifndef DRWREADER_H
#define DRWREADER_H

#include "drwdrawing.h"

class QString;

// The drawing file holds, little-endian, in this order:
//   I64 E (epochs), I64 N (points), N TEXT point names, N x (F64 vertical, F64 horizontal,
//   F64 further) coordinates, N x N I64 link entries row by row, then six region sections
//   (absolute ellipses, relative ellipses, absolute rectangles, relative rectangles, ellipses
//   between epochs, rectangles between epochs), each an I64 count followed by that many records:
//   single-point records of 40 bytes (I64 point, I64 epoch, F64 half-axis 1, F64 half-axis 2,
//   F64 bearing) or two-point records of 48 bytes (I64 point 1, I64 point 2, I64 epoch, F64 x 3).
//
// Integers are kept as their low 32 bits. No count is trusted: each is bounded by the bytes left,
// and a truncated file gives what it holds whole: the points whose name and coordinates are all
// there (none of the rest of the file then), the link rows it reaches, the complete records of a
// section (no later section then). A file that cannot be opened gives an empty drawing with only
// its fileName set. Nothing is reported.
DrwDrawing readDrw(const QString &path);

#endif // DRWREADER_H
