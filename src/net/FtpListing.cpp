#include "net/FtpListing.h"

#include <QRegularExpression>
#include <QStringList>

namespace nvx {

namespace {

constexpr quint32 kLink = 0x1000;

// "rwxr-xr--": the nine permission characters as the tester's bits (owner 0x400/0x200/0x100,
// group 0x40..., others 0x4...).
quint32 bitsDe(QStringView rwx)
{
    quint32 flags = 0;
    for (qsizetype i = 0; i < 9 && i < rwx.size(); ++i) {
        const QChar c = rwx[i];
        // s and t stand for execute plus a special bit, S and T for the special bit alone.
        if (c == u'-' || c == u'S' || c == u'T')
            continue;
        flags |= (0x4u >> (i % 3)) << (4 * (2 - i / 3));
    }
    return flags;
}

// Unix mode in octal ("0755", or "0o755" as some servers write it) as the tester's bits.
quint32 bitsOctal(const QString& mode)
{
    bool ok = false;
    const QString chiffres = mode.startsWith(QStringLiteral("0o"), Qt::CaseInsensitive) ? mode.mid(2) : mode;
    const uint v = chiffres.toUInt(&ok, 8);
    if (!ok)
        return 0;
    quint32 flags = 0;
    for (int groupe = 0; groupe < 3; ++groupe)
        flags |= ((v >> (3 * (2 - groupe))) & 7u) << (4 * (2 - groupe));
    return flags;
}

// "20200220093015[.sss]" as "2020-02-20 09:30"; any other text as it came.
QString dateMlsd(const QString& valeur)
{
    if (valeur.size() < 12)
        return valeur;
    for (qsizetype i = 0; i < 12; ++i)
        if (!valeur[i].isDigit())
            return valeur;
    return valeur.left(4) + u'-' + valeur.mid(4, 2) + u'-' + valeur.mid(6, 2) + u' ' + valeur.mid(8, 2) +
           u':' + valeur.mid(10, 2);
}

std::optional<FtpEntry> ligneUnix(const QString& line)
{
    static const QRegularExpression forme(QStringLiteral(
        R"(^([-dlcbps])([-rwxsStT]{9})[+@.]?\s+\d+\s+(\S+)\s+(\S+)\s+(\d+)\s+)"
        // The month first ("Feb 20 09:30"), or the day first ("20 Feb 09:30") as some servers write it.
        R"(([A-Za-z]{3}\s+\d{1,2}\s+(?:\d{1,2}:\d{2}|\d{4})|\d{1,2}\s+[A-Za-z]{3}\s+(?:\d{1,2}:\d{2}|\d{4})))"
        R"(\s(.+)$)"));
    const QRegularExpressionMatch m = forme.match(line);
    if (!m.hasMatch())
        return std::nullopt;
    FtpEntry e;
    const QChar type = m.captured(1).at(0);
    e.folder = type == u'd';
    e.flags = bitsDe(m.capturedView(2)) | (type == u'l' ? kLink : 0);
    e.owner = m.captured(3);
    e.group = m.captured(4);
    e.size = m.captured(5).toLongLong();
    e.date = m.captured(6).simplified();
    e.name = m.captured(7);
    if (type == u'l') {
        const qsizetype fleche = e.name.indexOf(QStringLiteral(" -> "));
        if (fleche > 0)
            e.name.truncate(fleche);
    }
    return e;
}

std::optional<FtpEntry> ligneDos(const QString& line)
{
    static const QRegularExpression forme(QStringLiteral(
        R"(^(\d{2}-\d{2}-\d{2,4})\s+(\d{1,2}:\d{2}\s*(?:[AaPp][Mm])?)\s+(<DIR>|\d+)\s+(.+)$)"));
    const QRegularExpressionMatch m = forme.match(line);
    if (!m.hasMatch())
        return std::nullopt;
    FtpEntry e;
    e.date = m.captured(1) + u' ' + m.captured(2).remove(u' ');
    e.folder = m.captured(3) == u"<DIR>";
    e.size = e.folder ? 0 : m.captured(3).toLongLong();
    e.name = m.captured(4);
    // The DOS form says nothing of permissions: what the account can do is unknown.
    e.flags = 0;
    return e;
}

} // namespace

QString FilePerms(quint32 flags, bool folder)
{
    QString t = (flags & kLink) ? QStringLiteral("l") : folder ? QStringLiteral("d") : QStringLiteral("-");
    for (int shift : {8, 4, 0}) {
        t += (flags & (0x4u << shift)) ? u'r' : u'-';
        t += (flags & (0x2u << shift)) ? u'w' : u'-';
        t += (flags & (0x1u << shift)) ? u'x' : u'-';
    }
    return t;
}

QString tailleTexte(qint64 size)
{
    return QString::number(size).rightJustified(9, u' ');
}

std::optional<FtpEntry> parseListLine(const QString& line)
{
    const QString l = line.trimmed();
    if (l.isEmpty())
        return std::nullopt;
    if (auto e = ligneUnix(l))
        return e;
    return ligneDos(l);
}

std::optional<FtpEntry> parseMlsdLine(const QString& line)
{
    QString l = line;
    while (l.endsWith(u'\r') || l.endsWith(u'\n'))
        l.chop(1);
    const qsizetype espace = l.indexOf(u' ');
    if (espace <= 0 || !l.left(espace).contains(u'='))
        return std::nullopt;
    FtpEntry e;
    e.name = l.mid(espace + 1);
    // Facts about nothing: a row without a name could only be opened as the folder itself.
    if (e.name.isEmpty())
        return std::nullopt;
    bool lien = false;
    for (const QString& fait : l.left(espace).split(u';', Qt::SkipEmptyParts)) {
        const qsizetype egal = fait.indexOf(u'=');
        if (egal <= 0)
            continue;
        const QString cle = fait.left(egal).toLower();
        const QString valeur = fait.mid(egal + 1);
        if (cle == u"type") {
            const QString type = valeur.toLower();
            if (type == u"cdir" || type == u"pdir")
                return std::nullopt;
            e.folder = type == u"dir";
            lien = type.startsWith(QStringLiteral("os.unix=symlink")) ||
                   type.startsWith(QStringLiteral("os.unix=slink"));
        } else if (cle == u"size" || cle == u"sizd") {
            e.size = valeur.toLongLong();
        } else if (cle == u"modify") {
            e.date = dateMlsd(valeur);
        } else if (cle == u"unix.mode") {
            e.flags |= bitsOctal(valeur);
        } else if (cle == u"unix.owner" || cle == u"unix.ownername") {
            e.owner = valeur;
        } else if (cle == u"unix.group" || cle == u"unix.groupname") {
            e.group = valeur;
        }
    }
    if (lien)
        e.flags |= kLink;
    return e;
}

QList<FtpEntry> parseListing(const QByteArray& answer, bool mlsd)
{
    QList<FtpEntry> entries;
    for (const QByteArray& raw : answer.split('\n')) {
        const QString line = QString::fromUtf8(raw.endsWith('\r') ? raw.chopped(1) : raw);
        if (auto e = mlsd ? parseMlsdLine(line) : parseListLine(line))
            entries.append(*e);
    }
    return entries;
}

} // namespace nvx
