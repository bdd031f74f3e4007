#include "relay/address_limits.h"

#include <algorithm>

namespace qm {

namespace {

constexpr std::chrono::seconds SweepInterval{1};

} // namespace

void AddressLimits::setLimits(int pairsPerAddress, int connectsPerSecond) {
    m_pairLimit = std::max(pairsPerAddress, 0);
    m_rate = std::max(connectsPerSecond, 0);
    for (auto& [address, entry] : m_entries)
        entry.tokens = std::min(entry.tokens, double(m_rate));
}

void AddressLimits::refill(Entry& entry, Time now) const {
    const double seconds = std::chrono::duration<double>(now - entry.refilled).count();
    entry.tokens = std::min(double(m_rate), entry.tokens + seconds * m_rate);
    entry.refilled = now;
}

bool AddressLimits::forgettable(const Entry& entry) const {
    return entry.pairs == 0 && entry.tokens >= m_rate;
}

AddressLimits::Verdict AddressLimits::admit(quint32 address, Time now) {
    if (now - m_lastSweep >= SweepInterval)
        sweep(now);
    const auto [found, isNew] = m_entries.try_emplace(address);
    Entry& entry = found->second;
    if (isNew) {
        entry.tokens = m_rate;
        entry.refilled = now;
    } else {
        refill(entry, now);
    }
    Verdict verdict = Verdict::Admitted;
    if (m_pairLimit > 0 && entry.pairs >= m_pairLimit)
        verdict = Verdict::TooManyPairs;
    else if (m_rate > 0 && entry.tokens < 1)
        verdict = Verdict::TooFast;
    if (verdict == Verdict::Admitted) {
        ++entry.pairs;
        if (m_rate > 0)
            entry.tokens -= 1;
    } else if (forgettable(entry)) {
        m_entries.erase(found);
    }
    return verdict;
}

void AddressLimits::release(quint32 address) {
    const auto found = m_entries.find(address);
    if (found == m_entries.end() || found->second.pairs == 0)
        return;
    --found->second.pairs;
    // Without a rate nothing else is kept of an address; with one, the sweep
    // forgets it once its bucket is full again.
    if (m_rate == 0 && found->second.pairs == 0)
        m_entries.erase(found);
}

void AddressLimits::sweep(Time now) {
    m_lastSweep = now;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        refill(it->second, now);
        it = forgettable(it->second) ? m_entries.erase(it) : std::next(it);
    }
}

} // namespace qm
