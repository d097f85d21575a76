#pragma once
// The web view: the current HTML file, copied to the scratch folder as
// "web.<ext>", shown by a text browser. Pages from an examined disk are
// untrusted: nothing in them runs, and no resource is fetched — neither
// from the network nor from this machine's files; links are not followed.
#include <QTextBrowser>

#include "views/delvora_view.h"

namespace delvora {

/// A browser that loads the page it is given and nothing else.
class SealedBrowser : public QTextBrowser {
    Q_OBJECT
public:
    explicit SealedBrowser(QWidget* parent = nullptr);
    /// Shows an HTML file; an empty path empties the browser.
    void ShowFile(const QString& path);
    /// Resources the page asked for (tests look at it).
    const QList<QUrl>& Refused() const { return m_refused; }
    QVariant loadResource(int type, const QUrl& name) override;

private:
    QList<QUrl> m_refused;
};

class WebView : public DelvoraView {
    Q_OBJECT
public:
    WebView(ViewSet& views, QString title, QWidget* parent = nullptr);
    void RefreshView() override;
    void CopySelection() override;
    SealedBrowser* Browser() const { return m_pBrowser; }

protected:
    bool CreateControls() override;

private:
    SealedBrowser* m_pBrowser = nullptr;
};

}  // namespace delvora
