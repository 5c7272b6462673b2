#include "gui/LogWindow.h"

#include "gui/LogText.h"
#include "support/Wait.h"

#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>

#include <gtest/gtest.h>

namespace nvx {
namespace {

using test::waitFor;

class LogWindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    QString pathOf(const QDate& day) const { return QDir(folder.path()).filePath(logFileName(day)); }

    void append(const QDate& day, const QByteArray& bytes) const
    {
        QFile file(pathOf(day));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QTemporaryDir folder;
    const QDate today = QDate::currentDate();
};

TEST_F(LogWindowTest, FollowsLinesAsTheyAreWritten)
{
    append(today, "10:00:00 : : :   0:Start\r\n");
    LogWindow window(folder.path());
    window.show();
    EXPECT_EQ(window.text(), QStringLiteral("10:00:00 : : :   0:Start"));

    append(today, "10:00:01 : : : 1000:Base ouverte\r\n10:00:02 : : : 1000:Requ");
    ASSERT_TRUE(waitFor([&] { return window.text().contains(QStringLiteral("Base ouverte")); }));
    // A line still being written is shown once it is complete, in one piece.
    EXPECT_FALSE(window.text().contains(QStringLiteral("Requ")));
    append(today, "ête reçue\r\n");
    ASSERT_TRUE(waitFor([&] { return window.text().contains(QStringLiteral("Requête reçue")); }));
    EXPECT_EQ(window.text().count(u'\n'), 2);
}

TEST_F(LogWindowTest, ShowsAFileThatAppearsAfterOpening)
{
    LogWindow window(folder.path());
    EXPECT_TRUE(window.text().startsWith(QStringLiteral("Aucun journal pour le ")));
    append(today, "en-tête du jour\n");
    ASSERT_TRUE(waitFor([&] { return window.text() == QStringLiteral("en-tête du jour"); }));
}

TEST_F(LogWindowTest, SearchSelectsTheNextMatchIgnoringCase)
{
    append(today, "alpha\nErreur de lecture\nbeta\nerreur d'écriture\n");
    LogWindow window(folder.path());
    auto* view = window.findChild<QPlainTextEdit*>(QStringLiteral("logView"));
    ASSERT_TRUE(window.findNext(QStringLiteral("ERREUR")));
    EXPECT_EQ(view->textCursor().block().text(), QStringLiteral("Erreur de lecture"));
    ASSERT_TRUE(window.findNext(QStringLiteral("erreur")));
    EXPECT_EQ(view->textCursor().block().text(), QStringLiteral("erreur d'écriture"));
    // Past the last match the search starts again from the top.
    ASSERT_TRUE(window.findNext(QStringLiteral("erreur")));
    EXPECT_EQ(view->textCursor().block().text(), QStringLiteral("Erreur de lecture"));
    EXPECT_EQ(view->textCursor().selectedText(), QStringLiteral("Erreur"));
    EXPECT_FALSE(window.findNext(QStringLiteral("introuvable")));
    EXPECT_EQ(view->textCursor().selectedText(), QStringLiteral("Erreur"));
}

TEST_F(LogWindowTest, StepsBetweenDaysAndSaysWhenADayHasNoLog)
{
    const QDate yesterday = today.addDays(-1);
    append(today, "aujourd'hui\n");
    append(yesterday, "hier\n");
    LogWindow window(folder.path());
    window.findChild<QPushButton*>(QStringLiteral("previousDayButton"))->click();
    EXPECT_EQ(window.day(), yesterday);
    EXPECT_EQ(window.text(), QStringLiteral("hier"));
    EXPECT_EQ(window.findChild<QDateEdit*>(QStringLiteral("dayEdit"))->date(), yesterday);

    window.findChild<QPushButton*>(QStringLiteral("previousDayButton"))->click();
    EXPECT_EQ(window.text(), QStringLiteral("Aucun journal pour le ") +
                                 today.addDays(-2).toString(QStringLiteral("dd/MM/yyyy")));

    window.findChild<QDateEdit*>(QStringLiteral("dayEdit"))->setDate(today);
    EXPECT_EQ(window.text(), QStringLiteral("aujourd'hui"));
}

TEST_F(LogWindowTest, OpensTheDaysFileInTheEditor)
{
    append(today, "ligne\n");
    LogWindow window(folder.path());
    QStringList opened;
    window.openExternally = [&](const QString& path) { opened.append(path); };
    window.findChild<QPushButton*>(QStringLiteral("openInEditorButton"))->click();
    EXPECT_EQ(opened, QStringList{pathOf(today)});
    // A day without a file has nothing to open.
    window.showPreviousDay();
    window.openInEditor();
    EXPECT_EQ(opened.size(), 1);
}

TEST(LogText, DecodesUtf8Windows1252AndMarkedFiles)
{
    EXPECT_EQ(decodeLogBytes("d\xC3\xA9j\xC3\xA0\r\n", false), QStringLiteral("déjà\n"));
    EXPECT_EQ(decodeLogBytes("d\xE9j\xE0 \x80\r\n", false), QStringLiteral("déjà €\n"));
    EXPECT_TRUE(startsWithUtf8Bom("\xEF\xBB\xBFtexte"));
    EXPECT_FALSE(startsWithUtf8Bom("texte"));
}

TEST(LogText, TailSkipsTheMarkAndRestartsOnAShorterFile)
{
    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath(QStringLiteral("x.Log"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\xEF\xBB\xBF\xC3\xA9t\xC3\xA9\n");
    file.flush();
    LogFileTail tail(path);
    bool restarted = true;
    EXPECT_EQ(tail.readAppended(&restarted), QStringLiteral("été\n"));
    EXPECT_FALSE(restarted);
    EXPECT_TRUE(tail.readAppended().isEmpty());
    file.resize(0);
    file.seek(0);
    file.write("neuf\n");
    file.flush();
    EXPECT_EQ(tail.readAppended(&restarted), QStringLiteral("neuf\n"));
    EXPECT_TRUE(restarted);
}

} // namespace
} // namespace nvx
