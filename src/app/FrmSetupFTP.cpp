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

QList<FtpRow> ftpRows(const QList<FtpEntry>& entries)
{
    QList<FtpRow> rows;
    rows.reserve(entries.size());
    for (const FtpEntry& e : entries)
        rows.append(
            FtpRow{{e.name, tailleTexte(e.size), FilePerms(e.flags, e.folder), e.date, e.owner, e.group}});
    return rows;
}

void sortFtpRows(QList<FtpRow>& rows, int column, int order)
{
    const size_t col = size_t(column);
    std::stable_sort(rows.begin(), rows.end(), [&](const FtpRow& a, const FtpRow& b) {
        const int cmp = QString::compare(a.texts[col], b.texts[col], Qt::CaseInsensitive);
        return order == 0 ? cmp < 0 : cmp > 0;
    });
}

FrmSetupFTP::FrmSetupFTP(FtpClient& client, Host& host, const Lifecycle& lifecycle, Reporter& trace,
                         std::function<QString()> mainCaption)
    : client_(client), host_(host), lifecycle_(lifecycle), trace_(trace), mainCaption_(std::move(mainCaption))
{
}

QString FrmSetupFTP::cmdConnectCaption() const
{
    switch (state_) {
    case State::Connecting:
        return QStringLiteral("Annuler");
    case State::Connected:
        return QStringLiteral("Déconnecter");
    case State::Disconnected:
        break;
    }
    return QStringLiteral("Connecter");
}

void FrmSetupFTP::selectRow(int row)
{
    selected_ = row >= 0 && row < rows_.size() ? row : -1;
}

void FrmSetupFTP::fail(const QString& texte)
{
    lastFailure_ = texte;
    host_.messageBox(Host::Icon::Critical, Host::Buttons::Ok, mainCaption_(), texte, Host::Answer::Ok);
}

FtpAccount FrmSetupFTP::account() const
{
    FtpAccount account;
    account.server = editServerName.trimmed();
    account.port = int(vbVal(editPort));
    account.timeoutSec = int(vbVal(editTimeout));
    account.user = editUserName.trimmed();
    account.password = editPassword.trimmed();
    if (chkSecure[0])
        account.security = FtpAccount::Security::Ssl;
    else if (chkSecure[1])
        account.security = FtpAccount::Security::Ssh;
    return account;
}

void FrmSetupFTP::TesterCnx(const QString& server, long port, const QString& user, const QString& password,
                            const QString& folder, qint16 index, bool ssl, bool ssh)
{
    trap(trace_, kOrigine + QStringLiteral("TesterCnx"), [&] {
        emit showRequested();
        editServerName = server;
        editPort = QString::number(port);
        editUserName = user;
        editPassword = password;
        editRemoteFolder = QStringLiteral("/");
        chkSecure = {ssl, ssh};
        indexRow_ = index;
        emit changed();
        if (server.trimmed().isEmpty())
            return;
        if (state_ == State::Disconnected)
            openAccount();
        host_.pump();
        walk(folder);
    });
}

void FrmSetupFTP::walk(const QString& path)
{
    // Only what follows the first "/" names folders; a path without one names none.
    skippedSegments_.clear();
    const qsizetype start = path.indexOf(u'/');
    if (start < 0)
        return;
    const QStringList segments = path.mid(start + 1).split(u'/');
    for (const QString& segment : segments) {
        if (segment.isEmpty())
            continue;
        if (state_ != State::Connected) {
            skippedSegments_ << segment;
            continue;
        }
        const auto found = std::find_if(rows_.cbegin(), rows_.cend(), [&](const FtpRow& row) {
            return row.name() == segment && isFolderRow(row);
        });
        if (found == rows_.cend()) {
            skippedSegments_ << segment;
            continue;
        }
        selectRow(int(found - rows_.cbegin()));
        listFiles_DblClick();
        host_.pump();
    }
}

void FrmSetupFTP::cmdConnect_Click()
{
    trap(trace_, kOrigine + QStringLiteral("cmdConnect_Click"), [&] {
        switch (state_) {
        case State::Disconnected:
            openAccount();
            break;
        case State::Connecting:
            // The pending connection returns through its failure path, which enables the button.
            client_.cancel();
            cmdConnectEnabled_ = false;
            emit changed();
            break;
        case State::Connected:
            closeAccount();
            break;
        }
    });
}

void FrmSetupFTP::openAccount()
{
    state_ = State::Connecting;
    emit changed();
    const bool ok = client_.open(account());
    cmdConnectEnabled_ = true;
    if (!ok) {
        state_ = State::Disconnected;
        emit changed();
        fail(QStringLiteral("Echec de la connexion. Erreur: ") + u'\n' + client_.lastError());
        return;
    }
    lastFailure_.clear();
    state_ = State::Connected;
    emit changed();
    emit focusRemoteFolderRequested();
    FTPListDir();
}

void FrmSetupFTP::closeAccount()
{
    client_.close();
    state_ = State::Disconnected;
    rows_.clear();
    selected_ = -1;
    emit changed();
}

void FrmSetupFTP::FTPListDir()
{
    const FtpListingResult listing = client_.list();
    if (listing.state == FtpListingResult::State::OpenFailed) {
        fail(QStringLiteral("Erreur à l'ouverture du dossier") + QStringLiteral("\n\n") +
             QStringLiteral(" Erreur:") + client_.lastError());
        return;
    }
    rows_ = ftpRows(listing.entries);
    selected_ = -1;
    // Every listing shows in the order of the sort column, by name ascending until a click.
    sortRows();
    if (listing.state == FtpListingResult::State::ReadBroken)
        fail(QStringLiteral("Erreur à la lacture du dossier. Erreur:") + u'\n' + client_.lastError());
    editRemoteFolder = client_.currentFolder();
    lastFolder_ = editRemoteFolder;
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
        fail(name + QStringLiteral(" n'est pas un dossier"));
        return;
    }
    emit busyChanged(true);
    const bool ok = client_.changeFolder(name);
    emit busyChanged(false);
    if (!ok) {
        fail(QStringLiteral("Erreur de changement de dossier. Erreur:") + u'\n' + client_.lastError());
        return;
    }
    FTPListDir();
}

void FrmSetupFTP::changeTo(const QString& path)
{
    emit busyChanged(true);
    const bool ok = client_.changeFolder(path);
    emit busyChanged(false);
    if (!ok) {
        fail(QStringLiteral("Impossible de changer de dossier. Erreur:") + u'\n' + client_.lastError());
        editRemoteFolder = lastFolder_;
        emit changed();
        return;
    }
    FTPListDir();
}

void FrmSetupFTP::cmdUp_Click()
{
    trap(trace_, kOrigine + QStringLiteral("cmdUp_Click"), [&] {
        if (state_ != State::Connected)
            return;
        QString path = editRemoteFolder.trimmed();
        const QChar separator = path.contains(u'/') ? u'/' : u'\\';
        if (!path.endsWith(separator))
            path += separator;
        changeTo(path + QStringLiteral(".."));
    });
}

void FrmSetupFTP::editRemoteFolder_Enter()
{
    trap(trace_, kOrigine + QStringLiteral("editRemoteFolder_KeyPress"), [&] {
        if (state_ == State::Connected)
            changeTo(editRemoteFolder.trimmed());
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
        if (state_ == State::Connected)
            closeAccount();
        emit closeRequested();
    });
}

} // namespace nvx
