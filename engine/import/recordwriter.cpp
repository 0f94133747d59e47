#include "engine/import/recordwriter.h"

#include "engine/base/text.h"

#include <Eigen/Cholesky>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace engine::import {

namespace {

struct AngleParts
{
    std::string whole;
    std::string second; // right-aligned in 2
    std::string third;  // with its decimals
};

bool splitAngle(double value, AngleForm form, int decimals, AngleParts &parts)
{
    if (!std::isfinite(value) || value < 0.0 || value > 1e7 || decimals < 0 || decimals > 6)
        return false;
    const double subdivision = form == AngleForm::Dms ? 60.0 : 100.0;
    const double scale = std::pow(10.0, decimals);
    // Count in steps of the last printed decimal, so that rounding carries into the larger parts.
    const auto steps =
        static_cast<long long>(std::llround(value * subdivision * subdivision * scale));
    const auto perSecond = static_cast<long long>(scale);
    const auto perSubdivision = static_cast<long long>(subdivision) * perSecond;
    const auto perWhole = static_cast<long long>(subdivision) * perSubdivision;
    const long long whole = steps / perWhole;
    const long long second = (steps % perWhole) / perSubdivision;
    const long long third = steps % perSubdivision;
    parts.whole = std::to_string(whole);
    parts.second = padLeft(std::to_string(second), 2);
    parts.third = fixed(static_cast<double>(third) / scale, 0, decimals);
    return true;
}

// `value` in fixed notation with `decimals` digits after the point; unlike fixed(), as many
// decimals as asked (the covariance elements carry 16). Empty for a value that is not finite.
std::string decimalText(double value, int decimals)
{
    if (!std::isfinite(value))
        return {};
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      std::chars_format::fixed, std::max(0, decimals));
    if (result.ec != std::errc())
        return {};
    std::string text(buffer, result.ptr);
    if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos)
        text.erase(0, 1); // no "-0.000"
    return text;
}

} // namespace

RecordLine::RecordLine(std::string_view code)
{
    m_line = " ";
    m_line += padRight(code, 4);
}

void RecordLine::place(int column, int width, const std::string &value, bool right)
{
    const std::string cell = right ? padLeft(value, width) : padRight(value, width);
    const auto start = static_cast<std::size_t>(column - 1);
    if (m_line.size() < start + cell.size())
        m_line.resize(start + cell.size(), ' ');
    m_line.replace(start, cell.size(), cell);
}

void RecordLine::fail(int column, int width, const std::string &why)
{
    if (m_problem.empty()) {
        m_problem = why + fr(" (colonnes ") + std::to_string(column) + fr(" à ") +
                    std::to_string(column + width - 1) + ")";
    }
}

RecordLine &RecordLine::text(int column, int width, std::string_view value)
{
    place(column, width, std::string(value.substr(0, static_cast<std::size_t>(width))), false);
    return *this;
}

RecordLine &RecordLine::name(int column, int width, std::string_view value)
{
    if (value.empty())
        fail(column, width, fr("nom de point vide"));
    else if (static_cast<int>(value.size()) > width)
        fail(column, width,
             fr("nom de point « ") + std::string(value) + fr(" » trop long (") +
                 std::to_string(width) + fr(" caractères au plus)"));
    else
        place(column, width, std::string(value), false);
    return *this;
}

RecordLine &RecordLine::number(int column, int width, double value, int decimals)
{
    std::string written = decimalText(value, decimals);
    // As the field editor writes numbers: the decimals give way to keep a blank in front.
    while (!written.empty() && static_cast<int>(written.size()) >= width && decimals > 0)
        written = decimalText(value, --decimals);
    if (written.empty())
        fail(column, width, fr("valeur non finie"));
    else if (static_cast<int>(written.size()) > width)
        fail(column, width, fr("valeur ") + written + fr(" trop longue pour sa colonne"));
    else
        place(column, width, written, true);
    return *this;
}

RecordLine &RecordLine::angle(int column, int width, double value, AngleForm form, int decimals,
                              char positive, char negative)
{
    // The third part keeps two digits before its point and a blank in front of them.
    decimals = std::min(decimals, std::max(0, width - 12));
    AngleParts parts;
    if (!std::isfinite(value) ||
        !splitAngle(std::fabs(value), form, width >= 8 ? decimals : 0, parts)) {
        fail(column, width, fr("angle hors des valeurs possibles"));
        return *this;
    }
    if (width < 8 && parts.third.find_first_not_of("0.") != std::string::npos) {
        fail(column, width, fr("angle trop précis pour sa colonne"));
        return *this;
    }
    std::string written(1, value < 0.0 ? negative : positive);
    written += padLeft(parts.whole, 3) + " " + parts.second;
    if (width >= 8)
        written += " " + padLeft(parts.third, width - 8);
    if (static_cast<int>(written.size()) > width)
        fail(column, width, fr("angle trop long pour sa colonne"));
    else
        place(column, width, written, false);
    return *this;
}

RecordLine &RecordLine::raw(int column, int width, std::string_view value)
{
    if (static_cast<int>(value.size()) > width)
        fail(column, width, fr("valeur « ") + std::string(value) + fr(" » trop longue"));
    else
        place(column, width, std::string(value), false);
    return *this;
}

std::string RecordLine::str() const
{
    std::string line = m_line;
    const std::size_t end = line.find_last_not_of(' ');
    line.resize(end == std::string::npos ? 0 : end + 1);
    return line;
}

std::string commentLine(std::string_view text)
{
    std::string line = "!";
    for (const char c : text)
        line.push_back(c == '\r' || c == '\n' ? ' ' : c);
    return line;
}

std::string threePartAngle(double value, AngleForm form, int decimals)
{
    AngleParts parts;
    if (!splitAngle(value, form, decimals, parts))
        return {};
    return parts.whole + " " + parts.second + " " + parts.third;
}

std::vector<std::string> covarianceLines(const Eigen::Matrix3d &covariance,
                                         const char *coordinateType)
{
    if (!covariance.allFinite() || !covariance.isApprox(covariance.transpose()))
        return {};
    const Eigen::LLT<Eigen::Matrix3d> cholesky(covariance);
    if (cholesky.info() != Eigen::Success || !(covariance.diagonal().minCoeff() > 0.0))
        return {};
    RecordLine header("COV");
    header.raw(7, 2, coordinateType).raw(10, 4, "UPPR").raw(92, 2, "m ");
    RecordLine first("ELEM");
    first.number(7, 23, covariance(0, 0), 16)
        .number(31, 23, covariance(0, 1), 16)
        .number(55, 23, covariance(0, 2), 16)
        .raw(79, 2, "m ");
    RecordLine second("ELEM");
    second.number(7, 23, covariance(1, 1), 16)
        .number(31, 23, covariance(1, 2), 16)
        .number(55, 23, covariance(2, 2), 16)
        .raw(79, 2, "m ");
    if (!header.ok() || !first.ok() || !second.ok())
        return {};
    return {header.str(), first.str(), second.str()};
}

} // namespace engine::import
