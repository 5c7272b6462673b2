#include "common/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using nvx::IniFile;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    QString path(const QString& name = QStringLiteral("Settings.ini")) const { return tmp.filePath(name); }

    void put(const QByteArray& bytes, const QString& name = QStringLiteral("Settings.ini")) const
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray bytes(const QString& name = QStringLiteral("Settings.ini")) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // The lines of a file written with CR LF, without their line ends; fails when a line end
    // is a bare LF.
    QList<QByteArray> crlfLines(const QString& name = QStringLiteral("Settings.ini")) const
    {
        QByteArray all = bytes(name);
        EXPECT_TRUE(all.endsWith("\r\n"));
        EXPECT_EQ(all.count("\n"), all.count("\r\n")) << "every line ends with CR LF";
        all.chop(2);
        return all.replace("\r\n", "\n").split('\n');
    }

    QTemporaryDir tmp;
};

TEST_F(IniFileTest, RewriteKeepsCommentsAndUnknownLinesExactly)
{
    const QList<QByteArray> original = {"; written by hand",
                                        "stray line before any section",
                                        "[General]",
                                        "  Name = Radio One  ",
                                        "# not a comment to the reader, kept anyway",
                                        "no equals sign here",
                                        "Port=8080",
                                        "",
                                        "   ; indented comment   ",
                                        "[Other]",
                                        "x=1"};
    put(original.join('\n') + '\n'); // LF only: read accepts it

    ASSERT_TRUE(
        IniFile::write(path(), QStringLiteral("General"), QStringLiteral("Port"), QStringLiteral("9090")));

    QList<QByteArray> expected = original;
    expected[6] = "Port=9090";
    EXPECT_EQ(crlfLines(), expected);
    EXPECT_EQ(IniFile::read(path(), QStringLiteral("General"), QStringLiteral("Name")),
              QStringLiteral("Radio One"));
}

TEST_F(IniFileTest, SingleQuotesEncloseAValueAsDoubleQuotesDo)
{
    put("[Son]\r\nDossier='C:\\Son\\'\r\nMixed='open\"\r\nLone='\r\n");
    const auto read = [&](const char* key) {
        return IniFile::read(path(), QStringLiteral("Son"), QString::fromLatin1(key), QStringLiteral("dflt"));
    };
    EXPECT_EQ(read("Dossier"), QStringLiteral("C:\\Son\\"));
    EXPECT_EQ(read("Mixed"), QStringLiteral("'open\""));
    EXPECT_EQ(read("Lone"), QStringLiteral("'"));
}

TEST_F(IniFileTest, LookupIgnoresCaseBlanksAndQuotesAndFirstOccurrenceWins)
{
    const QString longValue(300, u'v');
    put("[Site]\r\n"
        "Lib=first\r\n"
        "LIB=second\r\n"
        "Quoted = \"  padded  \"\r\n"
        "HalfQuoted=\"open\r\n"
        "Empty=\r\n"
        "Long=" +
        longValue.toLatin1() +
        "\r\n"
        "[ site ]\r\n"
        "Lib=later section\r\n"
        "OnlyLater=1\r\n");

    const auto read = [&](const char* section, const char* key) {
        return IniFile::read(path(), QString::fromLatin1(section), QString::fromLatin1(key),
                             QStringLiteral("dflt"));
    };
    EXPECT_EQ(read("SITE", "lib"), QStringLiteral("first"));
    EXPECT_EQ(read("Site", "quoted"), QStringLiteral("  padded  "));
    EXPECT_EQ(read("Site", "HalfQuoted"), QStringLiteral("\"open"));
    EXPECT_EQ(read("Site", "Empty"), QString()) << "a present empty value is not the default";
    EXPECT_EQ(read("Site", "Long"), longValue.left(254));
    EXPECT_EQ(read("Site", "OnlyLater"), QStringLiteral("dflt"))
        << "only the first section of a name is read";
    EXPECT_EQ(read("Missing", "Lib"), QStringLiteral("dflt"));
    EXPECT_EQ(IniFile::read(path(QStringLiteral("absent.ini")), QStringLiteral("Site"), QStringLiteral("Lib"),
                            QStringLiteral("dflt")),
              QStringLiteral("dflt"));

    IniFile ini;
    ASSERT_TRUE(ini.load(path()));
    EXPECT_EQ(ini.value(QStringLiteral("site"), QStringLiteral("long"), {}, -1), longValue);
    EXPECT_EQ(ini.sections(), QStringList{QStringLiteral("Site")});
    EXPECT_EQ(ini.keys(QStringLiteral("SITE")),
              (QStringList{QStringLiteral("Lib"), QStringLiteral("Quoted"), QStringLiteral("HalfQuoted"),
                           QStringLiteral("Empty"), QStringLiteral("Long")}));

    // Writing goes to the first occurrence too, and keeps the key's spelling.
    ASSERT_TRUE(ini.setValue(QStringLiteral("SITE"), QStringLiteral("lib"), QStringLiteral("changed")));
    ASSERT_TRUE(ini.save());
    const QList<QByteArray> lines = crlfLines();
    EXPECT_EQ(lines[1], "Lib=changed");
    EXPECT_EQ(lines[2], "LIB=second");
    EXPECT_EQ(lines[8], "Lib=later section");
}

TEST_F(IniFileTest, NewKeyEndsItsSectionAndNewSectionEndsTheFile)
{
    put("[A]\r\nk1=1\r\n; note inside A\r\nk2=2\r\n\r\n; about B\r\n[B]\r\nx=1\r\n\r\n");

    IniFile ini;
    ASSERT_TRUE(ini.load(path()));
    ASSERT_TRUE(ini.setValue(QStringLiteral("a"), QStringLiteral("k3"), QStringLiteral("3")));
    ASSERT_TRUE(ini.setValue(QStringLiteral("B"), QStringLiteral("y"), QStringLiteral("2")));
    ASSERT_TRUE(ini.setValue(QStringLiteral("C"), QStringLiteral("z"), QStringLiteral("last")));
    ASSERT_TRUE(ini.save());

    EXPECT_EQ(bytes(), QByteArray("[A]\r\nk1=1\r\n; note inside A\r\nk2=2\r\nk3=3\r\n\r\n; about B\r\n"
                                  "[B]\r\nx=1\r\ny=2\r\n\r\n[C]\r\nz=last\r\n"));

    // A section without keys takes the new key right after its header.
    put("[Empty]\r\n\r\n[Next]\r\n");
    ASSERT_TRUE(IniFile::write(path(), QStringLiteral("Empty"), QStringLiteral("k"), QStringLiteral("v")));
    EXPECT_EQ(bytes(), QByteArray("[Empty]\r\nk=v\r\n\r\n[Next]\r\n"));
}

TEST_F(IniFileTest, RefusedNamesAndValuesLeaveTheFileUntouched)
{
    put("[S]\r\nk=v\r\n");
    const QByteArray before = bytes();
    const QString s = QStringLiteral("S");
    EXPECT_FALSE(IniFile::write(path(), QStringLiteral("   "), QStringLiteral("k"), QStringLiteral("v")));
    EXPECT_FALSE(IniFile::write(path(), s, QStringLiteral(" "), QStringLiteral("v")));
    EXPECT_FALSE(IniFile::write(path(), s, QStringLiteral("a=b"), QStringLiteral("v")));
    EXPECT_FALSE(IniFile::write(path(), s, QStringLiteral(";k"), QStringLiteral("v")));
    EXPECT_FALSE(IniFile::write(path(), QStringLiteral("S]x"), QStringLiteral("k"), QStringLiteral("v")));
    EXPECT_FALSE(IniFile::write(path(), s, QStringLiteral("k"), QStringLiteral("v\r\n[Injected]")));
    EXPECT_EQ(bytes(), before);

    // A path that cannot be read is never replaced by a file holding just the new key.
    QDir(tmp.path()).mkdir(QStringLiteral("folder.ini"));
    EXPECT_FALSE(
        IniFile::write(path(QStringLiteral("folder.ini")), s, QStringLiteral("k"), QStringLiteral("v")));
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("folder.ini"))).isDir());
}

TEST_F(IniFileTest, RemovingKeysAndSectionsKeepsTheRest)
{
    put("; head\r\n[A]\r\nk=1\r\nkeep=2\r\n[B]\r\nb=1\r\n[a]\r\nk=dup\r\n");
    ASSERT_TRUE(IniFile::removeKey(path(), QStringLiteral("a"), QStringLiteral("K")));
    EXPECT_EQ(bytes(), QByteArray("; head\r\n[A]\r\nkeep=2\r\n[B]\r\nb=1\r\n[a]\r\nk=dup\r\n"));
    ASSERT_TRUE(IniFile::removeSection(path(), QStringLiteral("A")));
    EXPECT_EQ(bytes(), QByteArray("; head\r\n[B]\r\nb=1\r\n"));
    EXPECT_TRUE(IniFile::removeKey(path(), QStringLiteral("B"), QStringLiteral("absent")));
    EXPECT_TRUE(
        IniFile::removeKey(path(QStringLiteral("none.ini")), QStringLiteral("B"), QStringLiteral("b")));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("none.ini"))));
}

TEST_F(IniFileTest, EncodingIsWindows1252UnlessTheFileStartsWithAByteOrderMark)
{
    ASSERT_TRUE(
        IniFile::write(path(), QStringLiteral("Café"), QStringLiteral("Prix"), QStringLiteral("5 € été")));
    EXPECT_EQ(bytes(), QByteArray("[Caf\xE9]\r\nPrix=5 \x80 \xE9t\xE9\r\n"));
    EXPECT_EQ(IniFile::read(path(), QStringLiteral("CAFÉ"), QStringLiteral("prix")),
              QStringLiteral("5 € été"));

    put("\xEF\xBB\xBF[Général]\r\nNom=Éric\r\n", QStringLiteral("utf8.ini"));
    EXPECT_EQ(
        IniFile::read(path(QStringLiteral("utf8.ini")), QStringLiteral("Général"), QStringLiteral("Nom")),
        QStringLiteral("Éric"));
    ASSERT_TRUE(IniFile::write(path(QStringLiteral("utf8.ini")), QStringLiteral("Général"),
                               QStringLiteral("Ville"), QStringLiteral("Orléans")));
    EXPECT_EQ(bytes(QStringLiteral("utf8.ini")),
              QByteArray("\xEF\xBB\xBF[G\xC3\xA9n\xC3\xA9ral]\r\nNom=\xC3\x89ric\r\nVille=Orl\xC3\xA9"
                         "ans\r\n"));

    // Bytes that are not UTF-8 after a mark are kept as they are.
    const QByteArray odd("\xEF\xBB\xBF; \xE9\xFF\r\n[S]\r\nk=1\r\n");
    put(odd, QStringLiteral("odd.ini"));
    ASSERT_TRUE(IniFile::write(path(QStringLiteral("odd.ini")), QStringLiteral("S"), QStringLiteral("k"),
                               QStringLiteral("2")));
    EXPECT_EQ(bytes(QStringLiteral("odd.ini")), QByteArray("\xEF\xBB\xBF; \xE9\xFF\r\n[S]\r\nk=2\r\n"));
}

TEST_F(IniFileTest, WriteCreatesTheFolderAndAppliesTheModeToNewFilesOnly)
{
    const QString deep = path(QStringLiteral("a/b/c/New.ini"));
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    ASSERT_TRUE(
        IniFile::write(deep, QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v"), ownerOnly));
    EXPECT_EQ(IniFile::read(deep, QStringLiteral("S"), QStringLiteral("k")), QStringLiteral("v"));
    const auto others = QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup |
                        QFileDevice::WriteOther | QFileDevice::ExeOwner;
    EXPECT_EQ(QFileInfo(deep).permissions() & (others | ownerOnly), ownerOnly);

    put("[S]\r\n");
    QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                      QFileDevice::ReadOther);
    ASSERT_TRUE(
        IniFile::write(path(), QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v"), ownerOnly));
    EXPECT_TRUE(QFileInfo(path()).permissions() & QFileDevice::ReadOther)
        << "an existing file keeps its mode";
}

} // namespace
