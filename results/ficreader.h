#ifndef FICREADER_H
#define FICREADER_H

#include "ficresult.h"

#include <QString>
#include <QtGlobal>

// The result file (".fic") the engine writes beside each processed observation file. All values
// are little-endian I64, F64 or TEXT (see BinaryFieldReader). Header, in order: status,
// computation code, N observations, unknowns, epochs, iterations, variance factor (F64),
// chi-square outcome, F then F observation file names (TEXT), report path (TEXT), P then P point
// names (TEXT), an auxiliary real (F64), valid observations, residual test code, angle unit code.
// Then N records of 104 bytes: epoch, value (F64), rank, residual (F64), normalized residual (F64),
// reliability (F64), validity, line number, file number, kind, component, station, target.
// A run of several epochs then names them, past the records (past the header of a failed run,
// which has none): the TEXT "EPOQUES", a count and that many TEXT names; older files end before.
//
// Nothing read from the file is trusted. Every count is bounded by the bytes left, so the memory
// used is bounded by the file's size: `observations` holds at most as many entries as whole
// records follow the header, while `observationCount` keeps the value read. A record whose rank
// is outside the list is skipped; a point number outside `pointNames` gives an empty name. Past
// the end of a truncated file every number reads as 0 and every text as empty.

// Reads the result file at `path`. The records are read only when `withObservations` is true
// and the status read is 0; otherwise `observations` holds default entries. A file that cannot
// be opened, or too short to hold its status, gives `status` 2 and nothing else but `fileName`.
FicResult readFic(const QString &path, bool withObservations);

// The same from the bytes of a result file already in memory; `fileName` is left empty.
FicResult readFicBytes(const QByteArray &bytes, bool withObservations);

// The record code ("DIST", "DIR", ...) of an observation kind, or for coordinate-like kinds the
// letter of `component` (1 to 3) within it; empty for an unknown kind or component.
QString observationTypeLabel(qint64 kind, qint64 component);

#endif // FICREADER_H
