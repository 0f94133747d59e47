#include "engine/base/text.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace engine {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

std::string trim(std::string_view text)
{
    return std::string(trimmedView(text));
}

std::string_view trimmedView(std::string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::vector<std::string_view> words(std::string_view text)
{
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
        std::size_t j = i;
        while (j < text.size() && text[j] != ' ' && text[j] != '\t')
            ++j;
        if (j > i)
            out.push_back(text.substr(i, j - i));
        i = j;
    }
    return out;
}

std::string columns(std::string_view line, int first, int width)
{
    return std::string(columnsView(line, first, width));
}

std::string_view columnsView(std::string_view line, int first, int width)
{
    if (first < 1 || width <= 0)
        return {};
    const auto start = static_cast<std::size_t>(first - 1);
    if (start >= line.size())
        return {};
    return line.substr(start, static_cast<std::size_t>(width));
}

std::string columnsFrom(std::string_view line, int first)
{
    if (first < 1)
        return std::string(line);
    const auto start = static_cast<std::size_t>(first - 1);
    if (start >= line.size())
        return {};
    return std::string(line.substr(start));
}

std::optional<double> parseNumber(std::string_view text)
{
    std::string value = trim(text);
    if (value.empty())
        return std::nullopt;
    for (char &c : value) {
        if (c == ',')
            c = '.';
    }
    std::size_t start = 0;
    if (value[0] == '+')
        start = 1;
    // from_chars accepts "inf" and "nan" spellings: allow only the characters of a plain number.
    for (std::size_t i = start; i < value.size(); ++i) {
        const char c = value[i];
        const bool allowed =
            (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' ||
            ((c == '-' || c == '+') && (i == 0 || value[i - 1] == 'e' || value[i - 1] == 'E'));
        if (!allowed)
            return std::nullopt;
    }
    double result = 0.0;
    const char *first = value.data() + start;
    const char *last = value.data() + value.size();
    const auto [end, error] = std::from_chars(first, last, result);
    if (error != std::errc() || end != last || !std::isfinite(result))
        return std::nullopt;
    return result;
}

std::optional<long> parseInteger(std::string_view text)
{
    const std::string value = trim(text);
    if (value.empty())
        return std::nullopt;
    std::size_t start = value[0] == '+' ? 1 : 0;
    long result = 0;
    const char *last = value.data() + value.size();
    const auto [end, error] = std::from_chars(value.data() + start, last, result);
    if (error != std::errc() || end != last)
        return std::nullopt;
    return result;
}

std::string latin1FromUtf8(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        int extra = 0;
        unsigned code = 0;
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            code = c & 0x07;
        } else {
            out.push_back('?');
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        bool wellFormed = true;
        for (int k = 0; k < extra; ++k, ++j) {
            if (j >= utf8.size() || (static_cast<unsigned char>(utf8[j]) & 0xC0) != 0x80) {
                wellFormed = false;
                break;
            }
            code = (code << 6) | (static_cast<unsigned char>(utf8[j]) & 0x3F);
        }
        if (!wellFormed) {
            out.push_back('?');
            ++i;
            continue;
        }
        out.push_back(code < 0x100 ? static_cast<char>(code) : '?');
        i = j;
    }
    return out;
}

std::optional<std::size_t> firstUtf8Sequence(std::string_view text)
{
    std::optional<std::size_t> first;
    std::size_t i = 0;
    const std::size_t size = text.size();
    while (i < size) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        // Lead bytes of well-formed sequences, with the range of their second byte that excludes
        // overlong forms, surrogates and code points beyond U+10FFFF.
        std::size_t extra = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            if (c == 0xE0)
                low = 0xA0;
            else if (c == 0xED)
                high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            if (c == 0xF0)
                low = 0x90;
            else if (c == 0xF4)
                high = 0x8F;
        } else {
            return std::nullopt;
        }
        if (size - i <= extra)
            return std::nullopt;
        const auto second = static_cast<unsigned char>(text[i + 1]);
        if (second < low || second > high)
            return std::nullopt;
        for (std::size_t k = 2; k <= extra; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return std::nullopt;
        }
        if (!first)
            first = i;
        i += extra + 1;
    }
    return first;
}

std::string utf8FromLatin1(std::string_view latin1)
{
    std::string out;
    out.reserve(latin1.size());
    for (const char ch : latin1) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::string shownValue(std::string_view value)
{
    constexpr std::size_t kShown = 40;
    return value.size() <= kShown ? std::string(value)
                                  : std::string(value.substr(0, kShown)) + "...";
}

std::filesystem::path pathFromLatin1(std::string_view latin1)
{
    return std::filesystem::u8path(utf8FromLatin1(latin1));
}

std::string latin1FromPath(const std::filesystem::path &path)
{
    return latin1FromUtf8(path.u8string());
}

std::string siblingPath(std::string_view observationPath, std::string_view extension)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path path = pathFromLatin1(observationPath);
    fs::path absolute = fs::absolute(path, error);
    if (error)
        absolute = path;
    const std::string name = latin1FromPath(absolute.filename());
    const std::size_t dot = name.rfind('.');
    const std::string base = dot == std::string::npos ? name : name.substr(0, dot);
    fs::path folder = absolute.parent_path();
    std::string result = latin1FromPath(folder.make_preferred());
    if (result.empty() || result.back() != static_cast<char>(fs::path::preferred_separator))
        result += static_cast<char>(fs::path::preferred_separator);
    result += base;
    result += extension;
    return result;
}

std::string fixed(double value, int width, int decimals)
{
    if (!std::isfinite(value))
        return padLeft("*", width);
    if (decimals < 0)
        decimals = 0;
    if (decimals > 12)
        decimals = 12;
    // to_chars, unlike printf, ignores the process locale: the decimal separator stays a point.
    char buffer[96];
    const auto format =
        std::fabs(value) >= 1e30 ? std::chars_format::scientific : std::chars_format::fixed;
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format, decimals);
    std::string text(buffer, result.ec == std::errc() ? result.ptr : buffer);
    if (!text.empty() && text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos)
        text.erase(0, 1); // no "-0.000"
    return padLeft(text, width);
}

std::string columnLeft(std::string_view text, int width)
{
    return padRight(text, width - 1) + ' ';
}

std::string columnRight(std::string_view text, int width)
{
    return ' ' + padLeft(text, width - 1);
}

std::string padRight(std::string_view text, int width)
{
    std::string out(text);
    if (static_cast<int>(out.size()) < width)
        out.append(static_cast<std::size_t>(width) - out.size(), ' ');
    return out;
}

std::string padLeft(std::string_view text, int width)
{
    std::string out(text);
    if (static_cast<int>(out.size()) < width)
        out.insert(0, static_cast<std::size_t>(width) - out.size(), ' ');
    return out;
}

} // namespace engine
