#include "views/time_line_view.h"

#include <QCoreApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "fs/file_tree.h"
#include "fs/volume.h"
#include "views/time_line_widget.h"
#include "views/view_set.h"

namespace delvora {

TimeLineView::TimeLineView(ViewSet& views, QString title, QWidget* parent)
    : DelvoraView(views, std::move(title), parent) {
    setObjectName(QStringLiteral("timeLineView"));
}

bool TimeLineView::CreateControls() {
    auto* column = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QStringLiteral("timeEdit"));
    edit->setMaximumWidth(170);
    auto* query = new QPushButton(QCoreApplication::translate("TimeLineView", "时间查询"), this);
    auto* recurse = new QCheckBox(QCoreApplication::translate("TimeLineView", "包括子文件夹"), this);
    recurse->setObjectName(QStringLiteral("recurse"));
    bar->addWidget(edit);
    bar->addWidget(query);
    bar->addWidget(new QLabel(QCoreApplication::translate("TimeLineView", "时间格式: 2003-06-29 04:14:26"), this));
    bar->addStretch(1);
    m_pTimeLine = new TimeLineWidget(this);
    // The switches of the three time kinds, all on at first.
    const std::pair<const char*, bool TimeSwitches::*> kinds[] = {
        {QT_TRANSLATE_NOOP("TimeLineView", "创建时间"), &TimeSwitches::created},
        {QT_TRANSLATE_NOOP("TimeLineView", "修改时间"), &TimeSwitches::modified},
        {QT_TRANSLATE_NOOP("TimeLineView", "访问时间"), &TimeSwitches::accessed}};
    for (const auto& [label, field] : kinds) {
        auto* box = new QCheckBox(QCoreApplication::translate("TimeLineView", label), this);
        box->setChecked(true);
        bar->addWidget(box);
        connect(box, &QCheckBox::toggled, this, [this, field = field](bool on) {
            m_pTimeLine->Index().switches.*field = on;
            Show();
        });
    }
    bar->addWidget(recurse);
    column->addLayout(bar);
    column->addWidget(m_pTimeLine, 1);
    connect(query, &QPushButton::clicked, this, [this, edit] { m_pTimeLine->Query(edit->text()); });
    connect(edit, &QLineEdit::returnPressed, this, [this, edit] { m_pTimeLine->Query(edit->text()); });
    connect(m_pTimeLine, &TimeLineWidget::TimeText, edit, &QLineEdit::setText);
    // A file picked here becomes the current item; the views that keep a
    // skip flag (this one too) keep what they show.
    connect(m_pTimeLine, &TimeLineWidget::ItemChosen, this, [this](FileItem* item) {
        Volume* volume = m_views.VolumeOf(item);
        if (!volume || item == m_views.CurrentItem()) return;
        volume->Tree().MarkCurrent(item);
        m_views.SetSkipFlags();
        m_views.SetCurrentItem(item, volume);
    });
    connect(recurse, &QCheckBox::toggled, this, [this](bool on) {
        m_bRecurse = on;
        Show();
    });
    return true;
}

void TimeLineView::RefreshView() {
    m_pFolder = m_views.CurrentItem();
    Show();
}

void TimeLineView::Show() { m_pTimeLine->ShowItem(m_pFolder, m_bRecurse); }

}  // namespace delvora
