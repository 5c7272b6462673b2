// FTP folder listings: any answer gives entries the tester can show, and an entry written as a
// server writes it (Unix LIST, DOS LIST, MLSD) reads back as it was.
#include "FuzzCheck.h"
#include "net/FtpListing.h"

#include <array>

using namespace nvx;
using namespace nvx::fuzz;

namespace {

const std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A name as servers list them: one line, no blank at its end (a LIST line loses those).
QString entryName(Input& in)
{
    QString s = QString::fromUtf8(in.bytes(24));
    s.remove(u'\r');
    s.remove(u'\n');
    while (!s.isEmpty() && s.back().isSpace())
        s.chop(1);
    return s.isEmpty() ? QStringLiteral("x") : s;
}

// A word without blanks or the characters that separate MLSD facts.
QString word(Input& in)
{
    QByteArray b = in.bytes(10);
    for (char& c : b)
        c = char(0x21 + (static_cast<unsigned char>(c) % 0x5E));
    b.replace(';', '_');
    b.replace('=', '_');
    return b.isEmpty() ? QStringLiteral("u") : QString::fromLatin1(b);
}

QString describe(const FtpEntry& e)
{
    return QStringLiteral("name=%1 size=%2 flags=%3 folder=%4 date=%5 owner=%6 group=%7")
        .arg(shown(e.name))
        .arg(e.size)
        .arg(e.flags, 0, 16)
        .arg(e.folder)
        .arg(shown(e.date), shown(e.owner), shown(e.group));
}

bool same(const FtpEntry& a, const FtpEntry& b)
{
    return a.name == b.name && a.size == b.size && a.flags == b.flags && a.folder == b.folder &&
           a.date == b.date && a.owner == b.owner && a.group == b.group;
}

void checkRoundTrip(const QByteArray& line, bool mlsd, const FtpEntry& expected)
{
    const QList<FtpEntry> got = parseListing(line + (mlsd ? "\r\n" : "\n"), mlsd);
    const QString what = shown(line) + QStringLiteral("\nexpected ") + describe(expected);
    FUZZ_CHECK(got.size() == 1, what);
    FUZZ_CHECK(same(got[0], expected), what + QStringLiteral("\ngot ") + describe(got[0]));
}

void checkUnix(Input& in)
{
    FtpEntry e;
    e.flags = in.u32() & 0x1777u;
    const bool link = e.flags & 0x1000u;
    e.folder = !link && in.flag();
    e.name = entryName(in);
    e.owner = word(in);
    e.group = word(in);
    e.size = qint64(in.u32()) * in.byte();
    const QString month = QLatin1StringView(kMonths[size_t(in.pick(12))]);
    const QString day = QString::number(1 + in.pick(31));
    const QString when =
        in.flag() ? QStringLiteral("%1:%2").arg(in.pick(24)).arg(in.pick(60), 2, 10, QLatin1Char('0'))
                  : QString::number(1970 + in.pick(100));
    e.date = in.flag() ? month + u' ' + day + u' ' + when : day + u' ' + month + u' ' + when;
    const QString shownName = link ? e.name + QStringLiteral(" -> ") + entryName(in) : e.name;
    // A link's name and target are told apart by the first arrow: a name that would make an
    // earlier one (holding " -> ", or ending with " ->") cannot be listed.
    const QString arrow = QStringLiteral(" -> ");
    if (link && QString(e.name + arrow).indexOf(arrow) != e.name.size())
        return;
    const QString line = FilePerms(e.flags, e.folder) + QStringLiteral(" 1 ") + e.owner + u' ' + e.group +
                         u' ' + tailleTexte(e.size) + u' ' + e.date + u' ' + shownName;
    checkRoundTrip(line.toUtf8(), false, e);
}

void checkDos(Input& in)
{
    FtpEntry e;
    e.folder = in.flag();
    e.size = e.folder ? 0 : qint64(in.u32());
    e.name = entryName(in);
    if (e.name.front().isSpace())
        return;
    const QString day = QStringLiteral("%1-%2-%3")
                            .arg(1 + in.pick(12), 2, 10, QLatin1Char('0'))
                            .arg(1 + in.pick(28), 2, 10, QLatin1Char('0'))
                            .arg(in.pick(100), 2, 10, QLatin1Char('0'));
    const QString time = QStringLiteral("%1:%2%3")
                             .arg(1 + in.pick(12), 2, 10, QLatin1Char('0'))
                             .arg(in.pick(60), 2, 10, QLatin1Char('0'))
                             .arg(in.flag() ? QStringLiteral("AM") : QStringLiteral("PM"));
    e.date = day + u' ' + time;
    const QString line = day + QStringLiteral("  ") + time + QStringLiteral("       ") +
                         (e.folder ? QStringLiteral("<DIR>") : QString::number(e.size)) +
                         QStringLiteral("          ") + e.name;
    checkRoundTrip(line.toUtf8(), false, e);
}

void checkMlsd(Input& in)
{
    FtpEntry e;
    const int type = in.pick(3); // file, folder, link
    e.folder = type == 1;
    const quint32 mode = in.u32() & 0777u;
    e.flags = ((mode & 0700u) << 2) | ((mode & 070u) << 1) | (mode & 07u) | (type == 2 ? 0x1000u : 0u);
    e.size = qint64(in.u32());
    e.owner = word(in);
    e.group = word(in);
    const int year = 1970 + in.pick(100), month = 1 + in.pick(12), day = 1 + in.pick(28);
    const int hour = in.pick(24), minute = in.pick(60);
    const auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    e.date =
        QString::number(year) + u'-' + two(month) + u'-' + two(day) + u' ' + two(hour) + u':' + two(minute);
    // An MLSD name is everything after the first blank, leading blanks included.
    e.name = (in.flag() ? QStringLiteral(" ") : QString()) + entryName(in);
    const QString types[] = {QStringLiteral("file"), QStringLiteral("dir"),
                             QStringLiteral("OS.unix=symlink")};
    const QString facts =
        QStringLiteral("type=") + types[type] + QStringLiteral(";size=") + QString::number(e.size) +
        QStringLiteral(";modify=") + QString::number(year) + two(month) + two(day) + two(hour) + two(minute) +
        two(in.pick(60)) + QStringLiteral(";UNIX.mode=0") + QString::number(mode, 8) +
        QStringLiteral(";UNIX.owner=") + e.owner + QStringLiteral(";UNIX.group=") + e.group + u';';
    checkRoundTrip((facts + u' ' + e.name).toUtf8(), true, e);
}

// Whatever the answer, every entry has a name within its line and permissions the tester can
// show. (A CR inside a line is part of the name: a Unix name may hold one.)
void checkAnyAnswer(Input& in)
{
    const bool mlsd = in.flag();
    const QByteArray answer = in.rest();
    for (const FtpEntry& e : parseListing(answer, mlsd)) {
        const QString what = shown(answer) + QStringLiteral("\nentry ") + describe(e);
        FUZZ_CHECK(!e.name.isEmpty(), what);
        FUZZ_CHECK(!e.name.contains(u'\n') && !e.name.endsWith(u'\r'), what);
        FUZZ_CHECK(FilePerms(e.flags, e.folder).size() == 10, what);
        FUZZ_CHECK((e.flags & ~0x1777u) == 0, what);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    switch (in.pick(4)) {
    case 0:
        checkUnix(in);
        break;
    case 1:
        checkDos(in);
        break;
    case 2:
        checkMlsd(in);
        break;
    default:
        checkAnyAnswer(in);
        break;
    }
    return 0;
}
