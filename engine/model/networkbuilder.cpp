#include "engine/model/networkbuilder.h"

#include "engine/base/text.h"
#include "engine/model/angles.h"
#include "engine/model/approximatecoordinates.h"
#include "engine/model/localmodel.h"
#include "engine/model/matrixheader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>
#include <system_error>
#include <tuple>

namespace engine {

namespace {

double metresPerUnit(LinearUnit unit)
{
    switch (unit) {
    case LinearUnit::Centimetre:
        return 0.01;
    case LinearUnit::Millimetre:
        return 0.001;
    case LinearUnit::Metre:
        break;
    }
    return 1.0;
}

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
        for (const SourceLine &line : m_source.records)
            record(line);
        if (m_block)
            endBlock();
        addObservedPoints();
        completeGeodeticPoints();
        resolvePoints();
        // The precisions of centring depend on the lengths of the sights, known from here on.
        computeApproximateCoordinates(m_network, m_diagnostics);
        resolvePrecisions();
        resolveCorrelatedBlocks();
        return std::move(m_network);
    }

private:
    struct PendingNames
    {
        std::string station;
        std::string target;
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
    bool unit(const SourceLine &line, double &metres)
    {
        const std::string_view value = text(line, Field::Unit);
        const std::optional<LinearUnit> unit =
            value.empty() ? m_options.linearUnit : linearUnitOfToken(value);
        if (!unit) {
            error(line,
                  fr("Unité inconnue « ") + std::string(value) + fr(" » (m, cm ou mm attendu)."));
            return false;
        }
        metres = metresPerUnit(*unit);
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
            const auto &later = laterRecordCodes();
            if (std::find(later.begin(), later.end(), code) != later.end())
                error(line, fr("L'enregistrement ") + std::string(code) +
                                fr(" n'est pas encore traité par ce moteur."));
            else
                error(line, fr("Code d'enregistrement inconnu « ") + std::string(code) + fr(" »."));
            return;
        }
        checkColumns(line);
        if (code == "TITL") {
            const std::string_view title = text(line, Field::Text);
            if (!title.empty())
                m_network.titles.emplace_back(title);
        } else if (code == "GRP") {
            m_group = text(line, Field::Text);
        } else if (code == "ANGT") {
            const std::string_view value = text(line, Field::AngleUnit);
            if (const std::optional<AngleUnit> unit = angleUnitOfToken(value))
                m_angleUnit = *unit;
            else
                error(line, fr("Unité d'angle inconnue « ") + std::string(value) +
                                fr(" » (DMS, GRD ou RAD attendu)."));
        } else if (code == "SIGM") {
            family(line);
        } else if (code == "LENU" || code == "LNEU") {
            if (m_options.model == ModelType::Local3D)
                point(line);
            else
                error(line, fr("Les coordonnées locales ") + std::string(code) +
                                fr(" n'ont pas de repère dans un modèle géodésique : donner le "
                                   "point en XYZ, PLH ou PLHD."));
        } else if (code == "XYZ" || code == "PLH" || code == "PLHD") {
            geodeticPoint(line, code);
        } else if (code == "HI" || code == "HT") {
            height(line, code == "HI");
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
        } else if (code == "DIST") {
            observation(line, ObservationKind::Distance);
        } else if (code == "DIR") {
            observation(line, ObservationKind::Direction);
        } else if (code == "AZIM") {
            observation(line, ObservationKind::Azimuth);
        } else if (code == "ZANG") {
            observation(line, ObservationKind::Zenith);
        } else if (code == "OHDF") {
            observation(line, ObservationKind::HeightDifference);
        } else if (code == "3DC") {
            m_block.emplace();
            m_block->opening = line;
            m_block->sigmaId = text(line, Field::SigmaId);
        } else if (isMatrixHeader(code)) {
            error(line, fr("Entête de matrice ") + std::string(code) +
                            fr(" hors d'un bloc : elle suit un enregistrement 3DC et sa ligne de "
                               "coordonnées."));
        } else if (code == "ELEM") {
            error(line, fr("Ligne ELEM hors d'un bloc de matrice : elle suit une entête COV, CORR "
                           "ou WGT, ou la ligne ELEM précédente."));
        }
    }

    static bool isMatrixHeader(std::string_view code)
    {
        return code == "COV" || code == "CORR" || code == "WGT";
    }

    static bool isCoordinateRecord(std::string_view code)
    {
        return code == "XYZ" || code == "PLH" || code == "PLHD" || code == "LENU" || code == "LNEU";
    }

    // A record met while a 3DC block is open: true when it belongs to the block. The block takes
    // its coordinate line, then its matrix header, then ELEM lines; any other record ends it.
    bool blockRecord(const SourceLine &line, std::string_view code)
    {
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
        if (h.diagonalPpm != 0.0)
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
        const auto expected = static_cast<std::size_t>(b.header.elementCount(3));
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
            o.component = c;
            o.fileNumber = p.fileNumber;
            o.lineNumber = p.lineNumber;
            o.group = m_group;
            o.sigmaId = b.sigmaId;
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
            m_network.observations.push_back(o);
            m_names.push_back({p.name, p.name});
        }
        m_network.correlated.push_back(block);
        m_blocks.push_back(std::move(b));
    }

    // A point that only 3DC blocks give is placed at the position the first of them observes.
    void addObservedPoints()
    {
        for (const PendingBlock &b : m_blocks) {
            if (m_network.pointIndex.count(b.position.name))
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
                    o.metresPerRadian =
                        m_network.sphere ? metresPerRadian(m_network.surface,
                                                           m_network.sphere->toSphere(at), c == 0)
                                         : metresPerRadian(ellipsoid, at, c == 0);
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
        if (!f.otherParameters.empty()) {
            error(line, fr("Les paramètres secondaires d'une famille de précision (« ") +
                            f.otherParameters +
                            fr(" ») ne sont pas encore traités par ce moteur."));
            return;
        }
        if (m_network.families.count(f.id)) {
            error(line, fr("La famille de précision « ") + f.id + fr(" » est déjà définie."));
            return;
        }
        m_network.families[f.id] = f;
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

    // A LENU or LNEU line; with `withFixity` false its flags are not read (an observed position).
    std::optional<Point> localPoint(const SourceLine &line, bool withFixity)
    {
        Point p;
        p.name = text(line, Field::Point);
        p.fileNumber = line.fileNumber;
        p.lineNumber = line.lineNumber;
        if (p.name.empty()) {
            error(line, fr("Point sans nom (") + columnsOf(Field::Point) + ").");
            return std::nullopt;
        }
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

    // A latitude or a longitude of a PLH (degrees, minutes, seconds) or PLHD (decimal degrees)
    // record, in radians; its letter, if any, must be of its axis (N or S, E or W/O).
    std::optional<double> geographicAngle(const SourceLine &line, Field field, bool decimal)
    {
        const bool latitude = field == Field::Latitude;
        const char *what = latitude ? "latitude" : "longitude";
        const std::string written(text(line, field));
        if (written.empty()) {
            error(line, fr("Valeur manquante : ") + what + " (" + columnsOf(field) + ").");
            return std::nullopt;
        }
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(written[0])));
        const bool wrongLetter = latitude ? (letter == 'E' || letter == 'W' || letter == 'O')
                                          : (letter == 'N' || letter == 'S');
        if (wrongLetter) {
            error(line,
                  fr("Lettre « ") + std::string(1, written[0]) + fr(" » de la ") + what +
                      fr(" « ") + written +
                      (latitude ? fr(" » : N ou S attendu.") : fr(" » : E ou W (O) attendu.")));
            return std::nullopt;
        }
        // The field editor writes the letter apart from the number: "S            12.5".
        const bool lettered = std::isalpha(static_cast<unsigned char>(written[0])) != 0;
        if (decimal && trim(std::string_view(written).substr(lettered ? 1 : 0)).find(' ') !=
                           std::string::npos) {
            error(line, fr("La ") + what + fr(" « ") + written +
                            fr(" » doit être en degrés décimaux, en une seule valeur."));
            return std::nullopt;
        }
        std::string reason;
        const auto angle = parseAngle(written, AngleUnit::Dms, reason);
        if (!angle) {
            error(line, fr("Coordonnée illisible : ") + reason + ".");
            return std::nullopt;
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
        Point p;
        p.name = text(line, Field::Point);
        p.fileNumber = line.fileNumber;
        p.lineNumber = line.lineNumber;
        if (p.name.empty()) {
            error(line, fr("Point sans nom (") + columnsOf(Field::Point) + ").");
            return std::nullopt;
        }
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
        } else {
            const bool decimal = code == "PLHD";
            const auto latitude = geographicAngle(line, Field::Latitude, decimal);
            const auto longitude = geographicAngle(line, Field::Longitude, decimal);
            ok = number(line, Field::Height, "hauteur ellipsoïdale", g.height) && ok;
            if (withFixity)
                ok = fixity(line, recordFixed, recordBase) && ok;
            if (!ok || !latitude || !longitude)
                return std::nullopt;
            g.latitude = *latitude;
            g.longitude = *longitude;
            g.height *= metres;
            // Latitude, longitude, height: north, east, up.
            p.fixed = {recordFixed[1], recordFixed[0], recordFixed[2]};
            p.base = {recordBase[1], recordBase[0], recordBase[2]};
        }
        p.frame = code == "XYZ" ? CoordinateFrame::Geocentric : CoordinateFrame::Geographic;
        return p;
    }

    // The other form of each XYZ, PLH or PLHD position, on the ellipsoid of the run, and the
    // bounds of its height; the spherical model's sphere.
    void completeGeodeticPoints()
    {
        const ReferenceEllipsoid &ellipsoid = m_network.ellipsoid;
        m_network.surface = ellipsoid;
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

    void height(const SourceLine &line, bool instrument)
    {
        const std::string pointName(text(line, Field::Point));
        if (pointName.empty()) {
            error(line, fr("Hauteur sans nom de point (") + columnsOf(Field::Point) + ").");
            return;
        }
        double metres = 1.0;
        double value = 0.0;
        if (!unit(line, metres) || !number(line, Field::Height, "hauteur", value))
            return;
        value *= metres;
        if (!within(line, value, -kMaxHeight, kMaxHeight,
                    instrument ? "hauteur d'instrument" : "hauteur de cible", " m"))
            return;
        (instrument ? m_instrumentHeights : m_targetHeights)[pointName] = {
            value, HeightRecord{line.fileNumber, line.lineNumber, metres}};
    }

    void observation(const SourceLine &line, ObservationKind kind)
    {
        Observation o;
        o.kind = kind;
        o.fileNumber = line.fileNumber;
        o.lineNumber = line.lineNumber;
        o.group = m_group;
        o.sigmaId = text(line, Field::SigmaId);
        PendingNames names{std::string(text(line, Field::Station)),
                           std::string(text(line, Field::Target))};
        if (names.station.empty() || names.target.empty()) {
            error(line, fr("Nom de point manquant (station en ") + columnsOf(Field::Station) +
                            fr(", point visé en ") + columnsOf(Field::Target) + ").");
            return;
        }
        if (names.station == names.target) {
            error(line,
                  fr("Le point visé est la station elle-même (« ") + names.station + fr(" »)."));
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
                o.written =
                    trimmedView(columnsView(line.text, value.first, value.last - value.first + 1));
                o.angleUnit = m_angleUnit;
            }
            ok = optionalNumber(line, Field::StdDev, "écart-type", stdDev, &o.hasOwnSigma) && ok;
            o.smallAngleUnit = smallAngleUnitInRadians(m_angleUnit);
            o.ownSigma = stdDev * o.smallAngleUnit;
        } else {
            ok = unit(line, o.linearUnit);
            ok = number(line, Field::Value,
                        kind == ObservationKind::Distance ? "distance" : "dénivelée", o.value) &&
                 ok;
            ok = optionalNumber(line, Field::StdDev, "écart-type", stdDev, &o.hasOwnSigma) && ok;
            o.value *= o.linearUnit;
            o.ownSigma = stdDev * o.linearUnit;
            if (kind == ObservationKind::HeightDifference) {
                ok = optionalNumber(line, Field::Length, "longueur", o.length) && ok;
                o.length *= o.linearUnit;
            }
        }
        if (kind == ObservationKind::Zenith) {
            ok = optionalNumber(line, Field::Refraction, "coefficient de réfraction",
                                o.refraction) &&
                 within(line, o.refraction, -kMaxRefraction, kMaxRefraction,
                        "coefficient de réfraction", "") &&
                 ok;
            o.refractionSigma = m_refractionSigma;
        }
        if (!ok)
            return;
        if (stdDev < 0.0) {
            error(line, fr("Ecart-type négatif."));
            return;
        }
        if (o.hasOwnSigma && stdDev == 0.0)
            o.hasOwnSigma = false; // a zero standard deviation means none given
        if (o.hasOwnSigma && !sigmaWithinLimits(o, o.ownSigma)) {
            error(line, sigmaLimitText(o, o.ownSigma, std::string()));
            return;
        }
        if (kind == ObservationKind::Distance && o.value <= 0.0) {
            error(line, fr("Une distance doit être positive."));
            return;
        }
        if (kind == ObservationKind::HeightDifference && o.length < 0.0) {
            error(line, fr("La longueur du cheminement ne peut être négative."));
            return;
        }
        const auto hi = m_instrumentHeights.find(names.station);
        if (hi != m_instrumentHeights.end())
            std::tie(o.instrumentHeight, o.instrumentRecord) = hi->second;
        const auto ht = m_targetHeights.find(names.target);
        if (ht != m_targetHeights.end())
            std::tie(o.targetHeight, o.targetRecord) = ht->second;
        if (kind == ObservationKind::HeightDifference) {
            o.instrumentHeight = 0.0; // levelling joins the marks themselves
            o.targetHeight = 0.0;
            o.instrumentRecord = HeightRecord();
            o.targetRecord = HeightRecord();
        }
        if (kind == ObservationKind::Direction)
            o.set = directionSet(line, names.station);
        m_network.observations.push_back(o);
        m_names.push_back(names);
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

    static std::string sigmaLimitText(const Observation &o, double sigma, const std::string &origin)
    {
        if (isAngle(o)) {
            const double unit = o.smallAngleUnit > 0.0 ? o.smallAngleUnit : 1.0;
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
    int directionSet(const SourceLine &line, const std::string &station)
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
                                  fr("Direction depuis « ") + station + fr(" » dans le jeu de « ") +
                                      setStation + fr(" » : un nouveau jeu est ouvert."));
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
        std::map<std::string, std::pair<int, int>> computed; // name -> file and line
        for (std::size_t i = 0; i < m_network.observations.size(); ++i) {
            const Observation &o = m_network.observations[i];
            for (const std::string *pointName : {&m_names[i].station, &m_names[i].target}) {
                if (m_network.pointIndex.count(*pointName))
                    continue;
                const std::pair<int, int> where{o.fileNumber, o.lineNumber};
                const auto [entry, added] = computed.emplace(*pointName, where);
                if (!added && where < entry->second)
                    entry->second = where;
            }
        }
        for (const auto &[pointName, where] : computed) {
            Point p;
            p.name = pointName;
            p.given = false;
            p.fileNumber = where.first;
            p.lineNumber = where.second;
            m_network.pointIndex[p.name] = static_cast<int>(m_network.points.size());
            m_network.points.push_back(p);
        }
        for (std::size_t i = 0; i < m_network.observations.size(); ++i) {
            Observation &o = m_network.observations[i];
            o.station = m_network.pointIndex.at(m_names[i].station);
            o.target = m_network.pointIndex.at(m_names[i].target);
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
        for (Observation &o : m_network.observations) {
            if (isObservedPosition(o.kind))
                continue; // their matrix gives them
            const PrecisionFamily *family = nullptr;
            std::string id = o.sigmaId;
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
            if (!family && !o.hasOwnSigma) {
                error(o.fileNumber, o.lineNumber,
                      fr("Aucune précision pour cette observation : ni écart-type, ni Sigma-ID."));
                continue;
            }
            const Point &a = m_network.points[static_cast<std::size_t>(o.station)];
            const Point &b = m_network.points[static_cast<std::size_t>(o.target)];
            const double horizontal = (b.approximate - a.approximate).head<2>().norm();
            double familySigma = 0.0;
            if (family)
                familySigma = familyPrecision(o, *family, horizontal);
            double variance = 0.0;
            if (family && o.hasOwnSigma && m_options.addOwnAndFamily)
                variance = familySigma * familySigma + o.ownSigma * o.ownSigma;
            else if (o.hasOwnSigma)
                variance = o.ownSigma * o.ownSigma;
            else
                variance = familySigma * familySigma;
            if (o.kind == ObservationKind::Zenith) {
                const double bending = o.refractionSigma * horizontal / (2.0 * kEarthRadius);
                variance += bending * bending;
            }
            o.sigma = std::sqrt(variance);
            if (!(o.sigma > 0.0) || !std::isfinite(o.sigma))
                error(o.fileNumber, o.lineNumber,
                      fr("Précision nulle ou invalide pour cette observation."));
            else if (!sigmaWithinLimits(o, o.sigma))
                error(o.fileNumber, o.lineNumber,
                      sigmaLimitText(o, o.sigma,
                                     family ? fr(" (famille « ") + family->id + fr(" »)")
                                            : std::string()));
        }
    }

    double familyPrecision(const Observation &o, const PrecisionFamily &f, double horizontal) const
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
            const double a = f.constant * o.smallAngleUnit;
            const double across = horizontal > 0.0 ? centring / horizontal : 0.0;
            return std::hypot(a, across);
        }
        case ObservationKind::Zenith:
            return f.constant * o.smallAngleUnit;
        case ObservationKind::HeightDifference: {
            const double a = f.constant * f.unit;
            const double length = o.length > 0.0 ? o.length : horizontal;
            const double b = m_options.heightDifferencePerRootKm
                                 ? f.ppm * f.unit * std::sqrt(length / 1000.0)
                                 : f.ppm * 1e-6 * length;
            return std::hypot(a, b);
        }
        case ObservationKind::Geocentric:
        case ObservationKind::Geographic:
        case ObservationKind::Local:
            break;
        }
        return 0.0;
    }

    // A 3DC block as read: its coordinate line, then its matrix header and ELEM lines.
    struct PendingBlock
    {
        enum class Stage { Position, Header, Elements };
        Stage stage = Stage::Position;
        SourceLine opening; // the 3DC line
        std::string sigmaId;
        // An error was reported: the rest of the block is read without further messages.
        bool broken = false;
        std::string code; // of the coordinate line
        Point position;   // the observed position, as its line gives it
        MatrixHeader header;
        SourceLine headerLine;
        double headerMetres = 1.0;
        std::vector<MatrixElement> elements;
    };

    const ObservationSource &m_source;
    const Options &m_options;
    Diagnostics &m_diagnostics;
    const RecordLayout *m_layout = nullptr; // of the record being read
    Network m_network;
    std::vector<PendingNames> m_names;
    std::optional<PendingBlock> m_block;
    std::vector<PendingBlock> m_blocks; // read whole, in the order of Network::correlated
    std::vector<std::string> m_setStations;
    std::map<std::string, std::pair<double, HeightRecord>> m_instrumentHeights; // metres
    std::map<std::string, std::pair<double, HeightRecord>> m_targetHeights;
    AngleUnit m_angleUnit;
    int m_currentSet = -1;
    double m_refractionSigma = 0.0;
    double m_meanLatitude = 0.0; // radians: the sphere's, of the PMOY record or of the points
    std::string m_group;
};

} // namespace

Network buildNetwork(const ObservationSource &source, const Options &options,
                     Diagnostics &diagnostics)
{
    return Builder(source, options, diagnostics).build();
}

} // namespace engine
