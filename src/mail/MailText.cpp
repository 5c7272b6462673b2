#include "mail/MailText.h"

#include <QLocale>

#include <array>

namespace nvx {

namespace {

constexpr std::array<int, 17> kPartnerCustomers = {39,  57,  76,  79,  80,  93,  99,  118, 122,
                                                   139, 158, 168, 171, 174, 184, 192, 195};

// Quoted-printable keeps a line to 76 characters, the "=" of a soft break included.
constexpr int kQpLineMax = 76;
// UTF-8 bytes per encoded word: 45 bytes make 60 base64 characters, 72 with the markers.
constexpr int kWordBytes = 45;

bool printableAscii(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    }
    return true;
}

QByteArray escaped(char c)
{
    return '=' + QByteArray(1, c).toHex().toUpper();
}

// One line of text, without its break, as quoted-printable lines joined by soft breaks.
QByteArray encodeQpLine(const QByteArray& line)
{
    QByteArray out;
    int width = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line.at(i);
        const uchar u = uchar(c);
        const bool last = i == line.size() - 1;
        // A blank at the end of a line would be lost in transit.
        const bool plain = (u >= 33 && u <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last);
        const QByteArray piece = plain ? QByteArray(1, c) : escaped(c);
        // Room is kept for the "=" of a soft break unless this is the line's last piece.
        const int limit = last ? kQpLineMax : kQpLineMax - 1;
        if (width + piece.size() > limit) {
            out += "=\r\n";
            width = 0;
        }
        out += piece;
        width += int(piece.size());
    }
    return out;
}

} // namespace

QString NbSecondes2String(qint64 seconds)
{
    qint64 minutes = seconds / 60;
    seconds %= 60;
    qint64 hours = minutes / 60;
    minutes %= 60;
    qint64 days = 0;
    if (hours > 23) {
        days = hours / 24;
        hours %= 24;
    }
    QString text;
    if (days > 0)
        text = QString::number(days) + QStringLiteral(" J ") + QString::number(hours) + QStringLiteral(" H ");
    else if (hours > 0)
        text = QString::number(hours) + QStringLiteral(" H ");
    return text + QString::number(minutes) + QStringLiteral(" Min ") + QString::number(seconds) +
           QStringLiteral(" Sec");
}

bool EstCeUneRadioDravik(const QString& noClient)
{
    bool ok = false;
    const int number = noClient.trimmed().toInt(&ok);
    if (!ok)
        return false;
    for (const int n : kPartnerCustomers) {
        if (n == number)
            return true;
    }
    return false;
}

QStringList splitRecipients(const QString& list)
{
    QStringList addresses;
    for (const QString& part : list.split(u';')) {
        const QString address = part.trimmed();
        if (!address.isEmpty())
            addresses << address;
    }
    return addresses;
}

QByteArray encodeQuotedPrintable(const QString& text)
{
    QString normalised = text;
    normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QStringList lines = normalised.split(u'\n');
    QByteArray out;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            out += "\r\n";
        out += encodeQpLine(lines.at(i).toUtf8());
    }
    return out;
}

QByteArray encodeHeaderText(const QString& text)
{
    if (printableAscii(text))
        return text.toUtf8();
    QByteArray out;
    QByteArray chunk;
    const auto flush = [&] {
        if (!out.isEmpty())
            out += "\r\n ";
        out += "=?UTF-8?B?" + chunk.toBase64() + "?=";
        chunk.clear();
    };
    // A word never splits a character: each one is added whole to the current word.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool pair = text.at(i).isHighSurrogate() && i + 1 < text.size();
        const QByteArray bytes = text.mid(i, pair ? 2 : 1).toUtf8();
        if (pair)
            ++i;
        if (chunk.size() + bytes.size() > kWordBytes)
            flush();
        chunk += bytes;
    }
    if (!chunk.isEmpty())
        flush();
    return out;
}

QByteArray mailDate(const QDateTime& date)
{
    const int offset = date.offsetFromUtc() / 60;
    const int absolute = offset < 0 ? -offset : offset;
    const QString zone = QStringLiteral("%1%2%3")
                             .arg(offset < 0 ? u'-' : u'+')
                             .arg(absolute / 60, 2, 10, QChar(u'0'))
                             .arg(absolute % 60, 2, 10, QChar(u'0'));
    return (QLocale::c().toString(date, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss ")) + zone).toUtf8();
}

} // namespace nvx
