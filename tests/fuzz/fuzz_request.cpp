// The scheduler's request text: a value is found after its tag in any case and ends at the next
// ">", and a request built from known values reads back as those values.
#include "FuzzCheck.h"
#include "common/TextHelpers.h"
#include "common/Win1252.h"
#include "job/ScheduleRequest.h"

#include <QDate>
#include <QDateTime>

#include <algorithm>
#include <array>

using namespace nvx;
using namespace nvx::fuzz;

namespace {

const std::array<QString, 12> kKeys = {QStringLiteral("ComputerName"),   QStringLiteral("SchedulerVersion"),
                                       QStringLiteral("DateConducteur"), QStringLiteral("HHDeb"),
                                       QStringLiteral("HHFin"),          QStringLiteral("NoStation"),
                                       QStringLiteral("StationLib"),     QStringLiteral("UserId"),
                                       QStringLiteral("UserLib"),        QStringLiteral("BuilddDate"),
                                       QStringLiteral("ReponseIP"),      QStringLiteral("ReponsePort")};

// A text of the input as the link decodes a datagram, without the two characters that delimit the
// fields (a value cannot hold them and be read back whole).
QString plainText(Input& in, int max)
{
    QString s = fromWindows1252(in.bytes(max));
    s.replace(u'<', u'(');
    s.replace(u'>', u')');
    return s;
}

// The tag with its ASCII letters in a case the input chooses.
QString anyCase(const QString& tag, Input& in)
{
    QString out = tag;
    for (QChar& c : out)
        if (c.unicode() < 0x80 && in.flag())
            c = c.isUpper() ? c.toLower() : c.toUpper();
    return out;
}

// prefix + opening + value + ">" + suffix gives the value whenever the opening first occurs there.
void checkExtraction(Input& in)
{
    const QString key = in.flag() ? kKeys[size_t(in.pick(int(kKeys.size())))] : plainText(in, 12);
    const QString opening = u'<' + key + u':';
    const QString prefix = fromWindows1252(in.bytes(40));
    const QString value = plainText(in, 40);
    const QString suffix = fromWindows1252(in.bytes(40));
    const QString text = prefix + anyCase(opening, in) + value + u'>' + suffix;
    const QString fallback = QStringLiteral("default");

    const QString found = ExtraireBalise(text, opening, fallback);
    if (text.indexOf(opening, 0, Qt::CaseInsensitive) == prefix.size())
        FUZZ_CHECK(found == value, shown(text) + QStringLiteral(" gave ") + shown(found));
    // Whatever the text, a value never runs past a ">" and is a piece of the text.
    FUZZ_CHECK(found == fallback || (!found.contains(u'>') && text.contains(found)), shown(text));
}

struct Fields {
    QString texts[6]; // ComputerName, SchedulerVersion, StationLib, UserId, UserLib, ReponseIP
    QString date;
    qint64 first = 0;
    qint64 last = 0;
    qint64 station = 0;
    qint64 port = 0;
    QDate buildDay;
    QTime buildTime;
};

// A request of known values, fields in an order and with separators the input chooses.
QString buildRequest(Input& in, Fields& f)
{
    for (QString& t : f.texts)
        t = plainText(in, 24);
    f.date = QStringLiteral("%1").arg(in.u32() % 100000000u, 8, 10, QLatin1Char('0'));
    f.first = qint64(in.byte()) - 100;
    f.last = qint64(in.byte()) - 100;
    f.station = qint64(qint32(in.u32())) / 30000;
    f.port = qint32(in.u32());
    f.buildDay = QDate(1900 + in.pick(200), 1 + in.pick(12), 1 + in.pick(28));
    f.buildTime = QTime(in.pick(24), in.pick(60), in.pick(60));
    const QString values[12] = {f.texts[0],
                                f.texts[1],
                                f.date,
                                QString::number(f.first),
                                QString::number(f.last),
                                QString::number(f.station),
                                f.texts[2],
                                f.texts[3],
                                f.texts[4],
                                f.buildDay.toString(QStringLiteral("dd/MM/yyyy")) + u' ' +
                                    f.buildTime.toString(QStringLiteral("HH:mm:ss")),
                                f.texts[5],
                                QString::number(f.port)};
    std::array<int, 12> order = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    for (int i = 11; i > 0; --i)
        std::swap(order[size_t(i)], order[size_t(in.pick(i + 1))]);
    QString request;
    for (const int i : order)
        request += plainText(in, 3) + u'<' + anyCase(kKeys[size_t(i)], in) + u':' + values[i] + u'>';
    return request;
}

void checkRequest(Input& in)
{
    Fields f;
    const QString request = buildRequest(in, f);
    const QDateTime now(QDate(2021, 1, 2), QTime(3, 4, 5));
    const ScheduleRequest r = parseScheduleRequest(request, now);
    const QString what = shown(request);
    FUZZ_CHECK(r.ComputerName == f.texts[0] && r.SchedulerVersion == f.texts[1] &&
                   r.StationLib == f.texts[2] && r.UserId == f.texts[3] && r.UserLib == f.texts[4] &&
                   r.ReponseIP == f.texts[5],
               what);
    FUZZ_CHECK(r.DateConducteur == f.date, what);
    const int year = f.date.left(4).toInt(), month = f.date.mid(4, 2).toInt(), day = f.date.mid(6).toInt();
    FUZZ_CHECK(r.dateConducteur().isValid() == QDate::isValid(year, month, day), what);
    FUZZ_CHECK(!r.dateConducteur().isValid() || r.dateConducteur() == QDate(year, month, day), what);
    FUZZ_CHECK(r.HHDeb == std::clamp<qint64>(f.first, 0, 23) && r.HHFin == std::clamp<qint64>(f.last, 0, 23),
               what);
    FUZZ_CHECK(r.NoStation == std::clamp<qint64>(f.station, -32768, 32767), what);
    FUZZ_CHECK(r.NoStationTexte == QString::number(f.station), what);
    FUZZ_CHECK(r.ReponsePort == (f.texts[5].trimmed().isEmpty() ? 0 : f.port), what);
    // A build time that the local time zone skips cannot be read back as written.
    const QDateTime build(f.buildDay, f.buildTime);
    if (build.time() == f.buildTime)
        FUZZ_CHECK(r.BuilddDate == build, what + QStringLiteral(" gave ") + r.BuilddDate.toString());
}

// Any datagram: the hours stay in the day, a reply port needs an address, the build time is valid.
void checkAnyText(Input& in)
{
    const QString text = fromWindows1252(in.rest());
    const QDateTime now(QDate(2021, 1, 2), QTime(3, 4, 5));
    const ScheduleRequest r = parseScheduleRequest(text, now);
    FUZZ_CHECK(r.HHDeb >= 0 && r.HHDeb <= 23 && r.HHFin >= 0 && r.HHFin <= 23, shown(text));
    FUZZ_CHECK(r.ReponsePort == 0 || !r.ReponseIP.trimmed().isEmpty(), shown(text));
    FUZZ_CHECK(r.BuilddDate.isValid(), shown(text));
    FUZZ_CHECK(!r.dateConducteur().isValid() || r.DateConducteur.size() == 8, shown(text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    switch (in.pick(3)) {
    case 0:
        checkExtraction(in);
        break;
    case 1:
        checkRequest(in);
        break;
    default:
        checkAnyText(in);
        break;
    }
    return 0;
}
