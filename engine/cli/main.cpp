// tavlo-engine: the engine on the command line.
//   tavlo-engine process FILE.iob [FILE.iob ...] CONF.cfg   one summary line per file
//   tavlo-engine newcfg PATH                                 writes the default configuration
//   tavlo-engine convert [--omer-origine-naturelle] DEFS.iob FROM TO [V1 V2 V3]
//                                                            one point from a coordinate form to
//                                                            another, or one point a line of the
//                                                            standard input
//   tavlo-engine version
//   tavlo-engine --help                                      this synopsis, as the manual page has
//   it
// Exits with 0 when everything succeeded, 1 when a processing failed, 2 on a usage error. Why the
// outputs of a processing were refused or could not be written goes to stderr.

#include "engine/api/pointconversion.h"
#include "engine/api/process.h"
#include "engine/base/allocatortuning.h"
#include "engine/base/text.h"
#include "engine/base/version.h"

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

void printSynopsis(std::FILE *stream)
{
    std::fprintf(stream, "usage: tavlo-engine process FILE.iob [FILE.iob ...] CONF.cfg\n"
                         "       tavlo-engine newcfg PATH\n"
                         "       tavlo-engine convert [--omer-origine-naturelle] DEFS.iob FROM TO "
                         "[V1 V2 V3]\n"
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

// convert: the definitions of an observation file, then the point of the arguments, or each line
// of the standard input.
int convert(int argc, char **argv)
{
    int next = 2;
    const bool naturalOrigin = next < argc && std::string(argv[next]) == "--omer-origine-naturelle";
    if (naturalOrigin)
        ++next;
    if (argc - next != 3 && argc - next != 6)
        return usage();
    const std::optional<engine::PointForm> from = engine::pointFormOf(argv[next + 1]);
    const std::optional<engine::PointForm> to = engine::pointFormOf(argv[next + 2]);
    if (!from || !to) {
        std::fprintf(stderr, "tavlo-engine: forme inconnue (XYZ, PLH, PLHD, PLO, PLOD, "
                             "NEH:PROJECTION, NEO:PROJECTION)\n");
        return 2;
    }
    std::string error;
    const std::optional<engine::PointConverter> converter = engine::PointConverter::load(
        argument(argv[next]), engine::diskFileLoader(), naturalOrigin, error);
    if (!converter) {
        std::fprintf(stderr, "%s", engine::utf8FromLatin1(error).c_str());
        return 1;
    }
    const auto one = [&](const std::vector<std::string> &values, const std::string &where) {
        std::string reason;
        const std::optional<std::string> text = converter->convert(*from, *to, values, reason);
        if (!text) {
            std::fprintf(stderr, "tavlo-engine: %s%s\n", where.c_str(),
                         engine::utf8FromLatin1(reason).c_str());
            return false;
        }
        std::printf("%s\n", text->c_str());
        return true;
    };
    if (argc - next == 6)
        return one({argument(argv[next + 3]), argument(argv[next + 4]), argument(argv[next + 5])},
                   std::string())
                   ? 0
                   : 1;
    bool ok = true;
    std::string line;
    for (long number = 1; std::getline(std::cin, line); ++number) {
        std::istringstream fields(line);
        std::vector<std::string> values;
        for (std::string value; fields >> value;)
            values.push_back(argument(value.c_str()));
        if (values.empty())
            continue;
        ok = one(values, "ligne " + std::to_string(number) + " : ") && ok;
    }
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    engine::restartWithAllocatorTuning(argv);
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
    if (command == "convert")
        return convert(argc, argv);
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
