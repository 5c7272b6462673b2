#pragma once

#include "export/ItemValues.h"

#include <QString>

namespace nvx {

class MixPointReader;
class Pervasive;
class Record;
struct Identity;

// Turns one schedule row into the values of its item: texts and durations by nature, and for
// a song its title, artists, category, sound duration, mix points and play duration.
class ItemBuilder {
public:
    ItemBuilder(Identity& identity, Pervasive& pervasive, MixPointReader& mixPoints);

    // cle is the shared key buffer: the song look-ups overwrite it, so the caller puts its own
    // key back before it reads on. appelant names the export in the database's reports.
    ItemValues valeurs(const Record& ligne, qint16 noStation, QString& cle, const QString& appelant);

private:
    void morceau(const Record& ligne, qint16 noStation, QString& cle, const QString& appelant, ItemValues& v);

    Identity& identity_;
    Pervasive& pervasive_;
    MixPointReader& mixPoints_;
};

} // namespace nvx
