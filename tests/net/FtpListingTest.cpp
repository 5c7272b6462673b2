#include "net/FtpListing.h"

#include <gtest/gtest.h>

using namespace nvx;

TEST(FtpListing, PermissionsTextFollowsTheFlags)
{
    // A file with owner read and write, group read and others read.
    EXPECT_EQ(FilePerms(0x400 | 0x200 | 0x40 | 0x4, false), QStringLiteral("-rw-r--r--"));
    EXPECT_EQ(FilePerms(0x777, true), QStringLiteral("drwxrwxrwx"));
    EXPECT_EQ(FilePerms(0x1000 | 0x777, true), QStringLiteral("lrwxrwxrwx")) << "a link before a folder";
    EXPECT_EQ(FilePerms(0, false), QStringLiteral("----------"));
    EXPECT_EQ(tailleTexte(4096), QStringLiteral("     4096"));
    EXPECT_EQ(tailleTexte(1234567890), QStringLiteral("1234567890"));
}

TEST(FtpListing, UnixLinesGiveFoldersFilesAndLinks)
{
    const QList<FtpEntry> e =
        parseListing("total 12\r\n"
                     "drwxr-xr-x    2 radio    sons         4096 Jan  5 12:30 music\r\n"
                     "-rw-r--r--    1 radio    sons      5242880 Dec 31  2019 jingle 01.mp3\r\n"
                     "lrwxrwxrwx    1 root     root           11 Feb 20 09:00 last -> music/new\r\n"
                     "-rwsr-Sr-T    1 a        b               0 Mar  1 00:00 odd\r\n"
                     "-rw-r--r--    1 0        0              12 05 Mar 12:00 day first\r\n",
                     false);
    ASSERT_EQ(e.size(), 5);
    EXPECT_TRUE(e[0].folder);
    EXPECT_EQ(e[0].name, QStringLiteral("music"));
    EXPECT_EQ(FilePerms(e[0].flags, e[0].folder), QStringLiteral("drwxr-xr-x"));
    EXPECT_EQ(e[0].owner, QStringLiteral("radio"));
    EXPECT_EQ(e[0].group, QStringLiteral("sons"));
    EXPECT_EQ(e[0].date, QStringLiteral("Jan 5 12:30"));
    EXPECT_EQ(e[1].name, QStringLiteral("jingle 01.mp3")) << "a name may hold blanks";
    EXPECT_EQ(e[1].size, 5242880);
    EXPECT_EQ(e[1].date, QStringLiteral("Dec 31 2019"));
    EXPECT_EQ(e[2].name, QStringLiteral("last")) << "the link's target is not part of its name";
    EXPECT_EQ(FilePerms(e[2].flags, e[2].folder), QStringLiteral("lrwxrwxrwx"));
    EXPECT_EQ(FilePerms(e[3].flags, e[3].folder), QStringLiteral("-rwxr--r--"));
    EXPECT_EQ(e[4].name, QStringLiteral("day first"));
    EXPECT_EQ(e[4].date, QStringLiteral("05 Mar 12:00"));
}

TEST(FtpListing, DosLinesAndMlsdFacts)
{
    const QList<FtpEntry> dos = parseListing("01-02-20  10:30AM       <DIR>          Archives\r\n"
                                             "12-31-2019  11:59PM             1024 Fin d'année.wav\r\n"
                                             "this is a server's remark\r\n",
                                             false);
    ASSERT_EQ(dos.size(), 2);
    EXPECT_TRUE(dos[0].folder);
    EXPECT_EQ(dos[0].name, QStringLiteral("Archives"));
    EXPECT_EQ(FilePerms(dos[0].flags, dos[0].folder), QStringLiteral("d---------"));
    EXPECT_EQ(dos[1].size, 1024);
    EXPECT_EQ(dos[1].name, QStringLiteral("Fin d'année.wav"));
    EXPECT_EQ(dos[1].date, QStringLiteral("12-31-2019 11:59PM"));

    const QList<FtpEntry> mlsd = parseListing(
        "type=cdir;modify=20200101120000; .\r\n"
        "type=pdir;modify=20200101120000; ..\r\n"
        "type=dir;modify=20200220090000;UNIX.mode=0755;UNIX.owner=radio;UNIX.group=sons; music\r\n"
        "type=file;size=42;modify=20200220093015;UNIX.mode=0640; a b.xml\r\n"
        "type=file;size=1;modify=20200220093015;unix.mode=0o604; python.wav\r\n"
        "no facts here\r\n",
        true);
    ASSERT_EQ(mlsd.size(), 3) << "the current and parent folders are not entries";
    EXPECT_TRUE(mlsd[0].folder);
    EXPECT_EQ(FilePerms(mlsd[0].flags, true), QStringLiteral("drwxr-xr-x"));
    EXPECT_EQ(mlsd[0].owner, QStringLiteral("radio"));
    EXPECT_EQ(mlsd[0].date, QStringLiteral("2020-02-20 09:00"));
    EXPECT_EQ(mlsd[1].name, QStringLiteral("a b.xml"));
    EXPECT_EQ(mlsd[1].size, 42);
    EXPECT_EQ(FilePerms(mlsd[1].flags, false), QStringLiteral("-rw-r-----"));
    EXPECT_EQ(FilePerms(mlsd[2].flags, false), QStringLiteral("-rw----r--")) << "the mode in 0o form";
}

TEST(FtpListing, AnMlsdLineWithoutANameIsNoEntry)
{
    const QList<FtpEntry> mlsd = parseListing("type=file;size=3; \r\n"
                                              "type=dir; \r\n"
                                              "type=file;size=3;  \r\n",
                                              true);
    ASSERT_EQ(mlsd.size(), 1);
    EXPECT_EQ(mlsd[0].name, QStringLiteral(" ")) << "everything after the first blank is the name";
}
