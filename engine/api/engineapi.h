#ifndef ENGINE_API_ENGINEAPI_H
#define ENGINE_API_ENGINEAPI_H

#include <stdint.h>

/* The five entry points of the engine library, a plain C header: the engine defines them, the
 * workbench loads them by name through the function types below, and the recording engine of the
 * tests stands in for them, all three from these declarations. C calling convention; every
 * argument by address: the 32-bit integers and the lengths of the texts first, in the order of
 * the texts, then the texts themselves (Latin-1 characters, `length` of them). They return
 * nothing: the engine reports through the files it writes. No exception leaves them. */

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

#ifdef __cplusplus
extern "C" {
#endif

/* Processes one observation file with one configuration file: writes the report (".log") and the
 * result file (".fic") beside the observation file. */
typedef void(TAVLO_CALL *tavlodll_process_fn)(const int32_t *iobLength, const int32_t *cfgLength,
                                              const char *iobPath, const char *cfgPath);
TAVLO_EXPORT void TAVLO_CALL tavlodll_process(const int32_t *iobLength, const int32_t *cfgLength,
                                              const char *iobPath, const char *cfgPath);

/* Imports external data (kind 1 to 4: Covadis géobase, Leica SKI ASCII, RTKLib, Leica GSI) into
 * the observation file `outputPath`, with the options string of the import dialog. When nothing
 * is written, the reason goes, as one Latin-1 line, to `outputPath` followed by ".err"; a call
 * that writes its output removes that file. */
typedef void(TAVLO_CALL *tavlodll_convert_fn)(const int32_t *kind, const int32_t *inputLength,
                                              const int32_t *outputLength,
                                              const int32_t *optionsLength, const char *inputPath,
                                              const char *outputPath, const char *options);
TAVLO_EXPORT void TAVLO_CALL tavlodll_convert(const int32_t *kind, const int32_t *inputLength,
                                              const int32_t *outputLength,
                                              const int32_t *optionsLength, const char *inputPath,
                                              const char *outputPath, const char *options);

/* Converts a geoid grid (ISG, NOAA GTX, GeographicLib PGM or IGN ASCII) into the engine's ".geo"
 * grid file; the reason of a conversion that writes nothing goes to `outputPath` + ".err" as for
 * tavlodll_convert. */
typedef void(TAVLO_CALL *tavlodll_geoid_fn)(const int32_t *inputLength, const int32_t *outputLength,
                                            const char *inputPath, const char *outputPath);
TAVLO_EXPORT void TAVLO_CALL tavlodll_geoid(const int32_t *inputLength, const int32_t *outputLength,
                                            const char *inputPath, const char *outputPath);

/* Writes the default configuration file at `path`. */
typedef void(TAVLO_CALL *tavlodll_newcfg_fn)(const int32_t *pathLength, const char *path);
TAVLO_EXPORT void TAVLO_CALL tavlodll_newcfg(const int32_t *pathLength, const char *path);

/* Stores the engine's name and version, one character code per integer, into `codes` (room for
 * 23) and their number into `count`. */
typedef void(TAVLO_CALL *tavlodll_version_fn)(int32_t *codes, int32_t *count);
TAVLO_EXPORT void TAVLO_CALL tavlodll_version(int32_t *codes, int32_t *count);

#ifdef __cplusplus
}
#endif

#endif /* ENGINE_API_ENGINEAPI_H */
