#ifndef PLACEDLINE_H
#define PLACEDLINE_H

#include <QPair>
#include <QString>

#include <initializer_list>

// A fixed-column line for tests: each text placed from its 1-based column, blanks elsewhere,
// so expected record lines read by their columns rather than by counted blanks.
QString placedLine(std::initializer_list<QPair<int, QString>> texts);

#endif // PLACEDLINE_H
