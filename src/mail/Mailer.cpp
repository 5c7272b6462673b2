#include "mail/Mailer.h"

#include "common/Clock.h"
#include "common/Host.h"
#include "common/NativePath.h"
#include "common/Reporter.h"
#include "config/SettingsValues.h"
#include "mail/MailText.h"

namespace nvx {

namespace {

// True while a mail is being built or sent, whichever Mailer sends it.
bool sending = false;

// Sets the guard for one mail and clears it on every way out.
class SendingGuard {
public:
    SendingGuard() { sending = true; }
    ~SendingGuard() { sending = false; }
    SendingGuard(const SendingGuard&) = delete;
    SendingGuard& operator=(const SendingGuard&) = delete;
};

// Position in the installation's option string of the switch for the maker's support copies.
constexpr qsizetype kSupportCopiesOption = 9;

const QString kNoServer = QStringLiteral("Serveur SMTP non configuré");
const QString kNoRecipient = QStringLiteral("aucun destinataire");

} // namespace

const QString Mailer::kSenderName = QStringLiteral("Velmora Assistance");

QString senderAddress(const ParametresSmtp& smtp)
{
    const QString configured = smtp.Expediteur.trimmed();
    if (!configured.isEmpty())
        return configured;
    const QString user = smtp.User.trimmed();
    return user.contains(u'@') ? user : QString();
}

SmtpAccount smtpAccount(const ParametresSmtp& smtp)
{
    SmtpAccount account;
    account.server = smtp.Serveur.trimmed();
    account.port = smtp.Port;
    account.security = smtp.Securite == 0   ? SmtpAccount::Security::None
                       : smtp.Securite == 2 ? SmtpAccount::Security::ImplicitTls
                                            : SmtpAccount::Security::StartTls;
    account.user = smtp.User.trimmed();
    account.password = smtp.PW;
    // The settings keep the suite's path form; curl needs the file as it is on disk.
    const QString certificat = smtp.Certificat.trimmed();
    account.caFile = certificat.isEmpty() ? QString() : NativePath(certificat);
    return account;
}

Mailer::Mailer(const SettingsValues& settings, Host& host, Reporter& reporter, Clock& clock,
               WorkstationProvider workstation)
    : settings_(settings), host_(host), reporter_(reporter), clock_(clock),
      workstation_(std::move(workstation)), client_(host)
{
    client_.abandon = [this] { return abandon && abandon(); };
}

bool Mailer::EnvoiMail(bool modeTest, const QString& destinataires, const QString& message,
                       const QString& titre, bool force)
{
    if (sending) {
        reporter_.trace(QStringLiteral("Mail: a mail is already on its way, this one is dropped: ") +
                        (titre.trimmed().isEmpty() ? message : titre.trimmed()));
        return false;
    }
    const SendingGuard guard;
    if (!force && destinataires.trimmed().isEmpty()) {
        lastError_ = kNoRecipient;
        return false;
    }
    return send(modeTest, destinataires, message, titre);
}

bool Mailer::send(bool modeTest, const QString& destinataires, const QString& message, const QString& titre)
{
    const ParametresSmtp smtp = settings_.EmailSmtp;
    const WorkstationInfo workstation = workstation_ ? workstation_() : WorkstationInfo{};
    if (smtp.Serveur.trimmed().isEmpty())
        return noServer(modeTest, workstation.mainCaption);

    MailContent mail;
    mail.senderName = kSenderName;
    mail.senderAddress = senderAddress(smtp);
    mail.to = splitRecipients(destinataires);
    mail.cc = supportCopies(smtp);
    if (mail.to.isEmpty() && mail.cc.isEmpty()) {
        reporter_.trace(QStringLiteral("Mail: no recipient at all, the mail is not sent"));
        return failed(modeTest, workstation.mainCaption, kNoRecipient);
    }
    if (mail.senderAddress.isEmpty())
        return failed(modeTest, workstation.mainCaption,
                      QStringLiteral("adresse de l'expéditeur non configurée"));
    mail.date = clock_.now();
    mail.subject = mailSubject(workstation, titre);
    mail.body = mailBody(workstation, mail.date, message);

    const QByteArray wire = buildMessage(mail, newMessageId(mail.senderAddress));
    const SmtpResult result = client_.send(smtpAccount(smtp), mail.senderAddress, mail.to + mail.cc, wire);
    if (!result.ok())
        return failed(modeTest, workstation.mainCaption, result.reason, result.transfer.erreur);
    succeeded(modeTest, workstation.mainCaption, mail.subject, mail.to.size() + mail.cc.size());
    return true;
}

// Nothing can be sent: the operator is told in test mode, otherwise the trace keeps it.
bool Mailer::noServer(bool modeTest, const QString& caption)
{
    lastError_ = kNoServer;
    if (modeTest)
        host_.messageBox(Host::Icon::Exclamation, Host::Buttons::Ok, caption, kNoServer, Host::Answer::Ok);
    else
        reporter_.trace(QStringLiteral("Err: Mail: ") + kNoServer);
    return false;
}

bool Mailer::failed(bool modeTest, const QString& caption, const QString& reason, const QString& detail)
{
    lastError_ = withoutSecret(reason);
    if (modeTest) {
        host_.messageBox(Host::Icon::Exclamation, Host::Buttons::Ok, caption,
                         QStringLiteral("Un problème est survenu lors de l'envoi du mail.\n\n"
                                        "Vérifiez votre paramétrage.\n") +
                             lastError_,
                         Host::Answer::Ok);
    } else {
        reporter_.trace(QStringLiteral("Err: Mail: Not sended"));
    }
    const QString why = detail.isEmpty() ? lastError_ : lastError_ + QStringLiteral(" (") + detail + u')';
    reporter_.trace(QStringLiteral("Mail: ") + withoutSecret(why));
    return false;
}

void Mailer::succeeded(bool modeTest, const QString& caption, const QString& subject, qsizetype recipients)
{
    lastError_.clear();
    reporter_.trace(QStringLiteral("Mail: sent to %1 recipient(s): ").arg(recipients) + subject);
    if (modeTest)
        host_.messageBox(
            Host::Icon::Information, Host::Buttons::Ok, caption,
            QStringLiteral("Vérifiez dans votre boite mail si vous recevez bien ce mail de test.\n\n"
                           "Pensez à vérifier dans vos spams."),
            Host::Answer::Ok);
}

QStringList Mailer::supportCopies(const ParametresSmtp& smtp) const
{
    QStringList copies;
    if (smtp.OptionsBase.mid(kSupportCopiesOption, 1) == QStringLiteral("1"))
        copies << splitRecipients(smtp.CopiesSupport);
    if (EstCeUneRadioDravik(smtp.NoClient))
        copies << splitRecipients(smtp.CopiePartenaire);
    return copies;
}

QString Mailer::withoutSecret(QString text) const
{
    const QString password = settings_.EmailSmtp.PW;
    if (!password.isEmpty())
        text.replace(password, QStringLiteral("********"));
    return text;
}

} // namespace nvx
