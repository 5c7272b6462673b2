#include "platform/TokenStore.h"

#include "PlatformFixture.h"
#include "platform/PlatformValues.h"

#include <QFile>
#include <QSet>

using namespace nvx;
using namespace nvx::test;

TEST(TokenScrambling, EveryDrawAndLengthComesBackAndSavesDiffer)
{
    const QString alphabet = QStringLiteral("0123456789abcdefghijklmnopqrstuvwxyz-ABCDEF");
    for (const double r : {0.0, 0.25, 0.5, 0.999999})
        for (qsizetype n = 0; n <= alphabet.size(); ++n)
            EXPECT_EQ(
                UDPDataArrival_04_01_Authentification_02_Decode_TokenId(EncodeTokenId(alphabet.left(n), r)),
                alphabet.left(n));

    const QString token = alphabet.left(26);
    const QString stored = EncodeTokenId(token, 0.0);
    EXPECT_EQ(stored.left(5), u"09999"); // the smallest draw
    EXPECT_EQ(stored.at(10), token.at(16));
    EXPECT_EQ(stored.at(21), token.at(5));

    QSet<QString> saves;
    for (int i = 0; i < 6; ++i)
        saves.insert(UDPDataArrival_04_01_Authentification_01_Encode_TokenId(token));
    EXPECT_GT(saves.size(), 1);
}

struct TokenStore : PlatformOwners, ::testing::Test {
    TokenStore() { v.PbSCleRegistreToken = kCleRegistreTokenBase + QStringLiteral("\\cle-1"); }
    PlatformValues v;
};

TEST_F(TokenStore, SavedValuesComeBackFromAPrivateFile)
{
    v.TokenId = QStringLiteral("tok-0123456789-abcdefghij");
    v.TokenDateCreation = QDateTime(QDate(2020, 2, 20), QTime(9, 0));
    v.TokenDateExpiration = QDateTime(QDate(2020, 2, 21), QTime(9, 0, 30));
    v.UserDescription = QStringLiteral("Radio Été & Co");
    ASSERT_TRUE(UDPDataArrival_04_01_Authentification_03_BaseRegistre_Save(systeme, v));

    PlatformValues loaded;
    loaded.PbSCleRegistreToken = v.PbSCleRegistreToken;
    ASSERT_TRUE(UDPDataArrival_04_01_Authentification_04_BaseRegistre_Load(systeme, loaded));
    EXPECT_EQ(loaded.TokenId, v.TokenId);
    EXPECT_EQ(loaded.TokenDateCreation, v.TokenDateCreation);
    EXPECT_EQ(loaded.TokenDateExpiration, v.TokenDateExpiration);
    EXPECT_EQ(loaded.UserDescription, v.UserDescription);

    QFile file(dir.path() + QStringLiteral("/Registre_HKLM.ini"));
    EXPECT_EQ(file.permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("tok-0123456789")) << "the token is not stored in clear";

    // The operator looks for the token where the README says it is.
    QFile readme(QStringLiteral(NVX_SOURCE_DIR "/README.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll()).simplified();
    const qsizetype at = text.indexOf(QStringLiteral("The token is kept between runs"));
    ASSERT_GE(at, 0);
    EXPECT_EQ(text.mid(at, 120).section(u'`', 1, 1), QStringLiteral("Settings/Registre_HKLM.ini"));
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("Registre_*")}, QDir::Files),
              QStringList{QStringLiteral("Registre_HKLM.ini")});
}

TEST_F(TokenStore, ABlankTokenEmptiesAndBadDatesKeepThePreviousValues)
{
    const quint32 hklm = Systeme::HKEY_LOCAL_MACHINE;
    systeme.Reg_SetValue(hklm, v.PbSCleRegistreToken, QStringLiteral("TokenId"), QStringLiteral("   "));
    v.TokenId = QStringLiteral("ancien");
    EXPECT_FALSE(UDPDataArrival_04_01_Authentification_04_BaseRegistre_Load(systeme, v));
    EXPECT_TRUE(v.TokenId.isEmpty());

    systeme.Reg_SetValue(hklm, v.PbSCleRegistreToken, QStringLiteral("TokenId"),
                         EncodeTokenId(QStringLiteral("jeton-de-test-assez-long"), 0.3));
    systeme.Reg_SetValue(hklm, v.PbSCleRegistreToken, QStringLiteral("TokenDateExpiration"),
                         QStringLiteral("jamais"));
    const QDateTime before(QDate(2019, 1, 1), QTime(1, 2, 3));
    v.TokenDateExpiration = before;
    EXPECT_TRUE(UDPDataArrival_04_01_Authentification_04_BaseRegistre_Load(systeme, v));
    EXPECT_EQ(v.TokenId, u"jeton-de-test-assez-long");
    EXPECT_EQ(v.TokenDateExpiration, before);
}
