#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace nvx {

// One entry of a remote folder, as the FTP tester's list shows it.
struct FtpEntry {
    QString name;
    qint64 size = 0;
    // Permission bits as in a Unix mode (0x400 owner read ... 0x1 others execute), plus 0x1000 for
    // a symbolic link.
    quint32 flags = 0;
    bool folder = false;
    QString date; // as the server wrote it
    QString owner;
    QString group;
};

// Ten characters: "l" for a link, "d" for a folder, else "-"; then "rwx" for the owner, the group
// and the others, each "-" when its bit is clear.
QString FilePerms(quint32 flags, bool folder);
// The size column: decimal, padded on the left with blanks to 9 characters.
QString tailleTexte(qint64 size);

// One line of a LIST answer, in the Unix form ("drwxr-xr-x 2 owner group 4096 Jan  1 12:00
// name", links as "name -> target") or the DOS form ("01-02-20  10:30AM  <DIR>  name"); nothing
// for a line that is neither (a "total" line, a blank, a server's remark).
std::optional<FtpEntry> parseListLine(const QString& line);
// One line of an MLSD answer ("type=dir;size=0;modify=20200101120000;UNIX.mode=0755; name");
// nothing for the current and parent folder entries and for a line without facts or without a
// name.
std::optional<FtpEntry> parseMlsdLine(const QString& line);
// Every entry of a LIST or MLSD answer (UTF-8, lines ending with CR LF or LF).
QList<FtpEntry> parseListing(const QByteArray& answer, bool mlsd);

} // namespace nvx
