// The hour export: whatever bytes the records and the request hold, the hour's file is written,
// a strict XML reader accepts it whole, it holds one item per row of the hour in key order, and
// the row's texts read back as the record holds them up to their first NUL, with blanks for the
// control characters XML cannot carry.
#include "FuzzCheck.h"
#include "common/NativePath.h"
#include "common/TextHelpers.h"
#include "common/Win1252.h"
#include "config/Settings.h"
#include "db/DbFixture.h"
#include "db/RecordLayouts.h"
#include "export/ScheduleExport.h"

#include <QDir>
#include <QFile>

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <map>
#include <memory>

using namespace nvx;
using namespace nvx::fuzz;
using nvx::test::DbOwners;
using nvx::test::FakeEngine;

namespace {

// What an XML reader gives back for a text the record holds: up to the first NUL, other control
// characters as blanks, line ends as LF.
QString expectedText(QByteArray stored)
{
    const qsizetype nul = stored.indexOf('\0');
    if (nul >= 0)
        stored.truncate(nul);
    QString s = fromWindows1252(stored);
    for (QChar& c : s)
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
            c = u' ';
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(u'\r', u'\n');
    return s;
}

QByteArray field(const QByteArray& record, const char* name)
{
    const Champ* c = layoutFichier(53)->champ(QString::fromLatin1(name));
    return record.mid(c->offset, c->largeur);
}

// The record of a layout with the input's bytes over its length and the given fields set.
QByteArray record(Input& in, int fichier,
                  const std::initializer_list<std::pair<const char*, QByteArray>>& fields)
{
    const RecordLayout& layout = *layoutFichier(fichier);
    QByteArray r = Record(layout).bytes();
    const QByteArray bytes = in.take(size_t(layout.longueur));
    r.replace(0, bytes.size(), bytes);
    for (const auto& [name, value] : fields) {
        const Champ* c = layout.champ(QString::fromLatin1(name));
        r.replace(c->offset, c->largeur, value.leftJustified(c->largeur, ' ', true));
    }
    return r;
}

// The song of a row and what it points to: artists, category, technical record, markers.
void addSong(Input& in, DbOwners& o, const QByteArray& id)
{
    const QByteArray song = record(in, 22, {{"IdMorceau", id}});
    FakeEngine::put(o.fichier(22), song);
    const Champ* a1 = layoutFichier(22)->champ(u"CodeArtiste1");
    const Champ* cat = layoutFichier(22)->champ(u"CodeCategorie");
    FakeEngine::put(o.fichier(20), record(in, 20, {{"CodeArtiste", song.mid(a1->offset, a1->largeur)}}));
    FakeEngine::put(o.fichier(21),
                    record(in, 21, {{"Type", "CATEG"}, {"Code", song.mid(cat->offset, cat->largeur)}}));
    FakeEngine::put(o.fichier(26), record(in, 26, {{"IdMorceau", id}}));
    for (int n = in.pick(4); n > 0; --n) {
        const QByteArray type(1, char('0' + in.pick(10)));
        const QByteArray sequence = QByteArray::number(10 + in.pick(90));
        FakeEngine::put(o.fichier(31),
                        record(in, 31, {{"IdMorceau", id}, {"Type", type}, {"Sequence", sequence}}));
    }
}

QString text(Input& in, int max)
{
    return fromWindows1252(in.bytes(max));
}

xmlNode* child(xmlNode* parent, const char* name)
{
    for (xmlNode* n = parent ? parent->children : nullptr; n; n = n->next)
        if (n->type == XML_ELEMENT_NODE && xmlStrEqual(n->name, BAD_CAST name))
            return n;
    return nullptr;
}

QString content(xmlNode* item, const char* parent, const char* name)
{
    xmlNode* n = child(parent ? child(item, parent) : item, name);
    if (!n)
        return QStringLiteral("<missing>");
    xmlChar* t = xmlNodeGetContent(n);
    const QString s = QString::fromUtf8(reinterpret_cast<const char*>(t));
    xmlFree(t);
    return s;
}

void checkItem(xmlNode* item, const QByteArray& row, const QString& what)
{
    static constexpr std::pair<const char*, const char*> kPlaces[] = {
        {"keys/key0", "Nature"}, {"keys/key1", "Cle2"}, {"keys/key2", "Cle3"},    {"keys/key3", "Cle4"},
        {"keys/key4", "Cle5"},   {"row/guid", "Guid"},  {"/timingorder", "Ordre"}};
    for (const auto& [place, name] : kPlaces) {
        const QByteArray path(place);
        const qsizetype slash = path.indexOf('/');
        const QByteArray parent = path.left(slash), leaf = path.mid(slash + 1);
        const QString got = content(item, parent.isEmpty() ? nullptr : parent.constData(), leaf.constData());
        FUZZ_CHECK(got == expectedText(field(row, name)),
                   what + QStringLiteral("\n%1: ").arg(QLatin1StringView(place)) + shown(got));
    }
    const QString timing = expectedText(field(row, "Heure")) + u':' + expectedText(field(row, "Minute")) +
                           u':' + expectedText(field(row, "Seconde"));
    FUZZ_CHECK(content(item, nullptr, "timing") == timing, what + QStringLiteral("\ntiming"));
    // An event shows its label without its padding; a label with "&" has it spelt out.
    const QString label = vbTrim(expectedText(field(row, "Libelle")));
    if (field(row, "Nature") == "Evt" && !label.contains(u'&'))
        FUZZ_CHECK(content(item, "song", "lib") == label, what + QStringLiteral("\nlabel ") + shown(label));
}

void checkDocument(const QByteArray& xml, const std::map<QByteArray, QByteArray>& rows, const QString& what)
{
    xmlDoc* doc = xmlReadMemory(xml.constData(), int(xml.size()), "hour.xml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    const xmlError* error = xmlGetLastError();
    FUZZ_CHECK(doc, what + QStringLiteral("\nrefused: ") +
                        (error ? QString::fromUtf8(error->message) : QString()) + u'\n' + shown(xml));
    const std::unique_ptr<xmlDoc, void (*)(xmlDoc*)> owner(doc, xmlFreeDoc);
    xmlNode* data = child(xmlDocGetRootElement(doc), "data");
    FUZZ_CHECK(data, what);
    auto row = rows.begin();
    int items = 0;
    for (xmlNode* n = data->children; n; n = n->next) {
        if (n->type != XML_ELEMENT_NODE)
            continue;
        FUZZ_CHECK(row != rows.end(), what + QStringLiteral("\nmore items than rows"));
        checkItem(n, row->second, what + QStringLiteral("\nitem %1").arg(items));
        ++row;
        ++items;
    }
    FUZZ_CHECK(row == rows.end(),
               what + QStringLiteral("\n%1 items for %2 rows").arg(items).arg(rows.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool parserReady = (xmlInitParser(), true);
    (void)parserReady;
    Input in(data, size);
    DbOwners o;
    // Every trapped error is a finding here: records are read, never refused.
    o.erreursAttendues = true;
    QStringList errors;
    QObject::connect(&o.trace, &Trace::errorReported,
                     [&errors](const QString& origine, qint32 n, const QString& d) {
                         errors.append(origine + QStringLiteral(": %1 ").arg(n) + d);
                     });
    Settings settings(o.identity, o.lifecycle, o.trace, o.systeme, o.host, o.ini, o.config);
    ScheduleExport exporter(o.identity, o.lifecycle, o.trace, o.clock, o.pervasive, settings, o.config);
    settings.TexteDossierXML = QStringLiteral("C:\\VL_Export");
    QDir().mkpath(NativePath(settings.TexteDossierXML));
    o.ouvrir();

    ScheduleHour h;
    h.noStation = 1;
    h.dateConducteur = QStringLiteral("20200508");
    h.heure = 7;
    h.buildDate = QDateTime(QDate(2020, 5, 8), QTime(6, 45, 12));
    h.schedulerVersion = text(in, 12);
    h.stationLib = text(in, 24);
    h.userId = text(in, 12);
    h.userLib = text(in, 24);
    o.config.DossiersBase[0].IdRadio = text(in, 12);
    o.config.DossiersBase[0].Lib = text(in, 24);

    static const QByteArray kNatures[] = {"Son", "Evt", "Pub", "Flx", "Rup"};
    std::map<QByteArray, QByteArray> rows; // by key, as the export reads them
    for (int n = 1 + in.pick(4); n > 0 && in.remaining() > 0; --n) {
        const int nature = in.pick(6);
        std::initializer_list<std::pair<const char*, QByteArray>> hour = {{"Date", "20200508"},
                                                                          {"Heure", "07"}};
        QByteArray row = record(in, 53, hour);
        if (nature < 5)
            row.replace(24, 3, kNatures[nature]);
        FakeEngine::put(o.fichier(53), row);
        rows[row.left(16)] = row.left(500);
        if (nature == 0)
            addSong(in, o, field(row, "IdMorceau"));
    }
    if (rows.empty())
        return 0;

    const HourExport result = exporter.UDPDataArrival_03_Create_XML(h);
    const QString what = QStringLiteral("%1 row(s)").arg(rows.size());
    FUZZ_CHECK(errors.isEmpty(), what + u'\n' + errors.join(u'\n'));
    FUZZ_CHECK(result.outcome == HourExport::Outcome::Written, what + u' ' + result.raison);
    QFile file(NativePath(result.fichier));
    FUZZ_CHECK(file.open(QIODevice::ReadOnly), what);
    checkDocument(file.readAll(), rows, what);
    return 0;
}
