#pragma once
// The --lang global option: the language of the core's texts that the
// command line prints. The command line's own texts are English either way.
#include <string>

namespace delvora::cli {

/// Chooses the language (word, when given, else the locale) and loads its
/// translation. False with a message in error for a word other than zh or en.
/// A translation (or the Qt module) that cannot be loaded leaves the Chinese
/// texts (said on stderr).
bool ApplyLanguage(const std::string* word, std::string& error);

}  // namespace delvora::cli
