#include "app/UserRights.h"

#include "common/Clock.h"
#include "common/Host.h"
#include "common/Identity.h"
#include "common/Lifecycle.h"
#include "common/NativePath.h"
#include "config/Configuration.h"
#include "config/Ini.h"
#include "system/Systeme.h"

#include <QProcess>

namespace nvx {

UserRights::UserRights(Identity& identity, const Lifecycle& lifecycle, IniAccess& ini, Configuration& config,
                       Systeme& systeme, Host& host, Clock& clock)
    : identity_(identity), lifecycle_(lifecycle), ini_(ini), config_(config), systeme_(systeme), host_(host),
      clock_(clock)
{
}

bool UserRights::UserObligatoire()
{
    if (!obligatoire_)
        obligatoire_ = ini_.LectureIni(config_.NomFichierSysteme(0, false), QStringLiteral("DroitsUsers"),
                                       QStringLiteral("Actif"), QStringLiteral("0"))
                           .trimmed() != u"0";
    return *obligatoire_;
}

QString UserRights::userCourant()
{
    return ini_
        .LectureIni(config_.NomFichierSysteme(0, true), QStringLiteral("User"), QStringLiteral("Courant"), {})
        .trimmed();
}

bool UserRights::GestionDroitsUser()
{
    const QString user = userCourant();
    if (user.isEmpty())
        return false;
    return ini_.LectureIni(config_.NomFichierSysteme(0, true), QStringLiteral("Droits_") + user,
                           QStringLiteral("VL3_Tools_NVX"), QStringLiteral("0"))
               .trimmed() == u"1";
}

QString UserRights::programmeUtilisateur() const
{
#ifdef Q_OS_WIN
    return identity_.DossierApplication + QStringLiteral("VL3_Tools_User.exe");
#else
    return identity_.DossierApplication + QStringLiteral("VL3_Tools_User");
#endif
}

bool UserRights::selectionUtilisateur()
{
    const QString programme = programmeUtilisateur();
    if (!systeme_.File_Exist(programme, QStringLiteral("selectionUtilisateur"))) {
        host_.messageBox(Host::Icon::Critical, Host::Buttons::Ok, QStringLiteral("Velmora: Tools NVX"),
                         QStringLiteral("Programme non trouvé:\n") + programme, Host::Answer::Ok);
        return false;
    }
    QProcess process;
    process.setProgram(NativePath(programme));
    process.setArguments({QStringLiteral("/Close")});
    process.start();
    if (!process.waitForStarted(10000))
        return false;
    // The person works in the other program; keep this one responsive meanwhile.
    while (process.state() != QProcess::NotRunning && !lifecycle_.PbBFermetureApplication()) {
        host_.pump();
        process.waitForFinished(50);
        clock_.sleep(0);
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace nvx
