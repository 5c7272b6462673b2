#include "export/XmlText.h"

#include "common/TextHelpers.h"
#include "common/Win1252.h"

#include <QLocale>

#include <charconv>

namespace nvx {

namespace {

// A character that XML 1.0 does not allow in a document: the control characters other than
// tab, LF and CR, the two non-characters U+FFFE and U+FFFF, and half a surrogate pair.
bool interdit(const QString& texte, qsizetype i)
{
    const char16_t u = texte[i].unicode();
    if (u < 0x20)
        return u != u'\t' && u != u'\n' && u != u'\r';
    if (u == 0xFFFE || u == 0xFFFF)
        return true;
    if (QChar::isHighSurrogate(u))
        return i + 1 >= texte.size() || !texte[i + 1].isLowSurrogate();
    if (QChar::isLowSurrogate(u))
        return i == 0 || !texte[i - 1].isHighSurrogate();
    return false;
}

// Escapes the characters that would end or open markup inside an element's text, and writes a
// blank for each character no XML reader would accept (the request and the settings may hold
// them), so that one odd value never makes the whole hour unreadable.
QString echappe(const QString& texte)
{
    qsizetype reserve = 0;
    bool aRemplacer = false;
    for (qsizetype i = 0; i < texte.size(); ++i) {
        const QChar c = texte[i];
        if (c == u'<' || c == u'>' || c == u'&')
            reserve += 4;
        else if (c.unicode() < 0x20 || c.unicode() >= 0xD800)
            aRemplacer = aRemplacer || interdit(texte, i);
    }
    if (reserve == 0 && !aRemplacer)
        return texte;
    QString r;
    r.reserve(texte.size() + reserve);
    for (qsizetype i = 0; i < texte.size(); ++i) {
        const QChar c = texte[i];
        if (c == u'<')
            r += QStringLiteral("&lt;");
        else if (c == u'>')
            r += QStringLiteral("&gt;");
        else if (c == u'&')
            r += QStringLiteral("&amp;");
        else if (aRemplacer && interdit(texte, i))
            r += u' ';
        else
            r += c;
    }
    return r;
}

} // namespace

QString TexteXml(const QString& valeur)
{
    return echappe(valeur);
}

QString LibelleXml(const QString& libelle)
{
    // The shared encoder gives UTF-8 bytes as code-page characters with its ampersand rule
    // applied; back to Unicode here, since the whole document is encoded once.
    return echappe(QString::fromUtf8(toWindows1252(UTF8_Encode_System(libelle))));
}

QString NiveauXml(float level)
{
    char tampon[64];
    // Fixed notation with the fewest digits that read back as the same float.
    const auto fin = std::to_chars(tampon, tampon + sizeof tampon, level, std::chars_format::fixed);
    QString texte = QString::fromLatin1(tampon, fin.ptr - tampon);
    const QString separateur = QLocale().decimalPoint();
    if (separateur != QStringLiteral("."))
        texte.replace(u'.', separateur);
    return texte;
}

} // namespace nvx
