#include "app/FrmSetup.h"

#include "common/ErrorTrap.h"
#include "common/Host.h"
#include "common/PathText.h"
#include "common/TextHelpers.h"
#include "link/Replies.h"
#include "system/Systeme.h"
#include "system/Trace.h"

#include <algorithm>

namespace nvx {

FrmSetup::FrmSetup(Settings& settings, Replies& replies, Systeme& systeme, Host& host, Trace& trace)
    : settings_(settings), replies_(replies), systeme_(systeme), host_(host), trace_(trace)
{
}

QString FrmSetup::origine(const char16_t* procedure) const
{
    return QStringLiteral("FrmSetup:") + QString::fromUtf16(procedure);
}

void FrmSetup::CommandSave_Click()
{
    settings_.saveAll();
}

QList<FieldError> FrmSetup::retenues(const SettingsValues& modifiees, SettingsValues& retenues) const
{
    QList<FieldError> erreurs = settingsErrors(modifiees);
    // A folder is good when it exists or can be made now.
    for (const auto& [champ, dossier] :
         {std::pair{QStringLiteral("TexteDossierXML"), modifiees.TexteDossierXML},
          std::pair{QStringLiteral("TexteDossierConvertSons"), modifiees.TexteDossierConvertSons}}) {
        QString chemin = dossier.trimmed();
        if (!chemin.isEmpty() && !systeme_.FolderFound(chemin, true))
            erreurs.append({FieldError::Group::General, champ, QStringLiteral("Dossier impossible à créer")});
    }
    const auto enErreur = [&](FieldError::Group groupe) {
        return std::any_of(erreurs.cbegin(), erreurs.cend(),
                           [&](const FieldError& e) { return e.group == groupe; });
    };
    const SettingsValues actuelles = settings_.values();
    retenues = enErreur(FieldError::Group::General) ? actuelles : modifiees;
    const SettingsValues& reseau = enErreur(FieldError::Group::Network) ? actuelles : modifiees;
    retenues.Reception = reseau.Reception;
    retenues.Emission = reseau.Emission;
    retenues.ServeursFtp = (enErreur(FieldError::Group::Ftp) ? actuelles : modifiees).ServeursFtp;
    return erreurs;
}

QList<FieldError> FrmSetup::appliquer(const SettingsValues& modifiees)
{
    SettingsValues valides;
    const QList<FieldError> erreurs = retenues(modifiees, valides);
    settings_.apply(valides);
    return erreurs;
}

QList<FieldError> FrmSetup::retenir(const SettingsValues& modifiees)
{
    SettingsValues valides;
    const QList<FieldError> erreurs = retenues(modifiees, valides);
    settings_.stage(valides);
    for (const FieldError& e : erreurs)
        trace_.trace(QStringLiteral("FrmSetup: option non retenue: ") + e.field + QStringLiteral(": ") +
                     e.message);
    return erreurs;
}

void FrmSetup::CommandFermer_Click()
{
    emit hideRequested();
}

void FrmSetup::Form_Unload()
{
    trap(trace_, origine(u"Form_Unload"), [&] {
        if (!settings_.generalModified && !settings_.networkModified && !settings_.ftpModified)
            return;
        const Host::Answer answer =
            host_.messageBox(Host::Icon::Question, Host::Buttons::YesNo, settings_.caption(),
                             QStringLiteral("Voulez-vous enregistrer les options ?"), Host::Answer::Yes);
        if (answer != Host::Answer::Yes)
            return;
        host_.pump();
        if (settings_.generalModified)
            settings_.SaveSettings();
        if (settings_.networkModified)
            settings_.SaveSettingsPeripheriques();
        if (settings_.ftpModified)
            settings_.SaveSettingsFTP();
    });
    settings_.unload();
}

std::optional<QString> FrmSetup::choisirDossier(const QString& depart)
{
    const QString chosen = systeme_.FolderSelect(QString(), depart);
    if (chosen == QStringLiteral("*"))
        return std::nullopt;
    return chosen;
}

std::optional<QString> FrmSetup::choisirCertificats(const QString& actuel)
{
    std::optional<QString> chosen;
    trap(trace_, origine(u"choisirCertificats"), [&] {
        const QString fichier = actuel.trimmed();
        const QString file =
            host_.selectOpenFile(EclateRepFicExt(fichier).RepEclate,
                                 QStringLiteral("Certificats|*.pem;*.crt;*.cer|Tous|*"), fichier);
        if (!file.trimmed().isEmpty())
            chosen = file;
    });
    return chosen;
}

void FrmSetup::CommandDossierSon_Click()
{
    trap(trace_, origine(u"CommandDossierSon_Click"), [&] {
        if (const auto chosen = choisirDossier(settings_.TexteDossierConvertSons))
            settings_.editGeneral([&](Settings& s) { s.TexteDossierConvertSons = *chosen; });
    });
}

void FrmSetup::CommandDossierXML_Click()
{
    trap(trace_, origine(u"CommandDossierXML_Click"), [&] {
        if (const auto chosen = choisirDossier(settings_.TexteDossierXML))
            settings_.editGeneral([&](Settings& s) { s.TexteDossierXML = *chosen; });
    });
}

void FrmSetup::CommandEmailTest_Click()
{
    if (settings_.TexteEmailsAdresses.trimmed().isEmpty()) {
        host_.messageBox(Host::Icon::Exclamation, Host::Buttons::Ok, settings_.caption(),
                         QStringLiteral("Veuillez renseigner un ou plusieurs emails (séparés pas des ;)."),
                         Host::Answer::Ok);
        return;
    }
    emit mailTestRequested(settings_.TexteEmailsAdresses, QStringLiteral("Test d'envoi de mail."));
}

void FrmSetup::CommandFTPTester_Click(int index)
{
    if (index >= 0 && index < Settings::kServeursFtp)
        emit ftpTestRequested(index, settings_.ServeursFtp[size_t(index)]);
}

void FrmSetup::BtnUDPSend_Click(int index)
{
    if (index < 0 || index >= Settings::kEmissions)
        return;
    const EmissionUdp& ligne = settings_.Emission[size_t(index)];
    const QString texte = TexteUDPDonneeEnvoyees[size_t(index)].trimmed();
    if (!ligne.IP.trimmed().isEmpty() && vbVal(ligne.Port1) != 0 && !texte.isEmpty())
        replies_.SendMessageUDP(index, texte);
}

} // namespace nvx
