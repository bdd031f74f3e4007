#include "app/headless/refusal_summary.h"

namespace qm {

namespace {

// Addresses told apart in one period; beyond it a flood from ever new
// addresses would grow memory without bound.
constexpr qsizetype MaxAddressesPerPeriod = 65536;

} // namespace

RefusalSummary::RefusalSummary(Wording wording, LineWriter writeLine, int periodMs, QObject* parent)
    : QObject(parent), m_wording(std::move(wording)), m_writeLine(std::move(writeLine)),
      m_periodMs(periodMs) {
    m_timer.setInterval(std::max(1, periodMs / 4));
    connect(&m_timer, &QTimer::timeout, this, &RefusalSummary::tick);
}

RefusalSummary::~RefusalSummary() {
    for (auto it = m_periods.cbegin(); it != m_periods.cend(); ++it)
        if (it->total > 0)
            writeSummary(it.key(), *it);
}

void RefusalSummary::add(const QString& address, const QString& reason) {
    const auto found = m_periods.find(reason);
    if (found == m_periods.end()) {
        // The first after a quiet period: never hidden in a sum.
        m_writeLine(m_wording.single.arg(address, reason));
        m_periods[reason].started.start();
        if (!m_timer.isActive())
            m_timer.start();
        return;
    }
    Period& period = *found;
    ++period.total;
    if (period.perAddress.size() < MaxAddressesPerPeriod || period.perAddress.contains(address))
        ++period.perAddress[address];
    else
        period.addressesCut = true;
}

void RefusalSummary::tick() {
    for (auto it = m_periods.begin(); it != m_periods.end();) {
        if (it->started.elapsed() < m_periodMs) {
            ++it;
            continue;
        }
        if (it->total == 0) {
            it = m_periods.erase(it); // quiet: the next one is written at once
            continue;
        }
        writeSummary(it.key(), *it);
        *it = Period{};
        it->started.start();
        ++it;
    }
    if (m_periods.isEmpty())
        m_timer.stop();
}

void RefusalSummary::writeSummary(const QString& reason, const Period& period) {
    QString top;
    quint64 topCount = 0;
    for (auto it = period.perAddress.cbegin(); it != period.perAddress.cend(); ++it)
        if (it.value() > topCount) {
            top = it.key();
            topCount = it.value();
        }
    const qsizetype distinct = period.perAddress.size();
    const QString addresses = QStringLiteral("%1%2 %3").arg(
        QString::number(distinct), period.addressesCut ? QStringLiteral("+") : QString(),
        distinct == 1 && !period.addressesCut ? QStringLiteral("address")
                                              : QStringLiteral("addresses"));
    const double seconds = period.started.elapsed() / 1000.0;
    m_writeLine(m_wording.summary.arg(reason, QString::number(period.total),
                                      QString::number(seconds, 'f', 1), addresses, top,
                                      QString::number(topCount)));
}

} // namespace qm
