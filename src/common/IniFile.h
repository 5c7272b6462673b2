#pragma once

#include <QFileDevice>
#include <QList>
#include <QString>
#include <QStringList>

namespace nvx {

// Private-profile INI files as the suite's programs read and write them.
//
// Sections and keys are matched case-insensitively and the first occurrence wins; blanks
// around keys and values are ignored and a value wrapped in double quotes loses them; values
// handed out are cut at 254 characters, as the suite's readers see them. Comments and lines
// that are neither sections nor keys are written back exactly as they were. A new key goes at
// the end of its section, a new section at the end of the file.
//
// Files are in Windows-1252 unless they start with a byte-order mark (UTF-8 or UTF-16 LE),
// which is then kept. Every rewrite replaces the whole file at once with CR LF line ends, so
// no reader ever sees half a file, and creates the folder when it is missing.
//
// All paths given here are native paths.
class IniFile {
public:
    enum class Encoding { Windows1252, Utf8Bom, Utf16LeBom };
    // Longest value the suite's readers get back.
    static constexpr qsizetype MaxValueLength = 254;

    // Value of key in section, or defaultValue when the file, the section or the key is missing.
    static QString read(const QString& nativePath, const QString& section, const QString& key,
                        const QString& defaultValue = {});
    // Sets key in section (a null value writes an empty one; use removeKey to delete). False when
    // the names are refused (see setValue) or the file cannot be read or written.
    // newFileMode applies only when the file is created.
    static bool write(const QString& nativePath, const QString& section, const QString& key,
                      const QString& value, QFileDevice::Permissions newFileMode = {});
    // True when the file no longer holds the key (or the section); a missing file is left alone.
    static bool removeKey(const QString& nativePath, const QString& section, const QString& key);
    static bool removeSection(const QString& nativePath, const QString& section);

    // In-memory form, for several edits with one rewrite.
    // A missing file gives an empty document; false when the file exists but cannot be read.
    bool load(const QString& nativePath);
    // Rewrites the file loaded (or named by setPath) whole. newFileMode applies only when the
    // file is created.
    bool save(QFileDevice::Permissions newFileMode = {});

    QString path() const { return path_; }
    void setPath(const QString& nativePath) { path_ = nativePath; }
    Encoding encoding() const { return encoding_; }
    void setEncoding(Encoding encoding) { encoding_ = encoding; }
    bool isModified() const { return modified_; }
    QString errorString() const { return error_; }

    // maxLength < 0 gives the whole value.
    QString value(const QString& section, const QString& key, const QString& defaultValue = {},
                  qsizetype maxLength = MaxValueLength) const;
    bool contains(const QString& section, const QString& key) const;
    // Refuses (false) a blank section or key, a section holding "]", a key holding "=" or
    // starting with "[" or ";", and any line break or NUL, as each of these would be read back
    // as something else.
    bool setValue(const QString& section, const QString& key, const QString& value);
    // True when something was removed.
    bool removeKey(const QString& section, const QString& key);
    // Removes every section of that name with its lines.
    bool removeSection(const QString& section);
    // Names as first written in the file, each once, in file order.
    QStringList sections() const;
    QStringList keys(const QString& section) const;

    // The file's text as it would be written (CR LF line ends, without byte-order mark).
    QString text() const;

private:
    struct Line {
        enum class Kind { Other, Section, Key };
        Kind kind = Kind::Other;
        QString text;  // the line as read, without its line end
        QString name;  // section or key name, trimmed
        QString value; // key value, trimmed, quotes kept
    };

    static Line parse(const QString& text);
    void setText(const QString& text);
    qsizetype findSection(const QString& section) const;
    qsizetype sectionEnd(qsizetype header) const;
    qsizetype findKey(qsizetype header, const QString& key) const;

    QString path_;
    QList<Line> lines_;
    Encoding encoding_ = Encoding::Windows1252;
    bool modified_ = false;
    QString error_;
};

} // namespace nvx
