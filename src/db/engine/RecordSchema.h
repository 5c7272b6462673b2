#pragma once

#include "db/engine/FileDescription.h"

#include <string>

// The SQL of a record file: its tables, the upgrade of files made by the first format, and the
// text of the statements the engine prepares.
//
// Table records: seq (the record's identity, never reused), ver (changes with every write, so
// that a write from an out-of-date read is refused), data, one comparison-form column k<n>
// per key, and for each key that allows duplicates an order column o<n>: the stamp of the
// moment the record took its place among the records of its value. Table sequence holds the
// last stamp given, shared by seq, ver and the order columns.
namespace nvx::engine::schema {

constexpr int ApplicationId = 0x4E565842; // "NVXB": any other SQLite database is refused
constexpr int FormatVersion = 2;
// Files of format 1 have neither versions, order columns nor the sequence table.
constexpr int FirstFormatVersion = 1;

std::string keyColumn(int keyNum);
// The column that orders the records of one value of the key (seq for a unique key).
std::string orderColumn(const FileDescription& desc, int keyNum);

std::string createSql(const FileDescription& desc);
std::string upgradeFromFirstFormatSql(const FileDescription& desc);

// Every key statement returns (seq, data, key column, order column, ver).
enum class KeyQuery {
    First,
    Last,
    Equal,
    Greater,
    GreaterOrEqual,
    Less,
    LessOrEqual,
    NextInGroup,     // same value, later order (?1 value, ?2 order)
    PreviousInGroup, // same value, earlier order
};
std::string keyQuerySql(const FileDescription& desc, int keyNum, KeyQuery query);

// Binding of the record statements: ?1 data, ?2.. the key columns in key order, then
// ?stampParameter the stamp (the new seq and ver, the new order of a duplicate whose value
// changes), and for update ?stampParameter+1 the seq and ?stampParameter+2 the ver it was read
// with.
inline int stampParameter(const FileDescription& desc)
{
    return int(desc.keys.size()) + 2;
}
std::string insertSql(const FileDescription& desc);
std::string updateSql(const FileDescription& desc);

} // namespace nvx::engine::schema
