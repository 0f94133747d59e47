#ifndef ENGINE_BASE_TEXT_H
#define ENGINE_BASE_TEXT_H

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Text helpers of the engine. Every text the engine reads or writes (observation, configuration
// and report files, paths passed through the entry points) is Latin-1: one byte per character,
// so that the fixed columns of the files count bytes.
namespace engine {

// The platform's line end, written at the end of every line of the files the engine creates.
#ifdef _WIN32
inline constexpr const char kLineEnd[] = "\r\n";
#else
inline constexpr const char kLineEnd[] = "\n";
#endif

// `text` without leading and trailing blanks, tabs, carriage returns and line feeds; as a copy or
// as a view of `text`.
std::string trim(std::string_view text);
std::string_view trimmedView(std::string_view text);

// The words of `text` separated by blanks and tabs, in order; they view `text`.
std::vector<std::string_view> words(std::string_view text);

// The characters of columns `first` to `first + width - 1` (1-based) of `line`; fewer when the
// line is shorter, empty when it ends before `first`.
std::string columns(std::string_view line, int first, int width);

// The same characters as a view of `line`.
std::string_view columnsView(std::string_view line, int first, int width);

// The characters of `line` from column `first` (1-based) to its end.
std::string columnsFrom(std::string_view line, int first);

// A decimal number in the C locale whatever the process locale: optional sign, digits, a "." or
// "," as decimal separator, optional exponent; surrounding blanks ignored. Anything else, an
// empty text, an infinity or a NaN gives no value.
std::optional<double> parseNumber(std::string_view text);

// A decimal integer, surrounding blanks ignored.
std::optional<long> parseInteger(std::string_view text);

// Latin-1 from UTF-8 (characters outside Latin-1 become "?") and back.
std::string latin1FromUtf8(std::string_view utf8);
std::string utf8FromLatin1(std::string_view latin1);

// Where `text` shows that it is UTF-8 rather than Latin-1: the offset of its first multi-byte
// sequence when the whole text is well-formed UTF-8 and holds at least one, otherwise no value.
// Latin-1 text almost never passes: its accented letters stand alone, where UTF-8 needs a lead
// byte followed by continuation bytes, which in Latin-1 read as C1 controls (0x80 to 0x9F) or as
// pairs such as "Ã©".
std::optional<std::size_t> firstUtf8Sequence(std::string_view text);

// A French text of the sources (written in UTF-8) as the Latin-1 the engine's files hold.
inline std::string fr(std::string_view utf8)
{
    return latin1FromUtf8(utf8);
}

// `value` as a message quotes it: its first 40 characters, then "..." when it is longer (a line
// of a hostile file may be as long as the file).
std::string shownValue(std::string_view value);

// A file system path from a Latin-1 path text, and back.
std::filesystem::path pathFromLatin1(std::string_view latin1);
std::string latin1FromPath(const std::filesystem::path &path);

// The report and result paths of an observation file: its absolute folder, the native separator,
// its name less the last extension, then `extension` (with its dot). "C:\m\net.old.iob" with
// ".log" gives "C:\m\net.old.log".
std::string siblingPath(std::string_view observationPath, std::string_view extension);

// `value` in fixed notation with `decimals` digits after the point (at most 12), right-aligned
// in `width`: the correctly rounded decimal of the binary value, as printf's "%.*f" gives it in
// the C locale, without the sign of a value that rounds to zero; "*" when it is not finite.
std::string fixed(double value, int width, int decimals);
void appendFixed(std::string &out, double value, int width, int decimals);

// `text` left-aligned in `width` characters (never cut), or right-aligned.
std::string padRight(std::string_view text, int width);
std::string padLeft(std::string_view text, int width);

// A column of a table, `width` characters when `text` fits: left-aligned with at least one blank
// after it, or right-aligned with at least one blank before it, however wide the text, so that
// the columns of a table never run together.
std::string columnLeft(std::string_view text, int width);
std::string columnRight(std::string_view text, int width);
void appendColumnLeft(std::string &out, std::string_view text, int width);
void appendColumnRight(std::string &out, std::string_view text, int width);

} // namespace engine

#endif // ENGINE_BASE_TEXT_H
