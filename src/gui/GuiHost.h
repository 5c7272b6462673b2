#pragma once

#include "common/Host.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QDialog;

namespace nvx {

class FrmMsg;

// The host of the program with windows: questions and pickers are modal dialogs, the splash
// text goes to the splash window.
class GuiHost final : public Host {
public:
    // Runs a prepared modal dialog and returns its result (QDialog::exec by default). Tests put
    // a runner in its place that answers the dialog instead of a person.
    using DialogRunner = std::function<int(QDialog& dialog)>;

    GuiHost();
    ~GuiHost() override;

    // Owner of the dialogs (the main window once it exists).
    void setParentWindow(QWidget* parent) { parent_ = parent; }
    void setDialogRunner(DialogRunner runner) { runDialog_ = std::move(runner); }

    Answer messageBox(Icon icon, Buttons buttons, const QString& title, const QString& text,
                      Answer defaultAnswer) override;
    void setSplashText(const QString& text) override;
    QString selectFolder(const QString& title, const QString& startFolder) override;
    QString selectOpenFile(const QString& folder, const QString& filter,
                           const QString& proposedFile) override;
    int selectItem(const QString& title, const QStringList& items, int preselected) override;
    void pump() override;

    // Closes the splash window; the next splash text opens it again.
    void closeSplash();
    // The splash window, or null while there is none.
    FrmMsg* splash() const { return splash_.get(); }

private:
    int runModal(QDialog& dialog);

    QPointer<QWidget> parent_;
    DialogRunner runDialog_;
    std::unique_ptr<FrmMsg> splash_;
};

} // namespace nvx
