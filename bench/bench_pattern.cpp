#include "bench_pattern.h"

#include <algorithm>
#include <cstring>

namespace qm::bench {

const Pattern& Pattern::instance() {
    static const Pattern* pattern = new Pattern;
    return *pattern;
}

Pattern::Pattern() {
    std::uint32_t state = 0x9E3779B9u;
    for (char& byte : m_bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
}

const char* Pattern::at(std::uint64_t offset, std::size_t& count) const {
    const std::size_t start = offset % Period;
    count = std::min(count, Period - start);
    return m_bytes + start;
}

bool Pattern::matches(std::uint64_t offset, const char* bytes, std::size_t count) const {
    while (count > 0) {
        std::size_t piece = count;
        const char* expected = at(offset, piece);
        if (std::memcmp(expected, bytes, piece) != 0)
            return false;
        offset += piece;
        bytes += piece;
        count -= piece;
    }
    return true;
}

} // namespace qm::bench
