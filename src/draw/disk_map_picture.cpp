#include "draw/disk_map_picture.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>

#include <memory>

#include "draw/disk_map_painter.h"

namespace delvora {
namespace {

constexpr int kMapWidth = 1024;
constexpr int kCellSize = 12;
constexpr int kMaxRows = 160;  // with the width: a picture of about 1.2 megapixels
constexpr int kLegendWidth = 130;

/// A program without a window (the command line) gets an offscreen
/// application for as long as the picture is drawn: fonts need one.
/// Qt's notes about the missing desktop session (no runtime folder, no
/// display) are noise for a command whose stderr carries its own errors.
void DropQtNotes(QtMsgType, const QMessageLogContext&, const QString&) {}

std::unique_ptr<QGuiApplication> EnsureApplication() {
    if (QGuiApplication::instance()) return nullptr;
    qInstallMessageHandler(DropQtNotes);
    static int argc = 3;
    static char name[] = "delvora-cli", option[] = "-platform", platform[] = "offscreen";
    static char* argv[] = {name, option, platform, nullptr};
    return std::make_unique<QGuiApplication>(argc, argv);
}

}  // namespace

bool SaveDiskMapPicture(const DiskMap& source, const std::string& path, std::string& error) {
    try {
        auto app = EnsureApplication();
        DiskMap map = source;
        const QFontMetrics metrics(DiskMapFont());
        // The label column holds the largest sector number whatever the
        // scale; the scale then follows from the cells a row holds.
        const uint64_t sectors = map.FirstSectorOfCell(map.CellCount());
        DiskMapGrid grid = LayoutDiskMap(map.CellCount(), sectors, kMapWidth, kCellSize, metrics);
        if (grid.cellsPerRow > 0) map.SetCellBudget(grid.cellsPerRow * kMaxRows);
        grid = LayoutDiskMap(map.CellCount(), sectors, kMapWidth, kCellSize, metrics);
        const int mapHeight = grid.Valid() ? static_cast<int>(grid.rowCount) * kCellSize : 200;
        QImage image(kMapWidth + kLegendWidth, std::max(mapHeight, DiskMapLegendHeight()), QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            if (grid.Valid())
                PaintDiskMapRows(painter, map, grid, 0, grid.rowCount, 0, kMapWidth);
            else
                PaintEmptyDiskMap(painter, QRect(0, 0, kMapWidth, mapHeight));
            PaintDiskMapLegend(painter, QRect(kMapWidth, 0, kLegendWidth, image.height()));
        }
        if (!image.save(QString::fromStdString(path), "PNG")) {
            error = "cannot write " + path;
            return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        error = "out of memory";
        return false;
    }
}

}  // namespace delvora
