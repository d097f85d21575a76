#pragma once
// Makes the workstation known to the desktop: a .desktop entry that opens
// case files and the MIME type of ".wsh" files, under the user's XDG data
// folder ($XDG_DATA_HOME, else ~/.local/share).
#include <QString>

namespace delvora {

inline constexpr const char* kCaseMimeType = "application/x-delvora-case";

/// The user's XDG data folder, without a trailing '/'.
QString XdgDataHome();
QString DesktopEntryPath(const QString& dataHome = XdgDataHome());
QString MimePackagePath(const QString& dataHome = XdgDataHome());

/// Writes both files for the given program; answers whether both were written.
bool RegisterDesktopEntry(const QString& programPath, const QString& dataHome = XdgDataHome());
/// Removes both files; answers whether none is left.
bool UnregisterDesktopEntry(const QString& dataHome = XdgDataHome());

}  // namespace delvora
