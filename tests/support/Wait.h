#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>

namespace nvx::test {

// Runs the event loop until done() holds; false once limitMs has passed without it. The limit
// only bounds a failing test: a passing one returns as soon as its event has come. A ticking
// timer wakes the loop so that the bound holds even when nothing else arrives.
inline bool waitFor(const std::function<bool()>& done, int limitMs = 5000)
{
    QTimer tick;
    tick.start(10);
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.hasExpired(limitMs))
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace nvx::test
