#ifndef OBSERVATIONTEXTS_H
#define OBSERVATIONTEXTS_H

#include <QString>

struct FicObservation;

// The residual window's texts for one observation, in the units and forms of the engine's report,
// each followed by its unit. The result file gives lengths and their residuals in metres, angles
// in decimal degrees, grades or radians by its angle unit ("DMS", "GRD", "RAD") and residuals of
// angles in arc seconds, decimilligrades or microradians. Directions, zenith angles and azimuths
// are shown within the full circle, as in the report; DMS as "ddd mm ss.ss".

// The observed value: "125.45210 m", "123 45 12.35 DMS", "137.459654 GRD", "2.15970000 RAD".
QString observationValueText(const FicObservation &observation, const QString &angleUnit);
// The residual: "-0.00123 m", "-1.50 \"", "3.20 cc", "0.75 urad".
QString observationResidualText(const FicObservation &observation, const QString &angleUnit);
// The residual in the small unit of its kind, without padding: millimetres for lengths
// ("-1.23 mm"), as observationResidualText for angles ("-1.50 \"").
QString residualTextInSmallUnit(const FicObservation &observation, const QString &angleUnit);
// The reliability, a redundancy number in per cent: "54.32 %".
QString reliabilityText(double reliability);

// Decimal degrees as "ddd mm ss.ss" with `decimals` decimals on the seconds, rounded to them
// first so that 59.999 seconds never shows as 60; a minus sign in front of a negative angle.
QString dmsText(double degrees, int decimals);

#endif // OBSERVATIONTEXTS_H
