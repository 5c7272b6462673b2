#pragma once

// A schedule day for the benchmarks: 24 hours of 60 song rows, every row with its song,
// technical record, artists, category and five markers, in the station's record files through
// the program's access layer, with the export over them.
#include "common/DateHelpers.h"
#include "common/TextHelpers.h"
#include "config/Settings.h"
#include "db/DbFixture.h"
#include "db/engine/BtrieveEngine.h"
#include "export/ScheduleExport.h"

#include <QDir>

#include <cstdio>
#include <cstdlib>

namespace nvx::bench {

constexpr int kHeures = 24;
constexpr int kLignesParHeure = 60;
constexpr int kMorceaux = 400;
constexpr int kArtistes = 120;
constexpr int kCategories = 12;
constexpr int kTypesMarqueur[] = {0, 1, 4, 5, 8};
inline const QString kDate = QStringLiteral("20200508");

inline QString idMorceau(int i)
{
    return QStringLiteral("%1").arg(i, 8, 10, QLatin1Char('0'));
}
inline QString codeArtiste(int i)
{
    return QStringLiteral("A%1").arg(i, 4, 10, QLatin1Char('0'));
}
inline QString codeCategorie(int i)
{
    return QStringLiteral("C%1").arg(i, 3, 10, QLatin1Char('0'));
}
// The song of a row: songs come back through the day, as in a real rotation.
inline int morceauDeLigne(int heure, int ligne)
{
    return (heure * kLignesParHeure + ligne) * 7 % kMorceaux;
}

// The records of the day, as the engine stores them: each file's records, keyed by key 0.
struct Enregistrements {
    QList<QByteArray> f53, f22, f26, f31, f20, f21;
};

inline Enregistrements jour()
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

inline void verifier(bool ok, const char* quoi)
{
    if (!ok) {
        std::fprintf(stderr, "benchmark: %s failed\n", quoi);
        std::abort();
    }
}

// The station's record files through the program's access layer, and the export over them.
struct Programme {
    std::unique_ptr<BtrieveEngine> engine = createEmbeddedEngine();
    test::DbOwners o{engine.get()};
    Settings settings{o.identity, o.lifecycle, o.trace, o.systeme, o.host, o.ini, o.config};
    ScheduleExport exporter{o.identity, o.lifecycle, o.trace, o.clock, o.pervasive, settings, o.config};

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
        ScheduleHour heure;
        heure.noStation = 1;
        heure.dateConducteur = kDate;
        heure.schedulerVersion = QStringLiteral("7.2.1");
        heure.stationLib = QStringLiteral("Station");
        heure.userId = QStringLiteral("U1");
        heure.userLib = QStringLiteral("Utilisateur");
        heure.buildDate = QDateTime(QDate(2020, 5, 8), QTime(6, 45, 12));
        for (int h = 0; h < kHeures; ++h) {
            heure.heure = h;
            exporter.UDPDataArrival_03_Create_XML(heure);
        }
    }
};

} // namespace nvx::bench
