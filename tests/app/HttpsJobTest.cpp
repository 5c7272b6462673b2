#include "MainJobFixture.h"
#include "support/TestCertificates.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <httplib.h>

namespace {

using nvx::test::TestCertificates;

// The whole main job against the simulator serving https with a certificate made for the test.
class HttpsJobTest : public nvx::test::MainJobFixture {
protected:
    QString startSecurePlatform()
    {
        return startPlatform({QStringLiteral("--tls-cert"), certs.serverCert(), QStringLiteral("--tls-key"),
                              certs.serverKey()});
    }
    // What the simulator received, read over TLS with the test's authority.
    QJsonObject secureState(const QString& address) const
    {
        const qsizetype colon = address.lastIndexOf(u':');
        httplib::SSLClient client(address.left(colon).toStdString(), address.mid(colon + 1).toInt());
        client.set_ca_cert_path(certs.ca().toStdString());
        client.enable_server_certificate_verification(true);
        const httplib::Result r = client.Get("/sim/state");
        if (!r || r->status != 200)
            return {};
        return QJsonDocument::fromJson(QByteArray::fromStdString(r->body)).object();
    }
    // The marks of the request's day, 24 of them; none when the platform has no day.
    static QJsonArray marks(const QJsonObject& st)
    {
        const QJsonArray days = st.value(QStringLiteral("hourStates")).toArray();
        return days.isEmpty() ? QJsonArray{} : days[0].toObject().value(QStringLiteral("states")).toArray();
    }

    // The bundles are named in the suite's form, spelled in another case than on disk.
    TestCertificates certs{site.c(QStringLiteral("Certificats"))};
};

TEST_F(HttpsJobTest, EveryHourGoesOverHttpsWhenTheNamedAuthorityVouchesForThePlatform)
{
    ASSERT_TRUE(certs.ok()) << qPrintable(certs.error);
    const QString address = startSecurePlatform();
    ASSERT_FALSE(address.isEmpty());
    settings(QStringLiteral("Plateforme"), QStringLiteral("CertificatsCA"),
             QStringLiteral("C:\\certificats\\CA.pem"));
    QByteArray out;
    EXPECT_EQ(job(&out), 0) << out.constData();
    EXPECT_TRUE(out.contains("Transfert du conducteur de 08H: Fin")) << out.constData();
    EXPECT_FALSE(out.contains("non envoy")) << out.constData();
    EXPECT_FALSE(out.contains("erreur TLS")) << out.constData();

    const QJsonObject st = secureState(address);
    ASSERT_EQ(imports(st).size(), 2) << QJsonDocument(st).toJson().constData();
    EXPECT_EQ(imports(st)[0].toObject().value(QStringLiteral("hour")).toInt(), 7);
    EXPECT_EQ(imports(st)[1].toObject().value(QStringLiteral("hour")).toInt(), 8);
    ASSERT_EQ(marks(st).size(), 24);
    EXPECT_EQ(marks(st)[7].toInt(), 1);
    EXPECT_EQ(marks(st)[8].toInt(), 1);
    EXPECT_TRUE(xmlFiles().isEmpty()) << xmlFiles().join(u' ').toStdString();
}

TEST_F(HttpsJobTest, APlatformNoTrustedAuthorityVouchesForSendsNothingAndSaysTls)
{
    ASSERT_TRUE(certs.ok()) << qPrintable(certs.error);
    const QString address = startSecurePlatform();
    ASSERT_FALSE(address.isEmpty());
    const QString port = address.mid(address.lastIndexOf(u':') + 1);
    struct Case {
        const char* what;
        QString bundle;
        QString url;
    };
    const Case cases[] = {
        {"an unrelated authority", QStringLiteral("C:\\Certificats\\other-ca.pem"),
         QStringLiteral("https://127.0.0.1:") + port},
        {"the system's store", QString(), QStringLiteral("https://127.0.0.1:") + port},
        // The right authority, but the certificate does not carry this name.
        {"another host name", QStringLiteral("C:\\Certificats\\ca.pem"),
         QStringLiteral("https://localhost:") + port},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        settings(QStringLiteral("Plateforme"), QStringLiteral("CertificatsCA"), c.bundle);
        settings(QStringLiteral("Plateforme"), QStringLiteral("URL"), c.url);
        QByteArray out;
        job(&out);
        EXPECT_TRUE(out.contains("Erreur de communication avec la plateforme: erreur TLS: "))
            << out.constData();
        EXPECT_FALSE(out.contains("Transfert du conducteur de 07H: Fin")) << out.constData();
        EXPECT_EQ(xmlFiles().size(), 2) << "the hour files wait for a later job";
    }
    // Not one request got through the handshake.
    EXPECT_TRUE(requests().isEmpty()) << requests().join(u'\n').toStdString();
    const QJsonObject st = secureState(address);
    ASSERT_FALSE(st.isEmpty());
    EXPECT_TRUE(imports(st).isEmpty()) << QJsonDocument(st).toJson().constData();
    for (const QJsonValue& mark : marks(st))
        EXPECT_EQ(mark.toInt(), 0);
}

TEST_F(HttpsJobTest, ABundleThatIsNotThereIsNamedAndNothingIsSent)
{
    ASSERT_TRUE(certs.ok()) << qPrintable(certs.error);
    startSecurePlatform();
    settings(QStringLiteral("Plateforme"), QStringLiteral("CertificatsCA"),
             QStringLiteral("C:\\Certificats\\absent.pem"));
    QByteArray out;
    job(&out);
    const QByteArray expected =
        "Erreur de communication avec la plateforme: erreur TLS: fichier de certificats "
        "introuvable: " +
        site.c(QStringLiteral("Certificats/absent.pem")).toUtf8();
    EXPECT_TRUE(out.contains(expected)) << out.constData();
    const QString report = QStringLiteral("Certificats CA de la plateforme: ") +
                           site.c(QStringLiteral("Certificats/absent.pem")) + QStringLiteral(" (absent)");
    EXPECT_TRUE(QString::fromUtf8(out).contains(report)) << out.constData();
    EXPECT_TRUE(requests().isEmpty()) << "nothing reached the platform";
    EXPECT_EQ(xmlFiles().size(), 2);
}

} // namespace
