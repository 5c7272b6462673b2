#include "config/SettingsValidation.h"

#include <gtest/gtest.h>

using namespace nvx;
using namespace Qt::StringLiterals;

namespace {

TEST(SettingsValidation, AddressesAndPorts)
{
    for (const QString& bonne : {u"127.0.0.1"_s, u"192.168.1.254"_s, u"ftp.radio-nord.fr"_s, u"studio2"_s})
        EXPECT_TRUE(adresseValide(bonne)) << bonne.toStdString();
    for (const QString& mauvaise : {u"256.1.1.1"_s, u"1.2.3"_s, u"-radio.fr"_s, u"radio..fr"_s, u"a b"_s,
                                    u"http://x"_s, u"1.2.3.4.5"_s})
        EXPECT_FALSE(adresseValide(mauvaise)) << mauvaise.toStdString();
    for (const QString& bon : {u"1"_s, u"21"_s, u"65535"_s})
        EXPECT_TRUE(portValide(bon)) << bon.toStdString();
    for (const QString& mauvais : {u"0"_s, u"65536"_s, u"-1"_s, u"+21"_s, u"21a"_s, u""_s})
        EXPECT_FALSE(portValide(mauvais)) << mauvais.toStdString();
    for (const QString& bon : {u"10.0.0.5"_s, u"192.168.1.0/24"_s, u"0.0.0.0/0"_s})
        EXPECT_TRUE(expediteurValide(bon)) << bon.toStdString();
    for (const QString& mauvais : {u"10.0.0.0/33"_s, u"10.0.0/8"_s, u"studio2"_s, u"10.0.0.1/"_s, u"::1"_s})
        EXPECT_FALSE(expediteurValide(mauvais)) << mauvais.toStdString();
}

TEST(SettingsValidation, EachBadValueIsNamedWithItsGroupAndBlankUnusedRowsPass)
{
    SettingsValues v;
    EXPECT_TRUE(settingsErrors(v).isEmpty()) << "a blank configuration is a valid one";

    v.Plateforme.URL = u"ftp://plateforme"_s;
    v.Reception[2] = {u"127.0.0.1"_s, u"70000"_s, false, u"10.0.0.1; 10.1.0.0/16"_s};
    v.Reception[3].Expediteurs = u"10.0.0.1;regie"_s;
    v.Emission[0] = {u""_s, u""_s, u""_s, true, {}};
    v.ServeursFtp[4].Serveur = u"ftp.radio.fr"_s;
    v.ServeursFtp[4].NoPort = u"0"_s;
    v.ServeursFtp[5].NoPort = u"garbage"_s; // no server: the row is unused
    const QList<FieldError> errors = settingsErrors(v);
    QStringList fields;
    for (const FieldError& e : errors)
        fields << e.field;
    EXPECT_EQ(fields, (QStringList{u"Plateforme.URL"_s, u"Reception[2].Port"_s, u"Reception[3].Expediteurs"_s,
                                   u"Emission[0].IP"_s, u"Emission[0].Port1"_s, u"ServeursFtp[4].NoPort"_s}));
    EXPECT_EQ(errors[0].group, FieldError::Group::General);
    EXPECT_EQ(errors[1].group, FieldError::Group::Network);
    EXPECT_EQ(errors[5].group, FieldError::Group::Ftp);
    EXPECT_TRUE(errors[1].message.startsWith(u"Port invalide"_s));

    v = SettingsValues{};
    v.Plateforme.URL = u"https://vt.example:8443"_s;
    EXPECT_TRUE(settingsErrors(v).isEmpty());
}

} // namespace
