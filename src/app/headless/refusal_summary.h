#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTimer>

#include <functional>

namespace qm {

// Log lines for refusals, summed per reason: the first of a reason after a
// quiet second is written at once with its address; what follows within the
// second is written as one line when the second is over (the count, the
// number of addresses and the address seen most), so a flood writes a line a
// second per reason instead of one per connection.
class RefusalSummary : public QObject {
    Q_OBJECT
public:
    struct Wording {
        // "client %1 refused: %2" (address, reason)
        QString single;
        // "clients refused (%1): %2 in %3 s from %4, most from %5 (%6)"
        QString summary;
    };
    using LineWriter = std::function<void(const QString& line)>;

    RefusalSummary(Wording wording, LineWriter writeLine, int periodMs = 1000,
                   QObject* parent = nullptr);
    ~RefusalSummary() override; // writes what is still summed

    void add(const QString& address, const QString& reason);

private:
    struct Period {
        QElapsedTimer started;
        quint64 total = 0;
        QHash<QString, quint64> perAddress; // bounded: see add()
        bool addressesCut = false;
    };
    void tick();
    void writeSummary(const QString& reason, const Period& period);

    Wording m_wording;
    LineWriter m_writeLine;
    int m_periodMs;
    QHash<QString, Period> m_periods; // reasons heard from in the current period
    QTimer m_timer;
};

} // namespace qm
