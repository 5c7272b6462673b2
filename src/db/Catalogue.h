#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>

namespace nvx {

// One segment of a key: 1-based byte position, length, and the key flags.
struct SegmentCle {
    // Key flags as the record manager numbers them.
    static constexpr quint16 Doublons = 0x0001;   // duplicates allowed
    static constexpr quint16 Modifiable = 0x0002; // the key value may change on update
    static constexpr quint16 Segmente = 0x0010;   // the next segment belongs to the same key
    static constexpr quint16 TypeEtendu = 0x0100; // the extended type byte gives the type
    static constexpr quint16 SansCasse = 0x0400;  // case-insensitive

    quint16 position = 0;
    quint16 longueur = 0;
    quint16 flags = 0;
};

// One file of the suite's database, indexed by its file number.
struct EntreeCatalogue {
    QString description; // table name used in messages
    QString nomFichier;  // 8 characters: "FRAD" + number on three digits, space-padded
    QString parStation;  // "O": one file per station, "N": one file for every station
    QString secondFlag;  // kept for the suite; not used here
    qint32 longueurEnregistrement = 0;
    qint32 taillePage = 0;
    qint32 nbCles = 0;
    QList<SegmentCle> segments; // the keys' segments in key order (at most 12)

    bool existe() const { return longueurEnregistrement > 0; }
    // Segments of key noCle (empty for a key the file does not have).
    QList<SegmentCle> segmentsCle(int noCle) const;
    // Length in bytes of key noCle; 0 for a key the file does not have.
    int longueurCle(int noCle) const;
};

// The catalogue of the 71 file numbers (0..70). Numbers without a table have an empty entry.
class Catalogue {
public:
    static constexpr int kNbFichiers = 71;
    static constexpr int kMaxSegments = 12;
    // Length of the file header and of each key segment in the create buffer.
    static constexpr int kLongueurSpecFichier = 16;
    static constexpr int kLongueurSpecSegment = 16;

    // Fills the table on its first call; later calls change nothing.
    void InitGeneralData();
    bool charge() const { return charge_; }

    // Entry of a file number; an empty entry for a number out of range or without a table.
    const EntreeCatalogue& entree(int fichier) const;

    // File name: the trimmed catalogue name + ".bt6"; for a per-station file the fifth character
    // becomes "A" + variant (the variant is the station number - 1). Empty for a number without
    // a table.
    QString NomFichierBTR(int fichier, int variant) const;

    // The create buffer of a file (see the .cpp for its byte layout); empty for a number
    // without a table.
    QByteArray specCreation(int fichier) const;

private:
    bool charge_ = false;
    std::array<EntreeCatalogue, kNbFichiers> entrees_;
};

} // namespace nvx
