#pragma once

#include "core/bans/ipv6_address.h"

#include <QtGlobal>

#include <chrono>
#include <unordered_map>

namespace qm {

// Per client address (both families, an IPv4 one as its mapped IPv6 address,
// all 128 bits compared): how many pairs it holds, and a token bucket for the
// rate of its new connections (burst as large as the rate). Only addresses
// with a pair, or with a bucket that is not full, are remembered, so a flood
// from many addresses costs memory for about a second of it.
class AddressLimits {
public:
    using Time = std::chrono::steady_clock::time_point;
    enum class Verdict { Admitted, TooManyPairs, TooFast };

    // 0 is no limit. Pairs already counted stay counted.
    void setLimits(int pairsPerAddress, int connectsPerSecond);
    bool active() const { return m_pairLimit > 0 || m_rate > 0; }

    // Admitted: the address now holds one more pair, to be released when it ends.
    Verdict admit(const Ipv6Address& address, Time now);
    void release(const Ipv6Address& address);

    std::size_t rememberedAddresses() const { return m_entries.size(); }

private:
    struct Entry {
        int pairs = 0;
        double tokens = 0;
        Time refilled{};
    };
    void refill(Entry& entry, Time now) const;
    bool forgettable(const Entry& entry) const;
    void sweep(Time now);

    int m_pairLimit = 0;
    int m_rate = 0;
    struct Hash {
        std::size_t operator()(const Ipv6Address& address) const noexcept;
    };
    std::unordered_map<Ipv6Address, Entry, Hash> m_entries;
    Time m_lastSweep{};
};

} // namespace qm
