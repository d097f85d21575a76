#pragma once
// Keyword lists: a UTF-8 text file with one term a line, the way examiners
// keep their terms, turned into the keywords of one search.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "search/keyword_search.h"

namespace delvora {

/// Terms one list may hold: all are compiled and matched together.
inline constexpr size_t kKeywordListLimit = 10000;
/// Bytes a list file may have.
inline constexpr size_t kKeywordListBytes = 4u << 20;

/// Parses a list: one term a line; an optional "ascii:", "unicode:",
/// "hex:" or "regex:" prefix picks its kind (otherwise defaultType); a line
/// whose first non-blank character is '#' is a comment; blank lines are
/// skipped; a CR before the line's end and a BOM at the start are dropped.
/// Each keyword gets the options of base (ignoreCase, encodings, maxMatch).
/// False with error naming the line on text that is not UTF-8, a prefix
/// with nothing after it, a term of 255 bytes or more, or more than
/// kKeywordListLimit terms.
bool ParseKeywordList(std::string_view text, const KeywordSpec& base, std::vector<KeywordSpec>& out,
                      std::string& error);

/// Reads and parses the file at path (at most kKeywordListBytes).
bool ReadKeywordList(const std::string& path, const KeywordSpec& base, std::vector<KeywordSpec>& out,
                     std::string& error);

}  // namespace delvora
