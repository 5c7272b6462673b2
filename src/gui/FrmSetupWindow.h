#pragma once

#include "config/SettingsValidation.h"
#include "config/SettingsValues.h"

#include <QWidget>

#include <array>
#include <initializer_list>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace nvx {

class FrmSetup;
class Settings;

// The settings window: it edits a copy of the settings and hands it to the settings' commands
// on "Enregistrer", which take each group without an error; the errors are shown next to their
// fields. "Fermer" and the close box only hide it. A reception or emission endpoint switched
// on or off applies at once, and its address and ports are locked while it is on.
class FrmSetupWindow : public QWidget {
    Q_OBJECT

public:
    FrmSetupWindow(Settings& settings, FrmSetup& commands, QWidget* parent = nullptr);

    // The fields from the settings as they are now.
    void load();
    // The values as the fields hold them.
    SettingsValues edited() const;
    // "Enregistrer"; returns the errors shown.
    QList<FieldError> CommandSave_Click();

    QLineEdit* TexteDossierConvertSons = nullptr;
    QLineEdit* TexteDossierXML = nullptr;
    QLineEdit* TexteEmailsAdresses = nullptr;
    std::array<QCheckBox*, SettingsValues::kEmails> CheckEmail{};
    QCheckBox* checkAlertes = nullptr;
    QLineEdit* smtpServeur = nullptr;
    QSpinBox* smtpPort = nullptr;
    QComboBox* smtpSecurite = nullptr;
    QLineEdit* smtpUser = nullptr;
    QLineEdit* smtpPW = nullptr;
    QLineEdit* smtpExpediteur = nullptr;
    std::array<QLineEdit*, SettingsValues::kReceptions> TexteUDPIPSource{};
    std::array<QLineEdit*, SettingsValues::kReceptions> TexteUDPPortSource{};
    std::array<QCheckBox*, SettingsValues::kReceptions> CheckUDPInActif{};
    std::array<QLineEdit*, SettingsValues::kEmissions> TexteUDPIPCible{};
    std::array<QLineEdit*, SettingsValues::kEmissions> TexteUDPPortCible{};
    std::array<QLineEdit*, SettingsValues::kEmissions> TexteUDPPortBCible{};
    std::array<QCheckBox*, SettingsValues::kEmissions> CheckUDPOutActif{};
    std::array<QLineEdit*, SettingsValues::kServeursFtp> TexteFTPServeur{};
    std::array<QLineEdit*, SettingsValues::kServeursFtp> TexteFTPNoPort{};
    std::array<QLineEdit*, SettingsValues::kServeursFtp> TexteFTPUser{};
    std::array<QLineEdit*, SettingsValues::kServeursFtp> TexteFTPPW{};
    std::array<QLineEdit*, SettingsValues::kServeursFtp> TexteFTPDossier{};
    std::array<QCheckBox*, SettingsValues::kServeursFtp> CheckFTPSSL{};
    std::array<QCheckBox*, SettingsValues::kServeursFtp> CheckFTPSSH{};
    QLineEdit* plateformeURL = nullptr;
    QLineEdit* plateformeCle = nullptr;
    QLineEdit* plateformeSecret = nullptr;
    QLabel* labelErreurs = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* pageGeneral();
    QWidget* pageReception();
    QWidget* pageEmission();
    QWidget* pageFtp();
    // Applies values changed by an endpoint's switch; false, with the errors shown, when refused.
    bool applyEndpoint(const SettingsValues& values);
    void switchReception(int index, bool actif);
    void switchEmission(int index, bool actif);
    void showErrors(const QList<FieldError>& errors);
    // An endpoint's fields are read-only while it is switched on.
    static void lockFields(std::initializer_list<QLineEdit*> fields, bool locked);

    Settings& settings_;
    FrmSetup& commands_;
    QTabWidget* pages_ = nullptr;
    SettingsValues loaded_;
};

} // namespace nvx
