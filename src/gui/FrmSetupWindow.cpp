#include "gui/FrmSetupWindow.h"

#include "app/FrmSetup.h"
#include "config/Settings.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabWidget>
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

// A page of rows, scrolled when it is taller than the window.
QWidget* scrolled(QWidget* inner)
{
    auto* area = new QScrollArea;
    area->setWidget(inner);
    area->setWidgetResizable(true);
    return area;
}

void header(QGridLayout* grid, const QStringList& titles)
{
    for (int c = 0; c < titles.size(); ++c)
        grid->addWidget(new QLabel(titles[c]), 0, c);
}

} // namespace

FrmSetupWindow::FrmSetupWindow(Settings& settings, FrmSetup& commands, QWidget* parent)
    : QWidget(parent, Qt::Window), settings_(settings), commands_(commands)
{
    setObjectName(QStringLiteral("FrmSetup"));
    setWindowTitle(QStringLiteral("Options: ") + settings.caption());
    pages_ = new QTabWidget;
    pages_->addTab(pageGeneral(), QStringLiteral("Général"));
    pages_->addTab(scrolled(pageReception()), QStringLiteral("Réception UDP"));
    pages_->addTab(scrolled(pageEmission()), QStringLiteral("Emission UDP"));
    pages_->addTab(scrolled(pageFtp()), QStringLiteral("Comptes FTP"));
    labelErreurs = new QLabel;
    labelErreurs->setStyleSheet(QStringLiteral("color: #b00020"));
    labelErreurs->setWordWrap(true);
    auto* enregistrer = new QPushButton(QStringLiteral("Enregistrer"));
    auto* fermer = new QPushButton(QStringLiteral("Fermer"));
    connect(enregistrer, &QPushButton::clicked, this, [this] { CommandSave_Click(); });
    connect(fermer, &QPushButton::clicked, this, &QWidget::hide);
    auto* boutons = new QHBoxLayout;
    boutons->addWidget(labelErreurs, 1);
    boutons->addWidget(enregistrer);
    boutons->addWidget(fermer);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_);
    layout->addLayout(boutons);
    resize(900, 560);
    load();
}

QWidget* FrmSetupWindow::pageGeneral()
{
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    TexteDossierConvertSons = edit();
    TexteDossierXML = edit();
    form->addRow(QStringLiteral("Dossier des sons convertis"), TexteDossierConvertSons);
    form->addRow(QStringLiteral("Dossier XML"), TexteDossierXML);
    TexteEmailsAdresses = edit();
    form->addRow(QStringLiteral("Emails (séparés par des ;)"), TexteEmailsAdresses);
    auto* switches = new QHBoxLayout;
    for (int i = 0; i < SettingsValues::kEmails; ++i) {
        CheckEmail[size_t(i)] = new QCheckBox(QString::number(i));
        switches->addWidget(CheckEmail[size_t(i)]);
    }
    form->addRow(QStringLiteral("Options des mails"), switches);
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
    form->addRow(QStringLiteral("Serveur SMTP"), smtpServeur);
    form->addRow(QStringLiteral("Port SMTP"), smtpPort);
    form->addRow(QStringLiteral("Sécurité"), smtpSecurite);
    form->addRow(QStringLiteral("Utilisateur SMTP"), smtpUser);
    form->addRow(QStringLiteral("Mot de passe SMTP"), smtpPW);
    form->addRow(QStringLiteral("Expéditeur"), smtpExpediteur);
    plateformeURL = edit();
    plateformeCle = edit();
    plateformeSecret = edit(true);
    form->addRow(QStringLiteral("Plateforme: URL"), plateformeURL);
    form->addRow(QStringLiteral("Plateforme: clé"), plateformeCle);
    form->addRow(QStringLiteral("Plateforme: secret"), plateformeSecret);
    auto* tester = new QPushButton(QStringLiteral("Tester"));
    form->addRow(QStringLiteral("Mail de test"), tester);
    connect(tester, &QPushButton::clicked, this, [this] {
        commands_.appliquer(edited());
        commands_.CommandEmailTest_Click();
    });
    return page;
}

QWidget* FrmSetupWindow::pageReception()
{
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    header(grid, {QStringLiteral("Adresse"), QStringLiteral("Port"), QStringLiteral("Actif")});
    for (int i = 0; i < SettingsValues::kReceptions; ++i) {
        const size_t k = size_t(i);
        TexteUDPIPSource[k] = edit();
        TexteUDPPortSource[k] = edit();
        CheckUDPInActif[k] = new QCheckBox(QStringLiteral("Actif"));
        grid->addWidget(TexteUDPIPSource[k], i + 1, 0);
        grid->addWidget(TexteUDPPortSource[k], i + 1, 1);
        grid->addWidget(CheckUDPInActif[k], i + 1, 2);
        connect(CheckUDPInActif[k], &QCheckBox::clicked, this,
                [this, i](bool on) { switchReception(i, on); });
    }
    return page;
}

QWidget* FrmSetupWindow::pageEmission()
{
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    header(grid, {QStringLiteral("Adresse"), QStringLiteral("Port 1"), QStringLiteral("Port 2"), QString()});
    for (int i = 0; i < SettingsValues::kEmissions; ++i) {
        const size_t k = size_t(i);
        TexteUDPIPCible[k] = edit();
        TexteUDPPortCible[k] = edit();
        TexteUDPPortBCible[k] = edit();
        CheckUDPOutActif[k] = new QCheckBox;
        grid->addWidget(TexteUDPIPCible[k], i + 1, 0);
        grid->addWidget(TexteUDPPortCible[k], i + 1, 1);
        grid->addWidget(TexteUDPPortBCible[k], i + 1, 2);
        grid->addWidget(CheckUDPOutActif[k], i + 1, 3);
        connect(CheckUDPOutActif[k], &QCheckBox::clicked, this,
                [this, i](bool on) { switchEmission(i, on); });
    }
    return page;
}

QWidget* FrmSetupWindow::pageFtp()
{
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    header(grid, {QStringLiteral("Serveur"), QStringLiteral("Port"), QStringLiteral("Utilisateur"),
                  QStringLiteral("Mot de passe"), QStringLiteral("Dossier"), QStringLiteral("SSL"),
                  QStringLiteral("SSH"), QString()});
    for (int i = 0; i < SettingsValues::kServeursFtp; ++i) {
        const size_t k = size_t(i);
        TexteFTPServeur[k] = edit();
        TexteFTPNoPort[k] = edit();
        TexteFTPUser[k] = edit();
        TexteFTPPW[k] = edit(true);
        TexteFTPDossier[k] = edit();
        CheckFTPSSL[k] = new QCheckBox;
        CheckFTPSSH[k] = new QCheckBox;
        auto* tester = new QPushButton(QStringLiteral("Tester"));
        const QList<QWidget*> row{TexteFTPServeur[k], TexteFTPNoPort[k], TexteFTPUser[k], TexteFTPPW[k],
                                  TexteFTPDossier[k], CheckFTPSSL[k],    CheckFTPSSH[k],  tester};
        for (int c = 0; c < row.size(); ++c)
            grid->addWidget(row[c], i + 1, c);
        connect(tester, &QPushButton::clicked, this, [this, i] {
            commands_.appliquer(edited());
            commands_.CommandFTPTester_Click(i);
        });
    }
    return page;
}

void FrmSetupWindow::load()
{
    loaded_ = settings_.values();
    const SettingsValues& v = loaded_;
    TexteDossierConvertSons->setText(v.TexteDossierConvertSons);
    TexteDossierXML->setText(v.TexteDossierXML);
    TexteEmailsAdresses->setText(v.TexteEmailsAdresses);
    for (size_t i = 0; i < CheckEmail.size(); ++i)
        CheckEmail[i]->setChecked(v.CheckEmail[i]);
    checkAlertes->setChecked(v.Alertes);
    smtpServeur->setText(v.EmailSmtp.Serveur);
    smtpPort->setValue(v.EmailSmtp.Port);
    smtpSecurite->setCurrentIndex(v.EmailSmtp.Securite);
    smtpUser->setText(v.EmailSmtp.User);
    smtpPW->setText(v.EmailSmtp.PW);
    smtpExpediteur->setText(v.EmailSmtp.Expediteur);
    plateformeURL->setText(v.Plateforme.URL);
    plateformeCle->setText(v.Plateforme.Cle);
    plateformeSecret->setText(v.Plateforme.Secret);
    for (size_t i = 0; i < TexteUDPIPSource.size(); ++i) {
        TexteUDPIPSource[i]->setText(v.Reception[i].IP);
        TexteUDPPortSource[i]->setText(v.Reception[i].Port);
        CheckUDPInActif[i]->setChecked(v.Reception[i].Actif);
        lockFields({TexteUDPIPSource[i], TexteUDPPortSource[i]}, v.Reception[i].Actif);
    }
    for (size_t i = 0; i < TexteUDPIPCible.size(); ++i) {
        CheckUDPOutActif[i]->setText(v.Emission[i].libelle);
        TexteUDPIPCible[i]->setText(v.Emission[i].IP);
        TexteUDPPortCible[i]->setText(v.Emission[i].Port1);
        TexteUDPPortBCible[i]->setText(v.Emission[i].Port2);
        CheckUDPOutActif[i]->setChecked(v.Emission[i].Actif);
        lockFields({TexteUDPIPCible[i], TexteUDPPortCible[i], TexteUDPPortBCible[i]}, v.Emission[i].Actif);
    }
    for (size_t i = 0; i < TexteFTPServeur.size(); ++i) {
        const ServeurFtp& f = v.ServeursFtp[i];
        TexteFTPServeur[i]->setText(f.Serveur);
        TexteFTPNoPort[i]->setText(f.NoPort);
        TexteFTPUser[i]->setText(f.User);
        TexteFTPPW[i]->setText(f.PW);
        TexteFTPDossier[i]->setText(f.Dossier);
        CheckFTPSSL[i]->setChecked(f.SecureSSL);
        CheckFTPSSH[i]->setChecked(f.SecureSSH);
    }
    showErrors({});
}

SettingsValues FrmSetupWindow::edited() const
{
    // What the window does not show is kept as loaded.
    SettingsValues v = loaded_;
    v.TexteDossierConvertSons = TexteDossierConvertSons->text();
    v.TexteDossierXML = TexteDossierXML->text();
    v.TexteEmailsAdresses = TexteEmailsAdresses->text();
    for (size_t i = 0; i < CheckEmail.size(); ++i)
        v.CheckEmail[i] = CheckEmail[i]->isChecked();
    v.Alertes = checkAlertes->isChecked();
    v.EmailSmtp.Serveur = smtpServeur->text();
    v.EmailSmtp.Port = smtpPort->value();
    v.EmailSmtp.Securite = smtpSecurite->currentIndex();
    v.EmailSmtp.User = smtpUser->text();
    v.EmailSmtp.PW = smtpPW->text();
    v.EmailSmtp.Expediteur = smtpExpediteur->text();
    v.Plateforme.URL = plateformeURL->text();
    v.Plateforme.Cle = plateformeCle->text();
    v.Plateforme.Secret = plateformeSecret->text();
    for (size_t i = 0; i < TexteUDPIPSource.size(); ++i)
        v.Reception[i] = {TexteUDPIPSource[i]->text(), TexteUDPPortSource[i]->text(),
                          CheckUDPInActif[i]->isChecked()};
    for (size_t i = 0; i < TexteUDPIPCible.size(); ++i) {
        v.Emission[i].IP = TexteUDPIPCible[i]->text();
        v.Emission[i].Port1 = TexteUDPPortCible[i]->text();
        v.Emission[i].Port2 = TexteUDPPortBCible[i]->text();
        v.Emission[i].Actif = CheckUDPOutActif[i]->isChecked();
    }
    for (size_t i = 0; i < TexteFTPServeur.size(); ++i) {
        ServeurFtp& f = v.ServeursFtp[i];
        f.Serveur = TexteFTPServeur[i]->text();
        f.NoPort = TexteFTPNoPort[i]->text();
        f.User = TexteFTPUser[i]->text();
        f.PW = TexteFTPPW[i]->text();
        f.Dossier = TexteFTPDossier[i]->text();
        f.SecureSSL = CheckFTPSSL[i]->isChecked();
        f.SecureSSH = CheckFTPSSH[i]->isChecked();
    }
    return v;
}

QList<FieldError> FrmSetupWindow::CommandSave_Click()
{
    const QList<FieldError> errors = commands_.appliquer(edited());
    commands_.CommandSave_Click();
    loaded_ = settings_.values();
    showErrors(errors);
    return errors;
}

bool FrmSetupWindow::applyEndpoint(const SettingsValues& values)
{
    const QList<FieldError> errors = commands_.appliquer(values);
    showErrors(errors);
    return errors.isEmpty();
}

void FrmSetupWindow::switchReception(int index, bool actif)
{
    const size_t k = size_t(index);
    // The endpoint opens with the address and port shown, which stay locked while it listens.
    SettingsValues v = settings_.values();
    v.Reception[k] = {TexteUDPIPSource[k]->text(), TexteUDPPortSource[k]->text(), actif};
    if (!applyEndpoint(v)) {
        CheckUDPInActif[k]->setChecked(settings_.Reception[k].Actif);
        return;
    }
    loaded_.Reception[k] = settings_.Reception[k];
    lockFields({TexteUDPIPSource[k], TexteUDPPortSource[k]}, actif);
}

void FrmSetupWindow::switchEmission(int index, bool actif)
{
    const size_t k = size_t(index);
    SettingsValues v = settings_.values();
    v.Emission[k].IP = TexteUDPIPCible[k]->text();
    v.Emission[k].Port1 = TexteUDPPortCible[k]->text();
    v.Emission[k].Port2 = TexteUDPPortBCible[k]->text();
    v.Emission[k].Actif = actif;
    if (!applyEndpoint(v)) {
        CheckUDPOutActif[k]->setChecked(settings_.Emission[k].Actif);
        return;
    }
    loaded_.Emission[k] = settings_.Emission[k];
    lockFields({TexteUDPIPCible[k], TexteUDPPortCible[k], TexteUDPPortBCible[k]}, actif);
}

void FrmSetupWindow::lockFields(std::initializer_list<QLineEdit*> fields, bool locked)
{
    for (QLineEdit* e : fields)
        e->setReadOnly(locked);
}

void FrmSetupWindow::showErrors(const QList<FieldError>& errors)
{
    QStringList lignes;
    for (const FieldError& e : errors)
        lignes << e.field + QStringLiteral(": ") + e.message;
    labelErreurs->setText(lignes.join(u'\n'));
}

void FrmSetupWindow::closeEvent(QCloseEvent* event)
{
    // The close box only hides: the settings are asked for at program end.
    event->ignore();
    hide();
}

} // namespace nvx
