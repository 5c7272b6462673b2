#include "common/DateHelpers.h"

#include "common/ErrorTrap.h"
#include "common/Reporter.h"
#include "common/TextHelpers.h"

#include <QList>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>

namespace nvx {

namespace {

// Stands in when the caller gives no reporter: the trap still runs, the report goes nowhere.
struct SilentReporter final : Reporter {
    void TraceLog(qint16, qint16, qint16, const QString&, bool, qint16, bool) override {}
    void GestionDesErreurs(const QString&) override {}
};

// Dates before year 100 and after 9999 do not exist in the suite's date type.
constexpr int kFirstYear = 100;
constexpr int kLastYear = 9999;

// A date part as a 16-bit integer, as the calendar functions take it: rounded half to even,
// and an overflow beyond 16 bits is an error.
int toDatePart(double value)
{
    const double r = std::nearbyint(value);
    if (!std::isfinite(r) || r < -32768.0 || r > 32767.0)
        Raise(6, QStringLiteral("Overflow"));
    return int(r);
}

const std::array<QString, 7> kDayNames = {QStringLiteral("dimanche"), QStringLiteral("lundi"),
                                          QStringLiteral("mardi"),    QStringLiteral("mercredi"),
                                          QStringLiteral("jeudi"),    QStringLiteral("vendredi"),
                                          QStringLiteral("samedi")};
const std::array<QString, 7> kDayShortNames = {
    QStringLiteral("dim."), QStringLiteral("lun."), QStringLiteral("mar."), QStringLiteral("mer."),
    QStringLiteral("jeu."), QStringLiteral("ven."), QStringLiteral("sam.")};
const std::array<QString, 12> kMonthNames = {
    QStringLiteral("janvier"), QStringLiteral("février"),  QStringLiteral("mars"),
    QStringLiteral("avril"),   QStringLiteral("mai"),      QStringLiteral("juin"),
    QStringLiteral("juillet"), QStringLiteral("août"),     QStringLiteral("septembre"),
    QStringLiteral("octobre"), QStringLiteral("novembre"), QStringLiteral("décembre")};
const std::array<QString, 12> kMonthShortNames = {
    QStringLiteral("janv."), QStringLiteral("févr."), QStringLiteral("mars"),  QStringLiteral("avr."),
    QStringLiteral("mai"),   QStringLiteral("juin"),  QStringLiteral("juil."), QStringLiteral("août"),
    QStringLiteral("sept."), QStringLiteral("oct."),  QStringLiteral("nov."),  QStringLiteral("déc.")};

enum class Kind {
    Literal,
    Day,         // d
    Day2,        // dd
    DayShort,    // ddd
    DayLong,     // dddd
    ShortDate,   // ddddd
    LongDate,    // dddddd
    WeekDay,     // w
    Week,        // ww
    Month,       // m (minutes right after an hour)
    Month2,      // mm (likewise)
    MonthShort,  // mmm
    MonthLong,   // mmmm
    Minute,      // n
    Minute2,     // nn
    Hour,        // h
    Hour2,       // hh
    Second,      // s
    Second2,     // ss
    DayOfYear,   // y
    Year2,       // yy
    Year4,       // yyyy
    Quarter,     // q
    DateAndTime, // c
    LongTime,    // ttttt
    AmPm,        // AM/PM, am/pm, A/P, a/p: the marker is taken from the pattern as written
    AmPmSystem,  // AMPM
};

struct Token {
    Kind kind;
    QString text; // the literal, or for AM/PM the morning and afternoon markers separated by "/"
};

qsizetype runLength(const QString& pattern, qsizetype at, char16_t lower)
{
    qsizetype n = 0;
    while (at + n < pattern.size() && pattern[at + n].toLower() == QChar(lower))
        ++n;
    return n;
}

bool startsAt(const QString& pattern, qsizetype at, QStringView what)
{
    return QStringView(pattern).mid(at).startsWith(what, Qt::CaseInsensitive);
}

QList<Token> tokenize(const QString& pattern)
{
    QList<Token> tokens;
    const auto literal = [&](const QString& text) {
        if (!tokens.isEmpty() && tokens.last().kind == Kind::Literal && tokens.last().text != u":")
            tokens.last().text += text;
        else
            tokens.append({Kind::Literal, text});
    };
    const auto isHour = [](const Token& t) { return t.kind == Kind::Hour || t.kind == Kind::Hour2; };

    qsizetype i = 0;
    while (i < pattern.size()) {
        const QChar c = pattern[i];
        const char16_t lower = c.toLower().unicode();
        if (c == u'"') {
            const qsizetype end = pattern.indexOf(u'"', i + 1);
            const qsizetype stop = end < 0 ? pattern.size() : end;
            if (stop > i + 1)
                literal(pattern.mid(i + 1, stop - i - 1));
            i = stop + 1;
            continue;
        }
        if (c == u'\\') {
            if (i + 1 < pattern.size())
                literal(pattern.mid(i + 1, 1));
            i += 2;
            continue;
        }
        if (c == u':') {
            // Kept as its own token so that "HH:MM" can see the hour through it.
            tokens.append({Kind::Literal, QStringLiteral(":")});
            ++i;
            continue;
        }
        if (lower == u'a') {
            if (startsAt(pattern, i, u"am/pm")) {
                tokens.append({Kind::AmPm, pattern.mid(i, 2) + QLatin1Char('/') + pattern.mid(i + 3, 2)});
                i += 5;
                continue;
            }
            if (startsAt(pattern, i, u"ampm")) {
                tokens.append({Kind::AmPmSystem, {}});
                i += 4;
                continue;
            }
            if (startsAt(pattern, i, u"a/p")) {
                tokens.append({Kind::AmPm, pattern.mid(i, 3)});
                i += 3;
                continue;
            }
        }
        const qsizetype run = runLength(pattern, i, lower);
        qsizetype used = 1;
        switch (lower) {
        case u'd': {
            static constexpr std::array<Kind, 6> kinds = {Kind::Day,     Kind::Day2,      Kind::DayShort,
                                                          Kind::DayLong, Kind::ShortDate, Kind::LongDate};
            used = std::min<qsizetype>(run, 6);
            tokens.append({kinds[size_t(used - 1)], {}});
            break;
        }
        case u'w':
            used = std::min<qsizetype>(run, 2);
            tokens.append({used == 2 ? Kind::Week : Kind::WeekDay, {}});
            break;
        case u'm': {
            used = std::min<qsizetype>(run, 4);
            if (used >= 3) {
                tokens.append({used == 4 ? Kind::MonthLong : Kind::MonthShort, {}});
                break;
            }
            // "m" right after an hour, or after an hour and ":", means minutes ("HH:MM:SS").
            const qsizetype n = tokens.size();
            const bool afterHour =
                (n >= 1 && isHour(tokens[n - 1])) || (n >= 2 && tokens[n - 1].kind == Kind::Literal &&
                                                      tokens[n - 1].text == u":" && isHour(tokens[n - 2]));
            if (afterHour)
                tokens.append({used == 2 ? Kind::Minute2 : Kind::Minute, {}});
            else
                tokens.append({used == 2 ? Kind::Month2 : Kind::Month, {}});
            break;
        }
        case u'n':
            used = std::min<qsizetype>(run, 2);
            tokens.append({used == 2 ? Kind::Minute2 : Kind::Minute, {}});
            break;
        case u'h':
            used = std::min<qsizetype>(run, 2);
            tokens.append({used == 2 ? Kind::Hour2 : Kind::Hour, {}});
            break;
        case u's':
            used = std::min<qsizetype>(run, 2);
            tokens.append({used == 2 ? Kind::Second2 : Kind::Second, {}});
            break;
        case u'y':
            used = run >= 4 ? 4 : (run >= 2 ? 2 : 1);
            tokens.append({used == 4 ? Kind::Year4 : (used == 2 ? Kind::Year2 : Kind::DayOfYear), {}});
            break;
        case u'q':
            tokens.append({Kind::Quarter, {}});
            break;
        case u'c':
            tokens.append({Kind::DateAndTime, {}});
            break;
        case u't':
            if (run >= 5) {
                used = 5;
                tokens.append({Kind::LongTime, {}});
            } else {
                literal(QString(c));
            }
            break;
        default:
            literal(QString(c));
            break;
        }
        i += used;
    }
    return tokens;
}

QString two(int value)
{
    return QString::number(value).rightJustified(2, u'0');
}

// Week of the year: weeks start on Sunday and the first one holds 1 January.
int weekOfYear(const QDate& date)
{
    const int firstDayOffset = QDate(date.year(), 1, 1).dayOfWeek() % 7; // Sunday = 0
    return (date.dayOfYear() - 1 + firstDayOffset) / 7 + 1;
}

QString longTime(const QTime& t)
{
    return two(t.hour()) + QLatin1Char(':') + two(t.minute()) + QLatin1Char(':') + two(t.second());
}

QString shortDate(const QDate& d)
{
    return two(d.day()) + QLatin1Char('/') + two(d.month()) + QLatin1Char('/') +
           QString::number(d.year()).rightJustified(4, u'0');
}

} // namespace

QString D2S(const QDate& date, Reporter* reporter)
{
    SilentReporter silent;
    Reporter& r = reporter ? *reporter : silent;
    QString result;
    const bool done = trap(r, QStringLiteral("Lib_Public:D2S"), [&] {
        if (!date.isValid())
            Raise(13, QStringLiteral("Type mismatch"));
        result = N2S(date.year(), 4) + N2S(date.month(), 2) + N2S(date.day(), 2);
    });
    if (!done) {
        const QDate today = QDate::currentDate();
        result = N2S(today.year(), 4) + N2S(today.month(), 2) + N2S(today.day(), 2);
    }
    return result;
}

QDate S2D(const QString& text, Reporter* reporter)
{
    SilentReporter silent;
    Reporter& r = reporter ? *reporter : silent;
    QDate result;
    trap(r, QStringLiteral("Lib_Public:S2D"), [&] {
        int year = toDatePart(vbVal(text.mid(0, 4)));
        const int month = toDatePart(vbVal(text.mid(4, 2)));
        const int day = toDatePart(vbVal(text.mid(6, 2)));
        if (year >= 0 && year <= 29)
            year += 2000;
        else if (year >= 30 && year <= 99)
            year += 1900;

        // Out-of-range months and days roll over as calendar arithmetic does.
        const int months = year * 12 + (month - 1);
        const int rolledYear = months >= 0 ? months / 12 : -((-months + 11) / 12);
        const int rolledMonth = months - rolledYear * 12 + 1;
        if (rolledYear < 1)
            Raise(5, QStringLiteral("Invalid procedure call or argument"));
        const QDate date = QDate(rolledYear, rolledMonth, 1).addDays(day - 1);
        if (!date.isValid() || date.year() < kFirstYear || date.year() > kLastYear)
            Raise(5, QStringLiteral("Invalid procedure call or argument"));
        result = date;
    });
    return result;
}

QString Date2StringEx(const QDateTime& date, const QString& pattern)
{
    if (!date.isValid())
        return {};
    const QList<Token> tokens = tokenize(vbTrim(pattern).isEmpty() ? QStringLiteral("HH:MM:SS") : pattern);
    const QDate d = date.date();
    const QTime t = date.time();

    const bool twelveHours = std::any_of(tokens.cbegin(), tokens.cend(), [](const Token& tk) {
        return tk.kind == Kind::AmPm || tk.kind == Kind::AmPmSystem;
    });
    int hour = t.hour();
    if (twelveHours) {
        hour %= 12;
        if (hour == 0)
            hour = 12;
    }
    const bool morning = t.hour() < 12;

    QString out;
    for (const Token& tk : tokens) {
        switch (tk.kind) {
        case Kind::Literal:
            out += tk.text;
            break;
        case Kind::Day:
            out += QString::number(d.day());
            break;
        case Kind::Day2:
            out += two(d.day());
            break;
        case Kind::DayShort:
            out += kDayShortNames[size_t(d.dayOfWeek() % 7)];
            break;
        case Kind::DayLong:
            out += kDayNames[size_t(d.dayOfWeek() % 7)];
            break;
        case Kind::ShortDate:
            out += shortDate(d);
            break;
        case Kind::LongDate:
            out += kDayNames[size_t(d.dayOfWeek() % 7)] + QLatin1Char(' ') + QString::number(d.day()) +
                   QLatin1Char(' ') + kMonthNames[size_t(d.month() - 1)] + QLatin1Char(' ') +
                   QString::number(d.year());
            break;
        case Kind::WeekDay:
            out += QString::number(d.dayOfWeek() % 7 + 1);
            break;
        case Kind::Week:
            out += QString::number(weekOfYear(d));
            break;
        case Kind::Month:
            out += QString::number(d.month());
            break;
        case Kind::Month2:
            out += two(d.month());
            break;
        case Kind::MonthShort:
            out += kMonthShortNames[size_t(d.month() - 1)];
            break;
        case Kind::MonthLong:
            out += kMonthNames[size_t(d.month() - 1)];
            break;
        case Kind::Minute:
            out += QString::number(t.minute());
            break;
        case Kind::Minute2:
            out += two(t.minute());
            break;
        case Kind::Hour:
            out += QString::number(hour);
            break;
        case Kind::Hour2:
            out += two(hour);
            break;
        case Kind::Second:
            out += QString::number(t.second());
            break;
        case Kind::Second2:
            out += two(t.second());
            break;
        case Kind::DayOfYear:
            out += QString::number(d.dayOfYear());
            break;
        case Kind::Year2:
            out += two(std::abs(d.year()) % 100);
            break;
        case Kind::Year4:
            out += QString::number(d.year()).rightJustified(4, u'0');
            break;
        case Kind::Quarter:
            out += QString::number((d.month() - 1) / 3 + 1);
            break;
        case Kind::DateAndTime: {
            // The date part is left out for the zero date, the time part for midnight.
            QStringList parts;
            if (d != QDate(1899, 12, 30))
                parts << shortDate(d);
            if (t != QTime(0, 0))
                parts << longTime(t);
            out += parts.join(QLatin1Char(' '));
            break;
        }
        case Kind::LongTime:
            out += longTime(t);
            break;
        case Kind::AmPm: {
            const qsizetype slash = tk.text.indexOf(u'/');
            out += morning ? tk.text.left(slash) : tk.text.mid(slash + 1);
            break;
        }
        case Kind::AmPmSystem:
            out += morning ? QStringLiteral("AM") : QStringLiteral("PM");
            break;
        }
    }
    return out;
}

} // namespace nvx
