#pragma once
// Text from a medium made safe for a terminal or a log line: bytes below
// 0x20 and 0x7F become "\x1b"-style escapes, U+0080..U+009F "\u009b"-style
// ones, so that names can neither drive the terminal nor split a line.
#include <string>
#include <string_view>

namespace delvora {

/// Appends text to out with its control bytes escaped as above.
void AppendEscapedControls(std::string& out, std::string_view text);

}  // namespace delvora
