// The text, hexadecimal, picture and web views over a volume whose files
// live in memory: a 1 GiB file shown without reading it whole, GBK text,
// the two copies, independent views, a folder emptying them, a picture
// decoded, and a page whose remote picture is never fetched.
#include <QApplication>
#include <QClipboard>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTest>

#include <cstring>
#include <map>
#include <string>

#include "case/case_workspace.h"
#include "common/text_format.h"
#include "gui/gui_support.h"
#include "recovery/item_pages.h"
#include "support/stub_volume.h"
#include "views/data_views.h"
#include "views/picture_views.h"
#include "views/view_printing.h"
#include "views/view_set.h"
#include "views/web_view.h"

namespace delvora::test {
namespace {

constexpr uint64_t kGiB = uint64_t{1} << 30;

/// Files in memory below one folder; the huge file's bytes are made from
/// their offsets, and every byte read is counted.
class MemoryFilesVolume : public StubVolume {
public:
    MemoryFilesVolume() {
        folder.flags = item_flags::kDirectory;
        folder.name = "folder";
        const char* names[] = {"huge.bin", "gbk.txt", "page.html", "bands.png"};
        for (size_t i = 0; i < files.size(); ++i) {
            files[i].name = names[i];
            files[i].parent = &folder;
        }
        folder.children = files.data();
        folder.childCount = static_cast<uint32_t>(files.size());
        files[0].size = kGiB;
        SetDescription("内存卷");
    }
    void SetData(size_t file, std::string bytes) {
        files[file].size = bytes.size();
        data[&files[file]] = std::move(bytes);
    }
    static uint8_t HugeByte(uint64_t offset) { return static_cast<uint8_t>(offset % 251); }

    bool GetItemRuns(FileItem*, ClusterRunList&) override { return true; }
    bool ReadItemRange(FileItem* item, uint8_t* dest, uint64_t offset, uint32_t count, const ClusterRunList*) override {
        if (offset + count > item->size) return false;
        bytesRead += count;
        if (item == &files[0]) {
            for (uint32_t i = 0; i < count; ++i) dest[i] = HugeByte(offset + i);
        } else {
            std::memcpy(dest, data[item].data() + offset, count);
        }
        return true;
    }

    FileItem folder;
    std::array<FileItem, 4> files{};
    std::map<FileItem*, std::string> data;
    uint64_t bytesRead = 0;
};

struct Views {
    RecordingContext recording;
    CaseWorkspace workspace{recording.context};
    QMdiArea area;
    ViewSet views{area, workspace};
    MemoryFilesVolume volume;
    Views() {
        area.resize(1000, 700);
        area.show();
    }
};

}  // namespace

class DataViewsTest : public QObject {
    Q_OBJECT
private slots:
    void HugeFileShowsAtOnceAndCopiesItsSelection() {
        Views set;
        auto* hex = static_cast<DataView*>(set.views.OpenView(ViewKind::kHex));
        hex->resize(800, 400);
        set.views.SetCurrentItem(&set.volume.files[0], &set.volume);
        PagedDataCtrl& control = *hex->Control();
        QCOMPARE(control.Size(), kGiB);
        QVERIFY(control.VisibleRows().size() > 5);
        QVERIFY(control.VisibleRows().front().startsWith(QStringLiteral("0000000000  00 01 02 03")));
        QVERIFY(set.volume.bytesRead <= 2 * ItemPages::kPageBytes);

        // The end is reached by reading the end only.
        const uint64_t before = set.volume.bytesRead;
        control.ScrollTo(kGiB - 16);
        QVERIFY(set.volume.bytesRead - before <= 2 * ItemPages::kPageBytes);
        const uint64_t lastRow = kGiB - 16;
        QVERIFY(control.VisibleRows().back().startsWith(QStringLiteral("%1").arg(lastRow, 10, 16, QLatin1Char('0')).toUpper()));

        // A selection across a page boundary copies its bytes as hex and text.
        const uint64_t first = ItemPages::kPageBytes - 8;
        control.Select(first, first + 20);
        std::vector<uint8_t> expected;
        for (uint64_t i = first; i < first + 20; ++i) expected.push_back(MemoryFilesVolume::HugeByte(i));
        hex->HexCopySelection();
        QCOMPARE(QApplication::clipboard()->text(), QString::fromLatin1(HexCopyText(expected)));
        hex->CopySelection();
        QCOMPARE(QApplication::clipboard()->text(), QString::fromLatin1(PlainCopyBytes(expected)));
    }

    void TextViewsFollowTheCurrentItemEachOnItsOwn() {
        Views set;
        // "中文" and "数据" in GBK, on two lines.
        set.volume.SetData(1, "\xD6\xD0\xCE\xC4\r\n\xCA\xFD\xBE\xDD\n");
        auto* first = static_cast<DataView*>(set.views.OpenView(ViewKind::kText));
        auto* second = static_cast<DataView*>(set.views.OpenView(ViewKind::kText));
        first->resize(400, 300);
        second->resize(400, 300);
        set.views.SetCurrentItem(&set.volume.files[1], &set.volume);
        for (DataView* view : {first, second})
            QCOMPARE(view->Control()->VisibleRows(), (QStringList{QStringLiteral("中文"), QStringLiteral("数据")}));
        first->Control()->Select(0, 6);
        first->CopySelection();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("中文\r\n"));
        QVERIFY(second->Control()->SelectionText().contains(QStringLiteral("数据")));

        delete first;
        set.views.SetCurrentItem(&set.volume.folder, &set.volume);
        QVERIFY(second->Control()->VisibleRows().isEmpty());
        QCOMPARE(set.views.Views().size(), size_t(1));
    }

    // Each file shown in the encoding its first bytes tell, GBK otherwise;
    // the copy gives the text the rows show, and long lines and scrolled
    // rows never split a character.
    void TextViewDecodesEachFileAsItsFirstBytesSay() {
        Views set;
        auto* text = static_cast<DataView*>(set.views.OpenView(ViewKind::kText));
        text->resize(600, 400);
        PagedDataCtrl& control = *text->Control();
        std::string longLine;
        for (int i = 0; i < 200; ++i) longLine += "\xE4\xB8\xAD";  // 中
        const struct {
            std::string bytes;
            TextEncoding encoding;
            QStringList rows;
            QString copied;
        } cases[] = {
            {"\xE4\xB8\xAD\xE6\x96\x87\r\n\xE6\x95\xB0\xE6\x8D\xAE\n", TextEncoding::kUtf8, {"中文", "数据"}, "中文\r\n数据\n"},
            {"\xEF\xBB\xBF" "abc\n", TextEncoding::kUtf8, {"abc"}, "abc\n"},
            {std::string("\xFF\xFE\x2D\x4E\t\0\x87\x65\n\0\x41\0", 12), TextEncoding::kUtf16Le, {"中 文", "A"}, "中\t文\nA"},
            {"\xD6\xD0\xCE\xC4\n", TextEncoding::kGbk, {"中文"}, "中文\n"},
            {longLine, TextEncoding::kUtf8, {QString(85, u'中'), QString(85, u'中'), QString(30, u'中')}, QString(200, u'中')},
        };
        for (const auto& c : cases) {
            set.volume.SetData(1, c.bytes);
            set.views.SetCurrentItem(&set.volume.files[1], &set.volume);
            QCOMPARE(control.Encoding(), c.encoding);
            QCOMPARE(control.VisibleRows(), c.rows);
            control.Select(0, control.Size());
            text->CopySelection();
            QCOMPARE(QApplication::clipboard()->text(), c.copied);
            set.views.SetCurrentItem(nullptr, nullptr);
        }
        // Scrolled into a long line, the rows keep the places they have from
        // the line's start, whole characters each (GBK too).
        std::string gbkLine = "a", utf8Line;
        for (int i = 0; i < 3000; ++i) {
            gbkLine += "\xD6\xD0";  // 中
            utf8Line += "\xE4\xB8\xAD";
        }
        for (const auto& [bytes, row] : {std::pair{gbkLine, QString(128, u'中')}, std::pair{utf8Line, QString(85, u'中')}}) {
            set.volume.SetData(1, bytes);
            set.views.SetCurrentItem(&set.volume.files[1], &set.volume);
            control.ScrollTo(320);
            QCOMPARE(control.VisibleRows().mid(0, 2), (QStringList{row, row}));
        }

        // A long line printed whole: each byte once, however many blocks it takes.
        set.volume.SetData(1, "\n" + std::string(700000, 'x'));
        set.views.SetCurrentItem(&set.volume.files[1], &set.volume);
        QCOMPARE(text->PrintRows(kMaxPrintRows).join(QString()).size(), 700000);
        set.volume.SetData(1, utf8Line);
        set.views.SetCurrentItem(&set.volume.files[1], &set.volume);

        // The edit menu's copy reaches the active view.
        QMenu edit;
        set.views.AddCopyActions(edit);
        set.area.setActiveSubWindow(qobject_cast<QMdiSubWindow*>(text->parentWidget()));
        control.Select(3, 9);
        edit.actions().front()->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("中中"));
    }

    void PicturesDecodeAndPagesFetchNothing() {
        Views set;
        set.volume.SetData(2, "<html><body><p>页面</p><img src=\"http://example.invalid/remote.png\"></body></html>");
        const QByteArray png = QByteArray::fromBase64(
            "iVBORw0KGgoAAAANSUhEUgAAAEAAAAAwCAMAAACWlYwtAAAADFBMVEXmPDw8oOb60jxQvlqgQymnAAAAOElEQVR42u3QIQ4AMAzDwGz9/58HxsxKI5v3IjVBB100KAICJYBPExD4bQ84KCDQAmwPOCggUAI8wpMSAV/nk3kAAAAASUVORK5CYII=");
        set.volume.SetData(3, png.toStdString());
        auto* picture = static_cast<PictureView*>(set.views.OpenView(ViewKind::kPicture));
        auto* web = static_cast<WebView*>(set.views.OpenView(ViewKind::kWeb));
        set.views.SetCurrentItem(&set.volume.files[3], &set.volume);
        QCOMPARE(picture->Control()->Picture().size(), QSize(64, 48));
        // Fitted to the pane whichever way that scales, proportions kept, centred.
        for (const auto& [pane, target] : {std::pair{QSize(400, 400), QRect(0, 50, 400, 300)},
                                           std::pair{QSize(32, 100), QRect(0, 38, 32, 24)}}) {
            picture->Control()->resize(pane);
            QCOMPARE(picture->Control()->Target(), target);
        }
        QVERIFY(web->Browser()->toPlainText().isEmpty());

        set.views.SetCurrentItem(&set.volume.files[2], &set.volume);
        QVERIFY(picture->Control()->Picture().isNull());
        QVERIFY(web->Browser()->toPlainText().contains(QStringLiteral("页面")));
        web->Browser()->grab();  // laid out and drawn: the picture was asked for
        QVERIFY(web->Browser()->Refused().contains(QUrl(QStringLiteral("http://example.invalid/remote.png"))));
        QVERIFY(set.recording.notifier.Texts().empty());
    }

    void PrintsAReportUnderItsHeader() {
        Views set;
        std::string lines = "line one\nline two\n";
        for (int i = 0; i < 300; ++i) lines += "more\n";
        set.volume.SetData(1, lines);
        auto* text = static_cast<DataView*>(set.views.OpenView(ViewKind::kText));
        set.views.SetCurrentItem(&set.volume.files[1], &set.volume);
        QCOMPARE(text->PrintRows(2), (QStringList{QStringLiteral("line one"), QStringLiteral("line two")}));
        QCOMPARE(ReportHeader::Of(set.views).itemPath, QStringLiteral("\\gbk.txt"));
        // More rows than a page holds: the report goes on over pages.
        TempDir dir;
        const std::string pdf = dir.File("report.pdf");
        QVERIFY(PrintViewToPdf(set.views, *text, QString::fromStdString(pdf)));
        const auto bytes = ReadFileBytes(pdf);
        QVERIFY(bytes.size() > 4 && std::string(bytes.begin(), bytes.begin() + 4) == "%PDF");
        if (!HaveTool("pdftotext")) QSKIP("pdftotext missing: the report's text is not checked");
        std::string output;
        QCOMPARE(RunShell("pdftotext '" + pdf + "' -", &output), 0);
        // The header of every page, as the report printed it, then the rows.
        const QString printed = QString::fromStdString(output);
        const ReportHeader header = ReportHeader::Of(set.views);
        QCOMPARE(header.volume, QStringLiteral("内存卷"));
        for (const QString& line : header.Lines().mid(0, 3))
            QVERIFY2(printed.contains(line.trimmed()), qPrintable(line));
        QVERIFY(printed.contains(QStringLiteral("日期: ") + header.date.left(10)));
        for (const char* page : {"第 1 页", "第 2 页"}) QVERIFY(printed.contains(QString::fromUtf8(page)));
        QVERIFY(printed.contains(QStringLiteral("line one\nline two")));
    }
};

DELVORA_GUI_TEST(DataViewsTest);

}  // namespace delvora::test

#include "data_views_test.moc"
