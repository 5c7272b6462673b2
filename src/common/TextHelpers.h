#pragma once

#include <QByteArray>
#include <QString>

namespace nvx {

class Reporter;

// Small conversions used everywhere: fixed-width numbers, tag extraction from the scheduler's
// request text, text clean-up.
// The functions that can fail report through the optional reporter under "Lib_Public:<name>"
// (or "Lib_Systeme:UTF8_Encode_System") and return their neutral result.

// Fixed-width text of a number: value + 0.005 rounded half to even, clamped to +-2147483647,
// padded on the left with the first character of pad and cut to its rightmost width characters.
// A negative number keeps its sign in front of width - 1 characters; with decimals > 0 the value
// is written with that many decimals (".") before padding and cutting.
QString N2S(double value, qint16 width, qint16 decimals = 0, const QString& pad = QStringLiteral("0"));
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
