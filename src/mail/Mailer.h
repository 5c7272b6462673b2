#pragma once

#include "mail/MailMessage.h"
#include "net/SmtpClient.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace nvx {

class Clock;
class Host;
class Reporter;
struct ParametresSmtp;
struct SettingsValues;

// Sends the tool's technical mails: the test mail of the settings window and the alerts. Each
// mail carries the workstation block, then the caller's message; it goes through the SMTP
// account of the settings, to the given recipients and the support copies the installation
// calls for. Only one mail is on its way at a time in the whole process: a mail asked for while
// another one waits for the server (from an event handled meanwhile) is dropped, not queued.
class Mailer {
public:
    using WorkstationProvider = std::function<WorkstationInfo()>;

    // settings are read at each mail, so a change applies to the next one.
    Mailer(const SettingsValues& settings, Host& host, Reporter& reporter, Clock& clock,
           WorkstationProvider workstation);

    // Builds and sends one mail to destinataires (";"-separated). Unless force is set, blank
    // recipients send nothing. In test mode the outcome is shown in a message box. True when the
    // server took the mail; otherwise lastError() says why.
    bool EnvoiMail(bool modeTest, const QString& destinataires, const QString& message, const QString& titre,
                   bool force);
    QString lastError() const { return lastError_; }

    // Seconds allowed to reach the server, then for the conversation.
    void setTimeouts(int connectSec, int answerSec) { client_.setTimeouts(connectSec, answerSec); }
    // Asked between waits: once true, the mail in progress ends as a failure.
    std::function<bool()> abandon;

    // The sender's visible name.
    static const QString kSenderName;

private:
    bool send(bool modeTest, const QString& destinataires, const QString& message, const QString& titre);
    bool noServer(bool modeTest, const QString& caption);
    bool failed(bool modeTest, const QString& caption, const QString& reason, const QString& detail = {});
    void succeeded(bool modeTest, const QString& caption, const QString& subject, qsizetype recipients);
    QStringList supportCopies(const ParametresSmtp& smtp) const;
    QString withoutSecret(QString text) const;

    const SettingsValues& settings_;
    Host& host_;
    Reporter& reporter_;
    Clock& clock_;
    WorkstationProvider workstation_;
    SmtpClient client_;
    QString lastError_;
};

// The address mails are sent from: the configured sender, else the login when it is an address.
QString senderAddress(const ParametresSmtp& smtp);

// The SMTP account of the settings.
SmtpAccount smtpAccount(const ParametresSmtp& smtp);

} // namespace nvx
