#ifndef ENGINE_INPUT_CONFIGURATIONFILE_H
#define ENGINE_INPUT_CONFIGURATIONFILE_H

#include <map>
#include <string>
#include <vector>

// The processing configuration file (".cfg"): nine sections of key lines. A key line is the key
// padded to 11 characters followed by the value: the key is read from the first 10 characters, the
// value from the 12th character to the end of the line. Sections are not tracked, the last
// occurrence of a key decides, and a missing key (or an empty value) takes the engine's default.
// What the values mean is for the options (engine/model/options.h).
namespace engine {

// One key of the file: its section, key, kind and the engine's default value.
struct ConfigurationKey
{
    enum class Kind { Text, Choice, Count, Flag, Digits, Fixed };
    const char *section;
    const char *key;
    Kind kind;
    const char *defaultValue;
};

// Every key in file order, with the engine's defaults for a new file.
const std::vector<ConfigurationKey> &configurationKeys();

// The default configuration file, line by line, each line ending with `lineEnd`.
std::string defaultConfigurationText(const char *lineEnd);

// The key values of a configuration text by the column rules above, with the line of each, and
// the lines that these rules most likely misread: a key line whose value starts in column 11 (its
// first character is then lost), a line whose first word is a key but whose columns give another
// key or another value, a key glued to its value.
struct ConfigurationValues
{
    std::map<std::string, std::pair<std::string, int>> values; // key -> (value, line)
    std::vector<std::pair<int, std::string>> misreadLines;     // (line, warning), Latin-1
    // Misread lines beyond those kept: the report would only count them.
    long long otherMisreadLines = 0;
};
ConfigurationValues readConfigurationValues(const std::string &text);

} // namespace engine

#endif // ENGINE_INPUT_CONFIGURATIONFILE_H
