#pragma once

#include "FakeEngine.h"
#include "common/NativePath.h"
#include "db/Pervasive.h"
#include "support/Owners.h"

#include <QDir>

namespace nvx::test {

// The owners the record access needs, over a temporary drive root whose data folder is
// C:\VL_Data\, with an in-memory engine unless a test hands its own.
struct DbOwners : Owners {
    explicit DbOwners(BtrieveEngine* engine = nullptr)
        : pervasive(identity, lifecycle, trace, clock, host, systeme, config, engine ? *engine : fake)
    {
        QDir().mkpath(drives.path() + QStringLiteral("/c/VL_Data"));
        config.DossiersBase[0].DossierData = QStringLiteral("C:\\VL_Data");
        pervasive.finProgramme = [this] { ++finsProgramme; };
        pervasive.catalogue().InitGeneralData();
    }

    static QString chemin(const QString& nom) { return QStringLiteral("C:\\VL_Data\\") + nom; }
    static QString natif(const QString& nom) { return NativePath(chemin(nom)); }

    // The in-memory file of a station, sized and keyed from the catalogue.
    FakeEngine::File& fichier(int numero, int station = 1)
    {
        const EntreeCatalogue& e = pervasive.catalogue().entree(numero);
        return fake.seed(natif(pervasive.NomFichierBTR(numero, station - 1)), e.longueurCle(0),
                         e.longueurEnregistrement);
    }
    // Every file the tool opens, for stations 1..n, opened.
    void ouvrir(int stations = 1)
    {
        for (int s = 1; s <= stations; ++s)
            for (qint16 f : Pervasive::kFichiersOuverts)
                fichier(f, s);
        pervasive.PervasiveOuvertureFichiers(0, 1, qint16(stations));
    }

    FakeEngine fake;
    Pervasive pervasive;
    int finsProgramme = 0;
};

} // namespace nvx::test
