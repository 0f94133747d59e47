// tavlo-engine: the engine on the command line.
//   tavlo-engine process FILE.iob [FILE.iob ...] CONF.cfg   one summary line per file
//   tavlo-engine newcfg PATH                                 writes the default configuration
//   tavlo-engine version
//   tavlo-engine --help                                      this synopsis, as the manual page has
//   it
// Exits with 0 when everything succeeded, 1 when a processing failed, 2 on a usage error. Why the
// outputs of a processing were refused or could not be written goes to stderr.

#include "engine/api/process.h"
#include "engine/base/text.h"
#include "engine/base/version.h"

#include <cstdio>
#include <string>

namespace {

void printSynopsis(std::FILE *stream)
{
    std::fprintf(stream, "usage: tavlo-engine process FILE.iob [FILE.iob ...] CONF.cfg\n"
                         "       tavlo-engine newcfg PATH\n"
                         "       tavlo-engine version\n"
                         "       tavlo-engine --help\n");
}

int usage()
{
    printSynopsis(stderr);
    return 2;
}

// Arguments come in the system's encoding (UTF-8 here); the engine takes Latin-1 texts.
std::string argument(const char *text)
{
    return engine::latin1FromUtf8(text);
}

std::string chiSquareText(int outcome)
{
    return outcome == 1 ? "OK" : outcome == 0 ? "NON" : "-";
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return usage();
    const std::string command = argv[1];
    if ((command == "--help" || command == "-h") && argc == 2) {
        printSynopsis(stdout);
        return 0;
    }
    if (command == "version" && argc == 2) {
        std::printf("%s\n", engine::kEngineVersion);
        return 0;
    }
    if (command == "newcfg" && argc == 3) {
        if (!engine::writeDefaultConfiguration(argument(argv[2]))) {
            std::fprintf(stderr, "tavlo-engine: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    if (command != "process" || argc < 4)
        return usage();
    const std::string configuration = argument(argv[argc - 1]);
    int failures = 0;
    for (int i = 2; i < argc - 1; ++i) {
        const engine::ProcessSummary s =
            engine::processObservationFile(argument(argv[i]), configuration);
        if (s.status != 0)
            ++failures;
        const std::string variance =
            s.status == 0 && s.chiSquare != 2 ? engine::fixed(s.varianceFactor, 0, 4) : "-";
        // The reason goes where it is seen even when the report could not be written.
        if (!s.message.empty())
            std::fprintf(stderr, "tavlo-engine: %s: %s\n", argv[i],
                         engine::utf8FromLatin1(s.message).c_str());
        const char *state = s.status == 0     ? "OK"
                            : s.reportWritten ? "ECHEC (voir le rapport .log)"
                                              : "ECHEC (rapport non écrit)";
        std::printf("%s: %s  calcul %s  observations %d  inconnues %d  facteur de variance %s"
                    "  chi-deux %s  iterations %d  indices %d\n",
                    argv[i], state, s.calculation.empty() ? "-" : s.calculation.c_str(),
                    s.observations, s.unknowns, variance.c_str(),
                    s.status == 0 ? chiSquareText(s.chiSquare).c_str() : "-", s.iterations,
                    s.hints);
    }
    return failures == 0 ? 0 : 1;
}
