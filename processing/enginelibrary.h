#ifndef ENGINELIBRARY_H
#define ENGINELIBRARY_H

#include <QString>

// The adjustment engine is a shared library loaded at run time and called through five C entry
// points. Every argument goes by address: integers as 32-bit signed integers, each text as its
// Latin-1 bytes (a character Latin-1 cannot store becomes "?"), NUL-terminated, with its length
// in characters as a 32-bit integer. All integers and lengths come first, in the order of the
// texts, then the texts in the same order. The engine reports through the files it writes, so a
// true result only says that the entry point was found and called.
//
// Where the library is looked for:
// - when the environment variable TAVLO_ENGINE names an existing file, that file and nothing
//   else (a file there that is not a loadable engine makes every call fail);
// - otherwise, except on Windows, libtavlo.so in the folder of the running executable when it
//   is there, then in ../lib/tavlo relative to that folder, where an installation puts it
//   (/usr/bin/tavlo finds /usr/lib/tavlo/libtavlo.so);
// - otherwise the library "tavlo" (tavlo.dll, libtavlo.so) through the platform's own search,
//   which on Windows starts with the executable's folder.
//
// No call shows a message or lets a missing library or entry point crash the workbench.
class EngineLibrary
{
public:
    // Processes one observation file with one configuration file (tavlodll_process). The engine
    // writes its report, result file and drawing file beside the observation file.
    static bool runEngineProcess(const QString &iobPath, const QString &cfgPath);

    // Imports one external data file (tavlodll_convert); `kind` is the import type, 1 to 4, and
    // `options` the option string of the import dialog.
    static bool runEngineConvert(int kind, const QString &inputPath, const QString &outputPath,
                                 const QString &options);

    // Converts a geoid grid (tavlodll_geoid).
    static bool runEngineGeoid(const QString &inputPath, const QString &outputPath);

    // Has the engine write its default configuration file at `path` (tavlodll_newcfg).
    static bool runEngineNewCfg(const QString &path);

    // The engine's version text, at most 23 characters (tavlodll_version); empty when the library
    // or its entry point is missing. Unlike the other calls it leaves the library loaded.
    static QString engineVersion();

    // The file name handed to the loader, following the rules above.
    static QString libraryFileName();
    // The same for an executable in `applicationDir` (empty when there is no application).
    static QString libraryFileName(const QString &applicationDir);

    // `text` as the engine receives it: one Latin-1 byte per character, "?" for a character that
    // Latin-1 cannot store (a character beyond U+FFFF counts as one).
    static QByteArray engineText(const QString &text);
};

#endif // ENGINELIBRARY_H
