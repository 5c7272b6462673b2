#include "SimConfig.h"

namespace nvx::platformsim {

std::optional<int> parseDecimal(const QString& text, int min, int max)
{
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    const int v = text.toInt();
    if (v < min || v > max)
        return std::nullopt;
    return v;
}

std::optional<QDate> parseIsoDate(const QString& text)
{
    static const QRegularExpression shape(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    if (!shape.match(text).hasMatch())
        return std::nullopt;
    const QDate d = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!d.isValid())
        return std::nullopt;
    return d;
}

std::optional<Credential> parseCredential(const QString& text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon <= 0)
        return std::nullopt;
    return Credential{text.left(colon), text.mid(colon + 1)};
}

std::optional<PresetState> parseState(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 4)
        return std::nullopt;
    const auto station = parseDecimal(parts[0], 0, kMaxStation);
    const auto date = parseIsoDate(parts[1]);
    const auto hour = parseDecimal(parts[2], 0, 23);
    const auto state = parseDecimal(parts[3], 0, 4);
    if (!station || !date || !hour || !state)
        return std::nullopt;
    return PresetState{*station, *date, *hour, *state};
}

std::optional<QRegularExpression> parsePathPattern(const QString& text)
{
    QRegularExpression re(text);
    if (text.isEmpty() || !re.isValid())
        return std::nullopt;
    re.optimize();
    return re;
}

std::optional<FaultRule> parseFault(const QString& text)
{
    const qsizetype last = text.lastIndexOf(QLatin1Char(':'));
    if (last <= 0)
        return std::nullopt;
    const qsizetype middle = text.lastIndexOf(QLatin1Char(':'), last - 1);
    if (middle <= 0)
        return std::nullopt;
    const auto pattern = parsePathPattern(text.left(middle));
    const auto code = parseDecimal(text.mid(middle + 1, last - middle - 1), 200, 599);
    const auto count = parseDecimal(text.mid(last + 1), 1, 1'000'000);
    if (!pattern || !code || !count)
        return std::nullopt;
    return FaultRule{*pattern, *code, *count};
}

} // namespace nvx::platformsim
