#include "engine/base/files.h"

#include "engine/base/text.h"

#include <filesystem>
#include <fstream>
#include <sstream>
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
        std::ostringstream buffer;
        buffer << stream.rdbuf();
        if (stream.bad())
            return false;
        content = buffer.str();
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
