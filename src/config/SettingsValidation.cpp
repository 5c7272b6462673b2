#include "config/SettingsValidation.h"

#include <QRegularExpression>
#include <QUrl>

namespace nvx {

namespace {

const QString kAdresse = QStringLiteral("Adresse invalide: une adresse IPv4 ou un nom d'hôte est attendu");
const QString kPort = QStringLiteral("Port invalide: un nombre de 1 à 65535 est attendu");
const QString kObligatoire = QStringLiteral("Obligatoire pour un point actif");

using Group = FieldError::Group;

QString row(const char* table, int index, const char* field)
{
    return QString::fromLatin1(table) + u'[' + QString::number(index) + QStringLiteral("].") +
           QString::fromLatin1(field);
}

// A blank field is left for the row's own rule; a filled one must be valid.
void checkAddress(QList<FieldError>& errors, Group group, const QString& field, const QString& value)
{
    if (!value.trimmed().isEmpty() && !adresseValide(value.trimmed()))
        errors.append({group, field, kAdresse});
}

void checkPort(QList<FieldError>& errors, Group group, const QString& field, const QString& value)
{
    if (!value.trimmed().isEmpty() && !portValide(value.trimmed()))
        errors.append({group, field, kPort});
}

void checkRequired(QList<FieldError>& errors, Group group, const QString& field, const QString& value)
{
    if (value.trimmed().isEmpty())
        errors.append({group, field, kObligatoire});
}

void checkNetwork(QList<FieldError>& errors, const SettingsValues& v)
{
    for (int i = 0; i < SettingsValues::kReceptions; ++i) {
        const ReceptionUdp& r = v.Reception[size_t(i)];
        checkAddress(errors, Group::Network, row("Reception", i, "IP"), r.IP);
        checkPort(errors, Group::Network, row("Reception", i, "Port"), r.Port);
        for (const QString& entree : r.Expediteurs.split(u';')) {
            if (!entree.trimmed().isEmpty() && !expediteurValide(entree.trimmed())) {
                errors.append(
                    {Group::Network, row("Reception", i, "Expediteurs"),
                     QStringLiteral("Expéditeur invalide: '") + entree.trimmed() +
                         QStringLiteral("': une adresse IPv4 ou un réseau (192.168.1.0/24) est attendu")});
                break;
            }
        }
        if (r.Actif) {
            checkRequired(errors, Group::Network, row("Reception", i, "IP"), r.IP);
            checkRequired(errors, Group::Network, row("Reception", i, "Port"), r.Port);
        }
    }
    for (int i = 0; i < SettingsValues::kEmissions; ++i) {
        const EmissionUdp& e = v.Emission[size_t(i)];
        checkAddress(errors, Group::Network, row("Emission", i, "IP"), e.IP);
        checkPort(errors, Group::Network, row("Emission", i, "Port1"), e.Port1);
        checkPort(errors, Group::Network, row("Emission", i, "Port2"), e.Port2);
        if (e.Actif) {
            checkRequired(errors, Group::Network, row("Emission", i, "IP"), e.IP);
            checkRequired(errors, Group::Network, row("Emission", i, "Port1"), e.Port1);
        }
    }
}

} // namespace

bool adresseValide(const QString& adresse)
{
    static const QRegularExpression quatreNombres(QStringLiteral("^\\d{1,3}(\\.\\d{1,3}){3}$"));
    if (quatreNombres.match(adresse).hasMatch()) {
        for (const QString& partie : adresse.split(u'.'))
            if (partie.toInt() > 255)
                return false;
        return true;
    }
    // Labels of letters, digits and hyphens, not starting or ending with one; not all digits.
    static const QRegularExpression nom(
        QStringLiteral("^(?=.{1,253}$)([A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?)(\\.[A-Za-z0-9]([A-Za-z0-"
                       "9-]{0,61}[A-Za-z0-9])?)*$"));
    static const QRegularExpression chiffresEtPoints(QStringLiteral("^[0-9.]+$"));
    return nom.match(adresse).hasMatch() && !chiffresEtPoints.match(adresse).hasMatch();
}

bool expediteurValide(const QString& entree)
{
    static const QRegularExpression quatreNombres(QStringLiteral("^\\d{1,3}(\\.\\d{1,3}){3}(/\\d{1,2})?$"));
    if (!quatreNombres.match(entree).hasMatch())
        return false;
    const QString adresse = entree.section(u'/', 0, 0);
    for (const QString& partie : adresse.split(u'.'))
        if (partie.toInt() > 255)
            return false;
    return !entree.contains(u'/') || entree.section(u'/', 1).toInt() <= 32;
}

bool portValide(const QString& port)
{
    bool ok = false;
    const int n = port.toInt(&ok);
    return ok && n >= 1 && n <= 65535 && !port.startsWith(u'+');
}

QList<FieldError> settingsErrors(const SettingsValues& v)
{
    QList<FieldError> errors;
    const QString url = v.Plateforme.URL.trimmed();
    if (!url.isEmpty()) {
        const QUrl adresse(url, QUrl::StrictMode);
        const QString schema = adresse.scheme().toLower();
        if (!adresse.isValid() || (schema != u"http" && schema != u"https") || adresse.host().isEmpty())
            errors.append({Group::General, QStringLiteral("Plateforme.URL"),
                           QStringLiteral("Adresse de la plateforme invalide: http:// ou https:// suivi du "
                                          "nom du serveur est attendu")});
    }
    checkAddress(errors, Group::General, QStringLiteral("EmailSmtp.Serveur"), v.EmailSmtp.Serveur);
    if (v.EmailSmtp.Port < 1 || v.EmailSmtp.Port > 65535)
        errors.append({Group::General, QStringLiteral("EmailSmtp.Port"), kPort});
    checkNetwork(errors, v);
    for (int i = 0; i < SettingsValues::kServeursFtp; ++i) {
        const ServeurFtp& f = v.ServeursFtp[size_t(i)];
        checkAddress(errors, Group::Ftp, row("ServeursFtp", i, "Serveur"), f.Serveur);
        if (!f.Serveur.trimmed().isEmpty())
            checkPort(errors, Group::Ftp, row("ServeursFtp", i, "NoPort"), f.NoPort);
    }
    return errors;
}

} // namespace nvx
