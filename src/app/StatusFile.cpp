#include "app/StatusFile.h"

#include "common/WholeFile.h"
#include "job/JobDriver.h"
#include "system/Systeme.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>

namespace nvx {

namespace {

QJsonArray hourList(const std::bitset<24>& heures)
{
    QJsonArray liste;
    for (int h = 0; h < 24; ++h)
        if (heures.test(size_t(h)))
            liste.append(h);
    return liste;
}

QString stamp(const QDateTime& moment)
{
    return moment.toString(Qt::ISODate);
}

} // namespace

void StatusFile::start(const QString& path, const QDateTime& debut, int instance)
{
    path_ = path;
    debut_ = debut;
    instance_ = instance;
    write();
}

void StatusFile::jobStarted(int queueLength)
{
    jobRunning_ = true;
    queueLength_ = queueLength;
    write();
}

void StatusFile::jobFinished(const QDateTime& fin, const JobResult& r, const QString& stationLib,
                             int queueLength)
{
    jobRunning_ = false;
    queueLength_ = queueLength;
    // A refused request names no station's hours.
    if (r.requestValid) {
        DayOutcome& jour = days_[{r.station, r.day}];
        jour.stationLib = stationLib;
        jour.fin = fin;
        jour.sent = (jour.sent & ~r.unsentHours) | r.sentHours;
        jour.unsent = (jour.unsent & ~r.sentHours) | r.unsentHours;
        if (!r.lastFailure.isEmpty())
            jour.lastFailure = r.lastFailure;
        else if (jour.unsent.none())
            jour.lastFailure.clear();
        forgetOldestDays();

        QJsonObject heures;
        for (int h = 0; h < 24; ++h)
            if (!r.missingReferences.at(size_t(h)).isEmpty())
                heures.insert(QString::number(h),
                              QJsonArray::fromStringList(r.missingReferences.at(size_t(h))));
        missingReferences_ = QJsonObject{{QStringLiteral("station"), r.station},
                                         {QStringLiteral("day"), r.day.toString(Qt::ISODate)},
                                         {QStringLiteral("hours"), heures}};
    }
    write();
}

void StatusFile::setPlatformConnected(bool connecte)
{
    if (platformConnected_ == connecte)
        return;
    platformConnected_ = connecte;
    write();
}

void StatusFile::forgetOldestDays()
{
    while (days_.size() > size_t(kMaxDays)) {
        auto oldest = days_.begin();
        for (auto it = days_.begin(); it != days_.end(); ++it)
            if (it->second.fin < oldest->second.fin)
                oldest = it;
        days_.erase(oldest);
    }
}

QJsonObject StatusFile::toJson() const
{
    QJsonArray jours;
    for (const auto& [cle, jour] : days_)
        jours.append(QJsonObject{{QStringLiteral("station"), cle.first},
                                 {QStringLiteral("stationName"), jour.stationLib},
                                 {QStringLiteral("day"), cle.second.toString(Qt::ISODate)},
                                 {QStringLiteral("finished"), stamp(jour.fin)},
                                 {QStringLiteral("sentHours"), hourList(jour.sent)},
                                 {QStringLiteral("unsentHours"), hourList(jour.unsent)},
                                 {QStringLiteral("lastFailure"), jour.lastFailure}});
    return QJsonObject{{QStringLiteral("version"), Systeme::VersionApplication()},
                       {QStringLiteral("instance"), instance_},
                       {QStringLiteral("pid"), QCoreApplication::applicationPid()},
                       {QStringLiteral("started"), stamp(debut_)},
                       {QStringLiteral("queueLength"), queueLength_},
                       {QStringLiteral("jobRunning"), jobRunning_},
                       {QStringLiteral("platformConnected"), platformConnected_},
                       {QStringLiteral("lastJobs"), jours},
                       {QStringLiteral("missingReferences"), missingReferences_}};
}

void StatusFile::write()
{
    if (path_.isEmpty())
        return;
    // Monitoring reads the file at any moment: a failed write leaves the previous one, and the
    // next change tries again.
    writeWholeFile(path_, QJsonDocument(toJson()).toJson(QJsonDocument::Indented), nullptr);
}

QString StatusFile::pathFor(const QString& applicationFolder, int instance)
{
    QString nom = QStringLiteral("VL3_Tools_NVX");
    if (instance != 0)
        nom += u'_' + QString::number(instance);
    return applicationFolder + QStringLiteral("/Settings/VL3_Tools_NVX/") + nom +
           QStringLiteral("_Status.json");
}

} // namespace nvx
