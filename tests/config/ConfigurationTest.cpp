#include "config/Configuration.h"

#include "common/NativePath.h"
#include "support/Owners.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace nvx;
using namespace Qt::StringLiterals;

namespace {

const QString kConfigFile = u"C:\\Velmora\\Settings\\VL3_Config.ini"_s;
const QString kConfig1 = u"C:\\Site\\Config1\\"_s;
const QString kConfig2 = u"C:\\Site\\Config2\\"_s;

class ConfigurationTest : public ::testing::Test, protected test::Owners {
protected:
    ConfigurationTest()
    {
        // The drives of the machine; folders are made below them, never the drives themselves.
        for (const char* drive : {"c", "d", "e"})
            QDir(drives.path()).mkdir(QString::fromLatin1(drive));
        identity.NomExecutable = u"vl3-tools-nvx"_s;
    }

    // No procedure may have failed behind its trap.
    void TearDown() override
    {
        for (const QString& line : trace.ListeBis)
            EXPECT_FALSE(line.contains(u"Err: "_s)) << qPrintable(line);
    }

    void set(const QString& file, const QString& section, const QString& key, const QString& value)
    {
        ASSERT_TRUE(ini.EcritureIni(file, section, key, value)) << qPrintable(file);
    }
    QString get(const QString& file, const QString& section, const QString& key)
    {
        return ini.LectureIni(file, section, key, u"<none>"_s);
    }
    void touch(const QString& suitePath)
    {
        const QString native = NativePath(suitePath);
        QDir().mkpath(QFileInfo(native).path());
        QFile f(native);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    bool exists(const QString& suitePath) const { return QFileInfo::exists(NativePath(suitePath)); }
    // A whole message traced before the settings are loaded, not a part of one.
    bool traced(const QString& text) const
    {
        for (const QString& line : trace.ListeBis)
            if (line.endsWith(u':' + text))
                return true;
        return false;
    }

    // One database: its system file holds every kind of value, the data folder holds the
    // database's first file.
    void singleSite()
    {
        set(kConfigFile, u"Site"_s, u"NbBase"_s, u"1"_s);
        set(kConfigFile, u"Site"_s, u"Settings_Local_Folder"_s, u"C:\\Site\\Local"_s);
        set(kConfigFile, u"Base_01"_s, u"Dossier_Config_Global"_s, u"C:\\Site\\Config1"_s);
        const QString sys = kConfig1 + u"VL3_Systeme.ini"_s;
        const QString b = u"Base_01"_s;
        set(sys, b, u"Lib"_s, u"Radio Un"_s);
        set(sys, b, u"Actif"_s, u"1"_s);
        set(sys, b, u"NbStation"_s, u"2"_s);
        set(sys, b, u"DateLimite"_s, u"31/12/2030"_s);
        set(sys, b, u"Dossier_Log"_s, u"C:\\Logs"_s);
        set(sys, b, u"Dossier_Data"_s, u"C:\\Data1\\"_s);
        set(sys, b, u"Id_Radio"_s, u"{6F1C-01}"_s);
        set(sys, u"Base_01_Settings_Folders"_s, u"Backup"_s, u"D:\\Bkp"_s);
        const QString sons = u"Base_01_Sounds_Folders"_s;
        set(sys, sons, u"Mus_00"_s, u"1:C:\\Sons\\Mus0"_s);
        set(sys, sons, u"Jin_00"_s, u"0:C:\\Sons\\Jin0\\"_s);
        set(sys, sons, u"Jin_01"_s, u"C:\\Sons\\SansDrapeau"_s);
        set(sys, sons, u"Pub_09"_s, u"1:"_s);
        set(sys, u"Base_01_Station_01"_s, u"Lib"_s, u"Matin"_s);
        set(sys, u"Base_01_Station_01"_s, u"Actif"_s, u"1"_s);
        touch(u"C:\\Data1\\FRAD000.bt6"_s);
    }

    // Two databases. The second one's system file names its section "Base_02", or only "Base_01"
    // when ownSection is false (a database with a folder of its own).
    void twoSites(bool ownSection)
    {
        singleSite();
        set(kConfigFile, u"Site"_s, u"NbBase"_s, u"2"_s);
        set(kConfigFile, u"Site"_s, u"Dossier_Config_Global"_s, kConfig2);
        set(kConfigFile, u"Base_02"_s, u"Dossier_Config_Global"_s, u"c:\\site\\config2"_s);
        const QString sys = kConfig2 + u"VL3_Systeme.ini"_s;
        const QString b = ownSection ? u"Base_02"_s : u"Base_01"_s;
        set(sys, b, u"Lib"_s, u"Radio Deux"_s);
        set(sys, b, u"Dossier_Data"_s, u"C:\\Data2\\"_s);
        set(sys, b, u"Id_Radio"_s, u"{6F1C-02}"_s);
        set(sys, b + u"_Station_01"_s, u"Lib"_s, u"Soir"_s);
        touch(u"C:\\Data2\\FRAD000.bt6"_s);
    }

    bool start()
    {
        qint16 all = -1;
        config.InitGeneralPath(all);
        return config.InitGeneralSite(true);
    }
};

TEST_F(ConfigurationTest, SiteResolutionReadsEveryDatabaseValueWithItsDefaults)
{
    singleSite();
    qint16 index = -1;
    config.InitGeneralPath(index);
    EXPECT_EQ(index, 1) << "left after the last database processed";
    EXPECT_EQ(config.FichierConfig, kConfigFile);
    EXPECT_EQ(config.DossierConfig, u"C:\\Velmora\\Settings\\"_s);
    EXPECT_EQ(config.DossiersConfigBase[0], kConfig1);
    EXPECT_EQ(config.CodeVersionOS, 10);

    ASSERT_TRUE(config.InitGeneralSite(true));
    EXPECT_TRUE(host.itemRequests.isEmpty()) << "one database: no choice";
    EXPECT_TRUE(host.boxes.isEmpty());
    EXPECT_EQ(config.NbBases, 1);
    EXPECT_EQ(identity.BaseCourante, 0);
    EXPECT_EQ(config.DossierSettingsLocal, u"C:\\Site\\Local\\"_s);
    EXPECT_TRUE(exists(config.DossierSettingsLocal));

    const ParametresBase& b = config.baseCourante();
    EXPECT_EQ(b.Lib, u"Radio Un"_s);
    EXPECT_TRUE(b.Actif);
    EXPECT_EQ(b.NbStation, 2);
    EXPECT_EQ(b.DateLimite, QDate(2030, 12, 31));
    EXPECT_EQ(b.DossierLog, u"C:\\Logs\\"_s);
    EXPECT_EQ(b.DossierLogOutil, u"C:\\Logs\\Histo_VL3_Tools_NVX\\"_s);
    EXPECT_TRUE(exists(b.DossierLogOutil));
    EXPECT_EQ(b.DossierLogPub, u"C:\\AudioLog\\Pub\\"_s);
    EXPECT_EQ(b.DossierLocal, u"C:\\Merovax\\Velmora\\Settings\\_Local\\"_s);
    EXPECT_EQ(b.DossierShared, u"C:\\Merovax\\Velmora\\Shared\\"_s);
    EXPECT_EQ(b.DossierData, u"C:\\Data1\\"_s);
    EXPECT_EQ(b.DossierBackup, u"D:\\Bkp\\"_s);
    EXPECT_TRUE(exists(b.DossierBackup));
    EXPECT_EQ(config.PbSRadioId(), u"{6F1C-01}"_s);
    EXPECT_EQ(config.PbSRadioLib(), u"Radio Un"_s);

    ASSERT_EQ(b.Stations.size(), 2);
    EXPECT_EQ(b.Stations[0].Lib, u"Matin"_s);
    EXPECT_TRUE(b.Stations[0].Actif);
    EXPECT_EQ(b.Stations[1].Lib, u"Station 02"_s);
    EXPECT_FALSE(b.Stations[1].Actif);
    EXPECT_FALSE(b.Stations[1].DateLimite.isValid());

    EXPECT_TRUE(traced(u"Local_Folder: C:\\Merovax\\Velmora\\Settings\\_Local\\"_s));
    EXPECT_TRUE(traced(u"Data_Folder: C:\\Data1\\"_s));
}

TEST_F(ConfigurationTest, SoundFoldersTakeTheirFlagFromThePrefixOrFallBackToTheDefault)
{
    singleSite();
    ASSERT_TRUE(start());
    const auto& sons = config.baseCourante().DossiersSons;
    EXPECT_EQ(sons[0][0].dossier, u"C:\\Sons\\Mus0\\"_s);
    EXPECT_TRUE(sons[0][0].flag);
    EXPECT_EQ(sons[0][1].dossier, u"C:\\Sons\\Jin0\\"_s);
    EXPECT_FALSE(sons[0][1].flag);
    EXPECT_EQ(sons[1][1].dossier, u"C:\\VL_Sons\\Autre\\"_s) << "no prefix: default folder";
    EXPECT_FALSE(sons[1][1].flag);
    EXPECT_EQ(sons[5][0].dossier, u"C:\\VL_Sons\\Musique\\"_s);
    EXPECT_TRUE(sons[9][5].dossier.isEmpty()) << "a flag alone leaves the slot without folder";

    // A folder is made the first time it is handed out, and not looked at again afterwards.
    EXPECT_EQ(config.DetermineDossierSon(0, 0), u"C:\\Sons\\Mus0\\"_s);
    EXPECT_TRUE(exists(u"C:\\Sons\\Mus0\\"_s));
    ASSERT_TRUE(QDir(NativePath(u"C:\\Sons\\Mus0\\"_s)).removeRecursively());
    EXPECT_EQ(config.DetermineDossierSon(0, 0), u"C:\\Sons\\Mus0\\"_s);
    EXPECT_FALSE(exists(u"C:\\Sons\\Mus0\\"_s));
    EXPECT_TRUE(config.DetermineDossierSon(8, 0).isEmpty()) << "kinds past the stored ones have no folder";
    EXPECT_TRUE(config.DetermineDossierSon(0, 10).isEmpty());
}

TEST_F(ConfigurationTest, ConfigurationFolderLookupOrderAndDatabaseCount)
{
    set(kConfigFile, u"Site"_s, u"Dossier_Config_Global"_s, u"C:\\Commun"_s);
    set(kConfigFile, u"Base_02"_s, u"Dossier_Config_Global"_s, u"C:\\Deux"_s);
    set(kConfigFile, u"Base_03"_s, u"Dossier_Config_Global"_s, u" "_s);
    EXPECT_EQ(config.DetermineDossierConfig_Bases_Dossier(kConfigFile, 2, true), u"C:\\Deux\\"_s);
    EXPECT_EQ(config.DetermineDossierConfig_Bases_Dossier(kConfigFile, 2, false), u"C:\\Commun\\"_s);
    EXPECT_EQ(config.DetermineDossierConfig_Bases_Dossier(kConfigFile, 1, true),
              u"C:\\Merovax\\Velmora\\Config\\"_s);
    EXPECT_EQ(config.DetermineDossierConfig_Bases_Dossier(kConfigFile, 3, true), u"C:\\Commun\\"_s)
        << "a blank per-database value falls back to the site's";

    EXPECT_EQ(config.DetermineDossierConfig_Bases_Nombre(), 1);
    set(kConfigFile, u"Site"_s, u"NbBase"_s, u"9"_s);
    EXPECT_EQ(config.DetermineDossierConfig_Bases_Nombre(), Configuration::kMaxBases);

    // Every database of the site gets its folder, which is made when missing.
    qint16 all = -1;
    config.InitGeneralPath(all);
    EXPECT_EQ(all, Configuration::kMaxBases);
    EXPECT_EQ(config.DossiersConfigBase[1], u"C:\\Deux\\"_s);
    EXPECT_TRUE(exists(u"C:\\Deux\\"_s));
    EXPECT_EQ(config.NomFichierSysteme(1, true), u"C:\\Deux\\VL3_Systeme_Droits.ini"_s);
    EXPECT_TRUE(config.NomFichierSysteme(7, false).isEmpty());
}

TEST_F(ConfigurationTest, DatabaseChoiceOffersThePreselectedDatabaseAndReadsTheChosenOne)
{
    twoSites(true);
    ASSERT_TRUE(start());
    ASSERT_EQ(host.itemRequests.size(), 1);
    EXPECT_EQ(host.itemRequests[0], u"Choix de la base|Radio Un;Radio Deux|1"_s);
    EXPECT_EQ(config.NbBases, 1);
    EXPECT_EQ(config.DossiersConfigBase[0], u"c:\\site\\config2\\"_s);
    const ParametresBase& b = config.baseCourante();
    EXPECT_EQ(b.Lib, u"Radio Deux"_s);
    EXPECT_EQ(b.DossierData, u"C:\\Data2\\"_s);
    EXPECT_EQ(b.Stations.value(0).Lib, u"Soir"_s);
    EXPECT_EQ(config.PbSRadioId(), u"{6F1C-02}"_s);
    EXPECT_EQ(config.SectionBase(0), u"Base_02"_s);
    EXPECT_EQ(get(kConfigFile, u"Site"_s, u"NoBase"_s), u"2"_s);
    EXPECT_EQ(config.DossierSettingsLocal, u"C:\\Site\\Local\\"_s)
        << "the site's local folder comes from the configuration file, not a database's";
}

TEST_F(ConfigurationTest, DatabaseChoiceOfAnotherDatabaseIsWrittenBack)
{
    twoSites(false);
    host.itemAnswers = {0};
    ASSERT_TRUE(start());
    EXPECT_EQ(host.itemRequests.value(0), u"Choix de la base|Radio Un;Radio Deux|1"_s)
        << "a file holding only Base_01 still names its database";
    EXPECT_EQ(config.baseCourante().Lib, u"Radio Un"_s);
    EXPECT_EQ(config.baseCourante().DossierData, u"C:\\Data1\\"_s);
    EXPECT_EQ(get(kConfigFile, u"Site"_s, u"Dossier_Config_Global"_s), kConfig1);
    EXPECT_EQ(get(kConfigFile, u"Site"_s, u"NoBase"_s), u"1"_s);
}

TEST_F(ConfigurationTest, DatabaseWithItsOwnFolderIsReadFromItsOnlySection)
{
    twoSites(false);
    host.itemAnswers = {1};
    ASSERT_TRUE(start());
    EXPECT_EQ(config.baseCourante().Lib, u"Radio Deux"_s);
    EXPECT_EQ(config.baseCourante().DossierData, u"C:\\Data2\\"_s);
    EXPECT_EQ(config.SectionBase(0), u"Base_01"_s);
}

TEST_F(ConfigurationTest, AbandonedDatabaseChoiceStopsWithoutWriting)
{
    twoSites(true);
    host.itemAnswers = {-1};
    EXPECT_FALSE(start());
    EXPECT_EQ(get(kConfigFile, u"Site"_s, u"NoBase"_s), u"<none>"_s);
    EXPECT_EQ(get(kConfigFile, u"Site"_s, u"Dossier_Config_Global"_s), kConfig2);
    EXPECT_TRUE(config.baseCourante().Lib.isEmpty());
}

TEST_F(ConfigurationTest, MissingDatabaseFileDeclinedKeepsTheConfiguredFolder)
{
    singleSite();
    ASSERT_TRUE(QFile::remove(NativePath(u"C:\\Data1\\FRAD000.bt6"_s)));
    host.answers = {Host::Answer::No};
    ASSERT_TRUE(start());
    ASSERT_EQ(host.boxes.size(), 1);
    EXPECT_EQ(host.boxes[0].buttons, Host::Buttons::YesNo);
    EXPECT_TRUE(host.boxes[0].title.startsWith(u"Velmora: Tools NVX - "_s));
    EXPECT_EQ(host.boxes[0].text,
              QStringLiteral(
                  "Impossible de trouver la base de données pour la base: Radio Un\n\n"
                  "Fichier 'C:\\Data1\\FRAD000.bt6' non trouvé\n\n"
                  "Voulez-vous rechercher manuellement la localisation de la base de données Velmora ?"));
    EXPECT_TRUE(host.folderRequests.isEmpty());
    EXPECT_EQ(config.baseCourante().DossierData, u"C:\\Data1\\"_s);
}

TEST_F(ConfigurationTest, MissingDatabaseFileFoundElsewhereIsStored)
{
    singleSite();
    ASSERT_TRUE(QFile::remove(NativePath(u"C:\\Data1\\FRAD000.bt6"_s)));
    touch(u"C:\\Ailleurs\\FRAD000.bt6"_s);
    host.answers = {Host::Answer::Yes};
    host.folderAnswers = {u"C:\\Ailleurs"_s};
    ASSERT_TRUE(start());
    EXPECT_EQ(host.folderRequests.size(), 1);
    EXPECT_EQ(config.baseCourante().DossierData, u"C:\\Ailleurs\\"_s);
    EXPECT_EQ(get(kConfig1 + u"VL3_Systeme.ini"_s, u"Base_01"_s, u"Dossier_Data"_s), u"C:\\Ailleurs\\"_s);
}

TEST_F(ConfigurationTest, MissingDatabaseFileNotInThePickedFolderChangesNothing)
{
    singleSite();
    ASSERT_TRUE(QFile::remove(NativePath(u"C:\\Data1\\FRAD000.bt6"_s)));
    touch(u"C:\\Vide\\autre.txt"_s);
    host.answers = {Host::Answer::Yes};
    host.folderAnswers = {u"C:\\Vide"_s};
    ASSERT_TRUE(start());
    EXPECT_EQ(config.baseCourante().DossierData, u"C:\\Data1\\"_s);
    EXPECT_EQ(get(kConfig1 + u"VL3_Systeme.ini"_s, u"Base_01"_s, u"Dossier_Data"_s), u"C:\\Data1\\"_s);
}

TEST_F(ConfigurationTest, ProgramIsCopiedToTheRedistributionFolderOnce)
{
    singleSite();
    touch(u"C:\\Velmora\\vl3-tools-nvx"_s);
    set(kConfig1 + u"VL3_Systeme.ini"_s, u"Base_01"_s, u"Dossier_Redist"_s, u"E:\\Redist"_s);
    ASSERT_TRUE(start());
    const QString dossier = u"E:\\Redist\\VL\\Backup\\Programmes\\"_s;
    EXPECT_TRUE(exists(dossier + Systeme::VersionApplication() + u" VL3_Tools_NVX.exe"_s));
    EXPECT_TRUE(traced(u"Dossier_Redist: "_s + dossier));

    config.DossierFixe = true;
    ASSERT_TRUE(QDir(NativePath(u"E:\\Redist"_s)).removeRecursively());
    ASSERT_TRUE(config.InitGeneralSite(true));
    EXPECT_FALSE(exists(dossier)) << "a fixed root copies nothing";
}

TEST_F(ConfigurationTest, SettingsFileNamesFollowTheInstance)
{
    config.NoInstance = 3;
    EXPECT_EQ(config.NomFichierSettings(QString(), u".Ini"_s),
              u"C:\\Velmora\\Settings\\VL3_Tools_NVX\\VL3_Tools_NVX_3.Ini"_s);
    EXPECT_EQ(config.DossierHisto, u"C:\\Velmora\\Settings\\VL3_Tools_NVX\\Histo\\"_s);
    EXPECT_TRUE(exists(config.DossierHisto));
    config.NoInstance = 0;
    EXPECT_EQ(config.NomFichierSettings(QString(), u".Ini"_s),
              u"C:\\Velmora\\Settings\\VL3_Tools_NVX\\VL3_Tools_NVX.Ini"_s);
    EXPECT_EQ(config.NomFichierSettings(u"_Positions"_s, u".Ini"_s),
              u"C:\\Velmora\\Settings\\VL3_Tools_NVX\\VL3_Tools_NVX_Positions.Ini"_s);

    config.DossierFixe = true;
    config.NomDossierSettings();
    EXPECT_EQ(config.DossierSettings, u"C:\\Merovax\\Velmora\\Settings\\VL3_Tools_NVX\\"_s);
}

TEST_F(ConfigurationTest, OldSettingsFileInTheWindowsFolderMovesIntoTheSettingsFolder)
{
    const QString ancien = systeme.GetWinDir() + u"VL3_Tools_NVX_3.Ini"_s;
    set(ancien, u"General"_s, u"Cle"_s, u"ancienne"_s);
    config.NoInstance = 3;
    config.NomDossierSettings();
    const QString fichier = config.NomFichierSettings(QString(), u".Ini"_s);
    EXPECT_EQ(get(fichier, u"General"_s, u"Cle"_s), u"ancienne"_s);
    EXPECT_FALSE(exists(ancien));

    // An existing settings file is never replaced by an old one.
    set(ancien, u"General"_s, u"Cle"_s, u"autre"_s);
    config.NomDossierSettings();
    EXPECT_EQ(get(fichier, u"General"_s, u"Cle"_s), u"ancienne"_s);
    EXPECT_TRUE(exists(ancien));
}

TEST_F(ConfigurationTest, CheckDriveSpreadsIdentifiersOverTheConfiguredSlots)
{
    auto& sons = config.DossiersBase[0].DossiersSons;
    sons[0][1].dossier = u"C:\\Jin0\\"_s;
    sons[1][1].dossier = u"C:\\Jin1\\"_s;
    sons[3][1].dossier = u"C:\\Jin3\\"_s; // after a gap: not counted

    EXPECT_EQ(config.CheckDrive(1, u"7"_s, u"ABC12345"_s), u"1"_s);
    EXPECT_EQ(config.CheckDrive(1, u"7"_s, u"ABC12344"_s), u"0"_s);
    EXPECT_EQ(config.CheckDrive(1, u"12"_s, u"ABC-3"_s), u"1"_s);
    EXPECT_EQ(config.CheckDrive(1, u"3"_s, u"ABC12344"_s), u"3"_s);
    EXPECT_EQ(config.CheckDrive(1, u"1"_s, u"ABC12344"_s), u"1"_s);
    EXPECT_EQ(config.CheckDrive(1, u" "_s, u"ABC12345"_s), u"0"_s);
    EXPECT_EQ(config.CheckDrive(1, u"-"_s, u"ABC12345"_s), u"-"_s);
    EXPECT_EQ(config.CheckDrive(2, u"4"_s, u"ABC12345"_s), u"0"_s) << "a kind without folders";
    EXPECT_EQ(config.CheckDrive(11, u"4"_s, u"ABC12345"_s), u"0"_s);
}

TEST_F(ConfigurationTest, WindowPositionsRoundTripPerWindowAndKey)
{
    config.NoInstance = 2;
    EXPECT_EQ(config.PositionFeuille(u"FrmSetup"_s, QString()), QPoint(0, 0));
    config.PositionFeuilleSauvegarde(u"FrmSetup"_s, QString(), QPoint(120, -40));
    config.PositionFeuilleSauvegarde(u"FrmSetup"_s, u"FTP"_s, QPoint(7, 8));
    EXPECT_EQ(config.PositionFeuille(u"FrmSetup"_s, u" "_s), QPoint(120, -40));
    EXPECT_EQ(config.PositionFeuille(u"FrmSetup"_s, u"FTP"_s), QPoint(7, 8));
    const QString fichier = u"C:\\Velmora\\Settings\\VL3_Tools_NVX\\VL3_Tools_NVX_2_Positions.Ini"_s;
    EXPECT_EQ(get(fichier, u"FrmPos"_s, u"FrmSetup_Left"_s), u"120"_s);
    EXPECT_EQ(get(fichier, u"FrmPos"_s, u"FrmSetup_Top_FTP"_s), u"8"_s);
}

// The earlier suite kept its configuration in the Windows folder and a per-database "Qm_sys.ini".
class LegacyMigrationTest : public ConfigurationTest {
protected:
    void legacySite()
    {
        const QString win = systeme.GetWinDir() + u"Win.ini"_s;
        set(win, u"Merovax"_s, u"INI_OPEN_RADIO"_s, u"C:\\Old\\Config"_s);
        set(win, u"Merovax"_s, u"Nb_Base"_s, u"0"_s);
        const QString qm = u"C:\\Old\\Config\\Qm_sys.ini"_s;
        set(qm, u"Div_radio"_s, u"Nom_Radio"_s, u"Radio Ancienne"_s);
        set(qm, u"Div_radio"_s, u"Station_001"_s, u"Studio A"_s);
        set(qm, u"Stations"_s, u"Nb_Max"_s, u"2"_s);
        set(qm, u"Repertoires"_s, u"REPLOG"_s, u"C:\\OldLog\\"_s);
        set(qm, u"Repertoires"_s, u"REPBTR"_s, u"C:\\NotThisOne\\"_s);
        set(qm, u"UNC_Actif"_s, u"REPBTR"_s, u"ON"_s);
        set(qm, u"Repertoires_UNC"_s, u"REPBTR"_s, u"\\\\srv\\data\\"_s);
        set(qm, u"Repertoire_Station"_s, u"Mus_00"_s, u"1:C:\\OldSons\\"_s);
        // Themes off, so the advice about the window style is due.
        ASSERT_EQ(systeme.Reg_SetValue(0, u"Software\\Microsoft\\Windows\\CurrentVersion\\ThemeManager"_s,
                                       u"ThemeActive"_s, u"0"_s, Systeme::REG_DWORD),
                  0);
    }
};

TEST_F(LegacyMigrationTest, OldSystemBuildsTheConfigurationFromTheLegacyFiles)
{
    legacySite();
    config.CodeVersionOS = 5;
    EXPECT_EQ(config.DetermineDossierConfig(), kConfigFile);
    ASSERT_TRUE(exists(kConfigFile));
    EXPECT_EQ(get(kConfigFile, u"Site"_s, u"Lib"_s), u"Radio Ancienne"_s);
    EXPECT_EQ(get(kConfigFile, u"Site"_s, u"NbBase"_s), u"1"_s);
    EXPECT_EQ(get(kConfigFile, u"Site"_s, u"NoBase"_s), u"1"_s);
    EXPECT_EQ(get(kConfigFile, u"Base_01"_s, u"Dossier_Config_Global"_s), u"C:\\Old\\Config\\"_s);
    const QString sys = u"C:\\Old\\Config\\VL3_Systeme.ini"_s;
    EXPECT_EQ(get(sys, u"Base_01"_s, u"DateLimite"_s), u"01/01/3000"_s);
    EXPECT_EQ(get(sys, u"Base_01"_s, u"Dossier_Notes"_s), u"C:\\Merovax\\Velmora\\Notes\\"_s);
    EXPECT_EQ(get(sys, u"Base_01"_s, u"Dossier_Data_Backup"_s), u"C:\\BTRieve\\Data\\"_s);
    EXPECT_EQ(get(sys, u"Base_01"_s, u"Dossiers_Sons_Mus_00"_s), u"C:\\OldSons\\"_s);

    ASSERT_EQ(host.boxes.size(), 1);
    EXPECT_EQ(host.boxes[0].icon, Host::Icon::Information);
    EXPECT_TRUE(host.boxes[0].text.startsWith(u"Le poste utilise le style 'Windows standard'\n\n"_s));
    EXPECT_EQ(get(kConfigFile, u"ThemeWindows"_s, u"Msg"_s), u"1"_s);
    config.DetermineDossierConfig();
    EXPECT_EQ(host.boxes.size(), 1) << "the advice is given once";

    // The migrated site starts like any other.
    ASSERT_TRUE(start());
    const ParametresBase& b = config.baseCourante();
    EXPECT_EQ(b.Lib, u"Radio Ancienne"_s);
    EXPECT_TRUE(b.Actif);
    EXPECT_EQ(b.DateLimite, QDate(3000, 1, 1));
    EXPECT_EQ(b.DossierLog, u"C:\\OldLog\\"_s);
    EXPECT_EQ(b.DossierData, u"\\\\srv\\data\\"_s) << "the folder's UNC entry selects the UNC section";
    EXPECT_EQ(b.DossierLocal, u"C:\\Velmora\\"_s);
    EXPECT_EQ(b.DossiersSons[0][0].dossier, u"C:\\OldSons\\"_s);
    ASSERT_EQ(b.Stations.size(), 2);
    EXPECT_EQ(b.Stations[0].Lib, u"Studio A"_s);
    EXPECT_EQ(b.Stations[1].Lib, u"Station 02"_s);
    EXPECT_TRUE(b.Stations[1].Actif);
}

TEST_F(LegacyMigrationTest, CurrentSystemNeitherMigratesNorAdvises)
{
    legacySite();
    EXPECT_EQ(config.DetermineDossierConfig(), kConfigFile);
    EXPECT_EQ(config.CodeVersionOS, 10);
    EXPECT_FALSE(exists(kConfigFile));
    EXPECT_FALSE(exists(u"C:\\Old\\Config\\VL3_Systeme.ini"_s));
    EXPECT_TRUE(host.boxes.isEmpty());
}

TEST_F(LegacyMigrationTest, ExistingConfigurationIsNotOverwritten)
{
    legacySite();
    set(kConfigFile, u"Site"_s, u"Lib"_s, u"Actuelle"_s);
    set(kConfigFile, u"ThemeWindows"_s, u"Msg"_s, u"1"_s);
    config.CodeVersionOS = 2003;
    config.DetermineDossierConfig();
    EXPECT_EQ(get(kConfigFile, u"Site"_s, u"Lib"_s), u"Actuelle"_s);
    EXPECT_EQ(get(kConfigFile, u"Site"_s, u"NoBase"_s), u"<none>"_s);
    EXPECT_TRUE(host.boxes.isEmpty()) << "advice already acknowledged";
}

} // namespace
