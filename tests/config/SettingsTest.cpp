#include "config/Settings.h"

#include "common/IniFile.h"
#include "common/NativePath.h"
#include "support/Owners.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <memory>

using namespace nvx;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString kNone = u"<none>"_s;
const QString kLegacy = u"C:\\Windows\\VL3_Tools_NVX.Ini"_s;
const QString kRecep0 = u"Peripheriques_Reseau_Reception_UDP_0"_s;

class SettingsTest : public ::testing::Test, protected test::Owners {
protected:
    SettingsTest()
    {
        trace.setLogFolder(0, u"C:\\Logs\\"_s);
        config.CodeVersionOS = 10;
        config.NoInstance = 3;
        settings = fresh();
    }

    std::unique_ptr<Settings> fresh()
    {
        return std::make_unique<Settings>(identity, lifecycle, trace, systeme, host, ini, config);
    }
    std::unique_ptr<Settings> reloaded()
    {
        auto s = fresh();
        s->InitSettings();
        s->InitSettingsPeripheriques();
        s->InitSettingsFTP();
        return s;
    }
    QString file() const { return settings->fichierGeneral(); }
    bool fileExists() const { return QFileInfo::exists(NativePath(file())); }
    QString stored(const QString& section, const QString& key, const QString& fichier = {}) const
    {
        return IniFile::read(NativePath(fichier.isEmpty() ? file() : fichier), section, key, kNone);
    }
    void put(const QString& section, const QString& key, const QString& value, const QString& fichier = {})
    {
        ASSERT_TRUE(ini.EcritureIni(fichier.isEmpty() ? file() : fichier, section, key, value));
    }

    std::unique_ptr<Settings> settings;
};

// Every saved value as text, to compare two states.
QStringList snapshot(const Settings& s)
{
    const auto b = [](bool v) { return v ? u"1"_s : u"0"_s; };
    const auto n = [](int v) { return QString::number(v); };
    QStringList out{s.TexteDossierConvertSons, s.TexteDossierXML, s.TexteEmailsAdresses};
    for (bool c : s.CheckEmail)
        out << b(c);
    const ParametresPlateforme& p = s.Plateforme;
    out << p.URL << p.Cle << p.Secret << n(p.DelaiConnexion) << n(p.DelaiReponse) << b(p.ConnexionAuDemarrage)
        << b(p.ConserverReponses) << p.CertificatsCA;
    const ParametresSmtp& m = s.EmailSmtp;
    out << m.Serveur << n(m.Port) << n(m.Securite) << m.User << m.PW << m.Expediteur << m.CopiesSupport
        << m.CopiePartenaire << m.NoClient << m.OptionsBase << m.Certificat << b(s.Alertes) << s.SiteMaker;
    for (const ReceptionUdp& r : s.Reception)
        out << r.IP << r.Port << b(r.Actif);
    for (const EmissionUdp& e : s.Emission)
        out << e.IP << e.Port1 << e.Port2 << b(e.Actif);
    for (const ServeurFtp& f : s.ServeursFtp)
        out << f.Serveur << f.NoPort << f.User << f.PW << n(f.Cnx) << f.Dossier << b(f.SecureSSL)
            << b(f.SecureSSH) << b(f.Retry);
    return out;
}

TEST_F(SettingsTest, MissingFileGivesTheDefaultsOfTheInstanceFile)
{
    auto expected = fresh();
    for (int i = 0; i < Settings::kEmissions; ++i)
        expected->Emission[i].Port1 = QString::number(96 + i);
    EXPECT_EQ(snapshot(*reloaded()), snapshot(*expected));
    EXPECT_TRUE(file().endsWith(u"\\Settings\\VL3_Tools_NVX\\VL3_Tools_NVX_3.Ini"_s)) << file().toStdString();
    EXPECT_FALSE(fileExists());
}

TEST_F(SettingsTest, EveryGroupSurvivesASaveAndALoad)
{
    Settings& s = *settings;
    const auto t = [](const QString& base, int i) -> QString { return base + QString::number(i); };
    s.TexteDossierConvertSons = u"D:\\Convertis é\\"_s;
    s.TexteDossierXML = u"D:\\Xml\\"_s;
    s.TexteEmailsAdresses = u"a@x.fr;b@y.fr"_s;
    s.CheckEmail = {true, false, true, false, false, true};
    s.Plateforme = {u"https://vt:8443"_s,        u"k"_s, u"s=t"_s, 30, 300, false, true,
                    u"C:\\Certificats\\ca.pem"_s};
    // Alerts off although recipients are set: the stored "0" wins over the default.
    s.Alertes = false;
    s.SiteMaker = u"releases.example.test"_s;
    s.EmailSmtp = {u"smtp"_s,  465,      2,        u"u"_s, u"pw"_s,         u"f@x"_s,
                   u"s1;s2"_s, u"p@x"_s, u"C42"_s, u"o"_s, u"/etc/ca.pem"_s};
    for (int i = 0; i < Settings::kReceptions; ++i)
        s.Reception[i] = {t(u"10.0.1."_s, i), t(u"50"_s, i), i % 2 == 1, t(u"10.9.0."_s, i)};
    for (int i = 0; i < Settings::kEmissions; ++i)
        s.Emission[i] = {t(u"10.0.2."_s, i), t(u"60"_s, i), t(u"70"_s, i), i % 3 == 0, {}};
    for (int i = 0; i < Settings::kServeursFtp; ++i)
        s.ServeursFtp[i] = {t(u"ftp"_s, i),  t(u"21"_s, i), t(u"user"_s, i), t(u"pw;"_s, i), i % 2,
                            t(u"/in/"_s, i), i % 2 == 0,    i % 3 == 0,      i % 5 == 0};
    s.saveAll();

    EXPECT_EQ(stored(u"Peripheriques_Reseau_Emission_UDP_3"_s, u"Port1"_s), u"603"_s);
    EXPECT_EQ(snapshot(*reloaded()), snapshot(s));
}

TEST_F(SettingsTest, StoredTextsAreReadByTheirRules)
{
    put(u"Email"_s, u"Check_2"_s, u"x"_s);
    put(u"Email"_s, u"Check_3"_s, u"0"_s);
    put(u"Plateforme"_s, u"DelaiConnexion"_s, u"abc"_s);
    put(u"Email_SMTP"_s, u"Port"_s, u"70000"_s);
    put(u"ServeurFTP_3"_s, u"Cnx"_s, u"7"_s);
    put(u"ServeurFTP_4"_s, u"User"_s, u"after"_s);
    put(kRecep0, u"Actif"_s, u"2"_s);
    settings = reloaded();

    EXPECT_TRUE(settings->CheckEmail[2]);
    EXPECT_FALSE(settings->CheckEmail[3]);
    EXPECT_FALSE(settings->Alertes) << "no recipients, no stored switch: alerts off";
    EXPECT_EQ(settings->Plateforme.DelaiConnexion, 15);
    EXPECT_EQ(settings->EmailSmtp.Port, 587);
    // An unknown connection mode does not stop the load of the accounts after it.
    EXPECT_EQ(settings->ServeursFtp[3].Cnx, 0);
    EXPECT_EQ(settings->ServeursFtp[4].User, u"after"_s);
    EXPECT_TRUE(settings->Reception[0].Actif);

    settings->SaveSettings();
    EXPECT_EQ(stored(u"Email"_s, u"Check_2"_s), u"1"_s);
    EXPECT_EQ(stored(u"Email"_s, u"Check_3"_s), u"0"_s);
}

TEST_F(SettingsTest, BlankFtpServerWritesOnlyItsServerKey)
{
    put(u"ServeurFTP_4"_s, u"Serveur"_s, u"old.host"_s);
    put(u"ServeurFTP_4"_s, u"User"_s, u"kept"_s);
    settings->InitSettingsFTP();
    settings->editFtp([](Settings& s) {
        s.ServeursFtp[4] = {};
        s.ServeursFtp[4].Serveur = u"   "_s;
        s.ServeursFtp[5].Serveur = u"new.host"_s;
    });
    EXPECT_TRUE(settings->ftpModified);
    settings->SaveSettingsFTP();

    EXPECT_FALSE(settings->ftpModified);
    EXPECT_EQ(stored(u"ServeurFTP_4"_s, u"Serveur"_s), QString());
    EXPECT_EQ(stored(u"ServeurFTP_4"_s, u"User"_s), u"kept"_s);
    EXPECT_EQ(stored(u"ServeurFTP_4"_s, u"Dossier"_s), kNone);
    EXPECT_EQ(stored(u"ServeurFTP_5"_s, u"Dossier"_s), u"/"_s);
}

TEST_F(SettingsTest, SwitchesNotifyWhenTheyChange)
{
    QList<std::pair<int, bool>> receptions, emissions;
    QObject::connect(settings.get(), &Settings::receptionSwitched, [&](int i, bool on) {
        receptions.append({i, on});
    });
    QObject::connect(settings.get(), &Settings::emissionSwitched, [&](int i, bool on) {
        emissions.append({i, on});
    });
    put(kRecep0, u"Actif"_s, u"0"_s);
    put(u"Peripheriques_Reseau_Reception_UDP_1"_s, u"Actif"_s, u"1"_s);
    put(u"Peripheriques_Reseau_Emission_UDP_2"_s, u"Actif"_s, u"1"_s);

    settings->InitSettingsPeripheriques();
    EXPECT_EQ(receptions, (QList<std::pair<int, bool>>{{1, true}}));
    EXPECT_EQ(emissions, (QList<std::pair<int, bool>>{{2, true}}));
    EXPECT_FALSE(settings->networkModified);

    // A switch turned by the operator closes the endpoint and is saved at the end.
    settings->setReceptionActif(1, false);
    settings->setReceptionActif(1, false);
    EXPECT_EQ(receptions, (QList<std::pair<int, bool>>{{1, true}, {1, false}}));
    EXPECT_TRUE(settings->networkModified);
}

TEST_F(SettingsTest, LoadRunsEveryStepAndNamesTheStations)
{
    config.DossiersBase[0].Stations = {ParametresStation{u"Matin FM"_s, true, {}}};
    put(u"General_Out"_s, u"NbZones"_s, u"9"_s);
    settings->Form_Load();

    EXPECT_EQ(
        host.splashTexts,
        (QStringList{u"Tools NVX: Setup: Init: General"_s, u"Tools NVX: Setup: Init: Settings"_s,
                     u"Tools NVX: Setup: Init: Settings VL3"_s, u"Tools NVX: Setup: Init: SettingsLook"_s,
                     u"Tools NVX: Setup: Init: SettingsFTP"_s, u"Tools NVX: Setup: Loaded"_s}));
    EXPECT_TRUE(lifecycle.SetupCharge());
    EXPECT_EQ(settings->NbZones, 5);
    EXPECT_EQ(settings->Emission[0].libelle, u"Matin FM"_s);
    // Beyond the database's stations the caption is written as the database writes its own.
    EXPECT_EQ(settings->Emission[1].libelle, u"Station 02"_s);
    EXPECT_EQ(settings->Emission[9].libelle, u"Station 10"_s);
    EXPECT_EQ(traced(u"FrmSetup: Init General: Start"_s), 1);
    EXPECT_EQ(traced(u"Sound Folder: "_s), 5 * 8);
    EXPECT_EQ(traced(u"FrmSetup: Init General: End"_s), 1);

    put(u"General_Out"_s, u"NbZones"_s, u"0"_s);
    settings->InitGeneral();
    EXPECT_EQ(settings->NbZones, 1);
}

TEST_F(SettingsTest, NetworkGroupsAreTakenOnceFromTheLegacyFile)
{
    put(kRecep0, u"Port"_s, u"5000"_s, kLegacy);
    put(u"ServeurFTP_2"_s, u"Serveur"_s, u"ftp.x"_s, kLegacy);
    put(u"ServeurFTP_2"_s, u"User"_s, u"bob"_s, kLegacy);
    put(u"XML"_s, u"Dossier"_s, u"D:\\Xml\\"_s);
    settings = reloaded();
    EXPECT_EQ(settings->Reception[0].Port, u"5000"_s);
    EXPECT_EQ(settings->ServeursFtp[2].User, u"bob"_s);

    // Saving the general group alone carries both network groups over.
    settings->editGeneral([](Settings& s) { s.TexteEmailsAdresses = u"a@x"_s; });
    settings->SaveSettings();
    EXPECT_EQ(stored(kRecep0, u"Port"_s), u"5000"_s);
    EXPECT_EQ(stored(u"ServeurFTP_2"_s, u"User"_s), u"bob"_s);

    put(kRecep0, u"Port"_s, u"6000"_s, kLegacy);
    const auto again = reloaded();
    EXPECT_EQ(again->Reception[0].Port, u"5000"_s);
    EXPECT_EQ(again->ServeursFtp[2].Serveur, u"ftp.x"_s);
}

TEST_F(SettingsTest, ASaveThatCannotWriteIsReported)
{
    // A folder where the settings file should be: no writer can replace it.
    ASSERT_TRUE(QDir().mkpath(NativePath(file())));
    settings->SaveSettings();
    EXPECT_EQ(traced(u"Err: FrmSetup: SaveSettings: cannot write "_s), 1);
}

TEST_F(SettingsTest, NewValuesSaveAndAnnounceOnlyTheGroupsTheyChange)
{
    QList<Settings::Groups> annonces;
    QObject::connect(settings.get(), &Settings::groupsChanged,
                     [&](Settings::Groups g) { annonces.append(g); });
    SettingsValues v = settings->values();
    settings->apply(v);
    EXPECT_TRUE(annonces.isEmpty()) << "the same values change nothing";
    EXPECT_FALSE(fileExists());

    v.ServeursFtp[4].Serveur = u"ftp.y"_s;
    v.ServeursFtp[4].User = u"bob"_s;
    v.Plateforme.DelaiReponse = 60;
    settings->apply(v);
    ASSERT_EQ(annonces.size(), 1);
    EXPECT_EQ(annonces[0], Settings::Groups(Settings::Group::General) | Settings::Group::Ftp);
    EXPECT_EQ(stored(u"ServeurFTP_4"_s, u"User"_s), u"bob"_s);
    EXPECT_EQ(stored(kRecep0, u"Actif"_s), kNone) << "the network group is not written";
    EXPECT_EQ(settings->Plateforme.DelaiReponse, 60);
    EXPECT_TRUE(settings->values() == v);
}

} // namespace
