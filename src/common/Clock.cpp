#include "common/Clock.h"

#include <QThread>

#include <ctime>

namespace nvx {

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

qint64 SystemClock::ChronoMilliSec() const
{
    timespec ts{};
#ifdef CLOCK_BOOTTIME
    clock_gettime(CLOCK_BOOTTIME, &ts);
#else
    clock_gettime(CLOCK_MONOTONIC, &ts);
#endif
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void SystemClock::sleep(int ms)
{
    if (ms > 0)
        QThread::msleep(ulong(ms));
}

} // namespace nvx
