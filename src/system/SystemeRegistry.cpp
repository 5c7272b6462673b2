#include "common/ErrorTrap.h"
#include "common/Identity.h"
#include "common/IniFile.h"
#include "common/NativePath.h"
#include "system/Systeme.h"

#include <limits>

// Where the platform has no registry, each root is an INI file beside the suite configuration:
// one section per key path, one entry per value. The files can hold the platform token, so
// they are created readable by their owner only.

namespace nvx {

namespace {

// The registry's own error numbers, which callers compare against.
constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kAccessDenied = 5;
constexpr int kInvalidHandle = 6;
constexpr int kTypeMismatch = 13;
constexpr int kInvalidParameter = 87;
constexpr int kBadKey = 1010;
constexpr int kUnexpected = 1359;

const QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// A key path names one section; "Software\A\" and "Software\A" are the same key.
QString sectionOf(const QString& keyPath)
{
    QString key = keyPath.trimmed();
    while (key.endsWith(u'\\'))
        key.chop(1);
    return key;
}

// The unnamed (default) value of a key, written "@" as registry exports do.
QString entryOf(const QString& valueName)
{
    return valueName.isEmpty() ? QStringLiteral("@") : valueName;
}

QString cutAtNul(const QString& text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

} // namespace

QString Systeme::registryFile(quint32 root) const
{
    QString name;
    if (root == 0 || root == HKEY_CURRENT_USER)
        name = QStringLiteral("Registre_HKCU.ini");
    else if (root == HKEY_LOCAL_MACHINE)
        name = QStringLiteral("Registre_HKLM.ini");
    else
        return {};
    QString folder = registryFolder_;
    if (folder.isEmpty() && !identity_.DossierApplication.isEmpty())
        folder = identity_.DossierApplication + QStringLiteral("Settings\\");
    // Without an application folder the file would land wherever the process happens to run.
    if (folder.isEmpty())
        Raise(kPathNotFound, QStringLiteral("Registry folder unknown"), QStringLiteral("Lib_Systeme"));
    if (!folder.endsWith(u'\\') && !folder.endsWith(u'/'))
        folder += u'\\';
    return NativePath(folder + name);
}

bool Systeme::openRegistry(quint32 root, const QString& keyPath, QString& section, IniFile& ini,
                           int& result) const
{
    section = sectionOf(keyPath);
    if (section.isEmpty()) {
        result = kBadKey;
        return false;
    }
    const QString file = registryFile(root);
    if (file.isEmpty()) {
        result = kInvalidHandle;
        return false;
    }
    if (!ini.load(file)) {
        result = kAccessDenied;
        Raise(kAccessDenied,
              QStringLiteral("Unable to read the registry file ") + file + QStringLiteral(": ") +
                  ini.errorString(),
              QStringLiteral("Lib_Systeme"));
    }
    return true;
}

int Systeme::Reg_GetValue(quint32 root, const QString& keyPath, const QString& valueName, QString& value)
{
    value.clear();
    int result = 0;
    const bool ran = trap(reporter_, QStringLiteral("Lib_Systeme:Reg_GetValue"), [&] {
        QString section;
        IniFile ini;
        if (!openRegistry(root, keyPath, section, ini, result))
            return;
        const QString entry = entryOf(valueName);
        if (!ini.contains(section, entry)) {
            result = kFileNotFound;
            return;
        }
        // Registry values have no length limit: a token must come back whole.
        value = cutAtNul(ini.value(section, entry, QString(), -1));
    });
    if (!ran && result == 0)
        result = kUnexpected;
    return result;
}

int Systeme::Reg_SetValue(quint32 root, const QString& keyPath, const QString& valueName,
                          const QString& value, int type)
{
    int result = 0;
    const bool ran = trap(reporter_, QStringLiteral("Lib_Systeme:Reg_SetValue"), [&] {
        QString stored;
        if (type == REG_DWORD) {
            bool ok = false;
            const qint64 n = value.trimmed().toLongLong(&ok);
            if (!ok || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<quint32>::max()) {
                result = kTypeMismatch;
                Raise(kTypeMismatch,
                      QStringLiteral("Type mismatch: '") + value + QStringLiteral("' is not a 32-bit number"),
                      QStringLiteral("Lib_Systeme"));
            }
            stored = QString::number(n);
        } else {
            // Quoted, so that blanks at either end and quotes of its own survive the reading.
            stored = u'"' + cutAtNul(value) + u'"';
        }
        storeRegistryValues(root, keyPath, {{valueName, stored}}, result);
    });
    if (!ran && result == 0)
        result = kUnexpected;
    return result;
}

int Systeme::Reg_SetValues(quint32 root, const QString& keyPath, const QList<QPair<QString, QString>>& values)
{
    int result = 0;
    const bool ran = trap(reporter_, QStringLiteral("Lib_Systeme:Reg_SetValue"), [&] {
        QList<QPair<QString, QString>> stored;
        for (const auto& [name, value] : values)
            stored.append({name, u'"' + cutAtNul(value) + u'"'});
        storeRegistryValues(root, keyPath, stored, result);
    });
    if (!ran && result == 0)
        result = kUnexpected;
    return result;
}

// result is set before each report, which leaves through the error trap.
void Systeme::storeRegistryValues(quint32 root, const QString& keyPath,
                                  const QList<QPair<QString, QString>>& stored, int& result)
{
    QString section;
    IniFile ini;
    if (!openRegistry(root, keyPath, section, ini, result))
        return;
    for (const auto& [valueName, value] : stored) {
        if (!ini.setValue(section, entryOf(valueName), value)) {
            result = kInvalidParameter;
            Raise(kInvalidParameter,
                  QStringLiteral("Invalid registry key or value: ") + section + QStringLiteral(" | ") +
                      valueName,
                  QStringLiteral("Lib_Systeme"));
        }
    }
    // One write for all the values: a kill leaves them all as they were or all as they are meant to be.
    if (ini.isModified() && !ini.save(kOwnerOnly)) {
        result = kAccessDenied;
        Raise(kAccessDenied,
              QStringLiteral("Unable to write the registry file ") + registryFile(root) +
                  QStringLiteral(": ") + ini.errorString(),
              QStringLiteral("Lib_Systeme"));
    }
}

} // namespace nvx
