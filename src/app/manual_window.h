#pragma once
// The user manual in a window of the workstation's own: a QTextBrowser over
// the installed HTML pages, so it works without a desktop browser and
// fetches nothing from the network.
#include <QWidget>

class QTextBrowser;

namespace delvora {

class ManualWindow : public QWidget {
    Q_OBJECT
public:
    /// Shows the page at indexPath (an HTML file; its pictures and the
    /// other pages are found relative to it).
    explicit ManualWindow(const QString& indexPath, QWidget* parent = nullptr);
    QTextBrowser* Browser() const { return m_pBrowser; }

protected:
    /// The browser's page area is sized by the layout after the window
    /// is, so pictures are fitted when that area changes size.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Shrinks pictures wider than the page to its width (the browser
    /// knows no max-width), keeping their proportions.
    void FitPictures();

    QTextBrowser* m_pBrowser;
};

}  // namespace delvora
