#pragma once

#include <QDateTime>

namespace nvx {

// Source of the current time and of the millisecond tick. Tests inject a fake so that elapsed
// fields, expiries and waits run without sleeping.
class Clock {
public:
    virtual ~Clock() = default;
    // Local date and time.
    virtual QDateTime now() const = 0;
    // Milliseconds since the machine started.
    virtual qint64 ChronoMilliSec() const = 0;
    // Blocks for ms milliseconds (a fake clock advances instead).
    virtual void sleep(int ms) = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override;
    qint64 ChronoMilliSec() const override;
    void sleep(int ms) override;
};

} // namespace nvx
