#pragma once

// The access layer over the embedded engine: files created from the catalogue straight through
// the engine, rows written through the generic call.
#include "DbFixture.h"
#include "db/engine/BtrieveEngine.h"

#include <QFile>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace nvx::test {

struct OverEmbeddedEngine : ::testing::Test {
    OverEmbeddedEngine() : engine(createEmbeddedEngine()), o(engine.get()) {}

    // Creates the station's file with the catalogue's structure, straight through the engine.
    void creer(int fichier, int station = 1)
    {
        QByteArray structureFichier = o.pervasive.catalogue().specCreation(fichier);
        QByteArray cle = QFile::encodeName(DbOwners::natif(o.pervasive.NomFichierBTR(fichier, station - 1)));
        cle.append('\0');
        QByteArray bloc(128, '\0');
        quint32 longueur = quint32(structureFichier.size());
        ASSERT_EQ(engine->BTRCALL(14, bloc.data(), structureFichier.data(), &longueur, cle.data(),
                                  quint8(cle.size()), -1),
                  0)
            << fichier;
    }
    void inserer(int fichier, const std::function<void(Record&)>& remplir)
    {
        Record& r = o.pervasive.enregistrement(fichier);
        r.clear();
        remplir(r);
        QString cle;
        ASSERT_EQ(o.pervasive.BTRieve(0, 2, cle, 0, qint16(fichier), 1, QStringLiteral("Frm_MainBis:Test")),
                  0);
    }
    void ligne(const QString& cle16, const QString& nature, const QString& idMorceau = {})
    {
        inserer(53, [&](Record& r) {
            r.setText(u"Date", cle16.left(8));
            r.setText(u"Heure", cle16.mid(8, 2));
            r.setText(u"Minute", cle16.mid(10, 2));
            r.setText(u"Seconde", cle16.mid(12, 2));
            r.setText(u"Ordre", cle16.mid(14, 2));
            r.setText(u"Nature", nature);
            r.setText(u"IdMorceau", idMorceau);
        });
    }

    std::unique_ptr<BtrieveEngine> engine;
    DbOwners o;
};

} // namespace nvx::test
