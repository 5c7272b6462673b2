// Codes turned into texts for the schedule export: artists and categories.
#include "common/ErrorTrap.h"
#include "common/Identity.h"
#include "common/TextHelpers.h"
#include "db/Pervasive.h"
#include "system/Trace.h"

#include <cmath>
#include <limits>

namespace nvx {

namespace {

constexpr qint16 kFichierArtistes = 20;
constexpr qint16 kFichierCategories = 21;
constexpr int kLongueurCodeArtiste = 5;
constexpr int kLongueurCleCategorie = 10;

qint32 versEntier32(double v)
{
    const double arrondi = std::nearbyint(v); // halves to even
    if (!(arrondi >= double(std::numeric_limits<qint32>::min())))
        return std::numeric_limits<qint32>::min();
    if (arrondi > double(std::numeric_limits<qint32>::max()))
        return std::numeric_limits<qint32>::max();
    return qint32(arrondi);
}

} // namespace

QString Pervasive::NomArtiste(qint16 station, const QString& codeArtiste1, const QString& codeArtiste2,
                              QStringList* absents)
{
    QString resultat;
    const QString appelant = QStringLiteral("Lib_Data_Pervasive:NomArtiste");
    trap(trace_, appelant, [&] {
        // The name of the artist found, or its code when the name is blank; nothing when the
        // artist cannot be read.
        const auto lire = [&](const QString& code, QString& nom) {
            QString cle = code.leftJustified(kLongueurCodeArtiste);
            const qint16 statut =
                BTRieve(identity_.BaseCourante, OpEgal, cle, 0, kFichierArtistes, station, appelant);
            if (statut == kCleIntrouvable && absents)
                absents->append(Record::readableText(code));
            if (statut != 0)
                return false;
            const Record& r = enregistrement(kFichierArtistes);
            nom = vbTrim(r.displayText(u"Nom"));
            if (nom.isEmpty())
                nom = QStringLiteral("Artiste: ") + r.displayText(u"CodeArtiste");
            return true;
        };
        QString nom;
        if (!vbTrim(codeArtiste1).isEmpty() && lire(codeArtiste1, nom))
            resultat = nom;
        if (!vbTrim(codeArtiste2).isEmpty() && lire(codeArtiste2, nom)) {
            if (vbTrim(resultat).isEmpty())
                resultat = nom;
            else
                resultat += QStringLiteral(" + ") + nom;
        }
    });
    return resultat;
}

QString Pervasive::LibCategorie(qint16 station, const QString& codeCategorie, qint32& couleur, bool* absente)
{
    if (memoireCategorie_ && memoireCategorie_->station == station &&
        memoireCategorie_->code == codeCategorie) {
        couleur = memoireCategorie_->couleur;
        if (absente)
            *absente = memoireCategorie_->absente;
        return memoireCategorie_->libelle;
    }
    QString libelle = QStringLiteral("Catégorie: ") + Record::readableText(codeCategorie);
    couleur = 0;
    bool introuvable = false;
    const QString appelant = QStringLiteral("Lib_Data_Pervasive:LibCategorie");
    trap(trace_, appelant, [&] {
        QString cle = QString(QStringLiteral("CATEG") + codeCategorie).leftJustified(kLongueurCleCategorie);
        const qint16 statut =
            BTRieve(identity_.BaseCourante, OpEgal, cle, 0, kFichierCategories, station, appelant);
        introuvable = statut == kCleIntrouvable;
        if (statut != 0)
            return;
        const Record& r = enregistrement(kFichierCategories);
        const QString lu = vbTrim(r.displayText(u"Libelle"));
        if (!lu.isEmpty())
            libelle = lu;
        couleur = versEntier32(vbVal(r.text(u"Couleur")));
    });
    memoireCategorie_ = MemoireCategorie{station, codeCategorie, libelle, couleur, introuvable};
    if (absente)
        *absente = introuvable;
    return libelle;
}

} // namespace nvx
