// The user manual: which language folder a locale picks, that the pages of
// both languages hold together (every picture and link resolves), and that
// "帮助" shows them in one window of the workstation's own.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>

#include "app/app_paths.h"
#include "app/main_frame.h"
#include "app/manual_window.h"
#include "gui/gui_support.h"

namespace delvora::test {

class ManualTest : public QObject {
    Q_OBJECT
private slots:
    void LanguageFollowsTheLocale() {
        const struct {
            const char* code;
            const char* folder;
        } cases[] = {{"en", "en"},       {"en_US", "en"}, {"en-GB", "en"}, {"EN_us.UTF-8", "en"},
                     {"en_US.UTF-8", "en"}, {"zh_CN", "zh"}, {"zh", "zh"},   {"C", "zh"},
                     {"POSIX", "zh"},    {"", "zh"},      {"de_DE", "zh"}, {"eng", "zh"}};
        for (const auto& c : cases)
            QCOMPARE(ManualLanguage(QString::fromLatin1(c.code)), QString::fromLatin1(c.folder));
    }

    void InstalledManualComesFirst() {
        QTemporaryDir prefix;
        QVERIFY(QDir().mkpath(prefix.filePath(QStringLiteral("bin"))));
        const QString strInstalled = prefix.filePath(QStringLiteral("share/doc/delvora/manual/en"));
        QVERIFY(QDir().mkpath(strInstalled));
        QFile page(strInstalled + QStringLiteral("/index.html"));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.close();
        const QStringList folders = ManualFolders(prefix.filePath(QStringLiteral("bin/")));
        QCOMPARE(FindManual(QStringLiteral("en"), folders), QFileInfo(page).absoluteFilePath());
        // No Chinese pages installed: the source tree's are next in line.
        QVERIFY(FindManual(QStringLiteral("zh"), folders).endsWith(QStringLiteral("docs/manual/zh/index.html")));
        QVERIFY(FindManual(QStringLiteral("fr"), folders).isEmpty());
    }

    // Pictures are the tour's, kept outside the manual's folder: a renamed
    // picture or a mistyped anchor shows up here, not in front of a user.
    void EveryPictureAndLinkResolves() {
        for (const QString& strLanguage : {QStringLiteral("en"), QStringLiteral("zh")}) {
            const QString strIndex = FindManual(strLanguage, ManualFolders());
            QVERIFY2(!strIndex.isEmpty(), qPrintable(strLanguage));
            const QDir folder = QFileInfo(strIndex).dir();
            for (const QString& strPage : folder.entryList({QStringLiteral("*.html")})) {
                QFile file(folder.filePath(strPage));
                QVERIFY(file.open(QIODevice::ReadOnly));
                const QString strHtml = QString::fromUtf8(file.readAll());
                QSet<QString> ids;
                for (const auto& m : QRegularExpression(QStringLiteral("\\b(?:id|name)=\"([^\"]+)\"")).globalMatch(strHtml))
                    ids.insert(m.captured(1));
                int nPictures = 0;
                for (const auto& m : QRegularExpression(QStringLiteral("\\b(src|href)=\"([^\"]+)\"")).globalMatch(strHtml)) {
                    const QString strTarget = m.captured(2);
                    const QString strWhere = strLanguage + QLatin1Char('/') + strPage + QStringLiteral(": ") + strTarget;
                    QVERIFY2(!strTarget.contains(QStringLiteral("://")), qPrintable(strWhere));
                    const qsizetype hash = strTarget.indexOf(QLatin1Char('#'));
                    const QString strFile = strTarget.left(hash < 0 ? strTarget.size() : hash);
                    if (!strFile.isEmpty()) QVERIFY2(QFileInfo::exists(folder.filePath(strFile)), qPrintable(strWhere));
                    if (hash >= 0 && strFile.isEmpty()) QVERIFY2(ids.contains(strTarget.mid(hash + 1)), qPrintable(strWhere));
                    if (m.captured(1) == QLatin1String("src")) ++nPictures;
                }
                if (strPage == QLatin1String("index.html")) QVERIFY2(nPictures >= 8, qPrintable(strLanguage));
            }
        }
    }

    void HelpShowsTheManualInOneWindow() {
        Window window;
        window.frame->SetManualFolders(ManualFolders());
        window.frame->Help();
        QVERIFY(window.notifier.Messages().empty());
        ManualWindow* pManual = window.frame->Manual();
        QVERIFY(pManual && pManual->isVisible());
        const QString strText = pManual->Browser()->document()->toPlainText();
        QVERIFY(strText.size() > 2000);
        QCOMPARE(pManual->windowTitle(), pManual->Browser()->documentTitle());
        // Every picture fits the page, also after the window narrows.
        for (const int nWidth : {960, 500}) {
            pManual->resize(nWidth, 600);
            QCoreApplication::processEvents();
            const int nRoom = pManual->Browser()->viewport()->width();
            int nPictures = 0;
            for (QTextBlock block = pManual->Browser()->document()->begin(); block.isValid(); block = block.next())
                for (auto it = block.begin(); !it.atEnd(); ++it)
                    if (it.fragment().charFormat().isImageFormat()) {
                        ++nPictures;
                        const QTextImageFormat picture = it.fragment().charFormat().toImageFormat();
                        QVERIFY2(picture.width() > 0 && picture.width() < nRoom, qPrintable(picture.name()));
                    }
            QVERIFY(nPictures >= 8);
        }
        window.frame->Help();
        QCOMPARE(window.frame->Manual(), pManual);
        pManual->close();
        QTRY_VERIFY(!window.frame->Manual());
    }

    void HelpFallsBackToTheOtherLanguage() {
        // Only one language installed, whichever the locale asks for.
        for (const QString& strOnly : {QStringLiteral("en"), QStringLiteral("zh")}) {
            QTemporaryDir folder;
            QVERIFY(QDir().mkpath(folder.filePath(strOnly)));
            QFile page(folder.filePath(strOnly + QStringLiteral("/index.html")));
            QVERIFY(page.open(QIODevice::WriteOnly));
            page.write("<html><head><title>only</title></head><body>only</body></html>");
            page.close();
            Window window;
            window.frame->SetManualFolders({folder.path()});
            window.frame->Help();
            QVERIFY(window.notifier.Messages().empty());
            QVERIFY(window.frame->Manual());
            QCOMPARE(window.frame->Manual()->windowTitle(), QStringLiteral("only"));
            window.frame->Manual()->close();
        }
    }
};

DELVORA_GUI_TEST(ManualTest);

}  // namespace delvora::test

#include "manual_test.moc"
