#include "JsonRecord.h"

#include "common/Win1252.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <cmath>
#include <limits>

namespace nvx::btrtool {

namespace {

// JSON string with its quotes. Control characters (the C1 range included, which undefined
// code-page bytes decode to) are escaped so that a line stays one line and readable.
void appendJsonString(QByteArray& out, const QString& s)
{
    QString e;
    e.reserve(s.size() + 2);
    e += u'"';
    for (const QChar c : s) {
        const char16_t u = c.unicode();
        switch (u) {
        case u'"':
            e += QStringLiteral("\\\"");
            break;
        case u'\\':
            e += QStringLiteral("\\\\");
            break;
        case u'\n':
            e += QStringLiteral("\\n");
            break;
        case u'\r':
            e += QStringLiteral("\\r");
            break;
        case u'\t':
            e += QStringLiteral("\\t");
            break;
        default:
            if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
                e += QStringLiteral("\\u%1").arg(uint(u), 4, 16, QLatin1Char('0'));
            else
                e += c;
            break;
        }
    }
    e += u'"';
    out += e.toUtf8();
}

QString withoutTrailingBlanks(QString s)
{
    qsizetype n = s.size();
    while (n > 0 && s.at(n - 1) == u' ')
        --n;
    s.truncate(n);
    return s;
}

QString jsonTypeName(const QJsonValue& v)
{
    switch (v.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("a boolean");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    case QJsonValue::String:
        return QStringLiteral("a text");
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    default:
        return QStringLiteral("nothing");
    }
}

bool setTextField(QByteArray& record, const Champ& c, const QJsonValue& v, QString* message)
{
    if (!v.isString()) {
        *message = QStringLiteral("expected a text, got ") + jsonTypeName(v);
        return false;
    }
    const QString s = v.toString();
    for (qsizetype i = 0; i < s.size(); ++i) {
        // A character the code page lacks would be stored as "?" and lost without a word.
        const QChar ch = s.at(i);
        if (windows1252Code(ch) != '?' || ch == u'?')
            continue;
        char32_t code = ch.unicode();
        if (ch.isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate())
            code = QChar::surrogateToUcs4(ch, s.at(i + 1));
        *message = QStringLiteral("character U+") +
                   QString::number(uint(code), 16).toUpper().rightJustified(4, u'0') +
                   QStringLiteral(" has no place in the code page");
        return false;
    }
    if (s.size() > c.largeur) {
        *message =
            QStringLiteral("text of %1 characters is wider than the field (%2)").arg(s.size()).arg(c.largeur);
        return false;
    }
    Record::setText(record, c, s);
    return true;
}

bool setIntegerField(QByteArray& record, const Champ& c, const QJsonValue& v, QString* message)
{
    if (!v.isDouble()) {
        *message = QStringLiteral("expected a whole number, got ") + jsonTypeName(v);
        return false;
    }
    const double d = v.toDouble();
    if (!std::isfinite(d) || d != std::trunc(d)) {
        *message = QStringLiteral("expected a whole number, got ") + QString::number(d);
        return false;
    }
    const bool court = c.type == TypeChamp::Entier16;
    const qint64 min = court ? std::numeric_limits<qint16>::min() : std::numeric_limits<qint32>::min();
    const qint64 max = court ? std::numeric_limits<qint16>::max() : std::numeric_limits<qint32>::max();
    if (d < double(min) || d > double(max) || !Record::setInteger(record, c, qint64(d))) {
        *message = QStringLiteral("%1 is out of the field's range (%2 to %3)")
                       .arg(QString::number(d, 'f', 0))
                       .arg(min)
                       .arg(max);
        return false;
    }
    return true;
}

} // namespace

QString JsonError::text() const
{
    if (field.isEmpty())
        return message;
    return QStringLiteral("field \"") + field + QStringLiteral("\": ") + message;
}

QByteArray recordToJson(const RecordLayout& layout, const QByteArray& record, bool compact)
{
    QByteArray out;
    out.reserve(layout.longueur * 2);
    out += '{';
    bool first = true;
    for (const Champ& c : layout.champs) {
        if (c.offset + c.largeur > record.size())
            continue;
        QByteArray value;
        if (c.type == TypeChamp::Texte) {
            const QString s = withoutTrailingBlanks(Record::text(record, c));
            if (compact && s.isEmpty())
                continue;
            appendJsonString(value, s);
        } else {
            const qint32 n = Record::integer(record, c);
            if (compact && n == 0)
                continue;
            value = QByteArray::number(n);
        }
        if (!first)
            out += ',';
        first = false;
        appendJsonString(out, QLatin1StringView(c.nom));
        out += ':';
        out += value;
    }
    out += '}';
    return out;
}

QByteArray blankRecord(const RecordLayout& layout)
{
    return Record(layout).bytes();
}

bool recordFromJson(const RecordLayout& layout, QByteArrayView line, QByteArray& record, JsonError* error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(line.toByteArray(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = {{},
                  QStringLiteral("not valid JSON (%1 at character %2)")
                      .arg(parseError.errorString())
                      .arg(parseError.offset + 1)};
        return false;
    }
    if (!doc.isObject()) {
        *error = {{}, QStringLiteral("expected one JSON object")};
        return false;
    }
    const QJsonObject object = doc.object();
    QByteArray result = record;
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        const Champ* c = layout.champ(it.key());
        if (!c || c->offset + c->largeur > result.size()) {
            *error = {it.key(),
                      QStringLiteral("no such field in the records of file %1").arg(layout.fichier)};
            return false;
        }
        QString message;
        const bool ok = c->type == TypeChamp::Texte ? setTextField(result, *c, it.value(), &message)
                                                    : setIntegerField(result, *c, it.value(), &message);
        if (!ok) {
            *error = {it.key(), message};
            return false;
        }
    }
    record = result;
    return true;
}

} // namespace nvx::btrtool
