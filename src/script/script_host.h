#pragma once
// One script engine and the steps of a run: create the engine, publish named
// objects, parse without running, run the global code ("connect"), call an
// entry function, close. Results are the engine's status codes: 0 for
// success, a negative code for each kind of failure.
#include <QJSValue>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class QJSEngine;
class QObject;

namespace delvora {

/// Status codes of the steps, as the script engine reports them.
namespace script_status {
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kUnexpected = static_cast<int32_t>(0x8000FFFF);    // no engine, or one already
inline constexpr int32_t kFail = static_cast<int32_t>(0x80004005);
inline constexpr int32_t kOutOfMemory = static_cast<int32_t>(0x8007000E);  // no text to parse
inline constexpr int32_t kAbort = static_cast<int32_t>(0x80004004);        // interrupted
inline constexpr int32_t kUnknownName = static_cast<int32_t>(0x80020006);  // no such function
inline constexpr int32_t kException = static_cast<int32_t>(0x80020009);    // the script threw
inline constexpr int32_t kSyntax = static_cast<int32_t>(0x80020101);       // the text does not parse
inline constexpr int32_t kNotAFunction = static_cast<int32_t>(0x800A138A);
}  // namespace script_status

/// What the engine said about the last failure: its text and the line.
struct ScriptError {
    std::string text;
    int line = 0;
};

class ScriptHost {
public:
    ScriptHost();
    ~ScriptHost();
    ScriptHost(const ScriptHost&) = delete;
    ScriptHost& operator=(const ScriptHost&) = delete;

    int32_t CreateEngine();
    /// Publishes object under name; its invokable methods are reached without
    /// regard to case, and nothing else of it is visible.
    int32_t AddNamedItem(const QString& name, QObject* object);
    /// Compiles text without running any of it.
    int32_t ParseScriptText(const QString& text);
    /// Runs the parsed text's global code.
    int32_t Connect();
    /// Calls a global function of the script with no arguments.
    int32_t CallFunction(const QString& name);
    int32_t Close();

    /// Stops the running script at its next step; callable from any thread,
    /// also before the engine exists or after it is gone.
    void Interrupt();
    const ScriptError& LastError() const { return m_error; }

private:
    int32_t Failed(const QJSValue& error, int32_t code);
    void Diagnose(const QString& text);

    std::mutex m_mutex;  // guards the engine pointers against Interrupt
    std::unique_ptr<QJSEngine> m_pEngine;
    QJSEngine* m_pProbe = nullptr;  // the engine that finds a syntax error's line
    std::atomic<bool> m_bInterrupted{false};
    bool m_bConnected = false;
    QString m_strText;
    bool m_bParsed = false;
    ScriptError m_error;
};

}  // namespace delvora
