#pragma once
#include <cstdint>
#include <string>

namespace delvora {

/// Name of a partition type byte from the partition type table (first match
/// wins); empty for a byte the table does not list.
std::string TypeName(uint8_t typeId);

}  // namespace delvora
