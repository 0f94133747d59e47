#ifndef RESIDUALCSV_H
#define RESIDUALCSV_H

#include <QString>

class ResidualTableModel;

// The residual table as the surveyor sees it, sorted and filtered, as a CSV file: a header line of
// the column titles, then one line per row shown, fields separated by ";" (the separator French
// spreadsheets read), a field holding ";", a quote or a line break quoted with its quotes doubled.
// Latin-1, written atomically. On failure returns false and sets `error` to the reason.
bool writeResidualCsv(const ResidualTableModel &model, const QString &path, QString &error);

// One line of CSV fields, as written above.
QString csvLine(const QStringList &fields);

#endif // RESIDUALCSV_H
