#pragma once
// The "哈希集" page of the options: the hash sets in the examiner's
// database, importing a new one from a file (known or notable) and removing
// one.
#include <QWidget>

#include <string>

class QComboBox;
class QLineEdit;
class QTreeWidget;

namespace delvora {

class HashSetPage : public QWidget {
    Q_OBJECT
public:
    /// dbPath: the database the page shows and changes.
    explicit HashSetPage(std::string dbPath, QWidget* parent = nullptr);

    /// Lists the sets anew.
    void Reload();
    /// Imports file as a set named by the name field, with the chosen
    /// status. Messages go to boxes unless quiet; answers success.
    bool ImportFile(const QString& file, bool quiet = false);
    /// Removes the set of the selected row.
    bool RemoveSelected(bool quiet = false);

    QTreeWidget* List() const { return m_pList; }
    QLineEdit* NameField() const { return m_pName; }
    QComboBox* StatusBox() const { return m_pStatus; }

private:
    void Tell(const QString& text, bool error, bool quiet);

    std::string m_strDbPath;
    QTreeWidget* m_pList;
    QLineEdit* m_pName;
    QComboBox* m_pStatus;
};

}  // namespace delvora
