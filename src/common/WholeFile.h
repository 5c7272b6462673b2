#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

namespace nvx {

// Writes bytes to path whole or not at all, for files that a kill at any moment must leave as
// they were or as they are meant to be: the bytes go to a part file beside the target,
// "<name>.<pid>.part", are flushed to the disk and renamed over it. A part file that a killed
// writer left there is removed by the next write of the same file. An existing file keeps its
// permissions; a new one gets newFileMode when it is given. False with *error on failure, the
// target untouched.
bool writeWholeFile(const QString& path, const QByteArray& bytes, QString* error,
                    QFileDevice::Permissions newFileMode = {});

// Removes the part files of path whose writer no longer runs.
void removeDeadWritersParts(const QString& path);

} // namespace nvx
