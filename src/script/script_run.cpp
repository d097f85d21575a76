#include "script/script_run.h"

#include <condition_variable>
#include <thread>

#include "common/text_format.h"
#include "script/script_driver.h"
#include "script/script_host.h"

namespace delvora {
namespace {

// Ends a run that outlives its time: waits on its own thread and interrupts
// the engine when the time is up; leaves at once when the run ends first.
class Watchdog {
public:
    Watchdog(std::chrono::milliseconds timeout, std::function<void()> onTimeout) {
        if (timeout.count() <= 0) return;
        m_thread = std::thread([this, timeout, onTimeout = std::move(onTimeout)] {
            std::unique_lock lock(m_mutex);
            if (!m_cv.wait_for(lock, timeout, [this] { return m_bDone; })) onTimeout();
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

ScriptRunner::ScriptRunner(ScriptDriver& driver, const CoreContext& context) : m_driver(driver), m_context(context) {}

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
        const std::string detail = error.line > 0 ? Format("第 %d 行: %s", error.line, error.text.c_str()) : error.text;
        if (!detail.empty()) text += " " + detail;
        m_context.Logger().AppendLog(Format("脚本: %s", text.c_str()));
    }
    SetStatus(text);
    m_pHost->Close();
    return false;
}

bool ScriptRunner::Run(const QString& text) {
    try {
        Watchdog watchdog(m_timeout, [this] { Stop(); });
        return RunSteps(text);
    } catch (const std::exception& e) {
        // The engine reports script faults as values; what arrives here is
        // the process running out of something.
        m_context.Logger().AppendLog(Format("脚本: %s", e.what()));
        SetStatus("正常...");
        return false;
    }
}

bool ScriptRunner::RunSteps(const QString& text) {
    namespace st = script_status;
    SetStatus("创建脚本驱动对象...");
    {
        auto host = std::make_shared<ScriptHost>();
        std::lock_guard lock(m_mutex);
        // A stop that came before the host is not lost.
        if (m_bStopped) host->Interrupt();
        m_pHost = std::move(host);
    }
    SetStatus("初始化JavaScript...");
    if (m_pHost->CreateEngine() != st::kOk) return Fail("Init JScript Error", "初始化JavaScript失败!", false);

    SetStatus("添加 Delvora 命名项...");
    if (m_pHost->AddNamedItem(QStringLiteral("Delvora"), &m_driver) != st::kOk)
        return Fail("AddNameItem Delvora Error", "添加 Delvora 命名项失败!", false);

    SetStatus("分析脚本中...");
    if (static_cast<size_t>(text.size()) * 3 > kMaxScriptBytes && text.toUtf8().size() > static_cast<qsizetype>(kMaxScriptBytes)) {
        m_context.Logger().AppendLog(Format("脚本: 超过 %zu 字节", kMaxScriptBytes));
        return Fail("ParseScript Script Error", "分析脚本错误!", false);
    }
    if (m_pHost->ParseScriptText(text) != st::kOk) return Fail("ParseScript Script Error", "分析脚本错误!", true);

    SetStatus("脚本连接...");
    if (m_pHost->Connect() != st::kOk) return Fail("Connect Error", "脚本连接失败", true);

    SetStatus("调用脚本入口函数 main ...");
    const int32_t result = m_pHost->CallFunction(QStringLiteral("main"));
    if (result != st::kOk) return Fail(Format("调用 main 函数错,错误:%d", result), "调用脚本入口函数 main 错误!", true);

    SetStatus("关闭脚本...");
    m_pHost->Close();
    SetStatus("正常...");
    return true;
}

}  // namespace delvora
