#include "app/StatusCommand.h"

#include "app/InstanceLock.h"
#include "app/StatusFile.h"

#include <QDate>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace nvx {

namespace {

constexpr int kAllSent = 0;
constexpr int kHoursWait = 1;
constexpr int kNotRunning = 2;

QString hours(const QJsonArray& liste)
{
    QStringList texte;
    for (const QJsonValue& h : liste)
        texte << QStringLiteral("%1H").arg(h.toInt(), 2, 10, QLatin1Char('0'));
    return texte.isEmpty() ? QStringLiteral("aucune") : texte.join(u' ');
}

QString day(const QJsonValue& iso)
{
    return QDate::fromString(iso.toString(), Qt::ISODate).toString(QStringLiteral("dd/MM/yyyy"));
}

bool someHoursWait(const QJsonObject& etat)
{
    for (const QJsonValue& jour : etat.value(QStringLiteral("lastJobs")).toArray())
        if (!jour.toObject().value(QStringLiteral("unsentHours")).toArray().isEmpty())
            return true;
    return false;
}

void printJob(const QJsonObject& jour, QTextStream& out)
{
    out << "Station " << jour.value(QStringLiteral("station")).toInt() << " ("
        << jour.value(QStringLiteral("stationName")).toString() << "), "
        << day(jour.value(QStringLiteral("day")))
        << ": envoyées: " << hours(jour.value(QStringLiteral("sentHours")).toArray());
    const QJsonArray attente = jour.value(QStringLiteral("unsentHours")).toArray();
    if (!attente.isEmpty())
        out << "; non envoyées: " << hours(attente) << ": "
            << jour.value(QStringLiteral("lastFailure")).toString();
    out << Qt::endl;
}

void printMissingReferences(const QJsonObject& manques, QTextStream& out)
{
    const QJsonObject parHeure = manques.value(QStringLiteral("hours")).toObject();
    if (parHeure.isEmpty())
        return;
    out << "Références manquantes du dernier traitement (station "
        << manques.value(QStringLiteral("station")).toInt() << ", "
        << day(manques.value(QStringLiteral("day"))) << "):" << Qt::endl;
    for (auto it = parHeure.begin(); it != parHeure.end(); ++it)
        for (const QJsonValue& morceau : it.value().toArray())
            out << QStringLiteral("  %1H: ").arg(it.key().toInt(), 2, 10, QLatin1Char('0'))
                << morceau.toString() << Qt::endl;
}

void printForAPerson(const QJsonObject& etat, QTextStream& out)
{
    out << "Tools NVX " << etat.value(QStringLiteral("version")).toString() << ", instance "
        << etat.value(QStringLiteral("instance")).toInt() << ", processus "
        << etat.value(QStringLiteral("pid")).toInteger() << ", démarré le "
        << QDateTime::fromString(etat.value(QStringLiteral("started")).toString(), Qt::ISODate)
               .toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"))
        << Qt::endl;
    out << "Plateforme: "
        << (etat.value(QStringLiteral("platformConnected")).toBool() ? "connectée" : "non connectée")
        << "; file d'attente: " << etat.value(QStringLiteral("queueLength")).toInt() << " requête(s)"
        << (etat.value(QStringLiteral("jobRunning")).toBool() ? "; traitement en cours" : "") << Qt::endl;
    const QJsonArray jours = etat.value(QStringLiteral("lastJobs")).toArray();
    if (jours.isEmpty())
        out << "Aucun traitement depuis le démarrage" << Qt::endl;
    for (const QJsonValue& jour : jours)
        printJob(jour.toObject(), out);
    printMissingReferences(etat.value(QStringLiteral("missingReferences")).toObject(), out);
}

} // namespace

int runStatusCommand(const QString& applicationFolder, int instance, bool json, QTextStream& out)
{
    // The instance runs while its single-copy lock is held; a status file left by a copy that
    // was killed says nothing of the present.
    InstanceLock lock(applicationFolder, instance);
    if (lock.tryLock()) {
        if (json)
            out << QJsonDocument(QJsonObject{{QStringLiteral("running"), false},
                                             {QStringLiteral("instance"), instance}})
                       .toJson(QJsonDocument::Indented);
        else
            out << "Tools NVX: l'instance " << instance << " ne fonctionne pas (dossier " << applicationFolder
                << ")" << Qt::endl;
        return kNotRunning;
    }
    QFile fichier(StatusFile::pathFor(applicationFolder, instance));
    QJsonObject etat;
    if (fichier.open(QIODevice::ReadOnly))
        etat = QJsonDocument::fromJson(fichier.readAll()).object();
    etat.insert(QStringLiteral("running"), true);
    if (json)
        out << QJsonDocument(etat).toJson(QJsonDocument::Indented);
    else if (!etat.contains(QStringLiteral("started")))
        out << "Tools NVX: l'instance " << instance << " démarre (processus " << lock.ownerPid() << ")"
            << Qt::endl;
    else
        printForAPerson(etat, out);
    out.flush();
    return someHoursWait(etat) ? kHoursWait : kAllSent;
}

} // namespace nvx
