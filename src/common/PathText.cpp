#include "common/PathText.h"

#include "common/TextHelpers.h"

namespace nvx {

EclatementChemin EclateRepFicExt(const QString& path)
{
    const QString p = vbTrim(path);
    EclatementChemin parts{p, {}, {}};
    // From the right: the first dot met starts the extension, the first "\" ends the name.
    // A dot met after that "\" belongs to a folder and is not an extension.
    qsizetype extensionStart = p.size();
    for (qsizetype i = p.size() - 1; i >= 0; --i) {
        if (p[i] == u'.' && parts.ExtEclate.isEmpty()) {
            parts.ExtEclate = p.mid(i);
            extensionStart = i;
        }
        if (p[i] == u'\\') {
            parts.RepEclate = p.left(i + 1);
            parts.FicEclate = p.mid(i + 1, extensionStart - (i + 1));
            break;
        }
        if (i == 0) {
            parts.RepEclate.clear();
            parts.FicEclate = p.left(extensionStart);
        }
    }
    return parts;
}

QString CheckRep(const QString& folder)
{
    if (folder.isEmpty())
        return folder;
    if (folder.endsWith(QStringLiteral("\\\\")))
        return folder.left(folder.size() - 1);
    if (folder.endsWith(u'\\'))
        return folder;
    return folder + QLatin1Char('\\');
}

QString NettoieNomDeDossier(const QString& path)
{
    QString p = path;
    for (QChar c : QStringView(u"/*?\"<>|,"))
        p.replace(c, u' ');
    p.remove(QStringLiteral("..."));
    p.remove(QStringLiteral(".."));
    p.remove(u'%');
    if (p.size() > 2) {
        // The first two characters are the drive ("C:"): their ":" is the only one allowed.
        QString rest = p.mid(2);
        rest.replace(u':', u' ');
        rest.replace(QStringLiteral("   "), QStringLiteral(" "));
        p = p.left(2) + rest;
    }
    while (p.contains(QStringLiteral(" \\")))
        p.replace(QStringLiteral(" \\"), QStringLiteral("\\"));
    return vbTrim(p);
}

bool NomFichierCorrect(const QString& name)
{
    for (QChar c : QStringView(u"*?\"|")) {
        if (name.contains(c))
            return false;
    }
    return true;
}

qint16 SerieDeRepertoire(const QString& code)
{
    static constexpr QStringView kCodes[] = {u"JIN", u"LIN", u"RUB", u"INF", u"EMI", u"ANN",
                                             u"CHR", u"SPE", u"PRE", u"EXT", u"PUB", u"TMP"};
    for (qint16 i = 0; i < qint16(std::size(kCodes)); ++i) {
        if (code == kCodes[i])
            return qint16(i + 1);
    }
    return 0;
}

} // namespace nvx
