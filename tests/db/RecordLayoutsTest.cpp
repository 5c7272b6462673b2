#include "db/RecordLayouts.h"

#include "common/ErrorTrap.h"
#include "db/Catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace nvx;

TEST(RecordLayouts, FieldsCoverEveryByteOnceAndNumbersAreAligned)
{
    Catalogue c;
    c.InitGeneralData();
    ASSERT_EQ(layouts().size(), 6u);
    for (const RecordLayout* l : layouts()) {
        EXPECT_EQ(l->longueur, c.entree(l->fichier).longueurEnregistrement) << l->fichier;
        EXPECT_GE(l->tailleBuffer, l->longueur);
        std::set<std::string> noms;
        int suivant = 0;
        for (const Champ& ch : l->champs) {
            EXPECT_EQ(ch.offset, suivant) << l->fichier << " " << ch.nom;
            suivant = ch.offset + ch.largeur;
            EXPECT_TRUE(noms.insert(ch.nom).second) << l->fichier << " " << ch.nom;
            if (ch.type != TypeChamp::Texte) {
                EXPECT_EQ(ch.offset % ch.largeur, 0) << l->fichier << " " << ch.nom;
            }
        }
        EXPECT_EQ(suivant, l->longueur) << l->fichier;
    }
    EXPECT_EQ(layoutFichier(53)->tailleBuffer, 512);
    EXPECT_EQ(layoutFichier(24), nullptr);
}

TEST(RecordLayouts, FieldsByNameMatchTheStoredBytes)
{
    Record r(*layoutFichier(53));
    ASSERT_EQ(r.bytes().size(), 512);
    EXPECT_EQ(r.bytes().mid(0, 16), QByteArray(16, ' ')) << "a fresh record has blank texts";
    EXPECT_EQ(r.bytes().mid(500), QByteArray(12, '\0'));

    r.setText(u"Date", QStringLiteral("20200508"));
    r.setText(u"Heure", QStringLiteral("07"));
    r.setText(u"Nature", QStringLiteral("Son"));
    r.setText(u"Libelle", QStringLiteral("Café € Œuvre"));
    r.setText(u"Guid", QStringLiteral("0123456789abcdef0123456789abcdef0123-TOO-LONG"));
    r.setInteger(u"ModifFadeOutPosition", 123456);
    r.setInteger(u"AttenuationDebut", -300);
    r.setInteger(u"DureeEcranPub", 180);

    const QByteArray& b = r.bytes();
    EXPECT_EQ(b.mid(0, 10), QByteArray("2020050807"));
    EXPECT_EQ(b.mid(24, 3), QByteArray("Son"));
    EXPECT_EQ(b.mid(98, 13), QByteArray("Caf\xE9 \x80 \x8Cuvre "));
    EXPECT_EQ(b.mid(98 + 12, 116), QByteArray(116, ' '));
    EXPECT_EQ(b.mid(398, 36), QByteArray("0123456789abcdef0123456789abcdef0123"));
    EXPECT_EQ(b.mid(434, 1), QByteArray(" ")) << "a long text stays inside its field";
    EXPECT_EQ(b.mid(244, 4), QByteArray("\x40\xE2\x01\x00", 4));
    EXPECT_EQ(b.mid(260, 2), QByteArray("\xD4\xFE", 2));
    EXPECT_EQ(b.mid(64, 2), QByteArray("\xB4\x00", 2));

    // Read back from the bytes, as after an engine read.
    Record lu(*layoutFichier(53));
    lu.bytes() = b;
    EXPECT_EQ(lu.text(u"Libelle").trimmed(), QStringLiteral("Café € Œuvre"));
    EXPECT_EQ(lu.text(u"Heure"), QStringLiteral("07"));
    EXPECT_EQ(lu.text(u"IdMorceau"), QString(8, u' '));
    EXPECT_EQ(lu.integer(u"ModifFadeOutPosition"), 123456);
    EXPECT_EQ(lu.integer(u"AttenuationDebut"), -300);
    EXPECT_EQ(lu.integer(u"ModifDureeJouee"), 0);

    // Every byte value survives a text field's round trip, and a character the code page
    // lacks is written as "?".
    Record artiste(*layoutFichier(20));
    QByteArray octets(254, '\0');
    for (int i = 0; i < octets.size(); ++i)
        octets[i] = char(i + 1);
    artiste.bytes().replace(46, 254, octets);
    const QString zone = artiste.text(u"Zone046");
    artiste.clear();
    artiste.setText(u"Zone046", zone);
    EXPECT_EQ(artiste.bytes().mid(46), octets);
    artiste.setText(u"Nom", QStringLiteral("Ā"));
    EXPECT_EQ(artiste.bytes().mid(15, 2), QByteArray("? "));
}

TEST(RecordLayouts, UnknownNamesAndOverflowsRaise)
{
    Record r(*layoutFichier(31));
    EXPECT_THROW(r.text(u"Titre"), VbError);
    EXPECT_THROW(r.setText(u"Titre", QStringLiteral("x")), VbError);
    EXPECT_THROW(r.integer(u"Titre"), VbError);

    Record s(*layoutFichier(53));
    s.setInteger(u"AttenuationFin", 7);
    EXPECT_THROW(s.setInteger(u"AttenuationFin", 40000), VbError);
    EXPECT_EQ(s.integer(u"AttenuationFin"), 7) << "an overflow leaves the field as it was";
    EXPECT_THROW(s.setInteger(u"ModifDureeJouee", 1LL << 31), VbError);
    EXPECT_THROW(s.setInteger(u"Nature", 1), VbError) << "a text field takes no number";
}
