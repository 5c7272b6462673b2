#pragma once

#include "net/FtpClient.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

namespace nvx {

class Host;
class Lifecycle;
class Reporter;

// One row of the tester's list: the name, then size, permissions, date, owner and group.
struct FtpRow {
    static constexpr int kColumns = 6;
    std::array<QString, kColumns> texts;
    const QString& name() const { return texts[0]; }
    const QString& permissions() const { return texts[2]; }
};

// The rows of a listing, in the server's order.
QList<FtpRow> ftpRows(const QList<FtpEntry>& entries);
// Sorts rows by the text of column, without regard to case: order 0 ascending, 1 descending.
void sortFtpRows(QList<FtpRow>& rows, int column, int order);

// The fields "Récupérer" copies back into a settings row; the security switches are not copied.
struct RecoveredFtpFields {
    QString server;
    QString port;
    QString user;
    QString password;
    QString folder;
};

// The FTP tester's commands without the window: the connect / cancel / disconnect button, the
// folder list and its sort, the remote folder box, "Dossier parent", and "Récupérer", which hands
// the fields back to the settings row being tested. Failures are shown through the host with
// the client's French reason; the window stays usable. Every state the window shows is a
// member, and changed() says when to read them again.
class FrmSetupFTP : public QObject {
    Q_OBJECT

public:
    enum class State { Disconnected, Connecting, Connected };

    FrmSetupFTP(FtpClient& client, Host& host, const Lifecycle& lifecycle, Reporter& trace,
                std::function<QString()> mainCaption);

    // Fields of the window.
    QString editServerName;
    QString editPort = QStringLiteral("21");
    QString editTimeout = QStringLiteral("60");
    QString editUserName;
    QString editPassword;
    std::array<bool, 2> chkSecure{}; // "Securité SSL", "Securité SSH"
    QString editRemoteFolder;

    State state() const { return state_; }
    // "Connecter", "Annuler" or "Déconnecter".
    QString cmdConnectCaption() const;
    bool cmdConnectEnabled() const { return cmdConnectEnabled_; }
    bool cmdUpEnabled() const { return state_ == State::Connected; }
    const QList<FtpRow>& listFiles() const { return rows_; }
    // Row selected in the list, -1 for none.
    int selectedRow() const { return selected_; }
    void selectRow(int row);
    int sortColumn() const { return sortColumn_; }
    // 0 ascending, 1 descending.
    int sortOrder() const { return sortOrder_; }
    // The settings row being tested; negative for none.
    qint16 indexRow() const { return indexRow_; }
    // Text of the last failure shown, empty after a success; for callers without a window.
    QString lastFailure() const { return lastFailure_; }
    // Segments of the last folder path walked that were not found as folders, so were skipped.
    QStringList skippedSegments() const { return skippedSegments_; }

    // Fills the fields from a settings row, connects, then walks down the folder path.
    void TesterCnx(const QString& server, long port, const QString& user, const QString& password,
                   const QString& folder, qint16 index, bool ssl, bool ssh);
    void cmdConnect_Click();
    void cmdUp_Click();
    // Enter in the remote folder box: goes to the typed folder.
    void editRemoteFolder_Enter();
    void listFiles_DblClick();
    void listFiles_ColumnClick(int column);
    void CommandTransferer_Click();
    void CommandFermer_Click();

signals:
    // TesterCnx asks for the window first, so that the connection runs in front of the user.
    void showRequested();
    void changed();
    // Busy cursor around every folder change.
    void busyChanged(bool busy);
    void focusRemoteFolderRequested();
    // "Récupérer": the fields to write back into the settings row index.
    void recuperationRequested(int index, const nvx::RecoveredFtpFields& valeurs);
    void closeRequested();

private:
    void openAccount();
    void closeAccount();
    void FTPListDir();
    void ChangeFolder(const QString& name);
    // Goes to path; on failure shows the reason and puts the last folder listed back.
    void changeTo(const QString& path);
    void walk(const QString& path);
    void sortRows();
    void fail(const QString& texte);
    FtpAccount account() const;

    FtpClient& client_;
    Host& host_;
    const Lifecycle& lifecycle_;
    Reporter& trace_;
    std::function<QString()> mainCaption_;

    State state_ = State::Disconnected;
    bool cmdConnectEnabled_ = true;
    QList<FtpRow> rows_;
    int selected_ = -1;
    int sortColumn_ = 0;
    int sortOrder_ = 0;
    qint16 indexRow_ = -1;
    QString lastFolder_;
    QString lastFailure_;
    QStringList skippedSegments_;
};

} // namespace nvx
