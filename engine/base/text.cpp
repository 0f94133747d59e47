#include "engine/base/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
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
        // Plain ASCII, nearly the whole of a file, is passed over eight bytes at a time.
        constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
        for (std::uint64_t word = 0; i + sizeof word <= size; i += sizeof word) {
            std::memcpy(&word, text.data() + i, sizeof word);
            if (word & kHighBits)
                break;
        }
        if (i == size)
            break;
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

namespace {

constexpr int kMaxDecimals = 12;
constexpr double kScales[kMaxDecimals + 1] = {1e0, 1e1, 1e2, 1e3,  1e4,  1e5, 1e6,
                                              1e7, 1e8, 1e9, 1e10, 1e11, 1e12};
constexpr std::uint64_t kIntegerScales[kMaxDecimals + 1] = {
    1ULL,           10ULL,           100ULL,          1000ULL,      10000ULL,
    100000ULL,      1000000ULL,      10000000ULL,     100000000ULL, 1000000000ULL,
    10000000000ULL, 100000000000ULL, 1000000000000ULL};

// The text of a finite `value` with `decimals` digits after the point (0 to 12), into `buffer`;
// returns its end. A value that rounds to zero has no minus sign.
char *fixedText(char *buffer, char *end, double value, int decimals)
{
    // Scaled by a power of ten (exact up to 1e22), the value is rounded once by the product, by at
    // most 2^-53 of itself: when it lies further than that from a half, its nearest integer is
    // that of the exact decimal value, which is what the correctly rounded conversion gives.
    const double scaled = std::fabs(value) * kScales[decimals];
    if (scaled < 0x1p52) {
        const double whole = std::floor(scaled);
        const double fraction = scaled - whole;
        if (std::fabs(fraction - 0.5) > scaled * 0x1p-50) {
            const std::uint64_t digits =
                static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1U : 0U);
            char *at = buffer;
            if (digits != 0 && value < 0.0)
                *at++ = '-';
            const std::uint64_t scale = kIntegerScales[decimals];
            at = std::to_chars(at, end, digits / scale).ptr;
            if (decimals > 0) {
                *at++ = '.';
                std::uint64_t fractionDigits = digits % scale;
                for (int i = decimals - 1; i >= 0; --i) {
                    at[i] = static_cast<char>('0' + fractionDigits % 10);
                    fractionDigits /= 10;
                }
                at += decimals;
            }
            return at;
        }
    }
    // Ties, large values: the correctly rounded conversion itself. to_chars, unlike printf,
    // ignores the process locale: the decimal separator stays a point.
    const auto format =
        std::fabs(value) >= 1e30 ? std::chars_format::scientific : std::chars_format::fixed;
    const auto result = std::to_chars(buffer, end, value, format, decimals);
    if (result.ec != std::errc())
        return buffer;
    if (buffer[0] == '-' &&
        std::all_of(buffer, result.ptr, [](char c) { return c == '-' || c == '0' || c == '.'; })) {
        std::copy(buffer + 1, result.ptr, buffer); // no "-0.000"
        return result.ptr - 1;
    }
    return result.ptr;
}

} // namespace

void appendFixed(std::string &out, double value, int width, int decimals)
{
    char buffer[96];
    const char *end = buffer + 1;
    buffer[0] = '*';
    if (std::isfinite(value))
        end =
            fixedText(buffer, buffer + sizeof buffer, value, std::clamp(decimals, 0, kMaxDecimals));
    const auto length = static_cast<int>(end - buffer);
    if (length < width)
        out.append(static_cast<std::size_t>(width - length), ' ');
    out.append(buffer, static_cast<std::size_t>(length));
}

std::string fixed(double value, int width, int decimals)
{
    std::string text;
    appendFixed(text, value, width, decimals);
    return text;
}

void appendColumnLeft(std::string &out, std::string_view text, int width)
{
    out += text;
    if (static_cast<int>(text.size()) < width - 1)
        out.append(static_cast<std::size_t>(width - 1) - text.size(), ' ');
    out += ' ';
}

void appendColumnRight(std::string &out, std::string_view text, int width)
{
    out += ' ';
    if (static_cast<int>(text.size()) < width - 1)
        out.append(static_cast<std::size_t>(width - 1) - text.size(), ' ');
    out += text;
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
