#pragma once
// The file dialog for opening and saving case files: no filter, no default
// extension, and one check box whose state becomes the case file's
// "save each item" flag.
#include <QFileDialog>

class QCheckBox;

namespace delvora {

class CaseFileDialog : public QFileDialog {
    Q_OBJECT
public:
    enum class Mode { Open, Save };
    static QString CheckBoxText();

    CaseFileDialog(Mode mode, QWidget* parent = nullptr);

    /// The check box state (checked when the dialog opens).
    bool SaveItems() const;
    QCheckBox* SaveItemsBox() const { return m_pSaveItems; }
    /// False when the dialog had no room for the check box.
    bool HasSaveItemsBox() const { return m_bPlaced; }
    /// The chosen file, empty before OK.
    QString ChosenFile() const;

private:
    QCheckBox* m_pSaveItems = nullptr;
    bool m_bPlaced = false;
};

}  // namespace delvora
