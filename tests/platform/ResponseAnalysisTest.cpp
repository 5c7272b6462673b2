#include "platform/ResponseAnalysis.h"

#include "PlatformFixture.h"
#include "platform/PlatformRequests.h"
#include "platform/PlatformValues.h"

#include <QFile>

using namespace nvx;
using namespace nvx::test;

namespace {

struct Analysis : PlatformOwners, ::testing::Test {
    Analysis() : analyse(reporter, clock, v) { analyse.setDossierXML(config.DossierXML); }
    AnalyseResultat run(const QString& xml, const QString& kind)
    {
        AnalyseResultat r = analyse.UDPDataArrival_99_Analyse_Reponse(xml, kind);
        for (const QString& l : r.lines)
            lignes.add(l);
        return r;
    }
    PlatformValues v;
    ResponseAnalysis analyse;
};

QString answer(const QString& code, const QString& rest = {})
{
    return QStringLiteral("<vlapi><response><code>") + code + QStringLiteral("</code>") + rest +
           QStringLiteral("</response></vlapi>");
}

} // namespace

TEST_F(Analysis, EachCodeGivesItsLineOnlyForItsKinds)
{
    const QString all[] = {kinds::Auth,    kinds::AuthCheck,      kinds::GetStatusHours,
                           kinds::FtpSons, kinds::ExportSchedule, kinds::SetStatusHour};
    const auto only = [](const QString& kind, const QStringList& kindsWithLine, const QString& line) {
        return kindsWithLine.contains(kind) ? QStringList{line} : QStringList{};
    };
    for (const QString& kind : all) {
        const std::pair<QString, QStringList> expected[] = {
            {QStringLiteral("200"),
             only(kind, {kinds::Auth, kinds::AuthCheck}, QStringLiteral("Authentification: réussie"))},
            {QStringLiteral("204"), only(kind, {kinds::FtpSons}, QStringLiteral("FTP sons: réussie: 204"))},
            {QStringLiteral("300"),
             only(kind, {kinds::Auth}, QStringLiteral("!!!!! Erreur d'authenfification 300 !!!!!"))},
            {QStringLiteral("400"), {QStringLiteral("Erreur de requête: 400")}},
            {QStringLiteral("402"), {QStringLiteral("Erreur 402: 402")}},
            {QStringLiteral("403"), {QStringLiteral("Erreur 403 (Accès interdit): 403")}},
            {QStringLiteral("404"), {QStringLiteral("Erreur 404 (Non trouvé): 404")}},
            {QStringLiteral("405"), {QStringLiteral("Erreur 405 (Méthode non autorisée): 405")}},
            {QStringLiteral("500"), {QStringLiteral("Erreur 500 (Erreur interne (SQL, Librairie,...): 500")}},
            {QStringLiteral("999"), {}},
        };
        for (const auto& [code, lines] : expected) {
            SCOPED_TRACE(QString(kind + u' ' + code).toStdString());
            lignes.lines.clear();
            v = PlatformValues{};
            v.PbBErreurAuthentification = true;
            const AnalyseResultat r = run(answer(code), kind);
            EXPECT_EQ(lignes.lines, lines);
            const bool granted = code == u"200" && (kind == kinds::Auth || kind == kinds::AuthCheck);
            EXPECT_EQ(v.PbBTokenValide, granted);
            EXPECT_EQ(v.PbBErreurAuthentification, !granted);
            EXPECT_EQ(r.utilisable(), !CodeErreur(code));
        }
    }
    EXPECT_FALSE(run(QStringLiteral("<response><code></code></response>"), kinds::Auth).utilisable());
    EXPECT_FALSE(run(QStringLiteral("<html><body>proxy</body></html>"), kinds::Auth).utilisable());
}

TEST_F(Analysis, ARefusalStopsTheAnalysisButAnEarlierOneHidesNothing)
{
    v.PbBTokenValide = true;
    run(QStringLiteral("<r><response><message>avant</message><code>401</code><message>apres</message><data/>"
                       "</response><response><code>200</code></response>"
                       "<authSucceeded><token>T0</token></authSucceeded></r>"),
        kinds::Auth);
    EXPECT_TRUE(v.PbBErreurAuthentification);
    EXPECT_EQ(lignes.lines, QStringList{QStringLiteral("Authentification requise: 401")});
    EXPECT_TRUE(reporter.traced(QStringLiteral("XML: Authentification: Message: avant")));
    EXPECT_FALSE(reporter.traced(QStringLiteral("apres")));
    EXPECT_TRUE(v.TokenId.isEmpty());

    // The flag is still set when a login is retried; its granting code may follow the message.
    run(QStringLiteral("<response><message>m</message><code>200</code><data/></response>"
                       "<authSucceeded><token>T1</token></authSucceeded>"),
        kinds::Auth);
    EXPECT_FALSE(v.PbBErreurAuthentification);
    EXPECT_EQ(v.TokenId, u"T1");
}

TEST_F(Analysis, DataIsTakenDocumentWideWithChildrenInAnyCaseAfterAGrant)
{
    const AnalyseResultat r = run(QStringLiteral("<root><w><response><CODE> 200 </CODE><Data/></response></w>"
                                                 "<x><authSucceeded><TOKEN>abc</TOKEN></authSucceeded></"
                                                 "x><Response><code>500</code></Response></root>"),
                                  kinds::Auth);
    EXPECT_EQ(v.TokenId, u"abc");
    EXPECT_EQ(r.codes, QStringList{QStringLiteral("200")}) << "only elements named exactly 'response' count";

    v = PlatformValues{};
    run(QStringLiteral(
            "<response><data/><code>200</code></response><authSucceeded><token>t</token></authSucceeded>"),
        kinds::Auth);
    EXPECT_TRUE(v.TokenId.isEmpty()) << "data before the granting code is not taken";
}

TEST_F(Analysis, DatesAreReadWithTheirFallbacks)
{
    run(answer(QStringLiteral("200"),
               QStringLiteral(
                   "<message>ok</message><data><auth><token>T2</token><tokenCreated>2020-02-20T09:00:00"
                   "</tokenCreated><tokenExpire>2020-02-21 09:00:00</tokenExpire><userGUID>g</userGUID>"
                   "<userDescription>Radio</userDescription></auth></data>")),
        kinds::AuthCheck);
    EXPECT_EQ(v.TokenDateCreation, QDateTime(QDate(2020, 2, 20), QTime(9, 0)));
    EXPECT_EQ(v.TokenDateExpiration, QDateTime(QDate(2020, 2, 21), QTime(9, 0)));
    EXPECT_EQ(v.PbSCleAPI, u"g");
    EXPECT_EQ(v.UserDescription, u"Radio");
    EXPECT_TRUE(reporter.traced(QStringLiteral("XML: Check authentification: Message: ok")));

    run(answer(QStringLiteral("200"), QStringLiteral("<data><auth><tokenCreated>hier</tokenCreated>"
                                                     "<tokenExpire>bientôt</tokenExpire></auth></data>")),
        kinds::AuthCheck);
    EXPECT_EQ(v.TokenDateCreation, clock.now());
    EXPECT_EQ(v.TokenDateExpiration, clock.now().addSecs(3600));

    run(answer(QStringLiteral("200"),
               QStringLiteral("<data><day><date>non</date><states>001</states></day></data>")),
        kinds::GetStatusHours);
    EXPECT_EQ(v.DateStatutHeure, clock.now());
    EXPECT_EQ(v.PbSStatutsHeures, u"001");
    EXPECT_TRUE(lignes.lines.count() == 2) << "a 200 to a status request shows nothing";
}

TEST_F(Analysis, AnAnswerIsWrittenToTheFolderOnlyWhenAskedAndThenKept)
{
    const QString nom = QStringLiteral("NVX_ResponseMaster_auth_20200220_100000.xml");
    QByteArray seen;
    lignes.onLine = [&] {
        QFile f(config.DossierXML + u'/' + nom);
        if (f.open(QIODevice::ReadOnly))
            seen = f.readAll();
    };
    EXPECT_TRUE(run(answer(QStringLiteral("200")), kinds::Auth).utilisable());
    EXPECT_TRUE(seen.isEmpty()) << "not asked: the answer stays in memory";
    EXPECT_TRUE(xmlFolder().isEmpty());
    EXPECT_FALSE(reporter.traced(QStringLiteral("FichierMaster")));

    // Asked: on disk while analysed, and still there afterwards.
    analyse.setConserverReponses(true);
    EXPECT_TRUE(run(answer(QStringLiteral("200")), kinds::Auth).utilisable());
    EXPECT_EQ(seen, answer(QStringLiteral("200")).toUtf8() + "\r\n");
    EXPECT_EQ(xmlFolder(), QStringList{nom});
    EXPECT_TRUE(reporter.traced(QStringLiteral("API: FichierMaster: ") + config.DossierXML));

    // An answer that is no document is kept as well, for whoever looks at what went wrong.
    for (const QString& body :
         {QString(), QStringLiteral("Bad gateway"), QStringLiteral("<response><code>401")})
        EXPECT_FALSE(run(body, kinds::Auth).xml);
    EXPECT_FALSE(v.PbBErreurAuthentification);
    QFile last(config.DossierXML + u'/' + nom);
    ASSERT_TRUE(last.open(QIODevice::ReadOnly));
    EXPECT_EQ(last.readAll(), "<response><code>401\r\n");

    // A folder that cannot be written is reported; the answer still counts.
    analyse.setDossierXML(config.DossierXML + QStringLiteral("/absent/plus/loin"));
    EXPECT_TRUE(run(answer(QStringLiteral("200")), kinds::Auth).utilisable());
    EXPECT_EQ(reporter.origins, QStringList{QStringLiteral("Frm_MainBis:UDPDataArrival_99_Analyse_Reponse")});
}

TEST_F(Analysis, TheCopyFollowsItsFolderWhenItIsRenamedOrComesBack)
{
    const QString base = dir.path() + QStringLiteral("/Reponses");
    ASSERT_TRUE(QDir().mkpath(base));
    analyse.setDossierXML(base);
    analyse.setConserverReponses(true);
    QString copie;
    lignes.onLine = [&] {
        const QStringList vus = QDir(dir.path()).entryList({QStringLiteral("Rep*")}, QDir::Dirs);
        copie = vus.isEmpty()
                    ? QString()
                    : vus[0] + u'/' + QDir(dir.path() + u'/' + vus[0]).entryList(QDir::Files).join(u',');
    };
    run(answer(QStringLiteral("200")), kinds::Auth);
    EXPECT_EQ(copie, u"Reponses/NVX_ResponseMaster_auth_20200220_100000.xml");

    // Renamed in another case between two answers: the same folder, as the suite sees it.
    ASSERT_TRUE(QDir().rename(base, dir.path() + QStringLiteral("/REPONSES")));
    copie.clear();
    run(answer(QStringLiteral("200")), kinds::Auth);
    EXPECT_EQ(copie, u"REPONSES/NVX_ResponseMaster_auth_20200220_100000.xml");
    EXPECT_TRUE(reporter.origins.isEmpty());

    // Gone: reported, and found again once it is back.
    ASSERT_TRUE(QDir(dir.path() + QStringLiteral("/REPONSES")).removeRecursively());
    copie.clear();
    EXPECT_TRUE(run(answer(QStringLiteral("200")), kinds::Auth).utilisable());
    EXPECT_EQ(reporter.origins.size(), 1);
    ASSERT_TRUE(QDir().mkpath(base));
    run(answer(QStringLiteral("200")), kinds::Auth);
    EXPECT_EQ(copie, u"Reponses/NVX_ResponseMaster_auth_20200220_100000.xml");
    EXPECT_EQ(reporter.origins.size(), 1);
    EXPECT_EQ(QDir(base).entryList(QDir::Files),
              QStringList{QStringLiteral("NVX_ResponseMaster_auth_20200220_100000.xml")})
        << "the copy stays once the analysis is done";
}
