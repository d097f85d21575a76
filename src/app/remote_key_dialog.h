#pragma once
// Asks for the TLS-PSK user name and key of a remote machine when a case
// file's remote item reconnects to a server that takes keyed connections only.
#include <QDialog>

#include <string>

class QLineEdit;

namespace delvora {

class RemoteKeyDialog : public QDialog {
    Q_OBJECT
public:
    RemoteKeyDialog(const QString& address, QWidget* parent = nullptr);
    QLineEdit* User() const { return m_pUser; }
    QLineEdit* Key() const { return m_pKey; }

    /// Shows the dialog; true with the typed values when OK was pressed.
    static bool Ask(QWidget* parent, const std::string& address, std::string& user, std::string& keyHex);

private:
    QLineEdit* m_pUser;
    QLineEdit* m_pKey;
};

}  // namespace delvora
