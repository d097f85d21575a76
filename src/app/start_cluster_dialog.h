#pragma once
// "修改文件开始簇号": the examiner types another first cluster for one item,
// previews the bytes it would give and keeps it in the loaded tree (never
// on the disk). OK without "保存修改", and Cancel, restore the old cluster.
#include <QDialog>

#include <cstdint>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QTreeWidget;

namespace delvora {

class Notifier;
class Volume;
struct FileItem;

class StartClusterDialog : public QDialog {
    Q_OBJECT
public:
    StartClusterDialog(Volume& volume, FileItem& item, Notifier& notifier, QWidget* parent = nullptr);

    void done(int result) override;
    void Preview();

    QLineEdit* ClusterEdit() const { return m_pCluster; }
    QLineEdit* LowEdit() const { return m_pLow; }
    QLineEdit* HighEdit() const { return m_pHigh; }
    QCheckBox* KeepBox() const { return m_pKeep; }
    QTreeWidget* References() const { return m_pReferences; }
    QPlainTextEdit* PreviewPane() const { return m_pPreview; }

private:
    uint32_t Edited() const;

    Volume& m_volume;
    FileItem& m_item;
    Notifier& m_notifier;
    const uint32_t m_savedCluster;
    QLineEdit* m_pName;
    QLineEdit* m_pCluster;
    QLineEdit* m_pLow;
    QLineEdit* m_pHigh;
    QCheckBox* m_pKeep;
    QTreeWidget* m_pReferences;
    QPlainTextEdit* m_pPreview;
};

}  // namespace delvora
