#pragma once
// The disk map as a PNG picture, drawn by the same painter as the
// workstation's map; callable without a window (the command line).
#include <string>

namespace delvora {

class DiskMap;

/// Draws the whole map (scaled to fit a picture of a few thousand pixels)
/// with its legend and writes a PNG file. False with a reason in error.
bool SaveDiskMapPicture(const DiskMap& map, const std::string& path, std::string& error);

}  // namespace delvora
