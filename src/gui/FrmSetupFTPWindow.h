#pragma once

#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace nvx {

class FrmSetupFTP;

// The FTP tester window over its presenter. The presenter holds every state shown here: the
// fields typed in are written back into it before each command, and each of its changed()
// signals redraws the whole window. The list shows the presenter's rows in the presenter's
// order; the view never sorts on its own. Closing the window acts as "Fermer", which hides it.
class FrmSetupFTPWindow final : public QWidget {
    Q_OBJECT

public:
    explicit FrmSetupFTPWindow(FrmSetupFTP& presenter, QWidget* parent = nullptr);

    // Called with the window's position each time it is hidden, to be restored on next run.
    std::function<void(const QPoint&)> savePlacement;

protected:
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildAccount();
    QWidget* buildFolder();
    QWidget* buildButtons();
    void wirePresenter();
    void refresh();
    void refreshRows();
    void storeFields();
    // Writes the fields back, then runs the presenter's command.
    void run(void (FrmSetupFTP::*command)());
    void selectFromView();
    void setBusy(bool busy);

    FrmSetupFTP& presenter_;
    QLineEdit* editServerName_ = nullptr;
    QLineEdit* editPort_ = nullptr;
    QLineEdit* editTimeout_ = nullptr;
    QLineEdit* editUserName_ = nullptr;
    QLineEdit* editPassword_ = nullptr;
    std::array<QCheckBox*, 2> chkSecure_{};
    QPushButton* cmdConnect_ = nullptr;
    QLineEdit* editRemoteFolder_ = nullptr;
    QPushButton* cmdUp_ = nullptr;
    QTreeWidget* listFiles_ = nullptr;
    QPushButton* commandTransferer_ = nullptr;
    QPushButton* commandFermer_ = nullptr;
    // Set while the window redraws from the presenter, so that the view's own signals are
    // not taken for the user's.
    bool refreshing_ = false;
};

} // namespace nvx
