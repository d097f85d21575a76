#pragma once
// The case: its data items, the fixed groups of the case tree, the analysis
// options and the state of the one worker that may run at a time. One
// workspace per process; the front end (GUI, CLI) creates and owns it, tests
// make their own.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "case/case_item.h"
#include "case/data_item.h"
#include "case/file_hashes.h"
#include "common/options.h"
#include "common/reporting.h"
#include "common/translation.h"
#include "fs/volume_registry.h"

namespace delvora {

/// What the case tells its front end. Calls may come from the worker thread:
/// a GUI marshals them to its own thread and must not block the worker on it.
class CaseEvents {
public:
    virtual ~CaseEvents() = default;
    /// A load ended: show the tree of this item (its node, volumes, folders).
    virtual void BuildCaseTree(DataItem& item) { (void)item; }
    /// The item list changed as a whole (a case file was loaded): refill the tree.
    virtual void RebuildCaseTree() {}
    /// A worker ended: re-read what is shown.
    virtual void Refresh() {}
    /// The show-files flag changed: refill the tree.
    virtual void ShowFilesChanged() {}
};

inline constexpr const char* kNoMessage = TrNoop("CaseWorkspace", "无消息");
inline constexpr const char* kThreadBusy = TrNoop("CaseWorkspace", "线程忙!");
inline constexpr const char* kStopQuestion = TrNoop("CaseWorkspace", "您是否要停止当前操作?");

class CaseWorkspace {
public:
    using VolumeFactory = std::function<std::unique_ptr<Volume>(VolumeClass)>;

    /// The sinks of context must outlive the workspace. When the context
    /// carries no options, the workspace's own options are used.
    explicit CaseWorkspace(const CoreContext& context = DefaultContext());
    /// Stops and joins a running worker, then destroys the items.
    ~CaseWorkspace();
    CaseWorkspace(const CaseWorkspace&) = delete;
    CaseWorkspace& operator=(const CaseWorkspace&) = delete;

    uint8_t NodeKind() const { return node_kinds::kCase; }
    /// The context the case and its sources report through.
    const CoreContext& Context() const { return m_context; }
    AnalysisOptions& Options() { return m_context.Options(); }

    // Items, in the order added.
    const std::vector<std::unique_ptr<DataItem>>& Items() const { return m_Items; }
    size_t ItemCount() const { return m_Items.size(); }
    /// Appends an item and sets modified. Answers the item.
    DataItem* AddItem(std::unique_ptr<DataItem> item);
    /// A new item whose source reports through this case.
    std::unique_ptr<DataItem> NewItem() const { return std::make_unique<DataItem>(m_context); }
    int IsModified() const { return m_bModified; }
    void SetModified(int modified) { m_bModified = modified; }

    // Operation state, read from any thread.
    /// Setting busy to 0 also makes the operation stoppable and clears the
    /// stop message.
    void SetBusy(int busy);
    int IsBusy() const { return m_nBusy.load(); }
    /// The busy flag itself, for scans that poll it (Volume::SetBusyFlag).
    const std::atomic<int>& BusyFlag() const { return m_nBusy; }
    void SetStoppable(int stoppable) { m_nStoppable.store(stoppable); }
    int IsStoppable() const { return m_nStoppable.load(); }
    void SetStopMessage(std::string text);
    std::string StopMessage() const;
    /// Takes the millisecond tick at which a load starts.
    void TakeLoadStartTick();
    uint64_t LoadStartTick() const { return m_nLoadStartTick.load(); }
    /// Milliseconds since the load-start tick.
    uint32_t MillisecondsSinceLoadStart() const;
    static uint64_t TickMs();

    /// Every command that would start work calls this first: while busy it
    /// shows "线程忙!" and answers true.
    bool RefuseIfBusy();
    /// The user asks to stop (double click on the progress pane): shows the
    /// stop message while the work may not be stopped, else asks and, on OK,
    /// clears busy so that the worker ends early.
    void RequestStop();

    // The worker: at most one at a time.
    /// Starts body on a new thread, first waiting for the previous worker to
    /// end. Answers false when called from the worker itself or when the
    /// thread cannot be made.
    bool StartWorker(std::function<void()> body);
    /// Waits until the running worker (if any) has ended.
    void WaitForWorker();
    bool WorkerRunning() const { return m_bWorkerRunning.load(); }
    /// True on the thread of the (latest) worker.
    bool OnWorkerThread() const;

    // Events for the front end. Set them before any worker starts; the
    // listener must outlive the case (or be reset to null first).
    void SetEvents(CaseEvents* events) { m_pEvents = events; }
    CaseEvents& Events() { return m_pEvents ? *m_pEvents : m_noEvents; }
    /// Asks the front end to refill the whole case tree.
    void RebuildCaseTree() { Events().RebuildCaseTree(); }

    // Case tree.
    CaseItem& Root() { return *m_pRoot; }
    CaseItem& Bookmarks() { return *m_pRoot->children[0]; }
    CaseItem& Keywords() { return *m_pRoot->children[1]; }
    const CaseItem& Keywords() const { return *m_pRoot->children[1]; }
    CaseItem& Searches() { return *m_pRoot->children[2]; }
    int ShowFiles() const { return m_bShowFiles; }
    /// Stores the flag and asks the front end to refill the tree.
    void SetShowFiles(int show);

    /// Builds an empty volume of a class: the registry's, unless a factory was
    /// set (tests plug in fakes here).
    std::unique_ptr<Volume> MakeVolumeFor(VolumeClass volumeClass) const;
    void SetVolumeFactory(VolumeFactory factory) { m_volumeFactory = std::move(factory); }

    /// Digests computed by "计算哈希", for the file list.
    HashResults& Hashes() { return m_hashes; }

private:
    CoreContext m_context;
    AnalysisOptions m_options;
    HashResults m_hashes;
    std::vector<std::unique_ptr<DataItem>> m_Items;
    int m_bModified = 0;

    std::atomic<int> m_nBusy{0};
    std::atomic<int> m_nStoppable{1};
    std::atomic<uint64_t> m_nLoadStartTick{0};
    mutable std::mutex m_stopMutex;
    std::string m_strStopMessage = Tr("CaseWorkspace", kNoMessage);

    std::mutex m_workerMutex;
    std::thread m_worker;
    std::atomic<bool> m_bWorkerRunning{false};
    std::atomic<std::thread::id> m_workerId{};

    CaseEvents* m_pEvents = nullptr;
    CaseEvents m_noEvents;
    std::unique_ptr<CaseItem> m_pRoot;
    int m_bShowFiles = 0;
    VolumeFactory m_volumeFactory;
};

}  // namespace delvora
