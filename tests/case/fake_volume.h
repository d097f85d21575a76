#pragma once
// A volume that loads nothing from a disk: tests decide what Prepare answers,
// may hold LoadTree on a gate, and read back what the loader was given.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "case/case_workspace.h"
#include "disk/data_source.h"
#include "fs/volume.h"
#include "support/stub_volume.h"
#include "fs/volume_registry.h"

namespace delvora::test {

/// A one-shot signal one thread waits for and another gives.
class Gate {
public:
    void Open() {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_cv.notify_all();
    }
    void Wait() {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [this] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_open = false;
};

/// What the tests steer and observe, shared by every volume a factory makes.
struct FakeVolumeScript {
    bool prepareAnswer = true;
    bool requireOpenSource = true;   // Prepare fails on a closed source, as real readers do
    LoadTraits traits{true, 0, false};
    std::function<void()> onLoadTree;  // runs inside LoadTree (on the worker)
    std::atomic<int> made{0};
    std::atomic<int> destroyed{0};
    std::atomic<int> loads{0};
    std::vector<VolumeClass> classesAsked;
    DataSource* lastSource = nullptr;   // source of the last volume prepared
};

class FakeVolume : public test::StubVolume {
public:
    FakeVolume(FakeVolumeScript& script, VolumeClass volumeClass);
    ~FakeVolume() override { ++m_script.destroyed; }

    bool Prepare() override;
    bool LoadTree() override;
    LoadTraits Traits() const override { return m_script.traits; }

    int FileSystemKind() const override { return m_kind; }

    VolumeClass Class() const { return m_class; }

private:
    FakeVolumeScript& m_script;
    VolumeClass m_class;
    int m_kind = 0;
};

/// Plugs fake volumes into a case.
void UseFakeVolumes(CaseWorkspace& workspace, FakeVolumeScript& script);

/// Records the events of a case.
class RecordingEvents final : public CaseEvents {
public:
    void BuildCaseTree(DataItem& item) override;
    void RebuildCaseTree() override { ++rebuilds; }
    void Refresh() override { ++refreshes; }
    void ShowFilesChanged() override { ++showFilesChanges; }
    std::vector<DataItem*> Built() const;
    std::function<void(DataItem&)> onBuild;  // runs inside BuildCaseTree
    std::atomic<int> rebuilds{0};
    std::atomic<int> refreshes{0};
    std::atomic<int> showFilesChanges{0};

private:
    mutable std::mutex m_mutex;
    std::vector<DataItem*> m_built;
};

}  // namespace delvora::test
