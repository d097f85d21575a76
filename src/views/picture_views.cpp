#include "views/picture_views.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImageReader>
#include <QListWidget>
#include <QPainter>
#include <QVBoxLayout>

#include <vector>

#include "ui/qt_text.h"
#include "fs/file_item.h"
#include "recovery/export_names.h"
#include "recovery/item_pages.h"
#include "views/view_set.h"

namespace delvora {
namespace {

constexpr int kThumbnailSize = 96;

}  // namespace

bool IsPictureName(const char* name) {
    const std::string_view extension = ExtensionOf(name ? name : "");
    if (extension.empty()) return false;
    return QImageReader::supportedImageFormats().contains(QByteArray(extension.data(), static_cast<qsizetype>(extension.size())).toLower());
}

QImage LoadPicture(Volume& volume, FileItem& item) {
    if (item.IsDirectory() || item.size == 0 || item.size > kMaxPictureFileBytes || !IsPictureName(item.name)) return {};
    ItemPages pages(volume, item);
    std::vector<uint8_t> bytes;
    pages.Read(0, static_cast<size_t>(item.size), bytes);
    QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    QImageReader reader(&buffer);
    return reader.read();
}

void PictureCtrl::SetPicture(QImage picture) {
    m_picture = std::move(picture);
    update();
}

QRect PictureCtrl::Target() const {
    if (m_picture.isNull()) return {};
    const QSize size = m_picture.size().scaled(this->size(), Qt::KeepAspectRatio);
    return {QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size};
}

void PictureCtrl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (m_picture.isNull()) return;
    const QRect target = Target();
    // Grown pictures keep their pixels sharp, so that what is on the disk is what is seen.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, target.width() < m_picture.width());
    painter.drawImage(target, m_picture);
}

PictureView::PictureView(ViewSet& views, QString title, QWidget* parent) : DelvoraView(views, std::move(title), parent) {
    setObjectName(QStringLiteral("pictureView"));
}

bool PictureView::CreateControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pControl = new PictureCtrl(this);
    layout->addWidget(m_pControl);
    return true;
}

void PictureView::RefreshView() {
    FileItem* item = m_views.CurrentItem();
    Volume* volume = m_views.CurrentVolume();
    m_pControl->SetPicture(item && volume ? LoadPicture(*volume, *item) : QImage());
}

void PictureView::CopySelection() {
    if (QClipboard* clipboard = QGuiApplication::clipboard(); clipboard && !m_pControl->Picture().isNull())
        clipboard->setImage(m_pControl->Picture());
}

PictureListView::PictureListView(ViewSet& views, QString title, QWidget* parent)
    : DelvoraView(views, std::move(title), parent) {
    setObjectName(QStringLiteral("pictureListView"));
}

bool PictureListView::CreateControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pList = new QListWidget(this);
    m_pList->setViewMode(QListView::IconMode);
    m_pList->setIconSize(QSize(kThumbnailSize, kThumbnailSize));
    m_pList->setResizeMode(QListView::Adjust);
    m_pList->setMovement(QListView::Static);
    m_pList->setSpacing(8);
    layout->addWidget(m_pList);
    return true;
}

void PictureListView::Add(Volume& volume, FileItem& item) {
    const QImage picture = LoadPicture(volume, item);
    if (picture.isNull()) return;
    const QImage thumbnail = picture.scaled(kThumbnailSize, kThumbnailSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    m_pList->addItem(new QListWidgetItem(QIcon(QPixmap::fromImage(thumbnail)), FromUtf8(item.name ? item.name : "")));
}

void PictureListView::RefreshView() {
    m_pList->clear();
    FileItem* item = m_views.CurrentItem();
    Volume* volume = m_views.CurrentVolume();
    if (!item || !volume) return;
    if (!item->IsDirectory() && item->parent) return Add(*volume, *item);
    if (!item->children) return;
    // One pass over the folder's array, stopping at the thumbnail bound.
    for (uint32_t i = 0; i < item->childCount && m_pList->count() < kMaxThumbnails; ++i)
        if (IsPictureName(item->children[i].name)) Add(*volume, item->children[i]);
}

}  // namespace delvora
