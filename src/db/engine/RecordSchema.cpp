#include "db/engine/RecordSchema.h"

namespace nvx::engine::schema {

namespace {

std::string parameter(int n)
{
    return "?" + std::to_string(n);
}

} // namespace

std::string keyColumn(int keyNum)
{
    return "k" + std::to_string(keyNum);
}

std::string orderColumn(const FileDescription& desc, int keyNum)
{
    return desc.keys[size_t(keyNum)].duplicates() ? "o" + std::to_string(keyNum) : std::string("seq");
}

std::string createSql(const FileDescription& desc)
{
    std::string sql =
        "PRAGMA application_id=" + std::to_string(ApplicationId) +
        ";PRAGMA user_version=" + std::to_string(FormatVersion) +
        ";CREATE TABLE description(body BLOB NOT NULL)"
        ";CREATE TABLE sequence(value INTEGER NOT NULL)"
        ";INSERT INTO sequence(value) VALUES (0)"
        ";CREATE TABLE records(seq INTEGER PRIMARY KEY, ver INTEGER NOT NULL, data BLOB NOT NULL";
    for (size_t k = 0; k < desc.keys.size(); ++k) {
        sql += ", " + keyColumn(int(k)) + " BLOB NOT NULL";
        if (desc.keys[k].duplicates())
            sql += ", " + orderColumn(desc, int(k)) + " INTEGER NOT NULL";
    }
    sql += ");";
    for (size_t k = 0; k < desc.keys.size(); ++k) {
        const std::string c = keyColumn(int(k));
        if (desc.keys[k].duplicates())
            sql += "CREATE INDEX key" + std::to_string(k) + " ON records(" + c + ", " +
                   orderColumn(desc, int(k)) + ");";
        else
            sql += "CREATE UNIQUE INDEX key" + std::to_string(k) + " ON records(" + c + ");";
    }
    return sql;
}

// The first format ordered duplicates by seq alone: the order columns start from it, and so
// does the sequence, so that nothing already in the file is given again.
std::string upgradeFromFirstFormatSql(const FileDescription& desc)
{
    std::string sql = "ALTER TABLE records ADD COLUMN ver INTEGER NOT NULL DEFAULT 0;"
                      "UPDATE records SET ver = seq;";
    for (size_t k = 0; k < desc.keys.size(); ++k) {
        if (!desc.keys[k].duplicates())
            continue;
        const std::string o = orderColumn(desc, int(k));
        const std::string index = "key" + std::to_string(k);
        sql += "ALTER TABLE records ADD COLUMN " + o + " INTEGER NOT NULL DEFAULT 0;UPDATE records SET " + o +
               " = seq;DROP INDEX IF EXISTS " + index + ";CREATE INDEX " + index + " ON records(" +
               keyColumn(int(k)) + ", " + o + ");";
    }
    sql += "CREATE TABLE sequence(value INTEGER NOT NULL);"
           "INSERT INTO sequence(value) SELECT coalesce(max(seq), 0) FROM records;"
           "PRAGMA user_version=" +
           std::to_string(FormatVersion) + ";";
    return sql;
}

std::string keyQuerySql(const FileDescription& desc, int keyNum, KeyQuery query)
{
    const std::string k = keyColumn(keyNum);
    const std::string o = orderColumn(desc, keyNum);
    const std::string head = "SELECT seq, data, " + k + ", " + o + ", ver FROM records";
    const std::string up = " ORDER BY " + k + ", " + o + " LIMIT 1";
    const std::string down = " ORDER BY " + k + " DESC, " + o + " DESC LIMIT 1";
    switch (query) {
    case KeyQuery::First:
        return head + up;
    case KeyQuery::Last:
        return head + down;
    case KeyQuery::Equal:
        return head + " WHERE " + k + " = ?1" + up;
    case KeyQuery::Greater:
        return head + " WHERE " + k + " > ?1" + up;
    case KeyQuery::GreaterOrEqual:
        return head + " WHERE " + k + " >= ?1" + up;
    case KeyQuery::Less:
        return head + " WHERE " + k + " < ?1" + down;
    case KeyQuery::LessOrEqual:
        return head + " WHERE " + k + " <= ?1" + down;
    case KeyQuery::NextInGroup:
        // Two plain seeks (within the group, then past it) instead of one row-value
        // comparison, which SQLite answers by scanning the whole duplicate group.
        return head + " WHERE " + k + " = ?1 AND " + o + " > ?2" + up;
    case KeyQuery::PreviousInGroup:
        return head + " WHERE " + k + " = ?1 AND " + o + " < ?2" + down;
    }
    return {};
}

std::string insertSql(const FileDescription& desc)
{
    const std::string stamp = parameter(stampParameter(desc));
    std::string cols = "seq, ver, data", values = stamp + ", " + stamp + ", ?1";
    for (size_t k = 0; k < desc.keys.size(); ++k) {
        cols += ", " + keyColumn(int(k));
        values += ", " + parameter(int(k) + 2);
        if (desc.keys[k].duplicates()) {
            cols += ", " + orderColumn(desc, int(k));
            values += ", " + stamp;
        }
    }
    return "INSERT INTO records(" + cols + ") VALUES (" + values + ")";
}

std::string updateSql(const FileDescription& desc)
{
    const int s = stampParameter(desc);
    std::string sql = "UPDATE records SET data = ?1, ver = " + parameter(s);
    for (size_t k = 0; k < desc.keys.size(); ++k) {
        const std::string c = keyColumn(int(k));
        const std::string value = parameter(int(k) + 2);
        sql += ", " + c + " = " + value;
        // The right-hand sides see the row as it was: a duplicate keeps its place while its
        // value stays, and goes after the others of its new value when it changes.
        if (desc.keys[k].duplicates()) {
            const std::string o = orderColumn(desc, int(k));
            sql += ", " + o + " = CASE WHEN " + c + " = " + value + " THEN " + o + " ELSE " + parameter(s) +
                   " END";
        }
    }
    return sql + " WHERE seq = " + parameter(s + 1) + " AND ver = " + parameter(s + 2);
}

} // namespace nvx::engine::schema
