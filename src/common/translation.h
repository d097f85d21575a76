#pragma once
// User-visible texts of the core in the reader's language. The core keeps its
// Chinese texts as the source texts; a program that shows another language
// installs a translator once at start. The translation tools read every
// Tr("Context", "source") call as a translatable text, so the context and the
// source must be string literals at the call.
#include <functional>
#include <string>

namespace delvora {

/// Answers the translation of source in context, or an empty string when
/// there is none (the source is then shown).
using Translator = std::function<std::string(const char* context, const char* source)>;

/// Replaces the translator for the rest of the run (an empty one shows the
/// source texts). Meant for the start of a program, before any window or
/// worker has shown a text: texts already shown stay in the old language.
void InstallTranslator(Translator translator);

/// Marks a text kept in a constant for the translation tools; the constant is
/// shown through Tr with the same context.
constexpr const char* TrNoop(const char* /*context*/, const char* source) { return source; }

/// The text to show for source: its translation, else source itself. The
/// answer lives until the program ends, so it may stand wherever the literal
/// stood (a printf format keeps its conversions in every language).
const char* Tr(const char* context, const char* source);

}  // namespace delvora
