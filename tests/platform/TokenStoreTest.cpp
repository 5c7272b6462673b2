#include "platform/TokenStore.h"

#include "PlatformFixture.h"
#include "platform/PlatformValues.h"

#include <QFile>
#include <QSet>

using namespace nvx;
using namespace nvx::test;

TEST(TokenScrambling, EveryDrawAndEveryLengthComesBack)
{
    const QString alphabet = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789-ABCDEF");
    for (const double r : {0.0, 0.25, 0.5, 0.999999, 0.0000001}) {
        for (qsizetype n = 0; n <= 40; ++n) {
            const QString token = alphabet.left(n);
            const QString stored = EncodeTokenId(token, r);
            EXPECT_EQ(UDPDataArrival_04_01_Authentification_02_Decode_TokenId(stored), token)
                << "r=" << r << " n=" << n;
        }
    }
}

TEST(TokenScrambling, FiveDigitsInFrontAndTheEleventhAndTwentySecondExchanged)
{
    const QString token = QStringLiteral("0123456789abcdefghijklmnop");
    const QString stored = EncodeTokenId(token, 0.0);
    ASSERT_EQ(stored.size(), token.size() + 5);
    // The draw 0 gives the smallest number, 9999.
    EXPECT_EQ(stored.left(5), u"09999");
    EXPECT_EQ(stored.at(10), token.at(16));
    EXPECT_EQ(stored.at(21), token.at(5));
    EXPECT_EQ(stored.mid(5, 5), token.left(5));

    QSet<QString> saves;
    for (int i = 0; i < 6; ++i)
        saves.insert(UDPDataArrival_04_01_Authentification_01_Encode_TokenId(token));
    EXPECT_GT(saves.size(), 1) << "the same token is stored differently from one save to the next";
}

TEST(TokenDates, PlatformAndStoreFormatsAreRead)
{
    const QDateTime nine(QDate(2020, 2, 20), QTime(9, 0));
    EXPECT_EQ(LireDate(QStringLiteral("2020-02-20T09:00:00")), nine);
    EXPECT_EQ(LireDate(QStringLiteral("2020-02-20 09:00:00")), nine);
    EXPECT_EQ(LireDate(QStringLiteral("20/02/2020 09:00:00")), nine);
    EXPECT_EQ(LireDate(TexteDateStockee(nine)), nine);
    EXPECT_EQ(LireDate(QStringLiteral("2020-02-20T08:00:00Z")),
              QDateTime(QDate(2020, 2, 20), QTime(8, 0), Qt::UTC));
    EXPECT_FALSE(LireDate(QStringLiteral("31/02/2020 09:00:00")).isValid());
    EXPECT_FALSE(LireDate(QStringLiteral("demain")).isValid());
}

struct TokenStore : PlatformOwners, ::testing::Test {
    TokenStore() { v.PbSCleRegistreToken = kCleRegistreTokenBase + QStringLiteral("\\cle-1"); }
    PlatformValues v;
};

TEST_F(TokenStore, SavedValuesLoadBackAndTheFileIsPrivate)
{
    v.TokenId = QStringLiteral("tok-0123456789-abcdefghij");
    v.TokenDateCreation = QDateTime(QDate(2020, 2, 20), QTime(9, 0));
    v.TokenDateExpiration = QDateTime(QDate(2020, 2, 21), QTime(9, 0, 30));
    v.UserDescription = QStringLiteral("Radio Été & Co");
    ASSERT_TRUE(UDPDataArrival_04_01_Authentification_03_BaseRegistre_Save(systeme, v));

    QString raw;
    ASSERT_EQ(systeme.Reg_GetValue(Systeme::HKEY_LOCAL_MACHINE, v.PbSCleRegistreToken,
                                   QStringLiteral("TokenId"), raw),
              0);
    EXPECT_NE(raw.mid(5), v.TokenId) << "the token is not stored in clear";

    PlatformValues loaded;
    loaded.PbSCleRegistreToken = v.PbSCleRegistreToken;
    ASSERT_TRUE(UDPDataArrival_04_01_Authentification_04_BaseRegistre_Load(systeme, loaded));
    EXPECT_EQ(loaded.TokenId, v.TokenId);
    EXPECT_EQ(loaded.TokenDateCreation, v.TokenDateCreation);
    EXPECT_EQ(loaded.TokenDateExpiration, v.TokenDateExpiration);
    EXPECT_EQ(loaded.UserDescription, v.UserDescription);

    const QFile::Permissions p = QFile::permissions(dir.path() + QStringLiteral("/Registre_HKLM.ini"));
    EXPECT_EQ(p & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              QFile::Permissions());
}

TEST_F(TokenStore, BlankTokenEmptiesAndBadDatesKeepThePreviousValues)
{
    const quint32 hklm = Systeme::HKEY_LOCAL_MACHINE;
    const QString& key = v.PbSCleRegistreToken;
    systeme.Reg_SetValue(hklm, key, QStringLiteral("TokenId"), QStringLiteral("   "));
    v.TokenId = QStringLiteral("ancien");
    EXPECT_FALSE(UDPDataArrival_04_01_Authentification_04_BaseRegistre_Load(systeme, v));
    EXPECT_TRUE(v.TokenId.isEmpty());

    systeme.Reg_SetValue(hklm, key, QStringLiteral("TokenId"),
                         EncodeTokenId(QStringLiteral("jeton-de-test-assez-long"), 0.3));
    systeme.Reg_SetValue(hklm, key, QStringLiteral("TokenDateExpiration"), QStringLiteral("jamais"));
    const QDateTime before(QDate(2019, 1, 1), QTime(1, 2, 3));
    v.TokenDateExpiration = before;
    EXPECT_TRUE(UDPDataArrival_04_01_Authentification_04_BaseRegistre_Load(systeme, v));
    EXPECT_EQ(v.TokenId, u"jeton-de-test-assez-long");
    EXPECT_EQ(v.TokenDateExpiration, before);
}
