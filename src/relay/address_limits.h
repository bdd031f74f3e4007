#pragma once

#include <QtGlobal>

#include <chrono>
#include <unordered_map>

namespace qm {

// Per client address: how many pairs it holds, and a token bucket for the
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
    Verdict admit(quint32 address, Time now);
    void release(quint32 address);

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
    std::unordered_map<quint32, Entry> m_entries;
    Time m_lastSweep{};
};

} // namespace qm
