// The entry table of delvora-cli-qt.so.
#include <QString>

#include "cli/qt_module.h"
#include "cli/qt/script_command.h"
#include "draw/disk_map_picture.h"
#include "translation/qt_translation.h"

namespace delvora::cli {
namespace {

bool UseLanguageFrom(Language language, const std::string& programFolder, std::string& error) {
    QString message;
    if (UseLanguage(language, QString::fromStdString(programFolder), message)) return true;
    error = message.toStdString();
    return false;
}

}  // namespace
}  // namespace delvora::cli

extern "C" __attribute__((visibility("default"))) const delvora::cli::QtModule* delvora_cli_qt_module() {
    static const delvora::cli::QtModule s_module{DELVORA_VERSION, &delvora::cli::RunScript,
                                                 &delvora::SaveDiskMapPicture, &delvora::cli::UseLanguageFrom};
    return &s_module;
}
