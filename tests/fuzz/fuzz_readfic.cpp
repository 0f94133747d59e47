// Feeds arbitrary bytes to the result file reader, with and without the observation records.
// The reader must neither crash nor read outside its lists; the sanitizers watch both.

#include "ficreader.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    for (const bool withObservations : {false, true}) {
        const FicResult result = readFicBytes(bytes, withObservations);
        // No list holds more entries than the bytes could describe.
        if (qint64(result.observations.size()) * 104 > qint64(size) ||
            qint64(result.pointNames.size() + result.observationFiles.size()) * 8 > qint64(size))
            __builtin_trap();
        for (const FicObservation &o : result.observations) {
            if (o.rank != 0 && (o.rank < 1 || o.rank > result.observations.size()))
                __builtin_trap();
        }
    }
    return 0;
}
