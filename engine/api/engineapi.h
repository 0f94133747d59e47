#ifndef ENGINE_API_ENGINEAPI_H
#define ENGINE_API_ENGINEAPI_H

#include <cstdint>

// The five entry points of the engine library. C calling convention; every argument by address:
// the 32-bit integers and the lengths of the texts first, in the order of the texts, then the
// texts themselves (Latin-1 characters, `length` of them). They return nothing: the engine
// reports through the files it writes. No exception leaves them.

#if defined(_WIN32)
#define TAVLO_CALL __cdecl
#if defined(TAVLO_ENGINE_BUILDING)
#define TAVLO_EXPORT __declspec(dllexport)
#else
#define TAVLO_EXPORT
#endif
#else
#define TAVLO_CALL
#define TAVLO_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

// Processes one observation file with one configuration file: writes the report (".log") and the
// result file (".fic") beside the observation file.
TAVLO_EXPORT void TAVLO_CALL tavlodll_process(const std::int32_t *iobLength,
                                              const std::int32_t *cfgLength, const char *iobPath,
                                              const char *cfgPath);

// Imports external data (kind 1 to 4: Covadis géobase, Leica SKI ASCII, RTKLib, Leica GSI) into
// the observation file `outputPath`, with the options string of the import dialog. When nothing
// is written, the reason goes, as one Latin-1 line, to `outputPath` followed by ".err"; a call that
// writes its output removes that file.
TAVLO_EXPORT void TAVLO_CALL tavlodll_convert(const std::int32_t *kind,
                                              const std::int32_t *inputLength,
                                              const std::int32_t *outputLength,
                                              const std::int32_t *optionsLength,
                                              const char *inputPath, const char *outputPath,
                                              const char *options);

// Converts a geoid grid (ISG, NOAA GTX, GeographicLib PGM or IGN ASCII) into the engine's ".geo"
// grid file; the reason of a conversion that writes nothing goes to `outputPath` + ".err" as for
// tavlodll_convert.
TAVLO_EXPORT void TAVLO_CALL tavlodll_geoid(const std::int32_t *inputLength,
                                            const std::int32_t *outputLength, const char *inputPath,
                                            const char *outputPath);

// Writes the default configuration file at `path`.
TAVLO_EXPORT void TAVLO_CALL tavlodll_newcfg(const std::int32_t *pathLength, const char *path);

// Stores the engine's name and version, one character code per integer, into `codes` (room for
// 23) and their number into `count`.
TAVLO_EXPORT void TAVLO_CALL tavlodll_version(std::int32_t *codes, std::int32_t *count);
}

#endif // ENGINE_API_ENGINEAPI_H
