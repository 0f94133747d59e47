#ifndef ENGINETESTHELPERS_H
#define ENGINETESTHELPERS_H

#include "engine/estimation/adjustment.h"
#include "engine/estimation/statistics.h"
#include "engine/input/observationreader.h"
#include "engine/model/networkbuilder.h"
#include "engine/model/options.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Runs the engine's stages in memory on observation files given as texts.
struct EngineRun
{
    engine::Diagnostics diagnostics;
    engine::ObservationSource source;
    engine::Network network;
    engine::AdjustmentOutcome outcome;
    engine::Statistics statistics;
    bool solved = false;

    int pointIndex(const std::string &name) const { return network.pointIndex.at(name); }
    Eigen::Vector3d adjusted(const std::string &name) const
    {
        return outcome.state.coordinates[static_cast<std::size_t>(pointIndex(name))];
    }
};

inline engine::FileLoader memoryLoader(const std::map<std::string, std::string> &files)
{
    return [files](const std::string &path, std::string &content) {
        const auto found = files.find(path);
        if (found == files.end())
            return false;
        content = found->second;
        return true;
    };
}

// A record line: its code in columns 2 to 5 and each text from its first column (from 1).
inline std::string record(const std::string &code,
                          const std::vector<std::pair<int, std::string>> &fields)
{
    std::string line = " " + code;
    for (const auto &[first, value] : fields) {
        const std::size_t at = static_cast<std::size_t>(first - 1);
        if (line.size() < at)
            line.resize(at, ' ');
        line.replace(at, std::min(value.size(), line.size() - at), value);
    }
    return line;
}

// A number for a record field: fixed, `decimals` decimals.
inline std::string fixedText(double value, int decimals)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

inline std::string joinLines(const std::vector<std::string> &lines)
{
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    return text;
}

inline std::unique_ptr<EngineRun> runEngine(const std::vector<std::string> &lines,
                                            const engine::Options &options = engine::Options())
{
    auto run = std::make_unique<EngineRun>();
    const std::string path = engine::normalizedPath("network.iob");
    run->source = engine::readObservationFiles(path, memoryLoader({{path, joinLines(lines)}}),
                                               run->diagnostics);
    run->network = engine::buildNetwork(run->source, options, run->diagnostics);
    if (run->diagnostics.hasErrors())
        return run;
    run->outcome = engine::adjust(run->network, options, run->diagnostics);
    if (run->outcome.solved && !run->diagnostics.hasErrors()) {
        run->statistics = engine::computeStatistics(run->network, run->outcome, options);
        run->solved = engine::checkDetermination(run->network, run->outcome, run->statistics,
                                                 run->diagnostics);
    }
    return run;
}

inline std::string diagnosticsText(const engine::Diagnostics &diagnostics)
{
    std::string text;
    for (const auto &d : diagnostics.items())
        text += d.file + ":" + std::to_string(d.line) + ": " + d.text + "\n";
    return text;
}

#endif // ENGINETESTHELPERS_H
