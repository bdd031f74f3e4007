#pragma once

#include <QtGlobal>
#include <vector>

namespace qm {

// The banned addresses in table order, followed by one spare element that is
// stored in the file but never compared, listed or edited.
class BanTable {
public:
    // At most this many bans: table indices are 16-bit in the windows that edit it.
    static constexpr int MaxBans = 32767;

    BanTable(); // empty: the spare element alone, holding 0

    int count() const { return static_cast<int>(m_elements.size()) - 1; } // "UBound"
    qint32 at(int k) const { return m_elements.at(static_cast<size_t>(k)); }

    // Index of the first ban equal to number, or -1; the spare is never compared.
    int indexOf(qint32 number) const;
    bool contains(qint32 number) const { return indexOf(number) >= 0; }

    // Stores number at index count() and grows by one; the new spare holds 0.
    // Returns false, changing nothing, when MaxBans are already stored.
    bool append(qint32 number);
    // 0 <= k < count(); any other k changes nothing.
    void replace(int k, qint32 number);
    // 0 <= k < count() (any other k changes nothing): the last ban moves into place k, the table
    // shrinks by one and the old last ban stays behind as the stale spare.
    void remove(int k);

    // All elements, spare included, as the file holds them.
    const std::vector<qint32>& elements() const { return m_elements; }
    // elements must hold at least the spare
    void setElements(std::vector<qint32> elements);

private:
    std::vector<qint32> m_elements;
};

} // namespace qm
