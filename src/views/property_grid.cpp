#include "views/property_grid.h"

#include <QHeaderView>

namespace delvora {

PropertyGrid::PropertyGrid(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(2);
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setIndentation(8);
    setAlternatingRowColors(true);
    setColumnWidth(0, 150);
    header()->setStretchLastSection(true);
    // Only the value column of an editable row is edited.
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* row, int) {
        if (row->flags() & Qt::ItemIsEditable) editItem(row, 1);
    });
}

QTreeWidgetItem* PropertyGrid::AddGroup(const QString& title) {
    auto* group = new QTreeWidgetItem(this, {title});
    QFont bold = group->font(0);
    bold.setBold(true);
    group->setFont(0, bold);
    group->setFirstColumnSpanned(true);
    group->setFlags(Qt::ItemIsEnabled);
    group->setExpanded(true);
    return group;
}

QTreeWidgetItem* PropertyGrid::AddCheck(QTreeWidgetItem* group, const QString& label, const QString& text,
                                        bool checked) {
    auto* row = new QTreeWidgetItem(group, {label, text});
    row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    row->setCheckState(1, checked ? Qt::Checked : Qt::Unchecked);
    return row;
}

QTreeWidgetItem* PropertyGrid::AddText(QTreeWidgetItem* group, const QString& label, const QString& value,
                                       bool editable) {
    auto* row = new QTreeWidgetItem(group, {label, value});
    row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | (editable ? Qt::ItemIsEditable : Qt::NoItemFlags));
    if (!editable) row->setForeground(1, palette().color(QPalette::Disabled, QPalette::Text));
    return row;
}

uint64_t PropertyGrid::Number(const QTreeWidgetItem* row) {
    bool ok = false;
    const uint64_t value = row->text(1).trimmed().toULongLong(&ok);
    return ok ? value : 0;
}

QTreeWidgetItem* PropertyGrid::Group(const QString& title) const {
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->text(0) == title) return topLevelItem(i);
    return nullptr;
}

}  // namespace delvora
