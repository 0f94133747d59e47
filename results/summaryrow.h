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

// The epochs a run of several epochs names, numbered, for the line under the table; empty for a
// file that names none.
QString summaryEpochText(const FicResult &result);

// Green for a successful run, yellow for a failed one, red for an unreadable result file.
QColor summaryStateColour(int status);

// The warning colour (the yellow of a failed run) for the chi-square cell of a successful run
// whose global test failed; an invalid colour, leaving the cell plain, otherwise.
QColor summaryChiSquareColour(const FicResult &result);

#endif // SUMMARYROW_H
