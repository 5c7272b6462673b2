// The hour files of the test day, compared whole with the expected files and checked row by
// row against the day's JSON lines, and the ways writing them can fail.
#include "ExportFixture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <csignal>
#include <iostream>
#include <string_view>
#include <sys/resource.h>

using namespace nvx;
using namespace nvx::test;

namespace {

QString nomHeure(int heure)
{
    return QStringLiteral("NVX_Upload_20200508_%1_Station_01.xml").arg(heure, 2, 10, QLatin1Char('0'));
}

// The items of a file as a parser reads them: element path below the item -> text.
using Item = QMap<QString, QString>;
QList<Item> items(const QByteArray& xml, QString* erreur)
{
    QList<Item> liste;
    QXmlStreamReader r(xml);
    QStringList chemin;
    while (r.readNext() != QXmlStreamReader::Invalid && !r.atEnd()) {
        if (r.isStartElement()) {
            chemin.append(r.name().toString());
            if (chemin.size() == 3 && chemin[1] == u"data")
                liste.append(Item());
        } else if (r.isEndElement()) {
            chemin.removeLast();
        } else if (r.isCharacters() && chemin.size() > 3) {
            liste.last()[chemin.mid(3).join(u'/')] += r.text();
        }
    }
    if (erreur)
        *erreur = r.hasError() ? r.errorString() : QString();
    return liste;
}

// The rows of the day's JSON lines in an hour, "HH:MM:SS/order", in schedule order.
QStringList lignesDuJour(int heure)
{
    QStringList lignes;
    QFile f(dossierDonnees() + QStringLiteral("/file53.jsonl"));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    while (!f.atEnd()) {
        const QJsonObject o = QJsonDocument::fromJson(f.readLine()).object();
        const auto t = [&o](const char* champ) { return o.value(QLatin1StringView(champ)).toString(); };
        if (t("Date") == u"20200508" && t("Heure").toInt() == heure)
            lignes.append(t("Heure") + u':' + t("Minute") + u':' + t("Seconde") + u'/' + t("Ordre"));
    }
    lignes.sort();
    return lignes;
}

struct ExportDayTest : ::testing::Test {
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(w.construireBase()); }
    ExportOwners w{true};
};

} // namespace

TEST_F(ExportDayTest, HoursMatchTheExpectedFilesByteForByte)
{
    // Hour 00 holds no row: written only when the settings ask for empty hours.
    w.settings.EnvoyerHeuresVides = true;
    for (int heure : {0, 7, 8}) {
        const QByteArray obtenu = w.exportHour(heure);
        EXPECT_EQ(w.resultat.fichier, u"C:\\VL_Export\\" + nomHeure(heure));
        const QByteArray attendu = lireFichier(dossierDonnees() + u"/expected/" + nomHeure(heure));
        if (obtenu == attendu)
            continue;
        // Kept for a look at what changed.
        QFile garde(QDir::temp().filePath(u"obtenu_" + nomHeure(heure)));
        if (garde.open(QIODevice::WriteOnly))
            garde.write(obtenu);
        const QList<QByteArray> a = attendu.split('\n'), b = obtenu.split('\n');
        qsizetype i = 0;
        while (i < a.size() && i < b.size() && a[i] == b[i])
            ++i;
        ADD_FAILURE() << garde.fileName().toStdString() << " differs at line " << i + 1 << ": expected \""
                      << a.value(i).toStdString() << "\", got \"" << b.value(i).toStdString() << '"';
    }
    EXPECT_TRUE(w.o.trace.ListeIncidents.isEmpty()) << w.o.trace.ListeIncidents.join(u'\n').toStdString();
}

TEST_F(ExportDayTest, EveryHourParsesAndHoldsItsRowsInKeyOrder)
{
    w.settings.EnvoyerHeuresVides = true;
    qsizetype total = 0;
    for (int heure = 0; heure < 24; ++heure) {
        const QByteArray xml = w.exportHour(heure);
        QStringDecoder utf8(QStringDecoder::Utf8);
        [[maybe_unused]] const QString texte = utf8(xml);
        EXPECT_FALSE(utf8.hasError()) << heure;
        QString erreur;
        const QList<Item> liste = items(xml, &erreur);
        ASSERT_TRUE(erreur.isEmpty()) << heure << ": " << erreur.toStdString();
        QStringList lignes;
        for (const Item& i : liste)
            lignes.append(i[QStringLiteral("timing")] + u'/' + i[QStringLiteral("timingorder")]);
        EXPECT_EQ(lignes, lignesDuJour(heure)) << heure;
        total += liste.size();
        if (heure == 7) {
            // What was escaped reads back as stored; labels only lose their ampersands.
            EXPECT_EQ(liste[0][QStringLiteral("keys/key4")], QStringLiteral("Clé<5>&x     "));
            EXPECT_EQ(liste[20][QStringLiteral("song/lib")], QStringLiteral("Less <than> More"));
            EXPECT_EQ(liste[21][QStringLiteral("song/id")], QStringLiteral("CAFÉ0001"));
        }
    }
    // Every row of the day once, the next day's first row in none.
    EXPECT_EQ(total, 25);
}

TEST_F(ExportDayTest, TheLevelTakesTheSystemDecimalSeparator)
{
    struct LocaleC {
        ~LocaleC() { QLocale::setDefault(QLocale::c()); }
    } restaure;
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    const QByteArray virgule = w.exportHour(7);
    EXPECT_TRUE(virgule.contains("<level>-3,5</level>") && virgule.contains("<level>0,125</level>"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    EXPECT_TRUE(w.exportHour(7).contains("<level>-3.5</level>"));
}

TEST_F(ExportDayTest, AMissingFolderIsReportedAndNothingIsWritten)
{
    w.o.erreursAttendues = true;
    w.settings.TexteDossierXML = QStringLiteral("C:\\Absent\\");
    EXPECT_TRUE(w.exportHour(7).isEmpty());
    EXPECT_EQ(w.resultat.outcome, HourExport::Outcome::Failed);
    EXPECT_EQ(w.resultat.raison, QStringLiteral("dossier XML introuvable (C:\\Absent\\)"));
    EXPECT_TRUE(w.resultat.fichier.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(NativePath(QStringLiteral("C:\\Absent"))));
    ASSERT_EQ(w.o.trace.ListeIncidents.size(), 1);
    EXPECT_TRUE(w.o.trace.ListeIncidents[0].contains(u"Err: 75"));
    EXPECT_TRUE(w.o.trace.ListeIncidents[0].contains(u"Source:Frm_MainBis:UDPDataArrival_03_Create_XML"));
    EXPECT_TRUE(
        w.o.trace.ListeIncidents[0].contains(NativePath(QStringLiteral("C:\\Absent\\")) + nomHeure(7)))
        << "the trace gives the native path";
}

TEST_F(ExportDayTest, AnEmptyHourIsNotWrittenUnlessTheSettingsAskForIt)
{
    // Hour 00 holds no row: nothing is written, and the file of an earlier export goes.
    w.settings.EnvoyerHeuresVides = true;
    ASSERT_FALSE(w.exportHour(0).isEmpty());
    EXPECT_EQ(w.resultat.outcome, HourExport::Outcome::Written);
    w.settings.EnvoyerHeuresVides = false;
    EXPECT_TRUE(w.exportHour(0).isEmpty());
    EXPECT_EQ(w.resultat.outcome, HourExport::Outcome::Empty);
    EXPECT_FALSE(QFileInfo::exists(ExportOwners::dossierXml() + u'/' + nomHeure(0)));
    EXPECT_TRUE(w.resultat.fichier.isEmpty());
    EXPECT_TRUE(w.o.trace.ListeIncidents.isEmpty()) << "an empty hour is no error of the program";
}

TEST_F(ExportDayTest, AFailedWriteLeavesNoFileAtTheFinalName)
{
    w.o.erreursAttendues = true;
    // An earlier export of the hour, which must not be taken for this one.
    const QByteArray ancien = w.exportHour(7);
    ASSERT_GT(ancien.size(), 4096);

    // A disk that fills up part way: writes past 4 KiB fail.
    rlimit avant{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &avant), 0);
    const auto signalAvant = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limite = avant;
    limite.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limite), 0);
    w.exportHour(7);
    setrlimit(RLIMIT_FSIZE, &avant);
    std::signal(SIGXFSZ, signalAvant);

    EXPECT_TRUE(QDir(ExportOwners::dossierXml()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_EQ(w.resultat.outcome, HourExport::Outcome::Failed);
    EXPECT_EQ(w.resultat.raison, QStringLiteral("écriture du fichier impossible (C:\\VL_Export)"));
    ASSERT_EQ(w.o.trace.ListeIncidents.size(), 1);
    EXPECT_TRUE(w.o.trace.ListeIncidents[0].contains(u"Err: 75"));
    EXPECT_EQ(w.exportHour(7), ancien);
}

TEST(ScheduleExportRows, ADatabaseErrorLeavesNoFileForTheHour)
{
    ExportOwners w(false);
    w.o.ouvrir();
    for (const char* minute : {"00", "10", "20"}) {
        Record r(*layoutFichier(53));
        r.setText(u"Date", QStringLiteral("20200508"));
        r.setText(u"Heure", QStringLiteral("07"));
        r.setText(u"Minute", QString::fromLatin1(minute));
        r.setText(u"Seconde", QStringLiteral("00"));
        r.setText(u"Nature", QStringLiteral("Rup"));
        FakeEngine::put(w.o.fichier(53), r.bytes());
    }
    // A file of the hour from an earlier job.
    ASSERT_EQ(items(w.exportHour(7), nullptr).size(), 3);

    int suivants = 0;
    w.o.fake.impose = [&suivants](uint16_t op) -> int16_t { return op == 6 && ++suivants == 2 ? 2 : -1; };
    // Two rows of three would replace the whole hour on the platform.
    EXPECT_TRUE(w.exportHour(7).isEmpty());
    EXPECT_EQ(w.resultat.outcome, HourExport::Outcome::Failed);
    EXPECT_EQ(w.resultat.raison, QStringLiteral("lecture du conducteur impossible, statut 2 (station 1)"));
    EXPECT_TRUE(QDir(ExportOwners::dossierXml()).entryList(QDir::Files).isEmpty());
    // One failure, one report.
    EXPECT_EQ(w.o.host.boxes.size(), 1);

    // The station's schedule file is not open.
    w.o.fake.impose = nullptr;
    w.o.pervasive.PervasiveFermetureFichiers(0, 1, 1);
    w.exportHour(7);
    EXPECT_EQ(w.resultat.outcome, HourExport::Outcome::Failed);
    EXPECT_EQ(w.resultat.raison, QStringLiteral("fichier du conducteur non ouvert (station 1)"));
}

TEST_F(ExportDayTest, TheBuildDateOfTheRequestIsWrittenAsGivenAndAMissingOneLeavesItsFieldsEmpty)
{
    const auto heure7 = [this](const QDateTime& construction) {
        ScheduleHour h;
        h.noStation = 1;
        h.dateConducteur = QStringLiteral("20200508");
        h.heure = 7;
        h.buildDate = construction;
        w.resultat = w.exporter.UDPDataArrival_03_Create_XML(h);
        return lireFichier(NativePath(w.resultat.fichier));
    };
    EXPECT_TRUE(heure7(QDateTime(QDate(2020, 5, 8), QTime(6, 45, 12)))
                    .contains("<build>\r\n<date>20200508</date>\r\n<timing>06:45:12</timing>\r\n"));
    EXPECT_TRUE(heure7(QDateTime()).contains("<build>\r\n<date></date>\r\n<timing></timing>\r\n"));
    EXPECT_EQ(w.resultat.outcome, HourExport::Outcome::Written);
}

// Fixed-width fields that C programs fill hold a NUL-terminated text and whatever follows it.
TEST(ScheduleExportRows, TextsHoldingNulAndControlBytesGiveAFileEveryReaderAccepts)
{
    ExportOwners w(false);
    w.o.ouvrir();
    using Champs = std::initializer_list<std::pair<const char16_t*, QByteArray>>;
    const auto put = [&w](int fichier, Champs champs) {
        Record r(*layoutFichier(fichier));
        for (const auto& [nom, valeur] : champs) {
            const Champ* c = layoutFichier(fichier)->champ(QStringView(nom));
            r.bytes().replace(c->offset, c->largeur, valeur.leftJustified(c->largeur, '\0', true));
        }
        FakeEngine::put(w.o.fichier(fichier), r.bytes());
    };
    const auto octets = [](std::string_view s) { return QByteArray(s.data(), qsizetype(s.size())); };
    put(53, {{u"Date", "20200508"},
             {u"Heure", "07"},
             {u"Minute", "00"},
             {u"Seconde", "00"},
             {u"Ordre", "00"},
             {u"Nature", "Evt"},
             {u"Libelle", octets("Concert\0reste\x01")},
             {u"Guid", octets("ab\x01"
                              "cd\x1f")},
             {u"Cle5", octets("x\ty\x0bz")}});
    put(53, {{u"Date", "20200508"},
             {u"Heure", "07"},
             {u"Minute", "10"},
             {u"Seconde", "00"},
             {u"Ordre", "00"},
             {u"Nature", "Son"},
             {u"IdMorceau", "S1"}});
    // The song and what it points to are found by their codes as stored, NULs included.
    put(22, {{u"IdMorceau", "S1"},
             {u"CodeArtiste1", "A1"},
             {u"CodeCategorie", "PO"},
             {u"Titre1", octets("Hello\0junk")},
             {u"Version", octets("Live\x02")}});
    put(20, {{u"CodeArtiste", "A1"},
             {u"Nom", octets("Zo\x02"
                             "e")}});
    put(21, {{u"Type", "CATEG"}, {u"Code", "PO"}, {u"Libelle", octets("Pop\x07")}});

    QString erreur;
    const QByteArray xml = w.exportHour(7);
    const QList<Item> liste = items(xml, &erreur);
    ASSERT_TRUE(erreur.isEmpty()) << erreur.toStdString();
    ASSERT_EQ(liste.size(), 2);
    EXPECT_EQ(liste[0][QStringLiteral("song/lib")], QStringLiteral("Concert"));
    EXPECT_EQ(liste[0][QStringLiteral("row/guid")], QStringLiteral("ab cd "));
    EXPECT_EQ(liste[0][QStringLiteral("keys/key4")], QStringLiteral("x\ty z")) << "a tab is kept";
    EXPECT_EQ(liste[1][QStringLiteral("song/id")], QStringLiteral("S1"));
    EXPECT_EQ(liste[1][QStringLiteral("song/lib")], QStringLiteral("Hello [Live]"));
    EXPECT_EQ(liste[1][QStringLiteral("artist/id")], QStringLiteral("A1     ")) << "the second code is blank";
    EXPECT_EQ(liste[1][QStringLiteral("artist/lib")], QStringLiteral("Zo e"));
    EXPECT_EQ(liste[1][QStringLiteral("category/id")], QStringLiteral("PO"));
    EXPECT_EQ(liste[1][QStringLiteral("category/lib")], QStringLiteral("Pop"));

    const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    if (xmllint.isEmpty()) {
        std::cout << "xmllint not installed: its check is left out\n";
        return;
    }
    QProcess lint;
    lint.start(xmllint, {QStringLiteral("--noout"), NativePath(w.resultat.fichier)});
    ASSERT_TRUE(lint.waitForFinished(30000));
    EXPECT_EQ(lint.exitCode(), 0) << lint.readAllStandardError().toStdString();
}

// The request's and the settings' texts reach the header as they came: a character no XML reader
// accepts is written as a blank, a character outside the code page's range is kept.
TEST(ScheduleExportRows, HeaderTextsHoldingControlCharactersGiveAWellFormedFile)
{
    ExportOwners w(false);
    w.o.ouvrir();
    Record r(*layoutFichier(53));
    r.setText(u"Date", QStringLiteral("20200508"));
    r.setText(u"Heure", QStringLiteral("07"));
    r.setText(u"Nature", QStringLiteral("Rup"));
    FakeEngine::put(w.o.fichier(53), r.bytes());
    w.o.config.DossiersBase[0].Lib = QStringLiteral("Velmora\x01"
                                                    "FM");
    ScheduleHour h;
    h.noStation = 1;
    h.dateConducteur = QStringLiteral("20200508");
    h.heure = 7;
    h.stationLib = QStringLiteral("Bleu\x1bOr ") + QChar(0xFFFE);
    h.userId = QString(QChar(0)) + u"U17" + QChar(0xD83D);
    h.userLib = QStringLiteral("Zoé ") + QChar(0xD83C) + QChar(0xDFB5);
    w.resultat = w.exporter.UDPDataArrival_03_Create_XML(h);
    const QByteArray xml = lireFichier(NativePath(w.resultat.fichier));

    QXmlStreamReader reader(xml);
    QMap<QString, QString> textes;
    QStringList chemin;
    while (reader.readNext() != QXmlStreamReader::Invalid && !reader.atEnd()) {
        if (reader.isStartElement())
            chemin.append(reader.name().toString());
        else if (reader.isEndElement())
            chemin.removeLast();
        else if (reader.isCharacters())
            textes[chemin.join(u'/')] += reader.text();
    }
    ASSERT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    EXPECT_EQ(textes[QStringLiteral("root/radio/lib")], QStringLiteral("Velmora FM"));
    EXPECT_EQ(textes[QStringLiteral("root/station/lib")], QStringLiteral("Bleu Or  "));
    EXPECT_EQ(textes[QStringLiteral("root/author/id")], QStringLiteral(" U17 ")) << "half a surrogate pair";
    EXPECT_EQ(textes[QStringLiteral("root/author/lib")],
              QStringLiteral("Zoé ") + QChar(0xD83C) + QChar(0xDFB5));
}

TEST_F(ExportDayTest, SongsLackingAnArtistACategoryOrADurationAreListedByHour)
{
    // The hour is written all the same: the list tells the station what to mend.
    w.exportHour(7);
    EXPECT_EQ(w.resultat.outcome, HourExport::Outcome::Written);
    EXPECT_EQ(w.resultat.missingReferences,
              QStringList(
                  {QStringLiteral("PUB00001 Spot: artiste 'A0009' introuvable, catégorie 'JAZZ' introuvable"),
                   QStringLiteral("00000008 Sans fiche technique: durée nulle"),
                   QStringLiteral("00000009: morceau introuvable"),
                   QStringLiteral("CAFÉ0001: morceau introuvable")}));
    // Songs without an artist code (a promo, an external sound) lack nothing.
    w.exportHour(8);
    EXPECT_EQ(w.resultat.outcome, HourExport::Outcome::Written);
    EXPECT_TRUE(w.resultat.missingReferences.isEmpty())
        << w.resultat.missingReferences.join(u'\n').toStdString();
}
