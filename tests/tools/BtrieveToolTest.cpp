// vl3-btrieve: JSON lines to records and back, and the commands run as a user runs them.
#include "JsonRecord.h"
#include "db/Catalogue.h"
#include "db/RecordLayouts.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace nvx;
using namespace nvx::btrtool;

namespace {

const QString kTool = QStringLiteral(NVX_BIN_DIR "/vl3-btrieve");

const RecordLayout& layout53()
{
    return *layoutFichier(53);
}

QJsonObject object(const QByteArray& line)
{
    return QJsonDocument::fromJson(line).object();
}

QList<QByteArray> lines(const QByteArray& text)
{
    QList<QByteArray> l = text.split('\n');
    if (!l.isEmpty() && l.back().isEmpty())
        l.pop_back();
    return l;
}

QString trimmedRight(QString s)
{
    while (s.endsWith(u' '))
        s.chop(1);
    return s;
}

// What export must give for a field that was imported as in (absent: blank or zero).
void expectSameModuloTrimming(const RecordLayout& layout, const QJsonObject& in, const QJsonObject& out)
{
    for (const Champ& c : layout.champs) {
        const QString name = QLatin1StringView(c.nom);
        if (c.type == TypeChamp::Texte)
            EXPECT_EQ(out.value(name).toString(), trimmedRight(in.value(name).toString())) << c.nom;
        else
            EXPECT_EQ(out.value(name).toInteger(), in.value(name).toInteger(0)) << c.nom;
    }
}

} // namespace

// ---- JSON lines and records ----

TEST(BtrieveJsonTest, RecordComesBackByteForByteFromItsLine)
{
    Record r(layout53());
    r.setText(u"Date", QStringLiteral("20240301"));
    r.setText(u"Libelle", QStringLiteral("Été \"7h\"\\\t€  "));
    r.setInteger(u"DureeEcranPub", -32768);
    r.setInteger(u"ModifDureeJouee", 2147483647);
    r.setInteger(u"ModifFadeInPosition", -1);
    // Bytes no text would hold: a NUL and one the code page leaves undefined.
    r.bytes()[80] = '\0';
    r.bytes()[81] = char(0x81);
    const QByteArray record = r.bytes().left(layout53().longueur);

    for (bool compact : {false, true}) {
        const QByteArray json = recordToJson(layout53(), record, compact);
        EXPECT_FALSE(json.contains('\n'));
        EXPECT_EQ(object(json).value(QStringLiteral("Libelle")).toString(),
                  QStringLiteral("Été \"7h\"\\\t€"));
        EXPECT_EQ(object(json).contains(QStringLiteral("Cle2")), !compact);
        QByteArray back = blankRecord(layout53());
        JsonError error;
        ASSERT_TRUE(recordFromJson(layout53(), json, back, &error)) << error.text().toStdString();
        EXPECT_EQ(back.left(layout53().longueur), record) << (compact ? "compact" : "full");
    }
}

TEST(BtrieveJsonTest, FieldsLeftOutAreBlankOrZero)
{
    QByteArray record = blankRecord(layout53());
    JsonError error;
    ASSERT_TRUE(recordFromJson(layout53(), R"({"Heure":"07","DureeFlux":-5})", record, &error));
    Record expected(layout53());
    expected.setText(u"Heure", QStringLiteral("07"));
    expected.setInteger(u"DureeFlux", -5);
    EXPECT_EQ(record, expected.bytes());
}

TEST(BtrieveJsonTest, RefusedValuesNameTheFieldAndLeaveTheRecordAlone)
{
    struct Case {
        const char* line;
        const char* field;
        const char* says;
    };
    const Case cases[] = {
        {R"({"Date":"20240301","Heure":"123"})", "Heure", "wider than the field (2)"},
        {R"({"Horaire":"07"})", "Horaire", "no such field"},
        {R"({"DureeEcranPub":"12"})", "DureeEcranPub", "expected a whole number, got a text"},
        {R"({"Heure":7})", "Heure", "expected a text, got a number"},
        {R"({"DureeEcranPub":null})", "DureeEcranPub", "got null"},
        {R"({"DureeEcranPub":1.5})", "DureeEcranPub", "whole number"},
        {R"({"DureeEcranPub":32768})", "DureeEcranPub", "out of the field's range (-32768 to 32767)"},
        {R"({"ModifDureeJouee":-2147483649})", "ModifDureeJouee", "out of the field's range"},
        {R"({"Libelle":"日本"})", "Libelle", "U+65E5 has no place in the code page"},
        {R"({"Libelle":"🎵"})", "Libelle", "U+1F3B5"},
        {R"([{"Heure":"07"}])", "", "expected one JSON object"},
        {R"({"Heure":"07",})", "", "not valid JSON"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        QByteArray record = blankRecord(layout53());
        JsonError error;
        EXPECT_FALSE(recordFromJson(layout53(), c.line, record, &error));
        EXPECT_EQ(error.field, QString::fromUtf8(c.field));
        EXPECT_TRUE(error.text().contains(QString::fromUtf8(c.says))) << error.text().toStdString();
        EXPECT_EQ(record, blankRecord(layout53()));
    }
    // The limits themselves are accepted.
    QByteArray record = blankRecord(layout53());
    JsonError error;
    EXPECT_TRUE(recordFromJson(layout53(), R"({"DureeEcranPub":32767,"ModifDureeJouee":-2147483648})", record,
                               &error));
}

// ---- the commands ----

namespace {

struct Outcome {
    int code = -1;
    QByteArray out;
    QString err;
};

class BtrieveToolTest : public ::testing::Test {
protected:
    Outcome tool(const QStringList& args, const QByteArray& input = {})
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("VL3_BTRIEVE_LIBRARY"));
        p.setProcessEnvironment(env);
        p.start(kTool, args);
        p.write(input);
        p.closeWriteChannel();
        p.waitForFinished(60000);
        Outcome r;
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = p.readAllStandardOutput();
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
    QStringList at(int file, int station = 1) const
    {
        return {QStringLiteral("--data"),    dir.path(),
                QStringLiteral("--file"),    QString::number(file),
                QStringLiteral("--station"), QString::number(station)};
    }
    Outcome command(const QString& name, int file, int station, const QStringList& more = {},
                    const QByteArray& input = {})
    {
        return tool(QStringList{name} + at(file, station) + more, input);
    }
    QString records(int file, int station = 1)
    {
        const Outcome r = command(QStringLiteral("stat"), file, station);
        for (const QByteArray& l : lines(r.out))
            if (l.startsWith("Records: "))
                return QString::fromUtf8(l.mid(9));
        return QStringLiteral("no stat: ") + r.err;
    }

    // Imports the lines, exports them in the order of key, checks the order and the values
    // against the input, then checks the export imports into a second station's file and
    // exports again unchanged.
    void roundTrip(int file, int key, const QByteArray& input,
                   const std::function<QString(const QJsonObject&)>& keyOf)
    {
        const QStringList byKey{QStringLiteral("--key"), QString::number(key)};
        ASSERT_EQ(command(QStringLiteral("create"), file, 1).code, 0);
        const Outcome imported = command(QStringLiteral("import"), file, 1, {QStringLiteral("-")}, input);
        ASSERT_EQ(imported.code, 0) << imported.err.toStdString();
        const Outcome exported = command(QStringLiteral("export"), file, 1, byKey);
        ASSERT_EQ(exported.code, 0) << exported.err.toStdString();

        QList<QJsonObject> expected;
        for (const QByteArray& l : lines(input))
            if (!l.isEmpty())
                expected << object(l);
        std::stable_sort(expected.begin(), expected.end(),
                         [&](const QJsonObject& a, const QJsonObject& b) { return keyOf(a) < keyOf(b); });
        const QList<QByteArray> out = lines(exported.out);
        ASSERT_EQ(out.size(), expected.size());
        for (qsizetype i = 0; i < out.size(); ++i) {
            SCOPED_TRACE(out[i].toStdString());
            expectSameModuloTrimming(*layoutFichier(file), expected[i], object(out[i]));
        }

        ASSERT_EQ(command(QStringLiteral("create"), file, 2).code, 0);
        ASSERT_EQ(command(QStringLiteral("import"), file, 2, {QStringLiteral("-")}, exported.out).code, 0);
        EXPECT_EQ(command(QStringLiteral("export"), file, 2, byKey).out, exported.out);
    }

    QTemporaryDir dir;
};

// Rows of a schedule day out of order; texts with trailing blanks, accents and quotes.
const QByteArray kDay =
    R"({"Date":"20240301","Heure":"08","Minute":"00","Seconde":"00","Ordre":"01","Nature":"Rup","Libelle":"Top 8h   "}
{"Date":"20240301","Heure":"07","Minute":"03","Seconde":"12","Ordre":"01","Nature":"Son","IdMorceau":"00000042","ModifEntree":"1","ModifFadeInPosition":-250,"ModifDureeJouee":183000,"AttenuationFin":-3,"Guid":"6f1c2a9e-0d1b-4c55-9b7e-3f0e2d4c5b6a"}

{"Date":"20240301","Heure":"07","Minute":"00","Seconde":"00","Ordre":"01","Nature":"Rup","Libelle":"Été \"7h\""}
{"Date":"20240301","Heure":"07","Minute":"03","Seconde":"12","Ordre":"02","Nature":"Pub","NoEcranPub":"03","DureeEcranPub":120}
{"Date":"20240301","Heure":"07","Minute":"06","Seconde":"15","Ordre":"01","Nature":"Flx","TypeFlux":"1","DureeFlux":600,"Libelle":"Flux régional"}
)";

// Songs, two of them by one artist, inserted out of artist order.
const QByteArray kSongs =
    R"({"IdMorceau":"00000042","CodeArtiste1":"00007","Titre1":"Là-bas","CodeCategorie":"POP","Version":"Radio edit"}
{"IdMorceau":"00000017","CodeArtiste1":"00003","CodeArtiste2":"00009","Titre1":"Première partie d'un titre long     ","Titre2":"et sa suite","CodeCategorie":"ROCK"}
{"IdMorceau":"00000005","CodeArtiste1":"00007","Titre1":"Ailleurs","CodeCategorie":"POP"}
)";

} // namespace

TEST_F(BtrieveToolTest, ScheduleDayAndItsSongsRoundTrip)
{
    const auto text = [](const QJsonObject& o, const char* name) -> QString {
        return o.value(QLatin1StringView(name)).toString();
    };
    roundTrip(53, 0, kDay, [&](const QJsonObject& o) -> QString {
        return text(o, "Date") + text(o, "Heure") + text(o, "Minute") + text(o, "Seconde") + text(o, "Ordre");
    });
    roundTrip(22, 1, kSongs, [&](const QJsonObject& o) -> QString { return text(o, "CodeArtiste1"); });

    // Per-station files carry the station in their names.
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("FRADA53.bt6"))));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("FRADB53.bt6"))));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("FRADA22.bt6"))));
}

TEST_F(BtrieveToolTest, WrongLineThreeLeavesTheFileEmpty)
{
    const QByteArray good = lines(kDay)[0] + '\n' + lines(kDay)[1] + '\n';
    struct Case {
        QByteArray third;
        const char* says;
    };
    const Case cases[] = {
        {R"({"Date":"20240301","Heure":"123"})", "line 3: field \"Heure\": text of 3 characters"},
        {R"({"Date":"20240301","Couleur":"1"})", "line 3: field \"Couleur\": no such field"},
        {R"({"Date":"20240301","DureeFlux":"600"})", "line 3: field \"DureeFlux\": expected a whole number"},
        // The same key as line 1: the engine refuses it after two inserts succeeded.
        {lines(kDay)[0], "line 3: status 5: "},
    };
    ASSERT_EQ(command(QStringLiteral("create"), 53, 1).code, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        const Outcome r =
            command(QStringLiteral("import"), 53, 1, {QStringLiteral("-")}, good + c.third + '\n');
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.says))) << r.err.toStdString();
        EXPECT_EQ(records(53), QStringLiteral("0"));
        EXPECT_TRUE(command(QStringLiteral("export"), 53, 1).out.isEmpty());
    }
}

TEST_F(BtrieveToolTest, CreateKeepsAnExistingFileUnlessAskedToReplaceIt)
{
    ASSERT_EQ(command(QStringLiteral("create"), 22, 3).code, 0);
    ASSERT_EQ(command(QStringLiteral("import"), 22, 3, {QStringLiteral("-")}, kSongs).code, 0);

    const Outcome again = command(QStringLiteral("create"), 22, 3);
    EXPECT_EQ(again.code, 1);
    EXPECT_TRUE(again.err.contains(QStringLiteral("status 59: "))) << again.err.toStdString();
    EXPECT_EQ(records(22, 3), QStringLiteral("3"));

    EXPECT_EQ(command(QStringLiteral("create"), 22, 3, {QStringLiteral("--replace")}).code, 0);
    EXPECT_EQ(records(22, 3), QStringLiteral("0"));
}

TEST_F(BtrieveToolTest, StatShowsTheStructureGivenAtCreation)
{
    const QString path = dir.filePath(QStringLiteral("explicit.bt6"));
    const Outcome created = tool({QStringLiteral("create"), path, QStringLiteral("--record-length"),
                                  QStringLiteral("120"), QStringLiteral("--page-size"),
                                  QStringLiteral("2048"), QStringLiteral("--key"), QStringLiteral("1:8:mod"),
                                  QStringLiteral("--key"), QStringLiteral("9:5:dup,nocase+64:5:0x0001")});
    ASSERT_EQ(created.code, 0) << created.err.toStdString();
    const QList<QByteArray> stat = lines(tool({QStringLiteral("stat"), path}).out);
    const QList<QByteArray> expected{"File: " + path.toUtf8(),
                                     "Record length: 120",
                                     "Page size: 2048",
                                     "Records: 0",
                                     "Keys: 2",
                                     "Key 0: 8 bytes, unique, modifiable",
                                     "  Segment 1: bytes 1-8, string, flags 0x0002",
                                     "Key 1: 10 bytes, duplicates",
                                     "  Segment 1: bytes 9-13, string, case-insensitive, flags 0x0411",
                                     "  Segment 2: bytes 64-68, string, flags 0x0001"};
    EXPECT_EQ(stat, expected);

    // A catalogue file shows the catalogue's structure.
    Catalogue catalogue;
    catalogue.InitGeneralData();
    const EntreeCatalogue& songs = catalogue.entree(22);
    ASSERT_EQ(command(QStringLiteral("create"), 22, 1).code, 0);
    const QList<QByteArray> out = lines(command(QStringLiteral("stat"), 22, 1).out);
    EXPECT_TRUE(out.contains("Record length: " + QByteArray::number(songs.longueurEnregistrement)));
    EXPECT_TRUE(out.contains("Page size: " + QByteArray::number(songs.taillePage)));
    EXPECT_TRUE(out.contains("Keys: " + QByteArray::number(songs.nbCles)));
}

TEST_F(BtrieveToolTest, CommandLineMistakesExitTwoAndTouchNothing)
{
    // Command lines with the data folder as DIR; the empty one is the first.
    const char* const mistakes[] = {
        "",
        "frobnicate",
        "create",
        "export --data DIR",
        "create --data DIR --file 53 --station 21",
        "create --data DIR --file 8",
        "import --data DIR --file 0 -",
        "import --data DIR --file 53",
        "create DIR/x.bt6 --record-length 10 --key 1:x",
        "create DIR/x.bt6 --record-length 10 --key 1:4:dupe",
        "export --data DIR --file 53 --bogus",
        "export --data DIR --file 53 --key 1 --key 2",
    };
    for (const char* line : mistakes) {
        SCOPED_TRACE(line);
        const QStringList args = QString::fromLatin1(line)
                                     .replace(QStringLiteral("DIR"), dir.path())
                                     .split(u' ', Qt::SkipEmptyParts);
        const Outcome r = tool(args);
        EXPECT_EQ(r.code, 2);
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("vl3-btrieve: "))) << r.err.toStdString();
    }
    EXPECT_TRUE(QDir(dir.path()).isEmpty());

    // A missing file is the engine's answer, not a usage error.
    const Outcome missing = command(QStringLiteral("export"), 53, 1);
    EXPECT_EQ(missing.code, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("status 12: "))) << missing.err.toStdString();
}

// A file made by a program of another language through the shared library reads back with the
// engine's statuses and order, there and through the tool.
TEST_F(BtrieveToolTest, FileFilledThroughTheSharedLibraryByAnotherProgramReadsBack)
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        GTEST_SKIP() << "python3 is not installed";
#ifdef NVX_SANITIZED
    GTEST_SKIP() << "the sanitized library cannot be loaded by an unsanitized interpreter";
#endif
    const QString path = dir.filePath(QStringLiteral("FRADA20.bt6"));
    QProcess p;
    p.start(python, {QStringLiteral(NVX_TOOLS_TEST_DIR "/btrcall_ctypes.py"),
                     QStringLiteral(NVX_LIB_DIR "/libvl3btrieve.so"), path});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardOutput().toStdString()
                               << p.readAllStandardError().toStdString();

    const auto codes = [&](int key) {
        QStringList c;
        const Outcome r = tool({QStringLiteral("export"), path, QStringLiteral("--file"),
                                QStringLiteral("20"), QStringLiteral("--key"), QString::number(key)});
        for (const QByteArray& l : lines(r.out))
            c << object(l).value(QStringLiteral("CodeArtiste")).toString();
        return c;
    };
    EXPECT_EQ(codes(0), (QStringList{QStringLiteral("A0001"), QStringLiteral("A0002"),
                                     QStringLiteral("A0003"), QStringLiteral("A0004")}));
    // Names compared without case, equal names in the order they were inserted.
    EXPECT_EQ(codes(2), (QStringList{QStringLiteral("A0001"), QStringLiteral("A0003"),
                                     QStringLiteral("A0004"), QStringLiteral("A0002")}));
    const QByteArray stat = tool({QStringLiteral("stat"), path}).out;
    EXPECT_TRUE(stat.contains("Records: 4\n"));
    EXPECT_TRUE(stat.contains("Keys: 4\n"));
}
