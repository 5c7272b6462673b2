#pragma once

#include "config/Settings.h"
#include "config/SettingsValidation.h"
#include "config/SettingsValues.h"

#include <QHash>
#include <QWidget>

#include <array>
#include <initializer_list>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace nvx {

class FrmSetup;

// The settings window: it edits a copy of the settings and hands it to the settings' commands
// on "Enregistrer", which take each group without an error; the errors are shown next to their
// fields. "Fermer" and the close box only hide it; what is left unsaved is handed over at
// program end, so that the question to save it is asked. A reception or emission endpoint
// switched on or off applies at once, and its address and ports are locked while it is on.
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
    // The valid edits not saved become the live values, marked for the question at program end.
    void keepEdits();
    // The error shown by a field ("Reception[1].Port", "Plateforme.URL"...), empty when none.
    QString errorShown(const QString& field) const;

    QLineEdit* TexteDossierConvertSons = nullptr;
    QLineEdit* TexteDossierXML = nullptr;
    QPushButton* CommandDossierSon = nullptr;
    QPushButton* CommandDossierXML = nullptr;
    std::array<QLineEdit*, 2> TexteComputerNameAdresse{};
    QLineEdit* TexteEmailsAdresses = nullptr;
    std::array<QCheckBox*, SettingsValues::kEmails> CheckEmail{};
    QPushButton* CommandEmailTest = nullptr;
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
    std::array<QLineEdit*, SettingsValues::kReceptions> TexteUDPExpediteurs{};
    std::array<QLineEdit*, SettingsValues::kEmissions> TexteUDPIPCible{};
    std::array<QLineEdit*, SettingsValues::kEmissions> TexteUDPPortCible{};
    std::array<QLineEdit*, SettingsValues::kEmissions> TexteUDPPortBCible{};
    std::array<QCheckBox*, SettingsValues::kEmissions> CheckUDPOutActif{};
    std::array<QLineEdit*, SettingsValues::kEmissions> TexteUDPDonneeEnvoyees{};
    std::array<QPushButton*, SettingsValues::kEmissions> BtnUDPSend{};
    std::array<QLineEdit*, SettingsValues::kServeursFtp> TexteFTPServeur{};
    std::array<QLineEdit*, SettingsValues::kServeursFtp> TexteFTPNoPort{};
    std::array<QLineEdit*, SettingsValues::kServeursFtp> TexteFTPUser{};
    std::array<QLineEdit*, SettingsValues::kServeursFtp> TexteFTPPW{};
    std::array<QComboBox*, SettingsValues::kServeursFtp> ComboFTPCnx{};
    std::array<QLineEdit*, SettingsValues::kServeursFtp> TexteFTPDossier{};
    std::array<QCheckBox*, SettingsValues::kServeursFtp> CheckFTPSSL{};
    std::array<QCheckBox*, SettingsValues::kServeursFtp> CheckFTPSSH{};
    std::array<QCheckBox*, SettingsValues::kServeursFtp> CheckFTPRetry{};
    std::array<QPushButton*, SettingsValues::kServeursFtp> CommandFTPTester{};
    QLineEdit* plateformeURL = nullptr;
    QLineEdit* plateformeCle = nullptr;
    QLineEdit* plateformeSecret = nullptr;
    QSpinBox* plateformeDelaiConnexion = nullptr;
    QSpinBox* plateformeDelaiReponse = nullptr;
    QCheckBox* plateformeConnexionAuDemarrage = nullptr;
    QLineEdit* plateformeCertificatsCA = nullptr;
    QPushButton* plateformeChoisirCertificats = nullptr;
    // What was kept back by the last save, under the buttons.
    QLabel* labelErreurs = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* pageGeneral();
    QWidget* frameDossier();
    QWidget* frameEmails();
    QWidget* framePlateforme();
    QWidget* framePoste();
    QWidget* pageReception();
    QWidget* pageEmission();
    QWidget* pageFtp();
    // A field with its error line beneath it.
    QWidget* withError(QWidget* field, const QString& key);
    // The error line of a row of a table, beneath the row.
    void addRowError(QGridLayout* grid, int row, int columns, const QString& key);
    void loadFtpRow(size_t index, const ServeurFtp& serveur);
    // Values edited elsewhere while the window is open (a folder picked, an FTP account taken
    // from the tester) are shown without losing what is being typed in other rows.
    void showEditedElsewhere(Settings::Groups groups);
    void pickFolder(QLineEdit* field);
    void sendTest(int index);
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
    QHash<QString, QLabel*> errorLabels_;
};

} // namespace nvx
