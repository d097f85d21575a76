#include "views/paged_data_ctrl.h"

#include <QCoreApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <optional>

#include "common/codepage.h"
#include "common/text_encoding.h"
#include "common/text_format.h"
#include "recovery/item_pages.h"
#include "views/hex_grid_ctrl.h"

namespace delvora {
namespace {

// Scroll bars count in int: past this many steps one step covers more bytes.
constexpr uint64_t kMaxSteps = uint64_t{1} << 30;
// Bytes per scroll step of the text form: about one line.
constexpr uint64_t kTextStep = 64;

// The pages read to decide how a file's text is shown: enough to see past an
// ASCII preamble, little enough that any file opens at once.
constexpr uint64_t kSniffPages = 4;

// A row's text with line ends dropped and other control characters shown as
// dots, so that a row stays one line.
QString RowText(std::span<const uint8_t> bytes, TextEncoding encoding) {
    QString text = QString::fromStdString(DecodeText(bytes, encoding));
    while (!text.isEmpty() && (text.back() == u'\n' || text.back() == u'\r')) text.chop(1);
    for (QChar& c : text) {
        if (c == u'\t') c = u' ';
        else if (c.unicode() < 0x20) c = u'.';
    }
    return text;
}

}  // namespace

PagedDataCtrl::PagedDataCtrl(Form form, QWidget* parent) : QAbstractScrollArea(parent), m_form(form) {
    setFont(HexGridFont());
    m_nLineHeight = fontMetrics().height();
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
}

PagedDataCtrl::~PagedDataCtrl() = default;

void PagedDataCtrl::SetPages(std::unique_ptr<ItemPages> pages) {
    m_pPages = pages && pages->Ok() ? std::move(pages) : nullptr;
    m_nAnchor = m_nSelFirst = m_nSelEnd = 0;
    DetectEncoding();
    UpdateScrollRange();
    verticalScrollBar()->setValue(0);
    LayOut();
}

uint64_t PagedDataCtrl::Size() const { return m_pPages ? m_pPages->Size() : 0; }

void PagedDataCtrl::DetectEncoding() {
    m_encoding = TextEncoding::kGbk;
    m_nTextStart = 0;
    if (!m_pPages || m_form != Form::kText) return;
    std::vector<uint8_t> head;
    // One more page a round while the text is plain ASCII, at most kSniffPages.
    for (uint64_t pages = 1; pages <= kSniffPages; ++pages) {
        const uint64_t want = pages * ItemPages::kPageBytes;
        m_pPages->Read(0, static_cast<size_t>(want), head);
        const bool more = head.size() == want && Size() > want && pages < kSniffPages;
        if (const std::optional<TextEncoding> found = SniffTextEncoding(head, more)) {
            m_encoding = *found;
            break;
        }
        if (!more) break;
    }
    m_nTextStart = ByteOrderMarkLength(head, m_encoding);
}

void PagedDataCtrl::UpdateScrollRange() {
    const uint64_t size = Size();
    const uint64_t step = m_form == Form::kHex ? kHexRowBytes : kTextStep;
    const uint64_t steps = (size + step - 1) / step;
    m_nUnit = step * (steps / kMaxSteps + 1);
    const uint64_t total = (size + m_nUnit - 1) / m_nUnit;
    const int page = std::max(1, VisibleRowCount() - 1);
    verticalScrollBar()->setRange(0, static_cast<int>(total > static_cast<uint64_t>(page) ? total - page : 0));
    verticalScrollBar()->setPageStep(page);
}

int PagedDataCtrl::VisibleRowCount() const { return viewport()->height() / std::max(1, m_nLineHeight) + 1; }

uint64_t PagedDataCtrl::TopOffset() const { return static_cast<uint64_t>(verticalScrollBar()->value()) * m_nUnit; }

uint64_t PagedDataCtrl::TextRowStart(uint64_t offset) {
    if (offset <= m_nTextStart || !m_pPages) return m_nTextStart;
    // Rows are laid from the start of the line or, in a longer line, from a
    // page boundary 64 to 128 KiB back: a row keeps its place while the view
    // scrolls, and starts at a character.
    const uint64_t page = ItemPages::kPageBytes;
    const uint64_t from = std::max<uint64_t>(m_nTextStart, offset / page > 0 ? (offset / page - 1) * page : 0);
    const size_t at = static_cast<size_t>(offset - from);
    std::vector<uint8_t> before;
    // With the whole character at offset (at most four bytes).
    m_pPages->Read(from, at + 4, before);
    if (before.size() <= at) return offset;
    const bool wide = m_encoding == TextEncoding::kUtf16Le;
    size_t start = 0;
    for (size_t i = at; i > 0; --i) {
        const size_t j = i - 1;
        if (IsLineFeedAt(before, j, m_encoding) && (!wide || (from + j) % 2 == 0)) {
            start = j + (wide ? 2 : 1);
            break;
        }
    }
    // Row after row up to the one that holds offset; each moves at least one
    // byte on, and the bytes end past offset.
    while (true) {
        const size_t end = TextRowEnd(before, start);
        if (end > at) return from + start;
        start = end;
    }
}

size_t PagedDataCtrl::TextRowEnd(std::span<const uint8_t> bytes, size_t at) const {
    size_t end = at;
    // Each character moves end on by at least one byte; a row ends at a line
    // feed or before the character that would pass kTextRowBytes.
    while (end < bytes.size()) {
        const size_t length = TextCharLength(bytes, end, m_encoding);
        if (end > at && end + length - at > kTextRowBytes) break;
        const bool bLineFeed = IsLineFeedAt(bytes, end, m_encoding);
        end += length;
        if (bLineFeed) break;
    }
    return end;
}

QString PagedDataCtrl::HexRowText(uint64_t first, const std::vector<uint8_t>& bytes) const {
    QString hex = QStringLiteral("%1  ").arg(first, 10, 16, QLatin1Char('0')).toUpper();
    std::string chars;
    for (uint32_t i = 0; i < kHexRowBytes; ++i) {
        if (i < bytes.size()) {
            hex += QStringLiteral("%1 ").arg(bytes[i], 2, 16, QLatin1Char('0')).toUpper();
            chars.push_back(bytes[i] < 0x20 || bytes[i] == 0x7F ? '.' : static_cast<char>(bytes[i]));
        } else {
            hex += QStringLiteral("   ");
        }
    }
    return hex + QStringLiteral(" ") + QString::fromStdString(GbkToUtf8(chars));
}

void PagedDataCtrl::MakeRows(uint64_t offset, int count, std::vector<Row>& rows, bool rowStart) {
    rows.clear();
    const uint64_t size = Size();
    if (size == 0 || count <= 0) return;
    std::vector<uint8_t> bytes;
    if (m_form == Form::kHex) {
        const uint64_t top = std::min(offset, size - 1) / kHexRowBytes * kHexRowBytes;
        m_pPages->Read(top, static_cast<size_t>(count) * kHexRowBytes, bytes);
        // Each row takes 16 bytes of what was read; the read ends the loop.
        for (size_t at = 0; at < bytes.size(); at += kHexRowBytes) {
            const size_t end = std::min(bytes.size(), at + kHexRowBytes);
            const std::vector<uint8_t> row(bytes.begin() + static_cast<ptrdiff_t>(at), bytes.begin() + static_cast<ptrdiff_t>(end));
            rows.push_back({top + at, top + end, HexRowText(top + at, row)});
        }
        return;
    }
    const uint64_t top = rowStart ? offset : TextRowStart(std::min(offset, size - 1));
    m_pPages->Read(top, static_cast<size_t>(count) * kTextRowBytes, bytes);
    const std::span<const uint8_t> text(bytes);
    size_t at = 0;
    // Every row moves at least one byte on, and there are count rows at most.
    while (at < text.size() && static_cast<int>(rows.size()) < count) {
        const size_t end = TextRowEnd(text, at);
        rows.push_back({top + at, top + end, RowText(text.subspan(at, end - at), m_encoding)});
        at = end;
    }
}

void PagedDataCtrl::LayOut() {
    MakeRows(TopOffset(), VisibleRowCount(), m_rows);
    viewport()->update();
}

QStringList PagedDataCtrl::RowsFrom(uint64_t offset, int count) {
    std::vector<Row> rows;
    QStringList texts;
    // In blocks, so that a long listing never holds more than one block's bytes.
    while (texts.size() < count && offset < Size()) {
        // After the first block, offset is where the last row ended: the
        // next goes on from there rather than from where a row search puts it.
        MakeRows(offset, std::min(count - static_cast<int>(texts.size()), 1024), rows, !texts.isEmpty());
        if (rows.empty()) break;
        // The block's last row may be cut by the end of its read: it is made
        // again at the start of the next block.
        if (rows.size() > 1 && rows.back().end < Size()) rows.pop_back();
        for (const Row& row : rows) texts << row.text;
        offset = rows.back().end;
    }
    return texts;
}

QStringList PagedDataCtrl::VisibleRows() {
    QStringList rows;
    for (const Row& row : m_rows) rows << row.text;
    return rows;
}

void PagedDataCtrl::ScrollTo(uint64_t offset) {
    verticalScrollBar()->setValue(static_cast<int>(std::min<uint64_t>(offset / m_nUnit, INT32_MAX)));
    LayOut();
}

void PagedDataCtrl::scrollContentsBy(int, int) { LayOut(); }

void PagedDataCtrl::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollRange();
    LayOut();
}

void PagedDataCtrl::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.setFont(font());
    const QPalette& colours = palette();
    const QFontMetrics metrics = fontMetrics();
    int y = 0;
    for (const Row& row : m_rows) {
        const int baseline = y + metrics.ascent();
        painter.setPen(colours.text().color());
        if (row.first < m_nSelEnd && row.end > m_nSelFirst) {
            // A row wholly inside the selection is marked across; a row it
            // only touches, on the selected characters alone.
            QRect marked(0, y, viewport()->width(), m_nLineHeight);
            if (m_nSelFirst > row.first || m_nSelEnd < row.end) {
                const int left = 4 + metrics.horizontalAdvance(row.text.left(ColumnOf(row, std::max(m_nSelFirst, row.first))));
                // In hexadecimal the blank after the last selected byte stays unmarked.
                const int end = ColumnOf(row, std::min(m_nSelEnd, row.end)) - (m_form == Form::kHex ? 1 : 0);
                const int right = 4 + metrics.horizontalAdvance(row.text.left(end));
                marked = QRect(left, y, std::max(1, right - left), m_nLineHeight);
            }
            painter.drawText(4, baseline, row.text);
            painter.fillRect(marked, colours.highlight());
            painter.save();
            painter.setClipRect(marked);
            painter.setPen(colours.highlightedText().color());
            painter.drawText(4, baseline, row.text);
            painter.restore();
        } else {
            painter.drawText(4, baseline, row.text);
        }
        y += m_nLineHeight;
    }
}

int PagedDataCtrl::ColumnOf(const Row& row, uint64_t offset) {
    const uint64_t into = std::min(offset, row.end) - row.first;
    // "OFFSET  " then three characters a byte.
    if (m_form == Form::kHex) return static_cast<int>(12 + 3 * into);
    std::vector<uint8_t> bytes;
    if (m_pPages) m_pPages->Read(row.first, static_cast<size_t>(into), bytes);
    return static_cast<int>(RowText(bytes, m_encoding).size());
}

uint64_t PagedDataCtrl::OffsetAt(const QPoint& point) const {
    if (m_rows.empty()) return 0;
    const int index = std::clamp(point.y() / std::max(1, m_nLineHeight), 0, static_cast<int>(m_rows.size()) - 1);
    return m_rows[static_cast<size_t>(index)].first;
}

void PagedDataCtrl::mousePressEvent(QMouseEvent* event) {
    if (m_rows.empty() || event->button() != Qt::LeftButton) return;
    if (!(event->modifiers() & Qt::ShiftModifier)) m_nAnchor = OffsetAt(event->position().toPoint());
    mouseMoveEvent(event);
}

void PagedDataCtrl::mouseMoveEvent(QMouseEvent* event) {
    if (m_rows.empty()) return;
    const uint64_t at = OffsetAt(event->position().toPoint());
    // The selection covers whole rows from the anchor's to the pointer's.
    const auto rowEnd = [this](uint64_t first) {
        for (const Row& row : m_rows)
            if (row.first == first) return row.end;
        return first + 1;
    };
    const uint64_t low = std::min(at, m_nAnchor), high = std::max(at, m_nAnchor);
    Select(low, std::max(rowEnd(high), high + 1));
}

void PagedDataCtrl::Select(uint64_t first, uint64_t end) {
    m_nSelFirst = std::min(first, Size());
    m_nSelEnd = std::clamp(end, m_nSelFirst, Size());
    viewport()->update();
}

void PagedDataCtrl::SelectedRange(uint64_t& first, uint64_t& end) const {
    if (m_nSelEnd > m_nSelFirst) {
        first = m_nSelFirst;
        end = m_nSelEnd;
    } else {
        first = m_rows.empty() ? 0 : m_rows.front().first;
        end = m_rows.empty() ? 0 : m_rows.back().end;
    }
}

QString PagedDataCtrl::SelectionText() {
    uint64_t first = 0, end = 0;
    SelectedRange(first, end);
    std::vector<uint8_t> bytes;
    if (m_form == Form::kText) {
        // Decoded as the rows are: from a character start, past the byte order mark.
        first = std::max(first, m_nTextStart);
        if (m_encoding == TextEncoding::kUtf16Le) first &= ~uint64_t{1};
        end = std::max(end, first);
    }
    if (m_pPages) m_pPages->Read(first, static_cast<size_t>(std::min(end - first, kMaxCopyBytes)), bytes);
    if (m_form == Form::kHex) return QString::fromStdString(GbkToUtf8(PlainCopyBytes(bytes)));
    // Text keeps its line breaks and tabs; other control characters become dots.
    QString text = QString::fromStdString(DecodeText(bytes, m_encoding));
    for (QChar& c : text)
        if (c.unicode() < 0x20 && c != u'\n' && c != u'\r' && c != u'\t') c = u'.';
    return text;
}

QString PagedDataCtrl::SelectionHex() {
    uint64_t first = 0, end = 0;
    SelectedRange(first, end);
    std::vector<uint8_t> bytes;
    if (m_pPages) m_pPages->Read(first, static_cast<size_t>(std::min(end - first, kMaxCopyBytes)), bytes);
    return QString::fromLatin1(HexCopyText(bytes));
}

void PagedDataCtrl::CopySelection() {
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(SelectionText());
}

void PagedDataCtrl::HexCopySelection() {
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(SelectionHex());
}

void PagedDataCtrl::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(QCoreApplication::translate("PagedDataCtrl", "拷贝(&C)"), this, &PagedDataCtrl::CopySelection);
    menu.addAction(QCoreApplication::translate("PagedDataCtrl", "十六进制拷贝(&T)"), this, &PagedDataCtrl::HexCopySelection);
    menu.exec(event->globalPos());
}

void PagedDataCtrl::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) return CopySelection();
    QAbstractScrollArea::keyPressEvent(event);
}

}  // namespace delvora
