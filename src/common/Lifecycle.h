#pragma once

#include <QObject>

namespace nvx {

class Reporter;

// The program's state from start to end, and the one guarded way to quit. Every way to quit
// (a signal, the quit question, the close box, the menu, the tray) asks here; a quit asked
// while the program starts, runs a job or connects to the platform takes effect once that work
// has returned, so nothing closes the record files under a running export.
class Lifecycle : public QObject {
    Q_OBJECT

public:
    enum class State { Starting, Ready, Busy, Closing, Closed };
    Q_ENUM(State)

    explicit Lifecycle(QObject* parent = nullptr);
    // Where the quit is traced; the trace log is built after the lifecycle, which it reads.
    void setReporter(Reporter& reporter) { reporter_ = &reporter; }

    State state() const;
    // A job or a platform connect is in progress.
    bool busy() const { return activities_ > 0; }
    // A quit was asked: exchanges in progress end, no new request is taken.
    bool quitRequested() const { return quitRequested_; }
    // The unload has begun: waits end, nothing new starts.
    bool PbBFermetureApplication() const { return closing_ || closed_; }
    // The start-up sequence runs.
    bool PbBInModeLoadingFrmMain() const { return starting_; }
    // The settings are loaded, from their load to their unload: the trace may write its files.
    bool SetupCharge() const { return setupCharge_; }
    void setSetupCharge(bool charge) { setupCharge_ = charge; }

    // The one entry point of every way to quit.
    void requestQuit();
    // Start-up has returned (whether it succeeded or stopped); a quit asked meanwhile goes ahead.
    void startupEnded();
    // The unload has begun, then is done.
    void unloadStarted();
    void unloadFinished();

    // Marks work in progress for its lifetime: a job, or a connect to the platform. Nested
    // activities count once; the quit waits for the outermost to end.
    class Activity {
    public:
        explicit Activity(Lifecycle& lifecycle);
        ~Activity();
        Activity(const Activity&) = delete;
        Activity& operator=(const Activity&) = delete;

    private:
        Lifecycle& lifecycle_;
    };

signals:
    void stateChanged(nvx::Lifecycle::State state);
    // A quit may take effect now: the owner of the unload runs it.
    void unloadDue();

private:
    // Emits what changed and, when a quit waits and nothing holds it any more, unloadDue.
    void settle(State before);

    Reporter* reporter_ = nullptr;
    bool setupCharge_ = false;
    int activities_ = 0;
    bool starting_ = true;
    bool quitRequested_ = false;
    bool closing_ = false;
    bool closed_ = false;
};

} // namespace nvx
