#ifndef ENGINE_BASE_FILES_H
#define ENGINE_BASE_FILES_H

#include <functional>
#include <string>

// Reading whole files, and the paths they are named by. Paths are Latin-1 texts.
namespace engine {

// Loads the whole content of a file given its Latin-1 path; false when it cannot be read.
using FileLoader = std::function<bool(const std::string &path, std::string &content)>;

// Reads files from the disk.
FileLoader diskFileLoader();

// The absolute, lexically normal form of `path` (Latin-1), with the platform's separators.
std::string normalizedPath(const std::string &path);

} // namespace engine

#endif // ENGINE_BASE_FILES_H
