#pragma once

#include <QString>

namespace nvx {

// Paths are kept in the suite's Windows form ("C:\VL_Data\") everywhere in the program and
// converted only where they meet the operating system.
//
// Elsewhere than on Windows: "\" becomes "/", a drive prefix "X:" maps to <drive root>/x and a
// network path "\\server\share\..." to <drive root>/unc/server/share/...; a path that is already
// absolute in the native form is kept. When the path does not exist as written, each component
// is matched case-insensitively against what exists, as the suite's files were named on a
// case-insensitive system; a component that matches nothing is kept as written.
QString NativePath(const QString& path);

// The reverse for paths that come from the operating system (the home folder, the executable's
// folder): on Windows the identity, elsewhere "/" becomes "\" so that the suite's path helpers
// can work on them; NativePath gives the original back.
QString SuitePath(const QString& nativePath);

// The drive root: --drive-root DIR, else $VL3_DRIVE_ROOT, else $XDG_DATA_HOME/velmora/drives
// (default ~/.local/share/velmora/drives). Set once at start-up; an empty value restores the
// default lookup.
void setDriveRoot(const QString& nativeDir);
QString driveRoot();

} // namespace nvx
