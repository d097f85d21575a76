#include "app/manual_window.h"

#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace delvora {

ManualWindow::ManualWindow(const QString& indexPath, QWidget* parent)
    : QWidget(parent, Qt::Window), m_pBrowser(new QTextBrowser(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("用户手册"));
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->addWidget(m_pBrowser);
    // Links to other sites open in the desktop's browser; pages of the
    // manual open here.
    m_pBrowser->setOpenExternalLinks(true);
    m_pBrowser->setSource(QUrl::fromLocalFile(indexPath));
    connect(m_pBrowser, &QTextBrowser::sourceChanged, this, [this] {
        const QString strTitle = m_pBrowser->documentTitle();
        if (!strTitle.isEmpty()) setWindowTitle(strTitle);
    });
    if (!m_pBrowser->documentTitle().isEmpty()) setWindowTitle(m_pBrowser->documentTitle());
    resize(960, 720);
}

}  // namespace delvora
