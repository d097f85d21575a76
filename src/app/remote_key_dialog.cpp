#include "app/remote_key_dialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "ui/qt_text.h"

namespace delvora {

RemoteKeyDialog::RemoteKeyDialog(const QString& address, QWidget* parent)
    : QDialog(parent), m_pUser(new QLineEdit(this)), m_pKey(new QLineEdit(this)) {
    setObjectName(QStringLiteral("remoteKeyDialog"));
    setWindowTitle(QCoreApplication::translate("RemoteKeyDialog", "连接远程驱动器"));
    m_pUser->setObjectName(QStringLiteral("remoteKeyUser"));
    m_pKey->setObjectName(QStringLiteral("remoteKeyKey"));
    m_pKey->setEchoMode(QLineEdit::Password);
    auto* form = new QFormLayout;
    form->addRow(QCoreApplication::translate("RemoteKeyDialog", "用户名"), m_pUser);
    form->addRow(QCoreApplication::translate("RemoteKeyDialog", "密  码"), m_pKey);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QCoreApplication::translate("RemoteKeyDialog", "服务器 %1 只接受加密连接, 请输入用户名和密码:").arg(address), this));
    layout->addLayout(form);
    layout->addWidget(buttons);
}

bool RemoteKeyDialog::Ask(QWidget* parent, const std::string& address, std::string& user, std::string& keyHex) {
    RemoteKeyDialog dialog(FromUtf8(address), parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    user = dialog.User()->text().trimmed().toStdString();
    keyHex = dialog.Key()->text().trimmed().toStdString();
    return true;
}

}  // namespace delvora
