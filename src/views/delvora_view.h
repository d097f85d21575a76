#pragma once
// The common base of the document views: the operations the window routes to
// a view (layout, refresh, the auxiliary and run commands, copying), its
// title, its registration with the view set, and the one-shot skip flag.
#include <QStringList>
#include <QWidget>

namespace delvora {

class ViewSet;

class DelvoraView : public QWidget {
    Q_OBJECT
public:
    /// Registers with views; the title is set once the controls exist.
    DelvoraView(ViewSet& views, QString title, QWidget* parent = nullptr);
    ~DelvoraView() override;

    const QString& Title() const { return m_strTitle; }

    /// Builds the controls (once) and shows the current item. A control that
    /// cannot be made is reported with its message and the view stays empty.
    void Initialise();

    /// Lays out the controls after a size change.
    virtual void LayoutView() {}
    /// Shows the view set's current item again (command 101).
    virtual void RefreshView() {}
    /// Commands 118 and 114.
    virtual void AuxiliaryCommand() {}
    virtual void RunView() {}
    /// The rows a printed report of the view holds, at most maxRows.
    virtual QStringList PrintRows(int maxRows) {
        (void)maxRows;
        return {};
    }
    /// "拷贝(&C)" and "十六进制拷贝(&T)".
    virtual void CopySelection() {}
    virtual void HexCopySelection() {}

    /// Views that keep a one-shot skip flag (file list, picture list, time
    /// line) answer true.
    virtual bool HasSkipFlag() const { return false; }
    void SetSkipFlag() { m_bSkip = HasSkipFlag(); }
    /// A refresh as the view set delivers it: with the skip flag set it only
    /// clears the flag.
    void DeliverRefresh();

protected:
    /// Makes the view's controls; false when one could not be made.
    virtual bool CreateControls() { return true; }
    /// Tells the user that a control could not be made ("创建Text控件失败!").
    void ReportCreateFailure(const char* text);
    void resizeEvent(QResizeEvent* event) override;

    ViewSet& m_views;

private:
    QString m_strTitle;
    bool m_bCreated = false;
    bool m_bSkip = false;
};

}  // namespace delvora
