#pragma once
// A property grid: groups of rows, each a label and a value that is a check
// mark with its text, or a text that may be edited in place.
#include <QTreeWidget>

namespace delvora {

class PropertyGrid : public QTreeWidget {
    Q_OBJECT
public:
    explicit PropertyGrid(QWidget* parent = nullptr);

    QTreeWidgetItem* AddGroup(const QString& title);
    QTreeWidgetItem* AddCheck(QTreeWidgetItem* group, const QString& label, const QString& text, bool checked);
    QTreeWidgetItem* AddText(QTreeWidgetItem* group, const QString& label, const QString& value, bool editable);

    static bool Checked(const QTreeWidgetItem* row) { return row->checkState(1) == Qt::Checked; }
    static QString Text(const QTreeWidgetItem* row) { return row->text(1); }
    /// The row's value as a number; text that is not a number reads as 0.
    static uint64_t Number(const QTreeWidgetItem* row);
    /// The group with this title, or null.
    QTreeWidgetItem* Group(const QString& title) const;
};

}  // namespace delvora
