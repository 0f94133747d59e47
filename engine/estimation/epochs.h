#ifndef ENGINE_ESTIMATION_EPOCHS_H
#define ENGINE_ESTIMATION_EPOCHS_H

#include "engine/base/diagnostics.h"
#include "engine/input/observationreader.h"
#include "engine/model/network.h"

#include <string>
#include <vector>

// The epochs of a multi-epoch analysis (MEP_MODE OUI). An EPOC record starts the records of an
// epoch, named in its columns 7 to 46 (blank: its number). The records before the first EPOC are
// shared by every epoch: the coordinates of the points, which so keep the same approximate
// values and the same fixity in every epoch, and the definitions (ellipsoid, projections, sigma
// families, angle unit). An observation there would be counted in every epoch, which are then no
// longer independent: it is an error. An epoch's own coordinate records give points that only
// that epoch observes.
namespace engine {

struct EpochSource
{
    std::string name; // Latin-1
    int fileNumber = 0;
    int lineNumber = 0; // of its EPOC record
    // The shared records, then the epoch's own; the lines view the texts of the source split.
    ObservationSource source;
    std::size_t sharedRecords = 0;
};

// The epochs of `source`, which must outlive them. No EPOC at all, or one without records of its
// own, is an error.
std::vector<EpochSource> splitEpochs(const ObservationSource &source, Diagnostics &diagnostics);

// An observation of `network`, built from `epoch`, that stands among the shared records is an
// error at its line.
void checkSharedRecords(const EpochSource &epoch, const Network &network, Diagnostics &diagnostics);

} // namespace engine

#endif // ENGINE_ESTIMATION_EPOCHS_H
