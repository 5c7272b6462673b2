// INI files: whatever a file holds, writing it back and reading it again gives the same sections,
// keys and values; every value set through the writer reads back as set (as the suite's readers
// see values: without outer blanks and enclosing quotes), and the values no edit touched stay as
// they were.
#include "FuzzCheck.h"
#include "common/IniFile.h"
#include "common/Win1252.h"

#include <QFile>
#include <QMap>
#include <QPair>
#include <QTemporaryDir>

using namespace nvx;
using namespace nvx::fuzz;

namespace {

using Values = QMap<QPair<QString, QString>, QString>;

// Every value the file gives, by section and key as the file names them first.
Values valuesOf(const IniFile& ini)
{
    Values out;
    for (const QString& section : ini.sections())
        for (const QString& key : ini.keys(section))
            out.insert({section, key}, ini.value(section, key, {}, -1));
    return out;
}

// A value as every reader of the suite gets it back: without the blanks at its ends, and
// without one pair of enclosing quotes.
QString asRead(const QString& value)
{
    const QString t = value.trimmed();
    for (const QChar quote : {u'"', u'\''})
        if (t.size() >= 2 && t.front() == quote && t.back() == quote)
            return t.mid(1, t.size() - 2);
    return t;
}

// How names are matched: blanks around them and the case of letters do not count.
QPair<QString, QString> matchKey(const QString& section, const QString& key)
{
    return {section.trimmed().toCaseFolded(), key.trimmed().toCaseFolded()};
}

QString file(const char* name)
{
    static const QTemporaryDir dir;
    return dir.path() + u'/' + QLatin1StringView(name);
}

bool put(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// A name of printable ASCII, as the program's sections and keys are.
QString name(Input& in)
{
    QByteArray b = in.bytes(10);
    for (char& c : b)
        c = char(0x20 + (static_cast<unsigned char>(c) % 0x5F));
    return QString::fromLatin1(b);
}

IniFile reread(const IniFile& written, const char* name, const QString& what)
{
    IniFile copy = written;
    copy.setPath(file(name));
    FUZZ_CHECK(copy.save(), what + QStringLiteral(": save: ") + copy.errorString());
    IniFile back;
    FUZZ_CHECK(back.load(file(name)), what + QStringLiteral(": load: ") + back.errorString());
    FUZZ_CHECK(back.encoding() == written.encoding(), what);
    return back;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    // The file's length in two bytes, then the file, then the edits.
    const QByteArray original = in.take(in.u16());
    if (!put(file("original.ini"), original))
        std::abort();
    const QString what = shown(original);

    IniFile ini;
    FUZZ_CHECK(ini.load(file("original.ini")), what);
    const Values before = valuesOf(ini);
    const IniFile same = reread(ini, "same.ini", what);
    FUZZ_CHECK(valuesOf(same) == before, what);
    FUZZ_CHECK(same.text() == ini.text(), what);

    // Edits the rest of the input chooses, in a text the file's encoding can hold.
    const bool codePage = ini.encoding() == IniFile::Encoding::Windows1252;
    QMap<QPair<QString, QString>, QPair<QString, QString>> set; // match key -> section, value
    QString edits;
    while (in.remaining() > 0) {
        const QString section = name(in), key = name(in);
        const QByteArray raw = in.bytes(300);
        const QString value = codePage ? fromWindows1252(raw) : QString::fromUtf8(raw);
        edits += QStringLiteral("\n[%1] %2 = ").arg(section, key) + shown(value);
        if (ini.setValue(section, key, value))
            set.insert(matchKey(section, key), {section, asRead(value)});
    }
    const IniFile edited = reread(ini, "edited.ini", what + edits);
    for (auto it = set.cbegin(); it != set.cend(); ++it) {
        const QString got = edited.value(it.value().first, it.key().second, QStringLiteral("<missing>"), -1);
        FUZZ_CHECK(got == it.value().second, what + edits + QStringLiteral("\nread back: ") + shown(got));
    }
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (set.contains(matchKey(it.key().first, it.key().second)))
            continue;
        FUZZ_CHECK(edited.value(it.key().first, it.key().second, {}, -1) == it.value(),
                   what + edits + QStringLiteral("\nchanged: ") + it.key().first + u'/' + it.key().second);
    }
    return 0;
}
