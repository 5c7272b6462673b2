// Texts and reports of the engine's errors.
#include "common/Clock.h"
#include "common/DateHelpers.h"
#include "common/ErrorTrap.h"
#include "common/Host.h"
#include "common/Identity.h"
#include "common/TextHelpers.h"
#include "config/Configuration.h"
#include "db/Pervasive.h"
#include "system/Systeme.h"
#include "system/Trace.h"

namespace nvx {

namespace {

// Past the first minutes after the machine started, a network failure of the engine does not
// heal by itself: the program ends so that it can be started again on a sound connection.
constexpr qint64 kDemarrageMachineMs = 300000;

bool estReseau(qint16 statut)
{
    return statut >= 3000 && statut <= 3132;
}

bool demandeRestauration(qint16 statut)
{
    return statut == 2 || statut == 14 || statut == 15 || statut == 19 || statut == 30;
}

} // namespace

QString Pervasive::ErreurBTrieveLibelle(qint16 statut, const QString& nomFichier)
{
    const QString n = QString::number(statut);
    QString texte;
    switch (statut) {
    case 1:
        texte = QStringLiteral("Err: 1: The operation parameter is invalid");
        break;
    case 2:
        texte = QStringLiteral("Err: 2: The application encountered an I/O error");
        break;
    case 3:
        texte = QStringLiteral("Err: 3: The file is not open");
        break;
    case 4:
        texte = QStringLiteral("Err: 4: The application cannot find the key value");
        break;
    case 5:
        texte = QStringLiteral("Err: 5: The record has a key field containing a duplicate key value");
        break;
    case 6:
        texte = QStringLiteral("Err: 6: The key number parameter is invalid");
        break;
    case 7:
        texte = QStringLiteral("Err: 7: The key number has changed");
        break;
    case 8:
        texte = QStringLiteral("Err: 8: The current positioning is invalid");
        break;
    case 11:
        texte = QStringLiteral("Err: 11: The specified filename is invalid (") + nomFichier + u')';
        break;
    case 12:
        texte =
            QStringLiteral("Err: 12: The MicroKernel cannot find the specified file (") + nomFichier + u')';
        break;
    case 18:
        texte = QStringLiteral("Err: 18: The disk is full");
        break;
    case 19:
        texte = QStringLiteral("Err: 19: The application encountered an unrecoverable error");
        break;
    case 30:
        texte = QStringLiteral("Err: 30: The file specified is not a MicroKernel file");
        break;
    case 46:
        texte = QStringLiteral("Err: 46: Access to the requested file is denied (File locked ?)");
        break;
    case 161:
        texte = QStringLiteral("Err: 161: The maximum number of user count licenses has been reached");
        break;
    case 2007:
        texte = QStringLiteral("Err: 2007: A pointer parameter is invalid");
        break;
    default:
        if (statut >= 3103 && statut <= 3132)
            texte = QStringLiteral("Err: ") + n + QStringLiteral(": Network error");
        else
            texte = QStringLiteral("Err: ") + n;
        break;
    }
    return texte + u'\n';
}

void Pervasive::ErreurBTrieve(qint16 statut, qint16 fichier, qint16 station, const QString& cle,
                              const QString& appelant, bool information)
{
    // Conflicts are the generic call's business: it retries them and reports the ones that
    // persist itself.
    if (statut == 80)
        return;
    rapport(statut, fichier, station, cle, appelant, information);
}

void Pervasive::rapport(qint16 statut, qint16 fichier, qint16 station, const QString& cle,
                        const QString& appelant, bool information)
{
    trap(trace_, QStringLiteral("Lib_Data_Pervasive:ErreurBTrieve"), [&] {
        const qint16 s = qint16(qBound<int>(1, station, kMaxStations));
        const QString chemin = etat(s, fichier).CheminFichierBTR;
        const auto dateHeure = [&](const QDateTime& d) -> QString {
            if (!d.isValid())
                return QString();
            return Date2StringEx(d, identity_.FormatDate) + u' ' +
                   Date2StringEx(d, QStringLiteral("HH:MM:SS"));
        };
        const QString dossierLocal = config_.DossiersBase[size_t(baseFichiers_)].DossierLocal;
        const QString dateFichier = dateHeure(systeme_.DateModificationFichier(dossierLocal, chemin, false));
        const QString libelle = ErreurBTrieveLibelle(statut, chemin);

        const QString fichierLigne =
            QStringLiteral("Fichier: ") + chemin + QStringLiteral("  (") + dateFichier + u')';
        const QString maintenant = dateHeure(clock_.now());
        const QString stationLigne =
            QStringLiteral("S:") + N2S(s, 2) + u' ' + cle + QStringLiteral(" >") + appelant;
        const QString restauration = demandeRestauration(statut)
                                         ? QStringLiteral("\nFaîtes une restauration de ce fichier\n")
                                         : QString();

        QString texte = fichierLigne + u'\n' + maintenant + u'\n' + libelle + restauration + stationLigne;

        // One incident line that carries the whole report, the error text first.
        QString ligne =
            libelle.trimmed() + QStringLiteral(" | ") + fichierLigne + QStringLiteral(" | ") + stationLigne;
        if (!restauration.isEmpty())
            ligne += QStringLiteral(" | ") + restauration.trimmed();
        trace_.trace(ligne, true);

        bool fin = false;
        if (estReseau(statut)) {
            if (clock_.ChronoMilliSec() > kDemarrageMachineMs)
                fin = true;
            else
                trace_.TraceLogEncadre(
                    -1, -1, -1, QStringLiteral("Err: Network Pervasive errors: ") + QString::number(statut),
                    QStringLiteral("="), true);
        }

        const Host::Answer reponse =
            information ? host_.messageBox(Host::Icon::Information, Host::Buttons::Ok, titre(), texte,
                                           Host::Answer::Ok)
                        : host_.messageBox(Host::Icon::Critical, Host::Buttons::AbortRetryIgnore, titre(),
                                           texte, Host::Answer::Ignore);
        if (fin || reponse == Host::Answer::Abort || reponse == Host::Answer::Cancel)
            terminer();
    });
}

} // namespace nvx
