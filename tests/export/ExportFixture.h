#pragma once

#include "config/Settings.h"
#include "db/DbFixture.h"
#include "db/engine/BtrieveEngine.h"
#include "export/ScheduleExport.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <memory>

namespace nvx::test {

// The test schedule day: one JSON-lines file per record file (fileNN.jsonl), and the files
// expected for some of its hours.
inline QString dossierDonnees()
{
    return QStringLiteral(NVX_TEST_DATA_DIR "/export");
}

inline QByteArray lireFichier(const QString& chemin)
{
    QFile f(chemin);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The export's owners over a temporary drive root with the XML folder C:\VL_Export\, on the
// real engine (the test day, built with vl3-btrieve) or on in-memory files a test fills.
struct ExportOwners {
    explicit ExportOwners(bool moteurReel)
        : engine(moteurReel ? createEmbeddedEngine() : nullptr), o(engine.get()),
          settings(o.identity, o.lifecycle, o.trace, o.systeme, o.host, o.ini, o.config),
          exporter(o.identity, o.lifecycle, o.trace, o.clock, o.pervasive, settings, o.config)
    {
        o.clock.setNow(QDateTime(QDate(2020, 5, 8), QTime(6, 50, 0)));
        o.config.DossiersBase[0].IdRadio = QStringLiteral("R-042");
        o.config.DossiersBase[0].Lib = QStringLiteral("Velmora FM");
        settings.TexteDossierXML = QStringLiteral("C:\\VL_Export");
        QDir().mkpath(dossierXml());
    }

    static QString dossierXml() { return NativePath(QStringLiteral("C:\\VL_Export")); }

    // Station 1's files from the JSON lines; the other files the program opens stay empty.
    void construireBase()
    {
        for (qint16 f : Pervasive::kFichiersOuverts) {
            const QStringList cible = {QStringLiteral("--data"),    DbOwners::natif(QString()),
                                       QStringLiteral("--file"),    QString::number(f),
                                       QStringLiteral("--station"), QStringLiteral("1")};
            ASSERT_NO_FATAL_FAILURE(outil(QStringList{QStringLiteral("create")} + cible));
            const QString jsonl = dossierDonnees() + QStringLiteral("/file%1.jsonl").arg(f);
            if (QFile::exists(jsonl)) {
                ASSERT_NO_FATAL_FAILURE(
                    outil(QStringList{QStringLiteral("import")} + cible + QStringList{jsonl}));
            }
        }
        o.pervasive.PervasiveOuvertureFichiers(0, 1, 1);
    }

    static void outil(const QStringList& arguments)
    {
        QProcess p;
        p.start(QStringLiteral(NVX_BIN_DIR "/vl3-btrieve"), arguments);
        ASSERT_TRUE(p.waitForFinished(30000)) << arguments.join(u' ').toStdString();
        ASSERT_EQ(p.exitCode(), 0) << arguments.join(u' ').toStdString() << ": "
                                   << p.readAllStandardError().toStdString();
    }

    // Exports an hour of station 1's schedule of 8 May 2020 and gives the file's bytes.
    // The hour's file as written, empty when none was (resultat then says why).
    QByteArray exportHour(int heure)
    {
        ScheduleHour h;
        h.noStation = 1;
        h.dateConducteur = QStringLiteral("20200508");
        h.heure = heure;
        h.schedulerVersion = QStringLiteral("7.2.1");
        h.stationLib = QStringLiteral("Radio Bleu & Or");
        h.userId = QStringLiteral("U17");
        h.userLib = QStringLiteral("Jérôme <admin>");
        h.buildDate = QDateTime(QDate(2020, 5, 8), QTime(6, 45, 12));
        resultat = exporter.UDPDataArrival_03_Create_XML(h);
        return resultat.fichier.isEmpty() ? QByteArray() : lireFichier(NativePath(resultat.fichier));
    }

    std::unique_ptr<BtrieveEngine> engine;
    DbOwners o;
    Settings settings;
    ScheduleExport exporter;
    HourExport resultat;
};

} // namespace nvx::test
