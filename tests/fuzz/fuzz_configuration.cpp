// Fuzz target for the configuration read together with an observation file, run through the
// whole processing in memory: the key columns and their values, the options they give (angle and
// linear units, precision models, probabilities, region modes, report switches) and what those
// options do to the reading, the adjustment, the statistics, the regions, the report, the result
// file and the drawing. The input is the configuration text up to its first form feed, then the
// observation file; without a form feed the observation file is empty. Included files are all
// missing, and nothing touches the disk. A run must end with a result file whose numbers, like
// those of its drawing, are all finite when it succeeds.

#include "engine/api/process.h"
#include "engine/input/observationreader.h"
#include "engine/output/drawingfile.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

// Reads the result file's fields in order; any overrun or non-finite real stops the fuzzer.
class ResultReader
{
public:
    explicit ResultReader(const std::string &bytes)
        : m_bytes(bytes)
    {}

    std::int64_t i64()
    {
        if (m_bytes.size() - m_at < 8)
            __builtin_trap();
        std::uint64_t bits = 0;
        for (int i = 7; i >= 0; --i)
            bits = (bits << 8) | static_cast<unsigned char>(m_bytes[m_at + std::size_t(i)]);
        m_at += 8;
        return static_cast<std::int64_t>(bits);
    }

    double f64()
    {
        const auto bits = static_cast<std::uint64_t>(i64());
        double value = 0.0;
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value))
            __builtin_trap();
        return value;
    }

    void text()
    {
        const std::int64_t words = i64();
        if (words < 0 || static_cast<std::uint64_t>(words) > (m_bytes.size() - m_at) / 8)
            __builtin_trap();
        m_at += static_cast<std::size_t>(words) * 8;
    }

    void skip(int fields)
    {
        for (int i = 0; i < fields; ++i)
            i64();
    }

    bool atEnd() const { return m_at == m_bytes.size(); }

private:
    const std::string &m_bytes;
    std::size_t m_at = 0;
};

void checkResult(const std::string &bytes)
{
    ResultReader r(bytes);
    const std::int64_t status = r.i64();
    r.skip(1);
    const std::int64_t observations = r.i64();
    r.skip(3);
    if (status == 0)
        r.f64(); // variance factor
    else
        r.skip(1);
    r.skip(1);
    for (std::int64_t n = r.i64(); n > 0; --n)
        r.text();
    r.text();
    for (std::int64_t n = r.i64(); n > 0; --n)
        r.text();
    r.skip(4);
    if (status == 0) {
        for (std::int64_t i = 0; i < observations; ++i) {
            r.skip(1);
            r.f64(); // value
            r.skip(1);
            r.f64(); // residual
            r.f64(); // normalized residual
            r.f64(); // reliability
            r.skip(7);
        }
    }
    if (!r.atEnd())
        __builtin_trap();
}

void checkDrawing(const engine::DrawingFile &drawing)
{
    for (const Eigen::Vector3d &c : drawing.coordinates) {
        if (!c.allFinite())
            __builtin_trap();
    }
    for (const auto *regions : {&drawing.absoluteEllipses, &drawing.relativeEllipses,
                                &drawing.absoluteRectangles, &drawing.relativeRectangles}) {
        for (const engine::DrawingRegion &region : *regions) {
            if (!std::isfinite(region.shape.semiAxis1) || !std::isfinite(region.shape.semiAxis2) ||
                !std::isfinite(region.shape.bearing))
                __builtin_trap();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);
    const std::size_t split = input.find('\f');
    const std::string configuration = input.substr(0, split);
    const std::string observations = split == std::string::npos ? "" : input.substr(split + 1);
    const std::string observationPath = engine::normalizedPath("fuzz/main.iob");
    const std::string configurationPath = engine::normalizedPath("fuzz/main.cfg");
    const engine::FileLoader loader = [&](const std::string &path, std::string &content) {
        if (path == observationPath)
            content = observations;
        else if (path == configurationPath)
            content = configuration;
        else
            return false;
        return true;
    };
    const engine::ProcessOutput output =
        engine::runProcessing(observationPath, configurationPath, loader);
    if (output.summary.status == 0 && output.summary.errors != 0)
        __builtin_trap();
    checkResult(output.result);
    if (output.drawing)
        checkDrawing(*output.drawing);
    return 0;
}
