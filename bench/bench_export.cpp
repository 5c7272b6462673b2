// A full day of schedule export: 24 hour files of 60 song rows each, every row with its song,
// technical record, artists, category and five marker reads, through the record engine; and,
// for comparison in the same run, the same rows and look-ups read straight from SQLite.
#include "common/HourFiles.h"
#include "common/TextHelpers.h"
#include "config/Settings.h"
#include "db/DbFixture.h"
#include "db/engine/BtrieveEngine.h"
#include "export/ScheduleExport.h"

#include <QCoreApplication>
#include <QDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <sqlite3.h>

namespace {

using namespace nvx;

constexpr int kHeures = 24;
constexpr int kLignesParHeure = 60;
constexpr int kMorceaux = 400;
constexpr int kArtistes = 120;
constexpr int kCategories = 12;
constexpr int kTypesMarqueur[] = {0, 1, 4, 5, 8};
const QString kDate = QStringLiteral("20200508");

QString idMorceau(int i)
{
    return QStringLiteral("%1").arg(i, 8, 10, QLatin1Char('0'));
}
QString codeArtiste(int i)
{
    return QStringLiteral("A%1").arg(i, 4, 10, QLatin1Char('0'));
}
QString codeCategorie(int i)
{
    return QStringLiteral("C%1").arg(i, 3, 10, QLatin1Char('0'));
}
// The song of a row: songs come back through the day, as in a real rotation.
int morceauDeLigne(int heure, int ligne)
{
    return (heure * kLignesParHeure + ligne) * 7 % kMorceaux;
}

// The records of the day, as the engine stores them: each file's records, keyed by key 0.
struct Enregistrements {
    QList<QByteArray> f53, f22, f26, f31, f20, f21;
};

Enregistrements jour()
{
    Enregistrements e;
    const auto nouveau = [](int fichier) { return Record(*layoutFichier(fichier)); };
    for (int h = 0; h < kHeures; ++h)
        for (int l = 0; l < kLignesParHeure; ++l) {
            Record r = nouveau(53);
            r.setText(u"Date", kDate);
            r.setText(u"Heure", N2S(h, 2));
            r.setText(u"Minute", N2S(l, 2));
            r.setText(u"Seconde", QStringLiteral("00"));
            r.setText(u"Ordre", QStringLiteral("00"));
            r.setText(u"IdMorceau", idMorceau(morceauDeLigne(h, l)));
            r.setText(u"Nature", QStringLiteral("Son"));
            r.setText(u"Cle5", QStringLiteral("Clé 5"));
            r.setText(
                u"Guid",
                QStringLiteral("6f1c2a00-0b7e-4d5a-9c1e-%1").arg(h * 100 + l, 12, 10, QLatin1Char('0')));
            e.f53.append(r.bytes().left(500));
        }
    for (int m = 0; m < kMorceaux; ++m) {
        Record s = nouveau(22);
        s.setText(u"IdMorceau", idMorceau(m));
        s.setText(u"CodeArtiste1", codeArtiste(m % kArtistes));
        s.setText(u"CodeArtiste2", m % 3 == 0 ? codeArtiste((m + 1) % kArtistes) : QString());
        s.setText(u"CodeCategorie", codeCategorie(m % kCategories));
        s.setText(u"Titre1", QStringLiteral("Titre & refrain %1").arg(m));
        s.setText(u"Version", m % 2 ? QStringLiteral("Radio edit") : QString());
        e.f22.append(s.bytes());
        Record t = nouveau(26);
        t.setText(u"IdMorceau", idMorceau(m));
        t.setInteger(u"DureeSon", 150000 + m * 97);
        e.f26.append(t.bytes());
        for (int type : kTypesMarqueur) {
            Record k = nouveau(31);
            k.setText(u"IdMorceau", idMorceau(m));
            k.setText(u"Type", QString::number(type));
            k.setText(u"Sequence", QStringLiteral("00"));
            k.setText(u"Valeur", QString::number(type == 8 ? 350 : 1000 * (type + 1) + m));
            k.setText(u"Duree", QString::number(type <= 1 ? 2000 : 0));
            k.setText(u"Signe", m % 2 ? QStringLiteral("--") : QString());
            e.f31.append(k.bytes());
        }
    }
    for (int a = 0; a < kArtistes; ++a) {
        Record r = nouveau(20);
        r.setText(u"CodeArtiste", codeArtiste(a));
        r.setText(u"Nom", QStringLiteral("Artiste numéro %1").arg(a));
        e.f20.append(r.bytes());
    }
    for (int c = 0; c < kCategories; ++c) {
        Record r = nouveau(21);
        r.setText(u"Type", QStringLiteral("CATEG"));
        r.setText(u"Code", codeCategorie(c));
        r.setText(u"Libelle", QStringLiteral("Catégorie %1").arg(c));
        r.setText(u"Couleur", QString::number(c * 1000));
        e.f21.append(r.bytes());
    }
    return e;
}

void verifier(bool ok, const char* quoi)
{
    if (!ok) {
        std::fprintf(stderr, "bench_export: %s failed\n", quoi);
        std::abort();
    }
}

// The station's record files through the program's access layer, and the export over them.
struct Programme {
    std::unique_ptr<BtrieveEngine> engine = createEmbeddedEngine();
    test::DbOwners o{engine.get()};
    Settings settings{o.flags, o.trace, o.systeme, o.host, o.ini, o.config};
    ScheduleExport exporter{o.flags, o.trace, o.clock, o.pervasive, settings, o.config};
    HourFiles fichiers;

    explicit Programme(const Enregistrements& e)
    {
        settings.TexteDossierXML = QStringLiteral("C:\\VL_Export");
        QDir().mkpath(NativePath(settings.TexteDossierXML));
        for (qint16 f : Pervasive::kFichiersOuverts) {
            QByteArray structure = o.pervasive.catalogue().specCreation(f);
            QByteArray cle = QFile::encodeName(test::DbOwners::natif(o.pervasive.NomFichierBTR(f, 0)));
            cle.append('\0');
            QByteArray bloc(128, '\0');
            quint32 longueur = quint32(structure.size());
            verifier(engine->BTRCALL(14, bloc.data(), structure.data(), &longueur, cle.data(),
                                     quint8(cle.size()), -1) == 0,
                     "create");
        }
        o.pervasive.PervasiveOuvertureFichiers(0, 1, 1);
        QString cle;
        verifier(o.pervasive.BTRieve(0, Pervasive::OpDebutTransaction, cle, 0, 53, 1, {}) == 0, "begin");
        const auto inserer = [&](int fichier, const QList<QByteArray>& liste) {
            for (const QByteArray& r : liste) {
                o.pervasive.enregistrement(fichier).bytes().replace(0, r.size(), r);
                QString k;
                verifier(o.pervasive.BTRieve(0, Pervasive::OpInserer, k, 0, qint16(fichier), 1, {}) == 0,
                         "insert");
            }
        };
        inserer(53, e.f53);
        inserer(22, e.f22);
        inserer(26, e.f26);
        inserer(31, e.f31);
        inserer(20, e.f20);
        inserer(21, e.f21);
        verifier(o.pervasive.BTRieve(0, Pervasive::OpFinTransaction, cle, 0, 53, 1, {}) == 0, "end");
    }

    void exporterJour()
    {
        for (int h = 0; h < kHeures; ++h)
            exporter.UDPDataArrival_03_Create_XML(0, 1, QStringLiteral("7.2.1"), QStringLiteral("Station"),
                                                  QStringLiteral("U1"), QStringLiteral("Utilisateur"), kDate,
                                                  h, QStringLiteral("08/05/2020 06:45:12"), fichiers);
    }
};

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

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
