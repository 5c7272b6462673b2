#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace nvx {

// What every mail tells about the workstation and the application that sends it.
struct WorkstationInfo {
    QString radioId; // the current database's radio identifier
    QString computerName;
    QString osText;
    qint64 memoryMb = 0;         // memory used by the process
    qint64 machineUptimeSec = 0; // since the workstation started
    qint64 appUptimeSec = 0;     // since the application started
    QString executableName;      // without ".exe"
    QString version;
    QString mainCaption; // the main window's caption
};

// One mail, ready to be written out.
struct MailContent {
    QString senderName;
    QString senderAddress;
    QStringList to;
    QStringList cc;
    QString subject;
    QString body; // lines separated by "\r\n"
    QDateTime date;
};

// The body: the workstation block, then "Message: " and the caller's message, where every "|"
// starts a new line. Lines end with "\r\n".
QString mailBody(const WorkstationInfo& workstation, const QDateTime& now, const QString& message);

// The caller's title when it is not blank, else the main caption without its maker's prefix.
QString mailSubject(const WorkstationInfo& workstation, const QString& titre);

// The mail as it goes on the wire: headers, a blank line, then the body in quoted-printable
// UTF-8; every line ends with CR LF. messageId is the unique identifier without its brackets.
QByteArray buildMessage(const MailContent& mail, const QString& messageId);

// A unique message identifier at the sender's domain.
QString newMessageId(const QString& senderAddress);

} // namespace nvx
