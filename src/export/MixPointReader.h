#pragma once

#include "export/MixPoints.h"

#include <QString>

#include <functional>

namespace nvx {

class Pervasive;
class Lifecycle;
class Reporter;
struct Identity;

// Reads a song's markers from the marker file (31) and turns them into its mix points.
class MixPointReader {
public:
    // Kinds of marker used for the mix points.
    enum MarkerKind : int {
        MarkerFadeIn = 0,
        MarkerFadeOut = 1,
        MarkerIntro = 4,
        MarkerStartNext = 5,
        MarkerLevel = 8,
    };

    // Once a quit is requested, reads stop at once.
    MixPointReader(Identity& identity, const Lifecycle& lifecycle, Reporter& reporter, Pervasive& pervasive);

    // The first marker of the kind for the song (8 characters as stored): its value and its
    // duration, rounded to whole ms. Both are 0 when the song has no such marker, when the
    // read fails (the failure is reported) or when the program is quitting.
    void UDPDataArrival_03_Create_XML_01_Charger_Pointeur(qint16 noStation, const QString& idMorceau,
                                                          int type, qint32& valeur, qint32& duree);
    // The song's level; negative when the marker's sign is "--", 0 without a marker.
    void UDPDataArrival_03_Create_XML_02_Charger_Pointeur_Level(qint16 noStation, const QString& idMorceau,
                                                                float& level);
    // The fades and the start-next point, corrected against the sound duration.
    void UDPDataArrival_03_Create_XML_03_Charger_Pointeurs_Duration(
        qint16 noStation, const QString& idMorceau, qint32 dureeSon, qint32& fadeInPosition,
        qint32& fadeInDuree, qint32& fadeOutPosition, qint32& fadeOutDuree, qint32& startNextPosition);

    // Everything a song row carries, in the order the values depend on each other: intro,
    // level, fades and start-next.
    MixPoints charger(qint16 noStation, const QString& idMorceau, qint32 dureeSon);

private:
    // Reads the first marker of the kind into the marker record buffer; false when there is
    // none (or it cannot be read).
    bool lireMarqueur(qint16 noStation, const QString& idMorceau, int type, const QString& appelant);
    bool quitte() const;

    Identity& identity_;
    const Lifecycle& lifecycle_;
    Reporter& reporter_;
    Pervasive& pervasive_;
};

} // namespace nvx
