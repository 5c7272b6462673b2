#include "common/Lifecycle.h"

#include "common/Reporter.h"

namespace nvx {

Lifecycle::Lifecycle(QObject* parent) : QObject(parent) {}

Lifecycle::State Lifecycle::state() const
{
    if (closed_)
        return State::Closed;
    if (closing_)
        return State::Closing;
    if (starting_)
        return State::Starting;
    return activities_ > 0 ? State::Busy : State::Ready;
}

void Lifecycle::requestQuit()
{
    if (quitRequested_ || closing_ || closed_)
        return;
    const State before = state();
    quitRequested_ = true;
    if (reporter_ && (before == State::Starting || before == State::Busy))
        reporter_->trace(
            before == State::Starting
                ? QStringLiteral("Quit requested: it takes effect once start-up has returned")
                : QStringLiteral("Quit requested: it takes effect at the end of the running job"));
    settle(before);
}

void Lifecycle::startupEnded()
{
    const State before = state();
    starting_ = false;
    settle(before);
}

void Lifecycle::unloadStarted()
{
    const State before = state();
    closing_ = true;
    settle(before);
}

void Lifecycle::unloadFinished()
{
    const State before = state();
    closed_ = true;
    settle(before);
}

void Lifecycle::settle(State before)
{
    const State now = state();
    if (now != before)
        emit stateChanged(now);
    if (quitRequested_ && now == State::Ready)
        emit unloadDue();
}

Lifecycle::Activity::Activity(Lifecycle& lifecycle) : lifecycle_(lifecycle)
{
    const State before = lifecycle_.state();
    ++lifecycle_.activities_;
    lifecycle_.settle(before);
}

Lifecycle::Activity::~Activity()
{
    const State before = lifecycle_.state();
    --lifecycle_.activities_;
    lifecycle_.settle(before);
}

} // namespace nvx
