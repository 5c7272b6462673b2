#pragma once

#include "common/Clock.h"

namespace nvx::test {

// A clock that only moves when told to; sleep() advances it.
class FakeClock final : public Clock {
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2020, 2, 20), QTime(10, 0)), qint64 chrono = 3600000)
        : now_(start), chrono_(chrono)
    {
    }
    QDateTime now() const override { return now_; }
    qint64 ChronoMilliSec() const override { return chrono_; }
    void sleep(int ms) override { advance(ms); }

    void advance(qint64 ms)
    {
        now_ = now_.addMSecs(ms);
        chrono_ += ms;
    }
    void setNow(const QDateTime& t) { now_ = t; }
    void setChrono(qint64 ms) { chrono_ = ms; }

private:
    QDateTime now_;
    qint64 chrono_;
};

} // namespace nvx::test
