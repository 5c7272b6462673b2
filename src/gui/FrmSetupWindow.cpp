#include "gui/FrmSetupWindow.h"

#include "app/FrmSetup.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
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

// A page of rows, scrolled when it is taller than the window.
QWidget* scrolled(QWidget* inner)
{
    auto* area = new QScrollArea;
    area->setWidget(inner);
    area->setWidgetResizable(true);
    return area;
}

// The French title of a table column, for the error line beneath a row.
QString columnTitle(const QString& field)
{
    static const QHash<QString, QString> titles{{QStringLiteral("IP"), QStringLiteral("Adresse")},
                                                {QStringLiteral("Port"), QStringLiteral("Port")},
                                                {QStringLiteral("Port1"), QStringLiteral("Port 1")},
                                                {QStringLiteral("Port2"), QStringLiteral("Port 2")},
                                                {QStringLiteral("Serveur"), QStringLiteral("Serveur")},
                                                {QStringLiteral("NoPort"), QStringLiteral("Port")}};
    return titles.value(field, field);
}

QString groupName(FieldError::Group group)
{
    switch (group) {
    case FieldError::Group::General:
        return QStringLiteral("Général");
    case FieldError::Group::Network:
        return QStringLiteral("Réseau");
    case FieldError::Group::Ftp:
        return QStringLiteral("FTP");
    }
    return {};
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
    connect(fermer, &QPushButton::clicked, this, &QWidget::close);
    connect(&settings_, &Settings::groupsEdited, this, &FrmSetupWindow::showEditedElsewhere);
    auto* boutons = new QHBoxLayout;
    boutons->addWidget(labelErreurs, 1);
    boutons->addWidget(enregistrer);
    boutons->addWidget(fermer);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_);
    layout->addLayout(boutons);
    resize(980, 600);
    load();
}

void FrmSetupWindow::load()
{
    loaded_ = settings_.values();
    const SettingsValues& v = loaded_;
    TexteDossierConvertSons->setText(v.TexteDossierConvertSons);
    TexteDossierXML->setText(v.TexteDossierXML);
    TexteComputerNameAdresse[0]->setText(settings_.ComputerNameTexte);
    TexteComputerNameAdresse[1]->setText(settings_.HostAddressTexte);
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
    plateformeDelaiConnexion->setValue(v.Plateforme.DelaiConnexion);
    plateformeDelaiReponse->setValue(v.Plateforme.DelaiReponse);
    plateformeConnexionAuDemarrage->setChecked(v.Plateforme.ConnexionAuDemarrage);
    plateformeCertificatsCA->setText(v.Plateforme.CertificatsCA);
    for (size_t i = 0; i < TexteUDPIPSource.size(); ++i) {
        TexteUDPIPSource[i]->setText(v.Reception[i].IP);
        TexteUDPPortSource[i]->setText(v.Reception[i].Port);
        TexteUDPExpediteurs[i]->setText(v.Reception[i].Expediteurs);
        CheckUDPInActif[i]->setChecked(v.Reception[i].Actif);
        lockFields({TexteUDPIPSource[i], TexteUDPPortSource[i], TexteUDPExpediteurs[i]},
                   v.Reception[i].Actif);
    }
    for (size_t i = 0; i < TexteUDPIPCible.size(); ++i) {
        CheckUDPOutActif[i]->setText(v.Emission[i].libelle);
        TexteUDPIPCible[i]->setText(v.Emission[i].IP);
        TexteUDPPortCible[i]->setText(v.Emission[i].Port1);
        TexteUDPPortBCible[i]->setText(v.Emission[i].Port2);
        CheckUDPOutActif[i]->setChecked(v.Emission[i].Actif);
        lockFields({TexteUDPIPCible[i], TexteUDPPortCible[i], TexteUDPPortBCible[i]}, v.Emission[i].Actif);
        TexteUDPDonneeEnvoyees[i]->setText(commands_.TexteUDPDonneeEnvoyees[i]);
    }
    for (size_t i = 0; i < TexteFTPServeur.size(); ++i)
        loadFtpRow(i, v.ServeursFtp[i]);
    showErrors({});
}

void FrmSetupWindow::loadFtpRow(size_t i, const ServeurFtp& f)
{
    TexteFTPServeur[i]->setText(f.Serveur);
    TexteFTPNoPort[i]->setText(f.NoPort);
    TexteFTPUser[i]->setText(f.User);
    TexteFTPPW[i]->setText(f.PW);
    ComboFTPCnx[i]->setCurrentIndex(f.Cnx == 1 ? 1 : 0);
    TexteFTPDossier[i]->setText(f.Dossier);
    CheckFTPSSL[i]->setChecked(f.SecureSSL);
    CheckFTPSSH[i]->setChecked(f.SecureSSH);
    CheckFTPRetry[i]->setChecked(f.Retry);
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
    v.Plateforme.DelaiConnexion = plateformeDelaiConnexion->value();
    v.Plateforme.DelaiReponse = plateformeDelaiReponse->value();
    v.Plateforme.ConnexionAuDemarrage = plateformeConnexionAuDemarrage->isChecked();
    v.Plateforme.CertificatsCA = plateformeCertificatsCA->text();
    for (size_t i = 0; i < TexteUDPIPSource.size(); ++i)
        v.Reception[i] = {TexteUDPIPSource[i]->text(), TexteUDPPortSource[i]->text(),
                          CheckUDPInActif[i]->isChecked(), TexteUDPExpediteurs[i]->text()};
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
        f.Cnx = ComboFTPCnx[i]->currentIndex();
        f.Dossier = TexteFTPDossier[i]->text();
        f.SecureSSL = CheckFTPSSL[i]->isChecked();
        f.SecureSSH = CheckFTPSSH[i]->isChecked();
        f.Retry = CheckFTPRetry[i]->isChecked();
    }
    return v;
}

QList<FieldError> FrmSetupWindow::CommandSave_Click()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const QList<FieldError> errors = commands_.appliquer(edited());
    commands_.CommandSave_Click();
    QApplication::restoreOverrideCursor();
    loaded_ = settings_.values();
    showErrors(errors);
    return errors;
}

void FrmSetupWindow::keepEdits()
{
    const QList<FieldError> errors = commands_.retenir(edited());
    loaded_ = settings_.values();
    showErrors(errors);
}

void FrmSetupWindow::showEditedElsewhere(Settings::Groups groups)
{
    const SettingsValues now = settings_.values();
    if (groups & Settings::Group::General) {
        if (now.TexteDossierConvertSons != loaded_.TexteDossierConvertSons)
            TexteDossierConvertSons->setText(now.TexteDossierConvertSons);
        if (now.TexteDossierXML != loaded_.TexteDossierXML)
            TexteDossierXML->setText(now.TexteDossierXML);
        loaded_.TexteDossierConvertSons = now.TexteDossierConvertSons;
        loaded_.TexteDossierXML = now.TexteDossierXML;
    }
    if (groups & Settings::Group::Ftp) {
        for (size_t i = 0; i < TexteFTPServeur.size(); ++i) {
            if (now.ServeursFtp[i] == loaded_.ServeursFtp[i])
                continue;
            loadFtpRow(i, now.ServeursFtp[i]);
            loaded_.ServeursFtp[i] = now.ServeursFtp[i];
        }
    }
}

void FrmSetupWindow::pickFolder(QLineEdit* field)
{
    if (const auto chosen = commands_.choisirDossier(field->text()))
        field->setText(*chosen);
}

void FrmSetupWindow::sendTest(int index)
{
    const size_t k = size_t(index);
    // The row as typed: its address and ports are taken when valid, as the other tests do.
    keepEdits();
    commands_.TexteUDPDonneeEnvoyees[k] = TexteUDPDonneeEnvoyees[k]->text();
    commands_.BtnUDPSend_Click(index);
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
    v.Reception[k] = {TexteUDPIPSource[k]->text(), TexteUDPPortSource[k]->text(), actif,
                      TexteUDPExpediteurs[k]->text()};
    if (!applyEndpoint(v)) {
        CheckUDPInActif[k]->setChecked(settings_.Reception[k].Actif);
        return;
    }
    loaded_.Reception[k] = settings_.Reception[k];
    lockFields({TexteUDPIPSource[k], TexteUDPPortSource[k], TexteUDPExpediteurs[k]}, actif);
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
    QHash<QString, QStringList> lines;
    QStringList groups;
    for (const FieldError& e : errors) {
        if (!groups.contains(groupName(e.group)))
            groups << groupName(e.group);
        if (errorLabels_.contains(e.field)) {
            lines[e.field] << e.message;
            continue;
        }
        // A field of a table row: its line is beneath the row, named by its column.
        const qsizetype end = e.field.indexOf(u']');
        lines[e.field.left(end + 1)] << columnTitle(e.field.mid(end + 2)) + QStringLiteral(": ") + e.message;
    }
    for (auto it = errorLabels_.cbegin(); it != errorLabels_.cend(); ++it) {
        it.value()->setText(lines.value(it.key()).join(u'\n'));
        it.value()->setVisible(lines.contains(it.key()));
    }
    labelErreurs->setText(groups.isEmpty()
                              ? QString()
                              : QStringLiteral("Non enregistré (") + groups.join(QStringLiteral(", ")) +
                                    QStringLiteral("): corrigez les champs signalés."));
}

QString FrmSetupWindow::errorShown(const QString& field) const
{
    const QLabel* label = errorLabels_.value(field);
    if (!label)
        label = errorLabels_.value(field.left(field.indexOf(u']') + 1));
    return label ? label->text() : QString();
}

void FrmSetupWindow::closeEvent(QCloseEvent* event)
{
    // The close box only hides, keeping what is typed: the settings are asked for at program end.
    event->ignore();
    keepEdits();
    hide();
}

} // namespace nvx
