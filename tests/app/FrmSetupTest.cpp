#include "app/FrmSetup.h"

#include "common/IniFile.h"
#include "common/NativePath.h"
#include "link/Replies.h"
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
const QString kRecep0 = u"Peripheriques_Reseau_Reception_UDP_0"_s;

// The settings window's commands over the settings of instance 3, without any window.
class FrmSetupTest : public ::testing::Test, protected test::Owners {
protected:
    FrmSetupTest()
    {
        trace.setLogFolder(0, u"C:\\Logs\\"_s);
        config.CodeVersionOS = 10;
        config.NoInstance = 3;
    }

    QString file() const { return settings->fichierGeneral(); }
    bool fileExists() const { return QFileInfo::exists(NativePath(file())); }
    QString stored(const QString& section, const QString& key) const
    {
        return IniFile::read(NativePath(file()), section, key, kNone);
    }

    std::unique_ptr<Settings> settings =
        std::make_unique<Settings>(identity, lifecycle, trace, systeme, host, ini, config);
    Replies replies{trace, clock, host, *settings};
    FrmSetup frmSetup{*settings, replies, systeme, host, trace};
};

TEST_F(FrmSetupTest, UnloadAsksOnlyForModifiedGroupsAndSavesThoseOnYes)
{
    lifecycle.setSetupCharge(true);
    frmSetup.Form_Unload();
    EXPECT_TRUE(host.boxes.isEmpty());
    EXPECT_FALSE(lifecycle.SetupCharge());
    EXPECT_FALSE(fileExists());
    QFile log(drives.filePath(u"c/Logs/20200220.Log"_s));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("---------- FrmSetup: Form_Unload: End"));

    host.answers = {Host::Answer::No};
    settings->editGeneral([](Settings& s) { s.TexteDossierXML = u"D:\\No\\"_s; });
    frmSetup.Form_Unload();
    ASSERT_EQ(host.boxes.size(), 1);
    EXPECT_EQ(host.boxes[0].text, u"Voulez-vous enregistrer les options ?"_s);
    EXPECT_EQ(host.boxes[0].buttons, Host::Buttons::YesNo);
    EXPECT_TRUE(host.boxes[0].title.startsWith(u"Velmora: Tools NVX - "_s));
    EXPECT_FALSE(settings->generalModified);
    EXPECT_FALSE(fileExists());

    host.answers = {Host::Answer::Yes};
    settings->editGeneral([](Settings& s) { s.TexteDossierXML = u"D:\\Yes\\"_s; });
    settings->editFtp([](Settings& s) { s.ServeursFtp[0].Serveur = u"ftp.yes"_s; });
    frmSetup.Form_Unload();
    EXPECT_EQ(host.boxes.size(), 2);
    EXPECT_EQ(stored(u"XML"_s, u"Dossier"_s), u"D:\\Yes\\"_s);
    EXPECT_EQ(stored(u"ServeurFTP_0"_s, u"Serveur"_s), u"ftp.yes"_s);
    EXPECT_EQ(stored(kRecep0, u"Actif"_s), kNone);
    EXPECT_FALSE(settings->generalModified || settings->networkModified || settings->ftpModified);
}

TEST_F(FrmSetupTest, ButtonsPickFoldersAndTestTheMail)
{
    host.folderAnswers = {u"D:\\Sons"_s, QString()};
    settings->TexteDossierXML = u"D:\\Old\\"_s;
    frmSetup.CommandDossierSon_Click();
    frmSetup.CommandDossierXML_Click();
    EXPECT_EQ(settings->TexteDossierConvertSons, u"D:\\Sons\\"_s);
    EXPECT_EQ(settings->TexteDossierXML, u"D:\\Old\\"_s);
    EXPECT_TRUE(settings->generalModified);

    QStringList mails;
    QObject::connect(&frmSetup, &FrmSetup::mailTestRequested,
                     [&](const QString& to, const QString& text) { mails << to + u'|' + text + u"|test"_s; });
    settings->TexteEmailsAdresses = u"  "_s;
    frmSetup.CommandEmailTest_Click();
    ASSERT_EQ(host.boxes.size(), 1);
    EXPECT_EQ(host.boxes[0].text, u"Veuillez renseigner un ou plusieurs emails (séparés pas des ;)."_s);
    EXPECT_TRUE(mails.isEmpty());
    settings->TexteEmailsAdresses = u"a@x;b@y"_s;
    frmSetup.CommandEmailTest_Click();
    EXPECT_EQ(mails, QStringList{u"a@x;b@y|Test d'envoi de mail.|test"_s});
}

TEST_F(FrmSetupTest, TheTestSendOfARowNeedsItsTextAndTheFtpButtonHandsItsRowOn)
{
    settings->Emission[3].IP = u"127.0.0.2"_s;
    settings->Emission[3].Port1 = u"9"_s;
    frmSetup.BtnUDPSend_Click(3);
    EXPECT_EQ(traced(u"UDP: NoAddress: "_s), 0) << "nothing to send: the text is blank";

    QStringList serveurs;
    QObject::connect(&frmSetup, &FrmSetup::ftpTestRequested,
                     [&](int index, const ServeurFtp& f) { serveurs << QString::number(index) + f.Serveur; });
    settings->ServeursFtp[2].Serveur = u"ftp.x"_s;
    frmSetup.CommandFTPTester_Click(2);
    frmSetup.CommandFTPTester_Click(20);
    EXPECT_EQ(serveurs, QStringList{u"2ftp.x"_s});
}

TEST_F(FrmSetupTest, AGroupWithABadValueKeepsItsStoredValuesAndTheOthersAreSaved)
{
    settings->Reception[1] = {u"127.0.0.1"_s, u"5001"_s, false, {}};
    settings->saveAll();
    SettingsValues v = settings->values();
    v.TexteEmailsAdresses = u"regie@radio.fr"_s;
    v.Reception[1].Port = u"70000"_s;
    v.Reception[2].IP = u"10.0.0.9"_s; // valid, but in the same group as the bad port
    v.ServeursFtp[0].Serveur = u"ftp.radio.fr"_s;

    const QList<FieldError> erreurs = frmSetup.appliquer(v);
    ASSERT_EQ(erreurs.size(), 1);
    EXPECT_EQ(erreurs[0].field, u"Reception[1].Port"_s);
    EXPECT_EQ(stored(u"Email"_s, u"Emails"_s), u"regie@radio.fr"_s);
    EXPECT_EQ(stored(u"ServeurFTP_0"_s, u"Serveur"_s), u"ftp.radio.fr"_s);
    EXPECT_EQ(stored(u"Peripheriques_Reseau_Reception_UDP_1"_s, u"Port"_s), u"5001"_s)
        << "nothing half-valid";
    EXPECT_EQ(settings->Reception[2].IP, QString()) << "the whole network group is kept back";
}

} // namespace
