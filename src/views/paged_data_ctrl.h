#pragma once
// The report control of the text and hexadecimal views: an item's data of
// any size, of which only the rows on screen are read (through ItemPages).
// The hexadecimal form shows 16 bytes a row with the offset and the GBK
// text; the text form shows the data as lines, in the encoding its first
// pages show (GBK unless they are UTF-8 or carry a byte order mark). Rows are selected with
// the mouse (shift extends) and copied as text or as hexadecimal text.
#include <QAbstractScrollArea>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "common/text_encoding.h"

namespace delvora {

class ItemPages;

class PagedDataCtrl : public QAbstractScrollArea {
    Q_OBJECT
public:
    enum class Form { kHex, kText };
    /// Bytes per row of the hexadecimal form; the text form wraps longer lines here.
    static constexpr uint32_t kHexRowBytes = 16;
    static constexpr uint32_t kTextRowBytes = 256;
    /// A copy takes at most this much of a selection.
    static constexpr uint64_t kMaxCopyBytes = uint64_t{16} << 20;

    explicit PagedDataCtrl(Form form, QWidget* parent = nullptr);
    ~PagedDataCtrl() override;

    /// Shows the data behind pages; null empties the control.
    void SetPages(std::unique_ptr<ItemPages> pages);
    uint64_t Size() const;
    /// How the text form decodes the data (the hexadecimal form: GBK).
    TextEncoding Encoding() const { return m_encoding; }

    /// The selected bytes as [first, end); the rows on screen when nothing
    /// is selected.
    void SelectedRange(uint64_t& first, uint64_t& end) const;
    void Select(uint64_t first, uint64_t end);
    /// The selection as text (decoded as shown) and as hexadecimal text.
    QString SelectionText();
    QString SelectionHex();
    void CopySelection();
    void HexCopySelection();

    /// The rows on screen as text (tests and printing look at it).
    QStringList VisibleRows();
    /// Up to count rows from offset on, as they would be shown (printing).
    QStringList RowsFrom(uint64_t offset, int count);
    /// Scrolls so that the row holding offset is at the top.
    void ScrollTo(uint64_t offset);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    struct Row {
        uint64_t first = 0, end = 0;  // the row's bytes
        QString text;
    };
    /// Lays out the rows on screen from the scroll position.
    void LayOut();
    /// Up to count rows from the row holding offset (from offset itself when
    /// rowStart: a row is known to start there).
    void MakeRows(uint64_t offset, int count, std::vector<Row>& rows, bool rowStart = false);
    void UpdateScrollRange();
    uint64_t TopOffset() const;
    /// Decides m_encoding from the first pages (text form only).
    void DetectEncoding();
    /// Where the text row holding offset starts: rows are laid from the
    /// line's start (looked for up to 128 KiB back), each at a character.
    uint64_t TextRowStart(uint64_t offset);
    /// The end of the text row that starts at bytes[at]: after its line feed,
    /// or before the character that would make it longer than kTextRowBytes.
    size_t TextRowEnd(std::span<const uint8_t> bytes, size_t at) const;
    int VisibleRowCount() const;
    uint64_t OffsetAt(const QPoint& point) const;
    QString HexRowText(uint64_t first, const std::vector<uint8_t>& bytes) const;
    /// The characters of row's text that show its bytes before offset.
    int ColumnOf(const Row& row, uint64_t offset);

    Form m_form;
    std::unique_ptr<ItemPages> m_pPages;
    TextEncoding m_encoding = TextEncoding::kGbk;
    uint64_t m_nTextStart = 0;  // past the byte order mark
    std::vector<Row> m_rows;
    uint64_t m_nUnit = 1;  // bytes per scroll step
    uint64_t m_nAnchor = 0, m_nSelFirst = 0, m_nSelEnd = 0;
    int m_nLineHeight = 16;
};

}  // namespace delvora
