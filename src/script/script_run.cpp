#include "script/script_run.h"

#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <thread>

#include "common/text_format.h"
#include "common/translation.h"
#include "script/script_driver.h"
#include "script/script_host.h"

namespace delvora {
namespace {

// The process's resident bytes, from /proc; 0 when they cannot be read.
uint64_t ResidentBytes() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return 0;
    unsigned long long total = 0, resident = 0;
    const int got = std::fscanf(f, "%llu %llu", &total, &resident);
    std::fclose(f);
    const long page = sysconf(_SC_PAGESIZE);
    return got == 2 && page > 0 ? resident * static_cast<uint64_t>(page) : 0;
}

// Ends a run that outlives its time or grows the process by more than its
// memory allowance: the engine has no heap limit of its own, and a script
// that allocates without end would take the whole workstation down with it.
// Looks every 10 ms on its own thread (a script can allocate hundreds of
// megabytes in 50 ms); leaves at once when the run ends.
class Watchdog {
public:
    Watchdog(std::chrono::milliseconds timeout, uint64_t memoryCap, std::function<void(bool)> onStop) {
        if (timeout.count() <= 0 && memoryCap == 0) return;
        const uint64_t base = ResidentBytes();
        m_thread = std::thread([this, timeout, memoryCap, base, onStop = std::move(onStop)] {
            const auto deadline = std::chrono::steady_clock::now() + timeout;
            std::unique_lock lock(m_mutex);
            // Ends when the run does, or at the first stop.
            while (!m_cv.wait_for(lock, std::chrono::milliseconds(10), [this] { return m_bDone; })) {
                if (timeout.count() > 0 && std::chrono::steady_clock::now() >= deadline) return onStop(false);
                const uint64_t now = memoryCap > 0 ? ResidentBytes() : 0;
                if (now > base && now - base > memoryCap) return onStop(true);
            }
        });
    }
    ~Watchdog() {
        {
            std::lock_guard lock(m_mutex);
            m_bDone = true;
        }
        m_cv.notify_all();
        if (m_thread.joinable()) m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bDone = false;
    std::thread m_thread;
};

}  // namespace

ScriptRunner::ScriptRunner(ScriptDriver& driver, const CoreContext& context) : m_driver(driver), m_context(context) {
    // Half the machine's memory, at most 4 GiB: room for any honest script.
    const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
    const uint64_t physical = pages > 0 && page > 0 ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(page) : 0;
    m_memoryCap = physical > 0 ? std::min<uint64_t>(physical / 2, uint64_t{4} << 30) : uint64_t{4} << 30;
}

ScriptRunner::~ScriptRunner() = default;

void ScriptRunner::SetStatus(const std::string& text) {
    m_strStatus = text;
    if (m_statusSink) m_statusSink(text);
}

void ScriptRunner::Stop() {
    std::lock_guard lock(m_mutex);
    m_bStopped = true;
    if (m_pHost) m_pHost->Interrupt();
}

void ScriptRunner::ResetStop() {
    std::lock_guard lock(m_mutex);
    m_bStopped = false;
}

bool ScriptRunner::Fail(const std::string& box, const std::string& status, bool withEngineError) {
    m_context.Notify().Message(box, m_strCaption, MessageIcon::Error);
    std::string text = status;
    if (withEngineError) {
        // The examiner needs the engine's words to find the fault.
        const ScriptError& error = m_pHost->LastError();
        const std::string detail = error.line > 0 ? Format(Tr("ScriptRun", "第 %d 行: %s"), error.line, error.text.c_str()) : error.text;
        if (!detail.empty()) text += " " + detail;
        m_context.Logger().AppendLog(Format(Tr("ScriptRun", "脚本: %s"), text.c_str()));
    }
    SetStatus(text);
    m_pHost->Close();
    return false;
}

bool ScriptRunner::Run(const QString& text) {
    try {
        m_bOverMemory = false;
        // Texts handed to the list count against the same allowance: they
        // stop the run before an allocation can fail.
        m_driver.SetTextAllowance(m_memoryCap, [this] {
            m_bOverMemory = true;
            Stop();
        });
        bool done = false;
        {
            Watchdog watchdog(m_timeout, m_memoryCap, [this](bool memory) {
                m_bOverMemory = memory;
                Stop();
            });
            done = RunSteps(text);
        }
        if (m_bOverMemory) {
            const std::string note =
                Format(Tr("ScriptRun", "脚本占用内存超过 %llu MB, 已停止"), static_cast<unsigned long long>(m_memoryCap >> 20));
            m_context.Logger().AppendLog(Format(Tr("ScriptRun", "脚本: %s"), note.c_str()));
            SetStatus(note);
        }
        return done;
    } catch (const std::exception& e) {
        // The engine reports script faults as values; what arrives here is
        // the process running out of something.
        m_context.Logger().AppendLog(Format(Tr("ScriptRun", "脚本: %s"), e.what()));
        SetStatus(Tr("ScriptRun", "正常..."));
        return false;
    }
}

bool ScriptRunner::RunSteps(const QString& text) {
    namespace st = script_status;
    SetStatus(Tr("ScriptRun", "创建脚本驱动对象..."));
    {
        auto host = std::make_shared<ScriptHost>();
        std::lock_guard lock(m_mutex);
        // A stop that came before the host is not lost.
        if (m_bStopped) host->Interrupt();
        m_pHost = std::move(host);
    }
    SetStatus(Tr("ScriptRun", "初始化JavaScript..."));
    if (m_pHost->CreateEngine() != st::kOk) return Fail("Init JScript Error", Tr("ScriptRun", "初始化JavaScript失败!"), false);

    SetStatus(Tr("ScriptRun", "添加 Delvora 命名项..."));
    if (m_pHost->AddNamedItem(QStringLiteral("Delvora"), &m_driver) != st::kOk)
        return Fail("AddNameItem Delvora Error", Tr("ScriptRun", "添加 Delvora 命名项失败!"), false);

    SetStatus(Tr("ScriptRun", "分析脚本中..."));
    if (static_cast<size_t>(text.size()) * 3 > kMaxScriptBytes && text.toUtf8().size() > static_cast<qsizetype>(kMaxScriptBytes)) {
        m_context.Logger().AppendLog(Format(Tr("ScriptRun", "脚本: 超过 %zu 字节"), kMaxScriptBytes));
        return Fail("ParseScript Script Error", Tr("ScriptRun", "分析脚本错误!"), false);
    }
    if (m_pHost->ParseScriptText(text) != st::kOk) return Fail("ParseScript Script Error", Tr("ScriptRun", "分析脚本错误!"), true);

    SetStatus(Tr("ScriptRun", "脚本连接..."));
    if (m_pHost->Connect() != st::kOk) return Fail("Connect Error", Tr("ScriptRun", "脚本连接失败"), true);

    SetStatus(Tr("ScriptRun", "调用脚本入口函数 main ..."));
    const int32_t result = m_pHost->CallFunction(QStringLiteral("main"));
    if (result != st::kOk) return Fail(Format(Tr("ScriptRun", Tr("ScriptRun", "调用 main 函数错,错误:%d")), result), "调用脚本入口函数 main 错误!", true);

    SetStatus(Tr("ScriptRun", "关闭脚本..."));
    m_pHost->Close();
    SetStatus(Tr("ScriptRun", "正常..."));
    return true;
}

}  // namespace delvora
