#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace nvx::test {

// A real server of the tests (FTP, FTPS, SFTP, SMTP) run by the system's Python from
// tests/peers. The script binds a loopback port of its own choosing and prints "PORT <n>" once it
// accepts connections; further lines it prints are kept for the test to read. The server is
// killed when the peer goes.
class PythonPeer {
public:
    PythonPeer() = default;
    ~PythonPeer() { stop(); }
    PythonPeer(const PythonPeer&) = delete;
    PythonPeer& operator=(const PythonPeer&) = delete;

    // The Debian interpreter, which holds the peers' packages, rather than whatever python3
    // comes first on the PATH.
    static QString interpreter()
    {
        return QFileInfo::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                      : QStringLiteral("python3");
    }

    // Starts tests/peers/<script> with args; false (with error()) when it ends or stays silent
    // before announcing its port.
    bool start(const QString& script, const QStringList& args = {}, int limitMs = 20000)
    {
        process_.setProgram(interpreter());
        process_.setArguments(QStringList{QStringLiteral("-u"),
                                          QDir(QStringLiteral(NVX_PEERS_DIR)).filePath(script)} +
                              args);
        process_.start();
        QElapsedTimer elapsed;
        elapsed.start();
        while (!elapsed.hasExpired(limitMs)) {
            while (process_.canReadLine()) {
                const QString ligne = QString::fromUtf8(process_.readLine()).trimmed();
                if (ligne.startsWith(QStringLiteral("PORT "))) {
                    port_ = quint16(ligne.mid(5).toUInt());
                    return port_ != 0;
                }
                lines_ << ligne;
            }
            if (process_.state() == QProcess::NotRunning)
                break;
            process_.waitForReadyRead(100);
        }
        error_ = QString::fromUtf8(process_.readAllStandardError());
        return false;
    }

    quint16 port() const { return port_; }
    QString error() const { return error_; }

    // Lines printed since the port, waiting up to limitMs for at least count of them.
    QStringList lines(int count = 0, int limitMs = 5000)
    {
        QElapsedTimer elapsed;
        elapsed.start();
        for (;;) {
            while (process_.canReadLine())
                lines_ << QString::fromUtf8(process_.readLine()).trimmed();
            if (lines_.size() >= count || elapsed.hasExpired(limitMs) ||
                process_.state() == QProcess::NotRunning)
                return lines_;
            process_.waitForReadyRead(50);
        }
    }

    void stop()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

private:
    QProcess process_;
    quint16 port_ = 0;
    QString error_;
    QStringList lines_;
};

} // namespace nvx::test
