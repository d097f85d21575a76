#include "views/script_view.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/qt_notifier.h"
#include "case/case_workspace.h"
#include "case/data_item.h"
#include "disk/device_map.h"
#include "script/default_script.h"
#include "script/script_driver.h"
#include "script/script_run.h"
#include "views/script_highlighter.h"
#include "views/view_set.h"

namespace delvora {
namespace {

QFont EditorFont() {
    QFont font(QStringLiteral("Courier New"), 10);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    if (!QFontInfo(font).fixedPitch()) font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    return font;
}

}  // namespace

ScriptView::ScriptView(ViewSet& views, QString title, QWidget* parent)
    : DelvoraView(views, std::move(title), parent),
      m_context(views.Workspace().Context()),
      m_pDriver(std::make_unique<ScriptDriver>(m_context)),
      m_pRunner(std::make_unique<ScriptRunner>(*m_pDriver, m_context)) {
    setObjectName(QStringLiteral("scriptView"));
}

bool ScriptView::CreateControls() {
    m_pEditor = new QPlainTextEdit(this);
    m_pEditor->setObjectName(QStringLiteral("scriptEditor"));
    m_pEditor->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_pEditor->setFont(EditorFont());
    // Tab stops every 0.2 inch.
    m_pEditor->setTabStopDistance(0.2 * logicalDpiX());
    m_pHighlighter = new ScriptHighlighter(m_pEditor->document(), [this](const QString& text) {
        // Not from inside the colouring: the box would re-enter the editor.
        QTimer::singleShot(0, this, [this, text] { m_context.Notify().Message(text.toStdString()); });
    });
    m_pEditor->setPlainText(QString::fromUtf8(DefaultScriptText()));

    m_pRun = new QPushButton(QCoreApplication::translate("ScriptView", " 执行"), this);
    m_pRun->setObjectName(QStringLiteral("runButton"));
    m_pStop = new QPushButton(QCoreApplication::translate("ScriptView", " 停止"), this);
    m_pStop->setObjectName(QStringLiteral("stopButton"));
    m_pStop->setEnabled(false);
    connect(m_pRun, &QPushButton::clicked, this, &ScriptView::Run);
    connect(m_pStop, &QPushButton::clicked, this, &ScriptView::Stop);
    auto* pRunKey = new QShortcut(QKeySequence(Qt::Key_F5), this);
    connect(pRunKey, &QShortcut::activated, this, &ScriptView::Run);
    auto* pStopKey = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F5), this);
    connect(pStopKey, &QShortcut::activated, this, &ScriptView::Stop);

    auto* pGroup = new QGroupBox(QCoreApplication::translate("ScriptView", "结果"), this);
    m_pList = new QTreeWidget(pGroup);
    m_pList->setObjectName(QStringLiteral("resultList"));
    m_pList->setRootIsDecorated(false);
    m_pList->setUniformRowHeights(true);
    m_pList->setColumnCount(0);
    m_pList->header()->setDefaultSectionSize(100);
    auto* pGroupLayout = new QVBoxLayout(pGroup);
    pGroupLayout->addWidget(m_pList);

    m_pStatus = new QLabel(QCoreApplication::translate("ScriptView", "正常..."), this);
    m_pStatus->setObjectName(QStringLiteral("scriptStatus"));
    m_pStatus->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_pStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* pButtons = new QHBoxLayout;
    pButtons->addWidget(m_pRun);
    pButtons->addWidget(m_pStop);
    pButtons->addStretch();
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(m_pEditor, 3);
    pLayout->addLayout(pButtons);
    pLayout->addWidget(pGroup, 2);
    pLayout->addWidget(m_pStatus);

    // SetSize may come from the run's thread; the list is shown on this one.
    connect(m_pDriver.get(), &ScriptDriver::ListChanged, this, &ScriptView::ShowList, Qt::QueuedConnection);
    QPointer<QLabel> pStatus = m_pStatus;
    m_pRunner->SetStatusSink([pStatus](const std::string& text) {
        QMetaObject::invokeMethod(
            pStatus, [pStatus, status = QString::fromStdString(text)] {
                if (pStatus) pStatus->setText(status);
            },
            Qt::QueuedConnection);
    });
    return true;
}

ScriptView::~ScriptView() {
    if (!m_worker.joinable()) return;
    m_pRunner->Stop();
    // A box the run asks for could never open while this thread waits.
    UiWaitGuard guard(m_views.boxes);
    m_worker.join();
}

void ScriptView::Run() {
    // Before its controls exist the view has no text to run.
    if (!m_pEditor || m_worker.joinable()) return;
    m_pRun->setEnabled(false);
    m_pStop->setEnabled(true);
    setCursor(Qt::BusyCursor);
    const QString text = m_pEditor->toPlainText();
    // The case's own sources are evidence: the script's file methods never write them.
    for (const auto& item : m_views.Workspace().Items())
        if (item && item->source && item->source->IsLocal())
            m_pDriver->ProtectPath(DevicesOf(m_context).Resolve(item->source->Path()));
    m_pRunner->ResetStop();
    QPointer<ScriptView> self = this;
    m_worker = std::thread([this, self, text] {
        const bool bOk = m_pRunner->Run(text);
        QMetaObject::invokeMethod(
            self, [self, bOk] {
                if (self) self->OnRunEnded(bOk);
            },
            Qt::QueuedConnection);
    });
}

void ScriptView::Stop() {
    if (m_worker.joinable()) m_pRunner->Stop();
}

void ScriptView::OnRunEnded(bool ok) {
    if (m_worker.joinable()) m_worker.join();
    m_pRun->setEnabled(true);
    m_pStop->setEnabled(false);
    unsetCursor();
    ShowList();
    emit RunFinished(ok);
}

void ScriptView::ShowList() {
    const ResultList list = m_pDriver->Snapshot();
    QStringList titles;
    for (const auto& title : list.Columns()) titles << QString::fromStdString(title);
    m_pList->clear();
    m_pList->setColumnCount(std::max<int>(1, static_cast<int>(titles.size())));
    m_pList->setHeaderLabels(titles.isEmpty() ? QStringList{QString()} : titles);
    QList<QTreeWidgetItem*> items;
    for (const auto& row : list.Rows()) {
        auto* pItem = new QTreeWidgetItem;
        for (size_t c = 0; c < row.size() && c < static_cast<size_t>(m_pList->columnCount()); ++c)
            pItem->setText(static_cast<int>(c), QString::fromStdString(row[c]));
        items << pItem;
    }
    m_pList->addTopLevelItems(items);
}

}  // namespace delvora
