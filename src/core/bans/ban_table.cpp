#include "core/bans/ban_table.h"

#include <algorithm>

namespace qm {

BanTable::BanTable() : m_elements{0} {}

int BanTable::indexOf(qint32 number) const {
    const auto bansEnd = m_elements.end() - 1; // the spare is never compared
    const auto found = std::find(m_elements.begin(), bansEnd, number);
    return found == bansEnd ? -1 : static_cast<int>(found - m_elements.begin());
}

bool BanTable::append(qint32 number) {
    if (count() >= MaxBans)
        return false;
    m_elements.back() = number;
    m_elements.push_back(0);
    return true;
}

void BanTable::replace(int k, qint32 number) {
    if (k < 0 || k >= count())
        return;
    m_elements[static_cast<size_t>(k)] = number;
}

void BanTable::remove(int k) {
    if (k < 0 || k >= count())
        return;
    const auto last = static_cast<size_t>(count() - 1);
    m_elements[static_cast<size_t>(k)] = m_elements[last];
    // The old last ban stays behind as the new (stale) spare.
    m_elements.resize(last + 1);
}

void BanTable::setElements(std::vector<qint32> elements) {
    if (elements.empty())
        elements.push_back(0);
    m_elements = std::move(elements);
}

} // namespace qm
