#include "config/Configuration.h"

#include "common/ErrorTrap.h"
#include "common/Host.h"
#include "common/Identity.h"
#include "common/NativePath.h"
#include "common/PathText.h"
#include "common/Reporter.h"
#include "common/TextHelpers.h"
#include "config/Ini.h"
#include "system/Systeme.h"

#include <algorithm>
#include <cmath>

namespace nvx {

namespace {

const QString kRacineFixe = QStringLiteral("C:\\Merovax\\Velmora\\");
const QString kNomOutil = QStringLiteral("VL3_Tools_NVX");
const QString kDossierConfigDefaut = QStringLiteral("C:\\Merovax\\Velmora\\Config\\");
const QString kDateLimiteOuverte = QStringLiteral("01/01/3000");

// Key prefixes of the sound folders, by kind, in the "_Sounds_Folders" section.
const std::array<QString, ParametresBase::kGenres> kPrefixesSons = {
    QStringLiteral("Mus_"), QStringLiteral("Jin_"), QStringLiteral("Lin_"), QStringLiteral("Rub_"),
    QStringLiteral("Inf_"), QStringLiteral("Pub_"), QStringLiteral("Pre_"), QStringLiteral("Tmp_")};

QString deuxChiffres(int n)
{
    return N2S(n, 2);
}

QString sectionNumero(int numero)
{
    return QStringLiteral("Base_") + deuxChiffres(numero);
}

bool estOn(const QString& value)
{
    return vbTrim(value).compare(QStringLiteral("ON"), Qt::CaseInsensitive) == 0;
}

// Whole number of a text, kept within [lo, hi].
int nombre(const QString& text, int lo, int hi)
{
    const double v = vbVal(text);
    if (!(v >= lo))
        return lo;
    if (v > hi)
        return hi;
    return int(v);
}

QDate dateLimite(const QString& text)
{
    const QString t = text.trimmed();
    for (const QString& format : {QStringLiteral("dd/MM/yyyy"), QStringLiteral("d/M/yyyy")}) {
        const QDate d = QDate::fromString(t, format);
        if (d.isValid())
            return d;
    }
    return {};
}

} // namespace

Configuration::Configuration(Identity& identity, Reporter& reporter, Systeme& systeme, IniAccess& ini,
                             Host& host)
    : identity_(identity), reporter_(reporter), systeme_(systeme), ini_(ini), host_(host)
{
}

QString Configuration::lire(const QString& fichier, const QString& section, const QString& cle,
                            const QString& defaut) const
{
    return ini_.LectureIni(fichier, section, cle, defaut);
}

void Configuration::creeDossier(const QString& dossier)
{
    if (!dossier.trimmed().isEmpty())
        systeme_.VerificationEtCreationRepertoire(dossier, true);
}

QString Configuration::mainCaption() const
{
    return QStringLiteral("Velmora: Tools NVX - ") + Systeme::VersionApplication();
}

QString Configuration::DetermineDossierConfig()
{
    QString fichier;
    trap(reporter_, QStringLiteral("Lib_Public:DetermineDossierConfig"), [&] {
        if (CodeVersionOS == 0)
            CodeVersionOS = 10;
        fichier = CheckRep(identity_.DossierApplication) + QStringLiteral("Settings\\VL3_Config.ini");
        // Only the oldest systems can still carry a configuration of the earlier suite.
        if (CodeVersionOS >= 6 && CodeVersionOS <= 11)
            return;
        if (!systeme_.File_Exist(fichier, QStringLiteral("DetermineDossierConfig")))
            migrateLegacyConfiguration(fichier);
        showThemeMessage(fichier);
    });
    return fichier;
}

void Configuration::migrateLegacyConfiguration(const QString& fichierConfig)
{
    trap(reporter_, QStringLiteral("Lib_Public:DetermineDossierConfig_Migration"), [&] {
        const QString app = CheckRep(identity_.DossierApplication);
        creeDossier(app + QStringLiteral("Settings\\"));

        const QString winIni = CheckRep(systeme_.GetWinDir()) + QStringLiteral("Win.ini");
        const QString merovax = QStringLiteral("Merovax");
        const bool unc = estOn(lire(winIni, merovax, QStringLiteral("UNC_Actif"), QStringLiteral("0FF")));
        const QString dossierLegacy = CheckRep(lire(
            winIni, merovax, unc ? QStringLiteral("INI_OPEN_RADIO_UNC") : QStringLiteral("INI_OPEN_RADIO"),
            app + QStringLiteral("Config\\")));
        const int nbBases =
            nombre(lire(winIni, merovax, QStringLiteral("Nb_Base"), QStringLiteral("0")), 1, kMaxBases);

        const QString site = QStringLiteral("Site");
        const QString nomRadio =
            lire(dossierLegacy + QStringLiteral("Qm_sys.ini"), QStringLiteral("Div_radio"),
                 QStringLiteral("Nom_Radio"), QStringLiteral("Nom de la radio"));
        ini_.EcritureIni(fichierConfig, site, QStringLiteral("Lib"), nomRadio);
        ini_.EcritureIni(fichierConfig, site, QStringLiteral("Actif"), QStringLiteral("1"));
        ini_.EcritureIni(fichierConfig, site, QStringLiteral("NbBase"), QString::number(nbBases));
        ini_.EcritureIni(fichierConfig, site, QStringLiteral("NoBase"), QStringLiteral("1"));

        struct DossierLegacy {
            const char16_t* cleLegacy;
            const char16_t* cle;
            QString defaut;
        };
        const std::array<DossierLegacy, 7> dossiers = {{
            {u"REPLOG", u"Dossier_Log", QStringLiteral("C:\\AudioLog\\")},
            {u"REPLOGPUB", u"Dossier_Log_Pub", QStringLiteral("C:\\AudioLog\\Pub\\")},
            {u"REPBLOCNOTES", u"Dossier_Notes", QStringLiteral("C:\\Merovax\\Velmora\\Notes\\")},
            {u"REPLOCAL", u"Dossier_Local", app},
            {u"REPPARTAGE", u"Dossier_Shared", app},
            {u"REPBTR", u"Dossier_Data", QStringLiteral("C:\\BTRieve\\Data\\")},
            {u"REPSAUVEGARDE", u"Dossier_Data_Backup", QStringLiteral("C:\\BTRieve\\Data\\")},
        }};
        const std::array<QString, ParametresBase::kGenres> clesSons = {
            QStringLiteral("Dossiers_Sons_Mus"), QStringLiteral("Dossiers_Sons_Jin"),
            QStringLiteral("Dossiers_Sons_Lin"), QStringLiteral("Dossiers_Sons_Rub"),
            QStringLiteral("Dossiers_Sons_Inf"), QStringLiteral("Dossiers_Sons_Pub"),
            QStringLiteral("Dossiers_Sons_Pre"), QStringLiteral("Dossiers_Sons_Tmp")};

        for (int numero = 1; numero <= nbBases; ++numero) {
            const QString nn = deuxChiffres(numero);
            const QString section = sectionNumero(numero);
            const QString dossier =
                nbBases > 1 ? CheckRep(lire(winIni, merovax, QStringLiteral("Ini_Base_") + nn, dossierLegacy))
                            : dossierLegacy;
            const QString qmSys = dossier + QStringLiteral("Qm_sys.ini");
            const QString systeme = dossier + QStringLiteral("VL3_Systeme.ini");

            const int nbStations =
                nombre(lire(qmSys, QStringLiteral("Stations"), QStringLiteral("Nb_Max"), QStringLiteral("1")),
                       1, 99);
            ini_.EcritureIni(systeme, section, QStringLiteral("Lib"),
                             lire(qmSys, QStringLiteral("Div_radio"), QStringLiteral("Nom_Radio"),
                                  QStringLiteral("Nom de la radio")));
            ini_.EcritureIni(systeme, section, QStringLiteral("Actif"), QStringLiteral("1"));
            ini_.EcritureIni(systeme, section, QStringLiteral("DateLimite"), kDateLimiteOuverte);
            ini_.EcritureIni(systeme, section, QStringLiteral("NbStation"), QString::number(nbStations));
            ini_.EcritureIni(systeme, section, QStringLiteral("NoStation"), QStringLiteral("1"));
            ini_.EcritureIni(fichierConfig, section, QStringLiteral("Dossier_Config_Global"), dossier);

            for (const DossierLegacy& d : dossiers) {
                const QString cleLegacy = QString::fromUtf16(d.cleLegacy);
                const bool dossierUnc = estOn(lire(qmSys, QStringLiteral("UNC_Actif"), cleLegacy));
                const QString valeur = lire(
                    qmSys, dossierUnc ? QStringLiteral("Repertoires_UNC") : QStringLiteral("Repertoires"),
                    cleLegacy, d.defaut);
                ini_.EcritureIni(systeme, section, QString::fromUtf16(d.cle), valeur);
            }

            for (int station = 1; station <= nbStations; ++station) {
                const QString ss = deuxChiffres(station);
                const QString sectionStation = section + QStringLiteral("_Station_") + ss;
                ini_.EcritureIni(systeme, sectionStation, QStringLiteral("Lib"),
                                 lire(qmSys, QStringLiteral("Div_Radio"),
                                      QStringLiteral("Station_") + N2S(station, 3),
                                      QStringLiteral("Station ") + ss));
                ini_.EcritureIni(systeme, sectionStation, QStringLiteral("Actif"), QStringLiteral("1"));
                ini_.EcritureIni(systeme, sectionStation, QStringLiteral("DateLimite"), kDateLimiteOuverte);
            }

            // The earlier suite kept one folder per kind and slot ("Mus_00" ...) in
            // "Repertoire_Station", or in "Repertoire_Station_UNC" when the slot's entry
            // "Repertoire_Station_NN" of "UNC_Actif" is on; each value carries a two-character
            // drive tag in front. The folders are written under the kind keys the rest of the suite
            // reads, and also where this tool reads its sound folders, so that a migrated site
            // finds its sounds.
            const QString sectionSons = section + QStringLiteral("_Sounds_Folders");
            for (int slot = 0; slot < ParametresBase::kStations; ++slot) {
                const QString ss = deuxChiffres(slot);
                const bool slotUnc = estOn(
                    lire(qmSys, QStringLiteral("UNC_Actif"), QStringLiteral("Repertoire_Station_") + ss));
                const QString sectionLegacy =
                    slotUnc ? QStringLiteral("Repertoire_Station_UNC") : QStringLiteral("Repertoire_Station");
                for (int genre = 0; genre < ParametresBase::kGenres; ++genre) {
                    const QString valeur = lire(qmSys, sectionLegacy, kPrefixesSons[genre] + ss);
                    if (vbTrim(valeur).isEmpty())
                        continue;
                    const QString dossierSon = CheckRep(valeur.mid(2));
                    ini_.EcritureIni(systeme, section, clesSons[genre] + u'_' + ss, dossierSon);
                    ini_.EcritureIni(systeme, sectionSons, kPrefixesSons[genre] + ss,
                                     QStringLiteral("1:") + dossierSon);
                }
            }
        }
        reporter_.trace(QStringLiteral("Configuration migrated: ") + fichierConfig);
    });
}

void Configuration::showThemeMessage(const QString& fichierConfig)
{
    if (themeMessageShown_)
        return;
    QString theme;
    const int status =
        systeme_.Reg_GetValue(0, QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\ThemeManager"),
                              QStringLiteral("ThemeActive"), theme);
    if (status != 0 || vbVal(theme) != 0)
        return;
    if (lire(fichierConfig, QStringLiteral("ThemeWindows"), QStringLiteral("Msg"), QStringLiteral("0")) !=
        QStringLiteral("0"))
        return;
    themeMessageShown_ = true;
    host_.messageBox(
        Host::Icon::Information, Host::Buttons::Ok, mainCaption(),
        QStringLiteral("Le poste utilise le style 'Windows standard'\n\n"
                       "Pour une avoir une interface optimisée, nous vous conseillons d'utiliser "
                       "un style 'Windows XP'\n\n"
                       "Pour faire le changement,  cliquez droit sur le bureau de windows et "
                       "choisissez 'Propriétés'"),
        Host::Answer::Ok);
    ini_.EcritureIni(fichierConfig, QStringLiteral("ThemeWindows"), QStringLiteral("Msg"),
                     QStringLiteral("1"));
}

QString Configuration::DetermineDossierConfig_Bases_Dossier(const QString& fichier, int numero, bool parBase)
{
    QString dossier;
    trap(reporter_, QStringLiteral("Lib_Public:DetermineDossierConfig_Bases_Dossier"), [&] {
        const QString site = QStringLiteral("Site");
        const QString cle = QStringLiteral("Dossier_Config_Global");
        const QString section = sectionNumero(numero);
        if (parBase) {
            dossier = lire(fichier, section, cle, kDossierConfigDefaut);
            if (vbTrim(dossier).isEmpty())
                dossier = lire(fichier, site, cle);
        } else {
            dossier = lire(fichier, site, cle);
            if (vbTrim(dossier).isEmpty())
                dossier = lire(fichier, section, cle, kDossierConfigDefaut);
        }
        dossier = CheckRep(vbTrim(dossier));
    });
    return dossier;
}

qint16 Configuration::DetermineDossierConfig_Bases_Nombre()
{
    qint16 nb = 1;
    trap(reporter_, QStringLiteral("Lib_Public:DetermineDossierConfig_Bases_Nombre"), [&] {
        const QString fichier = FichierConfig.isEmpty() ? DetermineDossierConfig() : FichierConfig;
        nb = qint16(
            nombre(lire(fichier, QStringLiteral("Site"), QStringLiteral("NbBase"), QStringLiteral("1")), 1,
                   kMaxBases));
    });
    return nb;
}

QString Configuration::DetermineDossierConfig_Fichier(int index)
{
    if (index < 0 || index >= kMaxBases)
        return {};
    const QString fichier = FichierConfig.isEmpty() ? DetermineDossierConfig() : FichierConfig;
    return DetermineDossierConfig_Bases_Dossier(fichier, index + 1, true);
}

QString Configuration::NomFichierSysteme(int index, bool droits)
{
    QString fichier;
    trap(reporter_, QStringLiteral("Lib_Public:NomFichierSysteme"), [&] {
        if (index < 0 || index >= kMaxBases)
            return;
        if (vbTrim(DossiersConfigBase[index]).isEmpty()) {
            qint16 i = qint16(index);
            InitGeneralPath(i);
        }
        QString dossier = DossiersConfigBase[index];
        if (vbTrim(dossier).isEmpty())
            return;
        if (!systeme_.FolderFound(dossier))
            creeDossier(dossier);
        fichier = CheckRep(dossier) +
                  (droits ? QStringLiteral("VL3_Systeme_Droits.ini") : QStringLiteral("VL3_Systeme.ini"));
    });
    return fichier;
}

void Configuration::InitGeneralPath(qint16& index)
{
    trap(reporter_, QStringLiteral("Lib_Public:InitGeneralPath"), [&] {
        FichierConfig = DetermineDossierConfig();
        DossierConfig = EclateRepFicExt(FichierConfig).RepEclate;

        int premier = index;
        int dernier = index;
        if (index == -1) {
            premier = 0;
            dernier = (NbBases > 0 ? NbBases : DetermineDossierConfig_Bases_Nombre()) - 1;
        }
        premier = std::max(premier, 0);
        dernier = std::min(dernier, kMaxBases - 1);
        for (int i = premier; i <= dernier; ++i) {
            DossiersConfigBase[i] = DetermineDossierConfig_Bases_Dossier(FichierConfig, i + 1, true);
            QString dossier = DossiersConfigBase[i];
            if (!vbTrim(dossier).isEmpty() && !systeme_.FolderFound(dossier))
                creeDossier(dossier);
        }
        index = qint16(dernier + 1);
    });
}

bool Configuration::InitGeneralSite(bool all)
{
    // Every call reads the whole site; the flag is the callers' form of "all databases".
    Q_UNUSED(all);
    bool continuer = true;
    trap(reporter_, QStringLiteral("Lib_Public:InitGeneralSite"), [&] {
        if (FichierConfig.isEmpty()) {
            FichierConfig = DetermineDossierConfig();
            DossierConfig = EclateRepFicExt(FichierConfig).RepEclate;
        }
        const QString site = QStringLiteral("Site");
        const int nbBases =
            nombre(lire(FichierConfig, site, QStringLiteral("NbBase"), QStringLiteral("1")), 1, kMaxBases);

        int choix = 0;
        if (nbBases > 1) {
            const QString dossierSite =
                CheckRep(vbTrim(lire(FichierConfig, site, QStringLiteral("Dossier_Config_Global"))));
            QStringList libs;
            int preselection = 0;
            for (int i = 0; i < nbBases; ++i) {
                if (vbTrim(DossiersConfigBase[i]).isEmpty())
                    DossiersConfigBase[i] = DetermineDossierConfig_Bases_Dossier(FichierConfig, i + 1, true);
                const QString systeme = CheckRep(DossiersConfigBase[i]) + QStringLiteral("VL3_Systeme.ini");
                QString lib = lire(systeme, sectionNumero(i + 1), QStringLiteral("Lib"));
                if (vbTrim(lib).isEmpty())
                    lib = lire(systeme, sectionNumero(1), QStringLiteral("Lib"),
                               QStringLiteral("Base ") + QString::number(i + 1));
                libs.append(lib);
                if (!dossierSite.isEmpty() &&
                    DossiersConfigBase[i].compare(dossierSite, Qt::CaseInsensitive) == 0)
                    preselection = i;
            }
            choix = host_.selectItem(QStringLiteral("Choix de la base"), libs, preselection);
            if (choix < 0 || choix >= nbBases) {
                reporter_.trace(QStringLiteral("InitGeneralSite: database choice abandoned"));
                continuer = false;
                return;
            }
            const QString dossierChoisi =
                DetermineDossierConfig_Bases_Dossier(FichierConfig, choix + 1, true);
            ini_.EcritureIni(FichierConfig, site, QStringLiteral("Dossier_Config_Global"), dossierChoisi);
            ini_.EcritureIni(FichierConfig, site, QStringLiteral("NoBase"), QString::number(choix + 1));
            DossiersConfigBase[0] = dossierChoisi;
        } else if (vbTrim(DossiersConfigBase[0]).isEmpty()) {
            DossiersConfigBase[0] = DetermineDossierConfig_Bases_Dossier(FichierConfig, 1, true);
        }
        numerosBase_[0] = qint16(choix + 1);
        NbBases = 1;
        identity_.BaseCourante = 0;

        DossierSettingsLocal = CheckRep(lire(FichierConfig, site, QStringLiteral("Settings_Local_Folder"),
                                             QStringLiteral("C:\\Merovax\\Velmora\\Settings\\_Local\\")));
        creeDossier(DossierSettingsLocal);

        for (int i = 0; i < NbBases; ++i)
            readBase(i);
        if (!siteAbsent.isEmpty())
            continuer = false;
    });
    return continuer;
}

QString Configuration::SectionBase(int index) const
{
    if (index < 0 || index >= kMaxBases)
        return {};
    return sectionsBase_[index].isEmpty() ? sectionNumero(numerosBase_[index]) : sectionsBase_[index];
}

void Configuration::readBase(int index)
{
    trap(reporter_, QStringLiteral("Lib_Public:InitGeneralSite_Base"), [&] {
        const QString fichier = NomFichierSysteme(index, false);
        const int numero = numerosBase_[index];
        // A database's system file names its section after the database's number, or, when the
        // database has a folder of its own, often only "Base_01".
        QString section = sectionNumero(numero);
        if (numero != 1 && vbTrim(lire(fichier, section, QStringLiteral("Lib"))).isEmpty())
            section = sectionNumero(1);
        sectionsBase_[index] = section;

        ParametresBase& base = DossiersBase[index];
        base = ParametresBase{};
        if (strict) {
            // Checked before any folder is made: a wrong path must not become an empty database.
            QString data = CheckRep(vbTrim(
                lire(fichier, section, QStringLiteral("Dossier_Data"), QStringLiteral("C:\\VL_Data\\"))));
            if (!systeme_.FolderFound(data)) {
                siteAbsent = QStringLiteral("dossier des données absent: ") + NativePath(data);
                return;
            }
        }
        base.Lib =
            lire(fichier, section, QStringLiteral("Lib"), QStringLiteral("Base ") + QString::number(numero));
        base.Actif = vbVal(lire(fichier, section, QStringLiteral("Actif"), QStringLiteral("0"))) != 0;
        base.NbStation =
            qint16(nombre(lire(fichier, section, QStringLiteral("NbStation"), QStringLiteral("1")), 0, 99));
        base.DateLimite = dateLimite(lire(fichier, section, QStringLiteral("DateLimite")));
        const auto dossier = [&](const QString& sect, const QString& cle, const QString& defaut) {
            const QString d = CheckRep(vbTrim(lire(fichier, sect, cle, defaut)));
            creeDossier(d);
            return d;
        };
        base.DossierLog = dossier(section, QStringLiteral("Dossier_Log"), QStringLiteral("C:\\AudioLog\\"));
        base.DossierLogOutil = base.DossierLog + QStringLiteral("Histo_VL3_Tools_NVX\\");
        creeDossier(base.DossierLogOutil);
        base.DossierLogPub =
            dossier(section, QStringLiteral("Dossier_Log_Pub"), QStringLiteral("C:\\AudioLog\\Pub\\"));
        base.DossierLocal = dossier(section, QStringLiteral("Dossier_Local"),
                                    QStringLiteral("C:\\Merovax\\Velmora\\Settings\\_Local\\"));
        base.DossierShared = dossier(section, QStringLiteral("Dossier_Shared"),
                                     QStringLiteral("C:\\Merovax\\Velmora\\Shared\\"));
        base.DossierData = dossier(section, QStringLiteral("Dossier_Data"), QStringLiteral("C:\\VL_Data\\"));
        base.DossierBackup = dossier(section + QStringLiteral("_Settings_Folders"), QStringLiteral("Backup"),
                                     QStringLiteral("C:\\VL_Data\\_Bkp\\"));
        base.IdRadio = vbTrim(lire(fichier, section, QStringLiteral("Id_Radio")));
        reporter_.trace(QStringLiteral("Local_Folder: ") + base.DossierLocal);
        reporter_.trace(QStringLiteral("Data_Folder: ") + base.DossierData);

        checkDatabaseFile(index, fichier, section);
        if (!DossierFixe)
            copyProgram(fichier, section);

        const QString sectionSons = section + QStringLiteral("_Sounds_Folders");
        for (int station = 0; station < ParametresBase::kStations; ++station) {
            for (int genre = 0; genre < ParametresBase::kGenres; ++genre) {
                const QString defaut = genre == 0 ? QStringLiteral("C:\\VL_Sons\\Musique\\")
                                                  : QStringLiteral("C:\\VL_Sons\\Autre\\");
                const QString valeur =
                    lire(fichier, sectionSons, kPrefixesSons[genre] + deuxChiffres(station));
                DossierSon& son = base.DossiersSons[station][genre];
                if (valeur.startsWith(QStringLiteral("0:")) || valeur.startsWith(QStringLiteral("1:"))) {
                    son.flag = valeur.startsWith(u'1');
                    son.dossier = CheckRep(vbTrim(valeur.mid(2)));
                } else {
                    son.flag = false;
                    son.dossier = defaut;
                }
            }
        }

        for (int station = 1; station <= base.NbStation; ++station) {
            const QString ss = deuxChiffres(station);
            const QString sectionStation = section + QStringLiteral("_Station_") + ss;
            ParametresStation st;
            st.Lib = lire(fichier, sectionStation, QStringLiteral("Lib"), QStringLiteral("Station ") + ss);
            st.Actif =
                vbVal(lire(fichier, sectionStation, QStringLiteral("Actif"), QStringLiteral("0"))) != 0;
            st.DateLimite = dateLimite(lire(fichier, sectionStation, QStringLiteral("DateLimite")));
            base.Stations.append(st);
        }
    });
}

void Configuration::checkDatabaseFile(int index, const QString& fichier, const QString& section)
{
    trap(reporter_, QStringLiteral("Lib_Public:InitGeneralSite_Data"), [&] {
        ParametresBase& base = DossiersBase[index];
        const QString chemin = base.DossierData + QStringLiteral("FRAD000.bt6");
        if (systeme_.File_Exist(chemin, QStringLiteral("InitGeneralSite")))
            return;
        const Host::Answer reponse = host_.messageBox(
            Host::Icon::Question, Host::Buttons::YesNo, mainCaption(),
            QStringLiteral("Impossible de trouver la base de données pour la base: ") + base.Lib +
                QStringLiteral("\n\nFichier '") + chemin + QStringLiteral("' non trouvé\n\n") +
                QStringLiteral(
                    "Voulez-vous rechercher manuellement la localisation de la base de données Velmora ?"),
            Host::Answer::No);
        if (reponse != Host::Answer::Yes)
            return;
        const QString choisi = systeme_.FolderSelect(QString(), base.DossierData);
        if (vbTrim(choisi).isEmpty() || choisi == u"*")
            return;
        const QString dossier = CheckRep(choisi);
        if (!systeme_.File_Exist(dossier + QStringLiteral("FRAD000.bt6"), QStringLiteral("InitGeneralSite")))
            return;
        base.DossierData = dossier;
        ini_.EcritureIni(fichier, section, QStringLiteral("Dossier_Data"), dossier);
        reporter_.trace(QStringLiteral("Data_Folder: ") + base.DossierData);
    });
}

void Configuration::copyProgram(const QString& fichier, const QString& section)
{
    trap(reporter_, QStringLiteral("Lib_Public:InitGeneralSite_Redist"), [&] {
        const QString redist = vbTrim(lire(fichier, section, QStringLiteral("Dossier_Redist")));
        if (redist.isEmpty())
            return;
        const QString dossier = CheckRep(redist) + QStringLiteral("VL\\Backup\\Programmes\\");
        creeDossier(dossier);
        const QString cible =
            dossier + Systeme::VersionApplication() + u' ' + kNomOutil + QStringLiteral(".exe");
        if (!systeme_.File_Exist(cible, QStringLiteral("InitGeneralSite")))
            systeme_.File_Copy(CheckRep(identity_.DossierApplication) + identity_.NomExecutable, cible);
        reporter_.trace(QStringLiteral("Dossier_Redist: ") + dossier);
    });
}

void Configuration::NomDossierSettings()
{
    trap(reporter_, QStringLiteral("Lib_Public:NomDossierSettings"), [&] {
        const QString racine = DossierFixe ? kRacineFixe : CheckRep(identity_.DossierApplication);
        DossierSettings = racine + QStringLiteral("Settings\\VL3_Tools_NVX\\");
        creeDossier(DossierSettings);
        DossierHisto = DossierSettings + QStringLiteral("Histo\\");
        creeDossier(DossierHisto);

        // A settings file left in the Windows folder by an earlier version moves here.
        const QString fichier = NomFichierSettings(QString(), QStringLiteral(".Ini"));
        const QString ancien = CheckRep(systeme_.GetWinDir()) + EclateRepFicExt(fichier).FicEclate +
                               EclateRepFicExt(fichier).ExtEclate;
        if (systeme_.File_Exist(fichier, QStringLiteral("NomDossierSettings")) ||
            !systeme_.File_Exist(ancien, QStringLiteral("NomDossierSettings")))
            return;
        systeme_.File_Copy(ancien, fichier);
        if (systeme_.File_Exist(fichier, QStringLiteral("NomDossierSettings")))
            systeme_.File_Delete(ancien, QStringLiteral("NomDossierSettings"));
    });
}

QString Configuration::NomFichierSettings(const QString& suffixe, const QString& extension)
{
    if (vbTrim(DossierSettings).isEmpty())
        NomDossierSettings();
    QString nom = DossierSettings + kNomOutil;
    if (NoInstance != 0)
        nom += u'_' + QString::number(NoInstance);
    return nom + suffixe + extension;
}

const ParametresBase& Configuration::baseCourante() const
{
    return DossiersBase[std::clamp<int>(identity_.BaseCourante, 0, kMaxBases - 1)];
}

QString Configuration::DetermineDossierSon(int genre, int station)
{
    QString dossier;
    trap(reporter_, QStringLiteral("Lib_Public:DetermineDossierSon"), [&] {
        if (genre < 0 || genre >= ParametresBase::kGenres || station < 0 ||
            station >= ParametresBase::kStations)
            return;
        dossier = CheckRep(baseCourante().DossiersSons[station][genre].dossier);
        if (dossier.isEmpty())
            return;
        // Each folder is checked on disk once per run.
        const QString cle = dossier.toLower();
        if (soundFoldersChecked_.contains(cle))
            return;
        creeDossier(dossier);
        soundFoldersChecked_.insert(cle);
    });
    return dossier;
}

QString Configuration::CheckDrive(int genre, const QString& slot, const QString& identifiant) const
{
    const QString texte = vbTrim(slot).isEmpty() ? QStringLiteral("0") : slot;
    if (texte == u"-")
        return texte;
    const bool genreConnu = genre >= 0 && genre < ParametresBase::kGenres;
    const auto dossierPresent = [&](int s) {
        return genreConnu && !vbTrim(baseCourante().DossiersSons[s][genre].dossier).isEmpty();
    };
    if (texte.size() == 1 && texte[0] >= u'0' && texte[0] <= u'9' && dossierPresent(texte[0].digitValue()))
        return texte;

    int n = 0;
    while (n < ParametresBase::kStations && dossierPresent(n))
        ++n;
    if (n == 0)
        return QStringLiteral("0");
    // Identifiers of one kind spread evenly over the configured slots.
    const double valeur = std::floor(std::fabs(vbVal(identifiant.mid(3))));
    const double reste = std::isfinite(valeur) ? std::fmod(valeur, double(n)) : 0.0;
    return QString::number(int(reste));
}

QPoint Configuration::PositionFeuille(const QString& fenetre, const QString& cle)
{
    QPoint position;
    trap(reporter_, QStringLiteral("Lib_Public:PositionFeuille"), [&] {
        const QString fichier = NomFichierSettings(QStringLiteral("_Positions"), QStringLiteral(".Ini"));
        const QString suffixe = vbTrim(cle).isEmpty() ? QString() : u'_' + cle;
        const auto coordonnee = [&](const QString& nom) {
            const double v =
                vbVal(lire(fichier, QStringLiteral("FrmPos"), fenetre + nom + suffixe, QStringLiteral("0")));
            return int(std::clamp(v, -1.0e9, 1.0e9));
        };
        position = QPoint(coordonnee(QStringLiteral("_Left")), coordonnee(QStringLiteral("_Top")));
    });
    return position;
}

void Configuration::PositionFeuilleSauvegarde(const QString& fenetre, const QString& cle,
                                              const QPoint& position)
{
    trap(reporter_, QStringLiteral("Lib_Public:PositionFeuilleSauvegarde"), [&] {
        const QString fichier = NomFichierSettings(QStringLiteral("_Positions"), QStringLiteral(".Ini"));
        const QString suffixe = vbTrim(cle).isEmpty() ? QString() : u'_' + cle;
        ini_.EcritureIni(fichier, QStringLiteral("FrmPos"), fenetre + QStringLiteral("_Left") + suffixe,
                         QString::number(position.x()));
        ini_.EcritureIni(fichier, QStringLiteral("FrmPos"), fenetre + QStringLiteral("_Top") + suffixe,
                         QString::number(position.y()));
    });
}

} // namespace nvx
