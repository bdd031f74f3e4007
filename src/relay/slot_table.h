#pragma once

#include <memory>
#include <vector>

namespace qm {

struct RelayPair;

// The pairs by slot (1..capacity); a new pair always takes the lowest free slot.
class SlotTable {
public:
    static constexpr int MaxSlots = 32767;

    SlotTable();
    ~SlotTable();

    void setCapacity(int capacity) { m_capacity = capacity; }
    bool full() const { return m_used >= m_capacity; }
    int used() const { return m_used; }
    int highest() const { return static_cast<int>(m_pairs.size()) - 1; }

    // Lowest free slot; 0 when the table is full.
    int lowestFree();
    void occupy(int slot, std::unique_ptr<RelayPair> pair);
    std::unique_ptr<RelayPair> release(int slot);
    RelayPair* at(int slot) const;

private:
    std::vector<std::unique_ptr<RelayPair>> m_pairs; // index 0 is never a pair
    int m_capacity = MaxSlots;
    int m_used = 0;
    int m_searchFrom = 1; // no free slot below this one
};

} // namespace qm
