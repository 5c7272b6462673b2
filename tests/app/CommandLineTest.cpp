#include "app/CommandLine.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace nvx;

TEST(CommandLine, InstanceSwitchIsFoundAnywhereAndKeptWithinRange)
{
    EXPECT_EQ(analyseSwitches(QStringLiteral("   ")).NoInstance, 0);
    EXPECT_FALSE(analyseSwitches(QStringLiteral("   ")).instanceGiven);
    EXPECT_EQ(analyseSwitches(QStringLiteral("x /instance=12abc")).NoInstance, 10);
    EXPECT_EQ(analyseSwitches(QStringLiteral("/I=0")).NoInstance, 1);
    EXPECT_EQ(analyseSwitches(QStringLiteral("/Instance=")).NoInstance, 1);
    EXPECT_EQ(analyseSwitches(QStringLiteral("/Instance=  3 /Wait=1")).NoInstance, 3);
    EXPECT_EQ(analyseSwitches(QStringLiteral("/i=7")).NoInstance, 7);
    EXPECT_EQ(analyseSwitches(QStringLiteral("/Instance=99999999999999999999")).NoInstance, 10);
}

TEST(CommandLine, WaitAddressAndStandby)
{
    const SwitchesLigneDeCommande s =
        analyseSwitches(QStringLiteral("/WAIT=1500 /ip=192.168.1.20x /veille=TRUE"));
    ASSERT_TRUE(s.attente.has_value());
    EXPECT_EQ(*s.attente, 1500u);
    ASSERT_TRUE(s.adresseIP.has_value());
    EXPECT_EQ(*s.adresseIP, QStringLiteral("192.168.1.20"));
    EXPECT_TRUE(s.veille);

    const SwitchesLigneDeCommande none = analyseSwitches(QStringLiteral("/Wait=abc"));
    ASSERT_TRUE(none.attente.has_value());
    EXPECT_EQ(*none.attente, 0u);
    EXPECT_FALSE(none.adresseIP.has_value());
    EXPECT_FALSE(none.veille);
}

TEST(CommandLine, ProgramOptionsAreTakenOffTheLine)
{
    const OptionsProgramme o =
        analyseOptions({QStringLiteral("--headless"), QStringLiteral("/Instance=3"), QStringLiteral("--home"),
                        QStringLiteral("/h"), QStringLiteral("--drive-root"), QStringLiteral("/d"),
                        QStringLiteral("/Veille=True")});
    EXPECT_TRUE(o.headless);
    EXPECT_EQ(o.home, QStringLiteral("/h"));
    EXPECT_EQ(o.driveRoot, QStringLiteral("/d"));
    EXPECT_EQ(o.LigneDeCommande, QStringLiteral("/Instance=3 /Veille=True"));
    EXPECT_TRUE(o.erreur.isEmpty());
    EXPECT_EQ(analyseOptions({QStringLiteral("--home")}).erreur, QStringLiteral("--home needs a value"));
    // A mistyped option is refused rather than taken for one of the suite's switches.
    EXPECT_EQ(analyseOptions({QStringLiteral("--headles"), QStringLiteral("--hme")}).erreur,
              QStringLiteral("unknown option --headles"));
    EXPECT_TRUE(analyseOptions({QStringLiteral("/Foo=1"), QStringLiteral("-x")}).erreur.isEmpty());
    // JSON is a form of the status check only, not something a start could silently ignore.
    EXPECT_EQ(analyseOptions({QStringLiteral("--json")}).erreur, QStringLiteral("--json goes with --status"));
    const OptionsProgramme check = analyseOptions({QStringLiteral("--json"), QStringLiteral("--status")});
    EXPECT_TRUE(check.status && check.json && check.erreur.isEmpty());
}
