#pragma once

#include "db/RecordLayouts.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

class QIODevice;

namespace nvx {
class BtrieveEngine;
}

namespace nvx::btrtool {

enum ExitCode : int { ExitOk = 0, ExitDataError = 1, ExitUsage = 2 };

struct SegmentSpec {
    quint16 position = 0; // 1-based
    quint16 length = 0;
    quint16 flags = 0; // without the "next segment follows" flag: encoding adds it
    quint8 type = 0;   // extended key type; 0 compares bytes as they stand
};

// A file structure given on the command line instead of taken from the catalogue.
struct FileSpec {
    quint16 recordLength = 0;
    quint16 pageSize = 4096;
    QList<QList<SegmentSpec>> keys;
};

// One key: "POS:LEN[:FLAGS]" segments joined by "+". FLAGS is a number (decimal or 0x hex) or
// words joined by ",": dup, mod, nocase, desc.
bool parseKeySpec(const QString& text, QList<SegmentSpec>* segments, QString* error);
// The create buffer: the 16-byte file header and one 16-byte block per segment.
QByteArray encodeFileSpec(const FileSpec& structureFichier);

// Text of an engine status for messages ("The file is not open", ...).
QString statusText(int16_t status, const QString& path);

// The tool's commands over one engine. Results go to out, messages to err; each returns the
// process exit code.
class Commands {
public:
    Commands(BtrieveEngine& engine, QIODevice& out, QIODevice& err) : engine_(engine), out_(out), err_(err) {}

    // Creates the file from a create buffer; an existing file is kept unless replace.
    int create(const QString& path, const QByteArray& structureFichier, bool replace);
    // Inserts one record per JSON line of input, all in one transaction: on the first
    // refused line nothing of the import stays in the file.
    int import(const QString& path, const RecordLayout& layout, QIODevice& input);
    // Every record in the order of key keyNumber, one JSON line each.
    int exportRecords(const QString& path, const RecordLayout& layout, int keyNumber, bool compact);
    // Record length, page size, record count, keys and their segments.
    int stat(const QString& path);

    // The message "vl3-btrieve: <text>" on err.
    void fail(const QString& text);

private:
    struct Structure {
        quint16 recordLength = 0;
        quint16 pageSize = 0;
        quint32 records = 0;
        quint16 fileFlags = 0;
        QList<QList<SegmentSpec>> keys;
    };
    int engineError(const QString& what, int16_t status, const QString& path);
    int16_t readStructure(const QByteArray& posBlock, Structure* s);
    // The file's records must be as long as the layout says, or fields would be cut.
    bool checkLayout(const QString& path, const Structure& s, const RecordLayout& layout);
    void write(const QByteArray& bytes);

    BtrieveEngine& engine_;
    QIODevice& out_;
    QIODevice& err_;
};

} // namespace nvx::btrtool
