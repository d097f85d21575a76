#pragma once
// The core's UTF-8 text as Qt text.
#include <QString>

#include <string_view>

namespace delvora {

inline QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace delvora
