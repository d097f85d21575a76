#pragma once
// Where the workstation keeps things on this machine: its own folder, the
// scratch folder for temporary copies, the user manual and the settings.
#include <QString>

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

}  // namespace delvora
