#pragma once
// Loads the translation of the chosen language (Qt's .qm file) for the Qt
// texts and the core's texts alike.
#include <QString>
#include <QStringList>

#include "common/language.h"

namespace delvora {

/// Where the .qm files are looked for, in order: translations/ beside the
/// program (the build tree), then share/delvora/translations under the
/// program's prefix (an installed program).
QStringList TranslationFolders(const QString& programFolder);

/// Installs the translation for language: into the running QCoreApplication
/// when there is one (tr() and translate()), and as the core's translator.
/// Chinese needs none (the source texts are Chinese): choosing it removes
/// an earlier translation. Answers false with a
/// message in error when the translation file cannot be loaded (the source
/// texts then stay).
bool UseLanguage(Language language, const QString& programFolder, QString& error);

/// The language the texts are shown in now: Chinese until UseLanguage has
/// loaded the English translation.
Language ShownLanguage();

}  // namespace delvora
