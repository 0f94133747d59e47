#include "observationlines.h"

#include <cmath>
#include <cstdio>
#include <iomanip>
#include <locale>
#include <sstream>

namespace observationlines {

void place(std::string &line, int column, int width, const std::string &text, bool right)
{
    std::string field = text;
    if (static_cast<int>(field.size()) < width)
        field = right ? std::string(width - field.size(), ' ') + field
                      : field + std::string(width - field.size(), ' ');
    const auto end = static_cast<std::size_t>(column - 1) + field.size();
    if (line.size() < end)
        line.resize(end, ' ');
    line.replace(static_cast<std::size_t>(column - 1), field.size(), field);
}

std::string number(double value, int decimals)
{
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::fixed << std::setprecision(decimals) << value;
    return out.str();
}

std::string record(const std::string &code)
{
    std::string line = " ";
    place(line, 2, 4, code, false);
    return line;
}

std::string lenu(const std::string &fixity, const std::string &name, double east, double north,
                 double up, const std::string &unit)
{
    std::string line = record("LENU");
    place(line, 7, 3, fixity, false);
    place(line, 11, 12, name, false);
    place(line, 24, 18, number(east, 5), true);
    place(line, 43, 18, number(north, 5), true);
    place(line, 62, 16, number(up, 5), true);
    place(line, 81, 2, unit, false);
    return line;
}

std::string lneu(const std::string &fixity, const std::string &name, double north, double east,
                 double up, const std::string &unit)
{
    std::string line = lenu(fixity, name, north, east, up, unit);
    line.replace(1, 4, "LNEU");
    return line;
}

std::string sigm(const std::string &id, double constant, double ppm, double centringStation,
                 double centringTarget, const std::string &unit)
{
    std::string line = record("SIGM");
    place(line, 7, 3, id, false);
    place(line, 11, 10, number(constant, 5), true);
    place(line, 22, 10, number(ppm, 3), true);
    place(line, 44, 10, number(centringStation, 5), true);
    place(line, 55, 10, number(centringTarget, 5), true);
    place(line, 79, 2, unit, false);
    return line;
}

std::string height(const std::string &code, const std::string &point, double value,
                   const std::string &unit)
{
    std::string line = record(code);
    place(line, 11, 12, point, false);
    place(line, 24, 10, number(value, 4), true);
    place(line, 35, 2, unit, false);
    return line;
}

std::string angle(const std::string &code, const std::string &sigmaId, const std::string &station,
                  const std::string &target, const std::string &angleField,
                  const std::string &stdDev, const std::string &refraction)
{
    std::string line = record(code);
    place(line, 7, 3, sigmaId, false);
    place(line, 11, 12, station, false);
    place(line, 24, 12, target, false);
    place(line, 50, 15, angleField, true);
    if (!stdDev.empty())
        place(line, 66, 10, stdDev, true);
    if (!refraction.empty())
        place(line, 77, 10, refraction, true);
    return line;
}

std::string dist(const std::string &sigmaId, const std::string &station, const std::string &target,
                 double value, const std::string &stdDev, const std::string &unit)
{
    std::string line = record("DIST");
    place(line, 7, 3, sigmaId, false);
    place(line, 11, 12, station, false);
    place(line, 24, 12, target, false);
    place(line, 50, 15, number(value, 6), true);
    if (!stdDev.empty())
        place(line, 66, 10, stdDev, true);
    place(line, 77, 2, unit, false);
    return line;
}

std::string ohdf(const std::string &sigmaId, const std::string &from, const std::string &to,
                 double value, const std::string &stdDev, double length, const std::string &unit)
{
    std::string line = record("OHDF");
    place(line, 7, 3, sigmaId, false);
    place(line, 11, 12, from, false);
    place(line, 24, 12, to, false);
    place(line, 50, 15, number(value, 6), true);
    if (!stdDev.empty())
        place(line, 66, 10, stdDev, true);
    if (length > 0.0)
        place(line, 77, 14, number(length, 3), true);
    place(line, 93, 2, unit, false);
    return line;
}

std::string withSigmaId(const std::string &code, const std::string &sigmaId)
{
    std::string line = record(code);
    place(line, 7, 3, sigmaId, false);
    return line;
}

namespace {

// Three parts of base `sub` (60 or 100) for a positive value, the last with `decimals` decimals.
std::string threeParts(double value, double sub, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    double last = std::round(value * sub * sub * scale) / scale; // in the smallest part
    const double whole = std::floor(last / (sub * sub) + 1e-12);
    last -= whole * sub * sub;
    const double middle = std::floor(last / sub + 1e-12);
    last -= middle * sub;
    if (last < 0.0)
        last = 0.0;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.0f %02.0f %s", whole, middle,
                  number(last, decimals).c_str());
    return buffer;
}

} // namespace

std::string grades(double radians, int decimals)
{
    double g = std::fmod(radians * 200.0 / kPi, 400.0);
    if (g < 0.0)
        g += 400.0;
    return threeParts(g, 100.0, decimals);
}

std::string dms(double radians, int decimals)
{
    double d = std::fmod(radians * 180.0 / kPi, 360.0);
    if (d < 0.0)
        d += 360.0;
    return threeParts(d, 60.0, decimals);
}

std::string aux(const std::string &scope, const std::string &group,
                const std::vector<std::string> &types)
{
    std::string line = record("AUX");
    place(line, 7, 3, scope, false);
    place(line, 11, 12, group, false);
    for (std::size_t k = 0; k < types.size(); ++k)
        place(line, 24 + 5 * static_cast<int>(k), 4, types[k], false);
    return line;
}

std::string groupRecord(const std::string &group)
{
    std::string line = record("GRP");
    place(line, 7, 73, group, false);
    return line;
}

} // namespace observationlines
