#pragma once
// Printing a view: its rows as a paged report under a header that names the
// case item, the volume, the item's path and the date, to a printer, a
// preview or a PDF file.
#include <QString>
#include <QStringList>

class QPrinter;

namespace delvora {

class DelvoraView;
class ViewSet;

/// Rows a printed report holds at most (a 4 GiB file would be millions of
/// pages); the report says when it was cut.
inline constexpr int kMaxPrintRows = 100000;

struct ReportHeader {
    QString caseItem, volume, itemPath, date;
    /// The header of the views' current item, dated now.
    static ReportHeader Of(ViewSet& views);
    QStringList Lines() const;
};

/// Paints header and rows on printer, page after page. False when the
/// printer cannot be started.
bool PrintReport(QPrinter& printer, const ReportHeader& header, const QStringList& rows);
/// Prints view to a PDF file.
bool PrintViewToPdf(ViewSet& views, DelvoraView& view, const QString& path);
/// "打印..." and "打印预览" for view.
void PrintView(ViewSet& views, DelvoraView& view);
void PreviewView(ViewSet& views, DelvoraView& view);

}  // namespace delvora
