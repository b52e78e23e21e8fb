#include "reports/engine/reportpainter.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>

namespace {

constexpr double kPadMm = 0.6; // room between a cell's edge and its text

QPen penFor(const ReportPrimitive &p, double pxPerMm)
{
    QPen pen(p.color);
    pen.setWidthF(qMax(0.5, p.lineWidth * pxPerMm));
    pen.setCapStyle(Qt::SquareCap);
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

QRectF toDevice(const QRectF &mm, double pxPerMm, const QPointF &origin)
{
    return QRectF(origin.x() + mm.left() * pxPerMm, origin.y() + mm.top() * pxPerMm, mm.width() * pxPerMm, mm.height() * pxPerMm);
}

QFont deviceFont(const ReportFont &f, double pointSize, double pxPerMm, const QPaintDevice *device)
{
    QFont font = reportFont(f);
    // Points on paper, then pixels on this device at this scale.
    const double px = pointSize * 25.4 / 72.0 * pxPerMm;
    const int dpi = device ? device->logicalDpiY() : 96;
    font.setPointSizeF(qMax(0.5, px * 72.0 / dpi));
    return font;
}

void drawText(QPainter &painter, const ReportPrimitive &p, double pxPerMm, const QPointF &origin)
{
    const QRectF cell = toDevice(p.rect, pxPerMm, origin);
    if (p.fill.isValid())
        painter.fillRect(cell, p.fill);
    if (p.text.isEmpty())
        return;
    const double pad = kPadMm * pxPerMm;
    const QRectF box = cell.adjusted(pad, 0, -pad, 0);
    int flags = int(p.align);
    if (p.wordWrap)
        flags |= Qt::TextWordWrap;
    double size = p.font.size;
    QFont font = deviceFont(p.font, size, pxPerMm, painter.device());
    if (p.shrinkToFit) {
        // Smaller type until the text fits its cell, no smaller than 5 points.
        for (;;) {
            const QRectF need = QFontMetricsF(font, painter.device()).boundingRect(box, flags, p.text);
            if ((need.width() <= box.width() + 0.5 && need.height() <= box.height() + 0.5) || size <= 5.0)
                break;
            size = qMax(5.0, size * 0.9);
            font = deviceFont(p.font, size, pxPerMm, painter.device());
        }
    }
    painter.setFont(font);
    painter.setPen(p.color);
    const QRectF need = QFontMetricsF(font, painter.device()).boundingRect(box, flags, p.text);
    const bool overflows = need.width() > box.width() + 0.5 || need.height() > cell.height() + 0.5;
    if (overflows) {
        // A text longer than its cell is cut at the cell's edge, as on the printed form.
        painter.save();
        painter.setClipRect(cell, Qt::IntersectClip);
        painter.drawText(box, flags, p.text);
        painter.restore();
    } else {
        painter.drawText(box, flags, p.text);
    }
}

} // namespace

QFont reportFont(const ReportFont &f)
{
    QFont font;
    QStringList families;
    if (!f.family.isEmpty())
        families << f.family;
    families << QStringLiteral("SimSun") << QStringLiteral("宋体") << QStringLiteral("Noto Serif CJK SC")
             << QStringLiteral("AR PL UMing CN");
    font.setFamilies(families);
    font.setPointSizeF(f.size);
    font.setBold(f.bold);
    font.setItalic(f.italic);
    font.setUnderline(f.underline);
    font.setStyleStrategy(QFont::PreferOutline);
    return font;
}

void paintReportPage(QPainter &painter, const ReportPage &page, double pxPerMm, const QPointF &origin)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    for (const ReportPrimitive &p : page.items) {
        switch (p.kind) {
        case ReportPrimitive::Text: drawText(painter, p, pxPerMm, origin); break;
        case ReportPrimitive::Line: {
            painter.setPen(penFor(p, pxPerMm));
            const QRectF r = toDevice(p.rect, pxPerMm, origin);
            painter.drawLine(r.topLeft(), r.bottomRight());
            break;
        }
        case ReportPrimitive::Rect: {
            const QRectF r = toDevice(p.rect, pxPerMm, origin);
            painter.setPen(penFor(p, pxPerMm));
            painter.setBrush(p.fill.isValid() ? QBrush(p.fill) : QBrush(Qt::NoBrush));
            if (p.radius > 0)
                painter.drawRoundedRect(r, p.radius * pxPerMm, p.radius * pxPerMm);
            else
                painter.drawRect(r);
            painter.setBrush(Qt::NoBrush);
            break;
        }
        case ReportPrimitive::Barcode: {
            // Bars are filled without antialiasing so their edges stay crisp for a scanner.
            painter.save();
            painter.setRenderHint(QPainter::Antialiasing, false);
            painter.setPen(Qt::NoPen);
            painter.setBrush(p.color);
            QPainterPath path;
            for (const QRectF &b : p.bars)
                path.addRect(toDevice(b, pxPerMm, origin));
            painter.drawPath(path);
            painter.restore();
            break;
        }
        }
    }
    painter.restore();
}

QPageLayout reportPageLayout(const ReportPageSetup &setup)
{
    const QPageSize size = setup.paper == QPageSize::Custom ? QPageSize(setup.customSize, QPageSize::Millimeter)
                                                             : QPageSize(setup.paper);
    return QPageLayout(size, setup.orientation, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

void writeReportPdf(const ReportDocument &doc, const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw ReportError(QStringLiteral("无法写入 PDF 文件 %1：%2").arg(path, file.errorString()));
    {
        QPdfWriter writer(&file);
        writer.setResolution(600);
        writer.setCreator(QStringLiteral("Zentrav"));
        writer.setTitle(doc.title);
        writer.setPageLayout(reportPageLayout(doc.page));
        QPainter painter;
        if (!painter.begin(&writer))
            throw ReportError(QStringLiteral("无法写入 PDF 文件 %1").arg(path));
        const double pxPerMm = writer.resolution() / 25.4;
        for (int i = 0; i < doc.pages.size(); ++i) {
            if (i > 0)
                writer.newPage();
            paintReportPage(painter, doc.pages[i], pxPerMm);
        }
        painter.end();
    }
    if (!file.commit())
        throw ReportError(QStringLiteral("无法写入 PDF 文件 %1：%2").arg(path, file.errorString()));
}

void printReport(const ReportDocument &doc, QPrinter &printer, int fromPage, int toPage)
{
    printer.setFullPage(true);
    printer.setPageLayout(reportPageLayout(doc.page));
    const int first = fromPage > 0 ? fromPage : 1;
    const int last = toPage > 0 ? qMin(toPage, doc.pageCount()) : doc.pageCount();
    QPainter painter;
    if (!painter.begin(&printer))
        throw ReportError(QStringLiteral("无法开始打印，请检查打印机"));
    const double pxPerMm = printer.resolution() / 25.4;
    for (int i = first; i <= last; ++i) {
        if (i > first)
            printer.newPage();
        paintReportPage(painter, doc.pages[i - 1], pxPerMm);
    }
    painter.end();
}
