#ifndef ENGINE_BASE_ATOMICFILE_H
#define ENGINE_BASE_ATOMICFILE_H

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

// Every file the engine writes goes through this class, so that a file is either its old self or
// its new self whole. The bytes go to a temporary file of a name of its own in the target's
// folder, created exclusively (never an existing file, never through a symbolic link), flushed to
// the disk, then renamed over the target; two writers of one target each leave it whole and the
// last rename wins. Whatever fails removes the temporary file and leaves the target as it was.
namespace engine {

class AtomicFile
{
public:
    // Creates the temporary file for the Latin-1 path `path`.
    explicit AtomicFile(const std::string &path);
    // Removes the temporary file unless it was committed.
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    bool write(std::string_view bytes);
    // Writes `count` zero bytes as a hole where the file system allows it: they take no room on
    // the disk and no time to write, and read back as zeros.
    bool skip(long long count);
    // Starts writing every byte written so far to the disk, without waiting: a file whose commit
    // can wait while other work is done then has little left to flush when it comes.
    void startFlush();
    // Flushes the bytes to the disk, then renames the temporary file over the target.
    bool commit();
    // Why writing failed (Latin-1 French, such as "disque plein"), empty while nothing failed.
    const std::string &error() const { return m_error; }

private:
    void fail(const std::error_code &code);
    void discard();

    std::filesystem::path m_target;
    std::filesystem::path m_temporary;
    int m_descriptor = -1;
    long long m_written = 0;
    long long m_writtenBack = 0; // bytes whose writing to the disk has been started
    bool m_endsInHole = false;   // the file's size is still to be set at its end
    std::string m_error;
};

// Writes `content` to the Latin-1 path `path` through an AtomicFile; false with the reason in
// `error` (when given) when it could not.
bool writeFileAtomically(const std::string &path, std::string_view content,
                         std::string *error = nullptr);

// Replaces the content of the existing regular file `path` in place, without creating, renaming
// or following a link: the way left to mark an output as failed in a folder where files can be
// neither created nor removed. False when the file is not there, not a regular file or not
// writable.
bool overwriteInPlace(const std::string &path, std::string_view content);

// The reason of a system error in French (Latin-1).
std::string systemErrorText(const std::error_code &code);

// Whether the Latin-1 paths `a` and `b` name one file: the same absolute normal path, or two
// names of one existing file (a link, another case on a case-blind disk).
bool sameFile(const std::string &a, const std::string &b);

} // namespace engine

#endif // ENGINE_BASE_ATOMICFILE_H
