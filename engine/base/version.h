#ifndef ENGINE_BASE_VERSION_H
#define ENGINE_BASE_VERSION_H

namespace engine {

// The engine's name and version, as the about box shows it (at most 23 characters).
constexpr const char kEngineVersion[] = "Tavlo engine 1.0.0";

} // namespace engine

#endif // ENGINE_BASE_VERSION_H
