#include "gui/LogText.h"

#include "common/Win1252.h"

#include <QFile>
#include <QStringDecoder>

namespace nvx {

namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF", 3);

} // namespace

QString logFileName(const QDate& day)
{
    return day.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".Log");
}

bool startsWithUtf8Bom(QByteArrayView bytes)
{
    return bytes.startsWith(kUtf8Bom);
}

QString decodeLogBytes(QByteArrayView bytes, bool utf8)
{
    QString text;
    if (utf8) {
        text = QString::fromUtf8(bytes);
    } else {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = decoder.decode(bytes);
        if (decoder.hasError())
            text = fromWindows1252(bytes);
    }
    text.remove(u'\r');
    return text;
}

QString LogFileTail::readAppended(bool* restarted)
{
    if (restarted)
        *restarted = false;
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    if (file.size() < offset_) {
        offset_ = 0;
        partial_.clear();
        if (restarted)
            *restarted = true;
    }
    if (offset_ == 0) {
        utf8_ = startsWithUtf8Bom(file.peek(kUtf8Bom.size()));
        if (utf8_)
            offset_ = kUtf8Bom.size();
    }
    if (!file.seek(offset_))
        return {};
    const QByteArray bytes = partial_ + file.readAll();
    offset_ = file.pos();
    const qsizetype end = bytes.lastIndexOf('\n') + 1;
    partial_ = bytes.mid(end);
    return decodeLogBytes(QByteArrayView(bytes).first(end), utf8_);
}

} // namespace nvx
