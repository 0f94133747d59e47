#ifndef REPORTCRITICALVALUE_H
#define REPORTCRITICALVALUE_H

#include <QString>

class QIODevice;

// The critical value of the normalized residual test, as the engine's report at `path` prints it
// in its statistics ("Valeur critique ... : |w| <= 1.960 à 95.00 %"). The result file names the
// test but does not hold its value. NaN when the report cannot be read or names no value.
double reportedCriticalValue(const QString &path);
// The same, read from `report` (open for reading) from its current position.
double reportedCriticalValue(QIODevice &report);

#endif // REPORTCRITICALVALUE_H
