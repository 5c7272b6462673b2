#include "app/FrmSetupFTP.h"

#include "common/ErrorTrap.h"
#include "common/Host.h"
#include "common/Lifecycle.h"
#include "common/TextHelpers.h"

#include <algorithm>

namespace nvx {

namespace {

const QString kOrigine = QStringLiteral("FrmSetupFTP:");

bool isFolderRow(const FtpRow& row)
{
    return row.permissions().startsWith(u'd');
}

} // namespace

QList<FtpRow> ftpRows(const QList<FtpEntry>& entrees)
{
    QList<FtpRow> rows;
    rows.reserve(entrees.size());
    for (const FtpEntry& e : entrees)
        rows.append(
            FtpRow{{e.name, tailleTexte(e.size), FilePerms(e.flags, e.folder), e.date, e.owner, e.group}});
    return rows;
}

void sortFtpRows(QList<FtpRow>& rows, int column, int order)
{
    const size_t colonne = size_t(column);
    std::stable_sort(rows.begin(), rows.end(), [&](const FtpRow& a, const FtpRow& b) {
        const int ordre = QString::compare(a.texts[colonne], b.texts[colonne], Qt::CaseInsensitive);
        return order == 0 ? ordre < 0 : ordre > 0;
    });
}

FrmSetupFTP::FrmSetupFTP(FtpClient& client, Host& host, const Lifecycle& lifecycle, Reporter& trace,
                         std::function<QString()> mainCaption)
    : client_(client), host_(host), lifecycle_(lifecycle), trace_(trace), mainCaption_(std::move(mainCaption))
{
}

QString FrmSetupFTP::cmdConnectCaption() const
{
    switch (etat_) {
    case Etat::Connexion:
        return QStringLiteral("Annuler");
    case Etat::Connecte:
        return QStringLiteral("Déconnecter");
    case Etat::Deconnecte:
        break;
    }
    return QStringLiteral("Connecter");
}

void FrmSetupFTP::selectRow(int row)
{
    selected_ = row >= 0 && row < rows_.size() ? row : -1;
}

void FrmSetupFTP::echec(const QString& texte)
{
    dernierEchec_ = texte;
    host_.messageBox(Host::Icon::Critical, Host::Buttons::Ok, mainCaption_(), texte, Host::Answer::Ok);
}

FtpCompte FrmSetupFTP::compte() const
{
    FtpCompte compte;
    compte.serveur = editServerName.trimmed();
    compte.port = int(vbVal(editPort));
    compte.delai = int(vbVal(editTimeout));
    compte.user = editUserName.trimmed();
    compte.password = editPassword.trimmed();
    if (chkSecure[0])
        compte.securite = FtpCompte::Securite::Ssl;
    else if (chkSecure[1])
        compte.securite = FtpCompte::Securite::Ssh;
    return compte;
}

void FrmSetupFTP::TesterCnx(const QString& serveur, long port, const QString& user, const QString& password,
                            const QString& dossier, qint16 index, bool ssl, bool ssh)
{
    trap(trace_, kOrigine + QStringLiteral("TesterCnx"), [&] {
        editServerName = serveur;
        editPort = QString::number(port);
        editUserName = user;
        editPassword = password;
        editRemoteFolder = QStringLiteral("/");
        chkSecure = {ssl, ssh};
        indexRow_ = index;
        emit changed();
        if (serveur.trimmed().isEmpty())
            return;
        if (etat_ == Etat::Deconnecte)
            connecter();
        host_.pump();
        walk(dossier);
    });
}

void FrmSetupFTP::walk(const QString& chemin)
{
    // Only what follows the first "/" names folders; a path without one names none.
    segmentsIgnores_.clear();
    const qsizetype debut = chemin.indexOf(u'/');
    if (debut < 0)
        return;
    const QStringList segments = chemin.mid(debut + 1).split(u'/');
    for (const QString& segment : segments) {
        if (segment.isEmpty())
            continue;
        if (etat_ != Etat::Connecte) {
            segmentsIgnores_ << segment;
            continue;
        }
        const auto trouve = std::find_if(rows_.cbegin(), rows_.cend(), [&](const FtpRow& row) {
            return row.name() == segment && isFolderRow(row);
        });
        if (trouve == rows_.cend()) {
            segmentsIgnores_ << segment;
            continue;
        }
        selectRow(int(trouve - rows_.cbegin()));
        listFiles_DblClick();
        host_.pump();
    }
}

void FrmSetupFTP::cmdConnect_Click()
{
    trap(trace_, kOrigine + QStringLiteral("cmdConnect_Click"), [&] {
        switch (etat_) {
        case Etat::Deconnecte:
            connecter();
            break;
        case Etat::Connexion:
            // The pending connection returns through its failure path, which enables the button.
            client_.annuler();
            cmdConnectEnabled_ = false;
            emit changed();
            break;
        case Etat::Connecte:
            deconnecter();
            break;
        }
    });
}

void FrmSetupFTP::connecter()
{
    etat_ = Etat::Connexion;
    emit changed();
    const bool ok = client_.connecter(compte());
    cmdConnectEnabled_ = true;
    if (!ok) {
        etat_ = Etat::Deconnecte;
        emit changed();
        echec(QStringLiteral("Echec de la connexion. Erreur: ") + u'\n' + client_.derniereErreur());
        return;
    }
    dernierEchec_.clear();
    etat_ = Etat::Connecte;
    emit changed();
    emit focusRemoteFolderRequested();
    FTPListDir();
}

void FrmSetupFTP::deconnecter()
{
    client_.deconnecter();
    etat_ = Etat::Deconnecte;
    rows_.clear();
    selected_ = -1;
    emit changed();
}

void FrmSetupFTP::FTPListDir()
{
    const FtpListe liste = client_.lister();
    if (liste.etat == FtpListe::Etat::OuvertureImpossible) {
        echec(QStringLiteral("Erreur à l'ouverture du dossier") + QStringLiteral("\n\n") +
              QStringLiteral(" Erreur:") + client_.derniereErreur());
        return;
    }
    rows_ = ftpRows(liste.entrees);
    selected_ = -1;
    if (sorted_)
        sortRows();
    if (liste.etat == FtpListe::Etat::LectureInterrompue)
        echec(QStringLiteral("Erreur à la lacture du dossier. Erreur:") + u'\n' + client_.derniereErreur());
    editRemoteFolder = client_.dossierCourant();
    dernierDossier_ = editRemoteFolder;
    emit changed();
}

void FrmSetupFTP::listFiles_DblClick()
{
    trap(trace_, kOrigine + QStringLiteral("listFiles_DblClick"), [&] {
        if (selected_ >= 0)
            ChangeFolder(rows_[selected_].name());
    });
}

void FrmSetupFTP::ChangeFolder(const QString& name)
{
    if (selected_ < 0)
        return;
    if (!isFolderRow(rows_[selected_])) {
        echec(name + QStringLiteral(" n'est pas un dossier"));
        return;
    }
    emit busyChanged(true);
    const bool ok = client_.changerDossier(name);
    emit busyChanged(false);
    if (!ok) {
        echec(QStringLiteral("Erreur de changement de dossier. Erreur:") + u'\n' + client_.derniereErreur());
        return;
    }
    FTPListDir();
}

void FrmSetupFTP::changerVers(const QString& chemin)
{
    emit busyChanged(true);
    const bool ok = client_.changerDossier(chemin);
    emit busyChanged(false);
    if (!ok) {
        echec(QStringLiteral("Impossible de changer de dossier. Erreur:") + u'\n' + client_.derniereErreur());
        editRemoteFolder = dernierDossier_;
        emit changed();
        return;
    }
    FTPListDir();
}

void FrmSetupFTP::cmdUp_Click()
{
    trap(trace_, kOrigine + QStringLiteral("cmdUp_Click"), [&] {
        if (etat_ != Etat::Connecte)
            return;
        QString chemin = editRemoteFolder.trimmed();
        const QChar separateur = chemin.contains(u'/') ? u'/' : u'\\';
        if (!chemin.endsWith(separateur))
            chemin += separateur;
        changerVers(chemin + QStringLiteral(".."));
    });
}

void FrmSetupFTP::editRemoteFolder_Enter()
{
    trap(trace_, kOrigine + QStringLiteral("editRemoteFolder_KeyPress"), [&] {
        if (etat_ == Etat::Connecte)
            changerVers(editRemoteFolder.trimmed());
    });
}

void FrmSetupFTP::listFiles_ColumnClick(int column)
{
    if (column < 0 || column >= FtpRow::kColumns)
        return;
    if (column == sortColumn_) {
        sortOrder_ = 1 - sortOrder_;
    } else {
        sortColumn_ = column;
        sortOrder_ = 0;
    }
    sorted_ = true;
    sortRows();
    emit changed();
}

void FrmSetupFTP::sortRows()
{
    const QString selection = selected_ >= 0 ? rows_[selected_].name() : QString();
    sortFtpRows(rows_, sortColumn_, sortOrder_);
    // The selection follows its row.
    selected_ = -1;
    for (int i = 0; i < rows_.size() && !selection.isEmpty(); ++i)
        if (rows_[i].name() == selection)
            selected_ = i;
}

void FrmSetupFTP::CommandTransferer_Click()
{
    if (lifecycle_.PbBFermetureApplication() || indexRow_ < 0)
        return;
    emit recuperationRequested(indexRow_, RecoveredFtpFields{editServerName, editPort, editUserName,
                                                             editPassword, editRemoteFolder});
}

void FrmSetupFTP::CommandFermer_Click()
{
    trap(trace_, kOrigine + QStringLiteral("CommandFermer_Click"), [&] {
        if (etat_ == Etat::Connecte)
            deconnecter();
        emit closeRequested();
    });
}

} // namespace nvx
