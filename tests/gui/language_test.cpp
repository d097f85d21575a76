// The workstation in English: the main window's menus keep no Chinese text.
#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include "common/language.h"
#include "gui/gui_support.h"
#include "translation/qt_translation.h"

namespace delvora::test {
namespace {

bool HasChinese(const QString& text) {
    for (const QChar c : text)
        if ((c.unicode() >= 0x3000 && c.unicode() <= 0x9FFF) || (c.unicode() >= 0xFF00 && c.unicode() <= 0xFFEF))
            return true;
    return false;
}

// Every action text under the menu, submenus included; the walk ends because
// menus form a tree the frame built.
void CollectChinese(const QMenu& menu, const QString& path, QStringList& found) {
    for (QAction* action : menu.actions()) {
        const QString where = path + QStringLiteral(" > ") + action->text();
        if (HasChinese(action->text())) found << where;
        if (action->menu()) CollectChinese(*action->menu(), where, found);
    }
}

}  // namespace

class LanguageTest : public QObject {
    Q_OBJECT
private slots:
    void EnglishMenusHoldNoChinese() {
        QString error;
        const QString programFolder = QFileInfo(QStringLiteral(DELVORA_GUI_PATH)).absolutePath();
        QVERIFY2(UseLanguage(Language::kEnglish, programFolder, error), qPrintable(error));
        QStringList found;
        {
            Window window;
            for (QAction* menuAction : window.frame->menuBar()->actions()) {
                if (HasChinese(menuAction->text())) found << menuAction->text();
                if (menuAction->menu()) CollectChinese(*menuAction->menu(), menuAction->text(), found);
            }
            QVERIFY(window.frame->menuBar()->actions().size() > 4);
            QCOMPARE(window.frame->menuBar()->actions().first()->text(), QStringLiteral("&File"));
        }
        // The other tests check the Chinese texts.
        QVERIFY(UseLanguage(Language::kChinese, programFolder, error));
        QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
    }
};

DELVORA_GUI_TEST(LanguageTest);

}  // namespace delvora::test

#include "language_test.moc"
