#include "relay/slot_table.h"

#include "relay/relay_pair.h"

namespace qm {

SlotTable::SlotTable() : m_pairs(1) {}
SlotTable::~SlotTable() = default;

int SlotTable::lowestFree() {
    if (full())
        return 0;
    int slot = m_searchFrom;
    while (slot < static_cast<int>(m_pairs.size()) && m_pairs[static_cast<size_t>(slot)])
        ++slot;
    m_searchFrom = slot;
    return slot;
}

void SlotTable::occupy(int slot, std::unique_ptr<RelayPair> pair) {
    if (slot >= static_cast<int>(m_pairs.size()))
        m_pairs.resize(static_cast<size_t>(slot) + 1);
    m_pairs[static_cast<size_t>(slot)] = std::move(pair);
    ++m_used;
}

std::unique_ptr<RelayPair> SlotTable::release(int slot) {
    auto pair = std::move(m_pairs[static_cast<size_t>(slot)]);
    --m_used;
    if (slot < m_searchFrom)
        m_searchFrom = slot;
    while (m_pairs.size() > 1 && !m_pairs.back())
        m_pairs.pop_back();
    return pair;
}

RelayPair* SlotTable::at(int slot) const {
    if (slot <= 0 || slot >= static_cast<int>(m_pairs.size()))
        return nullptr;
    return m_pairs[static_cast<size_t>(slot)].get();
}

} // namespace qm
