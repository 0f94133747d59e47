#ifndef FICRESULT_H
#define FICRESULT_H

#include <QString>
#include <QStringList>
#include <QVector>

// The outcome of the global chi-square test, by its code in the result file.
enum class ChiSquareOutcome { Failed = 0, Passed = 1, NotTested = 2 };

// One observation of a result file, at the place given by its rank.
struct FicObservation
{
    double value = 0.0;
    double normalizedResidual = 0.0;
    double residual = 0.0;
    double reliability = 0.0;
    bool valid = false;
    int lineNumber = 0;
    int fileNumber = 0;
    int stationIndex = 0;
    int targetIndex = 0;
    int epoch = 0;
    int rank = 0;
    QString station;
    QString target;
    QString typeLabel;
};

// The result of one processed observation file, as the engine writes it beside the file (".fic").
struct FicResult
{
    QString fileName; // last path component of the file read
    int status = 0; // 0 succeeded, 1 failed, 2 the file could not be opened; other values fail too
    QString calculationType;
    int observationCount = 0;
    int unknownCount = 0;
    int epochCount = 0;
    int iterationCount = 0;
    double varianceFactor = 0.0;
    // An unknown code of the file reads as NotTested; a file too short to hold it as Failed.
    ChiSquareOutcome chiSquareResult = ChiSquareOutcome::Failed;
    int observationFileCount = 0;
    QStringList observationFiles;
    QString logFile;
    int pointCount = 0;
    QStringList pointNames;
    double auxiliaryValue = 0.0;
    int validObservationCount = 0;
    QString testName;
    QString angleUnit;
    QVector<FicObservation> observations; // in rank order
    // The names of the epochs, in order, when the file names them (a run of several epochs).
    QStringList epochNames;
};

#endif // FICRESULT_H
