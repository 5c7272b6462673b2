#include "common/Identity.h"
#include "common/Lifecycle.h"
#include "common/NativePath.h"
#include "support/FakeClock.h"
#include "support/FakeHost.h"
#include "support/RecordingReporter.h"
#include "system/Systeme.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace nvx;
using namespace Qt::StringLiterals;
using nvx::test::RecordingReporter;

namespace {

class FolderHelpers : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        setDriveRoot(tmp.path());
        ASSERT_TRUE(QDir().mkpath(tmp.path() + u"/c/VL_Data"_s));
        sys.setRegistryFolder(u"C:\\Settings\\"_s);
    }
    void TearDown() override
    {
        setDriveRoot({});
        EXPECT_TRUE(reporter.origins.isEmpty()) << qPrintable(reporter.origins.join(u'\n'));
    }

    static bool isFolder(const QString& suitePath) { return QFileInfo(NativePath(suitePath)).isDir(); }
    static void makeFolder(const QString& suitePath) { ASSERT_TRUE(QDir().mkpath(NativePath(suitePath))); }
    static void write(const QString& suitePath, const QByteArray& bytes)
    {
        const QString native = NativePath(suitePath);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(native).absolutePath()));
        QFile file(native);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QTemporaryDir tmp;
    RecordingReporter reporter;
    test::FakeClock clock;
    test::FakeHost host;
    Identity identity;
    Lifecycle lifecycle;
    Systeme sys{reporter, clock, host, identity, lifecycle};
};

} // namespace

TEST_F(FolderHelpers, CreatesEveryMissingLevelAndReusesExistingOnesWhateverTheirCase)
{
    sys.VerificationEtCreationRepertoire(u"C:\\vl_data\\Export\\2020\\Fevrier"_s);
    EXPECT_TRUE(QFileInfo(tmp.path() + u"/c/VL_Data/Export/2020/Fevrier"_s).isDir());
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + u"/c/vl_data"_s));
    // Characters no folder may hold are cleaned away first.
    sys.VerificationEtCreationRepertoire(u"C:\\VL_Data\\Rock|Pop\\"_s);
    EXPECT_TRUE(isFolder(u"C:\\VL_Data\\Rock Pop"_s));
    // A folder whose name begins one already known is still made.
    sys.VerificationEtCreationRepertoire(u"C:\\VL_Data\\Musique\\Rock"_s);
    sys.VerificationEtCreationRepertoire(u"C:\\VL_Data\\Musique\\Ro"_s);
    EXPECT_TRUE(isFolder(u"C:\\VL_Data\\Musique\\Ro"_s));
    EXPECT_TRUE(reporter.lines.isEmpty()) << qPrintable(reporter.lines.join(u'\n'));
}

TEST_F(FolderHelpers, AFolderThatCannotBeMadeIsReportedOncePerRun)
{
    write(u"C:\\VL_Data\\plain.txt"_s, "a file, not a folder");
    for (int i = 0; i < 3; ++i) {
        sys.VerificationEtCreationRepertoire(u"C:\\VL_Data\\plain.txt\\Sub"_s);
        sys.VerificationEtCreationRepertoire(u"C:\\VL_Data\\Other"_s + QString::number(i));
        sys.VerificationEtCreationRepertoire(u"c:\\vl_data\\PLAIN.TXT\\sub\\"_s);
    }
    EXPECT_EQ(reporter.lines, QStringList{u"Folder 'C:\\VL_Data\\plain.txt\\Sub\\' not found"_s});

    // Without the report flag the failure is remembered but not traced.
    sys.VerificationEtCreationRepertoire(u"C:\\VL_Data\\plain.txt\\Quiet"_s, false);
    sys.VerificationEtCreationRepertoire(u"C:\\VL_Data\\plain.txt\\Quiet"_s, true);
    EXPECT_EQ(reporter.lines.size(), 1);
}

TEST_F(FolderHelpers, NetworkPathsNeverCreateTheServerOrTheShare)
{
    sys.VerificationEtCreationRepertoire(u"\\\\Studio\\Sons\\Jingles"_s);
    sys.VerificationEtCreationRepertoire(u"\\\\Studio\\C$"_s); // administrative: never listed
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + u"/unc/Studio"_s));
    EXPECT_EQ(reporter.lines, QStringList{u"Folder '\\\\Studio\\Sons\\Jingles\\' not found"_s});

    ASSERT_TRUE(QDir().mkpath(tmp.path() + u"/unc/Studio/Sons"_s));
    sys.VerificationEtCreationRepertoire(u"\\\\Studio\\Sons\\Pubs\\2020"_s);
    EXPECT_TRUE(QFileInfo(tmp.path() + u"/unc/Studio/Sons/Pubs/2020"_s).isDir());
}

TEST_F(FolderHelpers, FolderFoundChecksCreatesAndFindsTheSuiteConfiguration)
{
    QString missing = u"C:\\VL_Data\\Nouveau\\Dossier\\"_s;
    EXPECT_FALSE(sys.FolderFound(missing, false));
    EXPECT_FALSE(isFolder(missing));
    EXPECT_TRUE(sys.FolderFound(missing, true));
    EXPECT_TRUE(isFolder(missing));

    QString folder;
    EXPECT_FALSE(sys.FolderFound(folder));
    EXPECT_EQ(folder, u"C:\\Merovax\\Velmora\\Config\\"_s);

    const QString key = u"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\VL3_Menu.exe"_s;
    ASSERT_EQ(
        sys.Reg_SetValue(Systeme::HKEY_LOCAL_MACHINE, key, QString(), u"\"D:\\Velmora\\VL3_Menu.exe\""_s), 0);
    makeFolder(u"D:\\Velmora\\Config"_s);
    folder.clear();
    EXPECT_TRUE(sys.FolderFound(folder));
    EXPECT_EQ(folder, u"D:\\Velmora\\Config\\"_s);
}

TEST_F(FolderHelpers, UncFolderSharedByThisComputerBecomesLocal)
{
    makeFolder(u"C:\\Partage\\Musique\\Rock"_s);
    sys.setShareLister([] {
        return QList<Systeme::Share>{{u"Sons"_s, u"D:\\Sons"_s}, {u"Musique"_s, u"C:\\Partage\\Musique"_s}};
    });
    EXPECT_EQ(sys.ChangeUNCFolder2LocalFolder(u"\\\\STUDIO1\\musique\\Rock\\"_s, u"Studio1"_s),
              u"C:\\Partage\\Musique\\Rock\\"_s);
    const QString header = u"Shared Paths List |UNC Path to Change: \\\\STUDIO1\\musique\\Rock\\"_s;
    ASSERT_GE(reporter.lines.size(), 3);
    EXPECT_EQ(reporter.lines.mid(0, 3),
              (QStringList{QString(header.size(), u'='), header, QString(header.size(), u'=')}));
    EXPECT_TRUE(reporter.lines.contains(u": UNC: Local Path found: 01"_s));
    EXPECT_TRUE(reporter.lines.contains(
        u": UNC: Path change from: \\\\STUDIO1\\musique\\Rock\\ to: C:\\Partage\\Musique\\Rock\\"_s));

    // A local folder that does not exist, or another computer: unchanged.
    EXPECT_EQ(sys.ChangeUNCFolder2LocalFolder(u"\\\\Studio1\\Musique\\Jazz\\"_s, u"Studio1"_s),
              u"\\\\Studio1\\Musique\\Jazz\\"_s);
    EXPECT_EQ(sys.ChangeUNCFolder2LocalFolder(u"\\\\Regie\\Musique\\Rock\\"_s, u"Studio1"_s),
              u"\\\\Regie\\Musique\\Rock\\"_s);
}

TEST_F(FolderHelpers, SambaConfigurationGivesItsDiskShares)
{
    const QString conf = tmp.path() + u"/smb.conf"_s;
    QFile file(conf);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[global]\n path = /not/a/share\n[homes]\n browseable = no\n; comment\n"
               "[Musique]\n Path = /srv/musique\n[printers]\n path = /var/spool\n printable = yes\n"
               "[Archive]\n path = /srv/archive\n available = no\n[Long]\n directory = /srv/\\\nlong\n"
               "[Perso]\n path = /home/%U\n");
    file.close();
    const QList<Systeme::Share> shares = Systeme::SambaDiskShares(conf);
    ASSERT_EQ(shares.size(), 2);
    EXPECT_EQ(shares[0].name + u'=' + shares[0].path, u"Musique=/srv/musique"_s);
    EXPECT_EQ(shares[1].name + u'=' + shares[1].path, u"Long=/srv/long"_s);

    // A native share path maps a network folder onto this computer's own files.
    const QString local = tmp.path() + u"/partage"_s;
    ASSERT_TRUE(QDir().mkpath(local + u"/Rock"_s));
    sys.setShareLister([&] { return QList<Systeme::Share>{{u"Musique"_s, local}}; });
    EXPECT_EQ(NativePath(sys.ChangeUNCFolder2LocalFolder(u"\\\\Studio1\\Musique\\Rock\\"_s, u"Studio1"_s)),
              local + u"/Rock/"_s);
}

TEST_F(FolderHelpers, EspaceLibreDisqueAndLibSize)
{
    EXPECT_EQ(sys.EspaceLibreDisque(QString()), 0.0);
    EXPECT_EQ(sys.EspaceLibreDisque(u"Q:\\"_s), 0.0); // no such drive
    EXPECT_NEAR(sys.EspaceLibreDisque(u"C:\\"_s), double(QStorageInfo(tmp.path()).bytesAvailable()),
                64.0 * 1024 * 1024);

    EXPECT_EQ(sys.LibSize(1023), u"1,023.00 o"_s);
    EXPECT_EQ(sys.LibSize(1536), u"1.50 Ko"_s);
    EXPECT_EQ(sys.LibSize(5.25 * 1024 * 1024 * 1024), u"5.25 Go"_s);
    double huge = 1024; // beyond the largest unit the number grows instead
    for (int i = 0; i < 8; ++i)
        huge *= 1024;
    EXPECT_EQ(sys.LibSize(huge), u"1,024.00 Yo"_s);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString german = sys.LibSize(1023);
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(german, u"1.023,00 o"_s);
}
