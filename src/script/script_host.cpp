#include "script/script_host.h"

#include <QJSEngine>
#include <QLoggingCategory>
#include <QMetaMethod>
#include <QObject>
#include <QStringList>

namespace delvora {
namespace {

// A Proxy that answers every spelling of a method's name with that method
// and nothing else: Delvora.opendisk, .OpenDisk and .OPENDISK are one.
constexpr const char* kCaseInsensitive = R"JS((function (target, names) {
    var methods = Object.create(null);
    names.forEach(function (name) {
        var method = target[name];
        methods[name.toLowerCase()] = function () { return method.apply(target, arguments); };
    });
    function find(key) {
        return typeof key === "string" ? methods[key.toLowerCase()] : undefined;
    }
    return new Proxy(Object.create(null), {
        get: function (t, key) { return find(key); },
        has: function (t, key) { return find(key) !== undefined; },
        set: function () { return true; },
        deleteProperty: function () { return true; }
    });
}))JS";

const QString kFileName = QStringLiteral("script");

}  // namespace

ScriptHost::ScriptHost() {
    // The engine's compiler warns of variables used before their "var":
    // scripts rely on hoisting (the constants stand at the end), and the
    // warning would land among the examiner's output.
    static const bool s_bQuiet = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("qt.qml.compiler.warning=false"));
        return true;
    }();
    (void)s_bQuiet;
}

ScriptHost::~ScriptHost() { Close(); }

int32_t ScriptHost::CreateEngine() {
    std::lock_guard lock(m_mutex);
    if (m_pEngine) return script_status::kUnexpected;
    m_pEngine = std::make_unique<QJSEngine>();
    return script_status::kOk;
}

int32_t ScriptHost::AddNamedItem(const QString& name, QObject* object) {
    if (!m_pEngine || !object) return script_status::kUnexpected;
    // The object belongs to its owner, not to the engine's collector.
    QJSEngine::setObjectOwnership(object, QJSEngine::CppOwnership);
    QStringList names;
    const QMetaObject* meta = object->metaObject();
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.methodType() == QMetaMethod::Method && method.access() == QMetaMethod::Public)
            names << QString::fromLatin1(method.name());
    }
    const QJSValue maker = m_pEngine->evaluate(QString::fromLatin1(kCaseInsensitive));
    const QJSValue proxy = maker.call({m_pEngine->newQObject(object), m_pEngine->toScriptValue(names)});
    if (proxy.isError() || !proxy.isObject()) return Failed(proxy, script_status::kFail);
    m_pEngine->globalObject().setProperty(name, proxy);
    return script_status::kOk;
}

int32_t ScriptHost::ParseScriptText(const QString& text) {
    if (!m_pEngine) return script_status::kUnexpected;
    m_strText = text;
    m_bParsed = false;
    // The Function constructor compiles its body separately and runs none
    // of it; a script is valid global code exactly when it compiles so.
    const QJSValue compiled = m_pEngine->globalObject().property(QStringLiteral("Function")).callAsConstructor({text});
    if (compiled.isError()) {
        Failed(compiled, script_status::kSyntax);
        if (!m_bInterrupted) Diagnose(text);
        return m_bInterrupted ? script_status::kAbort : script_status::kSyntax;
    }
    m_bParsed = true;
    return script_status::kOk;
}

void ScriptHost::Diagnose(const QString& text) {
    // The Function constructor names no line. Global code that does not
    // compile runs nothing either, so an engine that holds no object of
    // ours compiles it once more for the engine's own message and line.
    QJSEngine probe;
    {
        std::lock_guard lock(m_mutex);
        m_pProbe = &probe;
        if (m_bInterrupted) probe.setInterrupted(true);
    }
    const QJSValue result = probe.evaluate(text, kFileName, 1);
    if (result.isError()) Failed(result, script_status::kSyntax);
    std::lock_guard lock(m_mutex);
    m_pProbe = nullptr;
}

int32_t ScriptHost::Connect() {
    if (!m_pEngine) return script_status::kUnexpected;
    if (!m_bParsed) return script_status::kFail;
    {
        // A stop that came while the engine was being prepared ends the
        // script at its first step.
        std::lock_guard lock(m_mutex);
        if (m_bInterrupted) m_pEngine->setInterrupted(true);
    }
    const QJSValue result = m_pEngine->evaluate(m_strText, kFileName, 1);
    if (result.isError()) return Failed(result, m_bInterrupted ? script_status::kAbort : script_status::kException);
    m_bConnected = true;
    return script_status::kOk;
}

int32_t ScriptHost::CallFunction(const QString& name) {
    if (!m_pEngine || !m_bConnected) return script_status::kFail;
    const QJSValue global = m_pEngine->globalObject();
    if (!global.hasProperty(name)) {
        m_error = {QStringLiteral("'%1' is undefined").arg(name).toStdString(), 0};
        return script_status::kUnknownName;
    }
    QJSValue function = global.property(name);
    if (!function.isCallable()) {
        m_error = {QStringLiteral("'%1' is not a function").arg(name).toStdString(), 0};
        return script_status::kNotAFunction;
    }
    const QJSValue result = function.call();
    if (result.isError()) return Failed(result, m_bInterrupted ? script_status::kAbort : script_status::kException);
    return script_status::kOk;
}

int32_t ScriptHost::Close() {
    std::unique_ptr<QJSEngine> engine;
    {
        std::lock_guard lock(m_mutex);
        if (!m_pEngine) return script_status::kUnexpected;
        engine = std::move(m_pEngine);
    }
    m_bConnected = false;
    m_bParsed = false;
    engine.reset();
    return script_status::kOk;
}

void ScriptHost::Interrupt() {
    std::lock_guard lock(m_mutex);
    m_bInterrupted = true;
    // setInterrupted is the one engine call made from another thread.
    if (m_pEngine) m_pEngine->setInterrupted(true);
    if (m_pProbe) m_pProbe->setInterrupted(true);
}

int32_t ScriptHost::Failed(const QJSValue& error, int32_t code) {
    m_error.text = error.toString().toStdString();
    m_error.line = error.property(QStringLiteral("lineNumber")).toInt();
    return code;
}

}  // namespace delvora
