// The workstation in English: the main window's menus keep no Chinese text,
// and the case tree translates the names a new case gives its groups.
#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTreeWidget>

#include "app/browse_bar.h"
#include "case/case_item.h"
#include "case/case_workspace.h"
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

    // Result folders are named after their keyword: the new case's keyword
    // reads in English, a name the examiner typed stays as typed.
    void EnglishTreeTranslatesResultFolders() {
        QString error;
        const QString programFolder = QFileInfo(QStringLiteral(DELVORA_GUI_PATH)).absolutePath();
        QVERIFY2(UseLanguage(Language::kEnglish, programFolder, error), qPrintable(error));
        QStringList names;
        {
            Window window;
            CaseItem& searches = window.Workspace().Searches();
            for (const char* name : {"关键字1  的查找结果", "发票  的查找结果", "关键字1"})
                searches.AddChild(std::make_unique<CaseItem>(name, node_kinds::kSearchFolder));
            window.frame->Browse()->RebuildCaseTree();
            for (const auto& pFolder : searches.children)
                if (QTreeWidgetItem* pNode = window.frame->Browse()->FindNode(pFolder.get())) names << pNode->text(0);
        }
        QVERIFY(UseLanguage(Language::kChinese, programFolder, error));
        QCOMPARE(names, (QStringList{QStringLiteral("Keyword 1 (search results)"), QStringLiteral("发票 (search results)"),
                                     QStringLiteral("Keyword 1")}));
    }
};

DELVORA_GUI_TEST(LanguageTest);

}  // namespace delvora::test

#include "language_test.moc"
