#pragma once
#include "reports/engine/reportlayout.h"

#include <QFont>
#include <QPointF>

class QPainter;
class QPrinter;

// The program's report font: the family asked for, then "宋体" and its stand-ins.
QFont reportFont(const ReportFont &f);

// Paints one laid-out page. `pxPerMm` is the scale of the painter's device
// and `origin` where the paper's top left corner falls, in device pixels.
void paintReportPage(QPainter &painter, const ReportPage &page, double pxPerMm, const QPointF &origin = QPointF());

// Writes every page to a PDF file, fonts embedded. The file appears only
// when it was written whole; a failure raises a ReportError.
void writeReportPdf(const ReportDocument &doc, const QString &path);

// Lays a report out and writes it page by page, in little memory whatever
// its length; returns the number of pages.
int writeReportPdf(const ReportInput &in, const QString &path);

// Sends pages fromPage..toPage (1-based, 0 = all) to a printer set up by the caller.
void printReport(const ReportDocument &doc, QPrinter &printer, int fromPage = 0, int toPage = 0);
void printReport(const ReportInput &in, QPrinter &printer, int fromPage = 0, int toPage = 0);

// The page layout of a document, for a printer or a PDF writer.
QPageLayout reportPageLayout(const ReportPageSetup &setup);
