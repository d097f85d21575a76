#include "app/workstation.h"

#include <QApplication>

#include "app/remote_key_dialog.h"

namespace delvora {

Workstation::Workstation(Notifier* notifier)
    : m_pBoxNotifier(notifier ? nullptr : std::make_unique<QtNotifier>()),
      m_pNotifier(notifier ? notifier : m_pBoxNotifier.get()),
      m_devices(DeviceMap::Discover()) {
    // The workspace copies the context, so every sink must exist first; it
    // keeps its own options because none are given here.
    if (m_pBoxNotifier) m_pBoxNotifier->SetFallbackLog(&m_log);
    m_context.notifier = m_pNotifier;
    m_context.log = &m_log;
    m_context.progress = &m_progress;
    m_context.devices = &m_devices;
    m_context.remotes = &m_remotes;
    // A case item on a machine that takes keyed connections only asks for the key.
    m_remotes.SetKeyPrompt([](const std::string& address, std::string& user, std::string& keyHex) {
        return RemoteKeyDialog::Ask(QApplication::activeWindow(), address, user, keyHex);
    });
    m_pWorkspace = std::make_unique<CaseWorkspace>(m_context);
    m_pWorkspace->SetEvents(&m_events);
}

Workstation::~Workstation() {
    // The workspace joins its worker, which may still write to the sinks;
    // meanwhile its messages must not wait for this thread.
    UiWaitGuard waiting(m_pBoxNotifier.get());
    m_pWorkspace.reset();
}

bool Workstation::LoadDeviceMap(const QString& path, QString& error) {
    DeviceMap map;
    std::string strError;
    if (!DeviceMap::LoadFile(path.toStdString(), map, strError)) {
        error = QString::fromStdString(strError);
        return false;
    }
    m_devices = std::move(map);
    m_strDeviceMapFile = path;
    return true;
}

}  // namespace delvora
