#include "app/CommandLine.h"

#include "config/SettingsValues.h"

#include <QStringList>

namespace nvx {

namespace {

// The value of a switch: the rest of the line after it, trimmed, cut to its leading run of
// accepted characters.
QString leadingRun(const QString& ligne, qsizetype from, bool dots)
{
    const QString rest = ligne.mid(from).trimmed();
    qsizetype n = 0;
    while (n < rest.size() && (rest[n].isDigit() || (dots && rest[n] == u'.')))
        ++n;
    return rest.left(n);
}

qsizetype find(const QString& ligne, const QString& sw)
{
    return ligne.indexOf(sw, 0, Qt::CaseInsensitive);
}

} // namespace

SwitchesLigneDeCommande analyseSwitches(const QString& ligne)
{
    SwitchesLigneDeCommande s;
    QString sw = QStringLiteral("/Instance=");
    qsizetype p = find(ligne, sw);
    if (p < 0) {
        sw = QStringLiteral("/I=");
        p = find(ligne, sw);
    }
    if (p >= 0) {
        s.instanceGiven = true;
        const QString digits = leadingRun(ligne, p + sw.size(), false);
        // A long run of digits is still "above 10", not an overflow back to 0.
        const qint64 n = digits.isEmpty() ? 0 : (digits.size() > 6 ? 999999 : digits.toLongLong());
        s.NoInstance = qint16(qBound<qint64>(qint64(1), n, qint64(10)));
    }

    sw = QStringLiteral("/Wait=");
    p = find(ligne, sw);
    if (p >= 0) {
        const QString digits = leadingRun(ligne, p + sw.size(), false);
        bool ok = false;
        const quint64 n = digits.left(12).toULongLong(&ok);
        s.attente = ok ? quint32(qMin<quint64>(n, 0xFFFFFFFFu)) : 0u;
    }

    sw = QStringLiteral("/IP=");
    p = find(ligne, sw);
    if (p >= 0)
        s.adresseIP = leadingRun(ligne, p + sw.size(), true);

    s.veille = find(ligne, QStringLiteral("/Veille=True")) >= 0;
    return s;
}

OptionsProgramme analyseOptions(const QStringList& arguments)
{
    OptionsProgramme o;
    QStringList rest;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        const auto value = [&](QString& target) {
            if (i + 1 < arguments.size())
                target = arguments[++i];
            else if (o.erreur.isEmpty())
                o.erreur = a + QStringLiteral(" needs a value");
        };
        const auto ftpRow = [&](const QString& option) {
            QString texte;
            value(texte);
            bool ok = false;
            const int n = texte.toInt(&ok);
            if (ok && n >= 0 && n < SettingsValues::kServeursFtp)
                o.testFtp = n;
            else if (o.erreur.isEmpty())
                o.erreur = option + QStringLiteral(" needs an FTP account number from 0 to ") +
                           QString::number(SettingsValues::kServeursFtp - 1);
        };
        if (a == u"--headless")
            o.headless = true;
        else if (a == u"--help" || a == u"-h")
            o.help = true;
        else if (a == u"--version")
            o.version = true;
        else if (a == u"--home")
            value(o.home);
        else if (a == u"--drive-root")
            value(o.driveRoot);
        else if (a == u"--btrieve-library")
            value(o.btrieveLibrary);
        else if (a == u"--job")
            value(o.job);
        else if (a == u"--test-mail")
            o.testMail = true;
        else if (a == u"--test-ftp")
            ftpRow(a);
        else if (a == u"--status")
            o.status = true;
        else if (a == u"--json")
            o.json = true;
        else if (a.startsWith(u"--") && o.erreur.isEmpty())
            // The suite's own switches are written /Name=value; a "--" word is ours, and a
            // mistyped one must not start the program with a default it did not ask for.
            o.erreur = QStringLiteral("unknown option ") + a;
        else
            rest.append(a);
    }
    if (o.json && !o.status && o.erreur.isEmpty())
        o.erreur = QStringLiteral("--json goes with --status");
    o.LigneDeCommande = rest.join(u' ');
    return o;
}

} // namespace nvx
