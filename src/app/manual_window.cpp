#include "app/manual_window.h"

#include <algorithm>
#include <utility>
#include <vector>

#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

namespace delvora {

ManualWindow::ManualWindow(const QString& indexPath, QWidget* parent)
    : QWidget(parent, Qt::Window), m_pBrowser(new QTextBrowser(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QCoreApplication::translate("ManualWindow", "用户手册"));
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
        FitPictures();
    });
    if (!m_pBrowser->documentTitle().isEmpty()) setWindowTitle(m_pBrowser->documentTitle());
    m_pBrowser->viewport()->installEventFilter(this);
    resize(960, 720);
}

bool ManualWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pBrowser->viewport() && event->type() == QEvent::Resize) FitPictures();
    return QWidget::eventFilter(watched, event);
}

void ManualWindow::FitPictures() {
    QTextDocument* pDocument = m_pBrowser->document();
    // The page's margins, its body's padding on both sides and a border stay free.
    const int nRoom = m_pBrowser->viewport()->width() - 2 * static_cast<int>(pDocument->documentMargin()) - 100;
    if (nRoom <= 0) return;
    // Formats are changed after the walk: a change may split or merge the
    // fragments being walked.
    std::vector<std::pair<int, QTextImageFormat>> changes;
    for (QTextBlock block = pDocument->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid() || !fragment.charFormat().isImageFormat()) continue;
            QTextImageFormat picture = fragment.charFormat().toImageFormat();
            const QImage image = pDocument->resource(QTextDocument::ImageResource, QUrl(picture.name())).value<QImage>();
            if (image.isNull() || image.width() <= 0) continue;
            const int nWidth = std::min(image.width(), nRoom);
            if (static_cast<int>(picture.width()) == nWidth) continue;
            picture.setWidth(nWidth);
            picture.setHeight(static_cast<double>(image.height()) * nWidth / image.width());
            // Each picture is one character of the text.
            for (int i = 0; i < fragment.length(); ++i) changes.emplace_back(fragment.position() + i, picture);
        }
    }
    for (const auto& [nPosition, picture] : changes) {
        QTextCursor cursor(pDocument);
        cursor.setPosition(nPosition);
        cursor.setPosition(nPosition + 1, QTextCursor::KeepAnchor);
        cursor.setCharFormat(picture);
    }
}

}  // namespace delvora
