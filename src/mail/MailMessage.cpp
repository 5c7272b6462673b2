#include "mail/MailMessage.h"

#include "mail/MailText.h"

#include <QUuid>

namespace nvx {

namespace {

const QString kLineEnd = QStringLiteral("\r\n");

QByteArray header(const char* name, const QByteArray& value)
{
    return QByteArray(name) + ": " + value + "\r\n";
}

QByteArray addressList(const QStringList& addresses)
{
    QByteArray out;
    for (const QString& a : addresses) {
        if (!out.isEmpty())
            out += ",\r\n ";
        out += a.toUtf8();
    }
    return out;
}

// The display name between quotes, its own quotes and backslashes escaped.
QByteArray mailbox(const QString& name, const QString& address)
{
    if (name.isEmpty())
        return address.toUtf8();
    QString quoted = name;
    quoted.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
    // An encoded word may not stand inside quotes: a name beyond ASCII goes encoded, unquoted.
    const QByteArray shown = encodeHeaderText(name);
    const QByteArray display = shown == name.toUtf8() ? '"' + quoted.toUtf8() + '"' : shown;
    return display + " <" + address.toUtf8() + '>';
}

} // namespace

QString mailBody(const WorkstationInfo& workstation, const QDateTime& now, const QString& message)
{
    QString executable = workstation.executableName;
    if (!executable.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive))
        executable += QStringLiteral(".exe");
    QString text = message;
    text.replace(u'|', kLineEnd);
    const QStringList lines = {
        QStringLiteral("Radio: ") + workstation.radioId,
        QStringLiteral("Ordinateur: ") + workstation.computerName,
        QStringLiteral("OS: ") + workstation.osText,
        QStringLiteral("Mémoire: ") + QString::number(workstation.memoryMb) + QStringLiteral(" Mo"),
        QString(),
        QStringLiteral("Date du poste: ") + now.toString(QStringLiteral("dd/MM/yyyy hh:mm:ss")),
        QStringLiteral("Poste démarré depuis: ") + NbSecondes2String(workstation.machineUptimeSec),
        QStringLiteral("Application démarrée depuis: ") + NbSecondes2String(workstation.appUptimeSec),
        QString(),
        QStringLiteral("Application: ") + executable,
        QStringLiteral("Version: ") + workstation.version,
        QString(),
        QStringLiteral("Message: "),
        text,
    };
    return lines.join(kLineEnd);
}

QString mailSubject(const WorkstationInfo& workstation, const QString& titre)
{
    const QString trimmed = titre.trimmed();
    if (!trimmed.isEmpty())
        return trimmed;
    QString caption = workstation.mainCaption;
    return caption.remove(QStringLiteral("Velmora: "));
}

QByteArray buildMessage(const MailContent& mail, const QString& messageId)
{
    QByteArray out;
    out += header("From", mailbox(mail.senderName, mail.senderAddress));
    if (!mail.to.isEmpty())
        out += header("To", addressList(mail.to));
    if (!mail.cc.isEmpty())
        out += header("Cc", addressList(mail.cc));
    out += header("Date", mailDate(mail.date));
    out += header("Message-ID", '<' + messageId.toUtf8() + '>');
    out += header("Subject", encodeHeaderText(mail.subject));
    out += header("MIME-Version", "1.0");
    out += header("Content-Type", "text/plain; charset=UTF-8");
    out += header("Content-Transfer-Encoding", "quoted-printable");
    out += "\r\n";
    out += encodeQuotedPrintable(mail.body);
    out += "\r\n";
    return out;
}

QString newMessageId(const QString& senderAddress)
{
    const qsizetype at = senderAddress.lastIndexOf(u'@');
    const QString domain = at >= 0 ? senderAddress.mid(at + 1).trimmed() : QString();
    return QUuid::createUuid().toString(QUuid::WithoutBraces) + u'@' +
           (domain.isEmpty() ? QStringLiteral("localhost") : domain);
}

} // namespace nvx
