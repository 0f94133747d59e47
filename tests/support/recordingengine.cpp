#include "recordingengine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const char *const kVariables[] = {"TAVLO_ENGINE",
                                  "TAVLO_RECORDING_LOG",
                                  "TAVLO_RECORDING_OUTPUT",
                                  "TAVLO_RECORDING_PROCESS_EXT",
                                  "TAVLO_RECORDING_FAILURE",
                                  "TAVLO_RECORDING_VERSION"};

QByteArray unescaped(const QByteArray &field)
{
    QByteArray text;
    for (int i = 0; i < field.size(); ++i) {
        char c = field.at(i);
        if (c == '\\' && i + 1 < field.size()) {
            const char next = field.at(++i);
            c = next == 't' ? '\t' : next == 'r' ? '\r' : next == 'n' ? '\n' : next;
        }
        text.append(c);
    }
    return text;
}

} // namespace

RecordingEngine::RecordingEngine()
{
    for (const char *name : kVariables) {
        if (qEnvironmentVariableIsSet(name))
            m_saved.append({name, qgetenv(name)});
        else
            m_wasUnset.append(name);
        qunsetenv(name);
    }
    qputenv("TAVLO_ENGINE", QFile::encodeName(libraryPath()));
    qputenv("TAVLO_RECORDING_LOG", QFile::encodeName(logPath()));
}

RecordingEngine::~RecordingEngine()
{
    for (const auto &saved : qAsConst(m_saved))
        qputenv(saved.first.constData(), saved.second);
    for (const QByteArray &name : qAsConst(m_wasUnset))
        qunsetenv(name.constData());
}

bool RecordingEngine::isValid() const
{
    return m_folder.isValid() && QFileInfo(libraryPath()).isFile();
}

QString RecordingEngine::logPath() const
{
    return m_folder.filePath(QStringLiteral("recording.log"));
}

void RecordingEngine::writeOutput(const QByteArray &bytes)
{
    const QString source = m_folder.filePath(QStringLiteral("recording.output"));
    QFile file(source);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
    setOutput(source);
}

void RecordingEngine::setOutput(const QString &path)
{
    qputenv("TAVLO_RECORDING_OUTPUT", QFile::encodeName(path));
}

void RecordingEngine::setProcessExtensions(const QString &extensions)
{
    qputenv("TAVLO_RECORDING_PROCESS_EXT", extensions.toLatin1());
}

void RecordingEngine::setFailure(const QByteArray &reason)
{
    if (reason.isEmpty())
        qunsetenv("TAVLO_RECORDING_FAILURE");
    else
        qputenv("TAVLO_RECORDING_FAILURE", reason);
}

void RecordingEngine::setVersion(const QByteArray &text)
{
    qputenv("TAVLO_RECORDING_VERSION", text);
}

QList<RecordedCall> RecordingEngine::calls() const
{
    QList<RecordedCall> calls;
    QFile log(logPath());
    if (!log.open(QIODevice::ReadOnly))
        return calls;
    const QList<QByteArray> lines = log.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> fields = line.split('\t');
        RecordedCall call;
        call.entryPoint = QString::fromLatin1(fields.first());
        for (int i = 1; i < fields.size(); ++i) {
            const QByteArray &field = fields.at(i);
            if (field.size() >= 2 && field.startsWith('"') && field.endsWith('"'))
                call.texts.append(unescaped(field.mid(1, field.size() - 2)));
            else
                call.integers.append(field.toInt());
        }
        calls.append(call);
    }
    return calls;
}

void RecordingEngine::clearCalls()
{
    QFile::remove(logPath());
}

QString RecordingEngine::libraryPath()
{
    return QStringLiteral(TAVLO_RECORDING_ENGINE_PATH);
}

QString RecordingEngine::noEntryLibraryPath()
{
    return QStringLiteral(TAVLO_NOENTRY_LIBRARY_PATH);
}
