#include "engine/output/resultfile.h"

#include "engine/model/angles.h"
#include "engine/output/binarywriter.h"

namespace engine {

std::string encodeResultFile(const ResultFile &file)
{
    BinaryWriter e;
    const bool withRecords = file.status == 0;
    std::size_t texts = 0;
    for (const auto *names : {&file.observationFiles, &file.pointNames})
        for (const std::string &name : *names)
            texts += 8 + name.size() + 8;
    e.reserve(160 + texts + file.logFile.size() + (withRecords ? 104 * file.records.size() : 0));
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
