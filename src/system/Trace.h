#pragma once

#include "common/Reporter.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <array>

namespace nvx {

class Clock;
class Host;
class Systeme;
struct Identity;
class Lifecycle;

// The daily trace log. Lines are timestamped, carry two column codes and the time elapsed
// since the previous line, wait in memory and reach the day's ".Log" file in batches, and at the
// latest a second after they were traced. Lines
// flagged as incidents also go to the incident list, which keeps the last ones for a window
// opened later and announces each new one. Each day's file starts with a header
// (uptime, version, machine), and files older than 45 days are purged once a day.
class Trace final : public QObject, public Reporter {
    Q_OBJECT

public:
    // Lines pending while the log file cannot be written are bounded; past this the oldest go.
    static constexpr qsizetype kMaxPendingLines = 20000;
    // The incident list keeps this many lines, the last ones.
    static constexpr qsizetype kMaxIncidentLines = 1000;
    static constexpr int kPurgeDays = 45;

    struct TraceState {
        qint64 DernierChrono = 0;
        QString DernierJourEntete;
        QString DernierJourPurge;
        bool GestionErreurEnCours = false;
        qint32 DerniereErreurNumero = 0;
        QDateTime DerniereErreurDate;
        QString DerniereErreurDescription;
    };

    Trace(Clock& clock, Host& host, Identity& identity, const Lifecycle& lifecycle);

    // The system helpers used for the header, the purge and the error report.
    void attach(Systeme& systeme) { systeme_ = &systeme; }
    // Log folder of database base (suite form, ending with "\"); element 0 receives the files.
    void setLogFolder(int base, const QString& folder);
    QString logFolder(int base) const;
    // Text of the batch-size setting (lines written per batch); read numerically.
    void setBatchSizeText(const QString& text) { batchSizeText_ = text; }

    void TraceLog(qint16 base, qint16 colonne1, qint16 colonne2, const QString& texte, bool incident = false,
                  qint16 niveau = -1, bool ecritureAutorisee = true) override;
    void TraceLogEncadre(qint16 base, qint16 colonne1, qint16 colonne2, const QString& texte,
                         const QString& cadre, bool incident);
    // Writes liste to the day's log file and empties it. nomFichier is filled in when blank.
    void TraceLogForce(QStringList& liste, QString& nomFichier, bool jourPrecedent);
    // Writes the pending lines of ListeLog to the file of their day.
    void flush() override;
    void GestionDesErreurs(const QString& origine) override;
    // Flushes, lets the user pick a log file and opens it in the text viewer.
    void LectureLog(const QString& dossier, const QString& prefixe);

    TraceState EtatTrace;
    bool AlerteReboot45 = false;
    bool AlerteReboot48 = false;
    // Lines traced before the settings are loaded.
    QStringList ListeBis;
    // Lines waiting to be written to the file.
    QStringList ListeLog;
    // The main window's incident list, oldest first.
    QStringList ListeIncidents;
    // Empties the incident list ("Purger").
    void clearIncidents();

signals:
    void incidentAdded(const QString& ligne);
    void incidentsCleared();
    // A trapped error is being reported under "Module:Procedure".
    void errorReported(const QString& origine, qint32 numero, const QString& description);

private:
    void traceLine(qint16 colonne1, qint16 colonne2, const QString& texte, bool incident, qint16 niveau,
                   bool ecritureAutorisee);
    void appendPending(QStringList& liste, QString line);
    bool writeBatch(const QStringList& head, const QStringList& liste, qsizetype count,
                    const QString& nomFichier);
    QStringList headerLines();
    void purge(const QString& todayText);
    QString timing() const;

    Clock& clock_;
    Host& host_;
    Identity& identity_;
    const Lifecycle& lifecycle_;
    Systeme* systeme_ = nullptr;
    std::array<QString, 5> logFolders_;
    QString batchSizeText_ = QStringLiteral("200");
    // Day of the lines waiting in ListeLog: a line of another day first sends them to their file.
    QDate pendingDay_;
    // Pending lines reach the file within this time even when the batch is not full.
    QTimer flushTimer_;
    bool forcing_ = false;
    bool writeFailureReported_ = false;
    qint64 droppedLines_ = 0;
};

} // namespace nvx
