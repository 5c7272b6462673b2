#include "app/IncidentDisplay.h"
#include "app/Standby.h"
#include "support/Owners.h"

#include <gtest/gtest.h>

using namespace nvx;
using namespace nvx::test;

namespace {

struct IncidentDisplayTest : ::testing::Test {
    IncidentDisplayTest()
    {
        display.setBaseCaption(QStringLiteral("Velmora: Tools NVX - 1.0 - {R}"));
        QObject::connect(&display, &IncidentDisplay::flashRequested, [this](bool on) { flashes << on; });
    }
    void incident(const QString& line)
    {
        owners.trace.trace(line, true);
        display.CheckIncidents_Click();
    }

    TraceOwners owners;
    IncidentDisplay display{owners.host, owners.trace, owners.lifecycle};
    QList<bool> flashes;
};

TEST_F(IncidentDisplayTest, IncidentsShowTheTabMarkTheCaptionAndFlashUntilLookedAt)
{
    display.windowShown();
    incident(QStringLiteral("Err: one"));
    incident(QStringLiteral("Err: two"));
    EXPECT_TRUE(display.incidentsTabVisible());
    EXPECT_TRUE(display.flashing());
    EXPECT_EQ(display.caption(), QStringLiteral("Err: Velmora: Tools NVX - 1.0 - {R}"));
    display.TimerFlash_Timer();
    display.TimerFlash_Timer();
    EXPECT_EQ(flashes, (QList<bool>{true, false}));

    // "Upload" does not stop the flashing; "Incidents" does, and keeps the tab and the lines.
    display.SftTabsMain_Switched(IncidentDisplay::Upload);
    EXPECT_TRUE(display.flashing());
    display.SftTabsMain_Switched(IncidentDisplay::Incidents);
    EXPECT_FALSE(display.flashing());
    EXPECT_EQ(display.caption(), QStringLiteral("Velmora: Tools NVX - 1.0 - {R}"));
    EXPECT_TRUE(display.incidentsTabVisible());
    EXPECT_EQ(owners.trace.ListeIncidents.size(), 2);
    display.TimerFlash_Timer();
    EXPECT_EQ(flashes.size(), 2) << "no flash once looked at";
}

TEST_F(IncidentDisplayTest, PurgeAsksAndOnlyYesEmptiesHidesAndGoesBackToTheFirstTab)
{
    display.windowShown();
    incident(QStringLiteral("Err: one"));
    display.SftTabsMain_Switched(IncidentDisplay::Download);
    owners.host.answers = {Host::Answer::No};
    display.CommandIncidentsPurge_Click();
    ASSERT_EQ(owners.host.boxes.size(), 1);
    EXPECT_EQ(owners.host.boxes[0].text, QStringLiteral("Voulez-vous purger la liste des incidents ?"));
    EXPECT_EQ(owners.host.boxes[0].buttons, Host::Buttons::YesNo);
    EXPECT_TRUE(display.incidentsTabVisible());
    EXPECT_TRUE(display.flashing());
    EXPECT_EQ(owners.trace.ListeIncidents.size(), 1);

    owners.host.answers = {Host::Answer::Yes};
    display.CommandIncidentsPurge_Click();
    EXPECT_FALSE(display.incidentsTabVisible());
    EXPECT_FALSE(display.flashing());
    EXPECT_EQ(display.currentTab(), IncidentDisplay::Upload);
    EXPECT_TRUE(owners.trace.ListeIncidents.isEmpty());
    EXPECT_FALSE(display.caption().startsWith(QStringLiteral("Err: ")));
}

TEST_F(IncidentDisplayTest, AnIncidentBeforeTheWindowIsShownAppearsWithIt)
{
    incident(QStringLiteral("Err: early"));
    EXPECT_FALSE(display.incidentsTabVisible());
    EXPECT_TRUE(display.CheckIncidentsFeuilleNonChargee);
    display.windowShown();
    EXPECT_TRUE(display.incidentsTabVisible());
    EXPECT_TRUE(display.flashing());
    EXPECT_FALSE(display.CheckIncidentsFeuilleNonChargee);
}

// A desktop of three windows (0 the main one) that records what is asked of it.
struct FakeDesktop final : StandbyDesktop {
    QList<int> visibleWindows() const override { return visible; }
    void hideWindow(int w) override { visible.removeOne(w); }
    void minimiseWindow(int w) override { minimised << w; }
    void showWindow(int w) override
    {
        visible << w;
        focused = w;
        shown << w;
    }
    bool trayAvailable() const override { return tray; }
    void showIcon(const QString& tip) override { icons << tip; }
    void showIncidentIcon(const QString& line) override { incidents << line; }
    void removeIcon() override { ++removed; }

    QList<int> visible{0, 2};
    QList<int> minimised, shown;
    int focused = -1;
    bool tray = true;
    QStringList icons, incidents;
    int removed = 0;
};

TEST(Standby, HidesTheVisibleWindowsOnceAndShowsThemBackMainFirst)
{
    FakeDesktop desktop;
    Standby standby(desktop);
    standby.MiseEnVeille(true, QStringLiteral("Velmora: NVX"));
    // A second standby in a row installs no second icon and forgets no hidden window.
    standby.MiseEnVeille(true, QStringLiteral("Velmora: NVX"));
    EXPECT_EQ(desktop.icons, QStringList{QStringLiteral("Velmora: NVX")});
    EXPECT_TRUE(desktop.visible.isEmpty());
    EXPECT_EQ(standby.ListeFrm(), (QList<int>{0, 2}));
    EXPECT_TRUE(standby.EnVeille());

    standby.incidentRaised(QStringLiteral("Err: x"));
    EXPECT_EQ(desktop.incidents, QStringList{QStringLiteral("Err: x")});
    EXPECT_TRUE(desktop.visible.isEmpty()) << "the windows wait for Afficher";

    standby.AfficherFeuille();
    EXPECT_EQ(desktop.shown, (QList<int>{0, 2}));
    EXPECT_EQ(desktop.removed, 1);
    EXPECT_FALSE(standby.EnVeille());
    EXPECT_TRUE(standby.ListeFrm().isEmpty());
    standby.incidentRaised(QStringLiteral("Err: y"));
    EXPECT_EQ(desktop.incidents.size(), 1) << "no icon outside standby";
}

TEST(Standby, WithoutANotificationAreaTheWindowsAreOnlyMinimised)
{
    FakeDesktop desktop;
    desktop.tray = false;
    Standby standby(desktop);
    standby.MiseEnVeille(true, QStringLiteral("Velmora: NVX"));
    EXPECT_EQ(desktop.minimised, (QList<int>{0, 2}));
    EXPECT_EQ(desktop.visible, (QList<int>{0, 2}));
    EXPECT_TRUE(desktop.icons.isEmpty());
    EXPECT_FALSE(standby.EnVeille());
}

} // namespace
