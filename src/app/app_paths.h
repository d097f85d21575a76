#pragma once
// Where the workstation keeps things on this machine: its own folder, the
// scratch folder for temporary copies, the user manual and the settings.
#include <QString>
#include <QStringList>

class QSettings;

namespace delvora {

/// The settings organisation and application names.
inline constexpr const char* kSettingsOrganisation = "Local AppWizard-Generated Applications";
inline constexpr const char* kSettingsApplication = "Delvora";

/// The folder of the running program, ending in '/'.
QString ProgramFolder();

/// MyTemp/ under the user's cache folder ($XDG_CACHE_HOME/delvora/), ending in '/'.
QString ScratchFolder();
/// Creates every folder of the scratch path; failures are ignored (answers
/// whether the folder exists afterwards).
bool MakeScratchFolder(const QString& folder = ScratchFolder());
/// Deletes the scratch folder with everything in it; failures are ignored.
void RemoveScratchFolder(const QString& folder = ScratchFolder());

/// The user manual beside the program: Delvora.chm, else an HTML manual
/// Delvora.html; empty when there is none.
QString ManualPath(const QString& programFolder = ProgramFolder());

/// The manual's language folder for a language or locale code: "en" for
/// English ("en", "en_US", "en-GB"), "zh" for every other, as the
/// workstation's own texts fall back to Chinese.
QString ManualLanguage(const QString& languageCode);
/// The language folder for the language the workstation speaks.
QString CurrentManualLanguage();
/// Folders that may hold the HTML manual (LANG/index.html under each), in
/// the order they are tried: installed (<prefix>/share/doc/delvora/manual
/// beside the program's bin/), then the source tree the program was built from.
QStringList ManualFolders(const QString& programFolder = ProgramFolder());
/// LANG/index.html in the first folder that has it; empty when none does.
QString FindManual(const QString& language, const QStringList& folders);

}  // namespace delvora
