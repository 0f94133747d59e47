#ifndef ENGINE_BASE_CHUNKEDLOOP_H
#define ENGINE_BASE_CHUNKEDLOOP_H

#include <algorithm>
#include <cstddef>
#include <exception>
#include <vector>

namespace engine {

// Calls body(begin, end) for the chunks [0, size), [size, 2 size), ... of [0, count) on the
// engine's threads, in any order: a chunk writes results of its own only. The chunks follow from
// `count` and `size`, not from the number of threads, so that a result that depends on them (a
// partial sum per chunk) does not change with it. An exception thrown in a chunk is thrown again
// once every chunk has run (that of the first chunk that threw).
template <typename Body> void forEachChunk(std::size_t count, std::size_t size, const Body &body)
{
    const std::size_t chunks = size == 0 ? 0 : (count + size - 1) / size;
    std::vector<std::exception_ptr> failures(chunks);
#pragma omp parallel for schedule(dynamic, 1)
    for (long c = 0; c < static_cast<long>(chunks); ++c) {
        const auto chunk = static_cast<std::size_t>(c);
        try {
            body(chunk * size, std::min(count, (chunk + 1) * size));
        } catch (...) {
            failures[chunk] = std::current_exception();
        }
    }
    for (const std::exception_ptr &failure : failures) {
        if (failure)
            std::rethrow_exception(failure);
    }
}

} // namespace engine

#endif // ENGINE_BASE_CHUNKEDLOOP_H
