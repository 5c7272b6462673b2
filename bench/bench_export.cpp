// A full day of schedule export: 24 hour files of 60 song rows each, every row with its song,
// technical record, artists, category and five marker reads, through the record engine; and,
// for comparison in the same run, the same rows and look-ups read straight from SQLite.
#include "DayFixture.h"


#include <benchmark/benchmark.h>

#include <cstring>
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
};

struct Banc {
    Enregistrements e = jour();
    Programme programme{e};
    Direct direct{QDir(NativePath(QStringLiteral("C:\\"))).filePath(QStringLiteral("direct.db")), e};
};

Banc& banc()
{
    static Banc b;
    return b;
}

void BM_ExportDay(benchmark::State& state)
{
    Programme& p = banc().programme;
    for (auto _ : state)
        p.exporterJour();
    verifier(p.o.trace.ListeIncidents.isEmpty(), "export without incidents");
    QFile f(NativePath(p.fichiers.NomFichierXMLHeure[23]));
    verifier(f.open(QIODevice::ReadOnly) && f.readAll().count("<item>") == kLignesParHeure,
             "60 items an hour");
    state.SetItemsProcessed(state.iterations() * kHeures * kLignesParHeure);
}
BENCHMARK(BM_ExportDay)->Unit(benchmark::kMillisecond);

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
