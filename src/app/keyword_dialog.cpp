#include "app/keyword_dialog.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/qt_text.h"
#include "common/reporting.h"
#include "search/keyword.h"

namespace delvora {

KeywordDialog::KeywordDialog(Notifier& notifier, std::string codepage, QWidget* parent)
    : QDialog(parent),
      m_notifier(notifier),
      m_strCodepage(std::move(codepage)),
      m_pName(new QLineEdit(QStringLiteral("关键字"), this)),
      m_pText(new QLineEdit(this)),
      m_pPreview(new QPlainTextEdit(this)) {
    setObjectName(QStringLiteral("keywordDialog"));
    setWindowTitle(QStringLiteral("增加关键字"));
    m_pName->setObjectName(QStringLiteral("keywordName"));
    m_pText->setObjectName(QStringLiteral("keywordText"));
    m_pPreview->setObjectName(QStringLiteral("keywordPreview"));
    m_pPreview->setReadOnly(true);
    m_pPreview->setMaximumHeight(80);

    auto* pNameBox = new QGroupBox(QStringLiteral("名称"), this);
    (new QVBoxLayout(pNameBox))->addWidget(m_pName);
    auto* pTypeBox = new QGroupBox(QStringLiteral("类型"), this);
    auto* pTypeLayout = new QHBoxLayout(pTypeBox);
    const char* const labels[3] = {"ASCII", "UNICODE", "HEX"};
    for (int i = 0; i < 3; ++i) {
        m_pTypes[i] = new QRadioButton(QString::fromLatin1(labels[i]), pTypeBox);
        pTypeLayout->addWidget(m_pTypes[i]);
        connect(m_pTypes[i], &QRadioButton::clicked, this, &KeywordDialog::UpdatePreview);
    }
    m_pTypes[0]->setChecked(true);
    auto* pTextRow = new QHBoxLayout;
    pTextRow->addWidget(new QLabel(QStringLiteral("内容"), this));
    pTextRow->addWidget(m_pText, 1);
    connect(m_pText, &QLineEdit::textChanged, this, &KeywordDialog::UpdatePreview);
    auto* pPreviewBox = new QGroupBox(QStringLiteral("预览"), this);
    (new QVBoxLayout(pPreviewBox))->addWidget(m_pPreview);
    auto* pNote = new QLabel(QStringLiteral("ASCII为单字节编码\nUNICODE为双字节编码\n"
                                            "HEX为ASCII与十六进制混合, 十六进制以\\x开头, 后跟两个十六进制字符"),
                             this);
    auto* pButtons = new QDialogButtonBox(this);
    pButtons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    pButtons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    connect(pButtons, &QDialogButtonBox::accepted, this, &KeywordDialog::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &KeywordDialog::reject);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(pNameBox);
    pLayout->addWidget(pTypeBox);
    pLayout->addLayout(pTextRow);
    pLayout->addWidget(pPreviewBox);
    pLayout->addWidget(pNote);
    pLayout->addWidget(pButtons);
}

void KeywordDialog::SetKeyword(const QString& name, const QString& text, uint32_t type) {
    m_pName->setText(name);
    TypeButton(type)->setChecked(true);
    m_pText->setText(text);
}

QString KeywordDialog::Name() const { return m_pName->text(); }
QString KeywordDialog::Text() const { return m_pText->text(); }

uint32_t KeywordDialog::Type() const {
    for (uint32_t i = 0; i < 3; ++i)
        if (m_pTypes[i]->isChecked()) return i;
    return kKeywordAscii;
}

void KeywordDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    UpdatePreview();
}

void KeywordDialog::UpdatePreview() {
    std::string strPreview;
    FormatKeywordBytes(Text().toStdString(), Type(), m_strCodepage, strPreview, m_notifier);
    m_pPreview->setPlainText(FromUtf8(strPreview));
}

void KeywordDialog::accept() {
    if (Name().isEmpty()) {
        m_notifier.Message("关键字名称不能为空!", "提示", MessageIcon::Error);
        return;
    }
    if (Text().isEmpty()) {
        m_notifier.Message("关键字不能为空!", "提示", MessageIcon::Error);
        return;
    }
    std::string strPreview;
    FormatKeywordBytes(Text().toStdString(), Type(), m_strCodepage, strPreview, m_notifier);
    if (strPreview.empty()) {
        m_notifier.Message("关键字格式不对!", "提示", MessageIcon::Error);
        return;
    }
    QDialog::accept();
}

}  // namespace delvora
