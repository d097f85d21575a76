#include "app/case_file_dialog.h"

#include <QCoreApplication>
#include <QCheckBox>
#include <QGridLayout>

namespace delvora {

QString CaseFileDialog::CheckBoxText() { return QCoreApplication::translate("CaseFileDialog", "保存各个文件项 (若数据源不变 建议选中此项)"); }

CaseFileDialog::CaseFileDialog(Mode mode, QWidget* parent) : QFileDialog(parent) {
    setObjectName(QStringLiteral("caseFileDialog"));
    // The desktop's own dialog cannot take an extra control.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(mode == Mode::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    setFileMode(mode == Mode::Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    setOption(QFileDialog::DontConfirmOverwrite, false);
    setWindowTitle(mode == Mode::Save ? QCoreApplication::translate("CaseFileDialog", "另存为") : QCoreApplication::translate("CaseFileDialog", "打开"));

    m_pSaveItems = new QCheckBox(CheckBoxText(), this);
    m_pSaveItems->setObjectName(QStringLiteral("saveItemsBox"));
    m_pSaveItems->setChecked(true);
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        grid->addWidget(m_pSaveItems, grid->rowCount(), 0, 1, grid->columnCount());
        m_bPlaced = true;
    } else if (layout()) {
        layout()->addWidget(m_pSaveItems);
        m_bPlaced = true;
    }
}

bool CaseFileDialog::SaveItems() const { return m_pSaveItems->isChecked(); }

QString CaseFileDialog::ChosenFile() const {
    const QStringList files = selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

}  // namespace delvora
