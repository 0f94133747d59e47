#include "engine/import/importconversion.h"

#include "engine/base/atomicfile.h"
#include "engine/base/files.h"
#include "engine/base/text.h"
#include "engine/import/covadisimport.h"
#include "engine/import/gsiimport.h"
#include "engine/import/recordwriter.h"
#include "engine/import/rtklibimport.h"
#include "engine/import/skiimport.h"

#include <filesystem>

namespace engine::import {

namespace {

const char *kindName(ImportKind kind)
{
    switch (kind) {
    case ImportKind::Covadis:
        return "Géobase Covadis";
    case ImportKind::SkiAscii:
        return "vecteurs GNSS Leica SKI ASCII";
    case ImportKind::RtkLib:
        return "solutions RTKLib";
    case ImportKind::LeicaGsi:
        break;
    }
    return "Leica GSI";
}

} // namespace

bool parseImportOptions(int kind, std::string_view text, ImportOptions &options)
{
    std::size_t optionCount = 0;
    switch (kind) {
    case 1:
        optionCount = 0;
        break;
    case 2:
    case 3:
        optionCount = 2;
        break;
    case 4:
        optionCount = 1;
        break;
    default:
        return false;
    }
    if (text.size() != optionCount + 1)
        return false;
    for (const char c : text) {
        if (c != 'O' && c != 'N')
            return false;
    }
    options = ImportOptions();
    if (kind == 4) {
        options.neo = text[0] == 'O';
    } else if (optionCount == 2) {
        options.includePoints = text[0] == 'O';
        options.includeCovariance = text[1] == 'O';
    }
    options.append = text.back() == 'O';
    return true;
}

std::string rejectedLine(const ImportContext &context, int lineNumber, std::string_view reason)
{
    return commentLine(context.fileName + fr(", ligne ") + std::to_string(lineNumber) +
                       fr(" non convertie : ") + std::string(reason));
}

std::vector<std::string_view> splitLines(std::string_view content)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = start;
        while (end < content.size() && content[end] != '\n' && content[end] != '\r')
            ++end;
        lines.push_back(content.substr(start, end - start));
        if (end < content.size() && content[end] == '\r' && end + 1 < content.size() &&
            content[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    return lines;
}

Conversion convertContent(ImportKind kind, std::string_view content, ImportContext &context,
                          const ImportOptions &options)
{
    Conversion conversion;
    if (content.find('\0') != std::string_view::npos) {
        conversion.reason = fr("le fichier n'est pas un fichier texte");
        return conversion;
    }
    switch (kind) {
    case ImportKind::Covadis:
        conversion = convertCovadis(content, context);
        break;
    case ImportKind::SkiAscii:
        conversion = convertSki(content, context, options);
        break;
    case ImportKind::RtkLib:
        conversion = convertRtkLib(content, context, options);
        break;
    case ImportKind::LeicaGsi:
        conversion = convertGsi(content, context, options);
        break;
    }
    if (conversion.readable) {
        conversion.lines.insert(
            conversion.lines.begin(),
            commentLine(fr(" Importation ") + fr(kindName(kind)) + " : " + context.fileName));
    }
    return conversion;
}

std::set<std::string> pointsDefinedIn(std::string_view content)
{
    static const std::set<std::string> pointCodes = {"LENU", "LNEU", "NEH", "NEO", "XYZ",
                                                     "PLH",  "PLHD", "PLO", "PLOD"};
    std::set<std::string> names;
    for (const std::string_view line : splitLines(content)) {
        if (line.empty() || line[0] != ' ')
            continue;
        if (pointCodes.count(trim(columns(line, 2, 4))))
            names.insert(trim(columns(line, 11, 12)));
    }
    return names;
}

std::string convertFile(int kind, const std::string &inputPath, const std::string &outputPath,
                        const std::string &options)
{
    namespace fs = std::filesystem;
    try {
        ImportOptions parsed;
        if (!parseImportOptions(kind, options, parsed))
            return fr("Conversion refusée : type d'importation ") + std::to_string(kind) +
                   fr(" inconnu ou options « ") + options.substr(0, 16) +
                   fr(" » invalides pour ce type.");
        if (outputPath.empty() || pathFromLatin1(outputPath).filename().empty())
            return fr("Conversion refusée : aucun fichier à créer.");
        if (sameFile(inputPath, outputPath))
            return fr("Conversion refusée : le fichier à créer ") + outputPath +
                   fr(" est le fichier à convertir lui-même.");
        const FileLoader load = diskFileLoader();
        std::string content;
        if (!load(inputPath, content))
            return fr("Conversion refusée : fichier à convertir introuvable ou illisible : ") +
                   inputPath + ".";

        ImportContext context;
        const fs::path input = pathFromLatin1(inputPath);
        context.fileName = latin1FromPath(input.filename());
        context.baseName = latin1FromPath(input.stem());

        std::string output;
        std::error_code error;
        if (parsed.append && fs::exists(pathFromLatin1(outputPath), error)) {
            // An output that exists but cannot be read is left alone rather than replaced.
            if (!load(outputPath, output))
                return fr("Conversion refusée : le fichier à compléter ") + outputPath +
                       fr(" existe mais ne peut pas être lu.");
            context.definedPoints = pointsDefinedIn(output);
            if (!output.empty() && output.back() != '\n' && output.back() != '\r')
                output += kLineEnd;
        }
        const Conversion conversion =
            convertContent(static_cast<ImportKind>(kind), content, context, parsed);
        if (!conversion.readable)
            return fr("Conversion refusée : ") + inputPath + " : " + conversion.reason + ".";
        for (const std::string &line : conversion.lines) {
            output += line;
            output += kLineEnd;
        }
        std::string reason;
        if (!writeFileAtomically(outputPath, output, &reason))
            return fr("Le fichier ") + outputPath + fr(" n'a pas pu être écrit (") + reason + ").";
        return std::string();
    } catch (...) {
        return fr("Conversion interrompue : erreur interne du moteur.");
    }
}

} // namespace engine::import
