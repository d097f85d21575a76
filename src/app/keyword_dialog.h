#pragma once
// "增加关键字": the name, type and text of a keyword with a live preview of
// the bytes it stands for. Used to add a keyword and to modify one.
#include <QDialog>

#include <cstdint>
#include <string>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;

namespace delvora {

class Notifier;

class KeywordDialog : public QDialog {
    Q_OBJECT
public:
    /// codepage: the examiner's code page for ASCII and HEX bytes.
    KeywordDialog(Notifier& notifier, std::string codepage, QWidget* parent = nullptr);

    /// Fills the fields (a modified keyword); a new dialog holds "关键字",
    /// an empty text and ASCII. number: the keyword item's type with its
    /// search options (KeywordItemNumber).
    void SetKeyword(const QString& name, const QString& text, uint32_t number);
    QString Name() const;
    QString Text() const;
    uint32_t Type() const;
    /// The type with the options checked: what the keyword item keeps.
    uint32_t Number() const;
    QCheckBox* IgnoreCaseBox() const { return m_pIgnoreCase; }
    /// The check box of one encoding bit (kEncodingGbk ...).
    QCheckBox* EncodingBox(uint32_t bit) const;
    QLineEdit* NameEdit() const { return m_pName; }
    QLineEdit* TextEdit() const { return m_pText; }
    QPlainTextEdit* Preview() const { return m_pPreview; }
    QRadioButton* TypeButton(uint32_t type) const { return m_pTypes[type < kTypeCount ? type : 0]; }

    /// Checks the fields as OK does; closes with OK when they pass.
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void UpdatePreview();

    Notifier& m_notifier;
    std::string m_strCodepage;
    QLineEdit* m_pName;
    QLineEdit* m_pText;
    QPlainTextEdit* m_pPreview;
    static constexpr uint32_t kTypeCount = 4;
    QRadioButton* m_pTypes[kTypeCount];
    QCheckBox* m_pIgnoreCase;
    QCheckBox* m_pEncodings[4];
};

}  // namespace delvora
