#include "common/Clock.h"
#include "common/ErrorTrap.h"
#include "common/Host.h"
#include "common/Identity.h"
#include "common/Lifecycle.h"
#include "common/NativePath.h"
#include "common/Reporter.h"
#include "system/Systeme.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace nvx {

namespace {

// Exit code the system gives a process that has not ended yet.
constexpr int kStillActive = 259;
constexpr int kPollMs = 10;

// The start-up entry shows the program as its installed desktop entry does: the same name, and
// the icon theme's icon the package installs, wherever the program itself lives.
constexpr QStringView kEntryName = u"Tools NVX";
constexpr QStringView kEntryIcon = u"vl3-tools-nvx";

QString shellErrorText(int result)
{
    switch (result) {
    case 0:
    case 8:
        return QStringLiteral("Dépassement de mémoire");
    case 2:
    case 3:
        return QStringLiteral("Chemin d'accès non trouvé");
    case 5:
    case 26:
        return QStringLiteral("Violation de partage: Erreur d'accès au Dossier/Fichier");
    case 11:
        return QStringLiteral("Cet exécutable est invalide ou corrompu");
    case 27:
    case 31:
        return QStringLiteral("Il n'y a aucune application associée à ce type de fichier");
    case 28:
        return QStringLiteral(
            "Le fichier ne peut être ouvert car le délai d'attente est dépassé. Réessayez plus tard");
    case 29:
        return QStringLiteral(
            "Le fichier ne peut être ouvert car la transaction DDE a échoué. Réessayez plus tard");
    case 30:
        return QStringLiteral(
            "Le fichier ne peut être ouvert car l'application est occupée. Réessayez plus tard");
    case 32:
        return QStringLiteral("Le fichier dll ne peut être trouvé");
    default:
        return QStringLiteral("Erreur à l'ouverture ou l'impression du fichier sélectionné");
    }
}

// A process that has ended but was not collected yet by its parent.
bool isZombie(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    // The state follows the command name, which is in brackets and may hold anything.
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0 || close + 2 >= line.size())
        return false;
    const char state = line.at(close + 2);
    return state == 'Z' || state == 'X';
}

// Exit code of the process, or kStillActive while it runs.
int pollProcess(pid_t pid)
{
    // A child of ours is looked at without being collected: the QProcess that started it
    // collects it and would otherwise lose its exit status.
    siginfo_t info{};
    if (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0) {
        if (info.si_pid == 0)
            return kStillActive;
        return info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
    }
    // Not our child (or already collected): it is gone once the system no longer knows it.
    if (::kill(pid, 0) != 0 && errno != EPERM)
        return 0;
    return isZombie(pid) ? 0 : kStillActive;
}

QString programPath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

// A value of a desktop entry: backslashes and control characters escaped.
QString desktopValue(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        if (c == u'\\')
            out += QStringLiteral("\\\\");
        else if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\r')
            out += QStringLiteral("\\r");
        else if (c == u'\t')
            out += QStringLiteral("\\t");
        else
            out += c;
    }
    return out;
}

// One argument of an Exec line, quoted so that blanks and special characters reach the program
// as they are; "%" would otherwise be taken for a field code.
QString execArgument(const QString& argument)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted += u'"';
    return desktopValue(quoted).replace(u'%', QStringLiteral("%%"));
}

} // namespace

int Systeme::ExecuterProgrammeExterne(const QString& verb, const QString& file, const QString& parameters,
                                      const QString& directory, int showMode)
{
    const QString origine = QStringLiteral("Lib_Systeme:ExecuterProgrammeExterne");
    int result = 0;
    trap(reporter_, origine, [&] {
        result = shell(verb, file, parameters, directory, showMode);
        if (result > 32)
            return;
        SavedError& e = reporter_.erreur;
        e = SavedError{};
        // Number 0 means "no error" to the report; the shell's 0 is the same shortage as 8.
        e.ErreurNumero = result == 0 ? 8 : result;
        e.ErreurDescription = shellErrorText(result);
        e.ErreurSource = file + QStringLiteral(".ExecuterProgrammeExterne");
        reporter_.GestionDesErreurs(origine);
    });
    return result;
}

int Systeme::AttenteFinProcessusExterne(qint64 processId, int timeoutMs)
{
    int code = 0;
    // 0 and negative ids name process groups to the system, never one process.
    if (processId <= 0 || processId > INT_MAX)
        return code;
    trap(reporter_, QStringLiteral("Lib_Systeme:AttenteFinProcessusExterne"), [&] {
        const pid_t pid = pid_t(processId);
        const qint64 start = clock_.ChronoMilliSec();
        for (;;) {
            code = pollProcess(pid);
            if (code != kStillActive || lifecycle_.PbBFermetureApplication())
                return;
            if (timeoutMs > 0 && clock_.ChronoMilliSec() - start > timeoutMs)
                return;
            if (timeoutMs >= 0)
                host_.pump();
            clock_.sleep(kPollMs);
        }
    });
    return code;
}

void Systeme::WaitOnDuration(int milliseconds)
{
    trap(reporter_, QStringLiteral("Lib_Systeme:WaitOnDuration"), [&] {
        const qint64 start = clock_.ChronoMilliSec();
        for (;;) {
            host_.pump();
            if (lifecycle_.PbBFermetureApplication())
                return;
            const qint64 left = milliseconds - (clock_.ChronoMilliSec() - start);
            if (left <= 0)
                return;
            clock_.sleep(int(std::min<qint64>(left, kPollMs)));
        }
    });
}

void Systeme::ShutdownWindows(int mode)
{
    trap(reporter_, QStringLiteral("Lib_Systeme:ShutdownWindows"), [&] {
        // The force flag (4) is always added, as on the original system; here it lets the
        // request go through even while another program holds an inhibitor lock.
        QStringList arguments;
        if (mode & 2)
            arguments = {QStringLiteral("reboot"), QStringLiteral("-i")};
        else if (mode & (1 | 8))
            arguments = {QStringLiteral("poweroff"), QStringLiteral("-i")};
        if (arguments.isEmpty()) {
            reporter_.trace(QStringLiteral("Warning: ShutdownWindows: mode ") + QString::number(mode) +
                            QStringLiteral(" not supported, nothing done"));
            return;
        }
        const QString program = QStringLiteral("systemctl");
        reporter_.trace(QStringLiteral("ShutdownWindows: mode ") + QString::number(mode) +
                        QStringLiteral(": ") + program + u' ' + arguments.join(u' '));
        const int exitCode =
            runCommand_ ? runCommand_(program, arguments) : QProcess::execute(program, arguments);
        if (exitCode != 0)
            reporter_.trace(QStringLiteral("Err: ShutdownWindows: ") + program + u' ' + arguments.join(u' ') +
                                QStringLiteral(" returned ") + QString::number(exitCode),
                            true);
    });
}

QString Systeme::autostartFolder() const
{
    if (!autostartFolder_.isEmpty())
        return autostartFolder_;
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart");
}

void Systeme::CreateShortCutStartUp(bool create, int waitMs, const QString& caller)
{
    trap(reporter_, QStringLiteral("Lib_Systeme:CreateShortCutStartUp"), [&] {
        const int wait = std::clamp(waitMs, 1000, 120000);
        const QString folder = autostartFolder();
        const QString entry = QDir(folder).filePath(QStringLiteral("Velmora - Tools NVX.desktop"));
        if (!create) {
            if (QFileInfo::exists(entry))
                File_Delete(SuitePath(entry), caller);
            return;
        }

        const QString program = programPath();
        const QString text = QStringLiteral("[Desktop Entry]\n"
                                            "Type=Application\n") +
                             QStringLiteral("Name=") + kEntryName + u'\n' +
                             QStringLiteral("Comment=Lancer le Tools NVX Velmora\n") +
                             QStringLiteral("Exec=") + execArgument(program) + QStringLiteral(" /Wait=") +
                             QString::number(wait) + u'\n' + QStringLiteral("Path=") +
                             desktopValue(QFileInfo(program).absolutePath()) + u'\n' +
                             QStringLiteral("Icon=") + kEntryIcon + u'\n';
        const QByteArray bytes = text.toUtf8();

        QDir().mkpath(folder);
        QSaveFile file(entry);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
            reporter_.trace(QStringLiteral("Err: Unable to create the shortcut: ") + entry +
                                QStringLiteral(" |Sub: ") + caller,
                            true);
    });
}

QString Systeme::FolderSelect(const QString& title, const QString& startFolder)
{
    QString chosen = QStringLiteral("*");
    trap(reporter_, QStringLiteral("Lib_Systeme:FolderSelect"), [&] {
        const QString caption =
            title.trimmed().isEmpty() ? QStringLiteral("Sélectionnez un dossier: ") : title;
        QString folder = host_.selectFolder(caption, startFolder);
        if (folder.trimmed().isEmpty())
            return;
        if (!folder.endsWith(u'\\'))
            folder += u'\\';
        chosen = folder;
    });
    return chosen;
}

} // namespace nvx
