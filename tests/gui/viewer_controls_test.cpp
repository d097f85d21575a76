// The sector viewer, its form, the disk map and the time line, offscreen:
// the viewer's refusals and copies, pixel probes of each rendering, clicks
// that choose a sector or a file, and the time line's menu at its limits.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <fstream>

#include "draw/disk_map_painter.h"
#include "fs/file_tree.h"
#include "gui/gui_support.h"
#include "support/stub_volume.h"
#include "views/disk_browse_form.h"
#include "views/disk_map_widget.h"
#include "views/hex_grid_ctrl.h"
#include "views/time_line_widget.h"

namespace delvora::test {
namespace {

/// Regions 0-9 boot area, 10-29 FAT1, the rest allocated; every file is
/// clusters 40-44 and 60.
class MapVolume : public StubVolume {
public:
    bool ListRegions(std::vector<DiskRegion>& regions) override {
        regions = {{0, 9, 1}, {10, 29, 2}, {0, 999, 7}};
        return true;
    }
    bool GetItemRuns(FileItem*, ClusterRunList& runs) override {
        runs.Add(40, 5);
        runs.Add(60, 1);
        return true;
    }
    bool ConvertRunsToSectors(FileItem*, const ClusterRunList& source, ClusterRunList& sectors) override {
        for (const ClusterRun& run : source) sectors.Add(run.first, run.count);
        return true;
    }
};

QImage Grab(QWidget& widget) { return widget.grab().toImage(); }

uint16_t Date(int y, int m, int d) { return static_cast<uint16_t>((y - 1980) << 9 | m << 5 | d); }

}  // namespace

class ViewerControlsTest : public QObject {
    Q_OBJECT
private slots:
    void ViewerRendersRefusesAndCopies() {
        RecordingNotifier notifier;
        HexGridCtrl viewer(notifier);
        viewer.resize(400, 300);
        viewer.show();
        // Nothing rendered: the grey area inside a one-pixel margin.
        QCOMPARE(Grab(*viewer.viewport()).pixelColor(5, 5), QColor(230, 230, 240));

        std::vector<uint8_t> block(512);
        for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i);
        viewer.SetData(block.data(), block.size());
        viewer.SetRows(32);
        viewer.SetColumns(32);
        QVERIFY(!viewer.Render());
        QCOMPARE(notifier.Texts().back(), std::string("请设好行列数!\n\n行数*列数==缓冲大小"));
        viewer.SetRows(16);
        QVERIFY(viewer.Render());
        // Blue ground, yellow (antialiased) text in the first hexadecimal cell.
        const QImage& picture = viewer.Picture();
        QCOMPARE(picture.pixelColor(2, picture.height() - 2), QColor(0, 0, 255));
        bool yellow = false;
        for (int x = viewer.CellWidth(); x < 2 * viewer.CellWidth() && !yellow; ++x)
            for (int y = viewer.RowHeight(); y < 2 * viewer.RowHeight(); ++y)
                yellow = yellow || (picture.pixelColor(x, y).red() > 200 && picture.pixelColor(x, y).blue() < 80);
        QVERIFY(yellow);
        // Scrolling to the far right stops where the picture's edge meets the window's.
        viewer.horizontalScrollBar()->setValue(INT32_MAX);
        QCOMPARE(viewer.horizontalScrollBar()->value(), picture.width() - viewer.viewport()->width());

        // 17 bytes: a line of 16, then one, a trailing space on each.
        const uint8_t seventeen[17] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0xAB, 0xFF};
        viewer.SetData(seventeen, sizeof seventeen);
        viewer.CopyHex();
        QCOMPARE(QApplication::clipboard()->text(),
                 QStringLiteral("00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E AB \r\nFF "));
        // Ctrl+X does nothing; Ctrl+C copies text with control bytes as '.'.
        const uint8_t text[4] = {'a', 0, 'b', 31};
        viewer.SetData(text, sizeof text);
        QApplication::clipboard()->setText(QStringLiteral("before"));
        QTest::keyClick(&viewer, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("before"));
        QTest::keyClick(&viewer, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("a.b."));
    }

    void ExportTruncatesOrAppends() {
        RecordingNotifier notifier;
        HexGridCtrl viewer(notifier);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.bin"));
        const uint8_t bytes[3] = {1, 2, 3};
        viewer.SetData(bytes, sizeof bytes);
        QVERIFY(viewer.ExportTo(path, false));
        QVERIFY(viewer.ExportTo(path, true));
        QVERIFY(viewer.ExportTo(path, true));
        QCOMPARE(QFileInfo(path).size(), 9);
        QVERIFY(viewer.ExportTo(path, false));
        QCOMPARE(QFileInfo(path).size(), 3);
    }

    void FormChecksItsFields() {
        QTemporaryDir dir;
        const QString image = dir.filePath(QStringLiteral("disk.img"));
        {
            std::ofstream out(image.toStdString(), std::ios::binary);
            std::vector<char> bytes(4096, 'Z');
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        struct Case {
            uint64_t size;
            int rows, columns;
            uint64_t sectorSize;
            QString device;
            std::vector<std::string> messages;
            bool shown;
        };
        const Case cases[] = {
            {512, 16, 32, 512, image, {}, true},
            {512, 32, 32, 512, image, {"扇区大小 != 行数*列数"}, false},
            {1024, 32, 32, 1024, image, {}, true},
            {512, 32, 16, 500, image, {"每扇区字节数一般只能为 512 的倍数!"}, false},
            {0, 32, 16, 0, image, {"请设好扇区大小!", "每扇区字节数一般只能为 512 的倍数!"}, false},
            {512, 32, 16, 512, dir.filePath(QStringLiteral("missing.img")), {"打不开磁盘文件!"}, false},
        };
        for (const Case& c : cases) {
            RecordingContext fresh;
            DiskBrowseForm form(fresh.context);
            form.SetFields(c.size, c.rows, c.columns, c.sectorSize, c.device, 0);
            QCOMPARE(form.Show(), c.shown);
            QCOMPARE(fresh.notifier.Texts(), c.messages);
            if (c.shown) QCOMPARE(form.Viewer()->Data().size(), size_t(c.size));
        }
    }

    void MapDrawsMarksAndAnnouncesClickedSectors() {
        MapVolume volume;
        FileItem file = MakeItem("f");
        DiskMapWidget map;
        map.resize(300, 400);
        map.show();
        // No volume: the left seventh shaded.
        QCOMPARE(Grab(*map.viewport()).pixelColor(2, 50), QColor(220, 200, 200));
        map.ShowVolume(&volume);
        QSignalSpy chosen(&map, &DiskMapWidget::SectorChosen);
        map.ShowItem(&file);
        QCOMPARE(map.Map().Marks(), (std::vector<MapMark>{{40, 44}, {60, 60}}));
        QCOMPARE(chosen.size(), 1);
        QCOMPARE(chosen.front().front().toULongLong(), 40ull);
        const QImage picture = Grab(*map.viewport());
        const auto centre = [&](uint64_t cell) { return map.CellRect(cell).center(); };
        QCOMPARE(picture.pixelColor(centre(0) + QPoint(-3, -3)), RegionColor(1));
        QCOMPARE(picture.pixelColor(centre(15) + QPoint(-3, -3)), RegionColor(2));
        QCOMPARE(picture.pixelColor(centre(41)), QColor(200, 0, 0));  // marked, not current
        QCOMPARE(picture.pixelColor(centre(50)), RegionColor(7));
        QTest::mouseClick(map.viewport(), Qt::LeftButton, {}, centre(123));
        QCOMPARE(chosen.size(), 2);
        QCOMPARE(chosen.back().front().toULongLong(), 123ull);
        QCOMPARE(map.Map().CurrentCell(), 123ull);

        DiskMapLegend legend;
        legend.resize(legend.sizeHint());
        const QImage key = Grab(legend);
        QCOMPARE(key.pixelColor(9, 4 + 7), RegionColor(1));
        QCOMPARE(key.pixelColor(9, 4 + 15 * 6 + 7), RegionColor(18));
    }

    void TimeLineShowsFilesAndPicksThem() {
        FileItem folder = MakeItem("folder");
        folder.flags = item_flags::kDirectory;
        FileItem files[2] = {MakeItem("a"), MakeItem("b")};
        files[0].writeDate = Date(2003, 6, 29);
        files[1].writeDate = Date(2003, 6, 29);
        QVERIFY(SetChildren(folder, files));
        TimeLineWidget line;
        line.resize(800, 700);
        line.show();
        line.Index().switches = {false, true, false};
        line.ShowItem(&folder, false);
        // Level 0: column = month (June, the sixth), row = day 29.
        const QRect cell = line.CellRect(5, 28);
        const QImage picture = Grab(*line.viewport());
        QCOMPARE(picture.pixelColor(cell.topLeft() + QPoint(2, 2)), TimeKindColor(kTimeModified));
        QCOMPARE(picture.pixelColor(cell.topLeft() + QPoint(9, 2)), TimeKindColor(kTimeModified));
        std::vector<FileItem*> chosen;
        connect(&line, &TimeLineWidget::ItemChosen, this, [&chosen](FileItem* item) { chosen.push_back(item); });
        QSignalSpy text(&line, &TimeLineWidget::TimeText);
        QTest::mouseClick(line.viewport(), Qt::LeftButton, {}, cell.topLeft() + QPoint(9, 3));
        QCOMPARE(chosen.size(), size_t(1));
        QCOMPARE(chosen.front()->name, "b");
        QCOMPARE(text.front().front().toString(), QStringLiteral("2003-06-29 00:00:00"));

        // The menu greys what would be refused.
        const auto enabled = [&](const QString& name) {
            std::unique_ptr<QMenu> menu(line.MakeMenu(nullptr));
            for (QAction* action : menu->actions())
                if (action->text() == name) return action->isEnabled();
            return false;
        };
        QVERIFY(!enabled(QStringLiteral("缩小")));
        QVERIFY(enabled(QStringLiteral("放大")));
        QVERIFY(line.GrowCells());
        QVERIFY(!enabled(QStringLiteral("格子增大")));
        QVERIFY(!line.GrowCells());
        QVERIFY(line.ShrinkCells() && line.ShrinkCells());
        QVERIFY(!enabled(QStringLiteral("格子减小")));
        for (int i = 0; i < 4; ++i) QVERIFY(line.ZoomIn());
        QVERIFY(!enabled(QStringLiteral("放大")));
        QVERIFY(!line.Query(QStringLiteral("2003-06-29 04:14")));
        QVERIFY(!line.Query(QStringLiteral("2004-06-29 04:14:26")));
        QVERIFY(line.Query(QStringLiteral("2003-06-29 04:14:26")));
        QVERIFY(line.horizontalScrollBar()->value() > 0);
        FreeSubtree(folder);
    }
};

DELVORA_GUI_TEST(ViewerControlsTest);

}  // namespace delvora::test

#include "viewer_controls_test.moc"
