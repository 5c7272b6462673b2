#include "db/Catalogue.h"

#include <QStringList>

namespace nvx {

namespace {

struct Ligne {
    int numero;
    const char16_t* description;
    qint32 longueur;
    qint32 page;
    // Keys separated by ";", segments of one key joined by "+"; a segment is a 1-based byte
    // range "a-b" (or one byte "a") followed by "dup" and/or "nocase".
    const char16_t* cles;
};

// Files that exist once per station: those this tool opens and the other music files.
constexpr int kParStation[] = {20, 21, 22, 23, 24, 26, 29, 31, 32, 33, 34, 35, 40, 41, 42, 46, 48, 53};

// The tables whose keys nothing here reads (5, 7, 12, 13, 34, 35, 36) get a plausible list:
// a unique first key on the leading bytes, then the usual secondary keys.
constexpr Ligne kLignes[] = {
    {0, u"Paramétrage", 1000, 1024, u"1-10"},
    {1, u"Commerciaux", 300, 1024, u"1-8; 9-18 dup nocase"},
    {2, u"Secteurs d'activité", 100, 512, u"1-10; 11-20 dup nocase"},
    {3, u"Clients", 900, 1024, u"1-8; 9-18 dup nocase"},
    {4, u"Produits", 100, 512, u"1-10; 11-20 dup nocase"},
    {5, u"Entêtes des contrats", 150, 512, u"1-8; 9-16 dup; 17-24 dup; 25-44 dup nocase"},
    {6, u"Entêtes des spots", 400, 512, u"1-8; 9-18 dup nocase"},
    {7, u"Dates de programmation des passages des spots", 100, 512, u"1-14; 15-22 dup; 23-30 dup; 31-38 dup"},
    {9, u"Paramétrage (Backup)", 1000, 1024, u"1-10"},
    {10, u"Publicité: Données programmées", 400, 512, u"1-14"},
    {11, u"Gestion des droits des utilisateurs", 350, 1536, u"1-83"},
    {12, u"Publicité: Système Tiers: Campagnes", 300, 1536,
     u"1-10; 11-20 dup; 21-28 dup; 29-36 dup; 37-44 dup; 45-94 dup nocase; 95-102 dup"},
    {13, u"Publicité: Système Tiers: Spots", 300, 1536,
     u"1-10; 11-20 dup; 21-28 dup; 29-36 dup; 37-86 dup nocase"},
    {14, u"Publicité: Système Tiers: Messages", 300, 1536, u"1-18; 19 dup; 20-28 dup"},
    {15, u"Publicité: Système Tiers: Produits", 100, 1536, u"1-53; 54-63 dup"},
    {16, u"Publicité: Système Tiers: Clients", 100, 1536, u"1-53; 54-61 dup"},
    {17, u"V 3.4 Planification", 1000, 2048, u"1-14; 15-22 dup"},
    {18, u"V 3.4 Log Pub", 250, 512, u"1-14 dup; 15-30 dup; 31-46 dup"},
    {19, u"Télé: Système Tiers: NinSight", 1000, 4096, u"1-8; 9-18 dup; 19-68 dup"},
    {20, u"Artistes", 300, 1024, u"1-5; 6-15 dup; 16-35 dup nocase; 46 dup + 16-35 dup"},
    {21, u"Voix, Groupe, Sonorité, Catégorie, ...", 980, 1024, u"1-10; 1-5 dup nocase + 11-20 dup nocase"},
    {22, u"Morceaux", 900, 2048, u"1-8; 9-13 dup; 19-23 dup; 64-68 dup; 69-73 dup; 24-43 dup nocase"},
    {23, u"Piles de morceaux par sujet", 100, 512, u"1-8 dup; 9-19 dup; 9-13 dup + 51-70 dup nocase"},
    {24, u"Piles de morceaux par catégorie", 100, 512, u"1-8 dup; 9-19 dup; 9-13 dup + 51-70 dup nocase"},
    {25, u"Priorités", 250, 512, u"1-10"},
    {26, u"Table des morceaux pour le magnétophone", 150, 512,
     u"1-8 dup; 9-27 dup; 28-41 dup; 42-80 dup nocase"},
    {27, u"Conducteur publicité", 50, 512, u"1-14; 15-22 dup"},
    {28, u"Evénements musicaux réellement diffusés", 150, 512, u"1-16; 97-104 dup; 109-122 dup"},
    {29, u"Morceaux (Clés complémentaires)", 100, 512,
     u"1-18 dup; 1-10 dup nocase + 19-38 dup nocase; 11-18 dup"},
    {30, u"Squelette des horloges", 250, 512, u"1-8"},
    {31, u"Pointeurs de start, stop, loop, ...", 50, 512, u"1-11"},
    {32, u"Renseignements complémentaires sur les morceaux", 250, 1024, u"1-10"},
    {33, u"Historique des artistes et groupes programmés", 100, 512, u"1-16; 17-35 dup; 36-54 dup"},
    {34, u"Historique des morceaux programmés", 200, 1024,
     u"1-16; 17-24 dup; 25-29 dup; 30-34 dup; 35-42 dup; 43-50 dup"},
    {35, u"Historique des événements programmés", 400, 1024, u"1-16; 17-30 dup; 31-38 dup"},
    {36, u"Base de référence pour les titres", 800, 1024,
     u"1-8 nocase; 9-48 dup nocase; 49-88 dup nocase; 89-108 dup nocase; 109-128 dup nocase; "
     u"129-168 dup nocase"},
    {40, u"V 3.4 Morceaux non diffusés", 900, 1024, u"1-8 dup; 9-22 dup"},
    {41, u"V 3.4 Convert Entête", 900, 2048, u"1-10; 11-60 dup nocase; 61-74 dup nocase"},
    {42, u"V 3.4 Convert Détail", 900, 2048, u"1-20"},
    {43, u"V 3.4 Podcast: Emission", 4000, 4096, u"1-8; 9-68 dup nocase"},
    {44, u"V 3.4 Podcast: Articles des Emissions", 4000, 4096, u"1-8; 9-29 dup; 30-89 dup nocase"},
    {45, u"V 3.4 Podcast: Images des Emissions ou des Articles", 4000, 4096, u"1-8"},
    {46, u"V 3.4 Equivalence entre les morceaux", 512, 1024, u"1-5"},
    {47, u"V 3.4 Historique de Diffusion: Codes et Libellés", 4082, 4096, u"1-11"},
    {48, u"V 3.4 Table des titres", 100, 512, u"1-8; 9-51 dup"},
    {49, u"V 3.4 Historique de Diffusion: Ecarts", 450, 512, u"1-8"},
    {53, u"V.2017 Player: Conducteur musical théorique", 500, 1024, u"1-16; 17-24 dup"},
};

// Parses one key list; every key is modifiable, and every segment but the last of a key says
// that another one follows.
QList<SegmentCle> lireCles(const QString& texte, qint32& nbCles)
{
    QList<SegmentCle> segments;
    nbCles = 0;
    const QStringList cles = texte.split(u';', Qt::SkipEmptyParts);
    for (const QString& cle : cles) {
        const QStringList parties = cle.split(u'+', Qt::SkipEmptyParts);
        for (qsizetype i = 0; i < parties.size(); ++i) {
            const QStringList mots = parties[i].simplified().split(u' ');
            const QStringList bornes = mots[0].split(u'-');
            const int debut = bornes[0].toInt();
            const int fin = bornes.size() > 1 ? bornes[1].toInt() : debut;
            SegmentCle s;
            s.position = quint16(debut);
            s.longueur = quint16(fin - debut + 1);
            s.flags = SegmentCle::Modifiable;
            if (mots.contains(QStringLiteral("dup")))
                s.flags |= SegmentCle::Doublons;
            if (mots.contains(QStringLiteral("nocase")))
                s.flags |= SegmentCle::SansCasse;
            if (i + 1 < parties.size())
                s.flags |= SegmentCle::Segmente;
            segments.append(s);
        }
        ++nbCles;
    }
    return segments;
}

void poserU16(QByteArray& b, int offset, quint16 v)
{
    b[offset] = char(v & 0xFF);
    b[offset + 1] = char(v >> 8);
}

} // namespace

QList<SegmentCle> EntreeCatalogue::segmentsCle(int noCle) const
{
    QList<SegmentCle> cle;
    int courante = 0;
    for (const SegmentCle& s : segments) {
        if (courante == noCle)
            cle.append(s);
        if (!(s.flags & SegmentCle::Segmente))
            ++courante;
        if (courante > noCle)
            break;
    }
    return cle;
}

int EntreeCatalogue::longueurCle(int noCle) const
{
    // The same walk as segmentsCle, without building the list: every record call asks.
    int longueur = 0;
    int courante = 0;
    for (const SegmentCle& s : segments) {
        if (courante == noCle)
            longueur += s.longueur;
        if (!(s.flags & SegmentCle::Segmente))
            ++courante;
        if (courante > noCle)
            break;
    }
    return longueur;
}

void Catalogue::InitGeneralData()
{
    if (charge_)
        return;
    for (int i = 0; i < kNbFichiers; ++i) {
        EntreeCatalogue& e = entrees_[size_t(i)];
        e = EntreeCatalogue{};
        e.nomFichier =
            QString(QStringLiteral("FRAD") + QString::number(i).rightJustified(3, u'0')).leftJustified(8);
        e.parStation = QStringLiteral("N");
        e.secondFlag = QStringLiteral("N");
    }
    for (int n : kParStation)
        entrees_[size_t(n)].parStation = QStringLiteral("O");
    for (const Ligne& l : kLignes) {
        EntreeCatalogue& e = entrees_[size_t(l.numero)];
        e.description = QString::fromUtf16(l.description);
        e.longueurEnregistrement = l.longueur;
        e.taillePage = l.page;
        e.segments = lireCles(QString::fromUtf16(l.cles), e.nbCles);
    }
    charge_ = true;
}

const EntreeCatalogue& Catalogue::entree(int fichier) const
{
    static const EntreeCatalogue vide;
    if (fichier < 0 || fichier >= kNbFichiers)
        return vide;
    return entrees_[size_t(fichier)];
}

QString Catalogue::NomFichierBTR(int fichier, int variant) const
{
    const EntreeCatalogue& e = entree(fichier);
    if (!e.existe())
        return {};
    QString nom = e.nomFichier.trimmed();
    if (e.parStation == u"O" && nom.size() >= 5)
        nom[4] = QChar(u'A' + variant);
    return nom + QStringLiteral(".bt6");
}

// The create buffer that the engine's create operation (14) reads, little-endian throughout:
//
//   file header, 16 bytes
//     0  u16  record length
//     2  u16  page size
//     4  u16  number of keys
//     6  u32  reserved (0)
//    10  u16  file flags (0)
//    12  4 bytes reserved (0)
//   then one key segment of 16 bytes per segment, in key order
//     0  u16  position of the segment in the record, 1-based
//     2  u16  length of the segment
//     4  u16  key flags (0x0001 duplicates, 0x0002 modifiable, 0x0010 another segment of the
//             same key follows, 0x0100 the extended type applies, 0x0400 case-insensitive)
//     6  4 bytes reserved (0)
//    10  u8   extended type (0 string, 1 integer)
//    11  u8   null value (0)
//    12  3 bytes reserved (0)
//    15  u8   alternate collating sequence number (0)
QByteArray Catalogue::specCreation(int fichier) const
{
    const EntreeCatalogue& e = entree(fichier);
    if (!e.existe())
        return {};
    QByteArray b(kLongueurSpecFichier + kLongueurSpecSegment * e.segments.size(), '\0');
    poserU16(b, 0, quint16(e.longueurEnregistrement));
    poserU16(b, 2, quint16(e.taillePage));
    poserU16(b, 4, quint16(e.nbCles));
    int offset = kLongueurSpecFichier;
    for (const SegmentCle& s : e.segments) {
        poserU16(b, offset, s.position);
        poserU16(b, offset + 2, s.longueur);
        poserU16(b, offset + 4, s.flags);
        offset += kLongueurSpecSegment;
    }
    return b;
}

} // namespace nvx
