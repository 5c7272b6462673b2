#pragma once

#include <QObject>

class QSocketNotifier;

namespace nvx {

// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal delivered on the event loop, where the unload can
// run safely.
class SignalWatcher : public QObject {
    Q_OBJECT

public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

signals:
    void terminationRequested(int signalNumber);

private:
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace nvx
