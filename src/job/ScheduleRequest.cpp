#include "job/ScheduleRequest.h"

#include "common/TextHelpers.h"

#include <QRegularExpression>

#include <cmath>

namespace nvx {

namespace {

QString champ(const QString& texte, const char16_t* cle)
{
    return ExtraireBalise(texte, u'<' + QString::fromUtf16(cle) + u':', QString());
}

// The numeric value of a text rounded to an integer, as the request fields are read.
qint64 entier(const QString& texte)
{
    const double v = vbVal(texte);
    if (!std::isfinite(v))
        return 0;
    return qint64(std::nearbyint(qBound(-2147483648.0, v, 2147483647.0)));
}

qint16 heure(const QString& texte)
{
    return qint16(qBound<qint64>(qint64(0), entier(texte), qint64(23)));
}

} // namespace

QDate ScheduleRequest::dateConducteur() const
{
    static const QRegularExpression huitChiffres(QStringLiteral("^[0-9]{8}$"));
    if (!huitChiffres.match(DateConducteur).hasMatch())
        return {};
    return QDate::fromString(DateConducteur, QStringLiteral("yyyyMMdd"));
}

ScheduleRequest parseScheduleRequest(const QString& texte, const QDateTime& now)
{
    ScheduleRequest r;
    r.ComputerName = champ(texte, u"ComputerName");
    r.SchedulerVersion = champ(texte, u"SchedulerVersion");
    r.DateConducteur = champ(texte, u"DateConducteur");
    r.HHDeb = heure(champ(texte, u"HHDeb"));
    r.HHFin = heure(champ(texte, u"HHFin"));
    r.NoStationTexte = champ(texte, u"NoStation");
    r.NoStation = qint16(qBound<qint64>(qint64(-32768), entier(r.NoStationTexte), qint64(32767)));
    r.StationLib = champ(texte, u"StationLib");
    r.UserId = champ(texte, u"UserId");
    r.UserLib = champ(texte, u"UserLib");
    r.BuilddDateTexte = champ(texte, u"BuilddDate");
    const QString build = r.BuilddDateTexte.trimmed();
    for (const QString& format : {QStringLiteral("dd/MM/yyyy HH:mm:ss"), QStringLiteral("dd/MM/yyyy HH:mm"),
                                  QStringLiteral("dd/MM/yyyy")}) {
        r.BuilddDate = QDateTime::fromString(build, format);
        if (r.BuilddDate.isValid())
            break;
    }
    if (!r.BuilddDate.isValid())
        r.BuilddDate = now;
    r.ReponseIP = champ(texte, u"ReponseIP");
    if (!r.ReponseIP.trimmed().isEmpty())
        r.ReponsePort = qint32(entier(champ(texte, u"ReponsePort")));
    return r;
}

} // namespace nvx
