#include "Commands.h"

#include "JsonRecord.h"
#include "db/Pervasive.h"
#include "db/engine/BtrieveEngine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QStringList>

#include <algorithm>

namespace nvx::btrtool {

namespace {

// Operations and sizes of the record manager's call used here.
enum : uint16_t {
    OpOpen = 0,
    OpClose = 1,
    OpInsert = 2,
    OpGetNext = 6,
    OpGetFirst = 12,
    OpCreate = 14,
    OpStat = 15,
    OpBeginTransaction = 19,
    OpEndTransaction = 20,
    OpAbortTransaction = 21,
};
constexpr int kPositionBlock = 128;
constexpr int kKeyBuffer = 255;
constexpr int kHeader = 16;
constexpr int kSegment = 16;
constexpr int8_t kModeNormal = 0;
constexpr int8_t kModeReadOnly = -2;
constexpr int8_t kCreateKeepExisting = -1;

constexpr quint16 kNextSegment = 0x0010;
constexpr quint16 kExtendedType = 0x0100;

quint16 u16(const QByteArray& b, int at)
{
    return quint16(quint8(b[at]) | (quint8(b[at + 1]) << 8));
}

quint32 u32(const QByteArray& b, int at)
{
    return quint32(u16(b, at)) | (quint32(u16(b, at + 2)) << 16);
}

void put16(QByteArray& b, int at, quint16 v)
{
    b[at] = char(v & 0xFF);
    b[at + 1] = char(v >> 8);
}

// The engine takes a path in the key buffer, NUL-terminated.
bool pathKey(const QString& path, QByteArray* key)
{
    QByteArray k = QFile::encodeName(path);
    if (k.size() >= kKeyBuffer)
        return false;
    k.resize(kKeyBuffer, '\0');
    *key = k;
    return true;
}

// One open of a file, closed when it goes out of scope.
class OpenFile {
public:
    explicit OpenFile(BtrieveEngine& engine) : engine_(engine) {}
    ~OpenFile()
    {
        if (open_) {
            QByteArray key(kKeyBuffer, '\0');
            uint32_t len = 0;
            engine_.BTRCALL(OpClose, pos.data(), nullptr, &len, key.data(), kKeyBuffer, 0);
        }
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    int16_t open(const QString& path, int8_t mode)
    {
        QByteArray key;
        if (!pathKey(path, &key))
            return 11; // invalid file name: longer than the key buffer
        uint32_t len = 0;
        const int16_t status =
            engine_.BTRCALL(OpOpen, pos.data(), nullptr, &len, key.data(), kKeyBuffer, mode);
        open_ = status == 0;
        return status;
    }

    QByteArray pos = QByteArray(kPositionBlock, '\0');

private:
    BtrieveEngine& engine_;
    bool open_ = false;
};

int16_t transaction(BtrieveEngine& engine, uint16_t op)
{
    QByteArray pos(kPositionBlock, '\0');
    QByteArray key(kKeyBuffer, '\0');
    uint32_t len = 0;
    return engine.BTRCALL(op, pos.data(), nullptr, &len, key.data(), kKeyBuffer, 0);
}

QString typeName(quint8 type)
{
    switch (type) {
    case 0:
        return QStringLiteral("string");
    case 1:
        return QStringLiteral("integer");
    case 11:
        return QStringLiteral("zstring");
    case 14:
        return QStringLiteral("unsigned");
    default:
        return QStringLiteral("type ") + QString::number(type);
    }
}

QString hex4(quint16 v)
{
    return QStringLiteral("0x") + QString::number(v, 16).rightJustified(4, u'0');
}

bool parseNumber(const QString& text, quint16* out)
{
    bool ok = false;
    const uint v = text.startsWith(QStringLiteral("0x")) ? text.mid(2).toUInt(&ok, 16) : text.toUInt(&ok, 10);
    if (!ok || v > 0xFFFF)
        return false;
    *out = quint16(v);
    return true;
}

} // namespace

bool parseKeySpec(const QString& text, QList<SegmentSpec>* segments, QString* error)
{
    segments->clear();
    for (const QString& part : text.split(u'+')) {
        const QStringList f = part.split(u':');
        SegmentSpec s;
        if (f.size() < 2 || f.size() > 3 || !parseNumber(f[0], &s.position) ||
            !parseNumber(f[1], &s.length) || s.position == 0 || s.length == 0) {
            *error = QStringLiteral("key segment \"") + part + QStringLiteral("\" is not POS:LEN[:FLAGS]");
            return false;
        }
        if (f.size() == 3 && !parseNumber(f[2], &s.flags)) {
            for (const QString& word : f[2].split(u',')) {
                if (word == u"dup")
                    s.flags |= 0x0001;
                else if (word == u"mod")
                    s.flags |= 0x0002;
                else if (word == u"desc")
                    s.flags |= 0x0040;
                else if (word == u"nocase")
                    s.flags |= 0x0400;
                else {
                    *error = QStringLiteral("unknown key flag \"") + word +
                             QStringLiteral("\" (a number, or dup, mod, nocase, desc)");
                    return false;
                }
            }
        }
        segments->append(s);
    }
    return true;
}

QByteArray encodeFileSpec(const FileSpec& structureFichier)
{
    QByteArray b(kHeader, '\0');
    put16(b, 0, structureFichier.recordLength);
    put16(b, 2, structureFichier.pageSize);
    put16(b, 4, quint16(structureFichier.keys.size()));
    for (const QList<SegmentSpec>& key : structureFichier.keys) {
        for (qsizetype i = 0; i < key.size(); ++i) {
            const SegmentSpec& s = key[i];
            QByteArray seg(kSegment, '\0');
            quint16 flags = s.flags & ~kNextSegment;
            if (i + 1 < key.size())
                flags |= kNextSegment;
            if (s.type != 0)
                flags |= kExtendedType;
            put16(seg, 0, s.position);
            put16(seg, 2, s.length);
            put16(seg, 4, flags);
            seg[10] = char(s.type);
            b += seg;
        }
    }
    return b;
}

QString statusText(int16_t status, const QString& path)
{
    // Statuses the engine answers that the program's own error texts leave bare.
    switch (status) {
    case 0:
        return QStringLiteral("Success");
    case 9:
        return QStringLiteral("The operation encountered the end of the file");
    case 10:
        return QStringLiteral("The key field is not modifiable");
    case 21:
        return QStringLiteral("The key buffer parameter is too short");
    case 22:
        return QStringLiteral("The data buffer parameter is too short");
    case 24:
        return QStringLiteral("The page size or data buffer size is invalid");
    case 26:
        return QStringLiteral("The number of keys specified is invalid");
    case 27:
        return QStringLiteral("The key position is invalid");
    case 28:
        return QStringLiteral("The record length is invalid");
    case 29:
        return QStringLiteral("The key length is invalid");
    case 37:
        return QStringLiteral("Another transaction is active");
    case 39:
        return QStringLiteral("No transaction is active");
    case 59:
        return QStringLiteral("The specified file already exists (") + path + u')';
    case 84:
        return QStringLiteral("The record or page is locked by another process");
    case 85:
        return QStringLiteral("The file is locked by another process");
    default:
        break;
    }
    QString text = Pervasive::ErreurBTrieveLibelle(status, path).trimmed();
    const QString prefix = QStringLiteral("Err: ") + QString::number(status);
    if (text.startsWith(prefix))
        text = text.mid(prefix.size());
    if (text.startsWith(QStringLiteral(": ")))
        text = text.mid(2);
    return text.isEmpty() ? QStringLiteral("Unknown status") : text;
}

void Commands::fail(const QString& text)
{
    err_.write((QStringLiteral("vl3-btrieve: ") + text + u'\n').toUtf8());
}

void Commands::write(const QByteArray& bytes)
{
    out_.write(bytes);
}

int Commands::engineError(const QString& what, int16_t status, const QString& path)
{
    fail(what + QStringLiteral(": status ") + QString::number(status) + QStringLiteral(": ") +
         statusText(status, path));
    return ExitDataError;
}

int16_t Commands::readStructure(const QByteArray& posBlock, Structure* s)
{
    QByteArray pos = posBlock;
    // The header, and room for every segment a file may have.
    QByteArray data(kHeader + kSegment * 1024, '\0');
    QByteArray key(kKeyBuffer, '\0');
    uint32_t len = uint32_t(data.size());
    const int16_t status = engine_.BTRCALL(OpStat, pos.data(), data.data(), &len, key.data(), kKeyBuffer, 0);
    if (status != 0)
        return status;
    const int size = int(std::min<uint32_t>(len, uint32_t(data.size())));
    if (size < kHeader)
        return 2; // an answer without its header
    s->recordLength = u16(data, 0);
    s->pageSize = u16(data, 2);
    s->records = u32(data, 6);
    s->fileFlags = u16(data, 10);
    const int keys = u16(data, 4);
    int at = kHeader;
    for (int k = 0; k < keys; ++k) {
        QList<SegmentSpec> segments;
        quint16 flags = 0;
        do {
            if (at + kSegment > size)
                return 2;
            SegmentSpec seg;
            seg.position = u16(data, at);
            seg.length = u16(data, at + 2);
            seg.flags = flags = u16(data, at + 4);
            seg.type = (flags & kExtendedType) ? quint8(data[at + 10]) : 0;
            segments.append(seg);
            at += kSegment;
        } while (flags & kNextSegment);
        s->keys.append(segments);
    }
    return 0;
}

bool Commands::checkLayout(const QString& path, const Structure& s, const RecordLayout& layout)
{
    if (s.recordLength == layout.longueur)
        return true;
    fail(path + QStringLiteral(": its records are %1 bytes long, those of file %2 are %3 bytes")
                    .arg(s.recordLength)
                    .arg(layout.fichier)
                    .arg(layout.longueur));
    return false;
}

int Commands::create(const QString& path, const QByteArray& structureFichier, bool replace)
{
    const QString what = QStringLiteral("create ") + path;
    QByteArray key;
    if (!pathKey(path, &key))
        return engineError(what, 11, path);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QByteArray pos(kPositionBlock, '\0');
    QByteArray data = structureFichier;
    uint32_t len = uint32_t(data.size());
    const int16_t status = engine_.BTRCALL(OpCreate, pos.data(), data.data(), &len, key.data(), kKeyBuffer,
                                           replace ? kModeNormal : kCreateKeepExisting);
    if (status == 59) {
        fail(what + QStringLiteral(": status 59: ") + statusText(status, path) +
             QStringLiteral("; --replace replaces it"));
        return ExitDataError;
    }
    if (status != 0)
        return engineError(what, status, path);
    write((QStringLiteral("Created ") + path + u'\n').toUtf8());
    return ExitOk;
}

int Commands::import(const QString& path, const RecordLayout& layout, QIODevice& input)
{
    const QString what = QStringLiteral("import ") + path;
    OpenFile file(engine_);
    int16_t status = file.open(path, kModeNormal);
    if (status != 0)
        return engineError(what, status, path);
    Structure s;
    status = readStructure(file.pos, &s);
    if (status != 0)
        return engineError(what, status, path);
    if (!checkLayout(path, s, layout))
        return ExitDataError;

    status = transaction(engine_, OpBeginTransaction);
    if (status != 0)
        return engineError(what, status, path);
    const auto refuse = [&] { transaction(engine_, OpAbortTransaction); };

    int lineNumber = 0;
    int count = 0;
    QByteArray key(kKeyBuffer, '\0');
    for (;;) {
        QByteArray line = input.readLine();
        if (line.isEmpty())
            break;
        ++lineNumber;
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        if (lineNumber == 1 && line.startsWith("\xEF\xBB\xBF"))
            line.remove(0, 3);
        if (line.trimmed().isEmpty())
            continue;
        const QString where = what + QStringLiteral(": line ") + QString::number(lineNumber);
        QByteArray record = blankRecord(layout);
        JsonError error;
        if (!recordFromJson(layout, line, record, &error)) {
            refuse();
            fail(where + QStringLiteral(": ") + error.text() + QStringLiteral("; nothing imported"));
            return ExitDataError;
        }
        uint32_t len = uint32_t(layout.longueur);
        status = engine_.BTRCALL(OpInsert, file.pos.data(), record.data(), &len, key.data(), kKeyBuffer, 0);
        if (status != 0) {
            refuse();
            fail(where + QStringLiteral(": status ") + QString::number(status) + QStringLiteral(": ") +
                 statusText(status, path) + QStringLiteral("; nothing imported"));
            return ExitDataError;
        }
        ++count;
    }
    status = transaction(engine_, OpEndTransaction);
    if (status != 0) {
        refuse();
        return engineError(what, status, path);
    }
    write(QStringLiteral("Imported %1 records into %2\n").arg(count).arg(path).toUtf8());
    return ExitOk;
}

int Commands::exportRecords(const QString& path, const RecordLayout& layout, int keyNumber, bool compact)
{
    const QString what = QStringLiteral("export ") + path;
    OpenFile file(engine_);
    int16_t status = file.open(path, kModeReadOnly);
    if (status != 0)
        return engineError(what, status, path);
    Structure s;
    status = readStructure(file.pos, &s);
    if (status != 0)
        return engineError(what, status, path);
    if (!checkLayout(path, s, layout))
        return ExitDataError;

    QByteArray buffer(std::max<int>(layout.tailleBuffer, s.recordLength), '\0');
    QByteArray key(kKeyBuffer, '\0');
    for (uint16_t op = OpGetFirst;; op = OpGetNext) {
        uint32_t len = uint32_t(buffer.size());
        status = engine_.BTRCALL(op, file.pos.data(), buffer.data(), &len, key.data(), kKeyBuffer,
                                 int8_t(keyNumber));
        if (status == 9)
            break;
        if (status != 0)
            return engineError(what, status, path);
        write(recordToJson(layout, buffer.left(int(len)), compact) + '\n');
    }
    return ExitOk;
}

int Commands::stat(const QString& path)
{
    OpenFile file(engine_);
    int16_t status = file.open(path, kModeReadOnly);
    if (status != 0)
        return engineError(QStringLiteral("stat ") + path, status, path);
    Structure s;
    status = readStructure(file.pos, &s);
    if (status != 0)
        return engineError(QStringLiteral("stat ") + path, status, path);

    QStringList lines;
    lines << QStringLiteral("File: ") + path;
    lines << QStringLiteral("Record length: ") + QString::number(s.recordLength);
    lines << QStringLiteral("Page size: ") + QString::number(s.pageSize);
    if (s.fileFlags != 0)
        lines << QStringLiteral("File flags: ") + hex4(s.fileFlags);
    lines << QStringLiteral("Records: ") + QString::number(s.records);
    lines << QStringLiteral("Keys: ") + QString::number(s.keys.size());
    for (qsizetype k = 0; k < s.keys.size(); ++k) {
        const QList<SegmentSpec>& segments = s.keys[k];
        int length = 0;
        for (const SegmentSpec& seg : segments)
            length += seg.length;
        const quint16 first = segments.front().flags;
        lines << QStringLiteral("Key %1: %2 bytes, %3%4")
                     .arg(k)
                     .arg(length)
                     .arg((first & 0x0001) ? QStringLiteral("duplicates") : QStringLiteral("unique"))
                     .arg((first & 0x0002) ? QStringLiteral(", modifiable") : QString());
        for (qsizetype i = 0; i < segments.size(); ++i) {
            const SegmentSpec& seg = segments[i];
            QString line = QStringLiteral("  Segment %1: bytes %2-%3, %4")
                               .arg(i + 1)
                               .arg(seg.position)
                               .arg(seg.position + seg.length - 1)
                               .arg(typeName(seg.type));
            if (seg.flags & 0x0400)
                line += QStringLiteral(", case-insensitive");
            if (seg.flags & 0x0040)
                line += QStringLiteral(", descending");
            lines << line + QStringLiteral(", flags ") + hex4(seg.flags);
        }
    }
    write((lines.join(u'\n') + u'\n').toUtf8());
    return ExitOk;
}

} // namespace nvx::btrtool
