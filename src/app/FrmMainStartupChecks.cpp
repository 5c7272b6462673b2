// What a start-up without windows checks before it runs, and what it says it found.
#include "app/Application.h"
#include "app/FrmMain.h"
#include "app/InstanceLock.h"
#include "common/Clock.h"
#include "common/DateHelpers.h"
#include "common/NativePath.h"
#include "common/PathText.h"
#include "link/UdpSocket.h"

#include <QDate>
#include <QFileInfo>

namespace nvx {

namespace {

QString etat(bool present)
{
    return present ? QStringLiteral("trouvé") : QStringLiteral("absent");
}

// "label: native path (trouvé|absent)"; a folder or file not named says so.
QString ligne(const QString& libelle, const QString& cheminSuite, bool dossier)
{
    if (cheminSuite.trimmed().isEmpty())
        return libelle + QStringLiteral(": non défini");
    const QString natif = NativePath(cheminSuite);
    const QFileInfo info(natif);
    return libelle + QStringLiteral(": ") + natif + QStringLiteral(" (") +
           etat(dossier ? info.isDir() : info.isFile()) + u')';
}

} // namespace

bool FrmMain::siteConfigured()
{
    const QString fichier =
        CheckRep(identity_.DossierApplication) + QStringLiteral("Settings\\VL3_Config.ini");
    if (QFileInfo(NativePath(fichier)).isFile())
        return true;
    stopReason_ = QStringLiteral("configuration du site absente: ") + NativePath(fichier);
    return false;
}

bool FrmMain::receptionOpen()
{
    int actifs = 0;
    int ouverts = 0;
    QString adresse;
    for (int i = 0; i < Settings::kReceptions; ++i) {
        if (!settings_.Reception[size_t(i)].Actif)
            continue;
        ++actifs;
        adresse = settings_.Reception[size_t(i)].IP.trimmed() + u':' +
                  settings_.Reception[size_t(i)].Port.trimmed();
        if (root_.intake().socket(i).handle() != -1)
            ++ouverts;
    }
    if (actifs != 1 || ouverts == 1)
        return true;
    stopReason_ = QStringLiteral("écoute UDP impossible sur ") + adresse;
    return false;
}

QStringList FrmMain::startupReport()
{
    trace_.flush(); // so that the day's file is there when it is there to be
    QStringList lignes;
    lignes << ligne(QStringLiteral("Dossier de l'application"), identity_.DossierApplication, true)
           << ligne(QStringLiteral("Racine des lecteurs"), driveRoot(), true)
           << ligne(QStringLiteral("Configuration du site"),
                    CheckRep(identity_.DossierApplication) + QStringLiteral("Settings\\VL3_Config.ini"),
                    false);
    if (config_.NbBases > 0) {
        const ParametresBase& base = config_.DossiersBase[size_t(qBound(0, int(identity_.BaseCourante), 4))];
        lignes << QStringLiteral("Base: ") + base.Lib
               << ligne(QStringLiteral("  Données"), base.DossierData, true)
               << ligne(QStringLiteral("  Journaux"), base.DossierLogOutil, true)
               << ligne(QStringLiteral("  XML"), settings_.TexteDossierXML, true)
               << ligne(QStringLiteral("Réglages de l'outil"),
                        config_.NomFichierSettings({}, QStringLiteral(".Ini")), false)
               << ligne(QStringLiteral("Journal de trace"),
                        trace_.logFolder(0) + D2S(clock_.now().date()) + QStringLiteral(".Log"), false);
    }
    // A bundle named but missing is said before the first exchange fails on it.
    if (!settings_.Plateforme.CertificatsCA.trimmed().isEmpty())
        lignes << ligne(QStringLiteral("Certificats CA de la plateforme"),
                        settings_.Plateforme.CertificatsCA.trimmed(), false);
    // Where the scheduler's requests are heard, with the port the system gave when the
    // settings leave it to the system (port 0).
    for (int i = 0; i < Settings::kReceptions; ++i) {
        const UdpSocket& s = root_.intake().socket(i);
        if (s.handle() != -1)
            lignes << QStringLiteral("Écoute UDP %1: %2:%3")
                          .arg(i)
                          .arg(settings_.Reception[size_t(i)].IP.trimmed())
                          .arg(s.localPort());
    }
    return lignes;
}

} // namespace nvx
