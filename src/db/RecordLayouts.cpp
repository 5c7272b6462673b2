#include "db/RecordLayouts.h"

#include "common/ErrorTrap.h"
#include "common/Win1252.h"

#include <algorithm>
#include <array>
#include <limits>

namespace nvx {

namespace {

constexpr TypeChamp T = TypeChamp::Texte;
constexpr TypeChamp I16 = TypeChamp::Entier16;
constexpr TypeChamp I32 = TypeChamp::Entier32;

// File 53: one row of a station's theoretical music schedule. Key 0 is the first 16 bytes.
constexpr Champ kChamps53[] = {
    {"Date", 0, 8, T},
    {"Heure", 8, 2, T},
    {"Minute", 10, 2, T},
    {"Seconde", 12, 2, T},
    {"Ordre", 14, 2, T},
    {"IdMorceau", 16, 8, T},
    {"Nature", 24, 3, T},
    {"Cle2", 27, 3, T},
    {"Cle3", 30, 8, T},
    {"Cle4", 38, 10, T},
    {"Cle5", 48, 13, T},
    {"NoEcranPub", 61, 2, T},
    {"Zone063", 63, 1, T},
    {"DureeEcranPub", 64, 2, I16},
    {"Zone066", 66, 1, T},
    {"Zone067", 67, 1, T},
    {"Zone068", 68, 1, T},
    {"Zone069", 69, 1, T},
    {"Zone070", 70, 5, T},
    {"Zone075", 75, 1, T},
    {"Zone076", 76, 2, I16},
    {"Zone078", 78, 2, I16},
    {"Zone080", 80, 14, T},
    {"DureeEvenement", 94, 2, I16},
    {"Zone096", 96, 2, I16},
    {"Libelle", 98, 128, T},
    {"ModifEntree", 226, 1, T},
    {"Zone227", 227, 1, T},
    {"ModifFadeInPosition", 228, 4, I32},
    {"ModifFadeInDuree", 232, 4, I32},
    {"ModifIntroPosition", 236, 4, I32},
    {"ModifSortie", 240, 1, T},
    {"Zone241", 241, 3, T},
    {"ModifFadeOutPosition", 244, 4, I32},
    {"ModifFadeOutDuree", 248, 4, I32},
    {"ModifStartNextPosition", 252, 4, I32},
    {"ModifDureeJouee", 256, 4, I32},
    {"AttenuationDebut", 260, 2, I16},
    {"AttenuationFin", 262, 2, I16},
    {"Zone264", 264, 2, T},
    {"Zone266", 266, 2, T},
    {"Zone268", 268, 2, T},
    {"Zone270", 270, 2, I16},
    {"Zone272", 272, 2, I16},
    {"Zone274", 274, 5, T},
    {"Zone279", 279, 5, T},
    {"Zone284", 284, 5, T},
    {"Zone289", 289, 5, T},
    {"Zone294", 294, 5, T},
    {"Zone299", 299, 1, T},
    {"Zone300", 300, 4, I32},
    {"Zone304", 304, 4, I32},
    {"Zone308", 308, 8, T},
    {"Zone316", 316, 4, I32},
    {"Zone320", 320, 4, I32},
    {"Zone324", 324, 1, T},
    {"Zone325", 325, 8, T},
    {"Zone333", 333, 3, T},
    {"Zone336", 336, 4, I32},
    {"Zone340", 340, 2, I16},
    {"TypeFlux", 342, 1, T},
    {"Zone343", 343, 1, T},
    {"DureeFlux", 344, 2, I16},
    {"Zone346", 346, 14, T},
    {"Zone360", 360, 32, T},
    {"Zone392", 392, 1, T},
    {"Zone393", 393, 5, T},
    {"Guid", 398, 36, T},
    {"Zone434", 434, 66, T},
};

// File 22: songs. Key 0 is the song id, key 1 the first artist, key 4 the category.
constexpr Champ kChamps22[] = {
    {"IdMorceau", 0, 8, T}, {"CodeArtiste1", 8, 5, T}, {"CodeArtiste2", 13, 5, T},  {"Zone018", 18, 5, T},
    {"Titre1", 23, 40, T},  {"Zone063", 63, 5, T},     {"CodeCategorie", 68, 5, T}, {"Zone073", 73, 216, T},
    {"Titre2", 289, 40, T}, {"Zone329", 329, 476, T},  {"Version", 805, 20, T},     {"Zone825", 825, 75, T},
};

// File 26: the songs' technical table.
constexpr Champ kChamps26[] = {
    {"IdMorceau", 0, 8, T}, {"Zone008", 8, 1, T},   {"Zone009", 9, 10, T},   {"Zone019", 19, 8, T},
    {"Zone027", 27, 1, T},  {"Zone028", 28, 5, T},  {"Zone033", 33, 8, T},   {"Zone041", 41, 1, T},
    {"Zone042", 42, 30, T}, {"Zone072", 72, 8, T},  {"Zone080", 80, 30, T},  {"Zone110", 110, 1, T},
    {"Zone111", 111, 1, T}, {"Zone112", 112, 1, T}, {"Zone113", 113, 3, T},  {"DureeSon", 116, 4, I32},
    {"Zone120", 120, 1, T}, {"Zone121", 121, 3, T}, {"Zone124", 124, 10, T}, {"Zone134", 134, 15, T},
    {"Zone149", 149, 1, T},
};

// File 31: song markers. Key 0 is the id, the kind and the sequence (11 bytes).
constexpr Champ kChamps31[] = {
    {"IdMorceau", 0, 8, T}, {"Type", 8, 1, T},      {"Sequence", 9, 2, T},
    {"Valeur", 11, 10, T},  {"Duree", 21, 10, T},   {"Signe", 31, 2, T},
    {"Zone033", 33, 1, T},  {"Zone034", 34, 10, T}, {"Zone044", 44, 6, T},
};

// File 20: artists. Key 0 is the code, key 2 the first 20 characters of the name.
constexpr Champ kChamps20[] = {
    {"CodeArtiste", 0, 5, T}, {"Zone005", 5, 10, T},   {"Nom", 15, 30, T},
    {"Zone045", 45, 1, T},    {"Zone046", 46, 254, T},
};

// File 21: voices, groups, sounds, categories... Key 0 is the type and the code. For a
// category ("CATEG") the colour is a decimal number inside the data block.
constexpr Champ kChamps21[] = {
    {"Type", 0, 5, T},       {"Code", 5, 5, T},       {"Libelle", 10, 30, T},
    {"Donnees", 40, 648, T}, {"Couleur", 688, 10, T}, {"Donnees2", 698, 282, T},
};

constexpr RecordLayout kLayout53{53, 500, 512, kChamps53};
constexpr RecordLayout kLayout22{22, 900, 900, kChamps22};
constexpr RecordLayout kLayout26{26, 150, 150, kChamps26};
constexpr RecordLayout kLayout31{31, 50, 50, kChamps31};
constexpr RecordLayout kLayout20{20, 300, 300, kChamps20};
constexpr RecordLayout kLayout21{21, 980, 980, kChamps21};

constexpr std::array<const RecordLayout*, 6> kLayouts = {&kLayout20, &kLayout21, &kLayout22,
                                                         &kLayout26, &kLayout31, &kLayout53};

// The field names are ASCII: compared character by character, without measuring every name of
// the layout first (the export looks fields up by name for each row it writes).
bool memeNom(const char* nom, QStringView cherche)
{
    for (const QChar c : cherche) {
        if (*nom == '\0' || c.unicode() != char16_t(static_cast<unsigned char>(*nom)))
            return false;
        ++nom;
    }
    return *nom == '\0';
}

} // namespace

const Champ* RecordLayout::champ(QStringView nom) const
{
    for (const Champ& c : champs) {
        if (memeNom(c.nom, nom))
            return &c;
    }
    return nullptr;
}

const RecordLayout* layoutFichier(int fichier)
{
    for (const RecordLayout* l : kLayouts) {
        if (l->fichier == fichier)
            return l;
    }
    return nullptr;
}

std::span<const RecordLayout* const> layouts()
{
    return kLayouts;
}

Record::Record(const RecordLayout* layout, int taille) : layout_(layout), bytes_(taille, '\0')
{
    clear();
}

void Record::clear()
{
    bytes_.fill('\0');
    if (!layout_)
        return;
    for (const Champ& c : layout_->champs) {
        if (c.type == TypeChamp::Texte && c.offset + c.largeur <= bytes_.size())
            bytes_.replace(c.offset, c.largeur, QByteArray(c.largeur, ' '));
    }
}

const Champ& Record::champ(QStringView nom) const
{
    const Champ* c = layout_ ? layout_->champ(nom) : nullptr;
    if (!c || c->offset + c->largeur > bytes_.size())
        Raise(5, QStringLiteral("Unknown record field: ") + nom.toString(), QStringLiteral("Record"));
    return *c;
}

QString Record::text(QStringView nom) const
{
    return text(bytes_, champ(nom));
}

void Record::setText(QStringView nom, const QString& valeur)
{
    setText(bytes_, champ(nom), valeur);
}

qint32 Record::integer(QStringView nom) const
{
    return integer(bytes_, champ(nom));
}

void Record::setInteger(QStringView nom, qint64 valeur)
{
    if (!setInteger(bytes_, champ(nom), valeur))
        Raise(6,
              QStringLiteral("Overflow: ") + QString::number(valeur) + QStringLiteral(" in ") +
                  nom.toString(),
              QStringLiteral("Record"));
}

QString Record::text(const QByteArray& bytes, const Champ& champ)
{
    const qsizetype debut = qMin<qsizetype>(champ.offset, bytes.size());
    return fromWindows1252(
        QByteArrayView(bytes).sliced(debut, qMin<qsizetype>(champ.largeur, bytes.size() - debut)));
}

QString Record::readableText(const QString& stored)
{
    const auto controle = [](QChar c) {
        const char16_t u = c.unicode();
        return u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r';
    };
    const qsizetype fin = stored.indexOf(QChar(0));
    QString texte = fin < 0 ? stored : stored.left(fin);
    // Most texts hold none: they are handed back without a copy.
    if (std::none_of(texte.cbegin(), texte.cend(), controle))
        return texte;
    for (QChar& c : texte)
        if (controle(c))
            c = u' ';
    return texte;
}

void Record::setText(QByteArray& bytes, const Champ& champ, const QString& valeur)
{
    QByteArray b = toWindows1252(valeur.left(champ.largeur));
    b.append(QByteArray(champ.largeur - b.size(), ' '));
    bytes.replace(champ.offset, champ.largeur, b);
}

qint32 Record::integer(const QByteArray& bytes, const Champ& champ)
{
    const auto octet = [&](int i) { return quint32(quint8(bytes[champ.offset + i])); };
    if (champ.type == TypeChamp::Entier16)
        return qint16(quint16(octet(0) | (octet(1) << 8)));
    if (champ.type == TypeChamp::Entier32)
        return qint32(octet(0) | (octet(1) << 8) | (octet(2) << 16) | (octet(3) << 24));
    return 0;
}

bool Record::setInteger(QByteArray& bytes, const Champ& champ, qint64 valeur)
{
    int largeur = 0;
    if (champ.type == TypeChamp::Entier16) {
        if (valeur < std::numeric_limits<qint16>::min() || valeur > std::numeric_limits<qint16>::max())
            return false;
        largeur = 2;
    } else if (champ.type == TypeChamp::Entier32) {
        if (valeur < std::numeric_limits<qint32>::min() || valeur > std::numeric_limits<qint32>::max())
            return false;
        largeur = 4;
    } else {
        return false;
    }
    const auto u = quint64(valeur);
    for (int i = 0; i < largeur; ++i)
        bytes[champ.offset + i] = char((u >> (8 * i)) & 0xFF);
    return true;
}

} // namespace nvx
