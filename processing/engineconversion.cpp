#include "engineconversion.h"

#include "enginelibrary.h"
#include "filestamp.h"
#include "textfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace {

// Longer reasons are cut: the text comes from a file and is shown in a status label.
constexpr int kReasonMaxLength = 300;

QString tr(const char *text)
{
    return QCoreApplication::translate("EngineConversion", text);
}

// The engine's reason for a failed call, or nothing when it reported none; the file is removed
// once read, so that it can never be taken for a later call's.
QString takeFailure(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return QString();
    TextFileContent content;
    QString error;
    QString reason;
    if (readTextFile(path, content, error))
        reason = content.text.simplified();
    else
        reason = tr("Raison illisible (%1).").arg(error);
    QFile::remove(path);
    if (reason.isEmpty())
        return tr("Le moteur de calcul n'a pas donné de raison.");
    if (reason.size() > kReasonMaxLength)
        reason = reason.left(kReasonMaxLength) + QStringLiteral("...");
    return reason;
}

template <typename Call> EngineConversion::Outcome run(const QString &outputPath, Call call)
{
    // The import appends to an output that exists already, and a failed call may leave an
    // earlier output in place: only a change of the file shows that this call wrote it.
    const FileStamp before = FileStamp::beforeWrite(outputPath);
    if (!call())
        return {false, tr("Moteur de calcul introuvable ou incomplet (%1).")
                           .arg(EngineLibrary::libraryFileName())};
    const QString reason = takeFailure(EngineConversion::failurePath(outputPath));
    if (!reason.isEmpty())
        return {false, reason};
    const FileStamp after(outputPath);
    if (!after.exists())
        return {false, tr("Le moteur de calcul n'a pas créé le fichier %1.").arg(outputPath)};
    if (after == before)
        return {false, tr("Le moteur de calcul n'a pas écrit le fichier %1.").arg(outputPath)};
    return {true, QString()};
}

} // namespace

EngineConversion::Outcome EngineConversion::convert(int kind, const QString &inputPath,
                                                    const QString &outputPath,
                                                    const QString &options)
{
    return run(outputPath, [&] {
        return EngineLibrary::runEngineConvert(kind, inputPath, outputPath, options);
    });
}

EngineConversion::Outcome EngineConversion::geoid(const QString &inputPath,
                                                  const QString &outputPath)
{
    return run(outputPath, [&] { return EngineLibrary::runEngineGeoid(inputPath, outputPath); });
}

QString EngineConversion::failurePath(const QString &outputPath)
{
    return outputPath + QStringLiteral(".err");
}
