#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace nvx {

// A whole number of seconds as days, hours, minutes and seconds: "1 J 1 H 1 Min 1 Sec",
// "1 H 0 Min 0 Sec", "1 Min 5 Sec"; the day and hour parts only when they are not zero.
QString NbSecondes2String(qint64 seconds);

// True for the installations of the partner company, known by their customer number.
bool EstCeUneRadioDravik(const QString& noClient);

// The addresses of a ";"-separated list, trimmed, blank parts left out.
QStringList splitRecipients(const QString& list);

// Text as quoted-printable UTF-8 (RFC 2045): lines end with CR LF and none is longer than 76
// characters. Line breaks of the text ("\r\n" or "\n") stay line breaks.
QByteArray encodeQuotedPrintable(const QString& text);

// A header value as it may travel: unchanged when it is printable ASCII, else as RFC 2047
// UTF-8 encoded words, folded so that no header line grows past 78 characters.
QByteArray encodeHeaderText(const QString& text);

// A date as mail headers write it (RFC 5322): "Thu, 20 Feb 2020 10:00:00 +0100".
QByteArray mailDate(const QDateTime& date);

} // namespace nvx
