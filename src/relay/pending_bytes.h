#pragma once

#include <cstddef>
#include <cstring>
#include <memory>

namespace qm {

// Bytes read from one side that the other side has not taken yet. Holds one
// read's worth, or the rest of a side that has closed, and owns no memory
// while empty, so an idle pair costs nothing here.
class PendingBytes {
public:
    bool empty() const { return m_offset == m_size; }
    std::size_t size() const { return m_size - m_offset; }
    const char* data() const { return m_data.get() + m_offset; }

    void assign(const char* bytes, std::size_t count) {
        m_data = std::make_unique_for_overwrite<char[]>(count);
        std::memcpy(m_data.get(), bytes, count);
        m_size = count;
        m_offset = 0;
    }
    void append(const char* bytes, std::size_t count) {
        if (empty())
            return assign(bytes, count);
        auto grown = std::make_unique_for_overwrite<char[]>(size() + count);
        std::memcpy(grown.get(), data(), size());
        std::memcpy(grown.get() + size(), bytes, count);
        m_size = size() + count;
        m_offset = 0;
        m_data = std::move(grown);
    }
    void consume(std::size_t count) {
        m_offset += count;
        if (m_offset == m_size)
            clear();
    }
    void clear() {
        m_data.reset();
        m_size = m_offset = 0;
    }

private:
    std::unique_ptr<char[]> m_data;
    std::size_t m_size = 0;
    std::size_t m_offset = 0;
};

} // namespace qm
