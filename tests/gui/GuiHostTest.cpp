#include "gui/GuiHost.h"

#include "common/NativePath.h"
#include "gui/DialogMapping.h"
#include "gui/FrmMsg.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace nvx {
namespace {

using Answer = Host::Answer;
using Buttons = Host::Buttons;
using Icon = Host::Icon;

// What the runner saw of the last message box.
struct SeenBox {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QString title, text;
};

// A runner that records the box and clicks the given button (none: closes it unanswered).
GuiHost::DialogRunner clickOn(SeenBox& seen, QMessageBox::StandardButton toClick)
{
    return [&seen, toClick](QDialog& dialog) {
        auto& box = dynamic_cast<QMessageBox&>(dialog);
        seen.icon = box.icon();
        seen.buttons = box.standardButtons();
        QPushButton* preferred = box.defaultButton();
        seen.defaultButton = preferred ? box.standardButton(preferred) : QMessageBox::NoButton;
        seen.title = box.windowTitle();
        seen.text = box.text();
        if (toClick == QMessageBox::NoButton) {
            box.reject();
            return 0;
        }
        box.button(toClick)->click();
        return static_cast<int>(toClick);
    };
}

TEST(GuiHostMessageBox, ShowsIconButtonsTitleTextAndDefault)
{
    struct Case {
        Icon icon;
        Buttons buttons;
        Answer preferred;
        QMessageBox::Icon expectedIcon;
        QMessageBox::StandardButtons expectedButtons;
        QMessageBox::StandardButton expectedDefault;
    };
    const Case cases[] = {
        {Icon::None, Buttons::Ok, Answer::Ok, QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok},
        {Icon::Critical, Buttons::OkCancel, Answer::Cancel, QMessageBox::Critical,
         QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel},
        {Icon::Question, Buttons::YesNo, Answer::No, QMessageBox::Question,
         QMessageBox::Yes | QMessageBox::No, QMessageBox::No},
        {Icon::Exclamation, Buttons::AbortRetryIgnore, Answer::Retry, QMessageBox::Warning,
         QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore, QMessageBox::Retry},
        {Icon::Information, Buttons::YesNoCancel, Answer::Yes, QMessageBox::Information,
         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes},
        {Icon::Exclamation, Buttons::RetryCancel, Answer::Retry, QMessageBox::Warning,
         QMessageBox::Retry | QMessageBox::Cancel, QMessageBox::Retry},
    };
    for (const Case& c : cases) {
        GuiHost host;
        SeenBox seen;
        host.setDialogRunner(clickOn(seen, c.expectedDefault));
        const Answer answer = host.messageBox(c.icon, c.buttons, QStringLiteral("Titre"),
                                              QStringLiteral("Texte du message"), c.preferred);
        SCOPED_TRACE(static_cast<int>(c.buttons));
        EXPECT_EQ(seen.icon, c.expectedIcon);
        EXPECT_EQ(seen.buttons, c.expectedButtons);
        EXPECT_EQ(seen.defaultButton, c.expectedDefault);
        EXPECT_EQ(seen.title, QStringLiteral("Titre"));
        EXPECT_EQ(seen.text, QStringLiteral("Texte du message"));
        EXPECT_EQ(answer, c.preferred);
    }
}

TEST(GuiHostMessageBox, ReturnsTheButtonClicked)
{
    GuiHost host;
    SeenBox seen;
    host.setDialogRunner(clickOn(seen, QMessageBox::No));
    EXPECT_EQ(host.messageBox(Icon::Question, Buttons::YesNo, {}, QStringLiteral("Continuer ?"), Answer::Yes),
              Answer::No);
    host.setDialogRunner(clickOn(seen, QMessageBox::Ignore));
    EXPECT_EQ(host.messageBox(Icon::Critical, Buttons::AbortRetryIgnore, {},
                              QStringLiteral("Fichier absent.\r\n\r\nRéessayer ?"), Answer::Abort),
              Answer::Ignore);
    EXPECT_EQ(seen.text, QStringLiteral("Fichier absent.\n\nRéessayer ?"));
}

// Clicks a button of the modal box as soon as it shows, as a person would; gives up after a
// bounded number of looks so that a box that never comes cannot keep the loop busy.
void clickWhenShown(QMessageBox::StandardButton toClick, QString& seenText, int looksLeft = 1000)
{
    QTimer::singleShot(0, [toClick, &seenText, looksLeft] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            if (looksLeft > 0)
                clickWhenShown(toClick, seenText, looksLeft - 1);
            return;
        }
        seenText = box->text();
        box->button(toClick)->click();
    });
}

TEST(GuiHostMessageBox, RunsAModalBoxUntilAButtonIsClicked)
{
    GuiHost host;
    QString seenText;
    clickWhenShown(QMessageBox::No, seenText);
    EXPECT_EQ(host.messageBox(Icon::Question, Buttons::YesNoCancel, QStringLiteral("Quitter"),
                              QStringLiteral("Voulez-vous quitter ?"), Answer::Yes),
              Answer::No);
    EXPECT_EQ(seenText, QStringLiteral("Voulez-vous quitter ?"));
}

TEST(GuiHostMessageBox, ClosedWithoutAnswerCancelsWhereItCan)
{
    GuiHost host;
    SeenBox seen;
    host.setDialogRunner(clickOn(seen, QMessageBox::NoButton));
    EXPECT_EQ(host.messageBox(Icon::None, Buttons::YesNoCancel, {}, {}, Answer::Yes), Answer::Cancel);
    EXPECT_EQ(host.messageBox(Icon::None, Buttons::Ok, {}, {}, Answer::Ok), Answer::Ok);
    EXPECT_EQ(host.messageBox(Icon::None, Buttons::YesNo, {}, {}, Answer::No), Answer::No);
}

TEST(GuiHostPickers, SelectItemGivesTheRowChosenOrMinusOne)
{
    GuiHost host;
    const QStringList bases{QStringLiteral("Radio A"), QStringLiteral("Radio B"), QStringLiteral("Radio C")};
    int shownRow = -2;
    host.setDialogRunner([&](QDialog& dialog) {
        auto* list = dialog.findChild<QListWidget*>();
        shownRow = list->currentRow();
        list->setCurrentRow(2);
        dialog.accept();
        return static_cast<int>(QDialog::Accepted);
    });
    EXPECT_EQ(host.selectItem(QStringLiteral("Choix de la base"), bases, 1), 2);
    EXPECT_EQ(shownRow, 1);

    host.setDialogRunner([](QDialog& dialog) {
        dialog.reject();
        return static_cast<int>(QDialog::Rejected);
    });
    EXPECT_EQ(host.selectItem(QStringLiteral("Choix de la base"), bases, 1), -1);
}

TEST(GuiHostPickers, SelectFolderSpeaksTheSuiteForm)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    setDriveRoot(root.path());
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("c/VL_Data/Logs")));
    GuiHost host;
    QString shownFolder;
    host.setDialogRunner([&](QDialog& dialog) {
        auto& picker = dynamic_cast<QFileDialog&>(dialog);
        shownFolder = picker.directory().absolutePath();
        picker.selectFile(root.path() + QStringLiteral("/c/VL_Data/Logs"));
        dialog.accept();
        return picker.result();
    });
    const QString chosen = host.selectFolder(QStringLiteral("Dossier"), QStringLiteral("C:\\VL_Data\\"));
    EXPECT_EQ(shownFolder, QDir(root.path()).absoluteFilePath(QStringLiteral("c/VL_Data")));
    EXPECT_EQ(chosen, QStringLiteral("C:\\VL_Data\\Logs"));

    host.setDialogRunner([](QDialog& dialog) {
        dialog.reject();
        return static_cast<int>(QDialog::Rejected);
    });
    EXPECT_TRUE(host.selectFolder(QStringLiteral("Dossier"), QStringLiteral("C:\\VL_Data\\")).isEmpty());
    setDriveRoot({});
}

TEST(GuiHostSplash, OpensOnFirstTextFollowsTheTextAndCloses)
{
    GuiHost host;
    EXPECT_EQ(host.splash(), nullptr);
    host.setSplashText(QStringLiteral("Chargement de la configuration"));
    ASSERT_NE(host.splash(), nullptr);
    const FrmMsg* first = host.splash();
    EXPECT_TRUE(first->isVisible());
    host.setSplashText(QStringLiteral("Ouverture des fichiers"));
    EXPECT_EQ(host.splash(), first);
    EXPECT_EQ(host.splash()->text(), QStringLiteral("Ouverture des fichiers"));
    host.closeSplash();
    EXPECT_EQ(host.splash(), nullptr);
}

TEST(DialogMapping, FiltersBecomeNameFilters)
{
    EXPECT_EQ(nameFilters(QStringLiteral("Logs|*.log")), QStringList{QStringLiteral("Logs (*.log)")});
    EXPECT_EQ(nameFilters(QStringLiteral("Textes|*.txt;*.log|Tous|*.*")),
              (QStringList{QStringLiteral("Textes (*.txt *.log)"), QStringLiteral("Tous (*.*)")}));
    EXPECT_EQ(nameFilters({}), QStringList{QStringLiteral("*")});
}

} // namespace
} // namespace nvx
