#include "system/Trace.h"

#include "common/Clock.h"
#include "common/DateHelpers.h"
#include "common/ErrorTrap.h"
#include "common/Host.h"
#include "common/Identity.h"
#include "common/Lifecycle.h"
#include "common/NativePath.h"
#include "common/PathText.h"
#include "common/TextHelpers.h"
#include "system/ShellExecute.h"
#include "system/Systeme.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace nvx {

namespace {

const QString kHeaderPrefix = QStringLiteral("==:==:==:====:=:=:=:");
const QString kHeaderRule = QStringLiteral("===========================================");
const QString kDropNotice =
    QStringLiteral("Warning: TraceLog: trace lines dropped while the log file could not be written: ");
constexpr qint32 kApplicationErrorBase = qint32(0x80040000u);
constexpr qint32 kAutomationDisconnected = qint32(0x80010108u);

#ifdef Q_OS_WIN
constexpr auto kLineEnd = "\r\n";
#else
constexpr auto kLineEnd = "\n";
#endif

} // namespace

Trace::Trace(Clock& clock, Host& host, Identity& identity, const Lifecycle& lifecycle)
    : clock_(clock), host_(host), identity_(identity), lifecycle_(lifecycle)
{
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(1000);
    QObject::connect(&flushTimer_, &QTimer::timeout, [this] {
        if (lifecycle_.SetupCharge())
            flush();
    });
}

void Trace::setLogFolder(int base, const QString& folder)
{
    if (base >= 0 && base < int(logFolders_.size()))
        logFolders_[size_t(base)] = folder;
}

QString Trace::logFolder(int base) const
{
    return (base >= 0 && base < int(logFolders_.size())) ? logFolders_[size_t(base)] : QString();
}

QString Trace::timing() const
{
    return systeme_ ? systeme_->TimingMilliSec() : clock_.now().toString(QStringLiteral("HH:mm:ss:zzz"));
}

void Trace::TraceLog(qint16 /*base*/, qint16 colonne1, qint16 colonne2, const QString& texte, bool incident,
                     qint16 niveau, bool ecritureAutorisee)
{
    if (lifecycle_.PbBFermetureApplication() && !lifecycle_.SetupCharge())
        return;
    trap(*this, QStringLiteral("Lib_Public:TraceLog"),
         [&] { traceLine(colonne1, colonne2, texte, incident, niveau, ecritureAutorisee); });
}

void Trace::traceLine(qint16 colonne1, qint16 colonne2, const QString& texte, bool incident, qint16 niveau,
                      bool ecritureAutorisee)
{
    const int base = identity_.BaseCourante;
    if (texte.trimmed().isEmpty())
        return;

    QString line = timing() + QStringLiteral(" :");
    if (colonne1 == -2 && colonne2 == -2) {
        line += QStringLiteral("Debug:");
    } else {
        line += colonne1 < 0 ? QStringLiteral(" :") : QString::number(colonne1) + u':';
        if (colonne2 < 0)
            line += QStringLiteral(" :");
        else if (colonne2 <= 9)
            line += QString::number(colonne2) + u':';
        else
            line += QChar(char16_t(colonne2 + 55)) + QStringLiteral(":");
    }

    const qint64 now = clock_.ChronoMilliSec();
    if (EtatTrace.DernierChrono <= 0) {
        line += QStringLiteral("    :");
    } else {
        const qint64 d = now - EtatTrace.DernierChrono;
        if (d > 9999)
            line += QStringLiteral("xxxx:");
        else if (d <= 20)
            line += QStringLiteral("    :");
        else
            line += QString::number(d).rightJustified(4, u' ') + u':';
    }
    EtatTrace.DernierChrono = now;

    if (lifecycle_.SetupCharge()) {
        const QDate today = clock_.now().date();
        if (!ListeLog.isEmpty() && pendingDay_.isValid() && pendingDay_ != today && ecritureAutorisee)
            flush();
        if (!ListeBis.isEmpty()) {
            ListeLog.append(ListeBis);
            ListeBis.clear();
        }
        if (ListeLog.isEmpty()) {
            line[0] = u'*';
            pendingDay_ = today;
        }
        appendPending(ListeLog, line + texte);
        if (!flushTimer_.isActive())
            flushTimer_.start();
    } else {
        if (ListeBis.isEmpty())
            line[0] = u'*';
        appendPending(ListeBis, line + texte);
    }

    if (incident || niveau >= 0) {
        // A window opened later shows the last ones.
        while (ListeIncidents.size() >= kMaxIncidentLines)
            ListeIncidents.removeFirst();
        QString shown = texte.trimmed();
        while (shown.startsWith(u':'))
            shown = shown.mid(1).trimmed();
        const QString incidentLine = clock_.now().toString(QStringLiteral("dd/MM")) + u' ' + line + shown;
        ListeIncidents.append(incidentLine);
        emit incidentAdded(incidentLine);
        if (lifecycle_.SetupCharge() && ecritureAutorisee)
            flush();
    }

    if (lifecycle_.SetupCharge() && !logFolder(base).trimmed().isEmpty() && ecritureAutorisee &&
        vbVal(batchSizeText_) <= double(ListeLog.size()))
        flush();
}

// Keeps a pending list within its bound: the oldest lines go, and one line at the head says
// how many were dropped in all.
void Trace::appendPending(QStringList& liste, QString line)
{
    liste.append(std::move(line));
    if (liste.size() <= kMaxPendingLines)
        return;
    if (liste.first().contains(kDropNotice))
        liste.removeFirst();
    const qsizetype excess = liste.size() - (kMaxPendingLines - kMaxPendingLines / 20);
    liste.remove(0, excess);
    droppedLines_ += excess;
    liste.prepend(timing() + QStringLiteral(" : :    :") + kDropNotice + QString::number(droppedLines_));
}

void Trace::TraceLogEncadre(qint16 base, qint16 colonne1, qint16 colonne2, const QString& texte,
                            const QString& cadre, bool incident)
{
    const QString frame = cadre.isEmpty() ? QString() : QString(texte.size(), cadre[0]);
    TraceLog(base, colonne1, colonne2, frame);
    TraceLog(base, colonne1, colonne2, texte, incident);
    TraceLog(base, colonne1, colonne2, frame);
}

void Trace::flush()
{
    // Lines of a day gone by go to that day's file, not to the new day's.
    const bool veille = !ListeLog.isEmpty() && pendingDay_.isValid() && pendingDay_ < clock_.now().date();
    QString nom = veille ? D2S(pendingDay_) : QString();
    TraceLogForce(ListeLog, nom, veille);
    if (ListeLog.isEmpty())
        flushTimer_.stop();
}

void Trace::TraceLogForce(QStringList& liste, QString& nomFichier, bool jourPrecedent)
{
    // An incident traced while the batch is written (the uptime warnings, an error report)
    // must not start a second write; its line waits in the list.
    if (forcing_)
        return;
    forcing_ = true;
    trap(*this, QStringLiteral("Lib_Public:TraceLogForce"), [&] {
        const QDateTime now = clock_.now();
        const QDateTime day = jourPrecedent ? now.addDays(-1) : now;
        const QString dayText = Date2StringEx(day, identity_.FormatDate);
        if (liste.isEmpty() && dayText == EtatTrace.DernierJourEntete)
            return;
        if (nomFichier.trimmed().isEmpty())
            nomFichier = D2S(day.date());
        if (logFolder(0).trimmed().isEmpty())
            return; // no log folder yet: the lines wait for one
        const bool header = dayText != EtatTrace.DernierJourEntete;
        QStringList head;
        if (header)
            head = headerLines();
        // Lines traced while the batch is written (the uptime warnings, an error report) stay
        // in the list for the next batch: only the lines written are removed.
        const qsizetype count = liste.size();
        if (writeBatch(head, liste, count, nomFichier)) {
            liste.remove(0, count);
            writeFailureReported_ = false;
            if (header)
                EtatTrace.DernierJourEntete = dayText;
        }
        purge(Date2StringEx(now, identity_.FormatDate));
    });
    forcing_ = false;
}

bool Trace::writeBatch(const QStringList& head, const QStringList& liste, qsizetype count,
                       const QString& nomFichier)
{
    const QString path = NativePath(logFolder(0) + nomFichier + QStringLiteral(".Log"));
    QFile file(path);
    bool opened = file.open(QIODevice::WriteOnly | QIODevice::Append);
    if (!opened) {
        // The folder may have been removed under us: recreate it and try again.
        QDir().mkpath(QFileInfo(path).absolutePath());
        opened = file.open(QIODevice::WriteOnly | QIODevice::Append);
    }
    bool written = false;
    if (opened) {
        QByteArray out;
        out.reserve((head.size() + count) * 100);
        for (const QString& l : head)
            out += l.toUtf8() + kLineEnd;
        for (qsizetype i = 0; i < count; ++i)
            out += liste[i].toUtf8() + kLineEnd;
        written = file.write(out) == out.size() && file.flush();
        file.close();
    }
    if (written)
        return true;
    // Reported once until a batch gets through again, so a lost disk does not flood the list.
    if (!writeFailureReported_) {
        writeFailureReported_ = true;
        erreur = SavedError{75, 0, QStringLiteral("Path/File access error: ") + file.errorString(), path};
        GestionDesErreurs(QStringLiteral("Lib_Public:TraceLogForce"));
    }
    return false;
}

QStringList Trace::headerLines()
{
    const qint64 s = clock_.ChronoMilliSec() / 1000;
    qint64 minutes = s / 60;
    const qint64 seconds = s % 60;
    qint64 hours = 0;
    qint64 days = 0;
    if (minutes >= 60) {
        hours = minutes / 60;
        minutes %= 60;
    }
    if (hours > 23) {
        days = hours / 24;
        hours %= 24;
    }
    QString uptime;
    if (days >= 1)
        uptime =
            QString::number(days) + QStringLiteral(" D ") + QString::number(hours) + QStringLiteral(" H ");
    else if (hours > 0)
        uptime = QString::number(hours) + QStringLiteral(" H ");
    uptime += QString::number(minutes) + QStringLiteral(" Min ") + QString::number(seconds) +
              QStringLiteral(" Sec");
    if (days >= 46 && !AlerteReboot45) {
        AlerteReboot45 = true;
        TraceLog(-1, -1, -1, QStringLiteral("Reboot needed because computer started since more 45 days"),
                 true, 0);
    }
    if (days > 48 && !AlerteReboot48) {
        AlerteReboot48 = true;
        TraceLog(-1, -1, -1, QStringLiteral("Reboot needed because computer started since more 48 days"),
                 true, 0);
    }

    QString theme = QStringLiteral("WinClassic");
    QString version, computer, os;
    if (systeme_) {
        QString value;
        if (systeme_->Reg_GetValue(
                0, QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\ThemeManager"),
                QStringLiteral("ThemeActive"), value) == 0 &&
            vbVal(value) != 0)
            theme = QStringLiteral("WinXP");
        version = systeme_->VersionApplication();
        computer = systeme_->ComputerName();
        os = systeme_->GetOSDisplayString();
    }
#ifdef Q_OS_WIN
    const QString exe = identity_.NomExecutable + QStringLiteral(".exe");
#else
    const QString exe = identity_.NomExecutable;
#endif
    return {kHeaderPrefix + kHeaderRule,
            kHeaderPrefix + QStringLiteral("System started since ") + uptime,
            kHeaderPrefix + QStringLiteral("App.Version: ") + version,
            kHeaderPrefix + QStringLiteral("App.ExeName: ") + identity_.DossierApplication + exe,
            kHeaderPrefix + QStringLiteral("App.ProductName: ") + identity_.NomProduit,
            kHeaderPrefix + QStringLiteral("Computer.Name: ") + computer,
            kHeaderPrefix + QStringLiteral("ActiveTheme: ") + theme,
            kHeaderPrefix + QStringLiteral("Operating System: ") + os,
            kHeaderPrefix + kHeaderRule};
}

void Trace::purge(const QString& todayText)
{
    if (todayText == EtatTrace.DernierJourPurge)
        return;
    const QString folder = logFolder(0);
    const QString limit = D2S(clock_.now().date().addDays(-kPurgeDays));
    QDir dir(NativePath(folder));
    const QStringList names =
        dir.entryList({QStringLiteral("*.Log")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const EclatementChemin parts = EclateRepFicExt(name);
        if (parts.FicEclate < limit) {
            if (systeme_)
                systeme_->File_Delete(folder + name, QStringLiteral("TraceLogForce"));
            else
                QFile::remove(dir.filePath(name));
        }
    }
    EtatTrace.DernierJourPurge = todayText;
}

void Trace::GestionDesErreurs(const QString& origine)
{
    if (lifecycle_.PbBFermetureApplication() || EtatTrace.GestionErreurEnCours)
        return;
    emit errorReported(origine, erreur.ErreurNumero, erreur.ErreurDescription);
    EtatTrace.GestionErreurEnCours = true;
    try {
        qint32 n = erreur.ErreurNumero;
        QString d = erreur.ErreurDescription;
        const qint64 offset = qint64(n) - qint64(kApplicationErrorBase);
        const bool applicationDefined = offset > 0 && offset < 0xFFFF;
        if (applicationDefined)
            n = qint32(offset);
        if (n != 0) {
            if (d.size() > 100)
                d.replace(QStringLiteral(". "), QStringLiteral("\n "));
            QString report = QStringLiteral("Err: ") + QString::number(n) + QStringLiteral(" (") + d + u')';
            if (!origine.trimmed().isEmpty())
                report +=
                    QStringLiteral("\n\nSource:") + origine + u':' + QString::number(erreur.ErreurLigne);
            if (applicationDefined && !erreur.ErreurSource.trimmed().isEmpty())
                report += QStringLiteral("\n(Source: ") + erreur.ErreurSource + u')';
            report.replace(u'\n', u' ');
            TraceLogEncadre(-1, -1, -1, report, QStringLiteral("="), true);
            if (n == kAutomationDisconnected) {
                TraceLogEncadre(-1, -1, -1, QStringLiteral("Reboot the Computer because of Automation Error"),
                                QStringLiteral(" = "), true);
                if (systeme_) {
                    systeme_->CreateShortCutStartUp(true, 10000,
                                                    QStringLiteral("Lib_Public:GestionDesErreurs"));
                    systeme_->ShutdownWindows(2);
                }
            }
        }
        EtatTrace.DerniereErreurNumero = n;
        EtatTrace.DerniereErreurDate = clock_.now();
        EtatTrace.DerniereErreurDescription = d;
        host_.pump();
    } catch (...) {
        // Reporting never fails its caller.
    }
    EtatTrace.GestionErreurEnCours = false;
}

void Trace::clearIncidents()
{
    ListeIncidents.clear();
    emit incidentsCleared();
}

void Trace::LectureLog(const QString& dossier, const QString& prefixe)
{
    trap(*this, QStringLiteral("Lib_Public:LectureLog"), [&] {
        flush();
        const QString proposed = dossier + prefixe + D2S(clock_.now().date()) + QStringLiteral(".Log");
        const QString chosen = host_.selectOpenFile(dossier, QStringLiteral("Logs|*.log"), proposed);
        if (chosen.trimmed().isEmpty())
            return;
        if (systeme_)
            systeme_->ExecuterProgrammeExterne(QStringLiteral("open"), chosen);
        else
            shellExecuteNative(QStringLiteral("open"), chosen, {}, dossier);
    });
}

} // namespace nvx
