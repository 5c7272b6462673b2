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

namespace {

// KIND of a fault: a code, or a name with its optional "=value".
std::optional<FaultRule> parseFaultKind(const QString& text)
{
    FaultRule rule;
    if (const auto code = parseDecimal(text, 200, 599)) {
        rule.code = *code;
        return rule;
    }
    const qsizetype eq = text.indexOf(QLatin1Char('='));
    const QString name = eq < 0 ? text : text.left(eq);
    const QString value = eq < 0 ? QString() : text.mid(eq + 1);
    struct Named {
        const char* name;
        FaultKind kind;
        bool takesValue;
        qint64 defaultValue;
    };
    static const Named kinds[] = {
        {"close", FaultKind::Close, false, 0},     {"non-xml", FaultKind::NonXml, false, 0},
        {"hang", FaultKind::Hang, false, 0},       {"cut", FaultKind::Cut, false, 0},
        {"late", FaultKind::Late, true, -1},       {"big", FaultKind::Big, true, 10'000'000},
        {"trickle", FaultKind::Trickle, true, 100}};
    for (const Named& k : kinds) {
        if (name != QLatin1String(k.name))
            continue;
        rule.kind = k.kind;
        if (eq < 0) {
            if (k.defaultValue < 0)
                return std::nullopt; // "late" needs its delay
            rule.param = k.defaultValue;
        } else {
            const auto v = k.takesValue ? parseDecimal(value, 1, 100'000'000) : std::nullopt;
            if (!v)
                return std::nullopt;
            rule.param = *v;
        }
        return rule;
    }
    return std::nullopt;
}

} // namespace

std::optional<FaultRule> parseFault(const QString& text)
{
    const qsizetype last = text.lastIndexOf(QLatin1Char(':'));
    if (last <= 0)
        return std::nullopt;
    // "PATH:KIND:N" when what precedes the last field is a kind, else "PATH:KIND".
    const qsizetype middle = text.lastIndexOf(QLatin1Char(':'), last - 1);
    if (middle > 0) {
        auto rule = parseFaultKind(text.mid(middle + 1, last - middle - 1));
        const auto count = parseDecimal(text.mid(last + 1), 1, 1'000'000);
        const auto pattern = parsePathPattern(text.left(middle));
        if (rule && count && pattern) {
            rule->path = *pattern;
            rule->remaining = *count;
            return rule;
        }
    }
    auto rule = parseFaultKind(text.mid(last + 1));
    const auto pattern = parsePathPattern(text.left(last));
    if (!rule || !pattern)
        return std::nullopt;
    rule->path = *pattern;
    rule->remaining = -1;
    return rule;
}

} // namespace nvx::platformsim
