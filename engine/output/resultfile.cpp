#include "engine/output/resultfile.h"

#include "engine/base/chunkedloop.h"
#include "engine/base/prefetch.h"
#include "engine/model/angles.h"
#include "engine/output/binarywriter.h"

namespace engine {

namespace {

constexpr std::size_t kRecordBytes = 13 * 8;

// `bytes` followed by the names of the epochs of a multi-epoch run, after the records: readers of
// the records alone never reach them.
std::string withEpochNames(std::string bytes, const ResultFile &file)
{
    if (file.epochNames.empty())
        return bytes;
    BinaryWriter e;
    e.text(kEpochNamesMarker);
    e.i64(static_cast<std::int64_t>(file.epochNames.size()));
    for (const std::string &name : file.epochNames)
        e.text(name);
    bytes += std::move(e).bytes();
    return bytes;
}

// The file with `count` records, record k given by `recordAt(k)`, each encoded at its place in
// parallel.
template <typename RecordAt>
std::string encode(const ResultFile &file, std::size_t count, const RecordAt &recordAt)
{
    BinaryWriter e;
    const bool withRecords = file.status == 0;
    std::size_t texts = 0;
    for (const auto *names : {&file.observationFiles, &file.pointNames})
        for (const std::string &name : *names)
            texts += 8 + name.size() + 8;
    e.reserve(160 + texts + file.logFile.size() + (withRecords ? kRecordBytes * count : 0));
    e.i64(file.status);
    e.i64(file.calculation);
    e.i64(withRecords ? static_cast<std::int64_t>(count) : file.observationCount);
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
    std::string bytes = std::move(e).bytes();
    if (!withRecords)
        return withEpochNames(std::move(bytes), file);
    const std::size_t start = bytes.size();
    bytes.resize(start + kRecordBytes * count);
    forEachChunk(count, 4096, [&](std::size_t begin, std::size_t end) {
        for (std::size_t k = begin; k < end; ++k) {
            const ResultRecord r = recordAt(k);
            char *at = bytes.data() + start + kRecordBytes * k;
            at = BinaryWriter::putI64(at, r.epoch);
            at = BinaryWriter::putF64(at, r.value);
            at = BinaryWriter::putI64(at, r.rank);
            at = BinaryWriter::putF64(at, r.residual);
            at = BinaryWriter::putF64(at, r.normalizedResidual);
            at = BinaryWriter::putF64(at, r.reliability);
            at = BinaryWriter::putI64(at, r.valid);
            at = BinaryWriter::putI64(at, r.lineNumber);
            at = BinaryWriter::putI64(at, r.fileNumber);
            at = BinaryWriter::putI64(at, r.kind);
            at = BinaryWriter::putI64(at, r.component);
            at = BinaryWriter::putI64(at, r.station);
            BinaryWriter::putI64(at, r.target);
        }
    });
    return withEpochNames(std::move(bytes), file);
}

} // namespace

std::string encodeResultFile(const ResultFile &file)
{
    return encode(file, file.records.size(), [&](std::size_t k) { return file.records[k]; });
}

std::string encodeResultFile(const ResultFile &file, const Network &network,
                             const Statistics &statistics, AngleUnit unit)
{
    // The records go in rank order, scattered over memory: those a few places ahead are fetched
    // while this one is encoded.
    constexpr std::size_t kFetchAhead = 16;
    const std::size_t count = statistics.rankOrder.size();
    return encode(file, count, [&](std::size_t k) {
        if (k + kFetchAhead < count) {
            const auto ahead = static_cast<std::size_t>(statistics.rankOrder[k + kFetchAhead]);
            prefetchObject(network.observations[ahead]);
            prefetchObject(statistics.perObservation[ahead]);
        }
        const auto i = static_cast<std::size_t>(statistics.rankOrder[k]);
        const Observation &o = network.observations[i];
        ResultRecord record = observationRecord(o, statistics.perObservation[i], unit);
        record.station = o.station + 1;
        record.target = o.target + 1;
        return record;
    });
}

ResultRecord observationRecord(const Observation &o, const ObservationStatistics &s, AngleUnit unit)
{
    const bool angle = o.kind == ObservationKind::Direction || o.kind == ObservationKind::Azimuth ||
                       o.kind == ObservationKind::Zenith;
    // An observed latitude or longitude: its residual is in metres along north or east.
    const bool geographicAngle = o.kind == ObservationKind::Geographic && o.component < 2;
    ResultRecord rec;
    rec.value = angle || geographicAngle ? o.value / angleUnitInRadians(unit) : o.value;
    rec.rank = s.rank;
    rec.residual = angle ? s.residual / smallAngleUnitInRadians(unit) : s.residual;
    rec.normalizedResidual = s.normalized;
    rec.reliability = 100.0 * s.redundancy;
    rec.valid = s.valid ? 1 : 0;
    rec.lineNumber = o.lineNumber;
    rec.fileNumber = o.fileNumber;
    rec.kind = static_cast<std::int64_t>(o.kind);
    rec.component = isComponent(o.kind) ? o.component + 1 : 1;
    return rec;
}

ResidualTest residualTestCode(ResidualTestKind kind)
{
    return kind == ResidualTestKind::Tau      ? ResidualTest::Tau
           : kind == ResidualTestKind::Normal ? ResidualTest::Normal
                                              : ResidualTest::None;
}

} // namespace engine
