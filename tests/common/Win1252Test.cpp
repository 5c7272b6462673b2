#include "common/Win1252.h"

#include <gtest/gtest.h>

using namespace nvx;

TEST(Win1252, EveryByteSurvivesARoundTrip)
{
    QByteArray all(256, Qt::Uninitialized);
    for (int i = 0; i < 256; ++i)
        all[i] = char(i);
    const QString text = fromWindows1252(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(toWindows1252(text), all);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(windows1252Code(text[i]), i) << i;
}

TEST(Win1252, EuroAndUnmappableCharacters)
{
    EXPECT_EQ(fromWindows1252(QByteArray("\x80", 1)), QString(QChar(0x20AC)));
    EXPECT_EQ(toWindows1252(QString(QChar(0x20AC))), QByteArray("\x80", 1));
    EXPECT_EQ(fromWindows1252(QByteArray("\xE9", 1)), QString(QChar(0xE9)));
    EXPECT_EQ(toWindows1252(QString(QChar(0x4E2D))), QByteArray("?"));
    EXPECT_EQ(windows1252Code(QChar(0x0153)), 0x9C);
}
