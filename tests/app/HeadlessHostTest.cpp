#include "app/HeadlessHost.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace nvx;

namespace {

QString contents(FILE* f)
{
    std::fflush(f);
    std::rewind(f);
    QByteArray bytes;
    char buffer[512];
    while (const size_t n = std::fread(buffer, 1, sizeof buffer, f))
        bytes.append(buffer, qsizetype(n));
    return QString::fromUtf8(bytes);
}

TEST(HeadlessHost, AnErrorBoxAfterItsIncidentIsNotPrintedTwiceButQuestionsAre)
{
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    ASSERT_TRUE(out && err);
    {
        HeadlessHost host(out, err);
        host.addIncidentLine(QStringLiteral("Err: 12: file not found"));
        EXPECT_EQ(host.messageBox(Host::Icon::Critical, Host::Buttons::AbortRetryIgnore, QStringLiteral("T"),
                                  QStringLiteral("Err: 12: file not found, with more words"),
                                  Host::Answer::Ignore),
                  Host::Answer::Ignore);
        host.addIncidentLine(QStringLiteral("Err: 53: other"));
        host.messageBox(Host::Icon::Question, Host::Buttons::YesNo, QStringLiteral("T"),
                        QStringLiteral("Voulez-vous enregistrer les options ?"), Host::Answer::Yes);
        host.addProgressLine(QStringLiteral("line"));
        host.messageBox(Host::Icon::Exclamation, Host::Buttons::Ok, QStringLiteral("T"),
                        QStringLiteral("Non connecté"), Host::Answer::Ok);
    }
    EXPECT_EQ(contents(err), QStringLiteral("Err: 12: file not found\nErr: 53: other\n"
                                            "[T] Voulez-vous enregistrer les options ?\n[T] Non connecté\n"));
    EXPECT_EQ(contents(out), QStringLiteral("line\n"));
    std::fclose(out);
    std::fclose(err);
}

} // namespace
