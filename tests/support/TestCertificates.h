#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace nvx::test {

// Made fresh by the openssl command in a folder of the test's: an authority, a certificate for
// 127.0.0.1 (as an IP address name only) signed by it with its key, and a second authority
// that has signed nothing here. Each certificate is valid for two days.
struct TestCertificates {
    QString dir;
    QString error; // what failed, empty when everything was made

    QString ca() const { return dir + QStringLiteral("/ca.pem"); }
    QString serverCert() const { return dir + QStringLiteral("/server.pem"); }
    QString serverKey() const { return dir + QStringLiteral("/server.key"); }
    QString otherCa() const { return dir + QStringLiteral("/other-ca.pem"); }
    bool ok() const { return error.isEmpty(); }

    explicit TestCertificates(const QString& folder) : dir(folder)
    {
        QDir().mkpath(dir);
        authority(QStringLiteral("ca"), QStringLiteral("/CN=NVX Test Authority"));
        authority(QStringLiteral("other-ca"), QStringLiteral("/CN=NVX Unrelated Authority"));
        QFile extensions(dir + QStringLiteral("/server.ext"));
        if (extensions.open(QIODevice::WriteOnly))
            extensions.write("subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n"
                             "keyUsage=digitalSignature\nextendedKeyUsage=serverAuth\n");
        extensions.close();
        openssl(
            {QStringLiteral("req"), QStringLiteral("-new"), QStringLiteral("-newkey"), QStringLiteral("ec"),
             QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
             QStringLiteral("-nodes"), QStringLiteral("-keyout"), serverKey(), QStringLiteral("-subj"),
             QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-out"), dir + QStringLiteral("/server.csr")});
        openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                 dir + QStringLiteral("/server.csr"), QStringLiteral("-CA"), ca(), QStringLiteral("-CAkey"),
                 dir + QStringLiteral("/ca.key"), QStringLiteral("-set_serial"), QStringLiteral("2"),
                 QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-extfile"),
                 extensions.fileName(), QStringLiteral("-out"), serverCert()});
    }

private:
    void authority(const QString& name, const QString& subject)
    {
        openssl({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                 QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                 QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                 QStringLiteral("-keyout"), dir + u'/' + name + QStringLiteral(".key"),
                 QStringLiteral("-subj"), subject, QStringLiteral("-days"), QStringLiteral("2"),
                 QStringLiteral("-addext"), QStringLiteral("basicConstraints=critical,CA:TRUE"),
                 QStringLiteral("-addext"), QStringLiteral("keyUsage=critical,keyCertSign,cRLSign"),
                 QStringLiteral("-out"), dir + u'/' + name + QStringLiteral(".pem")});
    }

    void openssl(const QStringList& args)
    {
        if (!error.isEmpty())
            return;
        QProcess p;
        p.start(QStringLiteral("openssl"), args);
        if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            error = QStringLiteral("openssl ") + args.first() + QStringLiteral(": ") +
                    QString::fromLocal8Bit(p.readAllStandardError());
    }
};

} // namespace nvx::test
