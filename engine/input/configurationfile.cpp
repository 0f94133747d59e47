#include "engine/input/configurationfile.h"

#include "engine/base/diagnostics.h"
#include "engine/base/text.h"

#include <algorithm>

namespace engine {

namespace {

using Kind = ConfigurationKey::Kind;

// Version date written on the second line of every configuration file, as the workbench does.
constexpr const char kConfigurationVersionDate[] = "2017.02.14";
constexpr int kKeyWidth = 11;

} // namespace

const std::vector<ConfigurationKey> &configurationKeys()
{
    // Defaults for a first run on a new network: a local adjustment, a full report with every
    // residual, and the drawing file asked for.
    static const std::vector<ConfigurationKey> keys = {
        {"AJUSTEMENT", "CRITCONV", Kind::Text, "0.0001"},
        {"AJUSTEMENT", "HUBERVALUE", Kind::Text, "2.5"},
        {"AJUSTEMENT", "TYPECALCUL", Kind::Choice, "AJUSTEMENT"},
        {"AJUSTEMENT", "TYPEMODEL", Kind::Choice, "3D_LOCALE"},
        {"AJUSTEMENT", "TYPEANGLES", Kind::Choice, "GRD"},
        {"AJUSTEMENT", "LINEARUNIT", Kind::Choice, " m"},
        {"AJUSTEMENT", "NBMAXITER", Kind::Count, "10"},
        {"AJUSTEMENT", "APPLIMBE", Kind::Choice, "MOY"},
        {"AJUSTEMENT", "FREENET", Kind::Choice, "NON"},
        {"AJUSTEMENT", "SIGMADIST", Kind::Choice, "NOSTD"},
        {"AJUSTEMENT", "SIGM+STD", Kind::Choice, "NON"},
        {"AJUSTEMENT", "SIGMAOHDF", Kind::Choice, "NOSTD"},
        {"STATISTIQUE", "SIGMA0CONNU", Kind::Fixed, "SIGMA0CONNU OUI"},
        {"STATISTIQUE", "TYPESIGMA0", Kind::Choice, "AUTO"},
        {"STATISTIQUE", "VALIDATION", Kind::Text, "0.95"},
        {"STATISTIQUE", "REG_COORD", Kind::Choice, "NEU"},
        {"STATISTIQUE", "REG1D_TYPE", Kind::Digits, "001"},
        {"STATISTIQUE", "REG2D_TYPE", Kind::Digits, "100"},
        {"STATISTIQUE", "VCE_METHOD", Kind::Choice, "HELMERT"},
        {"STATISTIQUE", "VCEITERMAX", Kind::Count, "10"},
        {"STATISTIQUE", "VCESOLINT", Kind::Flag, "NON"},
        {"CONFIANCE", "REG1D_MODE", Kind::Choice, "10"},
        {"CONFIANCE", "REG1D_CONF", Kind::Text, "0.95"},
        {"CONFIANCE", "REG2D_MODE", Kind::Choice, "10"},
        {"CONFIANCE", "REG2D_CONF", Kind::Text, "0.95"},
        {"CONFIANCE", "REG3D_MODE", Kind::Choice, "00"},
        {"CONFIANCE", "REG3D_CONF", Kind::Text, "0.95"},
        {"FIABILITE", "FIA1D_MODE", Kind::Choice, "00"},
        {"FIABILITE", "FIA1D_CONF", Kind::Text, "0.95"},
        {"FIABILITE", "FIA1D_BETA", Kind::Text, "0.20"},
        {"FIABILITE", "FIA2D_MODE", Kind::Choice, "10"},
        {"FIABILITE", "FIA2D_CONF", Kind::Text, "0.95"},
        {"FIABILITE", "FIA2D_BETA", Kind::Text, "0.20"},
        {"FIABILITE", "FIA3D_MODE", Kind::Choice, "00"},
        {"FIABILITE", "FIA3D_CONF", Kind::Text, "0.95"},
        {"FIABILITE", "FIA3D_BETA", Kind::Text, "0.20"},
        {"MULTI EPOQUES", "MEP_MODE", Kind::Flag, "NON"},
        {"MULTI EPOQUES", "MEP_FROM0", Kind::Choice, "NON"},
        {"MULTI EPOQUES", "MEP_DOCONF", Kind::Flag, "NON"},
        {"MULTI EPOQUES", "MEP_DOFIAB", Kind::Flag, "NON"},
        {"MULTI EPOQUES", "MEP_DOCONG", Kind::Flag, "NON"},
        {"MULTI EPOQUES", "MEP_CSEUIL", Kind::Text, "0.95"},
        {"MULTI EPOQUES", "MEP_CTYPE", Kind::Digits, "000"},
        {"RAPPORT", "NBDEC_DIST", Kind::Count, "4"},
        {"RAPPORT", "NBDEC_ANGT", Kind::Count, "2"},
        {"RAPPORT", "LOG_TYPE", Kind::Fixed, "LOG_TYPE   ASCII"},
        {"RAPPORT", "LOG_STATIO", Kind::Flag, "OUI"},
        {"RAPPORT", "LOG_OPTION", Kind::Flag, "OUI"},
        {"RAPPORT", "LOG_GEOID", Kind::Flag, "NON"},
        {"RAPPORT", "LOG_FIAB", Kind::Flag, "OUI"},
        {"RAPPORT", "LOG_RESIDU", Kind::Choice, "TOUS"},
        {"RAPPORT", "LOG_RESNEU", Kind::Flag, "NON"},
        {"RAPPORT", "LOG_OMC", Kind::Choice, "NON"},
        {"RAPPORT", "LOG_SOLINT", Kind::Choice, "NON"},
        {"RAPPORT", "LOG_SOLFIN", Kind::Digits, "0001"},
        {"RAPPORT", "LOG_SOLAUX", Kind::Flag, "OUI"},
        {"RAPPORT", "LOG_SGMGRP", Kind::Flag, "OUI"},
        {"MATRICES", "OUTMAT_FMT", Kind::Fixed, "OUTMAT_FMT TAVLO"},
        {"MATRICES", "OUTMAT_CRD", Kind::Choice, "NEU"},
        {"MATRICES", "OUTMAT_SG0", Kind::Choice, "AUTO"},
        {"MATRICES", "OUTMAT_ABP", Kind::Choice, "NON"},
        {"MATRICES", "OUTMAT_NC", Kind::Choice, "NON"},
        {"MATRICES", "OUTMAT_INC", Kind::Choice, "NON"},
        {"MATRICES", "OUTMAT_V", Kind::Choice, "NON"},
        {"MATRICES", "OUTMAT_X", Kind::Choice, "NON"},
        {"GENERATION", "GENE_LOG", Kind::Flag, "NON"},
        {"GENERATION", "GENE_NOISE", Kind::Choice, "AUCUN"},
        {"GENERATION", "GENE_LIMBE", Kind::Choice, "ALEATOIRE"},
        {"DESSIN", "KML_EXPORT", Kind::Flag, "NON"},
        {"DESSIN", "KML_ALTI", Kind::Flag, "NON"},
        {"DESSIN", "KML_LNFIA", Kind::Flag, "NON"},
        {"DESSIN", "DRW_EXPORT", Kind::Flag, "OUI"},
    };
    return keys;
}

std::string defaultConfigurationText(const char *lineEnd)
{
    std::string text;
    auto line = [&](const std::string &content) {
        text += content;
        text += lineEnd;
    };
    line("# Fichier de configuration de Tavlo");
    line(std::string("# genere par Tavlo IHM version ") + kConfigurationVersionDate);
    line("");
    std::string section;
    for (const ConfigurationKey &key : configurationKeys()) {
        if (section != key.section) {
            if (!section.empty())
                line("");
            section = key.section;
            line("[" + section + "]");
            line("");
        }
        if (key.kind == Kind::Fixed)
            line(key.defaultValue);
        else
            line(padRight(key.key, kKeyWidth) + key.defaultValue);
    }
    return text;
}

namespace {

// The key of a key line: a key of the file other than the fixed lines, or a synonym of one.
const ConfigurationKey *knownKey(std::string_view key)
{
    if (key == "ITERMAXVCE")
        key = "VCEITERMAX";
    for (const ConfigurationKey &k : configurationKeys()) {
        if (k.kind != Kind::Fixed && key == k.key)
            return &k;
    }
    return nullptr;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// What a surveyor who shifts a value or a key by a column most likely meant, when the columns
// read otherwise: the first word of the line as the key and the rest as its value.
std::string misreadWarning(std::string_view line, const std::string &columnKey,
                           const std::string &columnValue)
{
    const ConfigurationKey *byColumns = knownKey(columnKey);
    if (byColumns && line.size() > 10 && !isBlank(line[10]))
        return fr("Valeur décalée d'une colonne vers la gauche pour la clé ") + byColumns->key +
               fr(" : la valeur est lue à partir de la colonne 12 (« ") + shownValue(columnValue) +
               fr(" »), le caractère de la colonne 11 n'est pas lu.");
    std::size_t start = 0;
    while (start < line.size() && isBlank(line[start]))
        ++start;
    std::size_t end = start;
    while (end < line.size() && !isBlank(line[end]))
        ++end;
    const std::string_view word = line.substr(start, end - start);
    if (word.empty())
        return {};
    const std::string wordValue = trim(line.substr(end));
    if (const ConfigurationKey *byWord = knownKey(word)) {
        if (byColumns == byWord && columnValue == wordValue)
            return {};
        if (byColumns)
            return fr("Ligne de la clé ") + byWord->key +
                   fr(" décalée : la valeur est lue à partir de la colonne 12 (« ") +
                   shownValue(columnValue) + fr(" ») et non « ") + shownValue(wordValue) +
                   fr(" ».");
        return fr("Ligne de la clé ") + byWord->key +
               fr(" décalée, donc ignorée : la clé se lit dans les colonnes 1 à 10 et sa valeur "
                  "à partir de la colonne 12.");
    }
    if (byColumns)
        return {};
    for (const ConfigurationKey &k : configurationKeys()) {
        const std::string_view key = k.key;
        if (k.kind == Kind::Fixed || word.size() <= key.size() || word.substr(0, key.size()) != key)
            continue;
        const std::string_view rest = word.substr(key.size());
        const bool looksLikeValue = (rest[0] >= '0' && rest[0] <= '9') || rest[0] == '.' ||
                                    rest[0] == ',' || rest[0] == '+' || rest[0] == '-' ||
                                    rest == "OUI" || rest == "NON" || rest == trim(k.defaultValue);
        if (looksLikeValue)
            return fr("Clé inconnue « ") + shownValue(word) + fr(" » ignorée : la clé ") + k.key +
                   fr(" semble collée à sa valeur, qui doit commencer en colonne 12.");
    }
    return {};
}

} // namespace

ConfigurationValues readConfigurationValues(const std::string &text)
{
    ConfigurationValues result;
    std::size_t start = 0;
    int lineNumber = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        ++lineNumber;
        std::string_view line(text.data() + start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::string key = trim(columns(line, 1, 10));
        const std::string value = trim(columnsFrom(line, 12));
        if (const ConfigurationKey *known = knownKey(key))
            result.values[known->key] = {value, lineNumber};
        std::string warning = misreadWarning(line, key, value);
        if (!warning.empty()) {
            if (result.misreadLines.size() < Diagnostics::kDetailedLimit)
                result.misreadLines.emplace_back(lineNumber, std::move(warning));
            else
                ++result.otherMisreadLines;
        }
        if (end == text.size())
            break;
        start = end + 1;
    }
    return result;
}

} // namespace engine
