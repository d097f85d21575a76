#pragma once
// The picture and picture-list views: a current file whose name says it is
// a picture, drawn scaled to the view; a folder's pictures as thumbnails.
#include <QImage>

#include "views/delvora_view.h"

class QListWidget;

namespace delvora {

class Volume;
struct FileItem;

/// Pictures larger than this are not read (the view stays empty).
inline constexpr uint64_t kMaxPictureFileBytes = uint64_t{32} << 20;
/// The picture list shows at most this many of a folder's pictures.
inline constexpr int kMaxThumbnails = 500;

/// True when the name's extension is one the picture reader knows.
bool IsPictureName(const char* name);
/// Reads and decodes a picture item; a null image when it is none.
QImage LoadPicture(Volume& volume, FileItem& item);

/// Draws a picture as large as its rectangle allows, keeping its
/// proportions and centred: larger pictures shrink, smaller ones grow.
class PictureCtrl : public QWidget {
    Q_OBJECT
public:
    explicit PictureCtrl(QWidget* parent = nullptr) : QWidget(parent) {}
    void SetPicture(QImage picture);
    const QImage& Picture() const { return m_picture; }
    /// Where the picture is drawn: fitted into the control and centred.
    QRect Target() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
};

class PictureView : public DelvoraView {
    Q_OBJECT
public:
    PictureView(ViewSet& views, QString title, QWidget* parent = nullptr);
    void RefreshView() override;
    bool HasSkipFlag() const override { return true; }
    void CopySelection() override;
    PictureCtrl* Control() const { return m_pControl; }

protected:
    bool CreateControls() override;

private:
    PictureCtrl* m_pControl = nullptr;
};

class PictureListView : public DelvoraView {
    Q_OBJECT
public:
    PictureListView(ViewSet& views, QString title, QWidget* parent = nullptr);
    void RefreshView() override;
    bool HasSkipFlag() const override { return true; }
    QListWidget* List() const { return m_pList; }

protected:
    bool CreateControls() override;

private:
    void Add(Volume& volume, FileItem& item);

    QListWidget* m_pList = nullptr;
};

}  // namespace delvora
