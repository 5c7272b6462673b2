#pragma once

#include "config/SettingsValues.h"

#include <QFlags>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <vector>

namespace nvx {

class Reporter;
class Trace;
class Systeme;
class Host;
class IniAccess;
class Configuration;
class IniFile;
struct Identity;
class Lifecycle;

// The tool's settings: the live values that every subsystem reads, loaded from and saved to the
// instance's settings file, with one modified flag per group. New values are applied whole:
// the changed groups are saved and announced, and the scheduler link and the platform client
// follow. Switching a UDP endpoint on or off is announced at once.
class Settings : public QObject, public SettingsValues {
    Q_OBJECT

public:
    enum class Group { General = 1, Network = 2, Ftp = 4 };
    Q_DECLARE_FLAGS(Groups, Group)

    Settings(Identity& identity, Lifecycle& lifecycle, Trace& trace, Systeme& systeme, Host& host,
             IniAccess& ini, Configuration& config);

    // Shown by the settings window.
    QString ComputerNameTexte;
    QString HostAddressTexte;

    bool generalModified = false;
    bool networkModified = false;
    bool ftpModified = false;

    // Edits made by the settings window go through these so that the group is marked modified.
    void editGeneral(const std::function<void(Settings&)>& edit);
    void editNetwork(const std::function<void(Settings&)>& edit);
    void editFtp(const std::function<void(Settings&)>& edit);
    // Switches an endpoint on or off and notifies the scheduler link.
    void setReceptionActif(int index, bool actif);
    void setEmissionActif(int index, bool actif);

    // The load sequence, run once at start-up; sets SetupCharge at its end.
    void Form_Load();
    void InitGeneral();
    void InitSettings();
    void InitSettingsVL3();
    void InitSettingsPeripheriques();
    void InitSettingsFTP();
    void SaveSettings();
    void SaveSettingsPeripheriques();
    void SaveSettingsFTP();
    // Saves the three groups, whatever their flags.
    void saveAll();
    // The values as they are now, to edit a copy.
    SettingsValues values() const { return *this; }
    // Takes new values: the groups that differ are saved and announced.
    void apply(const SettingsValues& nouvelles);
    // Takes values edited but not saved: the groups that differ are marked modified, so that the
    // program's end asks whether to save them.
    void stage(const SettingsValues& nouvelles);
    // At program end: the flags are cleared, the trace log is flushed and SetupCharge cleared.
    void unload();
    // Caption of the settings window.
    QString caption() const;

    // Settings file of the instance (general and network keys).
    QString fichierGeneral() const;
    // Per-database configuration folders, for the unload writes.
    std::array<QString, 5> DossiersConfigFichier;

signals:
    void receptionSwitched(int index, bool actif);
    void groupsChanged(nvx::Settings::Groups groups);
    void emissionSwitched(int index, bool actif);
    // A group was edited in place (a folder picker, an FTP account taken from the tester).
    void groupsEdited(nvx::Settings::Groups groups);

private:
    // The network and FTP groups are read from the instance's file, or, while that file holds
    // none of their sections, once from the legacy file shared by all instances.
    QString fichierReseauLecture();
    using GroupWriter = bool (Settings::*)();
    bool ecrire(const QString& section, const QString& cle, const QString& valeur);
    bool writeGeneral();
    bool writeNetwork();
    bool writeFtp();
    // Writes the groups into the instance's file, moving the network groups read from the legacy
    // file along with them; traces a failure.
    void saveGroups(const QString& procedure, std::vector<GroupWriter> groups);
    bool saveWhole(const std::vector<GroupWriter>& groups);
    void applyLogBatchSize();
    Groups differences(const SettingsValues& autres) const;

    QString networkSource_;
    bool legacyPending_ = false;
    // The file being rewritten in one piece while a save runs.
    IniFile* batch_ = nullptr;

    Identity& identity_;
    Lifecycle& lifecycle_;
    Trace& trace_;
    Systeme& systeme_;
    Host& host_;
    IniAccess& ini_;
    Configuration& config_;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(Settings::Groups)

} // namespace nvx
