#pragma once

#include <QString>

namespace nvx {

// Corrections of a song's mix points against its duration and each other, and the duration
// actually played. Pure arithmetic on the values read from the marker file.

// Margin kept between the end of the fade-out and the end of the sound: shorter for the
// advertising, promotion and external items (ids starting "PUB", "PRE", "EXT").
qint32 MargeFinMorceau(const QString& idMorceau);

// A marker text read as a number, rounded to the nearest integer with halves to even. A value
// that does not fit 32 bits raises an overflow for the caller's trap.
qint32 ArrondiEntier32(double valeur);

// Brings the fades and the start-next point inside the sound of dureeSon ms: a missing fade-out
// gets its default, a fade-out too late is moved forward, the start-next point is kept within
// the fade-out and the end of the sound, and a fade-in at or past the end point is dropped.
void UDPDataArrival_03_Create_XML_05_Verifier_Coherence(const QString& idMorceau, qint32 dureeSon,
                                                        qint32& fadeInPosition, qint32& fadeInDuree,
                                                        qint32& startNextPosition, qint32& fadeOutPosition,
                                                        qint32& fadeOutDuree);

// How long the song is heard: up to its start-next point (or its fade-out), less the fade-in.
void UDPDataArrival_03_Create_XML_04_Check_Pointeurs_Duration(qint32 dureeSon, qint32 startNextPosition,
                                                              qint32 fadeOutPosition, qint32 fadeInPosition,
                                                              qint32 fadeInDuree, qint32& dureeJouee);

} // namespace nvx
