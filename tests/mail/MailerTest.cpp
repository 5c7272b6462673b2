#include "mail/Mailer.h"

#include "common/NativePath.h"
#include "config/SettingsValues.h"
#include "support/Owners.h"
#include "support/PythonPeer.h"
#include "support/ReceivedMail.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace nvx;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString kPassword = u"12secretpw"_s;
// Long enough to need two encoded words.
const QString kTitle = u"Tools NVX: station 1: heures non envoyées, réessayées à 07H, 08H et 09H ce matin"_s;

WorkstationInfo workstation()
{
    return {u"{0A1B}"_s,
            u"POSTE-RADIO"_s,
            u"Debian GNU/Linux 12"_s,
            42,
            90061,
            65,
            u"VL3_Tools_NVX"_s,
            u"3.2.1"_s,
            u"Velmora: Tools NVX - 3.2.1 - {0A1B}"_s};
}

class MailerTest : public ::testing::Test, protected test::TraceOwners {
protected:
    MailerTest() : mailer(values, host, trace, clock, workstation)
    {
        values.EmailSmtp.Serveur = u"127.0.0.1"_s;
        values.EmailSmtp.Securite = 0;
        values.EmailSmtp.Expediteur = u"noreply@velmora.example"_s;
        values.EmailSmtp.PW = kPassword;
    }
    // Starts the peer with args and points the settings at it.
    void serve(const QStringList& args = {})
    {
        ASSERT_TRUE(peer.start(u"smtp_peer.py"_s, args)) << peer.error().toStdString();
        values.EmailSmtp.Port = peer.port();
        for (const QString& l : peer.lines())
            if (l.startsWith(u"CERT "_s))
                cert = l.mid(5);
    }
    QList<test::ReceivedMail> received(int count)
    {
        return test::receivedMails(peer.lines(count + 1)); // the certificate's line comes first
    }
    bool passwordLeaked() const
    {
        return !lignes().filter(kPassword).isEmpty() || mailer.lastError().contains(kPassword);
    }

    SettingsValues values;
    Mailer mailer;
    test::PythonPeer peer;
    QString cert;
};

TEST_F(MailerTest, DeliversTheWorkstationBlockAndTheMessageLines)
{
    serve();
    ASSERT_TRUE(mailer.EnvoiMail(false, u"a@x.fr;;b@y.fr ;"_s, u"Premier|Second"_s, u"  "_s + kTitle, false));
    const auto mails = received(1);
    ASSERT_EQ(mails.size(), 1);
    const auto& m = mails.first();
    EXPECT_EQ(m.from, u"noreply@velmora.example"_s);
    EXPECT_EQ(m.rcpt, (QStringList{u"a@x.fr"_s, u"b@y.fr"_s}));
    EXPECT_EQ(m.headers.value(u"From"_s), u"\"Velmora Assistance\" <noreply@velmora.example>"_s);
    EXPECT_EQ(m.headers.value(u"To"_s), u"a@x.fr, b@y.fr"_s);
    EXPECT_FALSE(m.headers.contains(u"Cc"_s));
    EXPECT_TRUE(m.headers.value(u"Date"_s).startsWith(u"Thu, 20 Feb 2020 10:00:00 "_s));
    EXPECT_TRUE(m.headers.value(u"Message-ID"_s).endsWith(u"@velmora.example>"_s));
    EXPECT_TRUE(m.raw.contains("Subject: =?UTF-8?B?"));
    EXPECT_EQ(m.headers.value(u"Subject"_s), kTitle);
    EXPECT_EQ(m.headers.value(u"Content-Type"_s), u"text/plain; charset=UTF-8"_s);
    const QStringList body = {u"Radio: {0A1B}"_s,
                              u"Ordinateur: POSTE-RADIO"_s,
                              u"OS: Debian GNU/Linux 12"_s,
                              u"Mémoire: 42 Mo"_s,
                              {},
                              u"Date du poste: 20/02/2020 10:00:00"_s,
                              u"Poste démarré depuis: 1 J 1 H 1 Min 1 Sec"_s,
                              u"Application démarrée depuis: 1 Min 5 Sec"_s,
                              {},
                              u"Application: VL3_Tools_NVX.exe"_s,
                              u"Version: 3.2.1"_s,
                              {},
                              u"Message: "_s,
                              u"Premier"_s,
                              u"Second"_s,
                              {}};
    EXPECT_EQ(m.body, body.join(u"\r\n"_s));
    EXPECT_FALSE(m.raw.contains(QByteArray("\n\n"))) << "every line ends with CR LF";
    EXPECT_TRUE(host.boxes.isEmpty());
    EXPECT_EQ(traced(u"Mail: sent to 2 recipient(s)"_s), 1);
}

TEST_F(MailerTest, SupportCopiesFollowTheInstallation)
{
    serve();
    values.EmailSmtp.CopiesSupport = u"s1@v.fr; s2@v.fr;"_s;
    values.EmailSmtp.CopiePartenaire = u"p@d.fr"_s;
    values.EmailSmtp.OptionsBase = u"0000000001"_s;
    values.EmailSmtp.NoClient = u"57"_s;
    ASSERT_TRUE(mailer.EnvoiMail(false, u"a@x.fr"_s, u"x"_s, {}, false));
    values.EmailSmtp.OptionsBase = u"1111111110"_s;
    values.EmailSmtp.NoClient = u"58"_s;
    ASSERT_TRUE(mailer.EnvoiMail(false, u"a@x.fr"_s, u"x"_s, {}, false));
    values.EmailSmtp.OptionsBase = u"0000000001"_s;
    ASSERT_TRUE(mailer.EnvoiMail(false, u"  "_s, u"x"_s, {}, true)) << "forced: to the copies only";
    const auto mails = received(3);
    ASSERT_EQ(mails.size(), 3);
    EXPECT_EQ(mails[0].rcpt, (QStringList{u"a@x.fr"_s, u"s1@v.fr"_s, u"s2@v.fr"_s, u"p@d.fr"_s}));
    EXPECT_EQ(mails[0].headers.value(u"Cc"_s), u"s1@v.fr, s2@v.fr, p@d.fr"_s);
    EXPECT_EQ(mails[0].headers.value(u"Subject"_s), u"Tools NVX - 3.2.1 - {0A1B}"_s)
        << "no title: the caption";
    EXPECT_EQ(mails[1].rcpt, QStringList{u"a@x.fr"_s});
    EXPECT_EQ(mails[2].rcpt, (QStringList{u"s1@v.fr"_s, u"s2@v.fr"_s}));
    EXPECT_FALSE(mails[2].headers.contains(u"To"_s));
}

TEST_F(MailerTest, StartTlsAndImplicitTlsTrustTheGivenAuthorities)
{
    for (const int securite : {1, 2}) {
        SCOPED_TRACE(securite);
        test::PythonPeer tlsPeer;
        ASSERT_TRUE(tlsPeer.start(u"smtp_peer.py"_s, {securite == 1 ? u"--starttls"_s : u"--tls"_s}));
        values.EmailSmtp.Port = tlsPeer.port();
        values.EmailSmtp.Securite = securite;
        values.EmailSmtp.Certificat = tlsPeer.lines().first().mid(5);
        ASSERT_TRUE(mailer.EnvoiMail(true, u"a@x.fr"_s, u"Test d'envoi de mail."_s, {}, true))
            << mailer.lastError().toStdString();
        EXPECT_EQ(test::receivedMails(tlsPeer.lines(2)).size(), 1);
        ASSERT_EQ(host.boxes.size(), 1);
        EXPECT_EQ(host.boxes[0].icon, Host::Icon::Information);
        EXPECT_EQ(host.boxes[0].title, u"Velmora: Tools NVX - 3.2.1 - {0A1B}"_s);
        EXPECT_EQ(host.boxes[0].text,
                  u"Vérifiez dans votre boite mail si vous recevez bien ce mail de test.\n\n"
                  u"Pensez à vérifier dans vos spams."_s);
        // Without the authorities the self-signed server is not trusted.
        values.EmailSmtp.Certificat.clear();
        EXPECT_FALSE(mailer.EnvoiMail(true, u"a@x.fr"_s, u"x"_s, {}, true));
        EXPECT_EQ(mailer.lastError(), u"échec de la sécurisation TLS"_s);
        ASSERT_EQ(host.boxes.size(), 2);
        EXPECT_EQ(host.boxes[1].icon, Host::Icon::Exclamation);
        EXPECT_EQ(host.boxes[1].text, u"Un problème est survenu lors de l'envoi du mail.\n\n"
                                      u"Vérifiez votre paramétrage.\néchec de la sécurisation TLS"_s);
        host.boxes.clear();
    }
}

TEST_F(MailerTest, RefusedLoginIsReportedWithoutThePassword)
{
    serve({u"--auth"_s, u"radio@velmora.example:"_s + kPassword});
    values.EmailSmtp.Expediteur.clear();
    values.EmailSmtp.User = u"radio@velmora.example"_s;
    values.EmailSmtp.PW = kPassword + u"x"_s;
    EXPECT_FALSE(mailer.EnvoiMail(false, u"a@x.fr"_s, u"x"_s, {}, false));
    EXPECT_EQ(mailer.lastError(), u"identifiant ou mot de passe refusé par le serveur SMTP"_s);
    EXPECT_EQ(traced(u"Err: Mail: Not sended"_s), 1);
    EXPECT_EQ(traced(u"Mail: identifiant ou mot de passe refusé"_s), 1);
    EXPECT_FALSE(passwordLeaked());
    values.EmailSmtp.PW = kPassword;
    ASSERT_TRUE(mailer.EnvoiMail(false, u"a@x.fr"_s, u"x"_s, {}, false)) << mailer.lastError().toStdString();
    const auto mails = received(1);
    ASSERT_EQ(mails.size(), 1);
    EXPECT_EQ(mails.first().from, u"radio@velmora.example"_s) << "the login stands in for a blank sender";
    EXPECT_FALSE(passwordLeaked());
}

TEST_F(MailerTest, ServerRefusalsAndDropsGiveTheirReason)
{
    serve({u"--refuse-rcpt"_s, u"bad@x.fr"_s});
    EXPECT_FALSE(mailer.EnvoiMail(false, u"bad@x.fr"_s, u"x"_s, {}, false));
    EXPECT_EQ(mailer.lastError(), u"destinataire refusé par le serveur"_s);
    peer.stop();
    test::PythonPeer closing;
    ASSERT_TRUE(closing.start(u"smtp_peer.py"_s, {u"--close-after"_s, u"DATA"_s}));
    values.EmailSmtp.Port = closing.port();
    EXPECT_FALSE(mailer.EnvoiMail(false, u"a@x.fr"_s, u"x"_s, {}, false));
    EXPECT_EQ(mailer.lastError(), u"connexion interrompue par le serveur"_s);
    EXPECT_EQ(traced(u"Err: Mail: Not sended"_s), 2);
}

TEST_F(MailerTest, NothingIsSentWithoutServerOrRecipient)
{
    values.EmailSmtp.Serveur = u" "_s;
    EXPECT_FALSE(mailer.EnvoiMail(true, u"a@x.fr"_s, u"x"_s, {}, true));
    ASSERT_EQ(host.boxes.size(), 1);
    EXPECT_EQ(host.boxes[0].text, u"Serveur SMTP non configuré"_s);
    EXPECT_EQ(host.boxes[0].icon, Host::Icon::Exclamation);
    EXPECT_FALSE(mailer.EnvoiMail(false, u"a@x.fr"_s, u"x"_s, {}, true));
    EXPECT_EQ(traced(u"Err: Mail: Serveur SMTP non configuré"_s), 1);
    // A server that would refuse the connection: a mail that went that far would say so.
    values.EmailSmtp.Serveur = u"127.0.0.1"_s;
    values.EmailSmtp.Port = 1;
    EXPECT_FALSE(mailer.EnvoiMail(false, u" ; "_s, u"x"_s, {}, true));
    EXPECT_EQ(mailer.lastError(), u"aucun destinataire"_s);
    EXPECT_EQ(traced(u"Mail: no recipient at all"_s), 1);
    EXPECT_FALSE(mailer.EnvoiMail(false, u" "_s, u"x"_s, {}, false));
    EXPECT_EQ(traced(u"Mail: no recipient at all"_s), 1) << "not forced: nothing to say";
}

TEST_F(MailerTest, MailAskedForWhileAnotherIsOnItsWayIsDropped)
{
    serve();
    Mailer other(values, host, trace, clock, workstation);
    int asked = 0;
    bool nested = true;
    host.onPump = [&] {
        if (asked++ == 0)
            nested = other.EnvoiMail(false, u"b@y.fr"_s, u"second"_s, u"Nested"_s, true);
    };
    ASSERT_TRUE(mailer.EnvoiMail(false, u"a@x.fr"_s, u"first"_s, {}, false));
    EXPECT_GT(asked, 0);
    EXPECT_FALSE(nested);
    EXPECT_EQ(traced(u"Mail: a mail is already on its way, this one is dropped: Nested"_s), 1);
    host.onPump = nullptr;
    EXPECT_TRUE(other.EnvoiMail(false, u"b@y.fr"_s, u"third"_s, {}, false)) << "the guard is cleared";
    const auto mails = received(2);
    ASSERT_EQ(mails.size(), 2);
    EXPECT_EQ(mails[0].rcpt, QStringList{u"a@x.fr"_s});
    EXPECT_EQ(mails[1].rcpt, QStringList{u"b@y.fr"_s});
}

} // namespace

TEST(SmtpAccountTest, TheAuthoritiesFileOfTheSettingsIsFoundOnDisk)
{
    QTemporaryDir drives;
    QDir().mkpath(drives.filePath(u"c/Certs"_s));
    QFile(drives.filePath(u"c/Certs/ca.pem"_s)).open(QIODevice::WriteOnly);
    setDriveRoot(drives.path());
    ParametresSmtp smtp;
    smtp.Certificat = u" C:\\CERTS\\CA.pem "_s;
    EXPECT_EQ(smtpAccount(smtp).caFile, drives.filePath(u"c/Certs/ca.pem"_s));
    smtp.Certificat.clear();
    EXPECT_TRUE(smtpAccount(smtp).caFile.isEmpty()) << "none named: the system's store";
    setDriveRoot({});
}
