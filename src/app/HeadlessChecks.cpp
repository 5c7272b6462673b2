#include "app/HeadlessChecks.h"

#include "app/Application.h"

#include <QTextStream>

namespace nvx {

int runFtpCheck(Application& application, int row, QTextStream& out, QTextStream& err)
{
    const ServeurFtp& compte = application.settings().ServeursFtp[size_t(row)];
    if (compte.Serveur.trimmed().isEmpty()) {
        err << "vl3-tools-nvx: compte FTP " << row << ": serveur non renseigné" << Qt::endl;
        return 1;
    }
    FrmSetupFTP& testeur = application.frmSetupFtp();
    application.frmSetup().CommandFTPTester_Click(row);
    // A failure has been shown through the host already, which writes it on err.
    if (testeur.etat() != FrmSetupFTP::Etat::Connecte)
        return 1;
    for (const FtpRow& ligne : testeur.listFiles())
        out << ligne.texts[2] << '\t' << ligne.texts[1].trimmed() << '\t' << ligne.texts[3] << '\t'
            << ligne.texts[4] << '\t' << ligne.texts[5] << '\t' << ligne.name() << Qt::endl;
    const bool complet = testeur.segmentsIgnores().isEmpty() && testeur.dernierEchec().isEmpty();
    if (!testeur.segmentsIgnores().isEmpty())
        err << "vl3-tools-nvx: dossier introuvable: " << testeur.segmentsIgnores().join(QStringLiteral(", "))
            << " (dossier listé: " << testeur.editRemoteFolder << ")" << Qt::endl;
    testeur.CommandFermer_Click();
    return complet ? 0 : 1;
}

int runMailCheck(Application& application)
{
    // The window's own command: the same guard on blank recipients, the same text; the mail is
    // sent by the composition root's handler before this one runs.
    bool envoye = false;
    const QMetaObject::Connection suivi =
        QObject::connect(&application.frmSetup(), &FrmSetup::mailTestRequested, [&envoye] { envoye = true; });
    application.frmSetup().CommandEmailTest_Click();
    QObject::disconnect(suivi);
    return envoye && application.mailer().derniereErreur().isEmpty() ? 0 : 1;
}

} // namespace nvx
