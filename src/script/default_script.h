#pragma once
// The script the script view starts with: its main lists the boot sectors
// found in sectors 0-99 of PHYSICALDRIVE0, followed by the constants the
// methods expect and, as comments, every method's signature.

namespace delvora {

/// UTF-8 text of the default script.
const char* DefaultScriptText();

}  // namespace delvora
