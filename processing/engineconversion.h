#ifndef ENGINECONVERSION_H
#define ENGINECONVERSION_H

#include <QString>

// The engine calls that write one file: the import of one external data file and the conversion
// of a geoid grid. A call is done only when it wrote its output and reported no failure. When the
// engine writes no output it leaves its reason, one Latin-1 line, in the file named as the output
// plus ".err"; that file is read, then removed.
class EngineConversion
{
public:
    struct Outcome
    {
        bool done = false;
        QString reason; // why nothing was written, when not done
    };

    // `kind`, `options`: as EngineLibrary::runEngineConvert.
    static Outcome convert(int kind, const QString &inputPath, const QString &outputPath,
                           const QString &options);
    static Outcome geoid(const QString &inputPath, const QString &outputPath);

    // Where the engine leaves its reason for not writing `outputPath`.
    static QString failurePath(const QString &outputPath);
};

#endif // ENGINECONVERSION_H
