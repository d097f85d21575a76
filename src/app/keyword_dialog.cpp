#include "app/keyword_dialog.h"

#include <QCoreApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "common/translation.h"
#include "ui/qt_text.h"
#include "common/reporting.h"
#include "search/keyword.h"
#include "search/keyword_search.h"
#include "search/search_terms.h"
#include "search/term_matcher.h"

namespace delvora {

KeywordDialog::KeywordDialog(Notifier& notifier, std::string codepage, QWidget* parent)
    : QDialog(parent),
      m_notifier(notifier),
      m_strCodepage(std::move(codepage)),
      m_pName(new QLineEdit(QCoreApplication::translate("KeywordDialog", "关键字"), this)),
      m_pText(new QLineEdit(this)),
      m_pPreview(new QPlainTextEdit(this)) {
    setObjectName(QStringLiteral("keywordDialog"));
    setWindowTitle(QCoreApplication::translate("KeywordDialog", "增加关键字"));
    m_pName->setObjectName(QStringLiteral("keywordName"));
    m_pText->setObjectName(QStringLiteral("keywordText"));
    m_pPreview->setObjectName(QStringLiteral("keywordPreview"));
    m_pPreview->setReadOnly(true);
    m_pPreview->setMaximumHeight(80);

    auto* pNameBox = new QGroupBox(QCoreApplication::translate("KeywordDialog", "名称"), this);
    (new QVBoxLayout(pNameBox))->addWidget(m_pName);
    auto* pTypeBox = new QGroupBox(QCoreApplication::translate("KeywordDialog", "类型"), this);
    auto* pTypeLayout = new QHBoxLayout(pTypeBox);
    const QString labels[kTypeCount] = {QStringLiteral("ASCII"), QStringLiteral("UNICODE"), QStringLiteral("HEX"),
                                        QCoreApplication::translate("KeywordDialog", "正则表达式")};
    for (uint32_t i = 0; i < kTypeCount; ++i) {
        m_pTypes[i] = new QRadioButton(labels[i], pTypeBox);
        pTypeLayout->addWidget(m_pTypes[i]);
        connect(m_pTypes[i], &QRadioButton::clicked, this, &KeywordDialog::UpdatePreview);
    }
    m_pTypes[0]->setChecked(true);
    m_pTypes[kKeywordRegex]->setObjectName(QStringLiteral("keywordRegex"));
    // The search options: letters in either case, and the encodings a text is
    // searched in at once (none checked: the type's own).
    auto* pOptionBox = new QGroupBox(QCoreApplication::translate("KeywordDialog", "查找方式"), this);
    auto* pOptionLayout = new QHBoxLayout(pOptionBox);
    m_pIgnoreCase = new QCheckBox(QCoreApplication::translate("KeywordDialog", "不区分大小写"), pOptionBox);
    m_pIgnoreCase->setObjectName(QStringLiteral("keywordIgnoreCase"));
    pOptionLayout->addWidget(m_pIgnoreCase);
    pOptionLayout->addSpacing(12);
    const char* const encodings[4] = {"GBK", "UTF-8", "UTF-16LE", "UTF-16BE"};
    const char* const names[4] = {"encodingGbk", "encodingUtf8", "encodingUtf16Le", "encodingUtf16Be"};
    for (int i = 0; i < 4; ++i) {
        m_pEncodings[i] = new QCheckBox(QString::fromLatin1(encodings[i]), pOptionBox);
        m_pEncodings[i]->setObjectName(QString::fromLatin1(names[i]));
        pOptionLayout->addWidget(m_pEncodings[i]);
        connect(m_pEncodings[i], &QCheckBox::toggled, this, &KeywordDialog::UpdatePreview);
    }
    connect(m_pIgnoreCase, &QCheckBox::toggled, this, &KeywordDialog::UpdatePreview);
    auto* pTextRow = new QHBoxLayout;
    pTextRow->addWidget(new QLabel(QCoreApplication::translate("KeywordDialog", "内容"), this));
    pTextRow->addWidget(m_pText, 1);
    connect(m_pText, &QLineEdit::textChanged, this, &KeywordDialog::UpdatePreview);
    auto* pPreviewBox = new QGroupBox(QCoreApplication::translate("KeywordDialog", "预览"), this);
    (new QVBoxLayout(pPreviewBox))->addWidget(m_pPreview);
    auto* pNote = new QLabel(QCoreApplication::translate("KeywordDialog", "ASCII为单字节编码\nUNICODE为双字节编码\n"
                                            "HEX为ASCII与十六进制混合, 十六进制以\\x开头, 后跟两个十六进制字符\n"
                                            "正则表达式按字节匹配, 每个匹配最长 1024 字节"),
                             this);
    auto* pButtons = new QDialogButtonBox(this);
    pButtons->addButton(QCoreApplication::translate("KeywordDialog", "确定"), QDialogButtonBox::AcceptRole);
    pButtons->addButton(QCoreApplication::translate("KeywordDialog", "取消"), QDialogButtonBox::RejectRole);
    connect(pButtons, &QDialogButtonBox::accepted, this, &KeywordDialog::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &KeywordDialog::reject);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(pNameBox);
    pLayout->addWidget(pTypeBox);
    pLayout->addWidget(pOptionBox);
    pLayout->addLayout(pTextRow);
    pLayout->addWidget(pPreviewBox);
    pLayout->addWidget(pNote);
    pLayout->addWidget(pButtons);
}

void KeywordDialog::SetKeyword(const QString& name, const QString& text, uint32_t number) {
    const KeywordSpec spec = KeywordOfItem(std::string(), number);
    m_pName->setText(name);
    TypeButton(spec.type)->setChecked(true);
    m_pIgnoreCase->setChecked(spec.ignoreCase);
    for (int i = 0; i < 4; ++i) m_pEncodings[i]->setChecked((spec.encodings >> i) & 1);
    m_pText->setText(text);
}

QCheckBox* KeywordDialog::EncodingBox(uint32_t bit) const {
    for (int i = 0; i < 4; ++i)
        if (bit == (1u << i)) return m_pEncodings[i];
    return nullptr;
}

uint32_t KeywordDialog::Number() const {
    uint32_t encodings = 0;
    for (int i = 0; i < 4; ++i)
        if (m_pEncodings[i]->isChecked()) encodings |= 1u << i;
    return KeywordItemNumber(Type(), m_pIgnoreCase->isChecked(), encodings);
}

QString KeywordDialog::Name() const { return m_pName->text(); }
QString KeywordDialog::Text() const { return m_pText->text(); }

uint32_t KeywordDialog::Type() const {
    for (uint32_t i = 0; i < kTypeCount; ++i)
        if (m_pTypes[i]->isChecked()) return i;
    return kKeywordAscii;
}

void KeywordDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    UpdatePreview();
}

namespace {

// Keeps the first message instead of showing it: the preview shows it.
class FirstMessage final : public Notifier {
public:
    std::string text;
    void Message(std::string_view message, std::string_view, MessageIcon) override {
        if (text.empty()) text = message;
    }
    bool Confirm(std::string_view, std::string_view) override { return false; }
};

// Whether an expression compiles with the options checked: "" when it does,
// else the engine's word on it with the place.
std::string RegexFault(const KeywordSpec& spec, const std::string& codepage) {
    FirstMessage recorder;
    std::vector<SearchTerm> terms;
    if (!ExpandKeywords({spec}, codepage, terms, recorder))
        return recorder.text.empty() ? std::string(Tr("KeywordDialog", "关键字格式不对!")) : recorder.text;
    TermMatcher matcher;
    std::string error;
    return matcher.Prepare(std::move(terms), error) ? std::string() : error;
}

}  // namespace

void KeywordDialog::UpdatePreview() {
    std::string strPreview;
    if (Type() == kKeywordRegex) {
        const std::string fault = RegexFault(KeywordOfItem(Text().toStdString(), Number()), m_strCodepage);
        strPreview = Text().isEmpty() ? std::string() : fault.empty() ? std::string(Tr("KeywordDialog", "正则表达式可以使用")) : fault;
    } else {
        FormatKeywordBytes(Text().toStdString(), Type(), m_strCodepage, strPreview, m_notifier);
    }
    m_pPreview->setPlainText(FromUtf8(strPreview));
}

void KeywordDialog::accept() {
    if (Name().isEmpty()) {
        m_notifier.Message(Tr("KeywordDialog", "关键字名称不能为空!"), "提示", MessageIcon::Error);
        return;
    }
    if (Text().isEmpty()) {
        m_notifier.Message(Tr("KeywordDialog", "关键字不能为空!"), "提示", MessageIcon::Error);
        return;
    }
    if (Type() == kKeywordRegex) {
        const std::string fault = RegexFault(KeywordOfItem(Text().toStdString(), Number()), m_strCodepage);
        if (!fault.empty()) {
            m_notifier.Message(fault, "提示", MessageIcon::Error);
            return;
        }
        QDialog::accept();
        return;
    }
    std::string strPreview;
    FormatKeywordBytes(Text().toStdString(), Type(), m_strCodepage, strPreview, m_notifier);
    if (strPreview.empty()) {
        m_notifier.Message(Tr("KeywordDialog", "关键字格式不对!"), "提示", MessageIcon::Error);
        return;
    }
    QDialog::accept();
}

}  // namespace delvora
