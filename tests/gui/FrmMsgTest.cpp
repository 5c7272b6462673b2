#include "gui/FrmMsg.h"

#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

namespace nvx {
namespace {

TEST(FrmMsg, SitsCentredAtTheTopOfTheScreenAboveOtherWindows)
{
    FrmMsg splash;
    splash.setText(QStringLiteral("Démarrage en cours..."));
    splash.show();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect frame = splash.frameGeometry();
    EXPECT_EQ(frame.top(), area.top());
    EXPECT_LE(qAbs(frame.center().x() - area.center().x()), 1);
    EXPECT_TRUE(splash.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(splash.text(), QStringLiteral("Démarrage en cours..."));
}

TEST(FrmMsg, CornersAreRoundedByTheMask)
{
    FrmMsg splash;
    splash.show();
    const QRegion mask = splash.mask();
    const int w = splash.width();
    const int h = splash.height();
    // The very corners are cut, the points just inside the corner ellipses are kept.
    for (const QPoint corner : {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)})
        EXPECT_FALSE(mask.contains(corner)) << corner.x() << "," << corner.y();
    for (const QPoint inside : {QPoint(5, 5), QPoint(w - 6, 5), QPoint(5, h - 6), QPoint(w - 6, h - 6)})
        EXPECT_TRUE(mask.contains(inside)) << inside.x() << "," << inside.y();
    EXPECT_TRUE(mask.contains(QPoint(w / 2, 0)));
    EXPECT_TRUE(mask.contains(QPoint(0, h / 2)));
}

TEST(FrmMsg, RoundedRegionOfSmallCornersKeepsTheEdges)
{
    const QRegion region = FrmMsg::roundedRegion(QSize(100, 40), QSize(24, 24));
    EXPECT_EQ(region.boundingRect(), QRect(0, 0, 100, 40));
    EXPECT_FALSE(region.contains(QPoint(1, 1)));
    EXPECT_TRUE(region.contains(QPoint(12, 0)));
    EXPECT_TRUE(region.contains(QPoint(99, 12)));
}

} // namespace
} // namespace nvx
