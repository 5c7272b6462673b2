#include "common/TextHelpers.h"

#include "common/Reporter.h"
#include "common/Win1252.h"

#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

namespace nvx {

namespace {

constexpr double kLongMax = 2147483647.0;

// Rounds to the nearest integer, halves to the even neighbour, whatever the FPU mode is.
double roundHalfEven(double x)
{
    const double low = std::floor(x);
    const double diff = x - low;
    if (diff > 0.5)
        return low + 1.0;
    if (diff < 0.5)
        return low;
    return std::fmod(low, 2.0) == 0.0 ? low : low + 1.0;
}

bool isBlank(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c == u' '; });
}

} // namespace

QString vbTrim(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == u' ')
        ++first;
    while (last > first && text[last - 1] == u' ')
        --last;
    return text.mid(first, last - first);
}

double vbVal(const QString& text)
{
    // Blanks, tabs and line feeds are skipped wherever they are, as the classic Val() does.
    // Only ASCII takes part in a number, so anything else stops the reading like a letter.
    std::string clean;
    clean.reserve(size_t(text.size()));
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u != u' ' && u != u'\t' && u != u'\n')
            clean.push_back(u < 0x80 ? char(u) : '\x7f');
    }

    std::string number;
    size_t i = 0;
    const auto isDigit = [&](size_t at) { return at < clean.size() && clean[at] >= '0' && clean[at] <= '9'; };
    if (i < clean.size() && (clean[i] == '+' || clean[i] == '-'))
        number.push_back(clean[i++]);
    bool anyDigit = false;
    while (isDigit(i)) {
        number.push_back(clean[i++]);
        anyDigit = true;
    }
    if (i < clean.size() && clean[i] == '.') {
        number.push_back(clean[i++]);
        while (isDigit(i)) {
            number.push_back(clean[i++]);
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return 0.0;
    // An exponent counts only when digits follow it ("1E" is 1); "D" is the old double marker.
    if (i < clean.size() && std::string_view("eEdD").find(clean[i]) != std::string_view::npos) {
        size_t j = i + 1;
        std::string exponent = "e";
        if (j < clean.size() && (clean[j] == '+' || clean[j] == '-'))
            exponent.push_back(clean[j++]);
        if (isDigit(j)) {
            while (isDigit(j))
                exponent.push_back(clean[j++]);
            number += exponent;
        }
    }
    if (number.back() == '.')
        number.pop_back();
    const char* first = number.data();
    if (*first == '+')
        ++first;
    double value = 0.0;
    if (std::from_chars(first, number.data() + number.size(), value).ec == std::errc())
        return value;
    // Out of range: an overflow reads as an infinity, an underflow as 0.
    bool ok = false;
    value = QLocale::c().toDouble(QString::fromLatin1(number.data(), qsizetype(number.size())), &ok);
    return std::isinf(value) ? value : 0.0;
}

QString N2S(double value, qint16 width, qint16 decimals, const QString& pad)
{
    if (width <= 0)
        return {};

    bool negative = false;
    QString digits;
    if (decimals <= 0) {
        double n = std::isnan(value) ? 0.0 : roundHalfEven(value + 0.005);
        n = std::clamp(n, -kLongMax, kLongMax);
        negative = n < 0;
        digits = QString::number(qint64(std::fabs(n)));
    } else {
        double v = std::isnan(value) ? 0.0 : std::clamp(value, -kLongMax, kLongMax);
        negative = v < 0;
        digits = QString::number(std::fabs(v), 'f', decimals);
        if (digits.count(u'0') + digits.count(u'.') == digits.size())
            negative = false; // no "-0.00"
    }

    // The sign stays in front so that a cut never leaves a number that reads as positive.
    const qsizetype room = negative ? width - 1 : width;
    QString text = pad.isEmpty() ? digits : QString(room, pad[0]) + digits;
    text = text.right(room);
    return negative ? QLatin1Char('-') + text : text;
}

QString ExtraireBalise(const QString& text, const QString& opening, const QString& defaultValue)
{
    if (isBlank(text))
        return defaultValue;
    const qsizetype p = text.indexOf(opening, 0, Qt::CaseInsensitive);
    if (p < 0)
        return defaultValue;
    // The value ends at the first ">" after the tag's first character: no nesting, no escapes.
    const qsizetype q = text.indexOf(u'>', p + 1);
    const qsizetype start = p + opening.size();
    if (q < 0 || q < start)
        return defaultValue;
    return text.mid(start, q - start);
}

QString RemplaceChaine(const QString& text, const QString& replacement, qint16 count, qint16 start)
{
    if (count <= 0)
        return {};
    QString result = text;
    if (count > result.size() || start < 1 || start > result.size())
        return result;
    // Overwrite in place: the text keeps its length whatever the replacement's length.
    const qsizetype from = start - 1;
    const qsizetype n = std::min<qsizetype>({qsizetype(count), replacement.size(), result.size() - from});
    for (qsizetype i = 0; i < n; ++i)
        result[from + i] = replacement[i];
    return result;
}

QString ClearChaine(QString& text)
{
    static constexpr QStringView kKept = u"éèàçûôâëù";
    for (QChar& c : text) {
        if (kKept.contains(c))
            continue;
        const int code = windows1252Code(c);
        if (code < 32 || code > 250)
            c = u' ';
    }
    return text;
}

QString RemoveAccent(const QString& text, bool removePunctuation, bool keepAt, bool keepColon,
                     Reporter* reporter)
{
    if (isBlank(text))
        return {};

    // Each character becomes the first character of its canonical decomposition: the base
    // letter without its accent. Characters without one ("œ") stay, and the length is kept.
    QString result(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QString folded = QString(text[i]).normalized(QString::NormalizationForm_D);
        result[i] = folded.isEmpty() ? text[i] : folded[0];
    }
    if (isBlank(result)) {
        if (reporter)
            reporter->trace(QStringLiteral("Err: RemoveAccent: ") + text);
        result = text;
    }

    if (removePunctuation) {
        QString set = QStringLiteral("+-&;,!/\\'#?%°");
        if (!keepColon)
            set += QLatin1Char(':');
        if (!keepAt)
            set += QLatin1Char('@');
        for (QChar c : std::as_const(set))
            result.replace(c, u' ');
        result.replace(u'"', u' ');
        result.replace(QStringLiteral("  "), QStringLiteral(" "));
    }
    return result;
}

QString UTF8_Encode_System(const QString& text)
{
    // One character per UTF-8 byte, chosen so that writing the text in the code page gives
    // back exactly those bytes.
    QString result = fromWindows1252(text.toUtf8());
    if (isBlank(result))
        result = text;
    if (!result.contains(u'&'))
        return result;
    result.replace(QStringLiteral(" & "), QStringLiteral(" et "), Qt::CaseInsensitive);
    result.replace(QStringLiteral("& "), QStringLiteral(" et "), Qt::CaseInsensitive);
    result.replace(QStringLiteral(" &"), QStringLiteral(" et "), Qt::CaseInsensitive);
    result.replace(QStringLiteral("&"), QStringLiteral(" et "), Qt::CaseInsensitive);
    return result;
}

QString TitreDuMorceau(const QString& title, const QString& version, bool withVersion, bool titleOnly)
{
    if (titleOnly)
        return title;
    // Record fields come padded with NULs; they read as blanks.
    QString cleanVersion = version;
    cleanVersion.replace(QChar(u'\0'), u' ');
    if (!withVersion)
        return title;
    const QString trimmedVersion = vbTrim(cleanVersion);
    if (trimmedVersion.isEmpty())
        return title;
    return vbTrim(title) + QStringLiteral(" [") + trimmedVersion + QLatin1Char(']');
}

} // namespace nvx
