#pragma once
#include "reports/engine/reporttemplate.h"

#include <QDate>
#include <QList>
#include <QVariantMap>
#include <functional>
#include <optional>

class ReportData;

// One thing drawn on a page, placed in mm from the paper's top left corner.
struct ReportPrimitive {
    enum Kind { Text, Line, Rect, Barcode };
    Kind kind = Text;
    QRectF rect;      // a line runs from topLeft to bottomRight
    QString text;     // text: what is printed; barcode: the data encoded
    ReportFont font;
    Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
    bool wordWrap = false;
    bool shrinkToFit = false;
    double lineWidth = 0.2;
    double radius = 0;
    QColor color = Qt::black;
    QColor fill;
    QList<QRectF> bars;  // barcode: the bars, in page mm
    QString symbolText;  // barcode: the text of the zint symbol (empty when it could not be made)
    int modules = 0;     // barcode: symbol width in modules
    ReportBand::Type band = ReportBand::Data; // the band that placed it
    int row = -1;        // the data row it shows, -1 for none
};

struct ReportPage {
    QList<ReportPrimitive> items;
    // Texts in the order they were placed.
    QStringList texts() const;
    // The primitives placed by a band (data rows: one entry per row, in order).
    QList<int> rowsOnPage() const;
};

struct ReportDocument {
    QString title;
    ReportPageSetup page;
    QList<ReportPage> pages; // empty when the pages were streamed to a sink
    int pageTotal = 0;       // pages laid out (handed to the sink, or held above)
    int pageCount() const { return pageTotal; }
};

// What the calling window answers for the report's variables (dwmc, cxrq,
// datespac …). Fixed values are looked up first; the callback is asked once
// per name and layout for any other name and returns nullopt when it does
// not know it.
struct ReportVariables {
    QVariantMap values; // case-insensitive names
    std::function<std::optional<QVariant>(const QString &name)> ask;
};

struct ReportInput {
    const ReportTemplate *tpl = nullptr;
    const ReportData *data = nullptr;
    ReportVariables variables;
    QDate today = QDate::currentDate(); // the printing date of [Date]
    // When set, each page is handed over as soon as it is whole instead of
    // being kept in the document, so a report of any length is made in little
    // memory; returning false stops the layout after that page.
    std::function<bool(ReportPage &page, int number)> pageSink;
    // [TotalPages] of a streamed layout, counted by an earlier pass.
    int totalPages = 0;
};

// Writes the page count into [TotalPages] of pages a sink kept.
void fillReportTotalPages(QList<ReportPage> &pages, int total);
// Whether a template prints [TotalPages] (a streamed layout then needs a counting pass first).
bool usesTotalPages(const ReportTemplate &tpl);
// Variables whose callback is asked once per name, however often the report is laid out.
ReportVariables cachedVariables(const ReportVariables &vars);

// Lays the bands out over the rows into pages. Every expression is checked
// before the first page is made: an unknown field or variable raises a
// ReportError naming the template, so no half report is ever produced.
ReportDocument layoutReport(const ReportInput &in);
