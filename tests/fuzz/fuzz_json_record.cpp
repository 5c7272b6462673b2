// vl3-btrieve's JSON lines: a line is either refused with the record left as it was, or taken,
// and then written out and read in again it gives the same record; any record goes out and
// comes back byte for byte.
#include "FuzzCheck.h"
#include "db/RecordLayouts.h"
#include "vl3-btrieve/JsonRecord.h"

using namespace nvx;
using namespace nvx::btrtool;
using namespace nvx::fuzz;

namespace {

// Exports record, imports the line into a blank record, and wants the same bytes back.
void checkRoundTrip(const RecordLayout& layout, const QByteArray& record, bool compact, const QString& origin)
{
    const QByteArray line = recordToJson(layout, record, compact);
    QByteArray back = blankRecord(layout);
    JsonError error;
    const bool taken = recordFromJson(layout, line, back, &error);
    const QString what = QStringLiteral("file %1, %2\nline: ").arg(layout.fichier).arg(origin) + shown(line);
    FUZZ_CHECK(taken, what + QStringLiteral("\nrefused: ") + error.text());
    FUZZ_CHECK(!line.contains('\n') && !line.contains('\r'), what);
    qsizetype differs = 0;
    while (differs < record.size() && record[differs] == back[differs])
        ++differs;
    FUZZ_CHECK(back == record, what + QStringLiteral("\nfirst difference at byte %1").arg(differs));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const auto all = layouts();
    const RecordLayout& layout = *all[size_t(in.pick(int(all.size())))];
    const bool compact = in.flag();

    if (in.flag()) {
        // Any bytes of the record's length; what lies past it stays zero, as in a blank record.
        QByteArray record = blankRecord(layout);
        const QByteArray bytes = in.take(size_t(layout.longueur));
        record.replace(0, bytes.size(), bytes);
        checkRoundTrip(layout, record, compact, QStringLiteral("record ") + shown(bytes));
        return 0;
    }

    const QByteArray line = in.rest();
    const QByteArray blank = blankRecord(layout);
    QByteArray record = blank;
    JsonError error;
    if (!recordFromJson(layout, line, record, &error)) {
        FUZZ_CHECK(record == blank, shown(line));
        FUZZ_CHECK(!error.message.isEmpty(), shown(line));
        return 0;
    }
    FUZZ_CHECK(record.size() == blank.size(), shown(line));
    checkRoundTrip(layout, record, compact, QStringLiteral("imported from ") + shown(line));
    return 0;
}
