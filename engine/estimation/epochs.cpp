#include "engine/estimation/epochs.h"

#include "engine/base/text.h"

#include <set>
#include <utility>

namespace engine {

namespace {

bool isEpochRecord(const SourceLine &line)
{
    return trimmedView(columnsView(line.text, kCodeFirst, kCodeLast - kCodeFirst + 1)) == "EPOC";
}

} // namespace

std::vector<EpochSource> splitEpochs(const ObservationSource &source, Diagnostics &diagnostics)
{
    std::vector<SourceLine> shared;
    std::vector<EpochSource> epochs;
    const RecordLayout *layout = recordLayout("EPOC");
    const FieldSpan *nameField = layout->find(Field::Text);
    for (const SourceLine &line : source.records) {
        if (!isEpochRecord(line)) {
            (epochs.empty() ? shared : epochs.back().source.records).push_back(line);
            continue;
        }
        if (!columnsOutsideFields(line.text, *layout).empty())
            diagnostics.error(source.files[static_cast<std::size_t>(line.fileNumber - 1)],
                              line.lineNumber,
                              fr("Texte hors du champ du nom de l'époque (colonnes 7 à 46)."));
        EpochSource epoch;
        epoch.name = std::string(trimmedView(
            columnsView(line.text, nameField->first, nameField->last - nameField->first + 1)));
        if (epoch.name.empty())
            epoch.name = std::to_string(epochs.size() + 1);
        epoch.fileNumber = line.fileNumber;
        epoch.lineNumber = line.lineNumber;
        epoch.source.files = source.files;
        epoch.source.records = shared;
        epoch.sharedRecords = shared.size();
        epochs.push_back(std::move(epoch));
    }
    if (epochs.empty())
        diagnostics.error(source.files.empty() ? std::string() : source.files.front(), 0,
                          fr("Analyse multi époques (MEP_MODE OUI) sans enregistrement EPOC : "
                             "chaque époque commence par un EPOC qui la nomme."));
    for (const EpochSource &epoch : epochs) {
        if (epoch.source.records.size() == epoch.sharedRecords)
            diagnostics.error(source.files[static_cast<std::size_t>(epoch.fileNumber - 1)],
                              epoch.lineNumber,
                              fr("L'époque « ") + epoch.name + fr(" » n'a aucun enregistrement."));
    }
    return epochs;
}

void checkSharedRecords(const EpochSource &epoch, const Network &network, Diagnostics &diagnostics)
{
    std::set<std::pair<int, int>> shared;
    for (std::size_t i = 0; i < epoch.sharedRecords; ++i)
        shared.emplace(epoch.source.records[i].fileNumber, epoch.source.records[i].lineNumber);
    for (const Observation &o : network.observations) {
        if (!shared.count({o.fileNumber, o.lineNumber}))
            continue;
        diagnostics.error(epoch.source.files[static_cast<std::size_t>(o.fileNumber - 1)],
                          o.lineNumber,
                          fr("Observation avant le premier EPOC : en multi époques, chaque "
                             "observation appartient à une époque."));
        // One message for the lines of one observation of several components.
        shared.erase({o.fileNumber, o.lineNumber});
    }
}

} // namespace engine
