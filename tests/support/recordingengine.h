#ifndef RECORDINGENGINE_H
#define RECORDINGENGINE_H

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QTemporaryDir>

// One call received by the recording engine.
struct RecordedCall
{
    QString entryPoint;      // "tavlodll_process", "tavlodll_convert", ...
    QList<qint32> integers;  // integer arguments and lengths, in argument order
    QList<QByteArray> texts; // texts as received (Latin-1 bytes up to their NUL), in order
};

// Points the workbench's engine calls at the recording engine for its lifetime: TAVLO_ENGINE
// names the recorder and its log lives in a temporary folder. Every variable it sets is given
// back its former value on destruction. By default the recorder writes no file; writeOutput() or
// setOutput() tells it what to write at the paths it receives (see recordingengine.cpp).
class RecordingEngine
{
public:
    RecordingEngine();
    ~RecordingEngine();
    RecordingEngine(const RecordingEngine &) = delete;
    RecordingEngine &operator=(const RecordingEngine &) = delete;

    // False when the temporary folder or the recorder library is missing.
    bool isValid() const;
    QString folder() const { return m_folder.path(); }
    QString logPath() const;

    // Each output the engine is asked to write receives `bytes`.
    void writeOutput(const QByteArray &bytes);
    // Each output receives the file `path`, or, when `path` is a folder, the file of that folder
    // with the output's file name.
    void setOutput(const QString &path);
    // Extensions (".fic;.log") of the files that tavlodll_process writes beside the observations.
    void setProcessExtensions(const QString &extensions);
    // Makes tavlodll_convert and tavlodll_geoid fail: they write no output, but `reason` (Latin-1
    // bytes) to the output path plus ".err". Empty: they succeed again.
    void setFailure(const QByteArray &reason);
    // The text tavlodll_version returns.
    void setVersion(const QByteArray &text);

    // The calls recorded so far, oldest first.
    QList<RecordedCall> calls() const;
    void clearCalls();

    static QString libraryPath();
    // A loadable library that has none of the engine's entry points.
    static QString noEntryLibraryPath();

private:
    QTemporaryDir m_folder;
    QList<QPair<QByteArray, QByteArray>> m_saved; // name, former value ("" when unset)
    QList<QByteArray> m_wasUnset;
};

#endif // RECORDINGENGINE_H
