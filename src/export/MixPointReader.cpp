#include "export/MixPointReader.h"

#include "common/ErrorTrap.h"
#include "common/Identity.h"
#include "common/Lifecycle.h"
#include "common/TextHelpers.h"
#include "db/Pervasive.h"
#include "export/KeyBounds.h"
#include "export/MixPointRules.h"

namespace nvx {

namespace {

constexpr qint16 kFichierMarqueurs = 31;
// The procedures' names in the reports, made once rather than for every marker read.
const QString kProcedurePointeur =
    QStringLiteral("Frm_MainBis:UDPDataArrival_03_Create_XML_01_Charger_Pointeur");
const QString kProcedureLevel =
    QStringLiteral("Frm_MainBis:UDPDataArrival_03_Create_XML_02_Charger_Pointeur_Level");
const QString kProcedureDuration =
    QStringLiteral("Frm_MainBis:UDPDataArrival_03_Create_XML_03_Charger_Pointeurs_Duration");

// Statuses the record call passes back without reporting them; any other failure it has
// reported itself, and one failure makes one report.
bool nonSignale(qint16 statut)
{
    return statut == 4 || statut == 5;
}

} // namespace

MixPointReader::MixPointReader(Identity& identity, const Lifecycle& lifecycle, Reporter& reporter,
                               Pervasive& pervasive)
    : identity_(identity), lifecycle_(lifecycle), reporter_(reporter), pervasive_(pervasive)
{
}

bool MixPointReader::quitte() const
{
    return lifecycle_.quitRequested();
}

bool MixPointReader::lireMarqueur(qint16 noStation, const QString& idMorceau, int type,
                                  const QString& appelant)
{
    const QString prefixe = idMorceau + QString::number(type);
    QString cle = prefixe + QStringLiteral("00");
    const QString cleMax = prefixe + QStringLiteral("99");
    const qint16 statut = pervasive_.BTRieve(identity_.BaseCourante, Pervasive::OpSuperieurOuEgal, cle, 0,
                                             kFichierMarqueurs, noStation, appelant);
    if (statut == 9 || quitte())
        return false;
    if (statut != 0) {
        if (nonSignale(statut))
            pervasive_.ErreurBTrieve(statut, kFichierMarqueurs, noStation, cle, appelant);
        return false;
    }
    // The first record at or after sequence 00 may belong to the next kind or the next song.
    return cleAuPlus(cle, cleMax);
}

void MixPointReader::UDPDataArrival_03_Create_XML_01_Charger_Pointeur(qint16 noStation,
                                                                      const QString& idMorceau, int type,
                                                                      qint32& valeur, qint32& duree)
{
    valeur = 0;
    duree = 0;
    const QString& appelant = kProcedurePointeur;
    trap(reporter_, appelant, [&] {
        if (!lireMarqueur(noStation, idMorceau, type, appelant))
            return;
        const Record& r = pervasive_.enregistrement(kFichierMarqueurs);
        // Both or neither: a value that cannot be read leaves the marker absent.
        const qint32 v = ArrondiEntier32(vbVal(r.text(u"Valeur")));
        const qint32 d = ArrondiEntier32(vbVal(r.text(u"Duree")));
        valeur = v;
        duree = d;
    });
}

void MixPointReader::UDPDataArrival_03_Create_XML_02_Charger_Pointeur_Level(qint16 noStation,
                                                                            const QString& idMorceau,
                                                                            float& level)
{
    level = 0.0f;
    const QString& appelant = kProcedureLevel;
    trap(reporter_, appelant, [&] {
        if (!lireMarqueur(noStation, idMorceau, MarkerLevel, appelant))
            return;
        const Record& r = pervasive_.enregistrement(kFichierMarqueurs);
        float v = float(vbVal(r.text(u"Valeur")) / 100.0);
        if (r.text(u"Signe") == QStringLiteral("--"))
            v = -v;
        // A level of zero has no sign.
        level = v == 0.0f ? 0.0f : v;
    });
}

void MixPointReader::UDPDataArrival_03_Create_XML_03_Charger_Pointeurs_Duration(
    qint16 noStation, const QString& idMorceau, qint32 dureeSon, qint32& fadeInPosition, qint32& fadeInDuree,
    qint32& fadeOutPosition, qint32& fadeOutDuree, qint32& startNextPosition)
{
    trap(reporter_, kProcedureDuration, [&] {
        UDPDataArrival_03_Create_XML_01_Charger_Pointeur(noStation, idMorceau, MarkerFadeIn, fadeInPosition,
                                                         fadeInDuree);
        UDPDataArrival_03_Create_XML_01_Charger_Pointeur(noStation, idMorceau, MarkerFadeOut, fadeOutPosition,
                                                         fadeOutDuree);
        qint32 inutilise = 0;
        UDPDataArrival_03_Create_XML_01_Charger_Pointeur(noStation, idMorceau, MarkerStartNext,
                                                         startNextPosition, inutilise);
        UDPDataArrival_03_Create_XML_05_Verifier_Coherence(idMorceau, dureeSon, fadeInPosition, fadeInDuree,
                                                           startNextPosition, fadeOutPosition, fadeOutDuree);
    });
}

MixPoints MixPointReader::charger(qint16 noStation, const QString& idMorceau, qint32 dureeSon)
{
    MixPoints m;
    qint32 inutilise = 0;
    UDPDataArrival_03_Create_XML_01_Charger_Pointeur(noStation, idMorceau, MarkerIntro, m.intropos,
                                                     inutilise);
    UDPDataArrival_03_Create_XML_02_Charger_Pointeur_Level(noStation, idMorceau, m.level);
    UDPDataArrival_03_Create_XML_03_Charger_Pointeurs_Duration(
        noStation, idMorceau, dureeSon, m.fadeinpos, m.fadeindur, m.fadeoutpos, m.fadeoutdur, m.startnextpos);
    return m;
}

} // namespace nvx
