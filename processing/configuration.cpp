#include "configuration.h"

#include "sharedhelpers.h"
#include "tavloversion.h"
#include "textfile.h"

#include <QHash>
#include <QRegularExpression>

namespace {

constexpr int kKeyWidth = 11;     // a key line's value starts at the 12th character
constexpr int kKeyReadWidth = 10; // only the first 10 characters are read as the key

const QStringList kModeTokens = {"00", "10", "01", "11"};
const QStringList kCoordinateTokens = {"XYZ", "PLU", "NEU"};
const QStringList kSigma0Tokens = {"AUTO", "JAMAIS", "TOUJOURS"};
const QStringList kIterationTokens = {"NON", "FRT_ITER", "ALL_ITER"};
const QStringList kMatrixTokens = {"NON", "FINAL", "ALL_ITER"};
const QStringList kYesNoTokens = {"NON", "OUI"};

ConfigurationKey text(const char *section, const char *name)
{
    ConfigurationKey key;
    key.section = QLatin1String(section);
    key.name = QLatin1String(name);
    key.kind = ConfigurationKind::Text;
    return key;
}

ConfigurationKey choice(const char *section, const char *name, const QStringList &tokens,
                        int fallback, QList<QPair<QString, int>> synonyms = {}, int offered = -1)
{
    ConfigurationKey key = text(section, name);
    key.kind = ConfigurationKind::Choice;
    key.tokens = tokens;
    key.fallback = fallback;
    key.synonyms = std::move(synonyms);
    key.offered = offered < 0 ? tokens.size() : offered;
    return key;
}

ConfigurationKey count(const char *section, const char *name, int maximum)
{
    ConfigurationKey key = text(section, name);
    key.kind = ConfigurationKind::Count;
    key.maximum = maximum;
    return key;
}

ConfigurationKey flag(const char *section, const char *name)
{
    ConfigurationKey key = text(section, name);
    key.kind = ConfigurationKind::Flag;
    return key;
}

ConfigurationKey digits(const char *section, const char *name, int components)
{
    ConfigurationKey key = text(section, name);
    key.kind = ConfigurationKind::Digits;
    key.components = components;
    return key;
}

ConfigurationKey fixed(const char *section, const char *line)
{
    ConfigurationKey key = text(section, line);
    key.kind = ConfigurationKind::Fixed;
    return key;
}

QVector<ConfigurationKey> buildKeys()
{
    QVector<ConfigurationKey> keys;
    const char *s = "AJUSTEMENT";
    keys << text(s, "CRITCONV") << text(s, "HUBERVALUE")
         << choice(s, "TYPECALCUL", {"AJUSTEMENT", "SIMULATION", "NORMEL1", "HUBER"}, 0,
                   {{"PREANALYSE", 1}})
         << choice(s, "TYPEMODEL", {"3D_LOCALE", "3D_SPHERIQUE", "3D_ELLIPSOIDALE"}, 2)
         << choice(s, "TYPEANGLES", {"DMS", "GRD", "RAD"}, 1)
         << choice(s, "LINEARUNIT", {" m", "cm", "mm"}, 0, {{"m", 0}}) << count(s, "NBMAXITER", 29)
         << choice(s, "APPLIMBE", {"ZERO", "FIRST", "MOY"}, 0)
         << choice(s, "FREENET", {"NON", "TRACEMIN", "BASESEL"}, 0)
         << choice(s, "SIGMADIST", {"STD", "NOSTD"}, 1) << choice(s, "SIGM+STD", {"OUI", "NON"}, 1)
         << choice(s, "SIGMAOHDF", {"STD", "NOSTD"}, 1);

    s = "STATISTIQUE";
    ConfigurationKey vceIterations = count(s, "VCEITERMAX", 29);
    vceIterations.keySynonym = QStringLiteral("ITERMAXVCE");
    keys << fixed(s, "SIGMA0CONNU OUI") << choice(s, "TYPESIGMA0", kSigma0Tokens, 0)
         << text(s, "VALIDATION") << choice(s, "REG_COORD", kCoordinateTokens, 2)
         << digits(s, "REG1D_TYPE", 3) << digits(s, "REG2D_TYPE", 3)
         << choice(s, "VCE_METHOD", {"HELMERT", "LSVCE"}, 0, {}, 1) << vceIterations
         << flag(s, "VCESOLINT");

    s = "CONFIANCE";
    keys << choice(s, "REG1D_MODE", kModeTokens, 0) << text(s, "REG1D_CONF")
         << choice(s, "REG2D_MODE", kModeTokens, 0) << text(s, "REG2D_CONF")
         << choice(s, "REG3D_MODE", kModeTokens, 0) << text(s, "REG3D_CONF");

    s = "FIABILITE";
    keys << choice(s, "FIA1D_MODE", kModeTokens, 0) << text(s, "FIA1D_CONF")
         << text(s, "FIA1D_BETA") << choice(s, "FIA2D_MODE", kModeTokens, 0)
         << text(s, "FIA2D_CONF") << text(s, "FIA2D_BETA")
         << choice(s, "FIA3D_MODE", kModeTokens, 0) << text(s, "FIA3D_CONF")
         << text(s, "FIA3D_BETA");

    s = "MULTI EPOQUES";
    keys << flag(s, "MEP_MODE") << choice(s, "MEP_FROM0", kYesNoTokens, 0) << flag(s, "MEP_DOCONF")
         << flag(s, "MEP_DOFIAB") << flag(s, "MEP_DOCONG") << text(s, "MEP_CSEUIL")
         << digits(s, "MEP_CTYPE", 3);

    s = "RAPPORT";
    ConfigurationKey solution = text(s, "LOG_SOLFIN");
    solution.kind = ConfigurationKind::SolutionForms;
    solution.components = kSolutionForms;
    keys << count(s, "NBDEC_DIST", 5) << count(s, "NBDEC_ANGT", 5) << fixed(s, "LOG_TYPE   ASCII")
         << flag(s, "LOG_STATIO") << flag(s, "LOG_OPTION") << flag(s, "LOG_GEOID")
         << flag(s, "LOG_FIAB") << choice(s, "LOG_RESIDU", {"NON", "TOUS", "NOVALID"}, 0)
         << flag(s, "LOG_RESNEU") << choice(s, "LOG_OMC", kIterationTokens, 0, {{"ALL", 2}})
         << choice(s, "LOG_SOLINT", kIterationTokens, 0, {{"ALL", 2}}) << solution
         << flag(s, "LOG_SOLAUX") << flag(s, "LOG_SGMGRP");

    s = "MATRICES";
    keys << fixed(s, "OUTMAT_FMT TAVLO") << choice(s, "OUTMAT_CRD", kCoordinateTokens, 2)
         << choice(s, "OUTMAT_SG0", kSigma0Tokens, 0) << choice(s, "OUTMAT_ABP", kMatrixTokens, 0)
         << choice(s, "OUTMAT_NC", kMatrixTokens, 0) << choice(s, "OUTMAT_INC", kMatrixTokens, 0)
         << choice(s, "OUTMAT_V", kYesNoTokens, 0) << choice(s, "OUTMAT_X", kYesNoTokens, 0);

    s = "GENERATION";
    keys << flag(s, "GENE_LOG") << choice(s, "GENE_NOISE", {"AUCUN", "BLANC", "UNIT"}, 0)
         << choice(s, "GENE_LIMBE", {"ALEATOIRE", "PISURDEUX", "ZERO"}, 0);

    s = "DESSIN";
    keys << flag(s, "KML_EXPORT") << flag(s, "KML_ALTI") << flag(s, "KML_LNFIA")
         << flag(s, "DRW_EXPORT");
    return keys;
}

// Index in configurationKeys() of every key read from a file, synonyms included.
const QHash<QString, int> &readableKeys()
{
    static const QHash<QString, int> index = [] {
        QHash<QString, int> result;
        const QVector<ConfigurationKey> &keys = configurationKeys();
        for (int i = 0; i < keys.size(); ++i) {
            if (keys.at(i).kind == ConfigurationKind::Fixed)
                continue;
            result.insert(keys.at(i).name, i);
            if (!keys.at(i).keySynonym.isEmpty())
                result.insert(keys.at(i).keySynonym, i);
        }
        return result;
    }();
    return index;
}

// Asking for a key the format does not have is a programming error.
int keyIndex(const QString &key)
{
    const int index = readableKeys().value(key, -1);
    if (index < 0)
        qFatal("Unknown configuration key %s", qPrintable(key));
    return index;
}

// A Count value as read: the nearest number of 1 to `maximum`, or 1 for a value that is not a
// number at all.
int readCount(const QString &value, int maximum)
{
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (ok)
        return int(qBound<qlonglong>(1, number, maximum));
    static const QRegularExpression longNumber(QStringLiteral("^[+-]?[0-9]+$"));
    if (longNumber.match(value).hasMatch())
        return value.startsWith(QLatin1Char('-')) ? 1 : maximum;
    return 1;
}

QString solutionDigits(const QVector<bool> &forms)
{
    const auto pair = [&](int a, int b) {
        return QChar('0' + int(forms.at(a)) + 2 * int(forms.at(b)));
    };
    return QString() + QChar(forms.at(SolutionXyz) ? '1' : '0') + pair(SolutionPlh, SolutionPlo) +
           pair(SolutionNeh, SolutionNeo) + QChar(forms.at(SolutionLoc) ? '1' : '0');
}

QVector<bool> readSolutionDigits(const QString &value)
{
    const auto at = [&](int i) { return i < value.size() ? value.at(i) : QChar(); };
    const auto pairFirst = [&](int i) { return at(i) == '1' || at(i) == '3'; };
    const auto pairSecond = [&](int i) { return at(i) == '2' || at(i) == '3'; };
    QVector<bool> forms(kSolutionForms, false);
    forms[SolutionXyz] = at(0) == '1';
    forms[SolutionPlh] = pairFirst(1);
    forms[SolutionPlo] = pairSecond(1);
    forms[SolutionNeh] = pairFirst(2);
    forms[SolutionNeo] = pairSecond(2);
    forms[SolutionLoc] = at(3) == '1';
    return forms;
}

QString written(const ConfigurationKey &key, const QString &value)
{
    return key.name.leftJustified(kKeyWidth, QLatin1Char(' ')) + value;
}

} // namespace

const QVector<ConfigurationKey> &configurationKeys()
{
    static const QVector<ConfigurationKey> keys = buildKeys();
    return keys;
}

Configuration::Configuration()
{
    const QVector<ConfigurationKey> &keys = configurationKeys();
    m_values.resize(keys.size());
    for (int i = 0; i < keys.size(); ++i) {
        if (keys.at(i).kind == ConfigurationKind::Count)
            m_values[i].number = 1;
        m_values[i].digits = QVector<bool>(keys.at(i).components, false);
    }
}

const Configuration::Value &Configuration::value(const QString &key) const
{
    return m_values.at(keyIndex(key));
}

Configuration::Value &Configuration::value(const QString &key)
{
    return m_values[keyIndex(key)];
}

QString Configuration::text(const QString &key) const
{
    return value(key).text;
}

void Configuration::setText(const QString &key, const QString &text)
{
    value(key).text = text;
}

int Configuration::choice(const QString &key) const
{
    return value(key).number;
}

QString Configuration::token(const QString &key) const
{
    return configurationKeys().at(keyIndex(key)).tokens.value(choice(key));
}

void Configuration::setChoice(const QString &key, int index)
{
    if (index >= 0 && index < configurationKeys().at(keyIndex(key)).tokens.size())
        value(key).number = index;
}

int Configuration::count(const QString &key) const
{
    return value(key).number;
}

void Configuration::setCount(const QString &key, int number)
{
    value(key).number = qBound(1, number, configurationKeys().at(keyIndex(key)).maximum);
}

bool Configuration::flag(const QString &key) const
{
    return value(key).number != 0;
}

void Configuration::setFlag(const QString &key, bool on)
{
    value(key).number = on ? 1 : 0;
}

bool Configuration::digit(const QString &key, int index) const
{
    return value(key).digits.value(index, false);
}

void Configuration::setDigit(const QString &key, int index, bool on)
{
    QVector<bool> &digits = value(key).digits;
    if (index >= 0 && index < digits.size())
        digits[index] = on;
}

QString Configuration::toText() const
{
    QStringList lines;
    lines << QStringLiteral("# Fichier de configuration de Tavlo")
          << QStringLiteral("# genere par Tavlo IHM version ") + QLatin1String(TAVLO_VERSION_DATE)
          << QString();

    const QVector<ConfigurationKey> &keys = configurationKeys();
    for (int i = 0; i < keys.size(); ++i) {
        const ConfigurationKey &key = keys.at(i);
        const Value &v = m_values.at(i);
        if (i == 0 || key.section != keys.at(i - 1).section) {
            if (i > 0)
                lines << QString();
            lines << QLatin1Char('[') + key.section + QLatin1Char(']') << QString();
        }
        switch (key.kind) {
        case ConfigurationKind::Text: {
            // A line break in a value would start a line of its own in the file.
            QString text = normaliseDecimal(v.text);
            text.replace(QRegularExpression(QStringLiteral("[\r\n]")), QStringLiteral(" "));
            lines << written(key, text);
            break;
        }
        case ConfigurationKind::Choice:
            lines << written(key, key.tokens.at(v.number));
            break;
        case ConfigurationKind::Count:
            lines << written(key, QString::number(v.number));
            break;
        case ConfigurationKind::Flag:
            lines << written(key, v.number ? QStringLiteral("OUI") : QStringLiteral("NON"));
            break;
        case ConfigurationKind::Digits: {
            QString digits;
            for (const bool on : v.digits)
                digits += QLatin1Char(on ? '1' : '0');
            lines << written(key, digits);
            break;
        }
        case ConfigurationKind::SolutionForms:
            lines << written(key, solutionDigits(v.digits));
            break;
        case ConfigurationKind::Fixed:
            lines << key.name;
            break;
        }
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void Configuration::read(const ConfigurationKey &key, const QString &rawValue)
{
    Value &v = value(key.name);
    const QString trimmed = rawValue.trimmed();
    switch (key.kind) {
    case ConfigurationKind::Text:
        v.text = normaliseDecimal(rawValue);
        break;
    case ConfigurationKind::Choice: {
        int index = key.tokens.indexOf(trimmed);
        for (const auto &synonym : key.synonyms) {
            if (index < 0 && synonym.first == trimmed)
                index = synonym.second;
        }
        v.number = index < 0 ? key.fallback : index;
        break;
    }
    case ConfigurationKind::Count:
        v.number = readCount(trimmed, key.maximum);
        break;
    case ConfigurationKind::Flag:
        v.number = trimmed == QLatin1String("OUI") ? 1 : 0;
        break;
    case ConfigurationKind::Digits:
        for (int i = 0; i < v.digits.size(); ++i)
            v.digits[i] = i < trimmed.size() && trimmed.at(i) == QLatin1Char('1');
        break;
    case ConfigurationKind::SolutionForms:
        v.digits = readSolutionDigits(trimmed);
        break;
    case ConfigurationKind::Fixed:
        break;
    }
}

Configuration Configuration::fromText(const QString &text)
{
    Configuration configuration;
    const QVector<ConfigurationKey> &keys = configurationKeys();
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const int index = readableKeys().value(line.left(kKeyReadWidth).trimmed(), -1);
        if (index >= 0)
            configuration.read(keys.at(index), line.mid(kKeyWidth));
    }
    return configuration;
}

bool Configuration::operator==(const Configuration &other) const
{
    return m_values == other.m_values;
}

bool loadConfiguration(const QString &path, Configuration &configuration, QString &error)
{
    TextFileContent content;
    if (!readTextFile(path, content, error))
        return false;
    configuration = Configuration::fromText(content.text);
    return true;
}

bool saveConfiguration(const QString &path, const Configuration &configuration, QString &error)
{
    TextFileContent content;
    content.text = configuration.toText();
    content.lineEnding = platformLineEnding();
    return writeTextFile(path, content, error);
}
