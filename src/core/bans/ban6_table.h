#pragma once

#include "core/bans/ban_table.h"
#include "core/bans/ipv6_address.h"

#include <vector>

namespace qm {

// The banned IPv6 addresses in table order. Unlike the IPv4 table it has no
// spare element.
class Ban6Table {
public:
    static constexpr int MaxBans = BanTable::MaxBans;

    int count() const { return static_cast<int>(m_addresses.size()); }
    const Ipv6Address& at(int k) const { return m_addresses.at(static_cast<size_t>(k)); }

    int indexOf(const Ipv6Address& address) const;
    bool contains(const Ipv6Address& address) const { return indexOf(address) >= 0; }

    // False, changing nothing, when MaxBans are already stored.
    bool append(const Ipv6Address& address);
    // 0 <= k < count(); any other k changes nothing.
    void replace(int k, const Ipv6Address& address);
    // 0 <= k < count(): the last ban moves into place k, as in the IPv4 table.
    void remove(int k);

    const std::vector<Ipv6Address>& addresses() const { return m_addresses; }
    void setAddresses(std::vector<Ipv6Address> addresses) { m_addresses = std::move(addresses); }

private:
    std::vector<Ipv6Address> m_addresses;
};

} // namespace qm
