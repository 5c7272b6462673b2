#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QStringList>

namespace nvx::test {

// A message as the SMTP peer printed it, headers unfolded and decoded, body decoded from
// quoted-printable: decoded here independently of the code that encodes.
struct ReceivedMail {
    QString from;
    QStringList rcpt;
    QByteArray raw;
    QMap<QString, QString> headers;
    QString body;

    static QString decodeWords(QString value)
    {
        static const QRegularExpression word(QStringLiteral("=\\?UTF-8\\?B\\?([^?]*)\\?=\\s*"));
        QString out;
        qsizetype pos = 0;
        for (auto it = word.globalMatch(value); it.hasNext();) {
            const auto m = it.next();
            out += value.mid(pos, m.capturedStart() - pos);
            out += QString::fromUtf8(QByteArray::fromBase64(m.captured(1).toLatin1()));
            pos = m.capturedEnd();
        }
        return out + value.mid(pos);
    }

    static QString decodeQuotedPrintable(QByteArray text)
    {
        text.replace("=\r\n", "");
        QByteArray out;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text.at(i) == '=' && i + 2 < text.size()) {
                out += QByteArray::fromHex(text.mid(i + 1, 2));
                i += 2;
            } else {
                out += text.at(i);
            }
        }
        return QString::fromUtf8(out);
    }

    static ReceivedMail parse(const QString& jsonLine)
    {
        const QJsonObject o = QJsonDocument::fromJson(jsonLine.toUtf8()).object();
        ReceivedMail mail;
        mail.from = o.value(u"from").toString();
        for (const auto& r : o.value(u"rcpt").toArray())
            mail.rcpt << r.toString();
        mail.raw = o.value(u"data").toString().toUtf8();
        const qsizetype split = mail.raw.indexOf("\r\n\r\n");
        QString head = QString::fromUtf8(mail.raw.left(split));
        head.replace(QStringLiteral("\r\n "), QStringLiteral(" "));
        for (const QString& line : head.split(QStringLiteral("\r\n"))) {
            const qsizetype colon = line.indexOf(u':');
            mail.headers.insert(line.left(colon), decodeWords(line.mid(colon + 2)));
        }
        mail.body = decodeQuotedPrintable(mail.raw.mid(split + 4));
        return mail;
    }
};

// The messages among the lines the peer printed.
inline QList<ReceivedMail> receivedMails(const QStringList& lines)
{
    QList<ReceivedMail> mails;
    for (const QString& l : lines) {
        if (l.startsWith(u'{'))
            mails << ReceivedMail::parse(l);
    }
    return mails;
}

} // namespace nvx::test
