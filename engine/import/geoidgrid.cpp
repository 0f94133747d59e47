#include "engine/import/geoidgrid.h"

#include "engine/base/files.h"
#include "engine/base/text.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace engine::import {

namespace {

constexpr char kMagic[] = "TAVLOGEO";
constexpr std::size_t kHeaderSize = 80;
constexpr std::int64_t kVersion = 1;
// Far beyond any geoid model (a 30" global grid holds under 1e9 values), small enough that the
// byte count cannot overflow.
constexpr std::int64_t kMaxValues = std::int64_t(1) << 32;
constexpr double kAngleTolerance = 1e-9; // degrees

void putU64(std::string &out, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::uint64_t getU64(std::string_view in, std::size_t at)
{
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(in[at + static_cast<std::size_t>(i)]);
    return v;
}

void putF64(std::string &out, double value)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    putU64(out, bits);
}

double getF64(std::string_view in, std::size_t at)
{
    const std::uint64_t bits = getU64(in, at);
    double value = 0.0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace

bool GeoidGrid::wrapsAround() const
{
    return static_cast<double>(columns) * lonStep >= 360.0 - kAngleTolerance;
}

std::string gridProblem(const GeoidGrid &grid)
{
    if (grid.rows < 2 || grid.columns < 2)
        return fr("la grille doit avoir au moins deux lignes et deux colonnes");
    if (grid.rows > kMaxValues / grid.columns)
        return fr("grille trop grande");
    if (static_cast<std::int64_t>(grid.values.size()) != grid.rows * grid.columns)
        return fr("nombre de valeurs différent de lignes x colonnes");
    if (!std::isfinite(grid.south) || !std::isfinite(grid.west) || !(grid.latStep > 0.0) ||
        !(grid.lonStep > 0.0) || !std::isfinite(grid.latStep) || !std::isfinite(grid.lonStep))
        return fr("origine ou pas de la grille invalide");
    const double north = grid.south + static_cast<double>(grid.rows - 1) * grid.latStep;
    if (grid.south < -90.0 - kAngleTolerance || north > 90.0 + 1e-6)
        return fr("latitudes de la grille hors de -90 à 90 degrés");
    if (std::fabs(grid.west) > 360.0 ||
        static_cast<double>(grid.columns - 1) * grid.lonStep > 360.0 + 1e-6)
        return fr("longitudes de la grille hors d'un tour");
    return {};
}

std::optional<double> GeoidGrid::undulation(double latitude, double longitude) const
{
    if (!std::isfinite(latitude) || !std::isfinite(longitude) || !gridProblem(*this).empty())
        return std::nullopt;
    double y = (latitude - south) / latStep;
    const double lastRow = static_cast<double>(rows - 1);
    if (y < -1e-9 || y > lastRow + 1e-9)
        return std::nullopt;
    y = std::min(std::max(y, 0.0), lastRow);

    double offset = std::fmod(longitude - west, 360.0);
    if (offset < 0.0)
        offset += 360.0;
    double x = offset / lonStep;
    const double lastColumn = static_cast<double>(columns - 1);
    const bool wraps = wrapsAround();
    if (!wraps) {
        // Just west of the grid by rounding: take its western edge.
        if (x > lastColumn + 1e-9 && (360.0 - offset) / lonStep < 1e-9)
            x = 0.0;
        if (x > lastColumn + 1e-9)
            return std::nullopt;
        x = std::min(x, lastColumn);
    }
    auto row0 = static_cast<std::int64_t>(std::floor(y));
    auto column0 = static_cast<std::int64_t>(std::floor(x));
    if (row0 >= rows - 1)
        row0 = rows - 2;
    if (!wraps && column0 >= columns - 1)
        column0 = columns - 2;
    const double fy = y - static_cast<double>(row0);
    const double fx = x - static_cast<double>(column0);
    column0 %= columns;
    const std::int64_t column1 = (column0 + 1) % columns;
    const double v00 = at(row0, column0);
    const double v01 = at(row0, column1);
    const double v10 = at(row0 + 1, column0);
    const double v11 = at(row0 + 1, column1);
    // A node without value counts only when it weighs in.
    const auto weighed = [](double v, double w) { return w == 0.0 ? 0.0 : v * w; };
    const double value = weighed(v00, (1 - fx) * (1 - fy)) + weighed(v01, fx * (1 - fy)) +
                         weighed(v10, (1 - fx) * fy) + weighed(v11, fx * fy);
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string encodeGeoFile(const GeoidGrid &grid)
{
    std::string out(kMagic, 8);
    out.reserve(kHeaderSize + grid.values.size() * 4);
    putU64(out, static_cast<std::uint64_t>(kVersion));
    putU64(out, static_cast<std::uint64_t>(grid.source));
    putF64(out, grid.south);
    putF64(out, grid.west);
    putF64(out, grid.latStep);
    putF64(out, grid.lonStep);
    putU64(out, static_cast<std::uint64_t>(grid.rows));
    putU64(out, static_cast<std::uint64_t>(grid.columns));
    putU64(out, static_cast<std::uint64_t>(grid.values.size()));
    for (const float value : grid.values) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
    }
    return out;
}

std::optional<GeoidGrid> decodeGeoFile(std::string_view bytes, std::string &reason)
{
    if (bytes.size() < kHeaderSize || bytes.substr(0, 8) != std::string_view(kMagic, 8)) {
        reason = fr("ce n'est pas un fichier de géoïde Tavlo");
        return std::nullopt;
    }
    if (static_cast<std::int64_t>(getU64(bytes, 8)) != kVersion) {
        reason = fr("version de fichier de géoïde inconnue");
        return std::nullopt;
    }
    GeoidGrid grid;
    const auto source = static_cast<std::int64_t>(getU64(bytes, 16));
    if (source < 1 || source > 4) {
        reason = fr("forme de grille source inconnue");
        return std::nullopt;
    }
    grid.source = static_cast<GridSource>(source);
    grid.south = getF64(bytes, 24);
    grid.west = getF64(bytes, 32);
    grid.latStep = getF64(bytes, 40);
    grid.lonStep = getF64(bytes, 48);
    grid.rows = static_cast<std::int64_t>(getU64(bytes, 56));
    grid.columns = static_cast<std::int64_t>(getU64(bytes, 64));
    const auto count = static_cast<std::int64_t>(getU64(bytes, 72));
    // Every count is checked against the bytes present before anything is allocated.
    const auto available = static_cast<std::int64_t>((bytes.size() - kHeaderSize) / 4);
    if (grid.rows < 2 || grid.columns < 2 || grid.rows > available / grid.columns ||
        count != grid.rows * grid.columns ||
        bytes.size() != kHeaderSize + static_cast<std::size_t>(count) * 4) {
        reason = fr("dimensions de la grille incohérentes avec la taille du fichier");
        return std::nullopt;
    }
    grid.values.resize(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < grid.values.size(); ++i) {
        std::uint32_t bits = 0;
        for (int b = 3; b >= 0; --b)
            bits = (bits << 8) | static_cast<unsigned char>(
                                     bytes[kHeaderSize + 4 * i + static_cast<std::size_t>(b)]);
        std::memcpy(&grid.values[i], &bits, sizeof bits);
    }
    reason = gridProblem(grid);
    if (!reason.empty())
        return std::nullopt;
    return grid;
}

std::optional<GeoidGrid> readGeoFile(const std::string &path, std::string &reason)
{
    std::string bytes;
    if (!diskFileLoader()(path, bytes)) {
        reason = fr("fichier de géoïde introuvable ou illisible : ") + path;
        return std::nullopt;
    }
    return decodeGeoFile(bytes, reason);
}

} // namespace engine::import
