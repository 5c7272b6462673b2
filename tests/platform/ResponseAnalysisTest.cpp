#include "platform/ResponseAnalysis.h"

#include "PlatformFixture.h"
#include "platform/PlatformRequests.h"
#include "platform/PlatformValues.h"
#include "platform/TokenStore.h"

#include <QFile>

using namespace nvx;
using namespace nvx::test;

namespace {

struct Analysis : PlatformOwners, ::testing::Test {
    Analysis() : analyse(reporter, clock, lignes, v) { analyse.setDossierXML(config.DossierXML); }
    AnalyseResultat run(const std::string& xml, const QString& kind)
    {
        return analyse.UDPDataArrival_99_Analyse_Reponse(QByteArray::fromStdString(xml), kind);
    }
    PlatformValues v;
    ResponseAnalysis analyse;
};

struct CodeCase {
    const char* code;
    QString kind;
    QString line; // empty: no line
};

} // namespace

TEST_F(Analysis, EachCodeGivesItsLineOnlyForItsKinds)
{
    const QString tous[] = {kinds::Auth,    kinds::AuthCheck,      kinds::GetStatusHours,
                            kinds::FtpSons, kinds::ExportSchedule, kinds::SetStatusHour};
    std::vector<CodeCase> cases = {
        {"200", kinds::Auth, QStringLiteral("Authentification: réussie")},
        {"200", kinds::AuthCheck, QStringLiteral("Authentification: réussie")},
        {"200", kinds::GetStatusHours, {}},
        {"200", kinds::ExportSchedule, {}},
        {"204", kinds::FtpSons, QStringLiteral("FTP sons: réussie: 204")},
        {"204", kinds::Auth, {}},
        {"300", kinds::Auth, QStringLiteral("!!!!! Erreur d'authenfification 300 !!!!!")},
        {"300", kinds::AuthCheck, {}},
        {"999", kinds::Auth, {}},
        {"", kinds::Auth, {}},
    };
    const std::pair<const char*, QString> generic[] = {
        {"400", QStringLiteral("Erreur de requête: 400")},
        {"402", QStringLiteral("Erreur 402: 402")},
        {"403", QStringLiteral("Erreur 403 (Accès interdit): 403")},
        {"404", QStringLiteral("Erreur 404 (Non trouvé): 404")},
        {"405", QStringLiteral("Erreur 405 (Méthode non autorisée): 405")},
        {"500", QStringLiteral("Erreur 500 (Erreur interne (SQL, Librairie,...): 500")},
    };
    for (const auto& [code, line] : generic)
        for (const QString& kind : tous)
            cases.push_back({code, kind, line});

    for (const CodeCase& c : cases) {
        SCOPED_TRACE(std::string(c.code) + " " + c.kind.toStdString());
        lignes.lines.clear();
        v = PlatformValues{};
        v.PbBErreurAuthentification = true;
        const AnalyseResultat r = run(answer(c.code), c.kind);
        EXPECT_TRUE(r.xml);
        EXPECT_EQ(lignes.lines, c.line.isEmpty() ? QStringList() : QStringList{c.line});
        const bool grants =
            QString::fromLatin1(c.code) == u"200" && (c.kind == kinds::Auth || c.kind == kinds::AuthCheck);
        EXPECT_EQ(v.PbBTokenValide, grants);
        EXPECT_EQ(v.PbBErreurAuthentification, !grants);
        EXPECT_EQ(r.utilisable(), !CodeErreur(QString::fromLatin1(c.code)) && *c.code != 0);
    }
}

TEST_F(Analysis, RefusalSetsTheFlagAndStopsTheAnalysis)
{
    const std::string xml = "<r><response><message>avant</message><code>401</code><message>apres</message>"
                            "<data/></response><response><code>200</code></response>"
                            "<authSucceeded><token>volé</token></authSucceeded></r>";
    v.PbBTokenValide = true;
    const AnalyseResultat r = run(xml, kinds::Auth);
    EXPECT_TRUE(v.PbBErreurAuthentification);
    EXPECT_EQ(lignes.lines, QStringList{QStringLiteral("Authentification requise: 401")});
    EXPECT_TRUE(reporter.traced(QStringLiteral("XML: Authentification: Message: avant")));
    EXPECT_FALSE(reporter.traced(QStringLiteral("apres")));
    EXPECT_TRUE(v.TokenId.isEmpty());
    EXPECT_FALSE(r.utilisable());
}

TEST_F(Analysis, AnEarlierRefusalDoesNotHideTheCodeOfANewAnswer)
{
    // The flag is set while a login is retried; the granting code may come after the message.
    v.PbBErreurAuthentification = true;
    run("<response><message>bienvenue</message><code>200</code><data/></response>"
        "<authSucceeded><token>T1</token></authSucceeded>",
        kinds::Auth);
    EXPECT_FALSE(v.PbBErreurAuthentification);
    EXPECT_TRUE(v.PbBTokenValide);
    EXPECT_EQ(v.TokenId, u"T1");
}

TEST_F(Analysis, ChildrenMatchWhateverTheirCaseAndDataListsAreDocumentWide)
{
    const std::string xml = "<root><wrap><response><CODE> 200 </CODE><Data/></response></wrap>"
                            "<elsewhere><authSucceeded><TOKEN>abc</TOKEN></authSucceeded></elsewhere>"
                            "<Response><code>500</code></Response></root>";
    const AnalyseResultat r = run(xml, kinds::Auth);
    EXPECT_EQ(v.TokenId, u"abc");
    EXPECT_EQ(r.codes, QStringList{QStringLiteral("200")}) << "only exact 'response' elements count";
    EXPECT_TRUE(r.utilisable());
}

TEST_F(Analysis, TokenValuesNeedAGrantBeforeTheirData)
{
    run("<response><data/><code>200</code></response><authSucceeded><token>tard</token></authSucceeded>",
        kinds::Auth);
    EXPECT_TRUE(v.TokenId.isEmpty());
    EXPECT_TRUE(v.PbBTokenValide);

    // A grant left by an earlier answer is enough.
    run("<response><data/></response><authSucceeded><token>suite</token></authSucceeded>", kinds::Auth);
    EXPECT_EQ(v.TokenId, u"suite");
}

TEST_F(Analysis, CheckAnswerRefreshesTokenDatesAndIdentityWithFallbacks)
{
    const std::string data = "<auth><token>T2</token><tokenCreated>2020-02-20T09:00:00</tokenCreated>"
                             "<tokenExpire>2020-02-21 09:00:00</tokenExpire><userGUID>guid-1</userGUID>"
                             "<userDescription>Radio Test</userDescription></auth>";
    run(answer("200", "ok", data), kinds::AuthCheck);
    EXPECT_EQ(v.TokenId, u"T2");
    EXPECT_EQ(v.TokenDateCreation, QDateTime(QDate(2020, 2, 20), QTime(9, 0)));
    EXPECT_EQ(v.TokenDateExpiration, QDateTime(QDate(2020, 2, 21), QTime(9, 0)));
    EXPECT_EQ(v.PbSCleAPI, u"guid-1");
    EXPECT_EQ(v.UserDescription, u"Radio Test");
    EXPECT_TRUE(reporter.traced(QStringLiteral("XML: Check authentification: Message: ok")));

    run(answer("200", {}, "<auth><tokenCreated>hier</tokenCreated><tokenExpire>bientôt</tokenExpire></auth>"),
        kinds::AuthCheck);
    EXPECT_EQ(v.TokenDateCreation, clock.now());
    EXPECT_EQ(v.TokenDateExpiration, clock.now().addSecs(3600));
}

TEST_F(Analysis, HourStatusAnswerKeepsStatesAndFallsBackToNowForABadDate)
{
    v.DateStatutHeure = QDateTime(QDate(2000, 1, 1), QTime(0, 0));
    run(answer("200", "statuts", "<day><date>pas une date</date><states>000001004</states></day>"),
        kinds::GetStatusHours);
    EXPECT_EQ(v.DateStatutHeure, clock.now());
    EXPECT_EQ(v.PbSStatutsHeures, u"000001004");
    EXPECT_TRUE(lignes.lines.isEmpty());
    EXPECT_TRUE(reporter.traced(QStringLiteral("XML: Get Status des heures: Message: statuts")));

    run(answer("200", {}, "<day><date>2020-02-21</date></day>"), kinds::GetStatusHours);
    EXPECT_EQ(v.DateStatutHeure, QDateTime(QDate(2020, 2, 21), QTime(0, 0)));
}

TEST_F(Analysis, MessagesAreTracedUnderTheLabelOfTheirKind)
{
    const std::pair<QString, QString> labels[] = {
        {kinds::SetStatusHour, QStringLiteral("XML: Set Status des heures: Message: m")},
        {kinds::FtpSons, QStringLiteral("XML: FTP des sons: Message: m")},
        {kinds::ExportSchedule, QStringLiteral("XML: MAJ Conducteur: Message: m")},
    };
    for (const auto& [kind, label] : labels) {
        run(answer("200", "m"), kind);
        EXPECT_TRUE(reporter.traced(label)) << label.toStdString();
    }
    const qsizetype before = reporter.lines.size();
    run(answer("200", "m"), QStringLiteral("inconnu"));
    for (qsizetype i = before; i < reporter.lines.size(); ++i)
        EXPECT_FALSE(reporter.lines.at(i).contains(QStringLiteral("Message:")));
}

TEST_F(Analysis, AnswerIsKeptAsAFileWhileAnalysedThenDeleted)
{
    QByteArray seen;
    lignes.onLine = [&](const QString&) {
        const QStringList files = xmlFolder();
        ASSERT_EQ(files, QStringList{QStringLiteral("NVX_ResponseMaster_auth_20200220_100000.xml")});
        QFile f(config.DossierXML + u'/' + files.first());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        seen = f.readAll();
    };
    const std::string xml = answer("200");
    run(xml, kinds::Auth);
    EXPECT_EQ(seen, QByteArray::fromStdString(xml) + "\r\n");
    EXPECT_TRUE(reporter.traced(QStringLiteral("API: FichierMaster: ")));
    EXPECT_TRUE(xmlFolder().isEmpty());
}

TEST_F(Analysis, NonXmlAnswersChangeNothing)
{
    v.PbBTokenValide = true;
    for (const std::string& body :
         {std::string(), std::string("Bad gateway"), std::string("<response><code>401")}) {
        const AnalyseResultat r = run(body, kinds::Auth);
        EXPECT_FALSE(r.xml);
        EXPECT_FALSE(r.utilisable());
    }
    EXPECT_TRUE(lignes.lines.isEmpty());
    EXPECT_TRUE(v.PbBTokenValide);
    EXPECT_FALSE(v.PbBErreurAuthentification);
    EXPECT_TRUE(xmlFolder().isEmpty());
}

TEST_F(Analysis, AnUnwritableFolderIsReportedButTheAnswerStillCounts)
{
    analyse.setDossierXML(config.DossierXML + QStringLiteral("/absent/plus/loin"));
    const AnalyseResultat r = run(answer("200"), kinds::Auth);
    EXPECT_TRUE(r.utilisable());
    EXPECT_TRUE(v.PbBTokenValide);
    ASSERT_FALSE(reporter.errors.isEmpty());
    EXPECT_TRUE(
        reporter.errors.first().startsWith(QStringLiteral("Frm_MainBis:UDPDataArrival_99_Analyse_Reponse")));
}
