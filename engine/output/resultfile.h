#ifndef ENGINE_OUTPUT_RESULTFILE_H
#define ENGINE_OUTPUT_RESULTFILE_H

#include "engine/estimation/statistics.h"
#include "engine/model/network.h"
#include "engine/model/options.h"

#include <cstdint>
#include <string>
#include <vector>

// The result file (".fic"), little-endian: I64 a signed 64-bit integer, F64 an IEEE 754 binary64
// real, TEXT an I64 word count n then 8n Latin-1 bytes padded with blanks. The header is followed,
// for a successful run only, by one record of 13 fields (104 bytes) per observation, in rank
// order. A run of several epochs then names them: the TEXT kEpochNamesMarker, an I64 count and
// that many TEXT names. Readers of the header and the records never reach these bytes.
namespace engine {

constexpr const char *kEpochNamesMarker = "EPOQUES";

struct ResultRecord
{
    std::int64_t epoch = 1;
    double value = 0.0;
    std::int64_t rank = 0;
    double residual = 0.0;
    double normalizedResidual = 0.0;
    double reliability = 0.0;
    std::int64_t valid = 0;
    std::int64_t lineNumber = 0;
    std::int64_t fileNumber = 0;
    std::int64_t kind = 0;
    std::int64_t component = 1;
    std::int64_t station = 0; // from 1
    std::int64_t target = 0;  // from 1
};

// Codes of the residual test, header field 16.
enum class ResidualTest { None = 1, Normal = 2, Tau = 3 };

struct ResultFile
{
    std::int64_t status = 1;      // 0 succeeded, 1 failed
    std::int64_t calculation = 1; // 1 AJUSTEMENT
    std::int64_t observationCount = 0;
    std::int64_t unknownCount = 0;
    std::int64_t epochCount = 1;
    std::int64_t iterationCount = 0;
    double varianceFactor = 0.0;
    std::int64_t chiSquare = 2;                // 0 failed, 1 passed, 2 no outcome
    std::vector<std::string> observationFiles; // Latin-1
    std::string logFile;
    std::vector<std::string> pointNames;
    double auxiliaryValue = 0.0; // v'Pv of the global test
    std::int64_t validCount = 0;
    std::int64_t residualTest = static_cast<std::int64_t>(ResidualTest::None);
    std::int64_t angleUnit = 1;          // 1 GRD, 2 DMS, 3 RAD
    std::vector<ResultRecord> records;   // written only when status is 0
    std::vector<std::string> epochNames; // Latin-1; written when not empty
};

// The bytes of the file.
std::string encodeResultFile(const ResultFile &file);
// The bytes of the file of a run, whose records are those of its observations in rank order
// (their points numbered from 1 in network order), encoded as they are made rather than held:
// `file.records` is not read.
std::string encodeResultFile(const ResultFile &file, const Network &network,
                             const Statistics &statistics, AngleUnit unit);

// The record of observation `o` and its statistics `s`: angles in `unit`, angular residuals in
// its small unit. Station and target stay 0: the caller numbers the points.
ResultRecord observationRecord(const Observation &o, const ObservationStatistics &s,
                               AngleUnit unit);

// The header's code of the residual test.
ResidualTest residualTestCode(ResidualTestKind kind);

} // namespace engine

#endif // ENGINE_OUTPUT_RESULTFILE_H
