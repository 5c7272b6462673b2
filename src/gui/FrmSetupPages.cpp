// The settings window's pages and frames: only the building of the controls and the wiring of
// their buttons; the values go in and out in FrmSetupWindow.cpp.
#include "app/FrmSetup.h"
#include "gui/FrmSetupWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace nvx {

namespace {

QLineEdit* edit(bool masked = false)
{
    auto* e = new QLineEdit;
    if (masked)
        e->setEchoMode(QLineEdit::Password);
    return e;
}

QSpinBox* seconds(int maximum)
{
    auto* box = new QSpinBox;
    box->setRange(1, maximum);
    box->setSuffix(QStringLiteral(" s"));
    return box;
}

QLabel* errorLine()
{
    auto* label = new QLabel;
    label->setStyleSheet(QStringLiteral("color: #b00020"));
    label->setWordWrap(true);
    label->hide();
    return label;
}

void header(QGridLayout* grid, const QStringList& titles)
{
    for (int c = 0; c < titles.size(); ++c)
        grid->addWidget(new QLabel(titles[c]), 0, c);
}

QString rowKey(const char* table, int index)
{
    return QString::fromLatin1(table) + u'[' + QString::number(index) + u']';
}

} // namespace

QWidget* FrmSetupWindow::withError(QWidget* field, const QString& key)
{
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(field);
    QLabel* error = errorLine();
    error->setObjectName(QStringLiteral("erreur:") + key);
    errorLabels_.insert(key, error);
    layout->addWidget(error);
    return box;
}

void FrmSetupWindow::addRowError(QGridLayout* grid, int row, int columns, const QString& key)
{
    QLabel* error = errorLine();
    error->setObjectName(QStringLiteral("erreur:") + key);
    errorLabels_.insert(key, error);
    grid->addWidget(error, row, 0, 1, columns);
}

QWidget* FrmSetupWindow::pageGeneral()
{
    auto* page = new QWidget;
    auto* left = new QVBoxLayout;
    left->addWidget(frameDossier());
    left->addWidget(framePlateforme());
    left->addWidget(framePoste());
    left->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(frameEmails());
    right->addStretch();
    auto* columns = new QHBoxLayout(page);
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);
    return page;
}

QWidget* FrmSetupWindow::frameDossier()
{
    auto* frame = new QGroupBox(QStringLiteral("Dossier"));
    auto* form = new QFormLayout(frame);
    const auto folderRow = [&](const QString& label, const QString& key, QLineEdit*& field,
                               QPushButton*& picker) {
        field = edit();
        picker = new QPushButton(QStringLiteral("..."));
        picker->setToolTip(QStringLiteral("Choisir le dossier"));
        QLineEdit* target = field;
        connect(picker, &QPushButton::clicked, this, [this, target] { pickFolder(target); });
        auto* row = new QHBoxLayout;
        row->addWidget(withError(field, key), 1);
        row->addWidget(picker, 0, Qt::AlignTop);
        form->addRow(label, row);
    };
    folderRow(QStringLiteral("Sons convertis"), QStringLiteral("TexteDossierConvertSons"),
              TexteDossierConvertSons, CommandDossierSon);
    folderRow(QStringLiteral("Fichiers XML"), QStringLiteral("TexteDossierXML"), TexteDossierXML,
              CommandDossierXML);
    return frame;
}

QWidget* FrmSetupWindow::framePlateforme()
{
    auto* frame = new QGroupBox(QStringLiteral("Plateforme"));
    auto* form = new QFormLayout(frame);
    plateformeURL = edit();
    plateformeURL->setPlaceholderText(QStringLiteral("https://serveur"));
    plateformeCle = edit();
    plateformeSecret = edit(true);
    plateformeDelaiConnexion = seconds(600);
    plateformeDelaiReponse = seconds(3600);
    plateformeConnexionAuDemarrage = new QCheckBox(QStringLiteral("Connexion au démarrage"));
    plateformeCertificatsCA = edit();
    plateformeCertificatsCA->setPlaceholderText(QStringLiteral("magasin du système"));
    plateformeCertificatsCA->setToolTip(
        QStringLiteral("Fichier PEM des autorités de certification de la plateforme ou du proxy; "
                       "vide: celles du système. Le certificat est toujours vérifié."));
    plateformeChoisirCertificats = new QPushButton(QStringLiteral("..."));
    plateformeChoisirCertificats->setToolTip(QStringLiteral("Choisir le fichier"));
    connect(plateformeChoisirCertificats, &QPushButton::clicked, this, [this] {
        if (const auto chosen = commands_.choisirCertificats(plateformeCertificatsCA->text()))
            plateformeCertificatsCA->setText(*chosen);
    });
    auto* certificats = new QHBoxLayout;
    certificats->addWidget(plateformeCertificatsCA, 1);
    certificats->addWidget(plateformeChoisirCertificats);
    form->addRow(QStringLiteral("URL"), withError(plateformeURL, QStringLiteral("Plateforme.URL")));
    form->addRow(QStringLiteral("Clé"), plateformeCle);
    form->addRow(QStringLiteral("Secret"), plateformeSecret);
    form->addRow(QStringLiteral("Délai de connexion"), plateformeDelaiConnexion);
    form->addRow(QStringLiteral("Délai de réponse"), plateformeDelaiReponse);
    form->addRow(QStringLiteral("Certificats CA"), certificats);
    form->addRow(QString(), plateformeConnexionAuDemarrage);
    return frame;
}

QWidget* FrmSetupWindow::framePoste()
{
    auto* frame = new QGroupBox(QStringLiteral("Poste"));
    auto* form = new QFormLayout(frame);
    for (QLineEdit*& field : TexteComputerNameAdresse) {
        field = edit();
        field->setReadOnly(true);
    }
    form->addRow(QStringLiteral("Nom"), TexteComputerNameAdresse[0]);
    form->addRow(QStringLiteral("Adresse"), TexteComputerNameAdresse[1]);
    return frame;
}

QWidget* FrmSetupWindow::frameEmails()
{
    auto* frame = new QGroupBox(QStringLiteral("Emails"));
    auto* form = new QFormLayout(frame);
    TexteEmailsAdresses = edit();
    TexteEmailsAdresses->setPlaceholderText(QStringLiteral("séparés par des ;"));
    CommandEmailTest = new QPushButton(QStringLiteral("Tester"));
    connect(CommandEmailTest, &QPushButton::clicked, this, [this] {
        // The test goes to the recipients as typed.
        keepEdits();
        commands_.CommandEmailTest_Click();
    });
    auto* recipients = new QHBoxLayout;
    recipients->addWidget(TexteEmailsAdresses, 1);
    recipients->addWidget(CommandEmailTest);
    form->addRow(QStringLiteral("Destinataires"), recipients);
    auto* switches = new QHBoxLayout;
    for (int i = 0; i < SettingsValues::kEmails; ++i) {
        CheckEmail[size_t(i)] = new QCheckBox(QString::number(i));
        switches->addWidget(CheckEmail[size_t(i)]);
    }
    form->addRow(QStringLiteral("Options"), switches);
    checkAlertes = new QCheckBox(QStringLiteral("Alertes et rétablissements par mail"));
    form->addRow(QString(), checkAlertes);
    smtpServeur = edit();
    smtpPort = new QSpinBox;
    smtpPort->setRange(1, 65535);
    smtpSecurite = new QComboBox;
    smtpSecurite->addItems({QStringLiteral("Aucune"), QStringLiteral("STARTTLS"), QStringLiteral("TLS")});
    smtpUser = edit();
    smtpPW = edit(true);
    smtpExpediteur = edit();
    form->addRow(QStringLiteral("Serveur SMTP"), withError(smtpServeur, QStringLiteral("EmailSmtp.Serveur")));
    form->addRow(QStringLiteral("Port SMTP"), withError(smtpPort, QStringLiteral("EmailSmtp.Port")));
    form->addRow(QStringLiteral("Sécurité"), smtpSecurite);
    form->addRow(QStringLiteral("Utilisateur"), smtpUser);
    form->addRow(QStringLiteral("Mot de passe"), smtpPW);
    form->addRow(QStringLiteral("Expéditeur"), smtpExpediteur);
    return frame;
}

QWidget* FrmSetupWindow::pageReception()
{
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    header(grid, {QStringLiteral("Adresse locale"), QStringLiteral("Port"),
                  QStringLiteral("Expéditeurs autorisés"), QString()});
    for (int i = 0; i < SettingsValues::kReceptions; ++i) {
        const size_t k = size_t(i);
        const int row = 1 + 2 * i;
        TexteUDPIPSource[k] = edit();
        TexteUDPPortSource[k] = edit();
        TexteUDPExpediteurs[k] = edit();
        TexteUDPExpediteurs[k]->setPlaceholderText(QStringLiteral("tous"));
        TexteUDPExpediteurs[k]->setToolTip(
            QStringLiteral("Adresses et réseaux séparés par des ; (192.168.1.0/24;10.0.0.5), vide: tous"));
        CheckUDPInActif[k] = new QCheckBox(QStringLiteral("Actif"));
        grid->addWidget(TexteUDPIPSource[k], row, 0);
        grid->addWidget(TexteUDPPortSource[k], row, 1);
        grid->addWidget(TexteUDPExpediteurs[k], row, 2);
        grid->addWidget(CheckUDPInActif[k], row, 3);
        addRowError(grid, row + 1, 4, rowKey("Reception", i));
        connect(CheckUDPInActif[k], &QCheckBox::clicked, this,
                [this, i](bool on) { switchReception(i, on); });
    }
    grid->setRowStretch(1 + 2 * SettingsValues::kReceptions, 1);
    return page;
}

QWidget* FrmSetupWindow::pageEmission()
{
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    header(grid, {QStringLiteral("Adresse"), QStringLiteral("Port 1"), QStringLiteral("Port 2"), QString(),
                  QStringLiteral("Texte de test"), QString()});
    for (int i = 0; i < SettingsValues::kEmissions; ++i) {
        const size_t k = size_t(i);
        const int row = 1 + 2 * i;
        TexteUDPIPCible[k] = edit();
        TexteUDPPortCible[k] = edit();
        TexteUDPPortBCible[k] = edit();
        CheckUDPOutActif[k] = new QCheckBox;
        TexteUDPDonneeEnvoyees[k] = edit();
        BtnUDPSend[k] = new QPushButton(QStringLiteral("Envoyer"));
        const QList<QWidget*> cells{TexteUDPIPCible[k],  TexteUDPPortCible[k],      TexteUDPPortBCible[k],
                                    CheckUDPOutActif[k], TexteUDPDonneeEnvoyees[k], BtnUDPSend[k]};
        for (int c = 0; c < cells.size(); ++c)
            grid->addWidget(cells[c], row, c);
        addRowError(grid, row + 1, int(cells.size()), rowKey("Emission", i));
        connect(CheckUDPOutActif[k], &QCheckBox::clicked, this,
                [this, i](bool on) { switchEmission(i, on); });
        connect(BtnUDPSend[k], &QPushButton::clicked, this, [this, i] { sendTest(i); });
    }
    grid->setRowStretch(1 + 2 * SettingsValues::kEmissions, 1);
    return page;
}

QWidget* FrmSetupWindow::pageFtp()
{
    auto* frame = new QGroupBox(QStringLiteral("Serveurs FTP"));
    auto* grid = new QGridLayout(frame);
    header(grid, {QStringLiteral("Serveur"), QStringLiteral("Port"), QStringLiteral("Utilisateur"),
                  QStringLiteral("Mot de passe"), QStringLiteral("Mode"), QStringLiteral("Dossier"),
                  QString(), QString(), QString(), QString()});
    for (int i = 0; i < SettingsValues::kServeursFtp; ++i) {
        const size_t k = size_t(i);
        const int row = 1 + 2 * i;
        TexteFTPServeur[k] = edit();
        TexteFTPNoPort[k] = edit();
        TexteFTPNoPort[k]->setMaximumWidth(70);
        TexteFTPUser[k] = edit();
        TexteFTPPW[k] = edit(true);
        ComboFTPCnx[k] = new QComboBox;
        ComboFTPCnx[k]->addItems({QStringLiteral("Active"), QStringLiteral("Passive")});
        TexteFTPDossier[k] = edit();
        CheckFTPSSL[k] = new QCheckBox(QStringLiteral("SSL"));
        CheckFTPSSH[k] = new QCheckBox(QStringLiteral("SSH"));
        CheckFTPRetry[k] = new QCheckBox(QStringLiteral("Retry"));
        CheckFTPRetry[k]->setToolTip(QStringLiteral("Retenter en cas d'échec de la connexion"));
        CommandFTPTester[k] = new QPushButton(QStringLiteral("Tester"));
        const QList<QWidget*> cells{TexteFTPServeur[k], TexteFTPNoPort[k],  TexteFTPUser[k], TexteFTPPW[k],
                                    ComboFTPCnx[k],     TexteFTPDossier[k], CheckFTPSSL[k],  CheckFTPSSH[k],
                                    CheckFTPRetry[k],   CommandFTPTester[k]};
        for (int c = 0; c < cells.size(); ++c)
            grid->addWidget(cells[c], row, c);
        addRowError(grid, row + 1, int(cells.size()), rowKey("ServeursFtp", i));
        connect(CommandFTPTester[k], &QPushButton::clicked, this, [this, i] {
            // The tester connects with the account as typed.
            keepEdits();
            commands_.CommandFTPTester_Click(i);
        });
    }
    return frame;
}

} // namespace nvx
