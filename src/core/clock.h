#pragma once

#include <QDateTime>

namespace qm {

// The wall clock, behind a seam so tests can set the time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0; // local time, to the second or finer
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

} // namespace qm
