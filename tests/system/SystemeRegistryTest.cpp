#include "common/Identity.h"
#include "common/IniFile.h"
#include "common/Lifecycle.h"
#include "common/NativePath.h"
#include "support/FakeClock.h"
#include "support/FakeHost.h"
#include "support/RecordingReporter.h"
#include "system/Systeme.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace nvx;
using nvx::test::RecordingReporter;

namespace {

class RegistryTest : public ::testing::Test {
protected:
    RegistryTest() : systeme(reporter, clock, host, identity, lifecycle)
    {
        setDriveRoot(tmp.path());
        identity.DossierApplication = QStringLiteral("C:\\Velmora\\");
    }
    ~RegistryTest() override { setDriveRoot({}); }

    QString file(const char* root) const
    {
        return tmp.filePath(QStringLiteral("c/Velmora/Settings/Registre_") + QString::fromLatin1(root) +
                            QStringLiteral(".ini"));
    }

    QTemporaryDir tmp;
    RecordingReporter reporter;
    test::FakeClock clock;
    test::FakeHost host;
    Identity identity;
    Lifecycle lifecycle;
    Systeme systeme;
    const QString key = QStringLiteral("Software\\Velmora\\Tools NVX");
};

TEST_F(RegistryTest, StringsAndNumbersComeBackAsWritten)
{
    // Blanks at both ends, quotes of its own, and far beyond the 254 characters of INI reads.
    const QString token = QStringLiteral("  \"tok\" ") + QString(400, u'x') + QStringLiteral(" ");
    ASSERT_EQ(systeme.Reg_SetValue(0, key, QStringLiteral("Token"), token), 0);
    ASSERT_EQ(
        systeme.Reg_SetValue(0, key, QStringLiteral("Expiry"), QStringLiteral(" 3600 "), Systeme::REG_DWORD),
        0);
    ASSERT_EQ(systeme.Reg_SetValue(0, key, QString(), QStringLiteral("default value")), 0);
    ASSERT_EQ(
        systeme.Reg_SetValue(0, key, QStringLiteral("Cut"), QStringLiteral("before") + QChar(0) + u"after"),
        0);

    QString value;
    EXPECT_EQ(systeme.Reg_GetValue(0, key, QStringLiteral("Token"), value), 0);
    EXPECT_EQ(value, token);
    EXPECT_EQ(systeme.Reg_GetValue(0, key.toUpper() + u'\\', QStringLiteral("expiry"), value), 0)
        << "key paths and value names ignore case and a trailing backslash";
    EXPECT_EQ(value, QStringLiteral("3600"));
    EXPECT_EQ(systeme.Reg_GetValue(0, key, QString(), value), 0);
    EXPECT_EQ(value, QStringLiteral("default value"));
    EXPECT_EQ(systeme.Reg_GetValue(0, key, QStringLiteral("Cut"), value), 0);
    EXPECT_EQ(value, QStringLiteral("before"));

    // Overwriting replaces the one entry.
    ASSERT_EQ(
        systeme.Reg_SetValue(0, key, QStringLiteral("Expiry"), QStringLiteral("-1"), Systeme::REG_DWORD), 0);
    EXPECT_EQ(systeme.Reg_GetValue(0, key, QStringLiteral("Expiry"), value), 0);
    EXPECT_EQ(value, QStringLiteral("-1"));
    IniFile ini;
    ASSERT_TRUE(ini.load(file("HKCU")));
    EXPECT_EQ(ini.sections(), QStringList{key});
    EXPECT_EQ(ini.keys(key).size(), 4);
    EXPECT_TRUE(reporter.origins.isEmpty());
}

TEST_F(RegistryTest, ErrorNumbersOfTheRegistry)
{
    QString value = QStringLiteral("stale");
    EXPECT_EQ(systeme.Reg_GetValue(0, QStringLiteral("  "), QStringLiteral("Token"), value), 1010);
    EXPECT_TRUE(value.isEmpty());
    EXPECT_EQ(systeme.Reg_SetValue(0, QString(), QStringLiteral("Token"), QStringLiteral("v")), 1010);
    EXPECT_FALSE(QFile::exists(file("HKCU"))) << "an empty key path touches nothing";

    value = QStringLiteral("stale");
    EXPECT_EQ(systeme.Reg_GetValue(0, key, QStringLiteral("Token"), value), 2) << "no file yet";
    EXPECT_TRUE(value.isEmpty());
    ASSERT_EQ(systeme.Reg_SetValue(0, key, QStringLiteral("Other"), QStringLiteral("v")), 0);
    value = QStringLiteral("stale");
    EXPECT_EQ(systeme.Reg_GetValue(0, key, QStringLiteral("Token"), value), 2) << "no such value";
    EXPECT_TRUE(value.isEmpty());
    EXPECT_EQ(systeme.Reg_GetValue(0, key + QStringLiteral("\\Sub"), QStringLiteral("Other"), value), 2);

    EXPECT_EQ(systeme.Reg_SetValue(Systeme::HKEY_CLASSES_ROOT, key, QStringLiteral("v"), QStringLiteral("v")),
              6);
    EXPECT_EQ(systeme.Reg_GetValue(0x12345u, key, QStringLiteral("Other"), value), 6);
    EXPECT_TRUE(reporter.origins.isEmpty()) << "plain return codes are not error reports";

    EXPECT_EQ(systeme.Reg_SetValue(0, key, QStringLiteral("N"), QStringLiteral("12abc"), Systeme::REG_DWORD),
              13);
    EXPECT_EQ(
        systeme.Reg_SetValue(0, key, QStringLiteral("N"), QStringLiteral("4294967296"), Systeme::REG_DWORD),
        13);
    EXPECT_EQ(systeme.Reg_SetValue(0, key, QStringLiteral("N"), QStringLiteral("line\nbreak")), 87);
    ASSERT_EQ(reporter.origins.size(), 3);
    EXPECT_EQ(reporter.origins[0], QStringLiteral("Lib_Systeme:Reg_SetValue"));
    EXPECT_EQ(reporter.errors[0].ErreurNumero, 13);
    EXPECT_EQ(systeme.Reg_GetValue(0, key, QStringLiteral("N"), value), 2) << "nothing was stored";

    // A file that cannot be read is reported and survives the attempt to write it.
    QFile::remove(file("HKLM"));
    ASSERT_TRUE(QDir().mkpath(file("HKLM")));
    EXPECT_EQ(
        systeme.Reg_SetValue(Systeme::HKEY_LOCAL_MACHINE, key, QStringLiteral("T"), QStringLiteral("v")), 5);
    EXPECT_EQ(systeme.Reg_GetValue(Systeme::HKEY_LOCAL_MACHINE, key, QStringLiteral("T"), value), 5);
    EXPECT_EQ(reporter.origins.last(), QStringLiteral("Lib_Systeme:Reg_GetValue"));
    EXPECT_TRUE(QFileInfo(file("HKLM")).isDir());
}

TEST_F(RegistryTest, EachRootHasItsOwnPrivateFile)
{
    ASSERT_EQ(
        systeme.Reg_SetValue(Systeme::HKEY_LOCAL_MACHINE, key, QStringLiteral("Where"), QStringLiteral("lm")),
        0);
    ASSERT_EQ(
        systeme.Reg_SetValue(Systeme::HKEY_CURRENT_USER, key, QStringLiteral("Where"), QStringLiteral("cu")),
        0);

    QString value;
    EXPECT_EQ(systeme.Reg_GetValue(Systeme::HKEY_LOCAL_MACHINE, key, QStringLiteral("Where"), value), 0);
    EXPECT_EQ(value, QStringLiteral("lm"));
    EXPECT_EQ(systeme.Reg_GetValue(0, key, QStringLiteral("Where"), value), 0)
        << "root 0 is the current user";
    EXPECT_EQ(value, QStringLiteral("cu"));

    for (const char* root : {"HKLM", "HKCU"}) {
        const QFileInfo info(file(root));
        ASSERT_TRUE(info.exists()) << root;
        EXPECT_EQ(info.permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner)
            << root << " is readable by its owner only";
    }

    // A folder of its own when one is set.
    systeme.setRegistryFolder(QStringLiteral("D:\\Reg"));
    ASSERT_EQ(systeme.Reg_SetValue(0, key, QStringLiteral("Where"), QStringLiteral("elsewhere")), 0);
    EXPECT_TRUE(QFile::exists(tmp.filePath(QStringLiteral("d/Reg/Registre_HKCU.ini"))));
}

} // namespace
