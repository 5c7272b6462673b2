#include "net/CurlLoop.h"

#include "support/FakeHost.h"
#include "support/SilentPort.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

using namespace nvx;
using namespace nvx::test;

// The loop knows nothing of the protocol: a local file read collects its content, a content
// past the allowance is cut off as too large, and a closing program starts nothing.
TEST(CurlLoop, RunsAnyPreparedTransferWithinItsAllowance)
{
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("answer.xml")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const QByteArray content(100'000, 'x');
    f.write(content);
    f.close();
    const QByteArray url = QUrl::fromLocalFile(f.fileName()).toEncoded();

    FakeHost host;
    CurlLoop loop(host);
    QByteArray body;
    {
        const CurlLoop::Handle h = loop.handle();
        ASSERT_TRUE(h);
        curl_easy_setopt(h.get(), CURLOPT_URL, url.constData());
        const TransferResult r = loop.run(h.get(), &body);
        EXPECT_TRUE(r.ok()) << r.erreur.toStdString();
        EXPECT_EQ(body, content);
    }
    {
        const CurlLoop::Handle h = loop.handle();
        curl_easy_setopt(h.get(), CURLOPT_URL, url.constData());
        body.clear();
        const TransferResult r = loop.run(h.get(), &body, 10'000);
        EXPECT_EQ(r.failure, TransferFailure::TooLarge);
        EXPECT_EQ(r.code, CURLE_WRITE_ERROR);
        EXPECT_LE(body.size(), 10'000);
        EXPECT_FALSE(isUnreachable(r.failure));
    }

    loop.abandon = [] { return true; };
    const CurlLoop::Handle h = loop.handle();
    curl_easy_setopt(h.get(), CURLOPT_URL, url.constData());
    body.clear();
    const TransferResult r = loop.run(h.get(), &body);
    EXPECT_EQ(r.failure, TransferFailure::Abandoned);
    EXPECT_TRUE(body.isEmpty());
    EXPECT_EQ(host.pumps, 0);
}

// While the peer keeps it waiting, the host's events run between waits, and the abandon asked
// there ends the transfer long before its time-outs.
TEST(CurlLoop, EventsRunWhileWaitingAndAnAbandonEndsTheWait)
{
    SilentPort silent;
    ASSERT_NE(silent.port, 0);
    const QByteArray url = "http://127.0.0.1:" + QByteArray::number(silent.port) + "/status";

    FakeHost host;
    CurlLoop loop(host);
    loop.setTimeouts(5, 5);
    loop.abandon = [&host] { return host.pumps >= 3; };
    const CurlLoop::Handle h = loop.handle();
    curl_easy_setopt(h.get(), CURLOPT_URL, url.constData());
    QByteArray body;
    QElapsedTimer t;
    t.start();
    const TransferResult r = loop.run(h.get(), &body);
    EXPECT_LT(t.elapsed(), 2000);
    EXPECT_EQ(r.failure, TransferFailure::Abandoned);
    EXPECT_EQ(host.pumps, 3);
    EXPECT_TRUE(isUnreachable(r.failure));
}

// A transfer started from an event that runs during another one's wait (a request arriving
// while the platform is slow) has its own handle: it completes, and the waiting one goes on.
TEST(CurlLoop, ATransferStartedDuringAnotherOnesWaitCompletes)
{
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("inner.xml")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("<inner/>");
    f.close();
    const QByteArray innerUrl = QUrl::fromLocalFile(f.fileName()).toEncoded();
    SilentPort silent;
    ASSERT_GT(silent.port, 0);
    const QByteArray outerUrl = "http://127.0.0.1:" + QByteArray::number(silent.port) + "/slow";

    FakeHost host;
    CurlLoop loop(host);
    QByteArray inner;
    bool innerStarted = false;
    bool innerDone = false;
    host.onPump = [&] {
        if (innerStarted)
            return;
        innerStarted = true;
        const CurlLoop::Handle h = loop.handle();
        curl_easy_setopt(h.get(), CURLOPT_URL, innerUrl.constData());
        EXPECT_TRUE(loop.run(h.get(), &inner).ok());
        innerDone = true;
    };
    // The outer wait ends as soon as the inner transfer is over.
    loop.abandon = [&] { return innerDone; };
    const CurlLoop::Handle outer = loop.handle();
    curl_easy_setopt(outer.get(), CURLOPT_URL, outerUrl.constData());
    QByteArray body;
    const TransferResult r = loop.run(outer.get(), &body);
    EXPECT_EQ(inner, QByteArray("<inner/>"));
    EXPECT_EQ(r.failure, TransferFailure::Abandoned);
}
