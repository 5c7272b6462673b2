#include "RequestBuilder.h"

#include <QHostInfo>

namespace nvx::schedsim {

namespace {

QString item(QStringView key, const QString& value)
{
    return u'<' + key.toString() + u':' + value + u'>';
}

QString twoDigits(int n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

RequestFields defaultFields(const QDateTime& now)
{
    RequestFields f;
    f.computerName = QHostInfo::localHostName();
    f.schedulerVersion = QStringLiteral("2020.0409.1204");
    f.date = now.date();
    f.firstHour = 0;
    f.lastHour = 23;
    f.station = 1;
    f.stationLabel = QStringLiteral("Station 1");
    f.userId = QStringLiteral("1");
    f.userLabel = QStringLiteral("Operateur");
    f.buildDate = now;
    return f;
}

QString unreadableField(const RequestFields& fields)
{
    const std::pair<const char16_t*, const QString*> texts[] = {
        {u"ComputerName", &fields.computerName}, {u"SchedulerVersion", &fields.schedulerVersion},
        {u"StationLib", &fields.stationLabel},   {u"UserId", &fields.userId},
        {u"UserLib", &fields.userLabel},
    };
    for (const auto& [key, value] : texts)
        if (value->contains(u'>'))
            return QString::fromUtf16(key);
    return {};
}

QString buildRequest(const RequestFields& fields, const std::optional<ReplyAddress>& reply)
{
    QString text =
        item(u"ComputerName", fields.computerName) + item(u"SchedulerVersion", fields.schedulerVersion) +
        item(u"DateConducteur", fields.date.toString(QStringLiteral("yyyyMMdd"))) +
        item(u"HHDeb", twoDigits(fields.firstHour)) + item(u"HHFin", twoDigits(fields.lastHour)) +
        item(u"NoStation", QString::number(fields.station)) + item(u"StationLib", fields.stationLabel) +
        item(u"UserId", fields.userId) + item(u"UserLib", fields.userLabel) +
        item(u"BuilddDate", fields.buildDate.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")));
    if (reply)
        text += item(u"ReponseIP", reply->ip) + item(u"ReponsePort", QString::number(reply->port));
    return text;
}

bool hasReplyAddress(const QString& request)
{
    return request.contains(QLatin1StringView("<ReponseIP:"), Qt::CaseInsensitive);
}

QString withReplyAddress(const QString& request, const ReplyAddress& reply)
{
    if (hasReplyAddress(request))
        return request;
    return request + item(u"ReponseIP", reply.ip) + item(u"ReponsePort", QString::number(reply.port));
}

QString replyMessage(const QString& line)
{
    // "HH:MM:SS " is nine characters: digits at 0,1 3,4 6,7, colons at 2 and 5, a space at 8.
    if (line.size() < 9 || line[2] != u':' || line[5] != u':' || line[8] != u' ')
        return {};
    for (int i : {0, 1, 3, 4, 6, 7})
        if (!isDigit(line[i]))
            return {};
    return line.mid(9);
}

bool isClosingLine(const QString& line)
{
    const QString message = replyMessage(line);
    return !message.isNull() && message == QString(17, u'=');
}

} // namespace nvx::schedsim
