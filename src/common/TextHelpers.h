#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>

namespace nvx {

class Reporter;

// Small conversions used everywhere: fixed-width numbers and dates, the date formatter, tag
// extraction from the scheduler's request text, text clean-up and path splitting.
// The functions that can fail report through the optional reporter under "Lib_Public:<name>"
// (or "Lib_Systeme:UTF8_Encode_System") and return their neutral result.

// Fixed-width text of a number: value + 0.005 rounded half to even, clamped to +-2147483647,
// padded on the left with the first character of pad and cut to its rightmost width characters.
// A negative number keeps its sign in front of width - 1 characters; with decimals > 0 the value
// is written with that many decimals (".") before padding and cutting.
QString N2S(double value, qint16 width, qint16 decimals = 0, const QString& pad = QStringLiteral("0"));
// "YYYYMMDD"; an invalid date gives today's date (reported).
QString D2S(const QDate& date, Reporter* reporter = nullptr);
// Date from "YYYYMMDD" with calendar roll-over and two-digit years (0-29 -> 2000s, 30-99 -> 1900s);
// an invalid QDate (reported) beyond year 9999.
QDate S2D(const QString& text, Reporter* reporter = nullptr);
// Formats with the classic format patterns ("HH:MM:SS", "dd/MM/yyyy", "dd/MM", "dd/MM/yy", ...);
// a blank pattern means "HH:MM:SS".
QString Date2StringEx(const QDateTime& date, const QString& pattern);
// Value after the tag opening (for example "<HHDeb:") up to the next ">", or the default.
QString ExtraireBalise(const QString& text, const QString& opening, const QString& defaultValue);
// Overwrites count characters of text from start (1-based) with the replacement's first ones.
QString RemplaceChaine(const QString& text, const QString& replacement, qint16 count, qint16 start);
// Blanks control and high characters (except a few accented letters), in place; returns the text.
QString ClearChaine(QString& text);
// Text without accents, and optionally without punctuation.
QString RemoveAccent(const QString& text, bool removePunctuation, bool keepAt, bool keepColon,
                     Reporter* reporter = nullptr);
// UTF-8 bytes of text, one character per byte, with "&" spelt " et ".
QString UTF8_Encode_System(const QString& text);

// The three parts of a path.
struct EclatementChemin {
    QString RepEclate; // folder, ending with "\" when the path has one
    QString FicEclate; // name without extension
    QString ExtEclate; // extension including its dot
};
EclatementChemin EclateRepFicExt(const QString& path);
// Folder with exactly one trailing "\" (empty stays empty).
QString CheckRep(const QString& folder);
// Path with the characters that no folder name may hold removed.
QString NettoieNomDeDossier(const QString& path);
// False when the name holds "*", "?", a double quote or "|".
bool NomFichierCorrect(const QString& name);
// Folder-kind number of a three-letter code ("JIN" 1 ... "TMP" 12), 0 otherwise.
qint16 SerieDeRepertoire(const QString& code);
// Display title of a song, optionally with its version in brackets.
QString TitreDuMorceau(const QString& title, const QString& version, bool withVersion, bool titleOnly);

// The numeric value of the start of a text, as the classic Val() reads it: blanks, tabs and line
// feeds are skipped wherever they are, then an optional sign, digits, an optional decimal part
// and an optional exponent; 0 when nothing numeric comes first.
double vbVal(const QString& text);
// The text without its leading and trailing blanks (" " only, as the classic Trim): tabs and
// other white space are kept, so a text of tabs is not blank.
QString vbTrim(const QString& text);

} // namespace nvx
