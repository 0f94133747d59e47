#ifndef CONFIGURATION_H
#define CONFIGURATION_H

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

// A configuration file (".cfg") tells the engine how to process an observation file. It is
// Latin-1 text: two comment lines, an empty line, then nine sections ("[AJUSTEMENT]" to
// "[DESSIN]"), each a header line, an empty line and its key lines, sections parted by an empty
// line. A key line is the key left-aligned in 11 characters followed by the value, which thus
// starts at the 12th character. Reading is by columns: the key is the first 10 characters
// trimmed, the value everything from the 12th character; sections are not tracked, unknown lines
// are skipped and the last occurrence of a key decides.
enum class ConfigurationKind {
    Text,          // free text; a decimal comma becomes a point, surrounding blanks go
    Choice,        // one token out of a fixed list
    Count,         // a number from 1 to a maximum
    Flag,          // "OUI" or "NON"
    Digits,        // one "1" or "0" per component
    SolutionForms, // "LOG_SOLFIN": four digits for the six coordinate forms of the solution
    Fixed          // a line written as it stands and never read
};

// The forms of "LOG_SOLFIN", in the order Configuration::digit() indexes them.
enum SolutionForm { SolutionXyz, SolutionPlh, SolutionPlo, SolutionNeh, SolutionNeo, SolutionLoc };
constexpr int kSolutionForms = 6;

struct ConfigurationKey
{
    QString section; // without brackets, e.g. "AJUSTEMENT"
    QString name;    // the key; for a Fixed key, the whole line
    ConfigurationKind kind = ConfigurationKind::Text;
    QStringList tokens;                  // Choice: every token the format knows, by entry
    int offered = 0;                     // Choice: the first `offered` tokens have a caption
    int fallback = 0;                    // Choice: entry of an unknown token
    QList<QPair<QString, int>> synonyms; // Choice: other tokens read as an entry
    int maximum = 0;                     // Count: the largest number
    int components = 0;                  // Digits: number of digits
    QString keySynonym;                  // another key read as this one
};

// Every key in file order, with the three fixed lines where they stand.
const QVector<ConfigurationKey> &configurationKeys();

// The values of one configuration file. A new object holds the built-in state: every choice on
// its first entry, every count 1, every flag and digit off, every text empty. Choices are kept
// as the index of their token in ConfigurationKey::tokens and counts within 1 to their maximum,
// so that the writer only ever emits tokens and numbers the format lists.
class Configuration
{
public:
    Configuration();

    QString text(const QString &key) const;
    void setText(const QString &key, const QString &value);
    int choice(const QString &key) const;
    QString token(const QString &key) const;
    // An index beyond the key's tokens is ignored.
    void setChoice(const QString &key, int index);
    int count(const QString &key) const;
    // A number outside 1 to the key's maximum becomes the nearest of the two.
    void setCount(const QString &key, int value);
    bool flag(const QString &key) const;
    void setFlag(const QString &key, bool on);
    // Digits keys: component `index` from 0; "LOG_SOLFIN": a SolutionForm.
    bool digit(const QString &key, int index) const;
    void setDigit(const QString &key, int index, bool on);

    // The whole file, lines ended by '\n'.
    QString toText() const;
    // Reads the lines of `text`; keys absent from it keep the built-in state.
    static Configuration fromText(const QString &text);

    bool operator==(const Configuration &other) const;
    bool operator!=(const Configuration &other) const { return !(*this == other); }

private:
    struct Value
    {
        QString text;
        int number = 0; // Choice index, Count value or Flag
        QVector<bool> digits;
        bool operator==(const Value &other) const
        {
            return text == other.text && number == other.number && digits == other.digits;
        }
    };
    const Value &value(const QString &key) const;
    Value &value(const QString &key);
    void read(const ConfigurationKey &key, const QString &rawValue);

    QVector<Value> m_values; // parallel to configurationKeys()
};

// Reads the file `path`. On failure returns false, sets `error` to the system's reason and
// leaves `configuration` as it was.
bool loadConfiguration(const QString &path, Configuration &configuration, QString &error);

// Writes the file `path` whole with the platform's line ends. The write is atomic: on failure
// the old file stays whole, and `error` gives the system's reason.
bool saveConfiguration(const QString &path, const Configuration &configuration, QString &error);

#endif // CONFIGURATION_H
