#pragma once
// A scripted walk through the window for documentation pictures: the
// wizard's partition list, then the main window after the first FAT32
// partition has loaded, then the script view running a script that lists
// the partition table. Quits the application when done.
#include <QString>

namespace delvora {

class MainFrame;
class Workstation;

void StartScreenshotTour(Workstation& workstation, MainFrame& frame, const QString& folder);

}  // namespace delvora
