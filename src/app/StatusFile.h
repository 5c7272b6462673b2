#pragma once

#include <QDate>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <bitset>
#include <map>
#include <utility>

namespace nvx {

struct JobResult;

// What a running instance tells the monitoring: a small JSON file in its settings folder,
// written whole at start, when a job starts and ends and when the platform connection changes.
// It holds the start time, the version, the last outcome of each station and day (hours sent,
// hours still waiting, the last failure), the songs of the last job whose references the
// database lacks, the request queue's length and the platform connection state.
class StatusFile {
public:
    // Days kept: the oldest outcomes go beyond this, so months of jobs do not grow the file.
    static constexpr int kMaxDays = 100;

    // From here on every change is written to path (native form).
    void start(const QString& path, const QDateTime& debut, int instance);
    bool started() const { return !path_.isEmpty(); }
    QString path() const { return path_; }

    void jobStarted(int queueLength);
    // The hours a job sent clear their earlier failures; those it did not send join the waiting ones.
    void jobFinished(const QDateTime& fin, const JobResult& resultat, const QString& stationLib,
                     int queueLength);
    void setPlatformConnected(bool connecte);

    QJsonObject toJson() const;
    // Where an instance of the application folder (native form) keeps its status.
    static QString pathFor(const QString& applicationFolder, int instance);

private:
    struct DayOutcome {
        QString stationLib;
        QDateTime fin;
        std::bitset<24> sent;
        std::bitset<24> unsent;
        QString lastFailure;
    };
    void write();
    void forgetOldestDays();

    QString path_;
    QDateTime debut_;
    int instance_ = 0;
    int queueLength_ = 0;
    bool jobRunning_ = false;
    bool platformConnected_ = false;
    std::map<std::pair<int, QDate>, DayOutcome> days_;
    QJsonObject missingReferences_;
};

} // namespace nvx
