#pragma once

#include <QString>

namespace nvx {

// Opens a document or starts a program as the desktop shell would, without waiting for it.
// Returns a shell result code: 42 on success, 2 when the file does not exist, 31 when nothing
// can open that kind of file, 5 when the program cannot be started.
int shellExecuteNative(const QString& verb, const QString& file, const QString& parameters,
                       const QString& directory);

} // namespace nvx
