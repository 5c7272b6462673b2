// Loading and saving of the three settings groups.

#include "common/ErrorTrap.h"
#include "common/Identity.h"
#include "common/IniFile.h"
#include "common/NativePath.h"
#include "common/PathText.h"
#include "common/TextHelpers.h"
#include "config/Configuration.h"
#include "config/Ini.h"
#include "config/Settings.h"
#include "system/Systeme.h"
#include "system/Trace.h"

#include <QFileInfo>

#include <algorithm>

namespace nvx {

namespace {

const QString kReception = QStringLiteral("Peripheriques_Reseau_Reception_UDP_");
const QString kEmission = QStringLiteral("Peripheriques_Reseau_Emission_UDP_");
const QString kFtp = QStringLiteral("ServeurFTP_");
const QString kPlateforme = QStringLiteral("Plateforme");
const QString kSmtp = QStringLiteral("Email_SMTP");
const QString kLegacyName = QStringLiteral("VL3_Tools_NVX.Ini");

QString section(const QString& prefix, int index)
{
    return prefix + QString::number(index);
}

QString bit(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

// A check box set from the numeric value of its text.
bool numericSwitch(const QString& text)
{
    return vbVal(text) != 0.0;
}

// A whole number within [low, high], or fallback when the text holds anything else.
int boundedNumber(const QString& text, int low, int high, int fallback)
{
    const double value = vbVal(text);
    if (value < low || value > high || value != static_cast<double>(static_cast<qint64>(value)))
        return fallback;
    return static_cast<int>(value);
}

bool holdsNetworkSections(const QString& fichier)
{
    IniFile file;
    // A file that exists but cannot be read is still the instance's own: never go past it to
    // the legacy file, whose values a later save would then write over it.
    if (!file.load(NativePath(fichier)))
        return true;
    const QStringList sections = file.sections();
    for (const QString& name : sections) {
        if (name.startsWith(kReception, Qt::CaseInsensitive) ||
            name.startsWith(kEmission, Qt::CaseInsensitive) || name.startsWith(kFtp, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

} // namespace

QString Settings::fichierReseauLecture()
{
    if (!networkSource_.isEmpty())
        return networkSource_;
    const QString own = fichierGeneral();
    networkSource_ = own;
    if (holdsNetworkSections(own))
        return own;
    const QString legacy = CheckRep(systeme_.GetWinDir()) + kLegacyName;
    if (legacy.compare(own, Qt::CaseInsensitive) != 0 && systeme_.File_Exist(legacy)) {
        networkSource_ = legacy;
        legacyPending_ = true;
        trace_.trace(QStringLiteral("FrmSetup: Network settings read from ") + legacy);
    }
    return networkSource_;
}

bool Settings::ecrire(const QString& sectionName, const QString& cle, const QString& valeur)
{
    if (batch_)
        return batch_->setValue(sectionName, cle, valeur);
    return ini_.EcritureIni(fichierGeneral(), sectionName, cle, valeur);
}

void Settings::InitSettings()
{
    trap(trace_, QStringLiteral("FrmSetup:InitSettings"), [&] {
        const QString fichier = fichierGeneral();
        const auto lire = [&](const QString& sectionName, const QString& cle, const QString& defaut = {}) {
            return ini_.LectureIni(fichier, sectionName, cle, defaut);
        };
        TexteDossierConvertSons = lire(QStringLiteral("Convert"), QStringLiteral("Dossier"));
        TexteDossierXML = lire(QStringLiteral("XML"), QStringLiteral("Dossier"));
        EnvoyerHeuresVides = numericSwitch(
            lire(QStringLiteral("XML"), QStringLiteral("EnvoyerHeuresVides"), QStringLiteral("0")));
        TexteEmailsAdresses = lire(QStringLiteral("Email"), QStringLiteral("Emails"));
        SiteMaker = lire(QStringLiteral("General"), QStringLiteral("SiteMaker"));
        for (int i = 0; i < kEmails; ++i)
            CheckEmail[i] = lire(QStringLiteral("Email"), QStringLiteral("Check_") + QString::number(i),
                                 QStringLiteral("0")) != QStringLiteral("0");
        Alertes = numericSwitch(
            lire(QStringLiteral("Email"), QStringLiteral("Alertes"),
                 TexteEmailsAdresses.trimmed().isEmpty() ? QStringLiteral("0") : QStringLiteral("1")));

        Plateforme.URL = lire(kPlateforme, QStringLiteral("URL"));
        Plateforme.Cle = lire(kPlateforme, QStringLiteral("Cle"));
        Plateforme.Secret = lire(kPlateforme, QStringLiteral("Secret"));
        Plateforme.DelaiConnexion = boundedNumber(
            lire(kPlateforme, QStringLiteral("DelaiConnexion"), QStringLiteral("15")), 1, 86400, 15);
        Plateforme.DelaiReponse = boundedNumber(
            lire(kPlateforme, QStringLiteral("DelaiReponse"), QStringLiteral("120")), 1, 86400, 120);
        Plateforme.CertificatsCA = lire(kPlateforme, QStringLiteral("CertificatsCA"));
        Plateforme.ConnexionAuDemarrage =
            numericSwitch(lire(kPlateforme, QStringLiteral("ConnexionAuDemarrage"), QStringLiteral("1")));
        Plateforme.ConserverReponses =
            numericSwitch(lire(kPlateforme, QStringLiteral("ConserverReponses"), QStringLiteral("0")));

        EmailSmtp.Serveur = lire(kSmtp, QStringLiteral("Serveur"));
        EmailSmtp.Port =
            boundedNumber(lire(kSmtp, QStringLiteral("Port"), QStringLiteral("587")), 1, 65535, 587);
        EmailSmtp.Securite =
            boundedNumber(lire(kSmtp, QStringLiteral("Securite"), QStringLiteral("1")), 0, 2, 1);
        EmailSmtp.User = lire(kSmtp, QStringLiteral("User"));
        EmailSmtp.PW = lire(kSmtp, QStringLiteral("PW"));
        EmailSmtp.Expediteur = lire(kSmtp, QStringLiteral("Expediteur"));
        EmailSmtp.CopiesSupport = lire(kSmtp, QStringLiteral("CopiesSupport"));
        EmailSmtp.CopiePartenaire = lire(kSmtp, QStringLiteral("CopiePartenaire"));
        EmailSmtp.NoClient = lire(kSmtp, QStringLiteral("NoClient"));
        EmailSmtp.OptionsBase = lire(kSmtp, QStringLiteral("OptionsBase"));
        EmailSmtp.Certificat = lire(kSmtp, QStringLiteral("Certificat"));
    });
    generalModified = false;
}

void Settings::InitSettingsPeripheriques()
{
    trap(trace_, QStringLiteral("FrmSetup:InitSettingsPeripheriques"), [&] {
        const QString fichier = fichierReseauLecture();
        for (int i = 0; i < kReceptions; ++i) {
            const QString name = section(kReception, i);
            Reception[i].IP = ini_.LectureIni(fichier, name, QStringLiteral("IP"));
            Reception[i].Port = ini_.LectureIni(fichier, name, QStringLiteral("Port"));
            Reception[i].Expediteurs = ini_.LectureIni(fichier, name, QStringLiteral("Expediteurs"));
            setReceptionActif(i, numericSwitch(ini_.LectureIni(fichier, name, QStringLiteral("Actif"),
                                                               QStringLiteral("0"))));
        }

        const QList<ParametresStation>* stations = nullptr;
        if (identity_.BaseCourante >= 0 && identity_.BaseCourante < Configuration::kMaxBases)
            stations = &config_.DossiersBase[identity_.BaseCourante].Stations;
        for (int i = 0; i < kEmissions; ++i) {
            QString libelle;
            if (stations && i < stations->size())
                libelle = stations->at(i).Lib;
            Emission[i].libelle =
                libelle.trimmed().isEmpty() ? QStringLiteral("Station ") + N2S(i + 1, 2) : libelle;

            const QString name = section(kEmission, i);
            Emission[i].IP = ini_.LectureIni(fichier, name, QStringLiteral("IP"));
            Emission[i].Port1 =
                ini_.LectureIni(fichier, name, QStringLiteral("Port1"), QString::number(96 + i));
            Emission[i].Port2 = ini_.LectureIni(fichier, name, QStringLiteral("Port2"));
            setEmissionActif(i, numericSwitch(ini_.LectureIni(fichier, name, QStringLiteral("Actif"),
                                                              QStringLiteral("0"))));
        }
    });
    networkModified = false;
}

void Settings::InitSettingsFTP()
{
    trap(trace_, QStringLiteral("FrmSetup:InitSettingsFTP"), [&] {
        const QString fichier = fichierReseauLecture();
        for (int i = 0; i < kServeursFtp; ++i) {
            const QString name = section(kFtp, i);
            const auto lire = [&](const QString& cle, const QString& defaut = {}) {
                return ini_.LectureIni(fichier, name, cle, defaut);
            };
            ServeurFtp& ftp = ServeursFtp[i];
            ftp.Serveur = lire(QStringLiteral("Serveur"));
            ftp.NoPort = lire(QStringLiteral("NoPort"));
            ftp.User = lire(QStringLiteral("User"));
            ftp.PW = lire(QStringLiteral("PW"));
            // The mode list holds "Active" and "Passive"; anything else reads as the first
            // rather than stopping the load of the remaining accounts.
            ftp.Cnx = boundedNumber(lire(QStringLiteral("Cnx"), QStringLiteral("0")), 0, 1, 0);
            ftp.Dossier = lire(QStringLiteral("Dossier"), QStringLiteral("/"));
            ftp.SecureSSL = numericSwitch(lire(QStringLiteral("SecureSSL"), QStringLiteral("0")));
            ftp.SecureSSH = numericSwitch(lire(QStringLiteral("SecureSSH"), QStringLiteral("0")));
            ftp.Retry = numericSwitch(lire(QStringLiteral("Retry"), QStringLiteral("0")));
        }
    });
    ftpModified = false;
}

bool Settings::writeGeneral()
{
    bool ok = ecrire(QStringLiteral("Convert"), QStringLiteral("Dossier"), TexteDossierConvertSons);
    ok &= ecrire(QStringLiteral("XML"), QStringLiteral("Dossier"), TexteDossierXML);
    ok &= ecrire(QStringLiteral("XML"), QStringLiteral("EnvoyerHeuresVides"), bit(EnvoyerHeuresVides));
    ok &= ecrire(QStringLiteral("Email"), QStringLiteral("Emails"), TexteEmailsAdresses);
    ok &= ecrire(QStringLiteral("General"), QStringLiteral("SiteMaker"), SiteMaker);
    for (int i = 0; i < kEmails; ++i)
        ok &= ecrire(QStringLiteral("Email"), QStringLiteral("Check_") + QString::number(i),
                     bit(CheckEmail[i]));
    ok &= ecrire(QStringLiteral("Email"), QStringLiteral("Alertes"), bit(Alertes));

    ok &= ecrire(kPlateforme, QStringLiteral("URL"), Plateforme.URL);
    ok &= ecrire(kPlateforme, QStringLiteral("Cle"), Plateforme.Cle);
    ok &= ecrire(kPlateforme, QStringLiteral("Secret"), Plateforme.Secret);
    ok &= ecrire(kPlateforme, QStringLiteral("DelaiConnexion"), QString::number(Plateforme.DelaiConnexion));
    ok &= ecrire(kPlateforme, QStringLiteral("DelaiReponse"), QString::number(Plateforme.DelaiReponse));
    ok &= ecrire(kPlateforme, QStringLiteral("CertificatsCA"), Plateforme.CertificatsCA);
    ok &= ecrire(kPlateforme, QStringLiteral("ConnexionAuDemarrage"), bit(Plateforme.ConnexionAuDemarrage));
    ok &= ecrire(kPlateforme, QStringLiteral("ConserverReponses"), bit(Plateforme.ConserverReponses));

    ok &= ecrire(kSmtp, QStringLiteral("Serveur"), EmailSmtp.Serveur);
    ok &= ecrire(kSmtp, QStringLiteral("Port"), QString::number(EmailSmtp.Port));
    ok &= ecrire(kSmtp, QStringLiteral("Securite"), QString::number(EmailSmtp.Securite));
    ok &= ecrire(kSmtp, QStringLiteral("User"), EmailSmtp.User);
    ok &= ecrire(kSmtp, QStringLiteral("PW"), EmailSmtp.PW);
    ok &= ecrire(kSmtp, QStringLiteral("Expediteur"), EmailSmtp.Expediteur);
    ok &= ecrire(kSmtp, QStringLiteral("CopiesSupport"), EmailSmtp.CopiesSupport);
    ok &= ecrire(kSmtp, QStringLiteral("CopiePartenaire"), EmailSmtp.CopiePartenaire);
    ok &= ecrire(kSmtp, QStringLiteral("NoClient"), EmailSmtp.NoClient);
    ok &= ecrire(kSmtp, QStringLiteral("OptionsBase"), EmailSmtp.OptionsBase);
    ok &= ecrire(kSmtp, QStringLiteral("Certificat"), EmailSmtp.Certificat);
    return ok;
}

bool Settings::writeNetwork()
{
    bool ok = true;
    for (int i = 0; i < kReceptions; ++i) {
        const QString name = section(kReception, i);
        ok &= ecrire(name, QStringLiteral("Actif"), bit(Reception[i].Actif));
        ok &= ecrire(name, QStringLiteral("IP"), Reception[i].IP);
        ok &= ecrire(name, QStringLiteral("Port"), Reception[i].Port);
        ok &= ecrire(name, QStringLiteral("Expediteurs"), Reception[i].Expediteurs);
    }
    for (int i = 0; i < kEmissions; ++i) {
        const QString name = section(kEmission, i);
        ok &= ecrire(name, QStringLiteral("Actif"), bit(Emission[i].Actif));
        ok &= ecrire(name, QStringLiteral("IP"), Emission[i].IP);
        ok &= ecrire(name, QStringLiteral("Port1"), Emission[i].Port1);
        ok &= ecrire(name, QStringLiteral("Port2"), Emission[i].Port2);
    }
    return ok;
}

bool Settings::writeFtp()
{
    bool ok = true;
    for (int i = 0; i < kServeursFtp; ++i) {
        const QString name = section(kFtp, i);
        const ServeurFtp& ftp = ServeursFtp[i];
        ok &= ecrire(name, QStringLiteral("Serveur"), ftp.Serveur);
        // An account without a server keeps whatever else was stored for it.
        if (ftp.Serveur.trimmed().isEmpty())
            continue;
        ok &= ecrire(name, QStringLiteral("NoPort"), ftp.NoPort);
        ok &= ecrire(name, QStringLiteral("User"), ftp.User);
        ok &= ecrire(name, QStringLiteral("PW"), ftp.PW);
        ok &= ecrire(name, QStringLiteral("Cnx"), QString::number(ftp.Cnx));
        ok &= ecrire(name, QStringLiteral("SecureSSL"), bit(ftp.SecureSSL));
        ok &= ecrire(name, QStringLiteral("SecureSSH"), bit(ftp.SecureSSH));
        ok &= ecrire(name, QStringLiteral("Dossier"), ftp.Dossier);
        ok &= ecrire(name, QStringLiteral("Retry"), bit(ftp.Retry));
    }
    return ok;
}

// One rewrite for the whole save: quick, and a save cut short never leaves a group half
// written. When that cannot be done, the keys go one by one through the one-key writer, which
// creates a missing folder and clears a read-only flag.
bool Settings::saveWhole(const std::vector<GroupWriter>& groups)
{
    const QString fichier = NativePath(fichierGeneral());
    bool ok = false;
    {
        IniFile file;
        struct Detach {
            IniFile*& batch;
            ~Detach() { batch = nullptr; }
        } detach{batch_};
        if (file.load(fichier)) {
            batch_ = &file;
            ok = true;
            for (GroupWriter group : groups)
                ok = (this->*group)() && ok;
            batch_ = nullptr;
            if (ok && (file.isModified() || !QFileInfo::exists(fichier)))
                ok = file.save();
        }
    }
    if (ok)
        return true;
    ok = true;
    for (GroupWriter group : groups)
        ok = (this->*group)() && ok;
    return ok;
}

// The network groups read from the legacy file go over together with whatever is saved next:
// were only one of them written, the instance's file would hold network sections, the legacy
// file would no longer be read and the other group would be lost.
void Settings::saveGroups(const QString& procedure, std::vector<GroupWriter> groups)
{
    const bool moving = legacyPending_;
    if (moving) {
        for (GroupWriter group : {&Settings::writeNetwork, &Settings::writeFtp}) {
            if (std::find(groups.begin(), groups.end(), group) == groups.end())
                groups.push_back(group);
        }
    }
    if (!saveWhole(groups)) {
        trace_.trace(QStringLiteral("Err: FrmSetup: ") + procedure + QStringLiteral(": cannot write ") +
                         fichierGeneral(),
                     true);
        return;
    }
    if (moving) {
        legacyPending_ = false;
        networkSource_ = fichierGeneral();
        trace_.trace(QStringLiteral("FrmSetup: Network settings now saved in ") + networkSource_);
    }
}

void Settings::SaveSettings()
{
    trap(trace_, QStringLiteral("FrmSetup:SaveSettings"),
         [&] { saveGroups(QStringLiteral("SaveSettings"), {&Settings::writeGeneral}); });
    generalModified = false;
}

void Settings::SaveSettingsPeripheriques()
{
    trap(trace_, QStringLiteral("FrmSetup:SaveSettingsPeripheriques"),
         [&] { saveGroups(QStringLiteral("SaveSettingsPeripheriques"), {&Settings::writeNetwork}); });
    networkModified = false;
}

void Settings::SaveSettingsFTP()
{
    trap(trace_, QStringLiteral("FrmSetup:SaveSettingsFTP"),
         [&] { saveGroups(QStringLiteral("SaveSettingsFTP"), {&Settings::writeFtp}); });
    ftpModified = false;
}

} // namespace nvx
