#ifndef SUMMARYROW_H
#define SUMMARYROW_H

#include <QColor>
#include <QStringList>

struct FicResult;

// The processing summary shows one row per processed file; these give its texts and the colour
// of its state, from the header of the file's result.

// The eight cells: file, state, computation, observations, unknowns, variance, chi-square,
// iterations. Statistics of a failed or unreadable run are shown as "-".
QStringList summaryRowTexts(const FicResult &result);

// Green for a successful run, yellow for a failed one, red for an unreadable result file.
QColor summaryStateColour(int status);

#endif // SUMMARYROW_H
