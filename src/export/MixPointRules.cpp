#include "export/MixPointRules.h"

#include "common/ErrorTrap.h"

#include <cmath>
#include <limits>

namespace nvx {

namespace {

constexpr qint32 kMargeNormale = 96;
constexpr qint32 kMargeCourte = 48;
// The start-next point never comes later than this before the end of the sound, whatever the
// song's margin.
constexpr qint32 kFinStartNext = 48;
// The next song starts at most this far into the fade-out.
constexpr double kPartFadeOut = 0.8;

bool commencePar(const QString& id, QStringView prefixe)
{
    return id.startsWith(prefixe, Qt::CaseSensitive);
}

// Results of the rules that cannot leave 32 bits for sound durations below 24 days; values
// read from a damaged file are kept in range instead of wrapping.
qint32 borne(qint64 v)
{
    constexpr qint64 bas = std::numeric_limits<qint32>::min();
    constexpr qint64 haut = std::numeric_limits<qint32>::max();
    return qint32(qBound(bas, v, haut));
}

} // namespace

qint32 MargeFinMorceau(const QString& idMorceau)
{
    if (commencePar(idMorceau, u"PUB") || commencePar(idMorceau, u"PRE") || commencePar(idMorceau, u"EXT"))
        return kMargeCourte;
    return kMargeNormale;
}

qint32 ArrondiEntier32(double valeur)
{
    const double arrondi = std::nearbyint(valeur); // the default rounding mode: halves to even
    if (!(arrondi >= double(std::numeric_limits<qint32>::min()) &&
          arrondi <= double(std::numeric_limits<qint32>::max())))
        Raise(6, QStringLiteral("Overflow: ") + QString::number(valeur, 'g', 17));
    return qint32(arrondi);
}

void UDPDataArrival_03_Create_XML_05_Verifier_Coherence(const QString& idMorceau, qint32 dureeSon,
                                                        qint32& fadeInPosition, qint32& fadeInDuree,
                                                        qint32& startNextPosition, qint32& fadeOutPosition,
                                                        qint32& fadeOutDuree)
{
    const qint64 d = dureeSon;
    const qint64 marge = MargeFinMorceau(idMorceau);

    if (fadeOutPosition < 0) {
        fadeOutPosition = borne(qMax<qint64>(d - marge, 0));
        fadeOutDuree = 0;
    }
    if (d > 0 && fadeOutPosition > d - fadeOutDuree - marge)
        fadeOutPosition = borne(qMax<qint64>(d - fadeOutDuree - marge, 0));

    // Where the song ends for the next one: its fade-out, or the end of the sound.
    qint64 fin = fadeOutPosition;
    qint64 longueurFin = fadeOutDuree;
    if (fadeOutPosition == 0) {
        fin = d;
        longueurFin = 0;
    }

    if (startNextPosition < 0) {
        // Promotions and external items chain on nothing by default.
        const bool sansEnchainement = commencePar(idMorceau, u"PRE") || commencePar(idMorceau, u"EXT");
        startNextPosition = sansEnchainement ? 0 : borne(fin);
    } else if (const double limite = double(fin) + kPartFadeOut * double(longueurFin);
               longueurFin > 0 && double(startNextPosition) > limite) {
        startNextPosition = ArrondiEntier32(limite);
    } else if (d > 0 && startNextPosition > d - kFinStartNext) {
        startNextPosition = borne(d - kFinStartNext);
    } else if (startNextPosition == 0 && fadeOutPosition > 0) {
        startNextPosition = fadeOutPosition;
    }

    if (fadeInPosition < 0 || (fadeInPosition != 0 && fadeInPosition >= fin)) {
        fadeInPosition = 0;
        fadeInDuree = 0;
    }
}

void UDPDataArrival_03_Create_XML_04_Check_Pointeurs_Duration(qint32 dureeSon, qint32 startNextPosition,
                                                              qint32 fadeOutPosition, qint32 fadeInPosition,
                                                              qint32 fadeInDuree, qint32& dureeJouee)
{
    qint64 p = dureeSon;
    if (startNextPosition > 0 && startNextPosition < dureeSon)
        p = startNextPosition;
    else if (fadeOutPosition > 0 && fadeOutPosition < dureeSon)
        p = fadeOutPosition;
    const qint64 entree = qint64(fadeInPosition) + fadeInDuree;
    if (entree > 0)
        p -= entree;
    dureeJouee = borne(qMax<qint64>(p, 0));
}

} // namespace nvx
