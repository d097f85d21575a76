#pragma once
// Shared pieces of the workstation tests: a registry of test classes run by
// one main, a window wired to recording sinks, and disk images built with
// the real tools.
#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <vector>

#include "app/main_frame.h"
#include "app/workstation.h"
#include "support/recorders.h"

namespace delvora::test {

using TestFactory = std::function<std::unique_ptr<QObject>()>;
std::vector<TestFactory>& TestRegistry();

template <typename T>
bool RegisterGuiTest() {
    TestRegistry().push_back([] { return std::make_unique<T>(); });
    return true;
}

/// A workstation whose messages are recorded, with a main frame that does
/// not open the wizard by itself.
struct Window {
    RecordingNotifier notifier;
    std::unique_ptr<Workstation> workstation;
    std::unique_ptr<MainFrame> frame;

    explicit Window(bool openWizardAtStart = false);
    ~Window();
    CaseWorkspace& Workspace() { return workstation->Workspace(); }
    /// Recorded message texts as QStrings.
    QStringList Messages() const;
};

/// The skip reason when a tool is missing, else empty.
QString MissingTool(std::initializer_list<const char*> tools);

/// Builds disk.img in folder with an MBR: a FAT32 partition (type 0x0C) at
/// 2048 holding Docs/, Docs/Sub/, Docs/b.txt, a.txt and Empty/; an
/// unformatted NTFS-type partition; and an extended partition with one
/// FAT16-type logical drive. Writes devices.map naming it PHYSICALDRIVE0.
/// Answers the map's path, or empty on failure.
QString MakeTestDisk(const QString& folder);

/// Adds the FAT32 row of the test disk through the wizard; the load runs on.
bool AddFat32(Window& window, const QString& map);
/// True once the first `items` data items each show their volume (the three
/// groups follow them).
bool TreeShowsVolumes(Window& window, int items);

}  // namespace delvora::test

#define DELVORA_GUI_TEST(Class) \
    static const bool kRegistered##Class = ::delvora::test::RegisterGuiTest<Class>()

#define DELVORA_QSKIP_MISSING(...)                                                   \
    do {                                                                             \
        const QString strMissing = ::delvora::test::MissingTool({__VA_ARGS__});      \
        if (!strMissing.isEmpty()) QSKIP(qPrintable(strMissing));                    \
    } while (0)
