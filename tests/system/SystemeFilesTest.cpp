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
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace nvx;
using namespace Qt::StringLiterals;
using nvx::test::RecordingReporter;

namespace {

// A tick that moves by a fixed step at every reading, as a slow disk would make it.
class SteppingClock final : public Clock {
public:
    explicit SteppingClock(qint64 step) : step_(step) {}
    QDateTime now() const override { return QDateTime(QDate(2020, 2, 20), QTime(10, 0)); }
    qint64 ChronoMilliSec() const override { return ticks_ += step_; }
    void sleep(int) override {}

private:
    qint64 step_;
    mutable qint64 ticks_ = 0;
};

// Makes a file or folder refuse writing for the length of a test. Permissions do not stop root,
// so under root the file system's immutable flag is used instead.
class WriteLock {
public:
    explicit WriteLock(const QString& nativePath) : path_(nativePath), old_(QFile::permissions(nativePath))
    {
        locked_ = ::geteuid() == 0
                      ? setImmutable(true)
                      : QFile::setPermissions(path_, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    ~WriteLock()
    {
        if (locked_ && ::geteuid() == 0)
            setImmutable(false);
        else if (locked_)
            QFile::setPermissions(path_, old_);
    }
    bool locked() const { return locked_; }

private:
    bool setImmutable(bool on) const
    {
        const int fd = ::open(QFile::encodeName(path_).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        int identity = 0;
        bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &identity) == 0;
        identity = on ? (identity | FS_IMMUTABLE_FL) : (identity & ~FS_IMMUTABLE_FL);
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &identity) == 0;
        if (fd >= 0)
            ::close(fd);
        return done;
    }
    QString path_;
    QFileDevice::Permissions old_;
    bool locked_ = false;
};

class FileHelpers : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        setDriveRoot(tmp.path());
        ASSERT_TRUE(QDir().mkpath(tmp.path() + u"/c/VL_Data"_s));
    }
    void TearDown() override
    {
        setDriveRoot({});
        EXPECT_TRUE(reporter.origins.isEmpty()) << qPrintable(reporter.origins.join(u'\n'));
    }

    // Writes a file given in the suite's form; its folders are created.
    static void write(const QString& suitePath, const QByteArray& bytes)
    {
        const QString native = NativePath(suitePath);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(native).absolutePath()));
        QFile file(native);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    static QByteArray read(const QString& suitePath)
    {
        QFile file(NativePath(suitePath));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static bool exists(const QString& suitePath) { return QFileInfo::exists(NativePath(suitePath)); }
    static void setTimes(const QString& suitePath, const QDateTime& modified, const QDateTime& accessed)
    {
        QFile file(NativePath(suitePath));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
        ASSERT_TRUE(file.setFileTime(accessed, QFileDevice::FileAccessTime));
    }
    bool traced(const QString& line) const { return reporter.lines.contains(line); }

    QTemporaryDir tmp;
    RecordingReporter reporter;
    test::FakeClock clock;
    test::FakeHost host;
    Identity identity;
    Lifecycle lifecycle;
    Systeme sys{reporter, clock, host, identity, lifecycle};
};

} // namespace

TEST_F(FileHelpers, FileExistCleansBlanksBeforeTheExtensionThenTriesTheNameAsGiven)
{
    write(u"C:\\VL_Data\\titre.wav"_s, "RIFF");
    EXPECT_TRUE(sys.File_Exist(u"  C:\\VL_Data\\titre   .wav"_s));
    // Only the spaced name exists: the cleaned name misses, the untouched one is found.
    write(u"C:\\VL_Data\\autre .wav"_s, "RIFF");
    EXPECT_TRUE(sys.File_Exist(u"C:\\VL_Data\\autre .wav"_s));
    EXPECT_FALSE(sys.File_Exist(u"C:\\VL_Data\\absent .wav"_s));
    EXPECT_FALSE(sys.File_Exist(u"   "_s));
}

TEST_F(FileHelpers, FileExistMatchesCaseWildcardsAndTheNonEmptyFlag)
{
    write(u"C:\\VL_Data\\Sons\\JINGLE.WAV"_s, "RIFF");
    write(u"C:\\VL_Data\\Sons\\Live [1] vide.mp3"_s, QByteArray());
    EXPECT_TRUE(sys.File_Exist(u"c:\\vl_data\\sons\\jingle.wav"_s));
    EXPECT_TRUE(sys.File_Exist(u"C:\\VL_Data\\Sons\\JINGL?.*"_s));
    // Brackets are part of the name, not a character class.
    EXPECT_TRUE(sys.File_Exist(u"C:\\VL_Data\\Sons\\Live [1]*"_s));
    EXPECT_FALSE(sys.File_Exist(u"C:\\VL_Data\\Sons\\Live 1*"_s));
    EXPECT_FALSE(sys.File_Exist(u"C:\\VL_Data\\Sons\\*.ogg"_s));
    // An empty file, found by name or by pattern, does not count when content is required.
    EXPECT_FALSE(sys.File_Exist(u"C:\\VL_Data\\Sons\\Live [1] vide.mp3"_s, u"Test"_s, true));
    EXPECT_FALSE(sys.File_Exist(u"C:\\VL_Data\\Sons\\Live*"_s, u"Test"_s, true));
    EXPECT_TRUE(sys.File_Exist(u"C:\\VL_Data\\Sons\\*.wav"_s, u"Test"_s, true));
}

TEST_F(FileHelpers, TailleDuFichierReportsSlowAnswers)
{
    write(u"C:\\VL_Data\\a.bin"_s, QByteArray(1500, 'x'));
    EXPECT_EQ(sys.TailleDuFichier(u"C:\\VL_Data\\a.bin"_s), 1500);
    EXPECT_TRUE(reporter.lines.isEmpty());

    SteppingClock slow(1000);
    Systeme slowSys(reporter, slow, host, identity, lifecycle);
    EXPECT_EQ(slowSys.TailleDuFichier(u"C:\\VL_Data\\a.bin"_s), 1500);
    EXPECT_EQ(
        reporter.lines,
        QStringList{u"Lib_SystemeFunction TailleDuFichier Duration: 1000 ms (File: C:\\VL_Data\\a.bin)"_s});
}

TEST_F(FileHelpers, FileCopyRefusesBlankMissingOrMisnamedSources)
{
    EXPECT_FALSE(sys.File_Copy(u"  "_s, u"C:\\VL_Data\\b.wav"_s));
    EXPECT_TRUE(traced(u"Warning: File_Copy: File name null"_s));
    EXPECT_FALSE(sys.File_Copy(u"C:\\VL_Data\\absent.wav"_s, u"C:\\VL_Data\\b.wav"_s));
    EXPECT_TRUE(traced(u"Warning: File_Copy: File not found: C:\\VL_Data\\absent.wav"_s));

    // Found only under its cleaned name: the copy uses the name as given and must not claim
    // a success it did not have.
    write(u"C:\\VL_Data\\titre.wav"_s, "RIFF");
    EXPECT_FALSE(sys.File_Copy(u"C:\\VL_Data\\titre .wav"_s, u"C:\\VL_Data\\b.wav"_s));
    EXPECT_TRUE(traced(u"File_Copy: Err: 1026 |Source file missing. Source: C:\\VL_Data\\titre .wav  "
                       u"Target: C:\\VL_Data\\b.wav"_s));
    EXPECT_FALSE(exists(u"C:\\VL_Data\\b.wav"_s));
}

TEST_F(FileHelpers, FileCopySucceedsIntoNewFoldersOverExistingFilesAndIntoFolders)
{
    const QByteArray content(300000, 'a');
    write(u"C:\\VL_Data\\a.wav"_s, content);
    const QDateTime modified(QDate(2021, 3, 4), QTime(5, 6, 7));
    setTimes(u"C:\\VL_Data\\a.wav"_s, modified, modified);

    // The target's missing folders are made, and the copy keeps the source's times.
    ASSERT_TRUE(sys.File_Copy(u"C:\\VL_Data\\a.wav"_s, u"C:\\Backup\\Jour\\a.wav"_s));
    EXPECT_EQ(read(u"C:\\Backup\\Jour\\a.wav"_s), content);
    EXPECT_EQ(QFileInfo(NativePath(u"C:\\Backup\\Jour\\a.wav"_s)).lastModified(), modified);
    EXPECT_TRUE(traced(u"File_Copy: 0 |Duration: 0 ms |File: C:\\VL_Data\\a.wav"_s));
    const QRegularExpression freeSpace(uR"(^Free space for C: [\d,]+\.\d\d [KMGTPEZY]?o$)"_s);
    EXPECT_EQ(reporter.lines.filter(freeSpace).size(), 1) << qPrintable(reporter.lines.join(u'\n'));

    // A longer existing target is replaced whole; an existing folder receives the file under
    // its own name; no temporary file is left beside the targets.
    write(u"C:\\Backup\\long.wav"_s, QByteArray(900000, 'z'));
    ASSERT_TRUE(sys.File_Copy(u"C:\\VL_Data\\a.wav"_s, u"C:\\Backup\\long.wav"_s));
    EXPECT_EQ(read(u"C:\\Backup\\long.wav"_s), content);
    ASSERT_TRUE(sys.File_Copy(u"C:\\VL_Data\\a.wav"_s, u"C:\\Backup"_s));
    EXPECT_EQ(read(u"C:\\Backup\\a.wav"_s), content);
    EXPECT_EQ(QDir(NativePath(u"C:\\Backup"_s)).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST_F(FileHelpers, FileCopyFailuresKeepTheTargetAsItWas)
{
    write(u"C:\\VL_Data\\a.wav"_s, "RIFF");
    write(u"C:\\VL_Data\\plain.txt"_s, "not a folder");
    EXPECT_FALSE(sys.File_Copy(u"C:\\VL_Data\\a.wav"_s, u"C:\\VL_Data\\plain.txt\\sub\\a.wav"_s));
    EXPECT_TRUE(traced(u"File_Copy: Err: 53 |Folder not found. Source: C:\\VL_Data\\a.wav  "
                       u"Target: C:\\VL_Data\\plain.txt\\sub\\a.wav"_s));
    EXPECT_EQ(read(u"C:\\VL_Data\\plain.txt"_s), "not a folder");

    write(u"C:\\Verrou\\a.wav"_s, "old");
    const WriteLock lock(NativePath(u"C:\\Verrou"_s));
    if (!lock.locked())
        GTEST_SKIP() << "this file system cannot refuse writing";
    EXPECT_FALSE(sys.File_Copy(u"C:\\VL_Data\\a.wav"_s, u"C:\\Verrou\\a.wav"_s));
    EXPECT_TRUE(traced(u"File_Copy: Err: 5 |Source: C:\\VL_Data\\a.wav  Target: C:\\Verrou\\a.wav"_s))
        << qPrintable(reporter.lines.join(u'\n'));
    EXPECT_EQ(QDir(NativePath(u"C:\\Verrou"_s)).entryList(QDir::Files | QDir::Hidden),
              QStringList{u"a.wav"_s});
    EXPECT_EQ(read(u"C:\\Verrou\\a.wav"_s), "old");
}

TEST_F(FileHelpers, FileDeleteRemovesFilesAndFoldersAndReportsFailures)
{
    write(u"C:\\VL_Data\\Histo\\2020\\x.xml"_s, "x");
    EXPECT_TRUE(sys.File_Delete(u"C:\\VL_Data\\HISTO\\2020\\X.XML"_s, u"Purge"_s));
    EXPECT_TRUE(sys.File_Delete(u"C:\\VL_Data\\Histo"_s, u"Purge"_s));
    EXPECT_FALSE(exists(u"C:\\VL_Data\\Histo"_s));
    EXPECT_TRUE(reporter.lines.isEmpty());

    EXPECT_FALSE(sys.File_Delete(u"  "_s, u"Purge"_s));
    EXPECT_TRUE(traced(u"Warning: File_Delete: File name null"_s));
    EXPECT_FALSE(sys.File_Delete(u"C:\\VL_Data\\absent.txt"_s, u"Purge"_s));
    EXPECT_TRUE(traced(u"File_Delete: Warning: 2 |File not found: C:\\VL_Data\\absent.txt |Sub: Purge"_s));

    write(u"C:\\Verrou\\x.txt"_s, "x");
    const WriteLock lock(NativePath(u"C:\\Verrou"_s));
    if (!lock.locked())
        GTEST_SKIP() << "this file system cannot refuse writing";
    EXPECT_FALSE(sys.File_Delete(u"C:\\Verrou\\x.txt"_s, u"Purge"_s));
    EXPECT_TRUE(traced(u"File_Delete: Err: 5 |C:\\Verrou\\x.txt |Sub: Purge"_s));
    EXPECT_TRUE(exists(u"C:\\Verrou\\x.txt"_s));
}

TEST_F(FileHelpers, FileRemoveFlagGivesTheOwnerWriting)
{
    write(u"C:\\VL_Data\\ro.ini"_s, "[a]");
    const QString native = NativePath(u"C:\\VL_Data\\ro.ini"_s);
    ASSERT_TRUE(QFile::setPermissions(native, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    sys.File_RemoveFlag(u"C:\\VL_Data\\RO.INI"_s);
    EXPECT_EQ(QFile::permissions(native) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);

    sys.File_RemoveFlag(u"C:\\VL_Data\\absent.ini"_s);
    EXPECT_TRUE(traced(u"Warning: File_RemoveFlag: File not found: C:\\VL_Data\\absent.ini"_s));
}

TEST_F(FileHelpers, DateModificationFichierGivesLocalTimesAndSize)
{
    write(u"C:\\VL_Data\\FRAD053.bt6"_s, QByteArray(4321, 'b'));
    setTimes(u"C:\\VL_Data\\FRAD053.bt6"_s, QDateTime(QDate(2021, 3, 4), QTime(5, 6, 7, 890)),
             QDateTime(QDate(2022, 7, 8), QTime(9, 10, 11, 120)));
    EXPECT_EQ(sys.DateModificationFichier({}, u"C:\\VL_Data\\FRAD053.bt6"_s, false),
              QDateTime(QDate(2021, 3, 4), QTime(5, 6, 7)));
    EXPECT_EQ(sys.DerniereTailleFichier, 4321u);
    EXPECT_EQ(sys.DateModificationFichier({}, u"C:\\VL_Data\\FRAD053.bt6"_s, true),
              QDateTime(QDate(2022, 7, 8), QTime(9, 10, 11)));

    // A missing file gives no date, and no size left over from the previous file.
    EXPECT_FALSE(sys.DateModificationFichier({}, u"C:\\VL_Data\\absent.bt6"_s, false).isValid());
    EXPECT_EQ(sys.DerniereTailleFichier, 0u);
}

TEST_F(FileHelpers, DateModificationFichierReadsALockedFileThroughALocalCopy)
{
    write(u"C:\\VL_Data\\FRAD053.bt6"_s, QByteArray(777, 'b'));
    const QDateTime modified(QDate(2021, 3, 4), QTime(5, 6, 7));
    setTimes(u"C:\\VL_Data\\FRAD053.bt6"_s, modified, modified);
    const WriteLock lock(NativePath(u"C:\\VL_Data\\FRAD053.bt6"_s));
    if (!lock.locked())
        GTEST_SKIP() << "this file system cannot refuse writing";

    EXPECT_EQ(sys.DateModificationFichier(u"C:\\Local\\"_s, u"C:\\VL_Data\\FRAD053.bt6"_s, false), modified);
    EXPECT_EQ(sys.DerniereTailleFichier, 777u);
    EXPECT_TRUE(traced(u"File_Copy: 0 |Duration: 0 ms |File: C:\\VL_Data\\FRAD053.bt6"_s));
    EXPECT_TRUE(exists(u"C:\\Local"_s));
    EXPECT_FALSE(exists(u"C:\\Local\\File.tmp"_s));
    // Without a local folder the file's own information is still read.
    EXPECT_EQ(sys.DateModificationFichier({}, u"C:\\VL_Data\\FRAD053.bt6"_s, false), modified);
}
