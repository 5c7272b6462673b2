#include "gui/FrmAbout.h"

#include "app/SystemDescription.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

namespace nvx {
namespace {

SystemFacts sampleFacts()
{
    SystemFacts facts;
    facts.os = QStringLiteral("Debian GNU/Linux 12 (bookworm) 6.1.0 x86_64");
    facts.kernelType = QStringLiteral("linux");
    facts.kernelVersion = QStringLiteral("6.1.0-18-amd64");
    facts.memoryUsedBytes = 42LL * 1024 * 1024 + 300 * 1024;
    facts.qtVersion = QStringLiteral("6.4.2");
    facts.curlVersion = QStringLiteral("libcurl/7.88.1 OpenSSL/3.0.11");
    return facts;
}

TEST(SystemDescription, NamesEachFactOnItsLine)
{
    const QStringList lines = systemDescription(sampleFacts()).split(u'\n');
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("Debian GNU/Linux 12 (bookworm) 6.1.0 x86_64")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("linux 6.1.0-18-amd64")));
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral(" 42 Mo"))) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].endsWith(QStringLiteral("6.4.2")));
    EXPECT_TRUE(lines[4].endsWith(QStringLiteral("libcurl/7.88.1 OpenSSL/3.0.11")));
}

TEST(SystemDescription, WithoutTheSystemsNameSaysItIsNotAvailable)
{
    SystemFacts facts = sampleFacts();
    facts.os = QStringLiteral("  ");
    EXPECT_EQ(systemDescription(facts),
              QStringLiteral("Les informations système ne sont pas disponibles actuellement"));
}

QString labelText(const QWidget& window, const char* name)
{
    const auto* label = window.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QString();
}

TEST(FrmAbout, ShowsVersionNoticeAndTheSystemOnRequest)
{
    int asked = 0;
    FrmAbout about(QStringLiteral("2024.1231.1510"), 2031, [&] {
        ++asked;
        return systemDescription(sampleFacts());
    });
    about.show();
    EXPECT_FALSE(about.isModal());
    EXPECT_EQ(about.windowTitle(), QStringLiteral("A propos de Velmora: Tools NVX"));
    EXPECT_EQ(labelText(about, "versionLabel"), QStringLiteral("Version 2024.1231.1510"));
    EXPECT_EQ(labelText(about, "noticeLabel"), QStringLiteral("© Velmora 2031. Tous droits réservés."));
    EXPECT_EQ(about.systemInfoBox(), nullptr);

    about.findChild<QPushButton*>(QStringLiteral("systemInfoButton"))->click();
    EXPECT_EQ(asked, 1);
    ASSERT_NE(about.systemInfoBox(), nullptr);
    EXPECT_TRUE(about.systemInfoBox()->isVisible());
    EXPECT_EQ(about.systemInfoBox()->text(), systemDescription(sampleFacts()));

    about.findChild<QPushButton*>(QStringLiteral("okButton"))->click();
    EXPECT_FALSE(about.isVisible());
}

TEST(FrmAbout, EmptyDescriptionSaysItIsNotAvailable)
{
    FrmAbout about(QStringLiteral("1.0.0"), 2030, [] { return QString(); });
    about.showSystemInfo();
    ASSERT_NE(about.systemInfoBox(), nullptr);
    EXPECT_EQ(about.systemInfoBox()->text(),
              QStringLiteral("Les informations système ne sont pas disponibles actuellement"));
}

} // namespace
} // namespace nvx
