#pragma once

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

namespace nvx {

class IniFile;

class Reporter;
class Clock;
class Host;
struct Identity;
class Lifecycle;

// Operating-system helpers: files, folders, registry, processes and system information.
// Every path given to them is in the suite's form and goes through NativePath. Each helper
// traps its own failures, reports them through the reporter and returns its neutral result.
class Systeme {
public:
    // Registry roots as the system numbers them; 0 means the default root (the current user).
    static constexpr quint32 HKEY_CLASSES_ROOT = 0x80000000u;
    static constexpr quint32 HKEY_CURRENT_USER = 0x80000001u;
    static constexpr quint32 HKEY_LOCAL_MACHINE = 0x80000002u;
    static constexpr int REG_SZ = 1;
    static constexpr int REG_EXPAND_SZ = 2;
    static constexpr int REG_DWORD = 4;

    // Runs an external command (used for the system restart); returns its exit code.
    using CommandRunner = std::function<int(const QString& program, const QStringList& arguments)>;
    // A disk share of this computer: its name and local folder.
    struct Share {
        QString name;
        QString path;
    };
    using ShareLister = std::function<QList<Share>()>;

    Systeme(Reporter& reporter, Clock& clock, Host& host, Identity& identity, const Lifecycle& lifecycle);

    // Opens a document or starts a program the way the desktop shell does; returns a shell
    // result code (greater than 32 on success). Tests put a double in its place.
    std::function<int(const QString& verb, const QString& file, const QString& parameters,
                      const QString& directory, int showMode)>
        shell;

    // Files
    bool File_Exist(const QString& path, const QString& caller = {}, bool requireNonEmpty = false);
    qint64 TailleDuFichier(const QString& path);
    bool File_Copy(const QString& source, const QString& target, int extraFlags = 0,
                   const QString& progressTitle = {});
    bool File_Delete(const QString& path, const QString& caller = {});
    void File_RemoveFlag(const QString& path);
    // Local date and time of a file (last access or last write); a file that cannot be opened
    // is read through a copy in dossierLocal when that is set.
    QDateTime DateModificationFichier(const QString& dossierLocal, const QString& path, bool accessTime);
    // Size (low 32 bits) of the file last read by DateModificationFichier.
    quint32 DerniereTailleFichier = 0;

    // Folders
    void VerificationEtCreationRepertoire(const QString& folder, bool reportFailure = true);
    bool FolderFound(QString& folder, bool create = false);
    // Shares come from the share lister when one is set, else from the Samba configuration.
    QString ChangeUNCFolder2LocalFolder(const QString& uncFolder, const QString& computerName);
    // Disk shares declared in a Samba configuration file: sections with a fixed path that are
    // neither printers nor the per-user "homes".
    static QList<Share> SambaDiskShares(const QString& configFile);
    double EspaceLibreDisque(const QString& driveRoot);
    QString LibSize(double size);

    // Registry, kept in INI files beside the suite configuration where there is no registry.
    // Both return 0 or the registry's error number (2 no such value, 6 unknown root, 1010 empty
    // key path). Type REG_DWORD is read and written as decimal text.
    int Reg_GetValue(quint32 root, const QString& keyPath, const QString& valueName, QString& value);
    int Reg_SetValue(quint32 root, const QString& keyPath, const QString& valueName, const QString& value,
                     int type = REG_SZ);
    // Several text values of one key, written together.
    int Reg_SetValues(quint32 root, const QString& keyPath, const QList<QPair<QString, QString>>& values);

    // Processes
    int ExecuterProgrammeExterne(const QString& verb, const QString& file, const QString& parameters = {},
                                 const QString& directory = {}, int showMode = 1);
    // Exit code of the process, or 259 when the wait ended first. Time-out -1 waits without
    // letting events run, 0 lets them run without limit, more stops after that many ms; every
    // wait ends when the application closes.
    int AttenteFinProcessusExterne(qint64 processId, int timeoutMs);
    // Lets events run until the duration has passed or the application closes.
    void WaitOnDuration(int milliseconds);

    // Time and system information
    QString TimingMilliSec() const;
    qint64 ChronoMilliSec() const;
    QString ComputerName() const;
    QString GetHostName() const;
    qint64 GetMemoryUsage() const;
    QString GetOSDisplayString() const;
    int GetGMTOffSet() const; // minutes east of UTC
    static QString VersionApplication();
    static QString VersionApplication(int major, int minor, int revision);
    QString GetWinDir() const;
    QString GetSpecialFolderLocation(int folderId) const;
    QString FolderSelect(const QString& title, const QString& startFolder);
    void CreateShortCutStartUp(bool create, int waitMs, const QString& caller);
    void ShutdownWindows(int mode);

    // Wiring
    void setCommandRunner(CommandRunner runner) { runCommand_ = std::move(runner); }
    void setShareLister(ShareLister lister) { listShares_ = std::move(lister); }
    void setRestartHandler(std::function<void()> handler) { restartApplication_ = std::move(handler); }
    // Folder of the registry files (suite form); default DossierApplication + "Settings\".
    void setRegistryFolder(const QString& folder) { registryFolder_ = folder; }
    // Folder of the start-up entries (native form); default $XDG_CONFIG_HOME/autostart.
    void setAutostartFolder(const QString& folder) { autostartFolder_ = folder; }

private:
    Reporter& reporter_;
    Clock& clock_;
    Host& host_;
    Identity& identity_;
    const Lifecycle& lifecycle_;
    CommandRunner runCommand_;
    ShareLister listShares_;
    std::function<void()> restartApplication_;
    QString registryFolder_;
    QString autostartFolder_;
    // Folder-check memory for the whole run (keys folded to lower case).
    QString lastVerifiedFolder_;
    QSet<QString> existingFolders_;
    QSet<QString> failedFolders_;
    // Registry file of a root (native form); empty for a root that has none.
    QString registryFile(quint32 root) const;
    // The section of a key and its file, loaded; false with result set when there are none. A file
    // that cannot be read is reported through the error trap.
    bool openRegistry(quint32 root, const QString& keyPath, QString& section, IniFile& ini,
                      int& result) const;
    void storeRegistryValues(quint32 root, const QString& keyPath,
                             const QList<QPair<QString, QString>>& stored, int& result);
    // Folder of the start-up entries (native form).
    QString autostartFolder() const;
};

} // namespace nvx
