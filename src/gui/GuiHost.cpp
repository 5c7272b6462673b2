#include "gui/GuiHost.h"

#include "common/NativePath.h"
#include "gui/DialogMapping.h"
#include "gui/FrmMsg.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QVBoxLayout>

namespace nvx {

namespace {

// A modal list of items with OK and Cancel; the row chosen is the dialog's current row.
std::unique_ptr<QDialog> makeItemDialog(QWidget* parent, const QString& title, const QStringList& items,
                                        int preselected)
{
    auto dialog = std::make_unique<QDialog>(parent);
    dialog->setWindowTitle(title);
    auto* list = new QListWidget(dialog.get());
    list->setObjectName(QStringLiteral("itemList"));
    list->addItems(items);
    if (preselected >= 0 && preselected < items.size())
        list->setCurrentRow(preselected);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog.get());
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog.get(), &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog.get(), &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, dialog.get(), &QDialog::accept);
    auto* layout = new QVBoxLayout(dialog.get());
    layout->addWidget(list);
    layout->addWidget(buttons);
    return dialog;
}

// The program speaks French whatever the desktop's language, and its questions name the
// buttons ("Oui", "Non"): the captions are the program's own, not the toolkit's translation.
void frenchCaptions(QMessageBox& box)
{
    static const std::pair<QMessageBox::StandardButton, const char*> captions[] = {
        {QMessageBox::Ok, "OK"},
        {QMessageBox::Cancel, "&Annuler"},
        {QMessageBox::Yes, "&Oui"},
        {QMessageBox::No, "&Non"},
        {QMessageBox::Abort, "Abandonner"},
        {QMessageBox::Retry, "&Réessayer"},
        {QMessageBox::Ignore, "&Ignorer"},
    };
    for (const auto& [bouton, texte] : captions)
        if (QAbstractButton* b = box.button(bouton))
            b->setText(QString::fromUtf8(texte));
}

} // namespace

GuiHost::GuiHost() : runDialog_([](QDialog& dialog) { return dialog.exec(); }) {}

GuiHost::~GuiHost() = default;

int GuiHost::runModal(QDialog& dialog)
{
    // The splash stays above every window: a question asked while it shows must not hide
    // behind it.
    if (splash_ && splash_->isVisible())
        dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    return runDialog_(dialog);
}

Host::Answer GuiHost::messageBox(Icon icon, Buttons buttons, const QString& title, const QString& text,
                                 Answer defaultAnswer)
{
    // The suite's texts break lines with carriage return and line feed; the box wants line feeds.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(messageBoxIcon(icon), title, shown, messageBoxButtons(buttons), parent_);
    frenchCaptions(box);
    const QMessageBox::StandardButton preferred = messageBoxButton(defaultAnswer);
    if (box.button(preferred))
        box.setDefaultButton(preferred);
    runModal(box);
    QAbstractButton* clicked = box.clickedButton();
    if (!clicked)
        return answerWhenClosed(buttons, defaultAnswer);
    return answerOf(box.standardButton(clicked), defaultAnswer);
}

void GuiHost::setSplashText(const QString& text)
{
    if (!splash_)
        splash_ = std::make_unique<FrmMsg>();
    splash_->setText(text);
    if (!splash_->isVisible())
        splash_->show();
    splash_->raise();
}

void GuiHost::closeSplash()
{
    splash_.reset();
}

QString GuiHost::selectFolder(const QString& title, const QString& startFolder)
{
    QFileDialog dialog(parent_, title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (!startFolder.trimmed().isEmpty())
        dialog.setDirectory(NativePath(startFolder));
    if (runModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return suiteFormOf(dialog.selectedFiles().constFirst());
}

QString GuiHost::selectOpenFile(const QString& folder, const QString& filter, const QString& proposedFile)
{
    QFileDialog dialog(parent_);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(nameFilters(filter));
    if (!folder.trimmed().isEmpty())
        dialog.setDirectory(NativePath(folder));
    if (!proposedFile.trimmed().isEmpty())
        dialog.selectFile(NativePath(proposedFile));
    if (runModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return suiteFormOf(dialog.selectedFiles().constFirst());
}

int GuiHost::selectItem(const QString& title, const QStringList& items, int preselected)
{
    const std::unique_ptr<QDialog> dialog = makeItemDialog(parent_, title, items, preselected);
    if (runModal(*dialog) != QDialog::Accepted)
        return -1;
    return dialog->findChild<QListWidget*>()->currentRow();
}

void GuiHost::pump()
{
    QCoreApplication::processEvents();
}

} // namespace nvx
