#include "common/Clock.h"
#include "common/ErrorTrap.h"
#include "common/NativePath.h"
#include "platform/HourStates.h"
#include "platform/PlatformClient.h"

#include <QFile>

#include <algorithm>

namespace nvx {

namespace {

QString origineDe(const QString& procedure)
{
    return QStringLiteral("Frm_MainBis:") + procedure;
}

} // namespace

PlatformStep PlatformClient::UDPDataArrival_04_02_Hours_Get_Status(qint16 noStation, const QDate& date,
                                                                   qint16 hhDeb, qint16 hhFin)
{
    const QString procedure = QStringLiteral("UDPDataArrival_04_02_Hours_Get_Status");
    bool ok = false;
    trap(reporter_, origineDe(procedure), [&] {
        v_.DateStatutHeure = clock_.now();
        v_.StatutHeure.fill(-1);
        v_.PbSStatutsHeures.clear();

        const AnalyseResultat resultat =
            echanger(procedure, RequeteStatutHeures(v_.TokenId, noStation, date));
        // Without an answer, or with a refusal, nothing is known of the hours, so none may be
        // sent: an hour taken for free could be one a voice-tracker is working on.
        if (v_.PbBErreurAuthentification || !resultat.xml ||
            std::any_of(resultat.codes.cbegin(), resultat.codes.cend(), CodeErreur))
            return;
        v_.StatutHeure = DecodeStatutsHeures(v_.PbSStatutsHeures, hhDeb, hhFin);
        ok = resultat.utilisable();
    });
    return etape(ok);
}

PlatformStep PlatformClient::UDPDataArrival_04_03_FTP_Sons(int ligne)
{
    const QString procedure = QStringLiteral("UDPDataArrival_04_03_FTP_Sons");
    bool ok = false;
    trap(reporter_, origineDe(procedure), [&] {
        if (ligne != 0)
            Raise(9,
                  QStringLiteral("FTP row ") + QString::number(ligne) + QStringLiteral(" is not available"),
                  QStringLiteral("Frm_MainBis"));
        ok = echanger(procedure, RequeteFtpSons(v_.TokenId, config_.Ftp)).utilisable();
    });
    return etape(ok);
}

PlatformStep PlatformClient::UDPDataArrival_04_04_Conducteur(qint16 noStation, const QString& fichier)
{
    const QString procedure = QStringLiteral("UDPDataArrival_04_04_Conducteur");
    bool ok = false;
    trap(reporter_, origineDe(procedure), [&] {
        QFile f(NativePath(fichier));
        // A schedule that cannot be read is not sent at all rather than sent empty.
        if (!f.open(QIODevice::ReadOnly))
            Raise(53, QStringLiteral("Unable to read ") + fichier + QStringLiteral(": ") + f.errorString(),
                  QStringLiteral("Frm_MainBis"));
        const QByteArray contenu = f.readAll();
        ok = echanger(procedure, RequeteImportConducteur(v_.TokenId, noStation, CorpsConducteur(contenu)))
                 .utilisable();
    });
    return etape(ok);
}

PlatformStep PlatformClient::UDPDataArrival_04_05_Hours_Set_Status(qint16 noStation, const QDate& date,
                                                                   int premiere, int derniere)
{
    const QString procedure = QStringLiteral("UDPDataArrival_04_05_Hours_Set_Status");
    bool ok = premiere <= derniere;
    for (int heure = premiere; heure <= derniere; ++heure) {
        // A refused hour does not stop the others.
        bool heureOk = false;
        trap(reporter_, origineDe(procedure), [&] {
            heureOk =
                echanger(procedure, RequeteSetStatutHeure(v_.TokenId, noStation, date, heure)).utilisable();
        });
        ok = ok && heureOk;
    }
    return etape(ok);
}

} // namespace nvx
