#include "config/Settings.h"

#include "common/ErrorTrap.h"
#include "common/Host.h"
#include "common/Identity.h"
#include "common/Lifecycle.h"
#include "common/PathText.h"
#include "common/TextHelpers.h"
#include "config/Configuration.h"
#include "config/Ini.h"
#include "system/Systeme.h"
#include "system/Trace.h"

namespace nvx {

namespace {

const QString kModule = QStringLiteral("FrmSetup:");

QString origine(const char16_t* procedure)
{
    return kModule + QString::fromUtf16(procedure);
}

} // namespace

Settings::Settings(Identity& identity, Lifecycle& lifecycle, Trace& trace, Systeme& systeme, Host& host,
                   IniAccess& ini, Configuration& config)
    : identity_(identity), lifecycle_(lifecycle), trace_(trace), systeme_(systeme), host_(host), ini_(ini),
      config_(config)
{
}

QString Settings::caption() const
{
    return QStringLiteral("Velmora: Tools NVX") + QStringLiteral(" - ") + Systeme::VersionApplication();
}

QString Settings::fichierGeneral() const
{
    return config_.NomFichierSettings(QString(), QStringLiteral(".Ini"));
}

void Settings::applyLogBatchSize()
{
    trace_.setBatchSizeText(TexteLogNbMaxlignes);
}

void Settings::editGeneral(const std::function<void(Settings&)>& edit)
{
    if (!edit)
        return;
    edit(*this);
    generalModified = true;
    applyLogBatchSize();
    emit groupsEdited(Group::General);
}

void Settings::editNetwork(const std::function<void(Settings&)>& edit)
{
    if (!edit)
        return;
    edit(*this);
    networkModified = true;
    emit groupsEdited(Group::Network);
}

void Settings::editFtp(const std::function<void(Settings&)>& edit)
{
    if (!edit)
        return;
    edit(*this);
    ftpModified = true;
    emit groupsEdited(Group::Ftp);
}

// Like a check box, only a change notifies; a switch turned by the operator is a network
// setting like the addresses, so it marks the group for saving. The group load clears the flag
// again once it has set every switch.
void Settings::setReceptionActif(int index, bool actif)
{
    if (index < 0 || index >= kReceptions || Reception[index].Actif == actif)
        return;
    Reception[index].Actif = actif;
    networkModified = true;
    emit receptionSwitched(index, actif);
}

void Settings::setEmissionActif(int index, bool actif)
{
    if (index < 0 || index >= kEmissions || Emission[index].Actif == actif)
        return;
    Emission[index].Actif = actif;
    networkModified = true;
    emit emissionSwitched(index, actif);
}

void Settings::Form_Load()
{
    trap(trace_, origine(u"Form_Load"), [&] {
        const auto step = [this](const QString& text, void (Settings::*load)()) {
            host_.setSplashText(text);
            (this->*load)();
        };
        step(QStringLiteral("Tools NVX: Setup: Init: General"), &Settings::InitGeneral);
        step(QStringLiteral("Tools NVX: Setup: Init: Settings"), &Settings::InitSettings);
        step(QStringLiteral("Tools NVX: Setup: Init: Settings VL3"), &Settings::InitSettingsVL3);
        step(QStringLiteral("Tools NVX: Setup: Init: SettingsLook"), &Settings::InitSettingsPeripheriques);
        step(QStringLiteral("Tools NVX: Setup: Init: SettingsFTP"), &Settings::InitSettingsFTP);
        host_.setSplashText(QStringLiteral("Tools NVX: Setup: Loaded"));
        applyLogBatchSize();
    });
    lifecycle_.setSetupCharge(true);
}

void Settings::InitGeneral()
{
    trap(trace_, origine(u"InitGeneral"), [&] {
        trace_.trace(QStringLiteral("FrmSetup: Init General: Start"));
        ComputerNameTexte = systeme_.ComputerName();
        HostAddressTexte = systeme_.GetHostName();
        if (config_.DossierSettings.trimmed().isEmpty())
            config_.NomDossierSettings();

        config_.DetermineDossierConfig();
        const int nbBases = config_.DetermineDossierConfig_Bases_Nombre();
        trace_.trace(QStringLiteral("Nb Bases: ") + QString::number(nbBases));
        for (int i = 0; i < static_cast<int>(DossiersConfigFichier.size()); ++i) {
            DossiersConfigFichier[i] = i < nbBases ? config_.DetermineDossierConfig_Fichier(i) : QString();
            if (i < nbBases)
                trace_.trace(QStringLiteral("Dossier Config Base ") + QString::number(i + 1) +
                             QStringLiteral(": ") + DossiersConfigFichier[i]);
        }

        const double zones = vbVal(ini_.LectureIni(fichierGeneral(), QStringLiteral("General_Out"),
                                                   QStringLiteral("NbZones"), QStringLiteral("1")));
        NbZones = zones < 1 ? 1 : (zones > 5 ? 5 : static_cast<int>(zones));
        trace_.trace(QStringLiteral("NbZones: ") + QString::number(NbZones));

        QString siteConfig;
        if (!config_.DossierSettingsLocal.trimmed().isEmpty())
            siteConfig =
                ini_.LectureIni(CheckRep(config_.DossierSettingsLocal) + QStringLiteral("VL3_Site_Path.ini"),
                                QStringLiteral("VL"), QStringLiteral("Path_Cfg_Site"));
        trace_.trace(QStringLiteral("Path_Cfg_Site: ") + siteConfig);

        // One line per zone (a station of the current database) and sound category.
        for (int zone = 1; zone <= NbZones; ++zone) {
            for (int genre = 0; genre < ParametresBase::kGenres; ++genre) {
                trace_.trace(QStringLiteral("Sound Folder: Zone ") + QString::number(zone) +
                             QStringLiteral(": Genre ") + QString::number(genre) + QStringLiteral(": ") +
                             config_.DetermineDossierSon(genre, zone - 1));
            }
        }
        trace_.trace(QStringLiteral("FrmSetup: Init General: End"));
    });
}

// Kept in the load sequence for the suite's own settings, which this tool does not hold.
void Settings::InitSettingsVL3() {}

void Settings::saveAll()
{
    trap(trace_, origine(u"CommandSave_Click"), [&] {
        host_.pump();
        SaveSettings();
        SaveSettingsPeripheriques();
        SaveSettingsFTP();
    });
}

bool SettingsValues::sameGeneral(const SettingsValues& autre) const
{
    return TexteDossierConvertSons == autre.TexteDossierConvertSons &&
           TexteDossierXML == autre.TexteDossierXML && EnvoyerHeuresVides == autre.EnvoyerHeuresVides &&
           TexteEmailsAdresses == autre.TexteEmailsAdresses && CheckEmail == autre.CheckEmail &&
           Alertes == autre.Alertes && SiteMaker == autre.SiteMaker && NbZones == autre.NbZones &&
           TexteLogNbMaxlignes == autre.TexteLogNbMaxlignes && Plateforme == autre.Plateforme &&
           EmailSmtp == autre.EmailSmtp;
}

Settings::Groups Settings::differences(const SettingsValues& autres) const
{
    Groups changes;
    if (!sameGeneral(autres))
        changes |= Group::General;
    if (!sameNetwork(autres))
        changes |= Group::Network;
    if (!sameFtp(autres))
        changes |= Group::Ftp;
    return changes;
}

void Settings::stage(const SettingsValues& nouvelles)
{
    const Groups changes = differences(nouvelles);
    static_cast<SettingsValues&>(*this) = nouvelles;
    generalModified = generalModified || changes.testFlag(Group::General);
    networkModified = networkModified || changes.testFlag(Group::Network);
    ftpModified = ftpModified || changes.testFlag(Group::Ftp);
    if (changes & Group::General)
        applyLogBatchSize();
}

void Settings::apply(const SettingsValues& nouvelles)
{
    const Groups changes = differences(nouvelles);
    if (!changes)
        return;
    static_cast<SettingsValues&>(*this) = nouvelles;
    if (changes & Group::General) {
        applyLogBatchSize();
        SaveSettings();
    }
    if (changes & Group::Network)
        SaveSettingsPeripheriques();
    if (changes & Group::Ftp)
        SaveSettingsFTP();
    emit groupsChanged(changes);
}

void Settings::unload()
{
    trap(trace_, origine(u"Form_Unload"), [&] {
        generalModified = false;
        networkModified = false;
        ftpModified = false;
        trace_.trace(QStringLiteral("---------- FrmSetup: Form_Unload: End"));
        trace_.flush();
    });
    lifecycle_.setSetupCharge(false);
}

} // namespace nvx
