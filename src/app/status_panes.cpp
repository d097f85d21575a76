#include "app/status_panes.h"

#include <QCoreApplication>
#include <QLabel>

#include "app/progress_pane.h"

namespace delvora {
namespace {

// Each indicator's start text ends in blanks that fix the cell's width, so
// that later counts fit without the bar jumping.
QLabel* MakeIndicator(const QString& text, const char* name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(text));
    return label;
}

}  // namespace

StatusPanes::StatusPanes(QWidget* parent)
    : QStatusBar(parent),
      m_pMessage(new QLabel(this)),
      m_pProgress(new ProgressPane(this)),
      m_pFound(MakeIndicator(QCoreApplication::translate("StatusPanes", "查找结果            "), "foundPane", this)),
      m_pNumber(MakeIndicator(QCoreApplication::translate("StatusPanes", "数字    "), "numberPane", this)),
      m_pCounts(MakeIndicator(QCoreApplication::translate("StatusPanes", "文件夹0,文件0                        "), "countsPane", this)) {
    setObjectName(QStringLiteral("statusPanes"));
    m_pMessage->setObjectName(QStringLiteral("messagePane"));
    m_pMessage->setText(QCoreApplication::translate("StatusPanes", "就绪"));
    addWidget(m_pMessage, 1);
    addPermanentWidget(m_pProgress);
    addPermanentWidget(m_pFound);
    addPermanentWidget(m_pNumber);
    addPermanentWidget(m_pCounts);
}

QWidget* StatusPanes::PaneWidget(int index) const {
    switch (index) {
        case kMessage: return m_pMessage;
        case kProgress: return m_pProgress;
        case kFound: return m_pFound;
        case kNumber: return m_pNumber;
        case kCounts: return m_pCounts;
        default: return nullptr;
    }
}

void StatusPanes::SetPaneText(int index, const QString& text) {
    if (index == kProgress) {
        m_pProgress->SetProgressText(text);
        return;
    }
    if (auto* label = qobject_cast<QLabel*>(PaneWidget(index))) label->setText(text);
}

QString StatusPanes::PaneText(int index) const {
    if (index == kProgress) return m_pProgress->Text();
    if (auto* label = qobject_cast<QLabel*>(PaneWidget(index))) return label->text();
    return {};
}

}  // namespace delvora
