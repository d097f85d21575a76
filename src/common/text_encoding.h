#pragma once
// How a file's bytes are shown as text. The examined disks are mostly
// Chinese Windows disks, so GBK is the default; a file that says it is
// UTF-8 or UTF-16LE (a byte order mark), or reads as UTF-8 throughout its
// first bytes, is shown as such. Nothing here does I/O.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace delvora {

enum class TextEncoding : uint8_t { kGbk, kUtf8, kUtf16Le };

/// What a file's first bytes say of its encoding: a UTF-8 or UTF-16LE byte
/// order mark; else UTF-8 when head is valid UTF-8 holding a multi-byte
/// character and no NUL (a character cut by the end of head counts when
/// more follows); else GBK. Answers nullopt when head is plain ASCII without
/// a mark (or only a cut character follows it), so that later bytes may decide.
std::optional<TextEncoding> SniffTextEncoding(std::span<const uint8_t> head, bool more);

/// Length of the byte order mark that starts head in encoding (0 when none).
size_t ByteOrderMarkLength(std::span<const uint8_t> head, TextEncoding encoding);

/// The bytes of the character at bytes[i]: 2 for a GBK lead byte with its
/// trail, a whole valid UTF-8 sequence, 2 or 4 (a surrogate pair) for
/// UTF-16LE; 1 for anything that does not decode. Never past the end.
size_t TextCharLength(std::span<const uint8_t> bytes, size_t i, TextEncoding encoding);

/// True when the character at bytes[i] is a line feed.
bool IsLineFeedAt(std::span<const uint8_t> bytes, size_t i, TextEncoding encoding);

/// Decodes bytes in encoding to UTF-8; what does not decode becomes U+FFFD.
std::string DecodeText(std::span<const uint8_t> bytes, TextEncoding encoding);

}  // namespace delvora
