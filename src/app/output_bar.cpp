#include "app/output_bar.h"

#include <QFontDatabase>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QThread>
#include <QVBoxLayout>

#include "common/text_format.h"

namespace delvora {

OutputBar::OutputBar(QWidget* parent) : QWidget(parent), m_pEdit(new QPlainTextEdit(this)) {
    m_pEdit->setReadOnly(true);
    m_pEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_pEdit->setObjectName(QStringLiteral("outputText"));
    // Blanks align the line numbers only in a fixed-pitch font.
    m_pEdit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pEdit);
}

void OutputBar::AppendLog(const QString& text) {
    {
        std::lock_guard lock(m_mutex);
        m_pending.push_back({false, text});
    }
    if (QThread::currentThread() == thread()) {
        DrainPending();
        return;
    }
    QMetaObject::invokeMethod(this, "DrainPending", Qt::QueuedConnection);
}

void OutputBar::DrainPending() {
    std::deque<Pending> entries;
    {
        std::lock_guard lock(m_mutex);
        entries.swap(m_pending);
    }
    for (const Pending& entry : entries) {
        if (entry.bClear)
            ClearOnOwnThread();
        else
            AppendOnOwnThread(entry.text);
    }
}

void OutputBar::ClearLog() {
    {
        std::lock_guard lock(m_mutex);
        m_pending.push_back({true, QString()});
    }
    if (QThread::currentThread() == thread()) {
        DrainPending();
        return;
    }
    QMetaObject::invokeMethod(this, "DrainPending", Qt::QueuedConnection);
}

QString OutputBar::Text() const {
    const QString strBreak = QString::fromLatin1(kLogLineBreak.data(), static_cast<int>(kLogLineBreak.size()));
    return m_pEdit->toPlainText().replace(QLatin1Char('\n'), strBreak);
}

void OutputBar::AppendOnOwnThread(const QString& text) {
    ++m_nLineCount;
    QString strLine = QString::fromStdString(LogLinePrefix(m_nLineCount)) + text;
    // One paragraph per line; Text() gives them back joined by CR LF.
    m_pEdit->appendPlainText(strLine);
    m_pEdit->moveCursor(QTextCursor::End);
    m_pEdit->verticalScrollBar()->setValue(m_pEdit->verticalScrollBar()->maximum());
}

void OutputBar::ClearOnOwnThread() {
    m_nLineCount = 0;
    m_pEdit->clear();
}

}  // namespace delvora
