#include "views/view_printing.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include "ui/qt_text.h"
#include "case/case_workspace.h"
#include "fs/file_tree.h"
#include "fs/volume.h"
#include "views/delvora_view.h"
#include "views/hex_grid_ctrl.h"
#include "views/view_set.h"

namespace delvora {
namespace {

QStringList RowsOf(DelvoraView& view) {
    QStringList rows = view.PrintRows(kMaxPrintRows);
    if (rows.size() >= kMaxPrintRows) rows << QCoreApplication::translate("ViewPrinting", "…(只打印了前 %1 行)").arg(kMaxPrintRows);
    return rows;
}

}  // namespace

ReportHeader ReportHeader::Of(ViewSet& views) {
    ReportHeader header;
    Volume* volume = views.CurrentVolume();
    for (const auto& data : views.Workspace().Items())
        for (const auto& candidate : data->volumes)
            if (candidate.get() == volume) header.caseItem = FromUtf8(data->name);
    if (volume) header.volume = FromUtf8(volume->Description());
    if (FileItem* item = views.CurrentItem()) header.itemPath = FromUtf8(FullPath(*item));
    header.date = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return header;
}

QStringList ReportHeader::Lines() const {
    return {QCoreApplication::translate("ViewPrinting", "案例项: ") + caseItem, QCoreApplication::translate("ViewPrinting", "卷: ") + volume, QCoreApplication::translate("ViewPrinting", "路径: ") + itemPath,
            QCoreApplication::translate("ViewPrinting", "日期: ") + date};
}

bool PrintReport(QPrinter& printer, const ReportHeader& header, const QStringList& rows) {
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    QFont font = HexGridFont();
    font.setPointSize(9);
    painter.setFont(font);
    const QRect page = painter.viewport();
    const int line = painter.fontMetrics().height();
    const QStringList headerLines = header.Lines();
    const int headerHeight = (static_cast<int>(headerLines.size()) + 1) * line;
    const int perPage = std::max(1, (page.height() - headerHeight) / line);
    int pageNumber = 1;
    qsizetype next = 0;
    // Each page takes perPage rows (at least one page, for an empty view).
    do {
        if (pageNumber > 1) printer.newPage();
        int y = line;
        for (const QString& text : headerLines) {
            painter.drawText(0, y, text);
            y += line;
        }
        painter.drawText(page.width() - painter.fontMetrics().horizontalAdvance(QCoreApplication::translate("ViewPrinting", "第 %1 页").arg(pageNumber)),
                         line, QCoreApplication::translate("ViewPrinting", "第 %1 页").arg(pageNumber));
        painter.drawLine(0, y - line / 2, page.width(), y - line / 2);
        y += line / 2;
        for (int i = 0; i < perPage && next < rows.size(); ++i, ++next) {
            painter.drawText(0, y, rows[next]);
            y += line;
        }
        ++pageNumber;
    } while (next < rows.size());
    return painter.end();
}

bool PrintViewToPdf(ViewSet& views, DelvoraView& view, const QString& path) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    return PrintReport(printer, ReportHeader::Of(views), RowsOf(view));
}

void PrintView(ViewSet& views, DelvoraView& view) {
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, &view);
    if (dialog.exec() != QDialog::Accepted) return;
    PrintReport(printer, ReportHeader::Of(views), RowsOf(view));
}

void PreviewView(ViewSet& views, DelvoraView& view) {
    QPrinter printer(QPrinter::HighResolution);
    QPrintPreviewDialog dialog(&printer, &view);
    const ReportHeader header = ReportHeader::Of(views);
    const QStringList rows = RowsOf(view);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&header, &rows](QPrinter* target) { PrintReport(*target, header, rows); });
    dialog.exec();
}

}  // namespace delvora
