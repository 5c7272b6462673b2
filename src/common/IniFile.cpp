#include "common/IniFile.h"

#include "common/Win1252.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace nvx {

namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF", 3);
const QByteArray kUtf16LeBom("\xFF\xFE", 2);

bool hasLineBreakOrNul(const QString& s)
{
    return s.contains(u'\r') || s.contains(u'\n') || s.contains(QChar(0));
}

// The system's profile reader drops one pair of enclosing quotes, single or double.
QString unquoted(const QString& value)
{
    for (const char16_t quote : {u'"', u'\''})
        if (value.size() >= 2 && value.startsWith(quote) && value.endsWith(quote))
            return value.mid(1, value.size() - 2);
    return value;
}

} // namespace

IniFile::Line IniFile::parse(const QString& text)
{
    Line line;
    line.text = text;
    const QString t = text.trimmed();
    if (t.startsWith(u'[')) {
        const qsizetype close = t.indexOf(u']');
        line.kind = Line::Kind::Section;
        line.name = (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
    } else if (!t.isEmpty() && !t.startsWith(u';')) {
        const qsizetype eq = t.indexOf(u'=');
        if (eq > 0) {
            line.kind = Line::Kind::Key;
            line.name = t.left(eq).trimmed();
            line.value = t.mid(eq + 1).trimmed();
        }
    }
    return line;
}

void IniFile::setText(const QString& text)
{
    lines_.clear();
    QStringList raw = text.split(u'\n');
    // A final line end does not open another line.
    if (!raw.isEmpty() && raw.last().isEmpty())
        raw.removeLast();
    lines_.reserve(raw.size());
    for (QString& l : raw) {
        if (l.endsWith(u'\r'))
            l.chop(1);
        lines_.append(parse(l));
    }
}

QString IniFile::text() const
{
    QString out;
    for (const Line& l : lines_)
        out += l.text + QStringLiteral("\r\n");
    return out;
}

bool IniFile::load(const QString& nativePath)
{
    path_ = nativePath;
    lines_.clear();
    encoding_ = Encoding::Windows1252;
    modified_ = false;
    error_.clear();

    QFileInfo info(nativePath);
    if (!info.exists())
        return true;
    QFile file(nativePath);
    if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
        error_ = info.isDir() ? QStringLiteral("is a folder") : file.errorString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error_ = file.errorString();
        return false;
    }

    if (bytes.startsWith(kUtf8Bom)) {
        QStringDecoder decoder(QStringConverter::Utf8);
        const QString text = decoder(bytes.mid(kUtf8Bom.size()));
        // A file that only looks like UTF-8 is kept byte for byte through the code page.
        if (!decoder.hasError()) {
            encoding_ = Encoding::Utf8Bom;
            setText(text);
            return true;
        }
    } else if (bytes.startsWith(kUtf16LeBom)) {
        QStringDecoder decoder(QStringConverter::Utf16LE);
        const QString text = decoder(bytes.mid(kUtf16LeBom.size()));
        if (!decoder.hasError()) {
            encoding_ = Encoding::Utf16LeBom;
            setText(text);
            return true;
        }
    }
    setText(fromWindows1252(bytes));
    return true;
}

bool IniFile::save(QFileDevice::Permissions newFileMode)
{
    error_.clear();
    if (path_.isEmpty()) {
        error_ = QStringLiteral("no file name");
        return false;
    }
    const QFileInfo info(path_);
    const bool created = !info.exists();
    if (!QDir().mkpath(info.absolutePath())) {
        error_ = QStringLiteral("cannot create the folder ") + info.absolutePath();
        return false;
    }

    QByteArray bytes;
    const QString content = text();
    switch (encoding_) {
    case Encoding::Windows1252:
        bytes = toWindows1252(content);
        break;
    case Encoding::Utf8Bom:
        bytes = kUtf8Bom + content.toUtf8();
        break;
    case Encoding::Utf16LeBom: {
        QStringEncoder encoder(QStringConverter::Utf16LE);
        bytes = kUtf16LeBom + QByteArray(encoder(content));
        break;
    }
    }

    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) {
        error_ = file.errorString();
        return false;
    }
    // Set before any byte is written, so a private file is never readable by others.
    if (created && newFileMode != QFileDevice::Permissions{} && !file.setPermissions(newFileMode)) {
        error_ = QStringLiteral("cannot set the file mode");
        file.cancelWriting();
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        error_ = file.errorString();
        return false;
    }
    modified_ = false;
    return true;
}

qsizetype IniFile::findSection(const QString& section) const
{
    const QString name = section.trimmed();
    for (qsizetype i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == Line::Kind::Section && lines_[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

qsizetype IniFile::sectionEnd(qsizetype header) const
{
    qsizetype i = header + 1;
    while (i < lines_.size() && lines_[i].kind != Line::Kind::Section)
        ++i;
    return i;
}

qsizetype IniFile::findKey(qsizetype header, const QString& key) const
{
    if (header < 0)
        return -1;
    const QString name = key.trimmed();
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        if (lines_[i].kind == Line::Kind::Key && lines_[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString IniFile::value(const QString& section, const QString& key, const QString& defaultValue,
                       qsizetype maxLength) const
{
    const qsizetype i = findKey(findSection(section), key);
    if (i < 0)
        return defaultValue;
    const QString v = unquoted(lines_[i].value);
    return maxLength >= 0 ? v.left(maxLength) : v;
}

bool IniFile::contains(const QString& section, const QString& key) const
{
    return findKey(findSection(section), key) >= 0;
}

bool IniFile::setValue(const QString& section, const QString& key, const QString& value)
{
    const QString s = section.trimmed();
    const QString k = key.trimmed();
    if (s.isEmpty() || k.isEmpty() || s.contains(u']') || k.contains(u'=') || k.startsWith(u'[') ||
        k.startsWith(u';') || hasLineBreakOrNul(s) || hasLineBreakOrNul(k) || hasLineBreakOrNul(value))
        return false;

    const qsizetype header = findSection(s);
    if (header < 0) {
        // Keep a blank line between the previous section and the new one.
        if (!lines_.isEmpty() && !lines_.last().text.trimmed().isEmpty())
            lines_.append(parse(QString()));
        lines_.append(parse(u'[' + s + u']'));
        lines_.append(parse(k + u'=' + value));
        modified_ = true;
        return true;
    }

    const qsizetype at = findKey(header, k);
    if (at >= 0) {
        // The key keeps the spelling it has in the file.
        const Line updated = parse(lines_[at].name + u'=' + value);
        if (updated.text != lines_[at].text) {
            lines_[at] = updated;
            modified_ = true;
        }
        return true;
    }

    // After the section's last key, so that blank lines and comments that lead into the next
    // section stay where they are.
    qsizetype insertAt = header + 1;
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        if (lines_[i].kind == Line::Kind::Key)
            insertAt = i + 1;
    }
    lines_.insert(insertAt, parse(k + u'=' + value));
    modified_ = true;
    return true;
}

bool IniFile::removeKey(const QString& section, const QString& key)
{
    const qsizetype i = findKey(findSection(section), key);
    if (i < 0)
        return false;
    lines_.removeAt(i);
    modified_ = true;
    return true;
}

bool IniFile::removeSection(const QString& section)
{
    bool removed = false;
    for (qsizetype header = findSection(section); header >= 0; header = findSection(section)) {
        lines_.remove(header, sectionEnd(header) - header);
        removed = true;
    }
    if (removed)
        modified_ = true;
    return removed;
}

QStringList IniFile::sections() const
{
    QStringList out;
    for (const Line& l : lines_) {
        if (l.kind == Line::Kind::Section && !out.contains(l.name, Qt::CaseInsensitive))
            out.append(l.name);
    }
    return out;
}

QStringList IniFile::keys(const QString& section) const
{
    QStringList out;
    const qsizetype header = findSection(section);
    if (header < 0)
        return out;
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        if (lines_[i].kind == Line::Kind::Key && !out.contains(lines_[i].name, Qt::CaseInsensitive))
            out.append(lines_[i].name);
    }
    return out;
}

QString IniFile::read(const QString& nativePath, const QString& section, const QString& key,
                      const QString& defaultValue)
{
    IniFile ini;
    if (nativePath.isEmpty() || !ini.load(nativePath))
        return defaultValue;
    return ini.value(section, key, defaultValue);
}

bool IniFile::write(const QString& nativePath, const QString& section, const QString& key,
                    const QString& value, QFileDevice::Permissions newFileMode)
{
    IniFile ini;
    // A file that exists but cannot be read is never replaced by one holding only this key.
    if (nativePath.isEmpty() || !ini.load(nativePath) || !ini.setValue(section, key, value))
        return false;
    if (!ini.isModified() && QFileInfo::exists(nativePath))
        return true;
    return ini.save(newFileMode);
}

bool IniFile::removeKey(const QString& nativePath, const QString& section, const QString& key)
{
    IniFile ini;
    if (nativePath.isEmpty() || !ini.load(nativePath))
        return false;
    return !ini.removeKey(section, key) || ini.save();
}

bool IniFile::removeSection(const QString& nativePath, const QString& section)
{
    IniFile ini;
    if (nativePath.isEmpty() || !ini.load(nativePath))
        return false;
    return !ini.removeSection(section) || ini.save();
}

} // namespace nvx
