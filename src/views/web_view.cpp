#include "views/web_view.h"

#include <QFile>
#include <QVBoxLayout>

#include "common/codepage.h"
#include "fs/file_item.h"
#include "recovery/export_names.h"
#include "recovery/scratch_folder.h"
#include "views/view_set.h"

namespace delvora {
namespace {

// Pages larger than this are not shown (the browser lays out all of it).
constexpr qint64 kMaxPageBytes = qint64{8} << 20;

bool IsPageName(const char* name) {
    const std::string_view extension = ExtensionOf(name ? name : "");
    const QString lower = QString::fromLatin1(extension.data(), static_cast<qsizetype>(extension.size())).toLower();
    return lower == QStringLiteral("htm") || lower == QStringLiteral("html");
}

}  // namespace

SealedBrowser::SealedBrowser(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
}

void SealedBrowser::ShowFile(const QString& path) {
    m_refused.clear();
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly) || file.size() > kMaxPageBytes) return clear();
    // Given as text, not as a source: the page gets no base to resolve
    // resources against, and loadResource refuses every one anyway.
    const QByteArray bytes = file.readAll();
    const std::string_view raw(bytes.constData(), static_cast<size_t>(bytes.size()));
    // Pages from Chinese disks are mostly GBK; UTF-8 is taken when the page
    // does not name a GB charset and decodes cleanly.
    const bool gb = bytes.left(4096).toLower().contains("charset=gb");
    const bool utf8 = !gb && SanitizeUtf8(raw) == raw;
    setHtml(QString::fromStdString(utf8 ? std::string(raw) : GbkToUtf8(raw)));
}

QVariant SealedBrowser::loadResource(int, const QUrl& name) {
    m_refused << name;
    return {};
}

WebView::WebView(ViewSet& views, QString title, QWidget* parent) : DelvoraView(views, std::move(title), parent) {
    setObjectName(QStringLiteral("webView"));
}

bool WebView::CreateControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pBrowser = new SealedBrowser(this);
    layout->addWidget(m_pBrowser);
    return true;
}

void WebView::RefreshView() {
    FileItem* item = m_views.CurrentItem();
    Volume* volume = m_views.CurrentVolume();
    std::string path;
    if (!item || !volume || item->IsDirectory() || !IsPageName(item->name) ||
        !ExportForWebView(volume, item, m_views.Scratch(), path))
        return m_pBrowser->ShowFile({});
    m_pBrowser->ShowFile(QString::fromStdString(path));
}

void WebView::CopySelection() { m_pBrowser->copy(); }

}  // namespace delvora
