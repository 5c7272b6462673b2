#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>

namespace nvx {

// Reading the daily trace log files, without widgets.

// Name of the log file of a day: "yyyyMMdd.Log".
QString logFileName(const QDate& day);

// Text of bytes read from a log file. Files of the suite are in Windows-1252, the program's own
// in UTF-8 (with or without a byte-order mark): utf8 says the file started with a UTF-8 mark;
// otherwise bytes that are valid UTF-8 are read as such and the rest as Windows-1252. Carriage
// returns are dropped.
QString decodeLogBytes(QByteArrayView bytes, bool utf8);

bool startsWithUtf8Bom(QByteArrayView bytes);

// Follows a growing log file: each read gives the complete lines appended since the last one,
// so that a line being written is not shown in two pieces.
class LogFileTail {
public:
    explicit LogFileTail(QString path = {}) : path_(std::move(path)) {}

    const QString& path() const { return path_; }
    // Text of the new complete lines (ending with a line feed), empty when there are none.
    // restarted is set when the file got shorter or was replaced: the text is then the whole file.
    QString readAppended(bool* restarted = nullptr);

private:
    QString path_;
    qint64 offset_ = 0;
    QByteArray partial_;
    bool utf8_ = false;
};

} // namespace nvx
