#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

#include <optional>

namespace nvx::schedsim {

// The fields of one request as the scheduler fills them.
struct RequestFields {
    QString computerName;
    QString schedulerVersion;
    QDate date;
    int firstHour = 0;
    int lastHour = 23;
    int station = 1;
    QString stationLabel;
    QString userId;
    QString userLabel;
    QDateTime buildDate;
};

// Where the tool is to send its progress lines.
struct ReplyAddress {
    QString ip;
    quint16 port = 0;
};

// What the scheduler sends when nothing is overridden: this host, today, the whole day, station 1.
RequestFields defaultFields(const QDateTime& now);

// The first text field whose value the tool could not read back whole (a ">" closes a value), or an
// empty string when every value is safe.
QString unreadableField(const RequestFields& fields);

// "<Key:Value>" items in the scheduler's order; the reply address comes last when given.
QString buildRequest(const RequestFields& fields, const std::optional<ReplyAddress>& reply);

// True when the text already names a reply address (the tool finds keys regardless of case).
bool hasReplyAddress(const QString& request);
// A hand-written request with the reply address appended, unless it already names one.
QString withReplyAddress(const QString& request, const ReplyAddress& reply);

// The message of a reply line "HH:MM:SS message"; a null string when the time prefix is missing.
QString replyMessage(const QString& line);
// True for the line that ends a job: its message is exactly seventeen "=". The line that opens a job
// has nineteen and must not match.
bool isClosingLine(const QString& line);

} // namespace nvx::schedsim
