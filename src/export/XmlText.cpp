#include "export/XmlText.h"

#include "common/TextHelpers.h"
#include "common/Win1252.h"

#include <QLocale>

#include <charconv>

namespace nvx {

namespace {

// Escapes the characters that would end or open markup inside an element's text.
QString echappe(const QString& texte)
{
    qsizetype reserve = 0;
    for (QChar c : texte)
        if (c == u'<' || c == u'>' || c == u'&')
            reserve += 4;
    if (reserve == 0)
        return texte;
    QString r;
    r.reserve(texte.size() + reserve);
    for (QChar c : texte) {
        if (c == u'<')
            r += QStringLiteral("&lt;");
        else if (c == u'>')
            r += QStringLiteral("&gt;");
        else if (c == u'&')
            r += QStringLiteral("&amp;");
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
