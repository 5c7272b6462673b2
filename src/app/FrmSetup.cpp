#include "app/FrmSetup.h"

#include "common/ErrorTrap.h"
#include "common/Host.h"
#include "common/TextHelpers.h"
#include "link/Replies.h"
#include "system/Systeme.h"
#include "system/Trace.h"

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

void FrmSetup::CommandDossierSon_Click()
{
    trap(trace_, origine(u"CommandDossierSon_Click"), [&] {
        const QString chosen = systeme_.FolderSelect(QString(), settings_.TexteDossierConvertSons);
        if (chosen != QStringLiteral("*"))
            settings_.editGeneral([&](Settings& s) { s.TexteDossierConvertSons = chosen; });
    });
}

void FrmSetup::CommandDossierXML_Click()
{
    trap(trace_, origine(u"CommandDossierXML_Click"), [&] {
        const QString chosen = systeme_.FolderSelect(QString(), settings_.TexteDossierXML);
        if (chosen != QStringLiteral("*"))
            settings_.editGeneral([&](Settings& s) { s.TexteDossierXML = chosen; });
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
