#include "PlatformState.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QUuid>

#include <pugixml.hpp>

namespace nvx::platformsim {

namespace {

QString text(const pugi::xml_node& node)
{
    return QString::fromUtf8(node.child_value()).trimmed();
}

// Where a "&" starts no entity or character reference, or -1. pugixml keeps such an ampersand as
// text, but it makes the document ill-formed, and a client that forgets to escape must be told.
qsizetype bareAmpersand(const std::string& body)
{
    static const QRegularExpression reference(
        QStringLiteral("^&(amp|lt|gt|quot|apos|#[0-9]+|#x[0-9A-Fa-f]+);"));
    for (size_t at = body.find('&'); at != std::string::npos; at = body.find('&', at + 1)) {
        const QString rest =
            QString::fromUtf8(body.data() + at, qsizetype(std::min<size_t>(16, body.size() - at)));
        if (!reference.match(rest).hasMatch())
            return qsizetype(at);
    }
    return -1;
}

// Parses a request body as the UTF-8 its declaration announces; custom entities are never expanded.
// On failure, `error` says what and where.
bool parseXml(pugi::xml_document& doc, const std::string& body, QString* error = nullptr)
{
    const pugi::xml_parse_result parsed =
        doc.load_buffer(body.data(), body.size(), pugi::parse_default, pugi::encoding_utf8);
    qsizetype offset = parsed ? bareAmpersand(body) : qsizetype(parsed.offset);
    if (offset < 0)
        return true;
    if (error)
        *error = QStringLiteral("position ") + QString::number(offset) + QStringLiteral(": ") +
                 (parsed ? QStringLiteral("\"&\" hors entité") : QString::fromUtf8(parsed.description()));
    return false;
}

QString element(const QString& name, const QString& value)
{
    return QLatin1Char('<') + name + QLatin1Char('>') + xmlEscape(value) + QStringLiteral("</") + name +
           QLatin1Char('>');
}

QString element(const char* name, const QString& value)
{
    return element(QString::fromLatin1(name), value);
}

Answer failure(int code, const QString& message)
{
    return Answer{code, message, {}, std::nullopt, 0};
}

Answer badRequest(const QString& message)
{
    return failure(400, message);
}

std::vector<QString> segments(const std::string& path)
{
    std::vector<QString> out;
    for (const QString& s : QString::fromUtf8(path).split(QLatin1Char('/')))
        out.push_back(s);
    // The path starts with "/": the first piece is always empty.
    if (!out.empty())
        out.erase(out.begin());
    return out;
}

} // namespace

QString xmlEscape(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '&':
            out += QStringLiteral("&amp;");
            break;
        case '<':
            out += QStringLiteral("&lt;");
            break;
        case '>':
            out += QStringLiteral("&gt;");
            break;
        case '"':
            out += QStringLiteral("&quot;");
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string renderAnswer(const Answer& a)
{
    const QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<response>") +
                        element("code", QString::number(a.code)) + element("message", a.message) +
                        (a.data.isEmpty() ? QStringLiteral("<data/>")
                                          : QStringLiteral("<data>") + a.data + QStringLiteral("</data>")) +
                        QStringLiteral("</response>\r\n");
    return xml.toStdString();
}

QString PlatformState::formatTime(const QDateTime& t)
{
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

PlatformState::PlatformState(std::vector<Credential> credentials, qint64 tokenLifetimeSeconds, Clock clock)
    : credentials_(std::move(credentials)), lifetime_(tokenLifetimeSeconds), clock_(std::move(clock))
{
}

QDateTime PlatformState::now() const
{
    return clock_ ? clock_() : QDateTime::currentDateTime();
}

void PlatformState::presetState(const PresetState& p)
{
    std::lock_guard lock(mutex_);
    auto [it, inserted] = states_.try_emplace({p.station, p.date.toJulianDay()});
    if (inserted)
        it->second.fill(0);
    it->second[size_t(p.hour)] = p.state;
}

std::optional<QString> PlatformState::accountOf(const QString& token) const
{
    const auto it = tokens_.find(token);
    if (token.isEmpty() || it == tokens_.end() || now() >= it->second.expires)
        return std::nullopt;
    return it->second.key;
}

Answer PlatformState::handle(const std::string& method, const std::string& path, const std::string& body)
{
    const std::vector<QString> s = segments(path);
    const bool get = method == "GET";
    const bool post = method == "POST";
    const auto wrongMethod = [] { return failure(405, QStringLiteral("Méthode non autorisée")); };

    std::lock_guard lock(mutex_);
    try {
        if (s.size() == 1 && s[0] == QLatin1String("auth"))
            return post ? login(body) : wrongMethod();

        // Every other request carries the token as its first segment.
        enum class Route { None, Check, Ftp, GetStates, Import, SetState };
        Route route = Route::None;
        if (s.size() == 3 && s[1] == QLatin1String("auth") && s[2] == QLatin1String("test"))
            route = Route::Check;
        else if (s.size() == 3 && s[1] == QLatin1String("ftp") && s[2] == QLatin1String("credentials"))
            route = Route::Ftp;
        else if (s.size() >= 5 && s[1] == QLatin1String("radio") && s[3] == QLatin1String("schedule")) {
            if (s.size() == 5 && s[4] == QLatin1String("import"))
                route = Route::Import;
            else if (s.size() == 6 && s[5] == QLatin1String("status"))
                route = Route::GetStates;
            else if (s.size() == 7 && s[6] == QLatin1String("status"))
                route = Route::SetState;
        }
        if (route == Route::None)
            return failure(404, QStringLiteral("Ressource inconnue"));

        const bool methodOk = route == Route::Ftp                                    ? (get || post)
                              : (route == Route::Check || route == Route::GetStates) ? get
                                                                                     : post;
        if (!methodOk)
            return wrongMethod();

        const std::optional<QString> account = accountOf(s[0]);
        if (!account)
            return failure(401, QStringLiteral("Jeton absent, inconnu ou expiré"));

        switch (route) {
        case Route::Check:
            return checkToken(s[0]);
        case Route::Ftp:
            return get ? ftpQuery(*account) : ftpStore(*account, body);
        default:
            break;
        }

        const auto station = parseDecimal(s[2], 0, kMaxStation);
        if (!station)
            return badRequest(QStringLiteral("Numéro de station invalide: ") + s[2]);
        if (route == Route::Import)
            return importSchedule(*account, *station, body);

        const auto date = parseIsoDate(s[4]);
        if (!date)
            return badRequest(QStringLiteral("Date invalide: ") + s[4]);
        if (route == Route::GetStates)
            return hourStates(*station, *date);

        const auto hour = parseDecimal(s[5], 0, 23);
        if (!hour)
            return badRequest(QStringLiteral("Heure invalide: ") + s[5]);
        return setHourState(*station, *date, *hour, body);
    } catch (const std::exception& e) {
        return failure(500, QStringLiteral("Erreur interne: ") + QString::fromUtf8(e.what()));
    }
}

Answer PlatformState::login(const std::string& body)
{
    pugi::xml_document doc;
    if (!parseXml(doc, body) || std::string_view(doc.document_element().name()) != "auth")
        return badRequest(QStringLiteral("Document d'authentification illisible"));
    const pugi::xml_node auth = doc.document_element();
    // Compared as sent: a key or secret is never trimmed by the platform.
    const QString key = QString::fromUtf8(auth.child("key").child_value());
    const QString secret = QString::fromUtf8(auth.child("secret").child_value());

    const auto match = std::find_if(credentials_.begin(), credentials_.end(),
                                    [&](const Credential& c) { return c.key == key && c.secret == secret; });
    if (key.isEmpty() || match == credentials_.end())
        return failure(401, QStringLiteral("Clé ou secret refusé"));

    const QString token = QUuid::createUuid().toString(QUuid::Id128);
    const QDateTime created = now();
    const Token t{key, created, created.addSecs(lifetime_)};
    tokens_[token] = t;

    Answer a{200, QStringLiteral("Authentification réussie"), {}, std::nullopt, 0};
    a.data = QStringLiteral("<authSucceeded>") + element("token", token) +
             element("tokenCreated", formatTime(t.created)) + element("tokenExpire", formatTime(t.expires)) +
             element("userGUID", key) + element("userDescription", QStringLiteral("Compte ") + key) +
             QStringLiteral("</authSucceeded>");
    return a;
}

Answer PlatformState::checkToken(const QString& token)
{
    const Token& t = tokens_.at(token);
    Answer a{200, QStringLiteral("Jeton valide"), {}, std::nullopt, 0};
    a.data = QStringLiteral("<auth>") + element("token", token) +
             element("tokenCreated", formatTime(t.created)) + element("tokenExpire", formatTime(t.expires)) +
             element("userGUID", t.key) + element("userDescription", QStringLiteral("Compte ") + t.key) +
             QStringLiteral("</auth>");
    return a;
}

Answer PlatformState::ftpQuery(const QString& account)
{
    const auto it = ftp_.find(account);
    if (it == ftp_.end())
        return Answer{200, QStringLiteral("Aucun compte FTP enregistré"), {}, std::nullopt, 0};
    QString data = QStringLiteral("<ftp>");
    for (const auto& [name, value] : it->second.fields)
        data += element(name, value);
    data += QStringLiteral("</ftp>");
    return Answer{200, QStringLiteral("Compte FTP enregistré"), data, std::nullopt, 0};
}

Answer PlatformState::ftpStore(const QString& account, const std::string& body)
{
    pugi::xml_document doc;
    if (!parseXml(doc, body) || std::string_view(doc.document_element().name()) != "ftp")
        return badRequest(QStringLiteral("Document FTP illisible"));
    FtpAccount stored{{}, now()};
    for (const pugi::xml_node& child : doc.document_element().children())
        if (child.type() == pugi::node_element)
            stored.fields.emplace_back(QString::fromUtf8(child.name()),
                                       QString::fromUtf8(child.child_value()));
    if (stored.fields.empty() || !doc.document_element().child("url"))
        return badRequest(QStringLiteral("Document FTP sans serveur"));
    ftp_[account] = std::move(stored);
    return Answer{204, QStringLiteral("Compte FTP enregistré"), {}, std::nullopt, 0};
}

Answer PlatformState::hourStates(int station, const QDate& date)
{
    QString states;
    const auto it = states_.find({station, date.toJulianDay()});
    for (int h = 0; h < 24; ++h)
        states += QStringLiteral("%1").arg(it == states_.end() ? 0 : it->second[size_t(h)], 3, 10,
                                           QLatin1Char('0'));
    Answer a{200, QStringLiteral("Statuts des heures"), {}, std::nullopt, 0};
    a.data = QStringLiteral("<day>") + element("date", date.toString(Qt::ISODate)) +
             element("states", states) + QStringLiteral("</day>");
    return a;
}

Answer PlatformState::setHourState(int station, const QDate& date, int hour, const std::string& body)
{
    pugi::xml_document doc;
    if (!parseXml(doc, body) || std::string_view(doc.document_element().name()) != "hour")
        return badRequest(QStringLiteral("Document de statut illisible"));
    const auto state = parseDecimal(text(doc.document_element().child("state")), 0, 4);
    if (!state)
        return badRequest(QStringLiteral("Statut invalide"));

    auto [it, inserted] = states_.try_emplace({station, date.toJulianDay()});
    if (inserted)
        it->second.fill(0);
    it->second[size_t(hour)] = *state;

    Answer a{200, QStringLiteral("Statut de l'heure enregistré"), {}, std::nullopt, 0};
    a.data = QStringLiteral("<status>") + element("station", QString::number(station)) +
             element("date", date.toString(Qt::ISODate)) + element("hour", QString::number(hour)) +
             element("state", QString::number(*state)) + QStringLiteral("</status>");
    return a;
}

Answer PlatformState::importSchedule(const QString& account, int station, const std::string& body)
{
    pugi::xml_document doc;
    QString error;
    if (!parseXml(doc, body, &error))
        return badRequest(QStringLiteral("Conducteur mal formé, ") + error);
    const pugi::xml_node root = doc.child("root");
    const pugi::xml_node schedule = root.child("schedule");
    const auto fileStation = parseDecimal(text(root.child("station").child("id")), 0, kMaxStation);
    const QDate date = QDate::fromString(text(schedule.child("date")), QStringLiteral("yyyyMMdd"));
    const auto hour = parseDecimal(text(schedule.child("starttiming")).left(2), 0, 23);
    if (!root || !fileStation || !date.isValid() || !hour)
        return badRequest(QStringLiteral("En-tête du conducteur incomplet (station, date ou heure)"));
    if (*fileStation != station)
        return badRequest(QStringLiteral("Le conducteur est celui de la station ") +
                          QString::number(*fileStation) + QStringLiteral(", pas de la station ") +
                          QString::number(station));

    int items = 0;
    for (const pugi::xml_node& item : root.child("data").children("item")) {
        (void)item;
        ++items;
    }
    const ImportKey key{station, date, *hour};
    Import& stored = imports_[key];
    stored.body = body;
    stored.items = items;
    stored.times += 1;
    stored.account = account;
    stored.received = now();

    Answer a{200,
             QStringLiteral("Conducteur importé: station %1, %2, %3h, %4 élément(s)")
                 .arg(station)
                 .arg(date.toString(Qt::ISODate))
                 .arg(*hour)
                 .arg(items),
             {},
             key,
             items};
    a.data = QStringLiteral("<import>") + element("station", QString::number(station)) +
             element("date", date.toString(Qt::ISODate)) + element("hour", QString::number(*hour)) +
             element("items", QString::number(items)) + QStringLiteral("</import>");
    return a;
}

QJsonObject PlatformState::snapshot() const
{
    std::lock_guard lock(mutex_);
    const QDateTime current = now();

    QJsonArray tokens;
    for (const auto& [token, t] : tokens_)
        tokens.append(QJsonObject{{QStringLiteral("token"), token},
                                  {QStringLiteral("key"), t.key},
                                  {QStringLiteral("created"), formatTime(t.created)},
                                  {QStringLiteral("expires"), formatTime(t.expires)},
                                  {QStringLiteral("valid"), current < t.expires}});

    QJsonObject ftp;
    for (const auto& [account, f] : ftp_) {
        QJsonObject fields;
        for (const auto& [name, value] : f.fields)
            fields.insert(name, value);
        fields.insert(QStringLiteral("received"), formatTime(f.received));
        ftp.insert(account, fields);
    }

    QJsonArray states;
    for (const auto& [where, hours] : states_) {
        QJsonArray values;
        for (const int v : hours)
            values.append(v);
        states.append(
            QJsonObject{{QStringLiteral("station"), where.first},
                        {QStringLiteral("date"), QDate::fromJulianDay(where.second).toString(Qt::ISODate)},
                        {QStringLiteral("states"), values}});
    }

    QJsonArray imports;
    for (const auto& [key, imp] : imports_)
        imports.append(QJsonObject{{QStringLiteral("station"), key.station},
                                   {QStringLiteral("date"), key.date.toString(Qt::ISODate)},
                                   {QStringLiteral("hour"), key.hour},
                                   {QStringLiteral("items"), imp.items},
                                   {QStringLiteral("bytes"), qint64(imp.body.size())},
                                   {QStringLiteral("times"), imp.times},
                                   {QStringLiteral("account"), imp.account},
                                   {QStringLiteral("received"), formatTime(imp.received)}});

    return QJsonObject{{QStringLiteral("tokens"), tokens},
                       {QStringLiteral("ftp"), ftp},
                       {QStringLiteral("hourStates"), states},
                       {QStringLiteral("imports"), imports}};
}

std::optional<std::string> PlatformState::importedBody(const ImportKey& key) const
{
    std::lock_guard lock(mutex_);
    const auto it = imports_.find(key);
    if (it == imports_.end())
        return std::nullopt;
    return it->second.body;
}

} // namespace nvx::platformsim
