#include "engine/model/networkbuilder.h"

#include "engine/base/largepages.h"
#include "engine/base/text.h"
#include "engine/model/angles.h"
#include "engine/model/approximatecoordinates.h"
#include "engine/model/localmodel.h"
#include "engine/model/matrixheader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <system_error>
#include <tuple>
#include <unordered_map>

namespace engine {

namespace {

// "colonnes 24 à 41", "colonne 23".
std::string columnsText(int first, int last)
{
    if (first == last)
        return fr("colonne ") + std::to_string(first);
    return fr("colonnes ") + std::to_string(first) + fr(" à ") + std::to_string(last);
}

// A value for a message: six significant digits at most, a point as decimal separator whatever
// the process locale.
std::string shortNumber(double value)
{
    char buffer[32];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    return std::string(buffer, result.ec == std::errc() ? result.ptr : buffer);
}

// A length for a message, to the tenth of a millimetre: "6378137.0000".
std::string metresText(double value)
{
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 4);
    return std::string(buffer, result.ec == std::errc() ? result.ptr : buffer);
}

class Builder
{
public:
    Builder(const ObservationSource &source, const Options &options, Diagnostics &diagnostics)
        : m_source(source)
        , m_options(options)
        , m_diagnostics(diagnostics)
        , m_angleUnit(options.angleUnit)
    {}

    Network build()
    {
        m_network.files = m_source.files;
        m_network.geodetic = m_options.model != ModelType::Local3D;
        // A large network's observations are not copied from one growing array to the next.
        std::size_t observations = 0;
        for (const SourceLine &line : m_source.records)
            observations += observationsOfLine(line);
        m_network.observations.reserve(observations);
        adviseLargePages(m_network.observations.data(), observations * sizeof(Observation));
        m_network.asRead.reserve(observations);
        m_names.reserve(observations);
        for (const SourceLine &line : m_source.records)
            record(line);
        if (m_block)
            endBlock();
        addObservedPoints();
        completeGeodeticPoints();
        placeByVectors();
        resolvePoints();
        resolveUnknownHeights();
        // The precisions of centring depend on the lengths of the sights, known from here on.
        computeApproximateCoordinates(m_network, m_diagnostics);
        if (m_network.geodetic)
            resolveGeoid();
        resolvePrecisions();
        resolveCorrelatedBlocks();
        resolveSecondary();
        return std::move(m_network);
    }

private:
    // The height in force per point (metres): known, or the approximate value of an unknown.
    struct HeightInForce
    {
        double value = 0.0;
        HeightRecord record;
        int unknown = -1; // index into Network::unknownHeights
    };
    // Per unknown height: its point's name and how many distances and zenith angles take it.
    struct PendingHeight
    {
        std::string point;
        int determining = 0;
        bool reported = false; // refused already
    };

    // The points an observation names, by their number in m_nameTexts.
    struct PendingNames
    {
        int station = -1;
        int target = -1;
    };

    // A vector of a 3DD block as read.
    struct PendingVector
    {
        SourceLine line;
        std::string station;
        std::string target;
        Eigen::Vector3d delta = Eigen::Vector3d::Zero(); // metres
    };

    // A 3DC block as read: its coordinate line, then its matrix header and ELEM lines; or the
    // vectors of a 3DD block that one matrix header covers, the Position stage reading them.
    struct PendingBlock
    {
        enum class Stage { Position, Header, Elements };
        Stage stage = Stage::Position;
        SourceLine opening; // the 3DC or 3DD line
        std::string sigmaId;
        bool vectors = false; // a 3DD block
        std::vector<PendingVector> vectorLines;
        // An error was reported: the rest of the block is read without further messages.
        bool broken = false;
        std::string code; // of the coordinate line
        Point position;   // the observed position, as its line gives it
        MatrixHeader header;
        SourceLine headerLine;
        double headerMetres = 1.0;
        std::vector<MatrixElement> elements;

        // Items of three rows in the matrix.
        int items() const { return vectors ? static_cast<int>(vectorLines.size()) : 1; }
    };

    void error(const SourceLine &line, const std::string &text)
    {
        error(line.fileNumber, line.lineNumber, text);
    }

    void error(int fileNumber, int lineNumber, const std::string &text)
    {
        m_diagnostics.error(m_network.fileName(fileNumber), lineNumber, text);
    }

    // The span of `field` in the record being read; every field asked for is in its layout.
    const FieldSpan &span(Field field) const { return *m_layout->find(field); }

    // The text of `field` without surrounding blanks.
    std::string_view text(const SourceLine &line, Field field) const
    {
        const FieldSpan &s = span(field);
        return trimmedView(columnsView(line.text, s.first, s.last - s.first + 1));
    }

    // A linear unit field: blank takes the configuration's unit.
    bool unit(const SourceLine &line, LinearUnit &unit)
    {
        const std::string_view value = text(line, Field::Unit);
        const std::optional<LinearUnit> read =
            value.empty() ? m_options.linearUnit : linearUnitOfToken(value);
        if (!read) {
            error(line,
                  fr("Unité inconnue « ") + std::string(value) + fr(" » (m, cm ou mm attendu)."));
            return false;
        }
        unit = *read;
        return true;
    }

    bool unit(const SourceLine &line, double &metres)
    {
        LinearUnit read = LinearUnit::Metre;
        if (!unit(line, read))
            return false;
        metres = metresPerUnit(read);
        return true;
    }

    // "colonnes 11 à 22" for `field` of the record being read.
    std::string columnsOf(Field field) const
    {
        const FieldSpan &s = span(field);
        return columnsText(s.first, s.last);
    }

    bool number(const SourceLine &line, Field field, const char *what, double &value)
    {
        const std::string_view written = text(line, field);
        if (written.empty()) {
            error(line, fr("Valeur manquante : ") + fr(what) + " (" + columnsOf(field) + ").");
            return false;
        }
        const auto parsed = parseNumber(written);
        if (!parsed) {
            error(line,
                  fr("Nombre illisible « ") + std::string(written) + fr(" » : ") + fr(what) + ".");
            return false;
        }
        value = *parsed;
        return true;
    }

    // An optional number: blank gives 0 and `given` false.
    bool optionalNumber(const SourceLine &line, Field field, const char *what, double &value,
                        bool *given = nullptr)
    {
        const bool present = !text(line, field).empty();
        if (given)
            *given = present;
        value = 0.0;
        if (!present)
            return true;
        return number(line, field, what, value);
    }

    // Whether `value` lies within [low, high]; otherwise an error at the line saying so.
    bool within(const SourceLine &line, double value, double low, double high, const char *what,
                const char *unitText)
    {
        if (value >= low && value <= high)
            return true;
        error(line, fr("Valeur hors limites : ") + fr(what) + " " + shortNumber(value) +
                        fr(unitText) + fr(", de ") + shortNumber(low) + fr(" à ") +
                        shortNumber(high) + fr(unitText) + fr(" attendu."));
        return false;
    }

    // Text outside every field of a record is an error: a field that overflows or stands a column
    // off would otherwise be cut without a word.
    void checkColumns(const SourceLine &line)
    {
        const char *code = m_layout->code;
        const auto runs = columnsOutsideFields(line.text, *m_layout);
        if (runs.empty())
            return;
        constexpr std::size_t kShown = 24; // characters quoted from a run
        std::string where;
        for (std::size_t i = 0; i < runs.size(); ++i) {
            const auto [first, last] = runs[i];
            std::string shown(line.text.substr(static_cast<std::size_t>(first - 1),
                                               static_cast<std::size_t>(last - first + 1)));
            if (shown.size() > kShown)
                shown = shown.substr(0, kShown) + "...";
            if (i > 0)
                where += i + 1 == runs.size() ? fr(" et ") : ", ";
            where += columnsText(first, last) + fr(" (« ") + shown + fr(" »)");
            if (i + 1 == 4 && runs.size() > 4) {
                where += ", ...";
                break;
            }
        }
        std::string layout;
        for (const FieldSpan &s : m_layout->fields)
            layout += (layout.empty() ? "" : ", ") + std::to_string(s.first) + "-" +
                      std::to_string(s.last);
        error(line, fr("Texte hors des champs de l'enregistrement ") + code + fr(", ") + where +
                        fr(" : une valeur déborde de son champ ou est décalée. Champs de ") + code +
                        fr(" : colonnes ") + layout + ".");
    }

    void record(const SourceLine &line)
    {
        const std::string_view code =
            trimmedView(columnsView(line.text, kCodeFirst, kCodeLast - kCodeFirst + 1));
        m_layout = recordLayout(code);
        if (m_block && blockRecord(line, code))
            return;
        if (!m_layout) {
            error(line, fr("Code d'enregistrement inconnu « ") + std::string(code) + fr(" »."));
            return;
        }
        checkColumns(line);
        // The records of sights first: they make most of a large file.
        if (code == "DIST") {
            observation(line, ObservationKind::Distance);
        } else if (code == "DIR") {
            observation(line, ObservationKind::Direction);
        } else if (code == "ZANG") {
            observation(line, ObservationKind::Zenith);
        } else if (code == "HI" || code == "HT") {
            height(line, code == "HI", false);
        } else if (code == "TITL") {
            const std::string_view title = text(line, Field::Text);
            if (!title.empty())
                m_network.titles.emplace_back(title);
        } else if (code == "GRP") {
            m_group = groupNumber(text(line, Field::Text));
        } else if (code == "ANGT") {
            const std::string_view value = text(line, Field::AngleUnit);
            if (const std::optional<AngleUnit> unit = angleUnitOfToken(value))
                m_angleUnit = *unit;
            else
                error(line, fr("Unité d'angle inconnue « ") + std::string(value) +
                                fr(" » (DMS, GRD ou RAD attendu)."));
        } else if (code == "SIGM") {
            family(line);
        } else if (code == "AUX") {
            secondaryGroup(line);
        } else if (code == "LENU" || code == "LNEU") {
            if (m_options.model == ModelType::Local3D)
                point(line);
            else
                error(line, fr("Les coordonnées locales ") + std::string(code) +
                                fr(" n'ont pas de repère dans un modèle géodésique : donner le "
                                   "point en XYZ, PLH ou PLHD."));
        } else if (code == "XYZ" || code == "PLH" || code == "PLHD" || code == "PLO" ||
                   code == "PLOD" || code == "NEH" || code == "NEO") {
            geodeticPoint(line, code);
        } else if (isProjectionRecord(code)) {
            projectionRecord(line, code);
        } else if (code == "EPOC") {
            // The epochs are split before the network is built: one met here is out of place.
            error(line, fr("L'enregistrement EPOC n'est traité qu'avec l'analyse multi époques "
                           "(MEP_MODE OUI dans la configuration)."));
        } else if (code == "GEOI") {
            geoidRecord(line);
        } else if (code == "GFIL") {
            geoidFile(line);
        } else if (code == "UNHI" || code == "UNHT") {
            height(line, code == "UNHI", true);
        } else if (code == "DSET") {
            DirectionSet set;
            set.sigmaId = text(line, Field::SigmaId);
            set.fileNumber = line.fileNumber;
            set.lineNumber = line.lineNumber;
            m_network.sets.push_back(set);
            m_currentSet = static_cast<int>(m_network.sets.size()) - 1;
        } else if (code == "ELIP") {
            ellipsoid(line);
        } else if (code == "PMOY") {
            meanLatitude(line);
        } else if (code == "RSET") {
            double value = 0.0;
            if (optionalNumber(line, Field::RefractionSigma,
                               "précision du coefficient de réfraction", value) &&
                within(line, value, 0.0, kMaxRefractionSigma,
                       "précision du coefficient de réfraction", ""))
                m_refractionSigma = value;
        } else if (code == "AZIM") {
            observation(line, ObservationKind::Azimuth);
        } else if (code == "OHDF") {
            observation(line, ObservationKind::HeightDifference);
        } else if (code == "3DC" || code == "3DD") {
            m_block.emplace();
            m_block->opening = line;
            m_block->sigmaId = text(line, Field::SigmaId);
            m_block->vectors = code == "3DD";
            if (m_block->vectors && m_options.model == ModelType::Local3D) {
                error(line, fr("Bloc 3DD de vecteurs GNSS dans le modèle 3D_LOCALE : un vecteur "
                               "DXYZ est géocentrique et ce repère local n'est pas lié à la "
                               "Terre ; choisir TYPEMODEL 3D_ELLIPSOIDALE ou 3D_SPHERIQUE."));
                m_block->broken = true;
            }
        } else if (isMatrixHeader(code)) {
            error(line, fr("Entête de matrice ") + std::string(code) +
                            fr(" hors d'un bloc : elle suit un enregistrement 3DC et sa ligne de "
                               "coordonnées, ou les vecteurs DXYZ d'un bloc 3DD."));
        } else if (code == "DXYZ") {
            error(line, fr("Vecteur DXYZ hors d'un bloc 3DD : un bloc commence par un "
                           "enregistrement 3DD, puis ses vecteurs et leur matrice."));
        } else if (code == "ELEM") {
            error(line, fr("Ligne ELEM hors d'un bloc de matrice : elle suit une entête COV, CORR "
                           "ou WGT, ou la ligne ELEM précédente."));
        }
    }

    // At most how many observations a record line makes: one per sight, three per observed
    // position (its 3DC line) and per vector.
    static std::size_t observationsOfLine(const SourceLine &line)
    {
        const std::string_view code =
            trimmedView(columnsView(line.text, kCodeFirst, kCodeLast - kCodeFirst + 1));
        if (code == "DIST" || code == "DIR" || code == "ZANG" || code == "AZIM" || code == "OHDF")
            return 1;
        return code == "3DC" || code == "DXYZ" ? 3 : 0;
    }

    static bool isMatrixHeader(std::string_view code)
    {
        return code == "COV" || code == "CORR" || code == "WGT";
    }

    static bool isCoordinateRecord(std::string_view code)
    {
        return code == "XYZ" || code == "PLH" || code == "PLHD" || code == "LENU" || code == "LNEU";
    }

    // A record met while a 3DC or 3DD block is open: true when it belongs to the block. A 3DC
    // block takes its coordinate line, then its matrix header, then ELEM lines; a 3DD block its
    // DXYZ lines, then a matrix header for them and its ELEM lines, and again DXYZ lines for the
    // next matrix. Any other record ends the block.
    bool blockRecord(const SourceLine &line, std::string_view code)
    {
        if (m_block->vectors)
            return vectorBlockRecord(line, code);
        PendingBlock &b = *m_block;
        const bool belongs =
            (b.stage == PendingBlock::Stage::Position && isCoordinateRecord(code)) ||
            (b.stage == PendingBlock::Stage::Header && isMatrixHeader(code)) ||
            (b.stage == PendingBlock::Stage::Elements && code == "ELEM");
        if (!belongs) {
            endBlock();
            return false;
        }
        checkColumns(line);
        switch (b.stage) {
        case PendingBlock::Stage::Position:
            observedPosition(line, code);
            b.stage = PendingBlock::Stage::Header;
            break;
        case PendingBlock::Stage::Header:
            matrixHeader(line, code);
            b.stage = PendingBlock::Stage::Elements;
            break;
        case PendingBlock::Stage::Elements:
            elementLine(line);
            break;
        }
        return true;
    }

    bool vectorBlockRecord(const SourceLine &line, std::string_view code)
    {
        const bool reading = m_block->stage == PendingBlock::Stage::Position;
        const bool belongs = (reading && (code == "DXYZ" || isMatrixHeader(code))) ||
                             (!reading && (code == "ELEM" || code == "DXYZ"));
        if (!belongs) {
            endBlock();
            return false;
        }
        checkColumns(line);
        if (!reading && code == "DXYZ") {
            // The vectors of the next matrix, in the same 3DD block.
            const SourceLine opening = m_block->opening;
            const std::string sigmaId = m_block->sigmaId;
            endBlock();
            m_block.emplace();
            m_block->opening = opening;
            m_block->sigmaId = sigmaId;
            m_block->vectors = true;
            // The local model's refusal stands at the 3DD line.
            m_block->broken = m_options.model == ModelType::Local3D;
        }
        PendingBlock &b = *m_block;
        if (code == "DXYZ") {
            vectorLine(line);
        } else if (code == "ELEM") {
            elementLine(line);
        } else {
            if (b.vectorLines.empty() && !b.broken) {
                error(line, fr("Entête de matrice ") + std::string(code) +
                                fr(" avant tout vecteur : dans un bloc 3DD, les vecteurs DXYZ "
                                   "précèdent leur matrice."));
                b.broken = true;
            }
            matrixHeader(line, code);
            b.stage = PendingBlock::Stage::Elements;
        }
        return true;
    }

    // A DXYZ line of a 3DD block: a vector from the station to the target, geocentric.
    void vectorLine(const SourceLine &line)
    {
        PendingBlock &b = *m_block;
        PendingVector v;
        v.line = line;
        v.station = text(line, Field::Station);
        v.target = text(line, Field::Target);
        if (b.broken)
            return;
        if (v.station.empty() || v.target.empty()) {
            error(line, fr("Nom de point manquant (station en ") + columnsOf(Field::Station) +
                            fr(", point visé en ") + columnsOf(Field::Target) + ").");
            b.broken = true;
            return;
        }
        if (v.station == v.target) {
            error(line, fr("Vecteur d'un point vers lui-même (« ") + v.station + fr(" »)."));
            b.broken = true;
            return;
        }
        double metres = 1.0;
        bool ok = unit(line, metres);
        ok = number(line, Field::X, "composante DX", v.delta.x()) && ok;
        ok = number(line, Field::Y, "composante DY", v.delta.y()) && ok;
        ok = number(line, Field::Z, "composante DZ", v.delta.z()) && ok;
        if (!ok) {
            b.broken = true;
            return;
        }
        v.delta *= metres;
        if (!(v.delta.norm() > 0.0)) {
            error(line, fr("Vecteur nul : ses composantes DX, DY et DZ sont toutes nulles."));
            b.broken = true;
            return;
        }
        b.vectorLines.push_back(std::move(v));
    }

    // The coordinate line of a 3DC block: the observed position. Its fixity flags are not read:
    // the fixity of a point is that of its own coordinate record.
    void observedPosition(const SourceLine &line, std::string_view code)
    {
        PendingBlock &b = *m_block;
        b.code = code;
        const bool local = code == "LENU" || code == "LNEU";
        std::optional<Point> p;
        if (local && m_options.model != ModelType::Local3D) {
            error(line, fr("Position observée ") + std::string(code) +
                            fr(" (bloc 3DC) sans repère dans un modèle géodésique : la donner en "
                               "XYZ, PLH ou PLHD."));
        } else if (!local && m_options.model == ModelType::Local3D) {
            error(line, fr("Position observée ") + std::string(code) +
                            fr(" (bloc 3DC) : elle demande un modèle géodésique (TYPEMODEL "
                               "3D_ELLIPSOIDALE) ; le modèle 3D_LOCALE n'observe que des "
                               "positions LENU ou LNEU."));
        } else {
            p = local ? localPoint(line, false) : readGeodeticPoint(line, code, false);
        }
        if (!p) {
            b.broken = true;
            return;
        }
        b.position = *p;
    }

    void matrixHeader(const SourceLine &line, std::string_view code)
    {
        PendingBlock &b = *m_block;
        b.headerLine = line;
        MatrixHeader &h = b.header;
        h.content = code == "COV"    ? MatrixContent::Covariance
                    : code == "CORR" ? MatrixContent::Correlation
                                     : MatrixContent::Weight;
        bool ok = true;
        const std::string_view frame = text(line, Field::CoordinateType);
        if (frame == "CT" || frame == "LG") {
            h.frame = frame == "CT" ? MatrixFrame::Cartesian : MatrixFrame::Local;
        } else {
            error(line, fr("Type de coordonnées inconnu « ") + std::string(frame) + fr(" » (") +
                            columnsOf(Field::CoordinateType) + fr(") : CT ou LG attendu."));
            ok = false;
        }
        const std::string_view shape = text(line, Field::MatrixType);
        if (shape == "DIAG" || shape == "UPPR") {
            h.shape = shape == "DIAG" ? MatrixShape::Diagonal : MatrixShape::UpperTriangle;
        } else {
            error(line, fr("Type de matrice inconnu « ") + std::string(shape) + fr(" » (") +
                            columnsOf(Field::MatrixType) + fr(") : DIAG ou UPPR attendu."));
            ok = false;
        }
        ok = unit(line, b.headerMetres) && ok;
        // Blank constants are 0 and blank factors 1.
        const auto factor = [&](Field field, const char *what, double &value) {
            bool given = false;
            const bool read = optionalNumber(line, field, what, value, &given);
            if (!given)
                value = 1.0;
            return read;
        };
        ok = optionalNumber(line, Field::AllConstant, "constante ALL", h.allConstant) && ok;
        ok = factor(Field::AllFactor, "facteur ALL", h.allFactor) && ok;
        ok = optionalNumber(line, Field::DiagonalConstant, "constante DIAG", h.diagonalConstant) &&
             ok;
        ok = factor(Field::DiagonalFactor, "facteur DIAG", h.diagonalFactor) && ok;
        ok = optionalNumber(line, Field::DiagonalPpm, "PPM DIAG", h.diagonalPpm) && ok;
        ok = optionalNumber(line, Field::UpConstant, "constante UP", h.upConstant) && ok;
        ok = factor(Field::UpFactor, "facteur UP", h.upFactor) && ok;
        if (ok && (h.allConstant < 0.0 || h.diagonalConstant < 0.0 || h.upConstant < 0.0 ||
                   h.diagonalPpm < 0.0)) {
            error(line, fr("Les constantes et le PPM d'une entête de matrice ne peuvent être "
                           "négatifs."));
            ok = false;
        }
        if (ok && !(h.allFactor > 0.0 && h.diagonalFactor > 0.0 && h.upFactor > 0.0)) {
            error(line, fr("Les facteurs d'une entête de matrice doivent être positifs."));
            ok = false;
        }
        ok = ok && within(line, h.diagonalPpm, 0.0, kMaxPpm, "PPM DIAG", "");
        if (!ok) {
            b.broken = true;
            return;
        }
        h.allConstant *= b.headerMetres;
        h.diagonalConstant *= b.headerMetres;
        h.upConstant *= b.headerMetres;
        if (h.diagonalPpm != 0.0 && !b.vectors)
            m_diagnostics.warning(m_network.fileName(line.fileNumber), line.lineNumber,
                                  fr("PPM DIAG sans effet dans un bloc 3DC : une position observée "
                                     "n'a pas de longueur."));
    }

    // An ELEM line: one to three elements from the left, in the unit of the line (blank: the
    // header's).
    void elementLine(const SourceLine &line)
    {
        PendingBlock &b = *m_block;
        const bool unitGiven = !text(line, Field::Unit).empty();
        double metres = b.headerMetres;
        bool ok = !unitGiven || unit(line, metres);
        std::vector<MatrixElement> read;
        bool gap = false;
        for (Field field : {Field::Element1, Field::Element2, Field::Element3}) {
            if (text(line, field).empty()) {
                gap = true;
                continue;
            }
            if (gap) {
                error(line, fr("Elément vide avant ") + columnsOf(field) +
                                fr(" : les éléments d'une ligne ELEM se suivent depuis la "
                                   "colonne 7."));
                ok = false;
                break;
            }
            double value = 0.0;
            ok = number(line, field, "élément de matrice", value) && ok;
            read.push_back({value, metres});
        }
        if (ok && read.empty()) {
            error(line, fr("Ligne ELEM sans élément (colonnes 7 à 29, 31 à 53, 55 à 77)."));
            ok = false;
        }
        if (!ok) {
            b.broken = true;
            return;
        }
        if (b.broken)
            return;
        const auto expected = static_cast<std::size_t>(b.header.elementCount(3 * b.items()));
        if (b.elements.size() + read.size() > expected) {
            error(line, fr("Trop d'éléments : la matrice de l'entête de la ligne ") +
                            std::to_string(b.headerLine.lineNumber) + fr(" en attend ") +
                            std::to_string(expected) + fr(", cette ligne porte le total à ") +
                            std::to_string(b.elements.size() + read.size()) + ".");
            b.broken = true;
            return;
        }
        b.elements.insert(b.elements.end(), read.begin(), read.end());
    }

    // Ends the open 3DC block: a block read whole gives the three observations of its position.
    void endBlock()
    {
        PendingBlock b = std::move(*m_block);
        m_block.reset();
        if (b.vectors) {
            endVectorBlock(std::move(b));
            return;
        }
        if (b.stage == PendingBlock::Stage::Position) {
            error(b.opening, fr("Bloc 3DC sans ligne de coordonnées : XYZ, PLH, PLHD, LENU ou "
                                "LNEU attendu à l'enregistrement suivant."));
            return;
        }
        if (b.stage == PendingBlock::Stage::Header) {
            if (!b.broken)
                error(b.opening, fr("Bloc 3DC sans matrice : une entête COV, CORR ou WGT est "
                                    "attendue après sa ligne de coordonnées."));
            return;
        }
        if (b.broken)
            return;
        const auto expected = static_cast<std::size_t>(b.header.elementCount(3));
        if (b.elements.size() != expected) {
            error(b.headerLine, std::to_string(b.elements.size()) +
                                    fr(" élément(s) de matrice sur les lignes ELEM, ") +
                                    std::to_string(expected) + fr(" attendu(s) pour une matrice ") +
                                    (b.header.shape == MatrixShape::Diagonal ? "DIAG" : "UPPR") +
                                    fr(" d'un point (3 lignes)."));
            return;
        }
        const Point &p = b.position;
        const ObservationKind kind = b.code == "XYZ" ? ObservationKind::Geocentric
                                     : b.code == "PLH" || b.code == "PLHD"
                                         ? ObservationKind::Geographic
                                         : ObservationKind::Local;
        CorrelatedBlock block;
        block.first = static_cast<int>(m_network.observations.size());
        block.fileNumber = b.headerLine.fileNumber;
        block.lineNumber = b.headerLine.lineNumber;
        for (int c = 0; c < 3; ++c) {
            Observation o;
            o.kind = kind;
            o.component = static_cast<std::uint8_t>(c);
            o.fileNumber = p.fileNumber;
            o.lineNumber = p.lineNumber;
            o.group = m_group;
            switch (kind) {
            case ObservationKind::Geocentric:
                o.value = p.geocentric(c);
                break;
            case ObservationKind::Geographic:
                o.value = c == 0   ? p.geographic.latitude
                          : c == 1 ? p.geographic.longitude
                                   : p.geographic.height;
                break;
            default: // north, east, up
                o.value = p.approximate(c == 0 ? 1 : c == 1 ? 0 : 2);
                break;
            }
            m_network.observations.push_back(std::move(o));
            ObservationAsRead asRead;
            asRead.sigmaId = b.sigmaId;
            m_network.asRead.push_back(std::move(asRead));
            const int name = nameNumber(p.name);
            m_names.push_back({name, name});
        }
        m_network.correlated.push_back(block);
        m_blocks.push_back(std::move(b));
    }

    // The vectors of a 3DD block and their matrix, read whole: three observations per vector, at
    // its DXYZ line.
    void endVectorBlock(PendingBlock b)
    {
        if (b.stage == PendingBlock::Stage::Position) {
            if (!b.broken)
                error(b.opening,
                      b.vectorLines.empty()
                          ? fr("Bloc 3DD sans vecteur : des lignes DXYZ sont attendues.")
                          : fr("Bloc 3DD sans matrice : une entête COV, CORR ou WGT et ses lignes "
                               "ELEM sont attendues après les vecteurs DXYZ."));
            return;
        }
        if (b.broken)
            return;
        const auto expected = static_cast<std::size_t>(b.header.elementCount(3 * b.items()));
        if (b.elements.size() != expected) {
            error(b.headerLine, std::to_string(b.elements.size()) +
                                    fr(" élément(s) de matrice sur les lignes ELEM, ") +
                                    std::to_string(expected) + fr(" attendu(s) pour une matrice ") +
                                    (b.header.shape == MatrixShape::Diagonal ? "DIAG" : "UPPR") +
                                    fr(" de ") + std::to_string(b.items()) + fr(" vecteur(s) (") +
                                    std::to_string(3 * b.items()) + fr(" lignes)."));
            return;
        }
        CorrelatedBlock block;
        block.first = static_cast<int>(m_network.observations.size());
        block.fileNumber = b.headerLine.fileNumber;
        block.lineNumber = b.headerLine.lineNumber;
        for (const PendingVector &v : b.vectorLines) {
            for (int c = 0; c < 3; ++c) {
                Observation o;
                o.kind = ObservationKind::Vector;
                o.component = static_cast<std::uint8_t>(c);
                o.value = v.delta(c);
                o.fileNumber = v.line.fileNumber;
                o.lineNumber = v.line.lineNumber;
                o.group = m_group;
                m_network.observations.push_back(std::move(o));
                ObservationAsRead asRead;
                asRead.sigmaId = b.sigmaId;
                m_network.asRead.push_back(std::move(asRead));
                m_names.push_back({nameNumber(v.station), nameNumber(v.target)});
            }
        }
        m_network.correlated.push_back(block);
        m_blocks.push_back(std::move(b));
    }

    // A point that no record gives but a vector joins to a point already placed is placed by
    // that vector, and so on along the vectors, breadth first from the points given.
    void placeByVectors()
    {
        std::map<std::string, std::vector<const PendingVector *>> ends;
        for (const PendingBlock &b : m_blocks) {
            for (const PendingVector &v : b.vectorLines) {
                ends[v.station].push_back(&v);
                ends[v.target].push_back(&v);
            }
        }
        std::vector<std::string> queue;
        for (const auto &[name, vectors] : ends) {
            if (m_network.pointIndex.count(name))
                queue.push_back(name);
        }
        for (std::size_t next = 0; next < queue.size(); ++next) {
            const std::string from = queue[next];
            const Eigen::Vector3d base =
                m_network.points[static_cast<std::size_t>(m_network.pointIndex.at(from))]
                    .geocentric;
            for (const PendingVector *v : ends.at(from)) {
                const bool forward = v->station == from;
                const std::string &other = forward ? v->target : v->station;
                if (m_network.pointIndex.count(other))
                    continue;
                Point p;
                p.name = other;
                p.frame = CoordinateFrame::Geocentric;
                p.geocentric = base + (forward ? 1.0 : -1.0) * v->delta;
                p.geographic = toGeographic(m_network.ellipsoid, p.geocentric);
                p.approximate = m_network.planeOf(m_network.geocentricOf(p));
                p.fileNumber = v->line.fileNumber;
                p.lineNumber = v->line.lineNumber;
                m_network.pointIndex[p.name] = static_cast<int>(m_network.points.size());
                m_network.points.push_back(p);
                queue.push_back(other);
            }
        }
    }

    // A point that only 3DC blocks give is placed at the position the first of them observes.
    void addObservedPoints()
    {
        for (const PendingBlock &b : m_blocks) {
            if (b.vectors || m_network.pointIndex.count(b.position.name))
                continue;
            Point p = b.position;
            p.fixed = {false, false, false};
            m_network.pointIndex[p.name] = static_cast<int>(m_network.points.size());
            m_network.points.push_back(p);
        }
    }

    // The covariance of each 3DC block, once the ellipsoid and the precision families are known.
    void resolveCorrelatedBlocks()
    {
        const ReferenceEllipsoid &ellipsoid = m_network.ellipsoid;
        for (std::size_t k = 0; k < m_blocks.size(); ++k) {
            const PendingBlock &b = m_blocks[k];
            CorrelatedBlock &block = m_network.correlated[k];
            if (b.vectors) {
                resolveVectorBlock(b, block);
                continue;
            }
            MatrixItem item;
            if (!b.sigmaId.empty()) {
                const auto found = m_network.families.find(b.sigmaId);
                if (found == m_network.families.end()) {
                    error(b.opening, fr("Sigma-ID inconnu « ") + b.sigmaId +
                                         fr(" » : aucune famille de précision SIGM ne le "
                                            "définit."));
                    continue;
                }
                item.centring = found->second.centringPoint;
            }
            const auto first = static_cast<std::size_t>(block.first);
            const ObservationKind kind = m_network.observations[first].kind;
            Geographic at;
            if (kind == ObservationKind::Local) {
                // The local frame is Cartesian: X east, Y north, Z up.
                item.axes << 0.0, 1.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0;
            } else {
                at = b.position.frame == CoordinateFrame::Geocentric
                         ? toGeographic(ellipsoid, b.position.geocentric)
                         : b.position.geographic;
                if (!(std::abs(at.height) <= kMaxEllipsoidalHeight)) {
                    error(b.position.fileNumber, b.position.lineNumber,
                          fr("Valeur hors limites : hauteur ellipsoïdale ") +
                              shortNumber(at.height) + fr(" m, de ") +
                              shortNumber(-kMaxEllipsoidalHeight) + fr(" à ") +
                              shortNumber(kMaxEllipsoidalHeight) + fr(" m attendu."));
                    continue;
                }
                const Eigen::Matrix3d horizon = localHorizon(at.latitude, at.longitude);
                item.axes << horizon.col(1), horizon.col(0), horizon.col(2);
            }
            std::string reason;
            const MatrixFrame rows =
                kind == ObservationKind::Geocentric ? MatrixFrame::Cartesian : MatrixFrame::Local;
            const std::optional<Eigen::MatrixXd> covariance =
                blockCovariance(b.header, b.elements, {item}, rows, reason);
            if (!covariance) {
                error(b.headerLine, fr("Matrice du bloc 3DC de la ligne ") +
                                        std::to_string(b.opening.lineNumber) + " : " + reason +
                                        ".");
                continue;
            }
            block.covariance = *covariance;
            if (m_network.sphere && kind != ObservationKind::Local)
                carryToSphere(block, at);
            for (int c = 0; c < 3; ++c) {
                Observation &o = m_network.observations[first + static_cast<std::size_t>(c)];
                o.sigma = std::sqrt(block.covariance(c, c));
                if (kind == ObservationKind::Geographic && c < 2)
                    o.setMetresPerRadian(
                        m_network.sphere ? metresPerRadian(m_network.surface,
                                                           m_network.sphere->toSphere(at), c == 0)
                                         : metresPerRadian(ellipsoid, at, c == 0));
            }
            const double smallest = std::sqrt(covariance->diagonal().minCoeff());
            const double largest = std::sqrt(covariance->diagonal().maxCoeff());
            if (smallest < kMinLengthSigma || largest > kMaxLengthSigma)
                error(b.headerLine,
                      fr("Ecart-type hors limites dans la matrice du bloc 3DC de la ligne ") +
                          std::to_string(b.opening.lineNumber) + " : " +
                          shortNumber(smallest < kMinLengthSigma ? smallest : largest) +
                          fr(" m, de ") + shortNumber(kMinLengthSigma) + fr(" à ") +
                          shortNumber(kMaxLengthSigma) + fr(" m attendu."));
        }
    }

    // The covariance of the vectors of a 3DD block: each vector's horizon (for LG matrices and
    // the UP modifiers) is that of its station on the ellipsoid, its length that of the vector,
    // its centring the station's and the target's of its Sigma-ID's family together.
    void resolveVectorBlock(const PendingBlock &b, CorrelatedBlock &block)
    {
        double centring = 0.0;
        if (!b.sigmaId.empty()) {
            const auto found = m_network.families.find(b.sigmaId);
            if (found == m_network.families.end()) {
                error(b.opening, fr("Sigma-ID inconnu « ") + b.sigmaId +
                                     fr(" » : aucune famille de précision SIGM ne le définit."));
                return;
            }
            centring = std::hypot(found->second.centringStation, found->second.centringTarget);
        }
        std::vector<MatrixItem> items;
        for (const PendingVector &v : b.vectorLines) {
            const Point &station =
                m_network.points[static_cast<std::size_t>(m_network.pointIndex.at(v.station))];
            const Geographic at = m_network.geographicOf(m_network.geocentricOf(station));
            const Eigen::Matrix3d horizon = localHorizon(at.latitude, at.longitude);
            MatrixItem item;
            item.axes << horizon.col(1), horizon.col(0), horizon.col(2);
            item.length = v.delta.norm();
            item.centring = centring;
            items.push_back(item);
        }
        std::string reason;
        const std::optional<Eigen::MatrixXd> covariance =
            blockCovariance(b.header, b.elements, items, MatrixFrame::Cartesian, reason);
        if (!covariance) {
            error(b.headerLine, fr("Matrice du bloc 3DD de la ligne ") +
                                    std::to_string(b.opening.lineNumber) + " : " + reason + ".");
            return;
        }
        block.covariance = *covariance;
        const auto first = static_cast<std::size_t>(block.first);
        for (Eigen::Index r = 0; r < covariance->rows(); ++r)
            m_network.observations[first + static_cast<std::size_t>(r)].sigma =
                std::sqrt((*covariance)(r, r));
        const double smallest = std::sqrt(covariance->diagonal().minCoeff());
        const double largest = std::sqrt(covariance->diagonal().maxCoeff());
        if (smallest < kMinLengthSigma || largest > kMaxLengthSigma)
            error(b.headerLine,
                  fr("Ecart-type hors limites dans la matrice du bloc 3DD de la ligne ") +
                      std::to_string(b.opening.lineNumber) + " : " +
                      shortNumber(smallest < kMinLengthSigma ? smallest : largest) + fr(" m, de ") +
                      shortNumber(kMinLengthSigma) + fr(" à ") + shortNumber(kMaxLengthSigma) +
                      fr(" m attendu."));
    }

    // The spherical model compares an observed position with the state on the sphere: its
    // latitude and longitude go there by the sphere's mapping, and the covariance of X, Y, Z
    // turns with the horizon; the mapping is conformal with a scale of 1 to a few parts in 10^9
    // over a network, so north, east and up keep their covariance.
    void carryToSphere(CorrelatedBlock &block, const Geographic &onEllipsoid)
    {
        const Geographic onSphere = m_network.sphere->toSphere(onEllipsoid);
        const auto first = static_cast<std::size_t>(block.first);
        Observation *o = &m_network.observations[first];
        if (o->kind == ObservationKind::Geographic) {
            o[0].value = onSphere.latitude;
            o[1].value = onSphere.longitude;
            return;
        }
        const Eigen::Vector3d xyz = toGeocentric(m_network.surface, onSphere);
        for (int c = 0; c < 3; ++c)
            o[c].value = xyz(c);
        const Eigen::Matrix3d turn =
            localHorizon(onSphere.latitude, onSphere.longitude) *
            localHorizon(onEllipsoid.latitude, onEllipsoid.longitude).transpose();
        block.covariance = turn * block.covariance * turn.transpose();
    }

    // Metres per radian of latitude (along north) or of longitude (along east) at `at`: the
    // meridian radius of curvature M, or the radius of the parallel (N cos latitude), each
    // raised by the height.
    static double metresPerRadian(const ReferenceEllipsoid &e, const Geographic &at, bool latitude)
    {
        const double f = e.flattening();
        const double e2 = f * (2.0 - f);
        const double sine = std::sin(at.latitude);
        const double w = std::sqrt(1.0 - e2 * sine * sine);
        if (latitude)
            return e.semiMajor * (1.0 - e2) / (w * w * w) + at.height;
        return (e.semiMajor / w + at.height) * std::cos(at.latitude);
    }

    void family(const SourceLine &line)
    {
        PrecisionFamily f;
        f.id = text(line, Field::SigmaId);
        f.fileNumber = line.fileNumber;
        f.lineNumber = line.lineNumber;
        if (f.id.empty()) {
            error(line,
                  fr("Famille de précision sans Sigma-ID (") + columnsOf(Field::SigmaId) + ").");
            return;
        }
        bool ok = unit(line, f.unit);
        ok = optionalNumber(line, Field::Constant, "écart-type constant", f.constant) && ok;
        ok = optionalNumber(line, Field::Ppm, "PPM", f.ppm) && ok;
        ok = optionalNumber(line, Field::CentringPoint, "centrage station", f.centringPoint) && ok;
        ok = optionalNumber(line, Field::CentringStation, "centrage du point stationné",
                            f.centringStation) &&
             ok;
        ok = optionalNumber(line, Field::CentringTarget, "centrage du point visé",
                            f.centringTarget) &&
             ok;
        if (!ok)
            return;
        if (f.constant < 0.0 || f.ppm < 0.0 || f.centringPoint < 0.0 || f.centringStation < 0.0 ||
            f.centringTarget < 0.0) {
            error(line, fr("Les valeurs d'une famille de précision ne peuvent être négatives."));
            return;
        }
        f.centringPoint *= f.unit;
        f.centringStation *= f.unit;
        f.centringTarget *= f.unit;
        ok = within(line, f.ppm, 0.0, kMaxPpm, "PPM", "");
        ok = within(line, f.centringPoint, 0.0, kMaxCentring, "centrage station", " m") && ok;
        ok = within(line, f.centringStation, 0.0, kMaxCentring, "centrage du point stationné",
                    " m") &&
             ok;
        ok =
            within(line, f.centringTarget, 0.0, kMaxCentring, "centrage du point visé", " m") && ok;
        if (!ok)
            return;
        f.otherParameters = text(line, Field::Secondary);
        f.groups = groupNames(f.otherParameters);
        if (m_network.families.count(f.id)) {
            error(line, fr("La famille de précision « ") + f.id + fr(" » est déjà définie."));
            return;
        }
        m_network.families[f.id] = f;
    }

    // The names of "Autres paramètres", separated by blanks or commas, each once.
    static std::vector<std::string> groupNames(const std::string &list)
    {
        std::vector<std::string> names;
        std::string name;
        for (std::size_t i = 0; i <= list.size(); ++i) {
            const char c = i < list.size() ? list[i] : ' ';
            if (c != ' ' && c != ',' && c != '\t') {
                name += c;
                continue;
            }
            if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
                names.push_back(name);
            name.clear();
        }
        return names;
    }

    // An AUX record: a group, the kind of observation it applies to and up to seven parameter
    // types. It may stand anywhere in the files; its members are gathered once all are read.
    void secondaryGroup(const SourceLine &line)
    {
        SecondaryGroup g;
        g.name = text(line, Field::GroupName);
        g.fileNumber = line.fileNumber;
        g.lineNumber = line.lineNumber;
        const std::string_view scope = text(line, Field::ObservationType);
        bool ok = true;
        if (scope == "DIS") {
            g.scope = SecondaryScope::Distances;
        } else if (scope == "ZAN") {
            g.scope = SecondaryScope::ZenithAngles;
        } else if (scope == "ALL") {
            g.scope = SecondaryScope::All;
        } else {
            error(line, fr("Type d'observation inconnu « ") + std::string(scope) +
                            fr(" » pour un groupe de paramètres secondaires (DIS, ZAN ou ALL "
                               "attendu, ") +
                            columnsOf(Field::ObservationType) + ").");
            ok = false;
        }
        if (g.name.empty()) {
            error(line, fr("Groupe de paramètres secondaires sans nom (") +
                            columnsOf(Field::GroupName) + ").");
            return;
        }
        if (g.name.find_first_of(" ,\t") != std::string::npos) {
            error(line, fr("Le nom du groupe « ") + g.name +
                            fr(" » contient un blanc ou une virgule, qui séparent les noms de "
                               "groupes d'une famille de précision SIGM."));
            ok = false;
        }
        for (Field field :
             {Field::Parameter1, Field::Parameter2, Field::Parameter3, Field::Parameter4,
              Field::Parameter5, Field::Parameter6, Field::Parameter7}) {
            const std::string_view token = text(line, field);
            if (token.empty())
                continue;
            std::optional<SecondaryType> type;
            for (SecondaryType t : {SecondaryType::Constant, SecondaryType::Scale,
                                    SecondaryType::Refraction, SecondaryType::VarianceGroup}) {
                if (token == secondaryTypeCode(t))
                    type = t;
            }
            if (!type) {
                error(line, fr("Type de paramètre secondaire inconnu « ") + std::string(token) +
                                fr(" » (") + columnsOf(field) +
                                fr(" ; CONS, SCAL, REFR ou GVCE attendu)."));
                ok = false;
                continue;
            }
            if (std::find(g.types.begin(), g.types.end(), *type) != g.types.end()) {
                error(line, fr("Le paramètre ") + std::string(token) +
                                fr(" est répété dans le groupe « ") + g.name + fr(" »."));
                ok = false;
                continue;
            }
            const bool lengths = *type == SecondaryType::Constant || *type == SecondaryType::Scale;
            if ((lengths && g.scope == SecondaryScope::ZenithAngles) ||
                (*type == SecondaryType::Refraction && g.scope == SecondaryScope::Distances)) {
                error(line, fr("Le paramètre ") + std::string(token) +
                                fr(" ne s'applique pas aux observations ") + std::string(scope) +
                                fr(" : CONS et SCAL portent sur les distances (DIS ou ALL), "
                                   "REFR sur les angles zénithaux (ZAN ou ALL)."));
                ok = false;
                continue;
            }
            g.types.push_back(*type);
        }
        for (const SecondaryGroup &other : m_network.secondaryGroups) {
            if (other.name == g.name) {
                error(line, fr("Le groupe de paramètres secondaires « ") + g.name +
                                fr(" » est déjà défini (ligne ") +
                                std::to_string(other.lineNumber) + fr(" du fichier ") +
                                std::to_string(other.fileNumber) + ").");
                return;
            }
        }
        if (!ok)
            return;
        if (g.types.empty())
            m_diagnostics.warning(m_network.fileName(line.fileNumber), line.lineNumber,
                                  fr("Le groupe « ") + g.name +
                                      fr(" » ne déclare aucun paramètre : il est sans effet."));
        m_network.secondaryGroups.push_back(std::move(g));
    }

    // Whether a parameter of `type` of a group of `scope` applies to `o`.
    static bool appliesTo(SecondaryType type, SecondaryScope scope, const Observation &o)
    {
        switch (type) {
        case SecondaryType::Constant:
        case SecondaryType::Scale:
            return o.kind == ObservationKind::Distance;
        case SecondaryType::Refraction:
            return o.kind == ObservationKind::Zenith;
        case SecondaryType::VarianceGroup:
            break;
        }
        switch (scope) {
        case SecondaryScope::Distances:
            return o.kind == ObservationKind::Distance;
        case SecondaryScope::ZenithAngles:
            return o.kind == ObservationKind::Zenith;
        case SecondaryScope::All:
            break;
        }
        return true;
    }

    // The groups of secondary parameters of each observation: those its precision family lists
    // (the family of its Sigma-ID, or of its DSET's), and the one named as its GRP. Every
    // parameter that applies to at least one observation becomes an unknown; the GVCE groups
    // gather their observations.
    void resolveSecondary()
    {
        const auto &groups = m_network.secondaryGroups;
        std::map<std::string, int> byName;
        for (std::size_t g = 0; g < groups.size(); ++g)
            byName[groups[g].name] = static_cast<int>(g);
        std::map<std::string, std::vector<int>> familyGroups;
        for (const auto &[id, family] : m_network.families) {
            std::vector<int> &list = familyGroups[id];
            for (const std::string &name : family.groups) {
                const auto found = byName.find(name);
                if (found == byName.end())
                    error(family.fileNumber, family.lineNumber,
                          fr("Groupe de paramètres secondaires inconnu « ") + name +
                              fr(" » : aucun enregistrement AUX ne le définit."));
                else
                    list.push_back(found->second);
            }
        }
        if (groups.empty())
            return;
        // Per group and parameter type, the index of its parameter.
        std::vector<std::array<int, 4>> parameterOf(groups.size(), {-1, -1, -1, -1});
        std::vector<std::vector<int>> members(m_network.observations.size());
        std::vector<std::array<int, 4>> counts(groups.size(), {0, 0, 0, 0});
        for (std::size_t i = 0; i < m_network.observations.size(); ++i) {
            const Observation &o = m_network.observations[i];
            std::string id = m_network.asRead[i].sigmaId;
            if (id.empty() && o.set >= 0)
                id = m_network.sets[static_cast<std::size_t>(o.set)].sigmaId;
            std::vector<int> &of = members[i];
            const auto listed = familyGroups.find(id);
            if (listed != familyGroups.end())
                of = listed->second;
            const auto named = byName.find(m_network.groupOf(o));
            if (named != byName.end() && std::find(of.begin(), of.end(), named->second) == of.end())
                of.push_back(named->second);
            for (int g : of) {
                const SecondaryGroup &group = groups[static_cast<std::size_t>(g)];
                for (SecondaryType type : group.types) {
                    if (appliesTo(type, group.scope, o))
                        ++counts[static_cast<std::size_t>(g)][static_cast<std::size_t>(type)];
                }
            }
        }
        for (std::size_t g = 0; g < groups.size(); ++g) {
            const SecondaryGroup &group = groups[g];
            for (SecondaryType type : group.types) {
                const int count = counts[g][static_cast<std::size_t>(type)];
                if (count == 0) {
                    m_diagnostics.warning(
                        m_network.fileName(group.fileNumber), group.lineNumber,
                        fr("Le paramètre ") + secondaryTypeCode(type) + fr(" du groupe « ") +
                            group.name +
                            fr(" » ne s'applique à aucune observation : il n'est pas estimé."));
                    continue;
                }
                if (type == SecondaryType::VarianceGroup) {
                    parameterOf[g][static_cast<std::size_t>(type)] =
                        static_cast<int>(m_network.varianceGroups.size());
                    m_network.varianceGroups.push_back(
                        {group.name, group.fileNumber, group.lineNumber, {}});
                    continue;
                }
                parameterOf[g][static_cast<std::size_t>(type)] =
                    static_cast<int>(m_network.secondaryParameters.size());
                SecondaryParameter parameter;
                parameter.group = static_cast<int>(g);
                parameter.type = type;
                parameter.observations = count;
                m_network.secondaryParameters.push_back(parameter);
            }
        }
        for (std::size_t i = 0; i < m_network.observations.size(); ++i) {
            Observation &o = m_network.observations[i];
            o.secondaryStart = static_cast<int>(m_network.observationSecondary.size());
            int refractionGroup = -1; // of the parameter of refraction taken
            for (int g : members[i]) {
                const SecondaryGroup &group = groups[static_cast<std::size_t>(g)];
                for (SecondaryType type : group.types) {
                    const int k =
                        parameterOf[static_cast<std::size_t>(g)][static_cast<std::size_t>(type)];
                    if (k < 0 || !appliesTo(type, group.scope, o))
                        continue;
                    if (type == SecondaryType::VarianceGroup) {
                        auto &varianceGroups = m_network.varianceGroups;
                        if (o.varianceGroup >= 0) {
                            const std::string &first =
                                varianceGroups[static_cast<std::size_t>(o.varianceGroup)].name;
                            error(o.fileNumber, o.lineNumber,
                                  fr("L'observation appartient à deux groupes de variance GVCE "
                                     "(« ") +
                                      first + fr(" » et « ") + group.name + fr(" »)."));
                            continue;
                        }
                        o.varianceGroup = k;
                        varianceGroups[static_cast<std::size_t>(k)].observations.push_back(
                            static_cast<int>(i));
                        continue;
                    }
                    if (type == SecondaryType::Refraction) {
                        if (refractionGroup >= 0) {
                            error(o.fileNumber, o.lineNumber,
                                  fr("L'angle zénithal a deux coefficients de réfraction à "
                                     "estimer (groupes « ") +
                                      groups[static_cast<std::size_t>(refractionGroup)].name +
                                      fr(" » et « ") + group.name + fr(" »)."));
                            continue;
                        }
                        refractionGroup = g;
                        // The iterations start from the coefficients written on the group's
                        // zenith angles, so that they begin where the data check stands.
                        SecondaryParameter &parameter =
                            m_network.secondaryParameters[static_cast<std::size_t>(k)];
                        parameter.start += o.refraction() / parameter.observations;
                    }
                    m_network.observationSecondary.push_back(k);
                }
            }
            o.secondaryCount =
                static_cast<int>(m_network.observationSecondary.size()) - o.secondaryStart;
        }
    }

    // One ellipsoid serves the whole run: an ELIP record repeating the one in force is harmless,
    // a different one is an error naming both lines.
    void ellipsoid(const SourceLine &line)
    {
        ReferenceEllipsoid e;
        e.name = text(line, Field::Text);
        e.fileNumber = line.fileNumber;
        e.lineNumber = line.lineNumber;
        double metres = 1.0;
        bool ok = unit(line, metres);
        ok = number(line, Field::SemiMajor, "demi-grand axe", e.semiMajor) && ok;
        ok = number(line, Field::SemiMinor, "demi-petit axe", e.semiMinor) && ok;
        if (!ok)
            return;
        e.semiMajor *= metres;
        e.semiMinor *= metres;
        ok = within(line, e.semiMajor, kMinSemiAxis, kMaxSemiAxis, "demi-grand axe", " m");
        ok = within(line, e.semiMinor, kMinSemiAxis, kMaxSemiAxis, "demi-petit axe", " m") && ok;
        if (!ok)
            return;
        if (e.semiMinor > e.semiMajor) {
            error(line, fr("Le demi-petit axe (") + metresText(e.semiMinor) +
                            fr(" m) est plus grand que le demi-grand axe (") +
                            metresText(e.semiMajor) + fr(" m)."));
            return;
        }
        const ReferenceEllipsoid &current = m_network.ellipsoid;
        if (!current.isDefault()) {
            // A micrometre: the same axes written in another unit.
            constexpr double kSameAxis = 1e-6;
            if (std::abs(current.semiMajor - e.semiMajor) > kSameAxis ||
                std::abs(current.semiMinor - e.semiMinor) > kSameAxis)
                error(line, fr("Ellipsoïde différent de celui défini en ") +
                                m_network.fileName(current.fileNumber) + fr(", ligne ") +
                                std::to_string(current.lineNumber) +
                                fr(" : un seul ellipsoïde par calcul."));
            return;
        }
        m_network.ellipsoid = e;
    }

    // PMOY: the latitude of the spherical model's sphere. One latitude serves the whole run, as
    // one ellipsoid does; the other models have no use for it.
    void meanLatitude(const SourceLine &line)
    {
        if (m_options.model != ModelType::Spherical3D) {
            m_diagnostics.warning(m_network.fileName(line.fileNumber), line.lineNumber,
                                  fr("La latitude moyenne PMOY ne sert qu'au modèle "
                                     "3D_SPHERIQUE : elle est ignorée."));
            return;
        }
        const std::optional<double> latitude = geographicAngle(line, Field::Latitude, false);
        if (!latitude)
            return;
        if (m_network.meanLatitudeLine > 0) {
            // The same latitude written another way (a hundred-thousandth of an arc second).
            constexpr double kSameLatitude = 5e-11;
            if (std::abs(*latitude - m_meanLatitude) > kSameLatitude)
                error(line, fr("Latitude moyenne différente de celle définie en ") +
                                m_network.fileName(m_network.meanLatitudeFile) + fr(", ligne ") +
                                std::to_string(m_network.meanLatitudeLine) +
                                fr(" : une seule latitude moyenne PMOY par calcul."));
            return;
        }
        m_meanLatitude = *latitude;
        m_network.meanLatitudeFile = line.fileNumber;
        m_network.meanLatitudeLine = line.lineNumber;
    }

    void point(const SourceLine &line)
    {
        if (const std::optional<Point> p = localPoint(line, true))
            addPoint(line, *p);
    }

    // The point a coordinate line names, with its file and line; none, with an error, when the
    // name is blank.
    std::optional<Point> namedPoint(const SourceLine &line)
    {
        Point p;
        p.name = text(line, Field::Point);
        p.fileNumber = line.fileNumber;
        p.lineNumber = line.lineNumber;
        if (p.name.empty()) {
            error(line, fr("Point sans nom (") + columnsOf(Field::Point) + ").");
            return std::nullopt;
        }
        return p;
    }

    // A LENU or LNEU line; with `withFixity` false its flags are not read (an observed position).
    std::optional<Point> localPoint(const SourceLine &line, bool withFixity)
    {
        std::optional<Point> named = namedPoint(line);
        if (!named)
            return std::nullopt;
        Point &p = *named;
        double metres = 1.0;
        double east = 0.0;
        double north = 0.0;
        double up = 0.0;
        bool ok = unit(line, metres);
        // Read in column order, so that the messages of a line come in its order.
        const bool northFirst = span(Field::North).first < span(Field::East).first;
        if (northFirst) {
            ok = number(line, Field::North, "coordonnée nord", north) && ok;
            ok = number(line, Field::East, "coordonnée est", east) && ok;
        } else {
            ok = number(line, Field::East, "coordonnée est", east) && ok;
            ok = number(line, Field::North, "coordonnée nord", north) && ok;
        }
        ok = number(line, Field::Up, "coordonnée verticale", up) && ok;
        std::array<bool, 3> recordFixed = {false, false, false};
        std::array<bool, 3> recordBase = {false, false, false};
        if (withFixity)
            ok = fixity(line, recordFixed, recordBase) && ok;
        if (!ok)
            return std::nullopt;
        p.approximate = Eigen::Vector3d(east * metres, north * metres, up * metres);
        // The flags follow the order of the record's coordinates.
        p.fixed = northFirst ? std::array<bool, 3>{recordFixed[1], recordFixed[0], recordFixed[2]}
                             : recordFixed;
        p.base = northFirst ? std::array<bool, 3>{recordBase[1], recordBase[0], recordBase[2]}
                            : recordBase;
        return p;
    }

    // The fixity flags of a coordinate record, in the record's order; a missing one is free. A 2
    // is free too, and marks a coordinate of the base of a free network.
    bool fixity(const SourceLine &line, std::array<bool, 3> &fixed, std::array<bool, 3> &base)
    {
        const std::string_view flags = text(line, Field::Flags);
        for (std::size_t i = 0; i < flags.size(); ++i) {
            if (flags[i] == '1') {
                fixed[i] = true;
            } else if (flags[i] == '2') {
                base[i] = true;
            } else if (flags[i] != '0') {
                error(line, fr("Indicateurs de fixité illisibles « ") + std::string(flags) +
                                fr(" » : un 1 (fixe), un 0 (libre) ou un 2 (libre, point de base "
                                   "d'un réseau libre) par coordonnée."));
                return false;
            }
        }
        return true;
    }

    // How a message names the angle of `field`: without and with its article.
    struct AngleName
    {
        const char *bare;
        const char *withArticle; // "la latitude"
    };

    static AngleName angleName(Field field)
    {
        switch (field) {
        case Field::Longitude:
            return {"longitude", "la longitude"};
        case Field::FirstParallel:
            return {"premier parallèle", "le premier parallèle"};
        case Field::SecondParallel:
            return {"second parallèle", "le second parallèle"};
        case Field::DeflectionNorth:
            return {"déviation N/S", "la déviation N/S"};
        case Field::DeflectionEast:
            return {"déviation E/W", "la déviation E/W"};
        default:
            break;
        }
        return {"latitude", "la latitude"};
    }

    // A latitude or a longitude (PLH, PLO and the projections in degrees, minutes, seconds; PLHD
    // and PLOD in decimal degrees), a standard parallel or a deflection of the vertical, in
    // radians; its letter, if any, must be of its axis (N or S, E or W/O).
    std::optional<double> geographicAngle(const SourceLine &line, Field field, bool decimal)
    {
        const bool latitude = field == Field::Latitude || field == Field::FirstParallel ||
                              field == Field::SecondParallel || field == Field::DeflectionNorth;
        const bool deflection = field == Field::DeflectionNorth || field == Field::DeflectionEast;
        const AngleName name = angleName(field);
        const std::string what = fr(name.bare);
        const std::string written(text(line, field));
        if (written.empty()) {
            error(line, fr("Valeur manquante : ") + what + " (" + columnsOf(field) + ").");
            return std::nullopt;
        }
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(written[0])));
        const bool wrongLetter = latitude ? (letter == 'E' || letter == 'W' || letter == 'O')
                                          : (letter == 'N' || letter == 'S');
        if (wrongLetter) {
            const std::string article = fr(name.withArticle);
            error(line,
                  fr("Lettre « ") + std::string(1, written[0]) + fr(" » de ") + article +
                      fr(" « ") + written +
                      (latitude ? fr(" » : N ou S attendu.") : fr(" » : E ou W (O) attendu.")));
            return std::nullopt;
        }
        // The field editor writes the letter apart from the number: "S            12.5".
        const bool lettered = std::isalpha(static_cast<unsigned char>(written[0])) != 0;
        if (decimal && trim(std::string_view(written).substr(lettered ? 1 : 0)).find(' ') !=
                           std::string::npos) {
            std::string article = fr(name.withArticle);
            article[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(article[0])));
            error(line, article + fr(" « ") + written +
                            fr(" » doit être en degrés décimaux, en une seule valeur."));
            return std::nullopt;
        }
        std::string reason;
        const auto angle = parseAngle(written, AngleUnit::Dms, reason);
        if (!angle) {
            error(line, fr("Coordonnée illisible : ") + reason + ".");
            return std::nullopt;
        }
        if (deflection) {
            if (!(std::abs(*angle) <= kMaxDeflection)) {
                error(line, fr("Valeur hors limites : ") + what + fr(" « ") + written +
                                fr(" », au plus 5 minutes d'arc attendu."));
                return std::nullopt;
            }
            return *angle;
        }
        // Latitudes up to the poles; longitudes within a turn either way, as 0 to 360 east too.
        const double limit = latitude ? kPi / 2.0 : 2.0 * kPi;
        if (!(std::abs(*angle) <= limit) || (!latitude && std::abs(*angle) >= limit)) {
            error(line, fr("Valeur hors limites : ") + what + fr(" « ") + written +
                            (latitude ? fr(" », de 90° sud à 90° nord attendu.")
                                      : fr(" », moins d'un tour (360°) attendu.")));
            return std::nullopt;
        }
        return latitude ? *angle : wrapAngle(*angle);
    }

    static ProjectionMethod projectionMethod(std::string_view code)
    {
        if (code == "LAMB" || code == "XLAM")
            return ProjectionMethod::LambertConic;
        if (code == "OMER")
            return ProjectionMethod::ObliqueMercator;
        if (code == "STGR")
            return ProjectionMethod::ObliqueStereographic;
        return ProjectionMethod::TransverseMercator;
    }

    static bool isProjectionRecord(std::string_view code)
    {
        return code == "TMER" || code == "XTMR" || code == "LAMB" || code == "XLAM" ||
               code == "OMER" || code == "STGR";
    }

    // TMER, XTMR, LAMB, XLAM, OMER, STGR: a projection, made once the ellipsoid is known.
    void projectionRecord(const SourceLine &line, std::string_view code)
    {
        ProjectionDefinition d;
        d.name = text(line, Field::Text);
        d.code = code;
        d.method = projectionMethod(code);
        d.fileNumber = line.fileNumber;
        d.lineNumber = line.lineNumber;
        if (d.name.empty()) {
            error(line, fr("Projection sans nom (") + columnsOf(Field::Text) + ").");
            return;
        }
        double metres = 1.0;
        bool ok = unit(line, metres);
        // Read in column order, so that the messages of a line come in its order.
        std::optional<double> latitude;
        std::optional<double> longitude;
        if (span(Field::Latitude).first < span(Field::Longitude).first) {
            latitude = geographicAngle(line, Field::Latitude, false);
            longitude = geographicAngle(line, Field::Longitude, false);
        } else {
            longitude = geographicAngle(line, Field::Longitude, false);
            latitude = geographicAngle(line, Field::Latitude, false);
        }
        ok = latitude && longitude && ok;
        if (d.method == ProjectionMethod::ObliqueMercator) {
            std::string reason;
            const auto azimuth =
                parseAngle(text(line, Field::Azimuth), AngleUnit::Dms, reason, AngleRange::Circle);
            if (!azimuth) {
                error(line, fr("Azimut illisible : ") + reason + ".");
                ok = false;
            } else {
                d.azimuth = *azimuth;
            }
        }
        ok = number(line, Field::FalseNorthing, "faux nord", d.falseNorthing) && ok;
        ok = number(line, Field::FalseEasting, "faux est", d.falseEasting) && ok;
        if (d.method == ProjectionMethod::LambertConic) {
            const auto first = geographicAngle(line, Field::FirstParallel, false);
            const auto second = geographicAngle(line, Field::SecondParallel, false);
            ok = first && second && ok;
            if (first && second) {
                d.firstParallel = *first;
                d.secondParallel = *second;
            }
        } else {
            ok = number(line, Field::ScaleFactor, "facteur d'échelle", d.scale) && ok;
        }
        if (!ok)
            return;
        d.latitudeOfOrigin = *latitude;
        d.longitudeOfOrigin = *longitude;
        d.falseNorthing *= metres;
        d.falseEasting *= metres;
        for (const ProjectionDefinition &other : m_projections) {
            if (other.name == d.name) {
                error(line, fr("La projection « ") + d.name + fr(" » est déjà définie (") +
                                m_network.fileName(other.fileNumber) + fr(", ligne ") +
                                std::to_string(other.lineNumber) + ").");
                return;
            }
        }
        m_projections.push_back(d);
    }

    // GEOI: the undulation and the deflections of the vertical at a point; blank deflections are
    // zero.
    void geoidRecord(const SourceLine &line)
    {
        if (!geoidInModel(line))
            return;
        const std::string pointName(text(line, Field::Point));
        if (pointName.empty()) {
            error(line, fr("Géoïde sans nom de point (") + columnsOf(Field::Point) + ").");
            return;
        }
        GeoidValue value;
        value.fileNumber = line.fileNumber;
        value.lineNumber = line.lineNumber;
        double metres = 1.0;
        bool ok = unit(line, metres);
        for (Field field : {Field::DeflectionNorth, Field::DeflectionEast}) {
            if (text(line, field).empty())
                continue;
            const std::optional<double> angle = geographicAngle(line, field, false);
            ok = angle && ok;
            if (angle)
                (field == Field::DeflectionNorth ? value.deflectionNorth : value.deflectionEast) =
                    *angle;
        }
        ok = number(line, Field::Undulation, "ondulation", value.undulation) && ok;
        if (!ok)
            return;
        value.undulation *= metres;
        if (!within(line, value.undulation, -kMaxUndulation, kMaxUndulation, "ondulation", " m"))
            return;
        const auto [known, added] = m_geoidRecords.emplace(pointName, value);
        if (!added)
            error(line, fr("Le géoïde du point « ") + pointName + fr(" » est déjà donné (") +
                            m_network.fileName(known->second.fileNumber) + fr(", ligne ") +
                            std::to_string(known->second.lineNumber) + ").");
    }

    // GFIL: the grid of undulations (".geo"), its name relative to the folder of its file. One
    // grid serves the whole run.
    void geoidFile(const SourceLine &line)
    {
        if (!geoidInModel(line))
            return;
        const std::string written(text(line, Field::Text));
        if (written.empty()) {
            error(line,
                  fr("Grille de géoïde sans nom de fichier (") + columnsOf(Field::Text) + ").");
            return;
        }
        const std::string path = resolveInclude(m_network.fileName(line.fileNumber), written);
        if (m_network.geoidGrid) {
            if (path != m_network.geoidGridPath)
                error(line, fr("Grille de géoïde différente de celle de ") +
                                m_network.fileName(m_network.geoidFileNumber) + fr(", ligne ") +
                                std::to_string(m_network.geoidLineNumber) +
                                fr(" : une seule grille GFIL par calcul."));
            return;
        }
        std::string reason;
        std::optional<import::GeoidGrid> grid = import::readGeoFile(path, reason);
        if (!grid) {
            error(line, fr("Grille de géoïde illisible « ") + path + fr(" » : ") + reason);
            return;
        }
        m_network.geoidGrid = std::make_shared<const import::GeoidGrid>(std::move(*grid));
        m_network.geoidGridPath = path;
        m_network.geoidFileNumber = line.fileNumber;
        m_network.geoidLineNumber = line.lineNumber;
    }

    // The local model has no ellipsoid for a geoid: GEOI and GFIL are ignored there.
    bool geoidInModel(const SourceLine &line)
    {
        if (m_options.model != ModelType::Local3D)
            return true;
        m_diagnostics.warning(m_network.fileName(line.fileNumber), line.lineNumber,
                              fr("Le géoïde (GEOI, GFIL) ne sert qu'aux modèles géodésiques : "
                                 "l'enregistrement est ignoré."));
        return false;
    }

    // XYZ, PLH, PLHD: a point on the ellipsoid, for the geodetic models only. Its unknowns are
    // corrections east, north and up in its horizon, so the flags of XYZ fix the whole point or
    // leave it free.
    void geodeticPoint(const SourceLine &line, std::string_view code)
    {
        if (m_options.model == ModelType::Local3D) {
            error(line, fr("Les coordonnées ") + std::string(code) +
                            fr(" demandent un modèle géodésique (TYPEMODEL 3D_ELLIPSOIDALE ou "
                               "3D_SPHERIQUE) ; le modèle 3D_LOCALE n'a que LENU et LNEU."));
            return;
        }
        if (const std::optional<Point> p = readGeodeticPoint(line, code, true))
            addPoint(line, *p);
    }

    // An XYZ, PLH or PLHD line; with `withFixity` false its flags are not read (an observed
    // position).
    std::optional<Point> readGeodeticPoint(const SourceLine &line, std::string_view code,
                                           bool withFixity)
    {
        std::optional<Point> named = namedPoint(line);
        if (!named)
            return std::nullopt;
        Point &p = *named;
        double metres = 1.0;
        bool ok = unit(line, metres);
        std::array<bool, 3> recordFixed = {false, false, false};
        std::array<bool, 3> recordBase = {false, false, false};
        Geographic &g = p.geographic;
        if (code == "XYZ") {
            Eigen::Vector3d xyz = Eigen::Vector3d::Zero();
            ok = number(line, Field::X, "coordonnée X", xyz.x()) && ok;
            ok = number(line, Field::Y, "coordonnée Y", xyz.y()) && ok;
            ok = number(line, Field::Z, "coordonnée Z", xyz.z()) && ok;
            if (withFixity)
                ok = fixity(line, recordFixed, recordBase) && ok;
            if (!ok)
                return std::nullopt;
            if (recordFixed[0] != recordFixed[1] || recordFixed[1] != recordFixed[2]) {
                error(line, fr("Coordonnées XYZ fixées en partie (« ") +
                                std::string(text(line, Field::Flags)) +
                                fr(" ») : un point XYZ est fixe (111) ou libre (000) ; pour fixer "
                                   "sa seule hauteur, le donner en PLH ou PLHD."));
                return std::nullopt;
            }
            p.geocentric = xyz * metres;
            p.fixed = recordFixed;
            p.base = recordBase;
        } else if (code == "NEH" || code == "NEO") {
            p.altitude = code == "NEO";
            double height = 0.0;
            ok = number(line, Field::North, "coordonnée nord", p.gridNorth) && ok;
            ok = number(line, Field::East, "coordonnée est", p.gridEast) && ok;
            ok = number(line, Field::Height, p.altitude ? "altitude" : "hauteur ellipsoïdale",
                        height) &&
                 ok;
            p.projection = text(line, Field::Projection);
            if (p.projection.empty()) {
                error(line, fr("Nom de projection manquant (") + columnsOf(Field::Projection) +
                                fr(") : celui d'un enregistrement TMER, XTMR, LAMB, XLAM, OMER ou "
                                   "STGR."));
                ok = false;
            }
            if (withFixity)
                ok = fixity(line, recordFixed, recordBase) && ok;
            if (!ok)
                return std::nullopt;
            p.gridNorth *= metres;
            p.gridEast *= metres;
            (p.altitude ? p.altitudeRead : g.height) = height * metres;
            // North, east, height: north, east, up.
            p.fixed = {recordFixed[1], recordFixed[0], recordFixed[2]};
            p.base = {recordBase[1], recordBase[0], recordBase[2]};
        } else {
            const bool decimal = code == "PLHD" || code == "PLOD";
            p.altitude = code == "PLO" || code == "PLOD";
            double height = 0.0;
            const auto latitude = geographicAngle(line, Field::Latitude, decimal);
            const auto longitude = geographicAngle(line, Field::Longitude, decimal);
            ok = number(line, Field::Height, p.altitude ? "altitude" : "hauteur ellipsoïdale",
                        height) &&
                 ok;
            if (withFixity)
                ok = fixity(line, recordFixed, recordBase) && ok;
            if (!ok || !latitude || !longitude)
                return std::nullopt;
            g.latitude = *latitude;
            g.longitude = *longitude;
            (p.altitude ? p.altitudeRead : g.height) = height * metres;
            // Latitude, longitude, height: north, east, up.
            p.fixed = {recordFixed[1], recordFixed[0], recordFixed[2]};
            p.base = {recordBase[1], recordBase[0], recordBase[2]};
        }
        p.frame = code == "XYZ" ? CoordinateFrame::Geocentric : CoordinateFrame::Geographic;
        return p;
    }

    // The projections, on the ellipsoid of the run: each checked against its method's domain.
    void makeProjections()
    {
        for (const ProjectionDefinition &d : m_projections) {
            std::string reason;
            std::optional<Projection> p = Projection::make(m_network.ellipsoid, d, reason);
            if (p)
                m_network.projections.push_back(std::move(*p));
            else
                error(d.fileNumber, d.lineNumber,
                      fr("Projection « ") + d.name + fr(" » impossible : ") + reason + ".");
        }
    }

    // NEH and NEO: latitude and longitude from the projection named; PLO, PLOD and NEO: the
    // ellipsoidal height from the altitude and the geoid. False when the point cannot be placed.
    bool resolveGivenForm(Point &p)
    {
        if (!p.projection.empty()) {
            const Projection *projection = m_network.projectionNamed(p.projection);
            if (!projection) {
                const bool defined = std::any_of(
                    m_projections.begin(), m_projections.end(),
                    [&](const ProjectionDefinition &d) { return d.name == p.projection; });
                if (!defined)
                    error(p.fileNumber, p.lineNumber,
                          fr("Projection « ") + p.projection +
                              fr(" » inconnue : aucun enregistrement TMER, XTMR, LAMB, XLAM, "
                                 "OMER ou STGR ne la définit."));
                return false;
            }
            const std::optional<Geographic> g = projection->inverse(p.gridNorth, p.gridEast);
            if (!g) {
                error(p.fileNumber, p.lineNumber,
                      fr("Coordonnées nord ") + metresText(p.gridNorth) + fr(", est ") +
                          metresText(p.gridEast) + fr(" hors du domaine de la projection « ") +
                          p.projection + fr(" »."));
                return false;
            }
            p.geographic.latitude = g->latitude;
            p.geographic.longitude = g->longitude;
        }
        if (!p.altitude)
            return true;
        const auto record = m_geoidRecords.find(p.name);
        if (record != m_geoidRecords.end())
            p.geoid = record->second;
        else
            p.geoid = m_network.geoidAt(p, p.geographic);
        if (!p.geoid) {
            error(p.fileNumber, p.lineNumber,
                  m_network.geoidGrid
                      ? outsideGridText(p)
                      : fr("Altitude sans géoïde pour le point « ") + p.name +
                            fr(" » : ajouter une grille d'ondulations GFIL ou un enregistrement "
                               "GEOI du point, ou donner sa hauteur ellipsoïdale (NEH, PLH, "
                               "PLHD)."));
            return false;
        }
        p.geographic.height = p.altitudeRead + p.geoid->undulation;
        return true;
    }

    std::string outsideGridText(const Point &p) const
    {
        return fr("Le point « ") + p.name + fr(" » est hors de la grille de géoïde « ") +
               m_network.geoidGridPath + fr(" » (ou près d'un noeud sans valeur).");
    }

    // The other form of each XYZ, PLH or PLHD position (and PLO, PLOD, NEH, NEO), on the
    // ellipsoid of the run, and the bounds of its height; the spherical model's sphere.
    void completeGeodeticPoints()
    {
        const ReferenceEllipsoid &ellipsoid = m_network.ellipsoid;
        m_network.surface = ellipsoid;
        makeProjections();
        // The drawing is in the projection of the first point given in one, else in the first.
        for (const Point &p : m_network.points) {
            for (std::size_t k = 0; k < m_network.projections.size() && !p.projection.empty();
                 ++k) {
                if (m_network.drawingProjection < 0 &&
                    m_network.projections[k].definition().name == p.projection)
                    m_network.drawingProjection = static_cast<int>(k);
            }
        }
        if (m_network.drawingProjection < 0 && !m_network.projections.empty() && m_network.geodetic)
            m_network.drawingProjection = 0;
        for (Point &p : m_network.points) {
            if (p.frame == CoordinateFrame::Geographic && !resolveGivenForm(p))
                p.frame = CoordinateFrame::Local; // reported; kept out of the centroid
        }
        Eigen::Vector3d sum = Eigen::Vector3d::Zero();
        double latitudes = 0.0;
        int count = 0;
        for (Point &p : m_network.points) {
            if (p.frame == CoordinateFrame::Geocentric)
                p.geographic = toGeographic(ellipsoid, p.geocentric);
            else if (p.frame == CoordinateFrame::Geographic)
                p.geocentric = toGeocentric(ellipsoid, p.geographic);
            else
                continue;
            const double height = p.geographic.height;
            if (!(std::abs(height) <= kMaxEllipsoidalHeight))
                error(p.fileNumber, p.lineNumber,
                      fr("Valeur hors limites : hauteur ellipsoïdale ") + shortNumber(height) +
                          fr(" m, de ") + shortNumber(-kMaxEllipsoidalHeight) + fr(" à ") +
                          shortNumber(kMaxEllipsoidalHeight) + fr(" m attendu."));
            sum += p.geocentric;
            latitudes += p.geographic.latitude;
            ++count;
        }
        Geographic &origin = m_network.tangentOrigin;
        if (count > 0) {
            origin = toGeographic(ellipsoid, sum / count);
            origin.height = 0.0;
        }
        if (m_options.model == ModelType::Spherical3D) {
            if (m_network.meanLatitudeLine == 0 && count > 0)
                m_meanLatitude = latitudes / count;
            m_network.sphere.emplace(ellipsoid, m_meanLatitude, origin.longitude);
            m_network.surface = m_network.sphere->surface();
        }
        for (Point &p : m_network.points) {
            if (p.frame != CoordinateFrame::Local)
                p.approximate = m_network.planeOf(m_network.geocentricOf(p));
        }
    }

    // The geoid at every point, once all are placed: its GEOI record, or the grid at its
    // position; then the undulations that turn each OHDF into a difference of altitudes.
    void resolveGeoid()
    {
        for (const auto &[pointName, value] : m_geoidRecords) {
            const auto found = m_network.pointIndex.find(pointName);
            if (found == m_network.pointIndex.end())
                m_diagnostics.warning(m_network.fileName(value.fileNumber), value.lineNumber,
                                      fr("Géoïde donné pour le point « ") + pointName +
                                          fr(" », qu'aucune coordonnée ni observation ne nomme : "
                                             "il est ignoré."));
            else
                m_network.points[static_cast<std::size_t>(found->second)].geoid = value;
        }
        if (m_network.geoidGrid) {
            for (Point &p : m_network.points) {
                if (p.geoid && p.geoid->lineNumber > 0)
                    continue;
                const Geographic at = m_network.geographicOf(m_network.geocentricOf(p));
                p.geoid = m_network.geoidAt(p, at);
                if (!p.geoid)
                    error(p.fileNumber, p.lineNumber, outsideGridText(p));
            }
        }
        if (!m_network.hasGeoid())
            return;
        for (Observation &o : m_network.observations) {
            if (o.kind != ObservationKind::HeightDifference)
                continue;
            const Point &a = m_network.points[static_cast<std::size_t>(o.station)];
            const Point &b = m_network.points[static_cast<std::size_t>(o.target)];
            bool known = true;
            for (const Point *p : {&a, &b}) {
                if (p->geoid)
                    continue;
                known = false;
                error(o.fileNumber, o.lineNumber,
                      fr("Ondulation du géoïde inconnue au point « ") + p->name +
                          fr(" » : avec un géoïde, une dénivelée OHDF est une différence "
                             "d'altitudes ; ajouter un enregistrement GEOI du point ou une "
                             "grille GFIL qui le couvre."));
            }
            if (known)
                o.setUndulationDifference(b.geoid->undulation - a.geoid->undulation);
        }
    }

    void addPoint(const SourceLine &line, const Point &p)
    {
        const auto known = m_network.pointIndex.find(p.name);
        if (known != m_network.pointIndex.end()) {
            const Point &other = m_network.points[static_cast<std::size_t>(known->second)];
            error(line, fr("Le point « ") + p.name + fr(" » est déjà défini (") +
                            m_network.fileName(other.fileNumber) + fr(", ligne ") +
                            std::to_string(other.lineNumber) + ").");
            return;
        }
        m_network.pointIndex[p.name] = static_cast<int>(m_network.points.size());
        m_network.points.push_back(p);
    }

    // An HI or HT, or with `unknown` an UNHI or UNHT: the height of the following sights from
    // that station or to that target, until another of these records for the point.
    void height(const SourceLine &line, bool instrument, bool unknown)
    {
        const std::string pointName(text(line, Field::Point));
        if (pointName.empty()) {
            error(line, fr("Hauteur sans nom de point (") + columnsOf(Field::Point) + ").");
            return;
        }
        LinearUnit read = LinearUnit::Metre;
        double value = 0.0;
        if (!unit(line, read) || !number(line, Field::Height, "hauteur", value))
            return;
        value *= metresPerUnit(read);
        if (!within(line, value, -kMaxHeight, kMaxHeight,
                    instrument ? "hauteur d'instrument" : "hauteur de cible", " m"))
            return;
        auto &inForce = instrument ? m_instrumentHeights : m_targetHeights;
        const int name = nameNumber(pointName);
        const auto previous = inForce.find(name);
        if (previous != inForce.end() && previous->second.unknown >= 0)
            replaceUnknownHeight(previous->second.unknown, line);
        HeightInForce height{value, HeightRecord{line.fileNumber, line.lineNumber, read}, -1};
        if (unknown) {
            UnknownHeight u;
            u.instrument = instrument;
            u.approximate = value;
            u.fileNumber = line.fileNumber;
            u.lineNumber = line.lineNumber;
            height.unknown = static_cast<int>(m_network.unknownHeights.size());
            m_network.unknownHeights.push_back(u);
            m_unknownHeights.push_back(PendingHeight{pointName, 0, false});
        }
        inForce[name] = height;
    }

    static std::string unknownHeightText(const UnknownHeight &height, const std::string &pointName)
    {
        return (height.instrument ? fr("Hauteur d'instrument inconnue (UNHI) de la station « ")
                                  : fr("Hauteur de cible inconnue (UNHT) du point « ")) +
               pointName + fr(" »");
    }

    // An unknown height that the record `line` replaces before any distance or zenith angle took
    // it would be no unknown of the network: the record is given twice, or in the wrong place.
    void replaceUnknownHeight(int unknown, const SourceLine &line)
    {
        PendingHeight &pending = m_unknownHeights[static_cast<std::size_t>(unknown)];
        if (pending.determining > 0)
            return;
        const UnknownHeight &height = m_network.unknownHeights[static_cast<std::size_t>(unknown)];
        pending.reported = true;
        error(height.fileNumber, height.lineNumber,
              unknownHeightText(height, pending.point) + fr(" en double : la ligne ") +
                  std::to_string(line.lineNumber) + fr(" (") + m_network.fileName(line.fileNumber) +
                  fr(") donne une autre hauteur du point avant qu'aucune distance ni aucun angle "
                     "zénithal ne prenne celle-ci."));
    }

    // Points the unknown heights, and refuses those no distance or zenith angle determines, or
    // that no observation tells from the height of their point. After errors in the files the
    // observations refused would make those messages wrong: they wait for a clean read.
    void resolveUnknownHeights()
    {
        const bool judged = !m_diagnostics.hasErrors();
        for (std::size_t h = 0; h < m_network.unknownHeights.size(); ++h) {
            UnknownHeight &height = m_network.unknownHeights[h];
            const PendingHeight &pending = m_unknownHeights[h];
            const auto found = m_network.pointIndex.find(pending.point);
            if (found != m_network.pointIndex.end())
                height.point = found->second;
            if (pending.reported || !judged)
                continue;
            if (pending.determining == 0 || height.point < 0) {
                error(height.fileNumber, height.lineNumber,
                      unknownHeightText(height, pending.point) +
                          (height.instrument
                               ? fr(" : aucune distance ni aucun angle zénithal de cette station "
                                    "ne la suit ; elle ne peut être déterminée.")
                               : fr(" : aucune distance ni aucun angle zénithal visant ce point ne "
                                    "la suit ; elle ne peut être déterminée.")));
                continue;
            }
            const Point &point = m_network.points[static_cast<std::size_t>(height.point)];
            if (point.fixed[2] || separatesHeight(static_cast<int>(h)))
                continue;
            error(height.fileNumber, height.lineNumber,
                  unknownHeightText(height, pending.point) +
                      fr(" : la hauteur du point est libre et toutes les observations qui la "
                         "déterminent ") +
                      (height.instrument ? fr("partent de cet instrument")
                                         : fr("visent cette cible")) +
                      fr(" ; seule leur somme est déterminée. Fixer la hauteur du point, le relier "
                         "par une autre observation (nivellement, visée ") +
                      (height.instrument ? fr("vers lui") : fr("depuis lui")) +
                      fr(") ou donner la hauteur connue (") + (height.instrument ? "HI" : "HT") +
                      ").");
        }
    }

    // Whether an observation sees the point of unknown height `h` without that height: one that
    // depends on the point's up and does not take the height in the point's place.
    bool separatesHeight(int h) const
    {
        const UnknownHeight &height = m_network.unknownHeights[static_cast<std::size_t>(h)];
        for (const Observation &o : m_network.observations) {
            if (o.station != height.point && o.target != height.point)
                continue;
            if (o.kind == ObservationKind::Direction || o.kind == ObservationKind::Azimuth)
                continue; // horizontal: blind to heights
            const bool takes = height.instrument
                                   ? o.station == height.point && o.instrumentUnknown == h
                                   : o.target == height.point && o.targetUnknown == h;
            if (!takes)
                return true;
        }
        return false;
    }

    void observation(const SourceLine &line, ObservationKind kind)
    {
        Observation o;
        o.kind = kind;
        o.fileNumber = line.fileNumber;
        o.lineNumber = line.lineNumber;
        o.group = m_group;
        ObservationAsRead r;
        r.sigmaId = text(line, Field::SigmaId);
        const std::string_view station = text(line, Field::Station);
        const std::string_view target = text(line, Field::Target);
        if (station.empty() || target.empty()) {
            error(line, fr("Nom de point manquant (station en ") + columnsOf(Field::Station) +
                            fr(", point visé en ") + columnsOf(Field::Target) + ").");
            return;
        }
        if (station == target) {
            error(line, fr("Le point visé est la station elle-même (« ") + std::string(station) +
                            fr(" »)."));
            return;
        }
        bool ok = true;
        double stdDev = 0.0;
        const bool angular = kind == ObservationKind::Direction ||
                             kind == ObservationKind::Azimuth || kind == ObservationKind::Zenith;
        if (angular) {
            std::string reason;
            const FieldSpan &value = span(Field::Value);
            const auto angle = parseAngle(
                columns(line.text, value.first, value.last - value.first + 1), m_angleUnit, reason,
                kind == ObservationKind::Zenith ? AngleRange::HalfCircle : AngleRange::Circle);
            if (!angle) {
                error(line, fr("Observation illisible : ") + reason + ".");
                ok = false;
            } else {
                o.value = *angle;
                r.written =
                    trimmedView(columnsView(line.text, value.first, value.last - value.first + 1));
                o.angleUnit = m_angleUnit;
            }
            ok = optionalNumber(line, Field::StdDev, "écart-type", stdDev, &r.hasOwnSigma) && ok;
            r.smallAngleUnit = smallAngleUnitInRadians(m_angleUnit);
            r.ownSigma = stdDev * r.smallAngleUnit;
        } else {
            ok = unit(line, o.linearUnit);
            ok = number(line, Field::Value,
                        kind == ObservationKind::Distance ? "distance" : "dénivelée", o.value) &&
                 ok;
            ok = optionalNumber(line, Field::StdDev, "écart-type", stdDev, &r.hasOwnSigma) && ok;
            const double metres = metresPerUnit(o.linearUnit);
            o.value *= metres;
            r.ownSigma = stdDev * metres;
            if (kind == ObservationKind::HeightDifference) {
                ok = optionalNumber(line, Field::Length, "longueur", r.length) && ok;
                r.length *= metres;
            }
        }
        if (kind == ObservationKind::Zenith) {
            double refraction = 0.0;
            ok = optionalNumber(line, Field::Refraction, "coefficient de réfraction", refraction) &&
                 within(line, refraction, -kMaxRefraction, kMaxRefraction,
                        "coefficient de réfraction", "") &&
                 ok;
            o.setRefraction(refraction);
            r.refractionSigma = m_refractionSigma;
        }
        if (!ok)
            return;
        if (stdDev < 0.0) {
            error(line, fr("Ecart-type négatif."));
            return;
        }
        if (r.hasOwnSigma && stdDev == 0.0)
            r.hasOwnSigma = false; // a zero standard deviation means none given
        if (r.hasOwnSigma && !sigmaWithinLimits(o, r.ownSigma)) {
            error(line, sigmaLimitText(o, r, r.ownSigma, std::string()));
            return;
        }
        if (kind == ObservationKind::Distance && o.value <= 0.0) {
            error(line, fr("Une distance doit être positive."));
            return;
        }
        if (kind == ObservationKind::HeightDifference && r.length < 0.0) {
            error(line, fr("La longueur du cheminement ne peut être négative."));
            return;
        }
        const PendingNames names{nameNumber(station), nameNumber(target)};
        // Levelling joins the marks themselves: only sights take heights.
        if (takesHeights(kind)) {
            const auto hi = m_instrumentHeights.find(names.station);
            if (hi != m_instrumentHeights.end())
                takeHeight(kind, hi->second, o.instrumentHeight, r.instrumentRecord,
                           o.instrumentUnknown);
            const auto ht = m_targetHeights.find(names.target);
            if (ht != m_targetHeights.end())
                takeHeight(kind, ht->second, o.targetHeight, r.targetRecord, o.targetUnknown);
        }
        if (kind == ObservationKind::Direction)
            o.set = directionSet(line, station);
        m_network.observations.push_back(std::move(o));
        m_network.asRead.push_back(std::move(r));
        m_names.push_back(names);
    }

    // The number of GRP name `name` in Network::groupNames, -1 for an empty one (no group).
    int groupNumber(std::string_view name)
    {
        if (name.empty())
            return -1;
        std::string key(name);
        const auto known = m_groupNumbers.find(key);
        if (known != m_groupNumbers.end())
            return known->second;
        const int number = static_cast<int>(m_network.groupNames.size());
        m_network.groupNames.push_back(key);
        m_groupNumbers.emplace(std::move(key), number);
        return number;
    }

    int nameNumber(std::string_view name)
    {
        std::string key(name);
        const auto known = m_nameNumbers.find(key);
        if (known != m_nameNumbers.end())
            return known->second;
        const auto entry =
            m_nameNumbers.emplace(std::move(key), static_cast<int>(m_nameTexts.size())).first;
        m_nameTexts.push_back(&entry->first);
        return entry->second;
    }

    void takeHeight(ObservationKind kind, const HeightInForce &inForce, double &height,
                    HeightRecord &record, int &unknown)
    {
        height = inForce.value;
        record = inForce.record;
        unknown = inForce.unknown;
        if (unknown >= 0 && (kind == ObservationKind::Distance || kind == ObservationKind::Zenith))
            ++m_unknownHeights[static_cast<std::size_t>(unknown)].determining;
    }

    static bool isAngle(const Observation &o)
    {
        return o.kind == ObservationKind::Direction || o.kind == ObservationKind::Azimuth ||
               o.kind == ObservationKind::Zenith;
    }

    // Standard deviations beyond these limits make no sense for a survey and, as weights, spoil
    // the normal system: a tiny one overflows it, a huge one drowns its observation.
    static bool sigmaWithinLimits(const Observation &o, double sigma)
    {
        return isAngle(o) ? sigma >= kMinAngleSigma && sigma <= kMaxAngleSigma
                          : sigma >= kMinLengthSigma && sigma <= kMaxLengthSigma;
    }

    static std::string sigmaLimitText(const Observation &o, const ObservationAsRead &asRead,
                                      double sigma, const std::string &origin)
    {
        if (isAngle(o)) {
            const double unit = asRead.smallAngleUnit > 0.0 ? asRead.smallAngleUnit : 1.0;
            return fr("Ecart-type hors limites") + origin + " : " + shortNumber(sigma / unit) +
                   fr(" dans la petite unité d'angle, de ") + shortNumber(kMinAngleSigma / unit) +
                   fr(" à ") + shortNumber(kMaxAngleSigma / unit) + fr(" attendu.");
        }
        return fr("Ecart-type hors limites") + origin + " : " + shortNumber(sigma) + fr(" m, de ") +
               shortNumber(kMinLengthSigma) + fr(" à ") + shortNumber(kMaxLengthSigma) +
               fr(" m attendu.");
    }

    // The set of a direction: the current DSET, or a new one when there is none yet or when the
    // current one belongs to another station.
    int directionSet(const SourceLine &line, std::string_view station)
    {
        if (m_currentSet >= 0) {
            auto &set = m_network.sets[static_cast<std::size_t>(m_currentSet)];
            if (m_setStations.size() <= static_cast<std::size_t>(m_currentSet))
                m_setStations.resize(static_cast<std::size_t>(m_currentSet) + 1);
            std::string &setStation = m_setStations[static_cast<std::size_t>(m_currentSet)];
            if (setStation.empty() || setStation == station) {
                setStation = station;
                return m_currentSet;
            }
            m_diagnostics.warning(m_network.fileName(line.fileNumber), line.lineNumber,
                                  fr("Direction depuis « ") + std::string(station) +
                                      fr(" » dans le jeu de « ") + setStation +
                                      fr(" » : un nouveau jeu est ouvert."));
            DirectionSet next;
            next.sigmaId = set.sigmaId;
            next.fileNumber = line.fileNumber;
            next.lineNumber = line.lineNumber;
            m_network.sets.push_back(next);
        } else {
            DirectionSet set;
            set.fileNumber = line.fileNumber;
            set.lineNumber = line.lineNumber;
            m_network.sets.push_back(set);
        }
        m_currentSet = static_cast<int>(m_network.sets.size()) - 1;
        m_setStations.resize(m_network.sets.size());
        m_setStations.back() = station;
        return m_currentSet;
    }

    // A point that observations name and no coordinate record gives is a point to compute, made
    // at the first line that names it; the points to compute come after the given ones, by name.
    void resolvePoints()
    {
        const std::size_t nameCount = m_nameTexts.size();
        std::vector<int> pointOfName(nameCount, -1);
        for (std::size_t n = 0; n < nameCount; ++n) {
            const auto found = m_network.pointIndex.find(*m_nameTexts[n]);
            if (found != m_network.pointIndex.end())
                pointOfName[n] = found->second;
        }
        constexpr std::pair<int, int> kNowhere{std::numeric_limits<int>::max(), 0};
        std::vector<std::pair<int, int>> firstNamed(nameCount, kNowhere); // file and line
        for (std::size_t i = 0; i < m_network.observations.size(); ++i) {
            const Observation &o = m_network.observations[i];
            for (const int name : {m_names[i].station, m_names[i].target}) {
                const auto n = static_cast<std::size_t>(name);
                if (pointOfName[n] < 0)
                    firstNamed[n] =
                        std::min(firstNamed[n], std::pair<int, int>(o.fileNumber, o.lineNumber));
            }
        }
        std::vector<int> computed;
        for (std::size_t n = 0; n < nameCount; ++n) {
            if (firstNamed[n] != kNowhere)
                computed.push_back(static_cast<int>(n));
        }
        std::sort(computed.begin(), computed.end(), [this](int a, int b) {
            return *m_nameTexts[static_cast<std::size_t>(a)] <
                   *m_nameTexts[static_cast<std::size_t>(b)];
        });
        for (const int name : computed) {
            const auto n = static_cast<std::size_t>(name);
            Point p;
            p.name = *m_nameTexts[n];
            p.given = false;
            p.fileNumber = firstNamed[n].first;
            p.lineNumber = firstNamed[n].second;
            pointOfName[n] = static_cast<int>(m_network.points.size());
            m_network.pointIndex[p.name] = pointOfName[n];
            m_network.points.push_back(std::move(p));
        }
        for (std::size_t i = 0; i < m_network.observations.size(); ++i) {
            Observation &o = m_network.observations[i];
            o.station = pointOfName[static_cast<std::size_t>(m_names[i].station)];
            o.target = pointOfName[static_cast<std::size_t>(m_names[i].target)];
        }
        for (std::size_t s = 0; s < m_network.sets.size(); ++s) {
            if (s < m_setStations.size()) {
                const auto found = m_network.pointIndex.find(m_setStations[s]);
                if (found != m_network.pointIndex.end())
                    m_network.sets[s].station = found->second;
            }
        }
    }

    void resolvePrecisions()
    {
        for (std::size_t i = 0; i < m_network.observations.size(); ++i) {
            Observation &o = m_network.observations[i];
            const ObservationAsRead &r = m_network.asRead[i];
            if (isComponent(o.kind))
                continue; // their matrix gives them
            const PrecisionFamily *family = nullptr;
            std::string id = r.sigmaId;
            if (id.empty() && o.set >= 0)
                id = m_network.sets[static_cast<std::size_t>(o.set)].sigmaId;
            if (!id.empty()) {
                const auto found = m_network.families.find(id);
                if (found == m_network.families.end()) {
                    error(o.fileNumber, o.lineNumber,
                          fr("Sigma-ID inconnu « ") + id +
                              fr(" » : aucune famille de précision SIGM ne le définit."));
                    continue;
                }
                family = &found->second;
            }
            if (!family && !r.hasOwnSigma) {
                error(o.fileNumber, o.lineNumber,
                      fr("Aucune précision pour cette observation : ni écart-type, ni Sigma-ID."));
                continue;
            }
            const Point &a = m_network.points[static_cast<std::size_t>(o.station)];
            const Point &b = m_network.points[static_cast<std::size_t>(o.target)];
            const double horizontal = (b.approximate - a.approximate).head<2>().norm();
            double familySigma = 0.0;
            if (family)
                familySigma = familyPrecision(o, r, *family, horizontal);
            double variance = 0.0;
            if (family && r.hasOwnSigma && m_options.addOwnAndFamily)
                variance = familySigma * familySigma + r.ownSigma * r.ownSigma;
            else if (r.hasOwnSigma)
                variance = r.ownSigma * r.ownSigma;
            else
                variance = familySigma * familySigma;
            if (o.kind == ObservationKind::Zenith) {
                const double bending = r.refractionSigma * horizontal / (2.0 * kEarthRadius);
                variance += bending * bending;
            }
            o.sigma = std::sqrt(variance);
            if (!(o.sigma > 0.0) || !std::isfinite(o.sigma))
                error(o.fileNumber, o.lineNumber,
                      fr("Précision nulle ou invalide pour cette observation."));
            else if (!sigmaWithinLimits(o, o.sigma))
                error(o.fileNumber, o.lineNumber,
                      sigmaLimitText(o, r, o.sigma,
                                     family ? fr(" (famille « ") + family->id + fr(" »)")
                                            : std::string()));
        }
    }

    double familyPrecision(const Observation &o, const ObservationAsRead &asRead,
                           const PrecisionFamily &f, double horizontal) const
    {
        const double centring = std::hypot(f.centringStation, f.centringTarget);
        switch (o.kind) {
        case ObservationKind::Distance: {
            const double a = f.constant * f.unit;
            const double b = f.ppm * 1e-6 * o.value;
            const double base = m_options.distanceQuadratic ? std::hypot(a, b) : a + b;
            return std::hypot(base, centring);
        }
        case ObservationKind::Direction:
        case ObservationKind::Azimuth: {
            const double a = f.constant * asRead.smallAngleUnit;
            const double across = horizontal > 0.0 ? centring / horizontal : 0.0;
            return std::hypot(a, across);
        }
        case ObservationKind::Zenith:
            return f.constant * asRead.smallAngleUnit;
        case ObservationKind::HeightDifference: {
            const double a = f.constant * f.unit;
            const double length = asRead.length > 0.0 ? asRead.length : horizontal;
            const double b = m_options.heightDifferencePerRootKm
                                 ? f.ppm * f.unit * std::sqrt(length / 1000.0)
                                 : f.ppm * 1e-6 * length;
            return std::hypot(a, b);
        }
        case ObservationKind::Vector:
        case ObservationKind::Geocentric:
        case ObservationKind::Geographic:
        case ObservationKind::Local:
            break;
        }
        return 0.0;
    }

    const ObservationSource &m_source;
    const Options &m_options;
    Diagnostics &m_diagnostics;
    const RecordLayout *m_layout = nullptr; // of the record being read
    Network m_network;
    std::vector<PendingNames> m_names; // per observation
    // The point names met, numbered in the order first met.
    std::unordered_map<std::string, int> m_nameNumbers;
    std::vector<const std::string *> m_nameTexts; // keys of m_nameNumbers

    std::optional<PendingBlock> m_block;
    std::vector<PendingBlock> m_blocks; // read whole, in the order of Network::correlated
    std::vector<std::string> m_setStations;
    std::unordered_map<int, HeightInForce> m_instrumentHeights; // by name number
    std::unordered_map<int, HeightInForce> m_targetHeights;
    std::vector<PendingHeight> m_unknownHeights;
    AngleUnit m_angleUnit;
    int m_currentSet = -1;
    double m_refractionSigma = 0.0;
    double m_meanLatitude = 0.0; // radians: the sphere's, of the PMOY record or of the points
    std::vector<ProjectionDefinition> m_projections;  // as read, made once the ellipsoid is known
    std::map<std::string, GeoidValue> m_geoidRecords; // GEOI, by point name
    int m_group = -1; // GRP in force: index into Network::groupNames
    std::map<std::string, int> m_groupNumbers;
};

} // namespace

Network buildNetwork(const ObservationSource &source, const Options &options,
                     Diagnostics &diagnostics)
{
    return Builder(source, options, diagnostics).build();
}

} // namespace engine
