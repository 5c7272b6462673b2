#include "app/HeadlessChecks.h"

#include "app/Application.h"

#include <QTextStream>

namespace nvx {

int runFtpCheck(Application& application, int row, QTextStream& out, QTextStream& err)
{
    const ServeurFtp& account = application.settings().ServeursFtp[size_t(row)];
    if (account.Serveur.trimmed().isEmpty()) {
        err << "vl3-tools-nvx: compte FTP " << row << ": serveur non renseigné" << Qt::endl;
        return 1;
    }
    FrmSetupFTP& tester = application.frmSetupFtp();
    application.frmSetup().CommandFTPTester_Click(row);
    // A failure has been shown through the host already, which writes it on err.
    if (tester.state() != FrmSetupFTP::State::Connected)
        return 1;
    for (const FtpRow& row : tester.listFiles())
        out << row.texts[2] << '\t' << row.texts[1].trimmed() << '\t' << row.texts[3] << '\t' << row.texts[4]
            << '\t' << row.texts[5] << '\t' << row.name() << Qt::endl;
    const bool complete = tester.skippedSegments().isEmpty() && tester.lastFailure().isEmpty();
    if (!tester.skippedSegments().isEmpty())
        err << "vl3-tools-nvx: dossier introuvable: " << tester.skippedSegments().join(QStringLiteral(", "))
            << " (dossier listé: " << tester.editRemoteFolder << ")" << Qt::endl;
    tester.CommandFermer_Click();
    return complete ? 0 : 1;
}

int runMailCheck(Application& application)
{
    // The window's own command: the same guard on blank recipients, the same text; the mail is
    // sent by the composition root's handler before this one runs.
    bool sent = false;
    const QMetaObject::Connection follow =
        QObject::connect(&application.frmSetup(), &FrmSetup::mailTestRequested, [&sent] { sent = true; });
    application.frmSetup().CommandEmailTest_Click();
    QObject::disconnect(follow);
    return sent && application.mailer().lastError().isEmpty() ? 0 : 1;
}

} // namespace nvx
