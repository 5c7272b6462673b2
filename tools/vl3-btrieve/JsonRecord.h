#pragma once

#include "db/RecordLayouts.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace nvx::btrtool {

// A record as one JSON object on one line, keyed by the layout's field names.
//
// Texts are JSON strings without their trailing blanks (a record keeps them as padding, so
// they carry nothing and importing the text pads it again); numbers are JSON integers. Every
// byte of a record belongs to a field, so a record exported and imported again is the same
// record byte for byte.

// The object in layout order, UTF-8, without a line end. compact leaves out blank texts and
// zero numbers, which importing restores.
QByteArray recordToJson(const RecordLayout& layout, const QByteArray& record, bool compact = false);

struct JsonError {
    QString field; // empty when the line as a whole is wrong
    QString message;

    // "field \"Heure\": ..." or the message alone.
    QString text() const;
};

// A blank record of the layout: blank texts, zero numbers, zeros past the record length.
QByteArray blankRecord(const RecordLayout& layout);

// Sets the fields a JSON line names on record (which starts as blankRecord). Unknown names,
// wrong types, texts wider than their field or with characters the code page lacks, and
// numbers out of the field's range are refused; on refusal record is left as it was.
bool recordFromJson(const RecordLayout& layout, QByteArrayView line, QByteArray& record, JsonError* error);

} // namespace nvx::btrtool
