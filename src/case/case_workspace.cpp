#include "case/case_workspace.h"
#include "common/translation.h"

#include <chrono>
#include <new>
#include <system_error>

namespace delvora {

CaseWorkspace::CaseWorkspace(const CoreContext& context) : m_context(context), m_pRoot(MakeCaseRoot()) {
    if (!m_context.options) m_context.options = &m_options;
}

CaseWorkspace::~CaseWorkspace() {
    // Stoppable workers watch busy and end early; a loading worker runs to
    // its end. Either way it must be gone before the items it reads.
    SetBusy(0);
    WaitForWorker();
    m_Items.clear();
}

DataItem* CaseWorkspace::AddItem(std::unique_ptr<DataItem> item) {
    if (!item) return nullptr;
    try {
        m_Items.push_back(std::move(item));
    } catch (const std::bad_alloc&) {
        // The item may be loading on the worker: let it finish before the
        // item goes.
        WaitForWorker();
        return nullptr;
    }
    m_bModified = 1;
    return m_Items.back().get();
}

void CaseWorkspace::SetBusy(int busy) {
    m_nBusy.store(busy);
    if (busy == 0) {
        m_nStoppable.store(1);
        SetStopMessage(Tr("CaseWorkspace", kNoMessage));
    }
}

void CaseWorkspace::SetStopMessage(std::string text) {
    std::lock_guard lock(m_stopMutex);
    m_strStopMessage = std::move(text);
}

std::string CaseWorkspace::StopMessage() const {
    std::lock_guard lock(m_stopMutex);
    return m_strStopMessage;
}

uint64_t CaseWorkspace::TickMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void CaseWorkspace::TakeLoadStartTick() { m_nLoadStartTick.store(TickMs()); }

uint32_t CaseWorkspace::MillisecondsSinceLoadStart() const {
    return static_cast<uint32_t>(TickMs() - m_nLoadStartTick.load());
}

bool CaseWorkspace::RefuseIfBusy() {
    if (!IsBusy()) return false;
    m_context.Notify().Message(Tr("CaseWorkspace", kThreadBusy), "提示", MessageIcon::Error);
    return true;
}

void CaseWorkspace::RequestStop() {
    if (!IsBusy()) return;
    if (!IsStoppable()) {
        m_context.Notify().Message(StopMessage(), "提示", MessageIcon::Error);
        return;
    }
    if (m_context.Notify().Confirm(Tr("CaseWorkspace", kStopQuestion), "提示")) SetBusy(0);
}

bool CaseWorkspace::StartWorker(std::function<void()> body) {
    // A worker cannot wait for itself to end.
    if (OnWorkerThread()) return false;
    std::lock_guard lock(m_workerMutex);
    // An earlier worker has cleared busy already and is at most finishing
    // its last lines: wait for that.
    if (m_worker.joinable()) m_worker.join();
    m_bWorkerRunning.store(true);
    try {
        m_worker = std::thread([this, body = std::move(body)] {
            m_workerId.store(std::this_thread::get_id());
            // Nothing may escape a thread. A body that failed that way did not
            // get to clear busy, which would refuse every command from now on.
            try {
                body();
            } catch (...) {
                SetBusy(0);
            }
            m_workerId.store(std::thread::id());
            m_bWorkerRunning.store(false);
        });
    } catch (const std::system_error&) {
        m_bWorkerRunning.store(false);
        return false;
    }
    return true;
}

void CaseWorkspace::WaitForWorker() {
    // A worker that waited on itself would never end.
    if (OnWorkerThread()) return;
    std::lock_guard lock(m_workerMutex);
    if (m_worker.joinable()) m_worker.join();
}

bool CaseWorkspace::OnWorkerThread() const { return m_workerId.load() == std::this_thread::get_id(); }

void CaseWorkspace::SetShowFiles(int show) {
    m_bShowFiles = show;
    Events().ShowFilesChanged();
}

std::unique_ptr<Volume> CaseWorkspace::MakeVolumeFor(VolumeClass volumeClass) const {
    return m_volumeFactory ? m_volumeFactory(volumeClass) : MakeVolume(volumeClass);
}

}  // namespace delvora
