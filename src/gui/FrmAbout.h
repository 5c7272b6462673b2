#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QPointer>

#include <functional>

namespace nvx {

// The About window: the program's version and the maker's notice, and a button that shows the
// description of the system. Shown modeless, owned by the main window.
class FrmAbout final : public QDialog {
    Q_OBJECT

public:
    // describeSystem gives the text of the system information box.
    FrmAbout(const QString& version, int year, std::function<QString()> describeSystem,
             QWidget* parent = nullptr);

    // The system information box while it is open, else null.
    QMessageBox* systemInfoBox() const { return infoBox_; }

public slots:
    void showSystemInfo();

private:
    std::function<QString()> describeSystem_;
    QPointer<QMessageBox> infoBox_;
};

} // namespace nvx
