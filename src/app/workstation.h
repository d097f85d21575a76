#pragma once
// Everything the workstation's windows share: the report sinks, the device
// map, and the case workspace that reports through them. Made before the
// main frame and destroyed after it.
#include <QString>

#include <memory>

#include "app/case_event_relay.h"
#include "app/qt_sinks.h"
#include "case/case_workspace.h"
#include "common/reporting.h"
#include "disk/device_map.h"
#include "disk/remote_connect.h"

namespace delvora {

class Workstation {
public:
    /// notifier: where messages for the user go; null for message boxes.
    explicit Workstation(Notifier* notifier = nullptr);
    ~Workstation();
    Workstation(const Workstation&) = delete;
    Workstation& operator=(const Workstation&) = delete;

    CaseWorkspace& Workspace() { return *m_pWorkspace; }
    const CoreContext& Context() const { return m_context; }
    Notifier& Notify() { return *m_pNotifier; }
    /// The message-box notifier, or null when messages go elsewhere.
    QtNotifier* BoxNotifier() { return m_pBoxNotifier.get(); }
    OutputBarLog& LogSink() { return m_log; }
    PaneProgress& ProgressSink() { return m_progress; }
    /// The case's events as signals on the UI thread.
    CaseEventRelay& Events() { return m_events; }

    DeviceMap& Devices() { return m_devices; }
    /// Takes a device map file; on failure keeps the map it had and answers
    /// false with the reason.
    bool LoadDeviceMap(const QString& path, QString& error);
    /// The map file in use; empty when the machine's own devices are used.
    QString DeviceMapFile() const { return m_strDeviceMapFile; }

private:
    std::unique_ptr<QtNotifier> m_pBoxNotifier;
    Notifier* m_pNotifier;
    OutputBarLog m_log;
    PaneProgress m_progress;
    DeviceMap m_devices;
    NbdConnector m_remotes;
    QString m_strDeviceMapFile;
    CoreContext m_context;
    CaseEventRelay m_events;
    std::unique_ptr<CaseWorkspace> m_pWorkspace;
};

}  // namespace delvora
