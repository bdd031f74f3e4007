#pragma once

#include <cstddef>
#include <cstdint>

namespace qm::bench {

// A fixed pseudo-random byte stream with a prime period, so a byte that is
// lost, doubled or moved shows up as a mismatch at its offset.
class Pattern {
public:
    static constexpr std::size_t Period = 1048573;

    static const Pattern& instance();
    // The bytes from offset on, at most count of them, contiguous.
    const char* at(std::uint64_t offset, std::size_t& count) const;
    // Whether bytes equal the stream from offset on.
    bool matches(std::uint64_t offset, const char* bytes, std::size_t count) const;

private:
    Pattern();
    char m_bytes[Period];
};

} // namespace qm::bench
