// The platform's answers: any bytes are analysed without a trapped error and with consistent
// results, and an answer built from known codes and token gives back exactly those.
#include "FuzzCheck.h"
#include "platform/PlatformRequests.h"
#include "platform/PlatformValues.h"
#include "platform/ResponseAnalysis.h"
#include "support/FakeClock.h"
#include "support/RecordingReporter.h"

#include <algorithm>
#include <array>

using namespace nvx;
using namespace nvx::fuzz;
using nvx::test::FakeClock;
using nvx::test::RecordingReporter;

namespace {

const std::array<QString, 6> kKinds = {kinds::Auth,    kinds::AuthCheck,      kinds::GetStatusHours,
                                       kinds::FtpSons, kinds::ExportSchedule, kinds::SetStatusHour};
const std::array<const char*, 12> kCodes = {"200", "204", "300", "400", "401", "402",
                                            "403", "404", "405", "500", "999", ""};

// A text for an element, without the characters a document cannot carry as they are.
QString elementText(Input& in)
{
    QString s = QString::fromUtf8(in.bytes(16));
    s.remove(QChar(0));
    s.remove(u'\r');
    return s;
}

void checkAnyAnswer(Input& in)
{
    const QString kind = kKinds[size_t(in.pick(int(kKinds.size())))];
    const bool tokenValid = in.flag();
    const QByteArray answer = in.rest();
    RecordingReporter reporter;
    FakeClock clock;
    PlatformValues v;
    v.PbBTokenValide = tokenValid;
    ResponseAnalysis analysis(reporter, clock, v);
    const AnalyseResultat r = analysis.UDPDataArrival_99_Analyse_Reponse(answer, kind);

    const QString what = kind + u' ' + shown(answer);
    FUZZ_CHECK(reporter.origins.isEmpty(), what + u'\n' + reporter.errors.value(0).ErreurDescription);
    FUZZ_CHECK(r.lines.size() <= r.codes.size(), what);
    FUZZ_CHECK(r.xml || (r.codes.isEmpty() && r.lines.isEmpty()), what);
    // A refusal ends the analysis: nothing is acted on after it.
    for (qsizetype i = 0; i < r.codes.size(); ++i)
        if (r.codes[i].trimmed() == u"401")
            FUZZ_CHECK(i == r.codes.size() - 1 && v.PbBErreurAuthentification, what);
    if (r.utilisable())
        for (const QString& code : r.codes)
            FUZZ_CHECK(!CodeErreur(code), what);
    // The token is only ever taken from an answer to a login or its check.
    if (kind != kinds::Auth && kind != kinds::AuthCheck)
        FUZZ_CHECK(v.TokenId.isEmpty() && v.PbBTokenValide == tokenValid, what);
}

// <root><response><code>..</code><message>..</message><data/></response>... with the token.
void checkBuiltAnswer(Input& in)
{
    const QString kind = in.flag() ? kinds::Auth : kKinds[size_t(in.pick(int(kKinds.size())))];
    QStringList codes;
    QString body;
    const int responses = 1 + in.pick(3);
    for (int i = 0; i < responses; ++i) {
        const int n = in.pick(3);
        body += QStringLiteral("<response>");
        for (int c = 0; c < n; ++c) {
            const QString code = in.flag() ? QString::fromLatin1(kCodes[size_t(in.pick(int(kCodes.size())))])
                                           : elementText(in);
            codes.append(code.trimmed());
            // The element names are matched in any case.
            const QString tag = in.flag() ? QStringLiteral("code") : QStringLiteral("Code");
            body += u'<' + tag + u'>' + EchappeXml(code) + QStringLiteral("</") + tag + u'>';
            body += QStringLiteral("<message>") + EchappeXml(elementText(in)) + QStringLiteral("</message>");
        }
        body += QStringLiteral("<data/></response>");
    }
    const QString token = elementText(in);
    body += QStringLiteral("<authSucceeded><token> ") + EchappeXml(token) +
            QStringLiteral(" </token></authSucceeded>");
    const QString answer =
        QStringLiteral("<?xml version=\"1.0\"?><vlapi>") + body + QStringLiteral("</vlapi>");

    RecordingReporter reporter;
    FakeClock clock;
    PlatformValues v;
    ResponseAnalysis analysis(reporter, clock, v);
    const AnalyseResultat r = analysis.UDPDataArrival_99_Analyse_Reponse(answer, kind);

    const QString what = kind + u' ' + shown(answer);
    FUZZ_CHECK(r.xml && reporter.origins.isEmpty(), what);
    const qsizetype refusal = codes.indexOf(QStringLiteral("401"));
    const QStringList expected = refusal < 0 ? codes : codes.mid(0, refusal + 1);
    FUZZ_CHECK(r.codes == expected, what + QStringLiteral("\ngot: ") + r.codes.join(u'|'));
    // A login or its check granted (a 200 before any refusal) validates the token; a login takes
    // the token as sent, without its blanks.
    const bool granted =
        (kind == kinds::Auth || kind == kinds::AuthCheck) && expected.contains(QStringLiteral("200"));
    FUZZ_CHECK(v.PbBTokenValide == granted, what);
    if (granted && kind == kinds::Auth && refusal < 0)
        FUZZ_CHECK(v.TokenId == token.trimmed(), what + QStringLiteral("\ntoken: ") + shown(v.TokenId));
    FUZZ_CHECK(
        r.utilisable() ==
            (!expected.isEmpty() && std::none_of(expected.begin(), expected.end(), CodeErreur) &&
             std::any_of(expected.begin(), expected.end(), [](const QString& c) { return !c.isEmpty(); })),
        what);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    if (in.flag())
        checkBuiltAnswer(in);
    else
        checkAnyAnswer(in);
    return 0;
}
