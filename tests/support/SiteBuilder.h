#pragma once

#include "common/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

namespace nvx::test {

// Lays out a minimal site under a drive root: the suite configuration in
// <home>/Settings/VL3_Config.ini, and per database a configuration folder "C:\Site\ConfigN"
// with its system file, the log folder "C:\Logs" and the data folder "C:\Data1" (holding the
// database's first file, so that no question is asked).
struct SiteBuilder {
    QString driveRoot; // native
    QString home;      // native application folder

    QString c(const QString& rest) const { return driveRoot + QStringLiteral("/c/") + rest; }

    void set(const QString& nativeFile, const QString& section, const QString& key,
             const QString& value) const
    {
        IniFile::write(nativeFile, section, key, value);
    }

    void build(int nbBases = 1) const
    {
        QDir().mkpath(driveRoot + QStringLiteral("/c"));
        const QString config = home + QStringLiteral("/Settings/VL3_Config.ini");
        set(config, QStringLiteral("Site"), QStringLiteral("NbBase"), QString::number(nbBases));
        set(config, QStringLiteral("Site"), QStringLiteral("Settings_Local_Folder"),
            QStringLiteral("C:\\Site\\Local"));
        for (int n = 1; n <= nbBases; ++n) {
            const QString nn = QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
            const QString folder = QStringLiteral("C:\\Site\\Config") + QString::number(n);
            set(config, QStringLiteral("Base_") + nn, QStringLiteral("Dossier_Config_Global"), folder);
            const QString sys =
                c(QStringLiteral("Site/Config") + QString::number(n) + QStringLiteral("/VL3_Systeme.ini"));
            const QString b = QStringLiteral("Base_") + nn;
            set(sys, b, QStringLiteral("Lib"), QStringLiteral("Radio ") + QString::number(n));
            set(sys, b, QStringLiteral("NbStation"), QStringLiteral("2"));
            set(sys, b, QStringLiteral("Dossier_Log"), QStringLiteral("C:\\Logs"));
            set(sys, b, QStringLiteral("Dossier_Data"), QStringLiteral("C:\\Data1\\"));
            set(sys, b, QStringLiteral("Id_Radio"), QStringLiteral("{RADIO-0") + QString::number(n) + u'}');
        }
        QDir().mkpath(c(QStringLiteral("Data1")));
        QFile f(c(QStringLiteral("Data1/FRAD000.bt6")));
        if (f.open(QIODevice::WriteOnly))
            f.write("x");
    }
};

} // namespace nvx::test
