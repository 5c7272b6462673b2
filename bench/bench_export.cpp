// A full day of schedule export: 24 hour files of 60 song rows each, every row with its song,
// technical record, artists, category and five marker reads, through the record engine; and,
// for comparison in the same run, the same rows and look-ups read straight from SQLite, alone
// and then with the same 24 files built and written the way the export writes them.
#include "DayFixture.h"
#include "export/MixPointRules.h"
#include "export/ScheduleDocument.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSaveFile>

#include <benchmark/benchmark.h>

#include <cstring>
#include <ctime>
#include <sqlite3.h>

namespace {

using namespace nvx;
using namespace nvx::bench;

// The same records in one plain SQLite database, a table per file keyed on key 0.
struct Direct {
    sqlite3* db = nullptr;
    sqlite3_stmt* heure = nullptr;
    sqlite3_stmt* egal[4] = {};
    sqlite3_stmt* marqueur = nullptr;

    Direct(const QString& chemin, const Enregistrements& e)
    {
        verifier(sqlite3_open_v2(QFile::encodeName(chemin).constData(), &db,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                 nullptr) == SQLITE_OK,
                 "sqlite open");
        sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; BEGIN", nullptr, nullptr,
                     nullptr);
        const auto table = [&](const char* nom, int longueurCle, const QList<QByteArray>& liste) {
            const QByteArray creer =
                QByteArray("CREATE TABLE ") + nom + "(k BLOB PRIMARY KEY, data BLOB NOT NULL)";
            sqlite3_exec(db, creer.constData(), nullptr, nullptr, nullptr);
            sqlite3_stmt* st = nullptr;
            const QByteArray inserer = QByteArray("INSERT INTO ") + nom + "(k, data) VALUES (?1, ?2)";
            sqlite3_prepare_v2(db, inserer.constData(), -1, &st, nullptr);
            for (const QByteArray& r : liste) {
                sqlite3_bind_blob(st, 1, r.constData(), longueurCle, SQLITE_TRANSIENT);
                sqlite3_bind_blob(st, 2, r.constData(), int(r.size()), SQLITE_TRANSIENT);
                verifier(sqlite3_step(st) == SQLITE_DONE, "sqlite insert");
                sqlite3_reset(st);
            }
            sqlite3_finalize(st);
        };
        table("f53", 16, e.f53);
        table("f22", 8, e.f22);
        table("f26", 8, e.f26);
        table("f31", 11, e.f31);
        table("f20", 5, e.f20);
        table("f21", 10, e.f21);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_prepare_v2(db, "SELECT k, data FROM f53 WHERE k >= ?1 AND k <= ?2 ORDER BY k", -1, &heure,
                           nullptr);
        const char* tables[4] = {"f22", "f26", "f20", "f21"};
        for (int i = 0; i < 4; ++i) {
            const QByteArray sql = QByteArray("SELECT data FROM ") + tables[i] + " WHERE k = ?1";
            sqlite3_prepare_v2(db, sql.constData(), -1, &egal[i], nullptr);
        }
        sqlite3_prepare_v2(db, "SELECT k, data FROM f31 WHERE k >= ?1 ORDER BY k LIMIT 1", -1, &marqueur,
                           nullptr);
    }
    ~Direct()
    {
        sqlite3_finalize(heure);
        for (sqlite3_stmt* st : egal)
            sqlite3_finalize(st);
        sqlite3_finalize(marqueur);
        sqlite3_close(db);
    }

    // One row read by key, its record copied out as the engine does.
    int lire(sqlite3_stmt* st, const QByteArray& cle, char* tampon)
    {
        sqlite3_bind_blob(st, 1, cle.constData(), int(cle.size()), SQLITE_STATIC);
        int n = 0;
        if (sqlite3_step(st) == SQLITE_ROW) {
            const int col = sqlite3_column_count(st) - 1;
            n = sqlite3_column_bytes(st, col);
            std::memcpy(tampon, sqlite3_column_blob(st, col), size_t(n));
        }
        sqlite3_reset(st);
        return n;
    }

    // The same reads as the export, without the file: the hour's rows in key order, then for
    // each its song, technical record, artists, category (when it changes) and five markers.
    // Each look-up is its own read transaction, unless each hour is read inside one, as the
    // export groups its reads.
    qint64 lireJour(bool transactionParHeure)
    {
        char tampon[1024];
        qint64 somme = 0;
        QByteArray categoriePrecedente;
        for (int h = 0; h < kHeures; ++h) {
            if (transactionParHeure)
                sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
            const QByteArray debut = (kDate + N2S(h, 2)).toLatin1();
            const QByteArray bas = debut + QByteArray(6, '\0');
            const QByteArray haut = debut + QByteArray(6, '\xFF');
            sqlite3_bind_blob(heure, 1, bas.constData(), int(bas.size()), SQLITE_STATIC);
            sqlite3_bind_blob(heure, 2, haut.constData(), int(haut.size()), SQLITE_STATIC);
            QList<QByteArray> lignes;
            while (sqlite3_step(heure) == SQLITE_ROW)
                lignes.append(QByteArray(static_cast<const char*>(sqlite3_column_blob(heure, 1)),
                                         sqlite3_column_bytes(heure, 1)));
            sqlite3_reset(heure);
            for (const QByteArray& ligne : lignes) {
                const QByteArray id = ligne.mid(16, 8);
                if (lire(egal[0], id, tampon) == 0)
                    continue;
                const QByteArray artiste1(tampon + 8, 5), artiste2(tampon + 13, 5), categorie(tampon + 68, 5);
                somme += lire(egal[2], artiste1, tampon);
                if (artiste2.trimmed().size())
                    somme += lire(egal[2], artiste2, tampon);
                if (categorie != categoriePrecedente) {
                    somme += lire(egal[3], "CATEG" + categorie, tampon);
                    categoriePrecedente = categorie;
                }
                somme += lire(egal[1], id, tampon);
                for (int type : kTypesMarqueur)
                    somme += lire(marqueur, id + QByteArray::number(type) + "00", tampon);
            }
            if (transactionParHeure)
                sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        }
        return somme;
    }

    // The fields the plain day reads by hand, found once.
    struct Champs {
        const RecordLayout& l53 = *layoutFichier(53);
        const RecordLayout& l22 = *layoutFichier(22);
        const RecordLayout& l20 = *layoutFichier(20);
        const RecordLayout& l21 = *layoutFichier(21);
        const RecordLayout& l26 = *layoutFichier(26);
        const RecordLayout& l31 = *layoutFichier(31);
        const Champ& idMorceau = *l53.champ(u"IdMorceau");
        const Champ& titre1 = *l22.champ(u"Titre1");
        const Champ& titre2 = *l22.champ(u"Titre2");
        const Champ& version = *l22.champ(u"Version");
        const Champ& artiste1 = *l22.champ(u"CodeArtiste1");
        const Champ& artiste2 = *l22.champ(u"CodeArtiste2");
        const Champ& categorie = *l22.champ(u"CodeCategorie");
        const Champ& nom = *l20.champ(u"Nom");
        const Champ& libelle = *l21.champ(u"Libelle");
        const Champ& couleur = *l21.champ(u"Couleur");
        const Champ& dureeSon = *l26.champ(u"DureeSon");
        const Champ& valeur = *l31.champ(u"Valeur");
        const Champ& duree = *l31.champ(u"Duree");
        const Champ& signe = *l31.champ(u"Signe");
    };

    // One row read by key into a byte array; empty when there is none.
    QByteArray ligne(sqlite3_stmt* st, const QByteArray& cle)
    {
        sqlite3_bind_blob(st, 1, cle.constData(), int(cle.size()), SQLITE_STATIC);
        QByteArray r;
        if (sqlite3_step(st) == SQLITE_ROW) {
            const int col = sqlite3_column_count(st) - 1;
            r = QByteArray(static_cast<const char*>(sqlite3_column_blob(st, col)),
                           sqlite3_column_bytes(st, col));
        }
        sqlite3_reset(st);
        return r;
    }

    // The first marker of the kind for the song, when there is one.
    QByteArray marqueurDe(const QByteArray& id, int type)
    {
        const QByteArray prefixe = id + QByteArray::number(type);
        const QByteArray debut = prefixe + "00";
        sqlite3_bind_blob(marqueur, 1, debut.constData(), int(debut.size()), SQLITE_STATIC);
        QByteArray r;
        if (sqlite3_step(marqueur) == SQLITE_ROW) {
            const QByteArray k(static_cast<const char*>(sqlite3_column_blob(marqueur, 0)),
                               sqlite3_column_bytes(marqueur, 0));
            if (k.left(prefixe.size() + 2) <= prefixe + "99")
                r = QByteArray(static_cast<const char*>(sqlite3_column_blob(marqueur, 1)),
                               sqlite3_column_bytes(marqueur, 1));
        }
        sqlite3_reset(marqueur);
        return r;
    }

    // The values of a song row's item, worked out from the rows read here.
    ItemValues valeurs(const Champs& c, const QByteArray& ligneBrute, QString& categoriePrecedente,
                       QString& libellePrecedent, qint32& couleurPrecedente)
    {
        ItemValues v;
        const QString id = Record::text(ligneBrute, c.idMorceau);
        v.songId = id;
        v.songLib = QStringLiteral("Morceau: ") + id;
        v.nature = QStringLiteral("Sound");
        const QByteArray cleId = ligneBrute.mid(c.idMorceau.offset, c.idMorceau.largeur);
        const QByteArray morceau = ligne(egal[0], cleId);
        if (!morceau.isEmpty()) {
            v.songLib =
                vbTrim(TitreDuMorceau(Record::text(morceau, c.titre1) + Record::text(morceau, c.titre2),
                                      Record::text(morceau, c.version), true, false));
            const QString a1 = Record::text(morceau, c.artiste1);
            const QString a2 = Record::text(morceau, c.artiste2);
            v.artistId = a1 + a2;
            v.categoryId = Record::text(morceau, c.categorie);
            const auto nomArtiste = [&](const Champ& champ) {
                const QByteArray a = ligne(egal[2], morceau.mid(champ.offset, champ.largeur));
                if (a.isEmpty())
                    return QString();
                const QString n = vbTrim(Record::text(a, c.nom));
                return n.isEmpty()
                           ? QStringLiteral("Artiste: ") + Record::text(a, *c.l20.champ(u"CodeArtiste"))
                           : n;
            };
            if (!vbTrim(a1).isEmpty())
                v.artistLib = nomArtiste(c.artiste1);
            if (!vbTrim(a2).isEmpty()) {
                const QString n = nomArtiste(c.artiste2);
                v.artistLib = v.artistLib.isEmpty() ? n : v.artistLib + QStringLiteral(" + ") + n;
            }
            if (v.categoryId != categoriePrecedente) {
                libellePrecedent = QStringLiteral("Catégorie: ") + v.categoryId;
                couleurPrecedente = 0;
                const QByteArray cat =
                    ligne(egal[3], "CATEG" + morceau.mid(c.categorie.offset, c.categorie.largeur));
                if (!cat.isEmpty()) {
                    const QString lu = vbTrim(Record::text(cat, c.libelle));
                    if (!lu.isEmpty())
                        libellePrecedent = lu;
                    couleurPrecedente = ArrondiEntier32(vbVal(Record::text(cat, c.couleur)));
                }
                categoriePrecedente = v.categoryId;
            }
            v.categoryLib = libellePrecedent;
            v.color = couleurPrecedente;
            const QByteArray technique = ligne(egal[1], cleId);
            if (!technique.isEmpty()) {
                v.soundDuration = Record::integer(technique, c.dureeSon);
                const auto pointeur = [&](int type, qint32& valeur, qint32& duree) {
                    const QByteArray m = marqueurDe(cleId, type);
                    if (m.isEmpty())
                        return;
                    valeur = ArrondiEntier32(vbVal(Record::text(m, c.valeur)));
                    duree = ArrondiEntier32(vbVal(Record::text(m, c.duree)));
                };
                qint32 inutilise = 0;
                pointeur(4, v.mix.intropos, inutilise);
                const QByteArray niveau = marqueurDe(cleId, 8);
                if (!niveau.isEmpty()) {
                    float n = float(vbVal(Record::text(niveau, c.valeur)) / 100.0);
                    if (Record::text(niveau, c.signe) == QStringLiteral("--"))
                        n = -n;
                    v.mix.level = n == 0.0f ? 0.0f : n;
                }
                pointeur(0, v.mix.fadeinpos, v.mix.fadeindur);
                pointeur(1, v.mix.fadeoutpos, v.mix.fadeoutdur);
                pointeur(5, v.mix.startnextpos, inutilise);
                UDPDataArrival_03_Create_XML_05_Verifier_Coherence(id, v.soundDuration, v.mix.fadeinpos,
                                                                   v.mix.fadeindur, v.mix.startnextpos,
                                                                   v.mix.fadeoutpos, v.mix.fadeoutdur);
            }
        }
        UDPDataArrival_03_Create_XML_04_Check_Pointeurs_Duration(v.soundDuration, v.mix.startnextpos,
                                                                 v.mix.fadeoutpos, v.mix.fadeinpos,
                                                                 v.mix.fadeindur, v.playDuration);
        return v;
    }

    // The plain program's day: the same reads, one transaction per hour, and each hour's file
    // built with the export's document writer and written as the export writes it (a temporary
    // file renamed into place). The fixture's rows are all songs without corrections.
    void ecrireJour(const QString& dossierNatif, ScheduleDocument::Entete entete)
    {
        static const Champs c;
        QString categoriePrecedente, libellePrecedent;
        qint32 couleurPrecedente = 0;
        Record ligneRecord(c.l53);
        for (int h = 0; h < kHeures; ++h) {
            sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
            entete.heure = N2S(h, 2);
            ScheduleDocument document;
            document.entete(entete);
            const QByteArray debut = (kDate + entete.heure).toLatin1();
            const QByteArray bas = debut + QByteArray(6, '\0');
            const QByteArray haut = debut + QByteArray(6, '\xFF');
            sqlite3_bind_blob(heure, 1, bas.constData(), int(bas.size()), SQLITE_STATIC);
            sqlite3_bind_blob(heure, 2, haut.constData(), int(haut.size()), SQLITE_STATIC);
            QList<QByteArray> lignes;
            while (sqlite3_step(heure) == SQLITE_ROW)
                lignes.append(QByteArray(static_cast<const char*>(sqlite3_column_blob(heure, 1)),
                                         sqlite3_column_bytes(heure, 1)));
            sqlite3_reset(heure);
            for (const QByteArray& l : lignes) {
                ligneRecord.bytes().replace(0, l.size(), l);
                document.item(ligneRecord,
                              valeurs(c, l, categoriePrecedente, libellePrecedent, couleurPrecedente));
            }
            sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
            document.fin();
            QSaveFile f(dossierNatif + QStringLiteral("/NVX_Upload_") + kDate + u'_' + entete.heure +
                        QStringLiteral("_Station_01.xml"));
            const QByteArray contenu = document.utf8();
            verifier(f.open(QIODevice::WriteOnly) && f.write(contenu) == contenu.size() && f.commit(),
                     "plain write");
        }
    }
};

// The CPU time of this thread, which is what the benchmark's CPU column counts, and the time
// of the wall clock, both in nanoseconds.
struct Chrono {
    static qint64 cpu()
    {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
    }
    qint64 debutCpu = cpu();
    QElapsedTimer mur = [] {
        QElapsedTimer m;
        m.start();
        return m;
    }();
    qint64 cpuEcoule() const { return cpu() - debutCpu; }
    qint64 murEcoule() const { return mur.nsecsElapsed(); }
};

struct Banc {
    Enregistrements e = jour();
    Programme programme{e};
    Direct direct{QDir(NativePath(QStringLiteral("C:\\"))).filePath(QStringLiteral("direct.db")), e};
    const QString dossierSimple = NativePath(QStringLiteral("C:\\VL_Plain"));

    Banc()
    {
        QDir().mkpath(dossierSimple);
        // The plain day writes, byte for byte, the files of the export.
        programme.exporterJour();
        jourSimple();
        for (int h = 0; h < kHeures; ++h) {
            QFile exporte(
                NativePath(ScheduleExport::NomFichierXML(programme.settings.TexteDossierXML, kDate, h, 1)));
            QFile simple(dossierSimple + u'/' + QFileInfo(exporte.fileName()).fileName());
            verifier(exporte.open(QIODevice::ReadOnly) && simple.open(QIODevice::ReadOnly) &&
                         exporte.readAll() == simple.readAll(),
                     "plain day writes the export's files");
        }
    }

    // The header of the day's files, from what the export is handed and the program's settings.
    ScheduleDocument::Entete entete()
    {
        ScheduleDocument::Entete en;
        en.schedulerVersion = QStringLiteral("7.2.1");
        en.radioId = programme.o.config.PbSRadioId();
        en.radioLib = programme.o.config.PbSRadioLib();
        en.stationId = QStringLiteral("01");
        en.stationLib = QStringLiteral("Station");
        en.userId = QStringLiteral("U1");
        en.userLib = QStringLiteral("Utilisateur");
        en.date = kDate;
        const QDateTime construction = QDateTime::fromString(QStringLiteral("08/05/2020 06:45:12"),
                                                             QStringLiteral("dd/MM/yyyy HH:mm:ss"));
        en.buildDate = Date2StringEx(construction, QStringLiteral("YYYYMMDD"));
        en.buildTiming = Date2StringEx(construction, QStringLiteral("HH:MM:SS"));
        const QDateTime maintenant = programme.o.clock.now();
        en.pubDate = Date2StringEx(maintenant, QStringLiteral("YYYYMMDD"));
        en.pubTiming = Date2StringEx(maintenant, QStringLiteral("HH:MM:SS"));
        return en;
    }
    void jourSimple() { direct.ecrireJour(dossierSimple, entete()); }
};

Banc& banc()
{
    static Banc b;
    return b;
}

// Each export of the day is followed, outside the timing, by the plain day, so that the two
// are compared pair by pair under the same conditions of this machine (other builds share it).
// ratio is the export's CPU time over the plain day's; ratio_wall the same on the wall clock,
// which adds the 24 file syncs both make.
void BM_ExportDay(benchmark::State& state)
{
    Banc& b = banc();
    Programme& p = b.programme;
    qint64 exportCpu = 0, exportMur = 0, simpleCpu = 0, simpleMur = 0;
    for (auto _ : state) {
        const Chrono c;
        p.exporterJour();
        exportCpu += c.cpuEcoule();
        exportMur += c.murEcoule();
        state.PauseTiming();
        const Chrono s;
        b.jourSimple();
        simpleCpu += s.cpuEcoule();
        simpleMur += s.murEcoule();
        state.ResumeTiming();
    }
    verifier(p.o.trace.ListeIncidents.isEmpty(), "export without incidents");
    QFile f(NativePath(ScheduleExport::NomFichierXML(p.settings.TexteDossierXML, kDate, 23, 1)));
    verifier(f.open(QIODevice::ReadOnly) && f.readAll().count("<item>") == kLignesParHeure,
             "60 items an hour");
    state.SetItemsProcessed(state.iterations() * kHeures * kLignesParHeure);
    const double n = double(state.iterations());
    state.counters["export_ms"] = benchmark::Counter(double(exportCpu) / 1e6 / n);
    state.counters["plain_ms"] = benchmark::Counter(double(simpleCpu) / 1e6 / n);
    state.counters["ratio"] = benchmark::Counter(double(exportCpu) / double(simpleCpu));
    state.counters["ratio_wall"] = benchmark::Counter(double(exportMur) / double(simpleMur));
}
BENCHMARK(BM_ExportDay)->Unit(benchmark::kMillisecond);

// The plain program alone: the day's reads with one transaction per hour, and its 24 files.
void BM_PlainDay(benchmark::State& state)
{
    Banc& b = banc();
    for (auto _ : state)
        b.jourSimple();
    state.SetItemsProcessed(state.iterations() * kHeures * kLignesParHeure);
}
BENCHMARK(BM_PlainDay)->Unit(benchmark::kMillisecond);

void BM_SqliteDay(benchmark::State& state)
{
    Direct& d = banc().direct;
    for (auto _ : state)
        benchmark::DoNotOptimize(d.lireJour(false));
    state.SetItemsProcessed(state.iterations() * kHeures * kLignesParHeure);
}
BENCHMARK(BM_SqliteDay)->Unit(benchmark::kMillisecond);

// Without the per-read locking: one read transaction per hour.
void BM_SqliteDayHourTransactions(benchmark::State& state)
{
    Direct& d = banc().direct;
    for (auto _ : state)
        benchmark::DoNotOptimize(d.lireJour(true));
    state.SetItemsProcessed(state.iterations() * kHeures * kLignesParHeure);
}
BENCHMARK(BM_SqliteDayHourTransactions)->Unit(benchmark::kMillisecond);

} // namespace
