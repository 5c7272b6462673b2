#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

namespace nvx {

class Reporter;

// Dates as the suite writes them. The functions that can fail report through the optional
// reporter under "Lib_Public:<name>" and return their neutral result.

// "YYYYMMDD"; an invalid date gives today's date (reported).
QString D2S(const QDate& date, Reporter* reporter = nullptr);
// Date from "YYYYMMDD" with calendar roll-over and two-digit years (0-29 -> 2000s, 30-99 -> 1900s);
// an invalid QDate (reported) beyond year 9999.
QDate S2D(const QString& text, Reporter* reporter = nullptr);
// Formats with the classic format patterns ("HH:MM:SS", "dd/MM/yyyy", "dd/MM", "dd/MM/yy", ...);
// a blank pattern means "HH:MM:SS".
QString Date2StringEx(const QDateTime& date, const QString& pattern);

} // namespace nvx
