#include "common/ErrorTrap.h"
#include "common/NativePath.h"
#include "common/PathText.h"
#include "common/Reporter.h"
#include "system/Systeme.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <sys/statvfs.h>

namespace nvx {

namespace {

// Folder names are compared as the suite's file system does: without regard to case.
QString folderKey(const QString& folder)
{
    return folder.toCaseFolded();
}

// Index of the first character after which levels may be created: past "C:\" for a drive, past
// "\\server\share\" for a network path (neither a server nor a share can be made by us).
qsizetype firstCreatableLevel(const QString& folder)
{
    if (!folder.startsWith(QStringLiteral("\\\\")))
        return 3;
    const qsizetype afterServer = folder.indexOf(u'\\', 2);
    const qsizetype afterShare = afterServer < 0 ? -1 : folder.indexOf(u'\\', afterServer + 1);
    return afterShare < 0 ? folder.size() : afterShare + 1;
}

void traceFramed(Reporter& reporter, const QString& text, QChar frame)
{
    const QString line(text.size(), frame);
    reporter.trace(line);
    reporter.trace(text);
    reporter.trace(line);
}

bool yes(const QString& value)
{
    const QString v = value.trimmed().toLower();
    return v == u"yes" || v == u"true" || v == u"1";
}

} // namespace

void Systeme::VerificationEtCreationRepertoire(const QString& folder, bool reportFailure)
{
    trap(reporter_, QStringLiteral("Lib_Systeme:VerificationEtCreationRepertoire"), [&] {
        const QString cleaned = CheckRep(NettoieNomDeDossier(folder));
        if (cleaned.isEmpty())
            return;
        const QString key = folderKey(cleaned);
        if (key == lastVerifiedFolder_ || existingFolders_.contains(key))
            return;

        for (qsizetype i = firstCreatableLevel(cleaned); i < cleaned.size(); ++i) {
            if (cleaned[i] != u'\\')
                continue;
            const QString level = NativePath(cleaned.left(i));
            if (!QFileInfo(level).isDir())
                QDir().mkdir(level);
            if (!QFileInfo(level).isDir())
                break; // nothing below a missing level can be made
        }

        if (QFileInfo(NativePath(cleaned)).isDir()) {
            existingFolders_.insert(key);
        } else if (!cleaned.chopped(1).endsWith(u'$') && !failedFolders_.contains(key)) {
            // An administrative share ("\\server\c$") is only reachable with rights we may lack;
            // it is not worth a line. Any other folder is reported once for the whole run.
            failedFolders_.insert(key);
            if (reportFailure)
                reporter_.trace(QStringLiteral("Folder '") + cleaned + QStringLiteral("' not found"));
        }
        lastVerifiedFolder_ = key;
    });
}

bool Systeme::FolderFound(QString& folder, bool create)
{
    bool found = false;
    trap(reporter_, QStringLiteral("Lib_Systeme:FolderFound"), [&] {
        if (folder.trimmed().isEmpty()) {
            // The suite's configuration sits in "Config\" beside its registered menu program.
            QString program;
            const int status = Reg_GetValue(
                HKEY_LOCAL_MACHINE,
                QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\VL3_Menu.exe"),
                QString(), program);
            program = SuitePath(program.trimmed().remove(u'"'));
            const QString installation = status == 0 ? EclateRepFicExt(program).RepEclate : QString();
            folder = installation.isEmpty() ? QStringLiteral("C:\\Merovax\\Velmora\\Config\\")
                                            : installation + QStringLiteral("Config\\");
        }
        const QString key = folderKey(CheckRep(NettoieNomDeDossier(folder)));
        if (existingFolders_.contains(key)) {
            found = true;
            return;
        }
        found = QFileInfo(NativePath(folder)).isDir();
        if (!found && create) {
            VerificationEtCreationRepertoire(folder, true);
            found = QFileInfo(NativePath(folder)).isDir();
        }
        if (found)
            existingFolders_.insert(key);
    });
    return found;
}

QList<Systeme::Share> Systeme::SambaDiskShares(const QString& configFile)
{
    QList<Share> shares;
    QFile file(configFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return shares;

    QString section;
    Share current;
    bool printable = false;
    bool available = true;
    const auto flush = [&] {
        const QString name = section.toLower();
        // "homes" and paths with substitutions depend on who connects; they are no fixed folder.
        if (!section.isEmpty() && name != u"global" && name != u"homes" && !printable && available &&
            !current.path.isEmpty() && !current.path.contains(u'%')) {
            current.name = section;
            shares.append(current);
        }
        current = Share{};
        printable = false;
        available = true;
    };

    QString pending;
    while (!file.atEnd()) {
        QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.endsWith(u'\\')) { // continued on the next line
            pending += line.chopped(1);
            continue;
        }
        line = QString(pending + line).trimmed();
        pending.clear();
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            flush();
            const qsizetype close = line.indexOf(u']');
            section = (close < 0 ? line.mid(1) : line.mid(1, close - 1)).trimmed();
            continue;
        }
        const qsizetype equal = line.indexOf(u'=');
        if (equal < 0)
            continue;
        const QString option = line.left(equal).remove(u' ').toLower();
        const QString value = line.mid(equal + 1).trimmed();
        if (option == u"path" || option == u"directory")
            current.path = value;
        else if (option == u"printable" || option == u"printok")
            printable = yes(value);
        else if (option == u"available")
            available = yes(value);
    }
    flush();
    return shares;
}

QString Systeme::ChangeUNCFolder2LocalFolder(const QString& uncFolder, const QString& computerName)
{
    QString result = uncFolder;
    trap(reporter_, QStringLiteral("Lib_Systeme:ChangeUNCFolder2LocalFolder"), [&] {
        const QList<Share> shares =
            listShares_ ? listShares_() : SambaDiskShares(QStringLiteral("/etc/samba/smb.conf"));
        traceFramed(reporter_, QStringLiteral("Shared Paths List |UNC Path to Change: ") + uncFolder, u'=');
        for (qsizetype i = 0; i < shares.size(); ++i) {
            reporter_.trace(QStringLiteral("%1 %2: %3")
                                .arg(i, 2, 10, QLatin1Char('0'))
                                .arg(shares[i].name, shares[i].path));
        }
        for (qsizetype i = 0; i < shares.size(); ++i) {
            const QString prefix = QStringLiteral("\\\\") + computerName + u'\\' + shares[i].name + u'\\';
            if (!uncFolder.startsWith(prefix, Qt::CaseInsensitive))
                continue;
            const QString local = CheckRep(SuitePath(shares[i].path)) + uncFolder.mid(prefix.size());
            reporter_.trace(QStringLiteral(": UNC: Local Path found: ") +
                            QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0')));
            if (QFileInfo::exists(NativePath(local))) {
                reporter_.trace(QStringLiteral(": UNC: Path change from: ") + uncFolder +
                                QStringLiteral(" to: ") + local);
                result = local;
                return;
            }
        }
    });
    return result;
}

double Systeme::EspaceLibreDisque(const QString& root)
{
    double freeBytes = 0;
    trap(reporter_, QStringLiteral("Lib_Systeme:EspaceLibreDisque"), [&] {
        if (root.trimmed().isEmpty())
            return;
        struct statvfs info {};
        const QByteArray native = QFile::encodeName(NativePath(root.trimmed()));
        // Space available to this user, as the suite's system counts free clusters.
        if (::statvfs(native.constData(), &info) == 0)
            freeBytes = double(info.f_bavail) * double(info.f_frsize);
    });
    return freeBytes;
}

QString Systeme::LibSize(double size)
{
    static const char16_t* const units[] = {u" o",  u" Ko", u" Mo", u" Go", u" To",
                                            u" Po", u" Eo", u" Zo", u" Yo"};
    QString text;
    trap(reporter_, QStringLiteral("Lib_Systeme:LibSize"), [&] {
        qsizetype unit = 0;
        while (size >= 1024 && unit + 1 < qsizetype(std::size(units))) {
            size /= 1024;
            ++unit;
        }
        // Grouped thousands with two decimals, in the separators of the user's locale.
        QLocale locale;
        locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
        text = locale.toString(size, 'f', 2) + QString::fromUtf16(units[unit]);
    });
    return text;
}

} // namespace nvx
