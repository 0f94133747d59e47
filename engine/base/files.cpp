#include "engine/base/files.h"

#include "engine/base/largepages.h"
#include "engine/base/text.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace engine {

namespace fs = std::filesystem;

FileLoader diskFileLoader()
{
    return [](const std::string &path, std::string &content) {
        std::error_code error;
        const fs::path file = pathFromLatin1(path);
        if (!fs::is_regular_file(file, error))
            return false;
        std::ifstream stream(file, std::ios::binary);
        if (!stream)
            return false;
        // Read at its size in one piece: a stream buffer that grows would copy a large file
        // several times. Whatever it holds beyond that size when read is read too.
        const std::uintmax_t size = fs::file_size(file, error);
        std::string text;
        if (!error) {
            text.reserve(static_cast<std::size_t>(size));
            adviseLargePages(text.data(), text.capacity());
            text.resize(static_cast<std::size_t>(size));
        }
        stream.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(stream.gcount()));
        char chunk[65536];
        while (stream) {
            stream.read(chunk, sizeof chunk);
            text.append(chunk, static_cast<std::size_t>(stream.gcount()));
        }
        if (stream.bad())
            return false;
        content = std::move(text);
        return true;
    };
}

std::string normalizedPath(const std::string &path)
{
    std::error_code error;
    fs::path p = pathFromLatin1(path);
    fs::path absolute = fs::absolute(p, error);
    if (error)
        absolute = p;
    return latin1FromPath(absolute.lexically_normal().make_preferred());
}

} // namespace engine
