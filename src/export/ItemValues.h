#pragma once

#include "export/MixPoints.h"

#include <QString>
#include <QStringList>

namespace nvx {

// The values of one schedule row that the file's item shows beside the row's own fields
// (times, keys, GUID, flags and attenuations, written as stored). Fresh for every row.
struct ItemValues {
    QString nature;
    QString description;
    QString songId;
    QString songLib;
    QString artistId;
    QString artistLib;
    QString categoryId;
    QString categoryLib;
    qint32 color = 0;
    qint32 soundDuration = 0;
    qint32 playDuration = 0;
    QString status = QStringLiteral("0");
    QString locked = QStringLiteral("0");
    MixPoints mix;
    // The row's own corrections, when its in-side or out-side flag says it has them.
    qint32 modFadeInPos = 0;
    qint32 modFadeInDur = 0;
    qint32 modIntroPos = 0;
    qint32 modFadeOutPos = 0;
    qint32 modFadeOutDur = 0;
    qint32 modStartNextPos = 0;
    qint32 modDurationOutOfSong = 0;
    // What the database lacks for this song ("artiste 'A0009' introuvable", "durée nulle", …),
    // so that the station can mend it before the platform complains.
    QStringList missingReferences;
};

} // namespace nvx
