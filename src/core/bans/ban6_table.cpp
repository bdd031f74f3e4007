#include "core/bans/ban6_table.h"

#include <algorithm>

namespace qm {

int Ban6Table::indexOf(const Ipv6Address& address) const {
    const auto found = std::find(m_addresses.begin(), m_addresses.end(), address);
    return found == m_addresses.end() ? -1 : static_cast<int>(found - m_addresses.begin());
}

bool Ban6Table::append(const Ipv6Address& address) {
    if (count() >= MaxBans)
        return false;
    m_addresses.push_back(address);
    return true;
}

void Ban6Table::replace(int k, const Ipv6Address& address) {
    if (k >= 0 && k < count())
        m_addresses[static_cast<size_t>(k)] = address;
}

void Ban6Table::remove(int k) {
    if (k < 0 || k >= count())
        return;
    m_addresses[static_cast<size_t>(k)] = m_addresses.back();
    m_addresses.pop_back();
}

} // namespace qm
