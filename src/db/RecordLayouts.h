#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <span>

namespace nvx {

// Records are fixed-length byte blocks: texts fixed-width in Windows-1252 padded with blanks,
// numbers little-endian signed integers of 2 or 4 bytes.
enum class TypeChamp { Texte, Entier16, Entier32 };

struct Champ {
    const char* nom;
    int offset; // 0-based
    int largeur;
    TypeChamp type;
};

// Every byte of a record belongs to exactly one field; the parts nothing here reads are named
// "Zone" + their offset, so that a record goes out and comes back whole by field name.
struct RecordLayout {
    int fichier;
    int longueur;     // record length in the file
    int tailleBuffer; // length of the in-memory record buffer (at least the record length)
    std::span<const Champ> champs;

    const Champ* champ(QStringView nom) const;
};

// Layout of a file number; null for the files whose records nothing here reads.
const RecordLayout* layoutFichier(int fichier);
// Every known layout (files 20, 21, 22, 26, 31, 53).
std::span<const RecordLayout* const> layouts();

// A record buffer with named access to its fields. Reading or writing a field name that the
// layout does not have raises an error for the caller's trap.
class Record {
public:
    Record() = default;
    // A buffer of taille bytes (blank texts, zero numbers when the layout is known, else zeros).
    Record(const RecordLayout* layout, int taille);
    // The buffer of a file with a known layout.
    explicit Record(const RecordLayout& layout) : Record(&layout, layout.tailleBuffer) {}

    const RecordLayout* layout() const { return layout_; }
    QByteArray& bytes() { return bytes_; }
    const QByteArray& bytes() const { return bytes_; }
    // Blank texts and zero numbers; bytes past the record length are zeroed.
    void clear();

    // Text as stored, with its trailing blanks and every byte: what keys and look-ups are made of.
    QString text(QStringView nom) const;
    // Text as people and documents get it (see readableText).
    QString displayText(QStringView nom) const { return readableText(text(nom)); }
    // Cut to the field's width and padded with blanks; characters that Windows-1252 lacks
    // become "?".
    void setText(QStringView nom, const QString& valeur);
    qint32 integer(QStringView nom) const;
    // A value that does not fit the field raises an error and leaves the field unchanged.
    void setInteger(QStringView nom, qint64 valeur);

    static QString text(const QByteArray& bytes, const Champ& champ);
    // A text taken from a record as it is shown or written into a document: it ends at its first
    // NUL (the C programs of the suite fill their fixed-width fields with NUL-terminated strings),
    // and every other control character that XML 1.0 does not allow (all below 0x20 but tab, LF
    // and CR) becomes a blank. A text without such characters is returned as it is.
    static QString readableText(const QString& stored);
    static void setText(QByteArray& bytes, const Champ& champ, const QString& valeur);
    static qint32 integer(const QByteArray& bytes, const Champ& champ);
    // False (nothing written) when the value does not fit the field.
    static bool setInteger(QByteArray& bytes, const Champ& champ, qint64 valeur);

private:
    const Champ& champ(QStringView nom) const;

    const RecordLayout* layout_ = nullptr;
    QByteArray bytes_;
};

} // namespace nvx
