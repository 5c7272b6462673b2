#include "export/ItemBuilder.h"

#include "common/Identity.h"
#include "common/TextHelpers.h"
#include "db/Pervasive.h"
#include "export/MixPointReader.h"
#include "export/MixPointRules.h"

namespace nvx {

namespace {

constexpr qint16 kFichierMorceaux = 22;
constexpr qint16 kFichierTechnique = 26;
constexpr qint32 kMsParSeconde = 1000;

} // namespace

ItemBuilder::ItemBuilder(Identity& identity, Pervasive& pervasive, MixPointReader& mixPoints)
    : identity_(identity), pervasive_(pervasive), mixPoints_(mixPoints)
{
}

ItemValues ItemBuilder::valeurs(const Record& ligne, qint16 noStation, QString& cle, const QString& appelant)
{
    ItemValues v;
    const QString nature = ligne.text(u"Nature");
    // Rows that are not songs have one duration: what they last on air.
    const auto duree = [&v](qint32 secondes) {
        v.soundDuration = secondes * kMsParSeconde;
        v.playDuration = v.soundDuration;
    };
    if (nature == QStringLiteral("Rup")) {
        v.nature = QStringLiteral("Rupture d'heure");
    } else if (nature == QStringLiteral("Son")) {
        morceau(ligne, noStation, cle, appelant, v);
    } else if (nature == QStringLiteral("Evt")) {
        v.nature = QStringLiteral("Event");
        v.songLib = vbTrim(ligne.displayText(u"Libelle"));
        duree(ligne.integer(u"DureeEvenement"));
    } else if (nature == QStringLiteral("Pub")) {
        v.nature = QStringLiteral("Pub");
        v.description = QStringLiteral("Ecran Pub n° ") + ligne.displayText(u"NoEcranPub");
        v.songLib = vbTrim(ligne.displayText(u"Libelle"));
        duree(ligne.integer(u"DureeEcranPub"));
    } else if (nature == QStringLiteral("Flx")) {
        v.nature = QStringLiteral("Flux");
        v.songLib = vbTrim(ligne.displayText(u"Libelle"));
        // A live stream (type 2) has no planned length.
        duree(ligne.text(u"TypeFlux") == QStringLiteral("1") ? ligne.integer(u"DureeFlux") : 0);
    }
    return v;
}

void ItemBuilder::morceau(const Record& ligne, qint16 noStation, QString& cle, const QString& appelant,
                          ItemValues& v)
{
    // The look-ups take the codes as stored; the file shows them as texts.
    const QString id = ligne.text(u"IdMorceau");
    v.songId = Record::readableText(id);
    if (vbTrim(v.songId).isEmpty()) {
        v.songId.clear();
        return;
    }
    v.songLib = QStringLiteral("Morceau: ") + v.songId;
    v.nature = QStringLiteral("Sound");

    cle = id;
    const qint16 statut = pervasive_.BTRieve(identity_.BaseCourante, Pervasive::OpEgal, cle, 0,
                                             kFichierMorceaux, noStation, appelant);
    if (statut == Pervasive::kCleIntrouvable)
        v.missingReferences << QStringLiteral("morceau introuvable");
    if (statut != 0)
        return;
    const Record& m = pervasive_.enregistrement(kFichierMorceaux);
    v.songLib = vbTrim(TitreDuMorceau(m.displayText(u"Titre1") + m.displayText(u"Titre2"),
                                      m.displayText(u"Version"), true, false));
    const QString artiste1 = m.text(u"CodeArtiste1");
    const QString artiste2 = m.text(u"CodeArtiste2");
    const QString categorie = m.text(u"CodeCategorie");
    v.artistId = Record::readableText(artiste1) + Record::readableText(artiste2);
    v.categoryId = Record::readableText(categorie);
    QStringList artistesAbsents;
    v.artistLib = pervasive_.NomArtiste(noStation, artiste1, artiste2, &artistesAbsents);
    for (const QString& code : artistesAbsents)
        v.missingReferences << QStringLiteral("artiste '%1' introuvable").arg(vbTrim(code));
    bool categorieAbsente = false;
    v.categoryLib = pervasive_.LibCategorie(noStation, categorie, v.color, &categorieAbsente);
    if (categorieAbsente && !vbTrim(v.categoryId).isEmpty())
        v.missingReferences << QStringLiteral("catégorie '%1' introuvable").arg(vbTrim(v.categoryId));

    cle = id;
    if (pervasive_.BTRieve(identity_.BaseCourante, Pervasive::OpEgal, cle, 0, kFichierTechnique, noStation,
                           appelant) == 0) {
        v.soundDuration = pervasive_.enregistrement(kFichierTechnique).integer(u"DureeSon");
        v.mix = mixPoints_.charger(noStation, id, v.soundDuration);
    }
    if (v.soundDuration <= 0)
        v.missingReferences << QStringLiteral("durée nulle");
    UDPDataArrival_03_Create_XML_04_Check_Pointeurs_Duration(v.soundDuration, v.mix.startnextpos,
                                                             v.mix.fadeoutpos, v.mix.fadeinpos,
                                                             v.mix.fadeindur, v.playDuration);

    if (ligne.text(u"ModifEntree") == QStringLiteral("1")) {
        v.modFadeInPos = ligne.integer(u"ModifFadeInPosition");
        v.modFadeInDur = ligne.integer(u"ModifFadeInDuree");
        v.modIntroPos = ligne.integer(u"ModifIntroPosition");
    }
    if (ligne.text(u"ModifSortie") == QStringLiteral("1")) {
        v.modFadeOutPos = ligne.integer(u"ModifFadeOutPosition");
        v.modFadeOutDur = ligne.integer(u"ModifFadeOutDuree");
        v.modStartNextPos = ligne.integer(u"ModifStartNextPosition");
        v.modDurationOutOfSong = ligne.integer(u"ModifDureeJouee");
    }
}

} // namespace nvx
