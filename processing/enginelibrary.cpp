#include "enginelibrary.h"

#include "engine/api/engineapi.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

#include <array>

namespace {

using ProcessEntry = tavlodll_process_fn;
using ConvertEntry = tavlodll_convert_fn;
using GeoidEntry = tavlodll_geoid_fn;
using NewCfgEntry = tavlodll_newcfg_fn;
using VersionEntry = tavlodll_version_fn;

// The engine's version fits in this many character codes.
constexpr int kVersionCodes = 23;

// One text argument: its bytes stay alive and NUL-terminated for the length of the call.
struct EngineArgument
{
    explicit EngineArgument(const QString &text)
        : bytes(EngineLibrary::engineText(text))
        , length(bytes.size())
    {}
    char *data() { return bytes.data(); }

    QByteArray bytes;
    qint32 length;
};

// Loads the library, resolves `name`, hands the entry point to `call` and unloads the library,
// so that every call starts from a freshly loaded engine.
template <typename Entry, typename Call> bool callEntryPoint(const char *name, Call call)
{
    QLibrary library(EngineLibrary::libraryFileName());
    if (!library.load())
        return false;
    const auto entry = reinterpret_cast<Entry>(library.resolve(name));
    if (entry)
        call(entry);
    library.unload();
    return entry != nullptr;
}

} // namespace

QString EngineLibrary::libraryFileName()
{
    return libraryFileName(QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                                        : QString());
}

QString EngineLibrary::libraryFileName(const QString &applicationDir)
{
    const QString configured = qEnvironmentVariable("TAVLO_ENGINE");
    if (!configured.isEmpty() && QFileInfo(configured).isFile())
        return configured;
#ifdef Q_OS_WIN
    Q_UNUSED(applicationDir)
    return QStringLiteral("tavlo.dll");
#else
    if (!applicationDir.isEmpty()) {
        const QDir folder(applicationDir);
        for (const QString &candidate :
             {QStringLiteral("libtavlo.so"), QStringLiteral("../lib/tavlo/libtavlo.so")}) {
            const QString path = QDir::cleanPath(folder.filePath(candidate));
            if (QFileInfo(path).isFile())
                return path;
        }
    }
    return QStringLiteral("libtavlo.so");
#endif
}

QByteArray EngineLibrary::engineText(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const uint code : text.toUcs4())
        bytes.append(code <= 0xFF ? char(code) : '?');
    return bytes;
}

bool EngineLibrary::runEngineProcess(const QString &iobPath, const QString &cfgPath)
{
    EngineArgument iob(iobPath);
    EngineArgument cfg(cfgPath);
    return callEntryPoint<ProcessEntry>("tavlodll_process", [&](ProcessEntry entry) {
        entry(&iob.length, &cfg.length, iob.data(), cfg.data());
    });
}

bool EngineLibrary::runEngineConvert(int kind, const QString &inputPath, const QString &outputPath,
                                     const QString &options)
{
    qint32 kindValue = kind;
    EngineArgument input(inputPath);
    EngineArgument output(outputPath);
    EngineArgument optionText(options);
    return callEntryPoint<ConvertEntry>("tavlodll_convert", [&](ConvertEntry entry) {
        entry(&kindValue, &input.length, &output.length, &optionText.length, input.data(),
              output.data(), optionText.data());
    });
}

bool EngineLibrary::runEngineGeoid(const QString &inputPath, const QString &outputPath)
{
    EngineArgument input(inputPath);
    EngineArgument output(outputPath);
    return callEntryPoint<GeoidEntry>("tavlodll_geoid", [&](GeoidEntry entry) {
        entry(&input.length, &output.length, input.data(), output.data());
    });
}

bool EngineLibrary::runEngineNewCfg(const QString &path)
{
    EngineArgument file(path);
    return callEntryPoint<NewCfgEntry>(
        "tavlodll_newcfg", [&](NewCfgEntry entry) { entry(&file.length, file.data()); });
}

QString EngineLibrary::engineVersion()
{
    // The library stays loaded: the destructor of QLibrary does not unload it.
    QLibrary library(libraryFileName());
    if (!library.load())
        return QString();
    const auto entry = reinterpret_cast<VersionEntry>(library.resolve("tavlodll_version"));
    if (!entry) {
        library.unload();
        return QString();
    }
    std::array<qint32, kVersionCodes> codes{};
    qint32 count = 0;
    entry(codes.data(), &count);

    // The count comes from the engine: never read past the array it was given.
    const int used = qBound(0, int(count), kVersionCodes);
    QString version;
    version.reserve(used);
    for (int i = 0; i < used; ++i) {
        const qint32 code = codes[i];
        version.append(code >= 0 && code <= 0xFFFF ? QChar(ushort(code)) : QLatin1Char('?'));
    }
    return version;
}
