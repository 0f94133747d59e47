#include "engine/output/resultfile.h"

#include <cstring>

namespace engine {

namespace {

class Encoder
{
public:
    void i64(std::int64_t value)
    {
        auto bits = static_cast<std::uint64_t>(value);
        for (int i = 0; i < 8; ++i) {
            m_bytes.push_back(static_cast<char>(bits & 0xFF));
            bits >>= 8;
        }
    }

    void f64(double value)
    {
        std::uint64_t bits = 0;
        static_assert(sizeof bits == sizeof value, "binary64 expected");
        std::memcpy(&bits, &value, sizeof bits);
        i64(static_cast<std::int64_t>(bits));
    }

    void text(const std::string &value)
    {
        const std::size_t words = (value.size() + 7) / 8;
        i64(static_cast<std::int64_t>(words));
        std::string padded = value;
        padded.resize(words * 8, ' ');
        m_bytes += padded;
    }

    std::string bytes() && { return std::move(m_bytes); }

private:
    std::string m_bytes;
};

} // namespace

std::string encodeResultFile(const ResultFile &file)
{
    Encoder e;
    const bool withRecords = file.status == 0;
    e.i64(file.status);
    e.i64(file.calculation);
    e.i64(withRecords ? static_cast<std::int64_t>(file.records.size()) : file.observationCount);
    e.i64(file.unknownCount);
    e.i64(file.epochCount);
    e.i64(file.iterationCount);
    e.f64(file.varianceFactor);
    e.i64(file.chiSquare);
    e.i64(static_cast<std::int64_t>(file.observationFiles.size()));
    for (const std::string &name : file.observationFiles)
        e.text(name);
    e.text(file.logFile);
    e.i64(static_cast<std::int64_t>(file.pointNames.size()));
    for (const std::string &name : file.pointNames)
        e.text(name);
    e.f64(file.auxiliaryValue);
    e.i64(file.validCount);
    e.i64(file.residualTest);
    e.i64(file.angleUnit);
    if (withRecords) {
        for (const ResultRecord &r : file.records) {
            e.i64(r.epoch);
            e.f64(r.value);
            e.i64(r.rank);
            e.f64(r.residual);
            e.f64(r.normalizedResidual);
            e.f64(r.reliability);
            e.i64(r.valid);
            e.i64(r.lineNumber);
            e.i64(r.fileNumber);
            e.i64(r.kind);
            e.i64(r.component);
            e.i64(r.station);
            e.i64(r.target);
        }
    }
    return std::move(e).bytes();
}

} // namespace engine
