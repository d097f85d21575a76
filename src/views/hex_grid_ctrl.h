#pragma once
// The sector viewer: a block of bytes as a hexadecimal grid with row and
// column numbers and a character pane beside it. The grid is rendered once
// into an off-screen picture and only copied while scrolling; the examiner
// may draw red free-hand marks over it and copy it as hexadecimal text,
// plain text or a picture, or save it to a file.
#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QImage>

#include <cstdint>
#include <vector>

namespace delvora {

class Notifier;

class HexGridCtrl : public QAbstractScrollArea {
    Q_OBJECT
public:
    /// Pictures larger than this are refused like a failed bitmap.
    static constexpr qint64 kMaxPictureBytes = qint64{256} << 20;

    explicit HexGridCtrl(Notifier& notifier, QWidget* parent = nullptr);

    void SetRows(int rows) { m_nRows = rows; }
    void SetColumns(int columns) { m_nColumns = columns; }
    int Rows() const { return m_nRows; }
    int Columns() const { return m_nColumns; }
    /// Keeps a private copy of the bytes (none for an empty block).
    void SetData(const uint8_t* bytes, size_t length);
    const std::vector<uint8_t>& Data() const { return m_data; }
    void SetTextColor(const QColor& color) { m_textColor = color; }
    void SetBackColor(const QColor& color) { m_backColor = color; }
    QColor TextColor() const { return m_textColor; }
    QColor BackColor() const { return m_backColor; }

    /// Draws the picture; false (after a message) when rows × columns is not
    /// the data length or the picture cannot be made, false without data.
    bool Render();
    bool PictureValid() const { return m_bValid; }
    const QImage& Picture() const { return m_picture; }
    /// Width of the hexadecimal pane, where the character pane starts.
    int HexPaneWidth() const { return m_nHexPane; }
    int CellWidth() const { return m_nCell; }
    int RowHeight() const { return m_nRow; }

    // The context menu's commands.
    void CopyHex();
    void CopyText();
    void CopyPicture();
    /// Asks for a file and writes the block (appending: at its end).
    void Export(bool append);
    /// Writes the block to a file, truncating it or appending to it.
    bool ExportTo(const QString& path, bool append);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void UpdateScrollRanges();
    QPoint PicturePoint(const QPoint& viewportPoint) const;
    void Message(const QString& text);

    Notifier& m_notifier;
    QColor m_backColor{0, 0, 255};
    QColor m_textColor{255, 255, 0};
    QFont m_font;
    int m_nRows = 32;
    int m_nColumns = 16;
    std::vector<uint8_t> m_data;
    QImage m_picture;
    bool m_bValid = false;
    int m_nHexPane = 0, m_nCell = 0, m_nRow = 0;
    bool m_bDrawing = false;
    QPoint m_lastPoint;
};

/// The viewer's fixed-pitch font that also draws GBK text.
QFont HexGridFont();

}  // namespace delvora
