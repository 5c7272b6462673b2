#pragma once

#include "config/Settings.h"
#include "config/SettingsValidation.h"

#include <QObject>
#include <QString>

#include <array>
#include <optional>

namespace nvx {

class Host;
class Replies;
class Systeme;
class Trace;

// The settings window's commands without the window: the folder pickers, the mail test, the
// FTP tester button, the UDP test send, "Enregistrer", "Fermer" and the unload question. The
// window edits a copy of the values and hands it back with apply.
class FrmSetup : public QObject {
    Q_OBJECT

public:
    FrmSetup(Settings& settings, Replies& replies, Systeme& systeme, Host& host, Trace& trace);

    // "Enregistrer": the three groups, whatever their flags.
    void CommandSave_Click();
    // The window's edited values: each group without an error is taken and saved; a group with
    // one keeps its stored values whole. The errors are for the window to show by their fields.
    QList<FieldError> appliquer(const SettingsValues& modifiees);
    // The same without saving: the valid groups become the live values, marked modified for the
    // question at program end (a test button uses what is typed; the window closes unsaved).
    QList<FieldError> retenir(const SettingsValues& modifiees);
    // The folder selection from a start folder; nothing when cancelled.
    std::optional<QString> choisirDossier(const QString& depart);
    // The selection of a bundle of authorities (PEM), from the one named now; nothing when
    // cancelled.
    std::optional<QString> choisirCertificats(const QString& actuel);
    // "Fermer" and the close box only hide the window.
    void CommandFermer_Click();
    // At program end: asks whether to save when a group is modified, then unloads the settings.
    void Form_Unload();
    void CommandDossierSon_Click();
    void CommandDossierXML_Click();
    // "Tester" of the mails: a test mail to the recipients, or a word that there are none.
    void CommandEmailTest_Click();
    // The test button of an FTP row.
    void CommandFTPTester_Click(int index);
    // "Test" of an emission row: its text to both of its ports.
    void BtnUDPSend_Click(int index);

    // Text to send of each emission row.
    std::array<QString, Settings::kEmissions> TexteUDPDonneeEnvoyees;

signals:
    void hideRequested();
    void mailTestRequested(const QString& destinataires, const QString& texte);
    void ftpTestRequested(int index, const nvx::ServeurFtp& serveur);

private:
    QString origine(const char16_t* procedure) const;
    // The edited values with each group that has an error put back as it is now.
    QList<FieldError> retenues(const SettingsValues& modifiees, SettingsValues& retenues) const;

    Settings& settings_;
    Replies& replies_;
    Systeme& systeme_;
    Host& host_;
    Trace& trace_;
};

} // namespace nvx
