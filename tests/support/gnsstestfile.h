#ifndef GNSSTESTFILE_H
#define GNSSTESTFILE_H

#include <QList>
#include <QPair>
#include <QString>

// Builds observation lines for the GNSS vector tests: column 1 (a blank for a record line, "*" or
// "!" for a switched-off one), the code in columns 2 to 5, then each text at its 1-based column.
QString gnssRecord(QChar first, const QString &code, const QList<QPair<int, QString>> &fields = {});

// One baseline block: its 3DD, DXYZ, COV and three ELEM lines (an upper-triangular matrix), each
// line with `first` in column 1. `factor` and `ppm` are written as they stand into the COV
// header's columns 26 to 35 and 59 to 68.
QString gnssBlock(QChar first, const QString &station, const QString &target,
                  const QString &factor = QString(), const QString &ppm = QString());

#endif // GNSSTESTFILE_H
