#include "views/hex_grid_ctrl.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

#include "common/codepage.h"
#include "common/reporting.h"
#include "common/text_format.h"

namespace delvora {

QFont HexGridFont() {
    QFont font(QStringLiteral("WenQuanYi Micro Hei Mono"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(14);
    return font;
}

HexGridCtrl::HexGridCtrl(Notifier& notifier, QWidget* parent)
    : QAbstractScrollArea(parent), m_notifier(notifier), m_font(HexGridFont()) {
    setObjectName(QStringLiteral("hexGrid"));
    setFocusPolicy(Qt::StrongFocus);
    horizontalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setSingleStep(1);
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, viewport(), qOverload<>(&QWidget::update));
    connect(verticalScrollBar(), &QScrollBar::valueChanged, viewport(), qOverload<>(&QWidget::update));
}

void HexGridCtrl::Message(const QString& text) {
    const QString caption = QApplication::applicationDisplayName();
    m_notifier.Message(text.toStdString(), caption.isEmpty() ? "提示" : caption.toStdString());
}

void HexGridCtrl::SetData(const uint8_t* bytes, size_t length) {
    m_data.clear();
    m_data.shrink_to_fit();
    if (bytes && length > 0) {
        try {
            m_data.assign(bytes, bytes + length);
        } catch (const std::bad_alloc&) {
            Message(QCoreApplication::translate("HexGridCtrl", "内存不足!"));
        }
    }
}

bool HexGridCtrl::Render() {
    if (m_data.empty()) return false;
    if (m_nRows <= 0 || m_nColumns <= 0 || int64_t{m_nRows} * m_nColumns != static_cast<int64_t>(m_data.size())) {
        Message(QCoreApplication::translate("HexGridCtrl", "请设好行列数!\n\n行数*列数==缓冲大小"));
        return false;
    }
    const QFontMetrics fm(m_font);
    const int h = fm.height(), a = fm.averageCharWidth(), d = fm.horizontalAdvance(QChar('0')) / 2;
    const int c = 4 * a, r = h * 12 / 10;
    const int64_t width = int64_t{c + a} * (m_nColumns + 1) + 70;
    const int64_t height = int64_t{r} * (m_nRows + 1) + 20;
    // A block typed in by the examiner may ask for a picture no memory holds.
    if (width > INT32_MAX || height > INT32_MAX || width * height > kMaxPictureBytes / 4) {
        Message(QCoreApplication::translate("HexGridCtrl", "创建内存位图失败!"));
        return false;
    }
    QImage picture(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    if (picture.isNull()) {
        Message(QCoreApplication::translate("HexGridCtrl", "创建内存位图失败!"));
        return false;
    }
    m_bValid = false;
    m_nCell = c;
    m_nRow = r;
    m_nHexPane = (m_nColumns + 1) * c + 20;
    picture.fill(m_backColor);
    QPainter p(&picture);
    p.setFont(m_font);
    p.setPen(m_textColor);
    const int top = r;  // the header row
    // Column numbers over the hexadecimal cells, each with a tick.
    for (int col = 0; col < m_nColumns; ++col) {
        const int x = (col + 1) * c;
        p.drawText(QRect(x, 0, c, r), Qt::AlignLeft | Qt::AlignVCenter, QString::asprintf("%02d", col));
        p.drawLine(x, r - 1, x + c - 4, r - 1);
        p.drawLine(x + c - 4, r - 1, x + c - 4, r - 6);
    }
    // The character pane: its own row numbers at P, the text after them.
    const int textLeft = m_nHexPane + 3 * a;
    QString header = QString::asprintf("00%02d", m_nColumns - 1);
    // "00-…-NN", one character a column (short rows keep the plain form).
    while (m_nColumns >= 5 && header.size() < m_nColumns) header.insert(2, QChar('-'));
    p.drawText(QRect(textLeft, 0, picture.width() - textLeft, r), Qt::AlignLeft | Qt::AlignVCenter, header);
    for (int t = 0; t < (m_nColumns + 2) / 2; ++t) {
        const int x = textLeft + t * 4 * d;
        p.drawLine(x, r - 1, x, r - 4);
    }
    // Row numbers down both panes, each with a tick, and the double line
    // between the panes.
    for (int row = 0; row < m_nRows; ++row) {
        const int y = top + row * r;
        const QString number = QString::asprintf("%02d", row);
        for (int x : {0, m_nHexPane}) {
            p.drawText(QRect(x, y, c, r), Qt::AlignLeft | Qt::AlignVCenter, number);
            p.drawLine(x + 2 * a + 1, y + r / 2, x + 2 * a + 4, y + r / 2);
        }
    }
    p.drawLine(m_nHexPane - 10, 0, m_nHexPane - 10, picture.height());
    p.drawLine(m_nHexPane - 4, 0, m_nHexPane - 4, picture.height());
    // Hexadecimal cells.
    for (int row = 0; row < m_nRows; ++row) {
        for (int col = 0; col < m_nColumns; ++col) {
            const uint8_t byte = m_data[size_t(row) * m_nColumns + col];
            p.drawText(QRect((col + 1) * c, top + row * r, c, r), Qt::AlignLeft | Qt::AlignVCenter,
                       QString::asprintf("%02X", byte));
        }
    }
    // The character pane: each row's bytes as GBK text, with 0, LF and CR
    // as spaces so that no row breaks.
    for (int row = 0; row < m_nRows; ++row) {
        std::string bytes(reinterpret_cast<const char*>(m_data.data()) + size_t(row) * m_nColumns, m_nColumns);
        for (char& ch : bytes)
            if (ch == 0 || ch == 10 || ch == 13) ch = ' ';
        const QString text = QString::fromStdString(GbkToUtf8(bytes));
        p.drawText(QRect(textLeft, top + row * r, picture.width() - textLeft, r), Qt::AlignLeft | Qt::AlignVCenter,
                   text);
    }
    p.end();
    m_picture = std::move(picture);
    m_bValid = true;
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    UpdateScrollRanges();
    viewport()->update();
    return true;
}

void HexGridCtrl::UpdateScrollRanges() {
    const QSize client = viewport()->size();
    const int w = m_bValid ? m_picture.width() : 0, h = m_bValid ? m_picture.height() : 0;
    horizontalScrollBar()->setRange(0, std::max(0, w - client.width()));
    verticalScrollBar()->setRange(0, std::max(0, h - client.height()));
    horizontalScrollBar()->setPageStep(std::max(1, client.width() - 2));
    verticalScrollBar()->setPageStep(std::max(1, client.height() - 2));
}

void HexGridCtrl::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollRanges();
    viewport()->update();
}

void HexGridCtrl::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    if (!m_bValid) {
        p.fillRect(viewport()->rect().adjusted(1, 1, -1, -1), QColor(230, 230, 240));
        return;
    }
    const QPoint origin(horizontalScrollBar()->value(), verticalScrollBar()->value());
    p.drawImage(QPoint(0, 0), m_picture, QRect(origin, viewport()->size()));
}

QPoint HexGridCtrl::PicturePoint(const QPoint& viewportPoint) const {
    return viewportPoint + QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void HexGridCtrl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_bValid) return QAbstractScrollArea::mousePressEvent(event);
    m_bDrawing = true;
    m_lastPoint = PicturePoint(event->position().toPoint());
}

void HexGridCtrl::mouseMoveEvent(QMouseEvent* event) {
    if (!m_bDrawing || !(event->buttons() & Qt::LeftButton)) return;
    const QPoint point = PicturePoint(event->position().toPoint());
    // The mark goes into the picture itself: it stays in a picture copy
    // until the next rendering.
    QPainter p(&m_picture);
    p.setPen(QPen(QColor(255, 0, 0), 2));
    p.drawLine(m_lastPoint, point);
    m_lastPoint = point;
    viewport()->update();
}

void HexGridCtrl::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_bDrawing) {
        m_bDrawing = false;
        viewport()->update();
    }
}

void HexGridCtrl::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(QCoreApplication::translate("HexGridCtrl", "磁盘浏览"), this);
    menu.setObjectName(QStringLiteral("diskBrowseMenu"));
    menu.addAction(QCoreApplication::translate("HexGridCtrl", "导出..."), this, [this] { Export(false); });
    menu.addAction(QCoreApplication::translate("HexGridCtrl", "导出...(加入文件尾)"), this, [this] { Export(true); });
    menu.addSeparator();
    menu.addAction(QCoreApplication::translate("HexGridCtrl", "拷贝"), this, &HexGridCtrl::CopyText);
    menu.addAction(QCoreApplication::translate("HexGridCtrl", "十六进制拷贝"), this, &HexGridCtrl::CopyHex);
    menu.addAction(QCoreApplication::translate("HexGridCtrl", "位图拷贝"), this, &HexGridCtrl::CopyPicture);
    menu.exec(event->globalPos());
}

void HexGridCtrl::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        CopyText();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void HexGridCtrl::CopyHex() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return Message(QCoreApplication::translate("HexGridCtrl", "打不开剪贴板!"));
    clipboard->setText(QString::fromLatin1(HexCopyText(m_data)));
}

void HexGridCtrl::CopyText() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return Message(QCoreApplication::translate("HexGridCtrl", "打不开剪贴板!"));
    clipboard->setText(QString::fromStdString(GbkToUtf8(PlainCopyBytes(m_data))));
}

void HexGridCtrl::CopyPicture() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return Message(QCoreApplication::translate("HexGridCtrl", "打不开剪贴板!"));
    if (m_bValid) clipboard->setImage(m_picture);
}

void HexGridCtrl::Export(bool append) {
    QFileDialog dialog(this, QCoreApplication::translate("HexGridCtrl", "导出"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // Appending to an existing file is the point, so it is not questioned.
    if (append) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    ExportTo(dialog.selectedFiles().front(), append);
}

bool HexGridCtrl::ExportTo(const QString& path, bool append) {
    QFile file(path);
    if (!file.open(append ? QIODevice::WriteOnly | QIODevice::Append : QIODevice::WriteOnly | QIODevice::Truncate)) {
        Message(QCoreApplication::translate("HexGridCtrl", "打不开文件!"));
        return false;
    }
    const qint64 written = file.write(reinterpret_cast<const char*>(m_data.data()), static_cast<qint64>(m_data.size()));
    if (written != static_cast<qint64>(m_data.size()) || !file.flush()) {
        Message(QCoreApplication::translate("HexGridCtrl", "写文件出错!"));
        return false;
    }
    return true;
}

}  // namespace delvora
