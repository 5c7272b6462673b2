#include "common/NativePath.h"
#include "config/Ini.h"
#include "support/Owners.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace nvx;
using namespace Qt::StringLiterals;

namespace {

class IniAccessTest : public ::testing::Test, protected test::Owners {
protected:
    void put(const QString& native, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(native).path());
        QFile f(native);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray bytes(const QString& native)
    {
        QFile f(native);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

TEST_F(IniAccessTest, InvalidOrBlankNamesNeitherReadNorWrite)
{
    // A file whose name holds "?" exists on this system, but the suite's names never do.
    put(drives.filePath(u"c/Cfg/a?.ini"_s), "[S]\r\nK=present\r\n");
    EXPECT_EQ(ini.LectureIni(u"C:\\Cfg\\a?.ini"_s, u"S"_s, u"K"_s, u"def"_s), u"def"_s);
    EXPECT_FALSE(ini.EcritureIni(u"C:\\Cfg\\a?.ini"_s, u"S"_s, u"K"_s, u"v"_s));
    EXPECT_EQ(bytes(drives.filePath(u"c/Cfg/a?.ini"_s)), QByteArray("[S]\r\nK=present\r\n"));

    const QString file = u"C:\\Cfg\\b.ini"_s;
    EXPECT_FALSE(ini.EcritureIni(file, u"   "_s, u"K"_s, u"v"_s));
    EXPECT_FALSE(ini.EcritureIni(file, u"S"_s, u" "_s, u"v"_s));
    EXPECT_FALSE(QFileInfo::exists(NativePath(file)));
    EXPECT_EQ(ini.LectureIni(file, u"S"_s, u"K"_s, u"def"_s), u"def"_s);
}

TEST_F(IniAccessTest, WriteIntoAMissingFolderCreatesIt)
{
    const QString file = u"C:\\Nouveau\\Sous\\VL3_Systeme.ini"_s;
    ASSERT_TRUE(ini.EcritureIni(file, u"Base_01"_s, u"Lib"_s, u"Radio"_s));
    EXPECT_EQ(bytes(drives.filePath(u"c/Nouveau/Sous/VL3_Systeme.ini"_s)),
              QByteArray("[Base_01]\r\nLib=Radio\r\n"));
    EXPECT_EQ(ini.LectureIni(u"c:\\nouveau\\sous\\vl3_systeme.INI"_s, u"base_01"_s, u"LIB"_s), u"Radio"_s)
        << "names match whatever their case";
}

TEST_F(IniAccessTest, Windows1252BytesRoundTrip)
{
    const QString file = u"C:\\Cfg\\accents.ini"_s;
    put(drives.filePath(u"c/Cfg/accents.ini"_s), "[Site]\r\nLib=Caf\xE9 \x80\r\n");
    EXPECT_EQ(ini.LectureIni(file, u"Site"_s, u"Lib"_s), u"Café €"_s);
    ASSERT_TRUE(ini.EcritureIni(file, u"Site"_s, u"Ville"_s, u"Orléans"_s));
    EXPECT_EQ(bytes(drives.filePath(u"c/Cfg/accents.ini"_s)),
              QByteArray("[Site]\r\nLib=Caf\xE9 \x80\r\nVille=Orl\xE9"
                         "ans\r\n"));
}

} // namespace
