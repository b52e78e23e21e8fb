#include "reports/engine/reportpainter.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QPrinter>
#include <QRawFont>
#include <QHash>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cstdio>

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

// The ideograph a CJK radical code point stands for in the report font: the
// font draws both with one glyph (片 and U+2F5A, 页 and U+2EDA in Noto CJK).
const QHash<uint, uint> &radicalIdeographs()
{
    static const QHash<uint, uint> map = [] {
        QHash<uint, uint> out;
        const QRawFont raw = QRawFont::fromFont(reportFont(ReportFont()));
        QHash<quint32, uint> radicalOfGlyph;
        if (raw.isValid()) {
            for (uint r = 0x2E80; r <= 0x2FDF; ++r) {
                const QList<quint32> g = raw.glyphIndexesForString(QString(QChar(char16_t(r))));
                if (!g.isEmpty() && g[0] != 0)
                    radicalOfGlyph.insert(g[0], r);
            }
            QString ideographs;
            for (uint u = 0x4E00; u <= 0x9FFF; ++u)
                ideographs += QChar(char16_t(u));
            const QList<quint32> glyphs = raw.glyphIndexesForString(ideographs);
            for (int i = 0; i < glyphs.size(); ++i) {
                auto it = radicalOfGlyph.constFind(glyphs[i]);
                if (glyphs[i] != 0 && it != radicalOfGlyph.cend() && !out.contains(*it))
                    out.insert(*it, 0x4E00 + uint(i));
            }
        }
        // Radicals the font draws apart still read as their ideograph where Unicode says so.
        for (uint r = 0x2E80; r <= 0x2FDF; ++r) {
            if (out.contains(r))
                continue;
            const QString n = QString(QChar(char16_t(r))).normalized(QString::NormalizationForm_KC);
            if (n.size() == 1 && n[0].unicode() >= 0x3400)
                out.insert(r, n[0].unicode());
        }
        return out;
    }();
    return map;
}

// Qt writes each embedded font's ToUnicode map by searching the code points
// upwards for each glyph, so a glyph the font shares between a CJK radical
// and an ideograph is mapped back to the radical, and text copied or
// searched in the PDF comes out with the wrong characters ("第3⻚" for
// "第3页"). The maps are plain text, each target four hex digits: the
// ideograph is written over the radical in place, so no offset moves.
void mendToUnicodeMaps(char *data, qsizetype size)
{
    const QByteArrayView pdf(data, size);
    const QHash<uint, uint> &map = radicalIdeographs();
    for (const char *section : {"bfrange", "bfchar"}) {
        const QByteArray begin = QByteArray("begin") + section, end = QByteArray("end") + section;
        const int sources = section[2] == 'r' ? 2 : 1; // a range entry has two source codes, a char entry one
        qsizetype from = 0;
        while ((from = pdf.indexOf(begin, from)) >= 0) {
            const qsizetype stop = pdf.indexOf(end, from);
            if (stop < 0)
                break;
            qsizetype lineStart = pdf.indexOf('\n', from) + 1;
            while (lineStart > 0 && lineStart < stop) {
                qsizetype lineEnd = pdf.indexOf('\n', lineStart);
                if (lineEnd < 0 || lineEnd > stop)
                    lineEnd = stop;
                const QByteArray line = pdf.sliced(lineStart, lineEnd - lineStart).toByteArray();
                const QList<QByteArray> words = line.simplified().split(' ');
                // The start of a run of consecutive targets stays: it stands for several characters.
                const bool run = sources == 2 && !line.contains('[') && words.size() >= 2 && words[0] != words[1];
                int token = 0;
                for (qsizetype i = lineStart; !run && i < lineEnd; ++i) {
                    if (data[i] != '<')
                        continue;
                    const qsizetype close = pdf.indexOf('>', i);
                    if (close < 0 || close > lineEnd)
                        break;
                    if (token++ >= sources && close - i == 5) {
                        bool ok = false;
                        const uint cp = QByteArray(data + i + 1, 4).toUInt(&ok, 16);
                        auto it = map.constFind(cp);
                        if (ok && it != map.cend())
                            memcpy(data + i + 1, QByteArray::number(*it, 16).toUpper().rightJustified(4, '0').constData(), 4);
                    }
                    i = close;
                }
                lineStart = lineEnd + 1;
            }
            from = stop + end.size();
        }
    }
}

// Writes a PDF through `paint` straight into a file beside `path` (no copy
// of it in memory), mends its text maps in place, and only then puts it at
// `path`: a failure leaves no half-written file.
void writePdf(const QString &path, const ReportPageSetup &setup, const QString &title,
              const std::function<void(QPdfWriter &, QPainter &, double pxPerMm)> &paint)
{
    const QFileInfo target(path);
    QTemporaryFile file(target.absoluteDir().filePath(QStringLiteral(".zentrav-XXXXXX.pdf")));
    if (!target.absoluteDir().exists() || !file.open())
        throw ReportError(QStringLiteral("无法写入 PDF 文件 %1：%2").arg(path, target.absoluteDir().exists() ? file.errorString()
                                                                                                    : QStringLiteral("文件夹不存在")));
    {
        QPdfWriter writer(&file);
        writer.setResolution(600);
        writer.setCreator(QStringLiteral("Zentrav"));
        writer.setTitle(title);
        writer.setPageLayout(reportPageLayout(setup));
        QPainter painter;
        if (!painter.begin(&writer))
            throw ReportError(QStringLiteral("无法写入 PDF 文件 %1").arg(path));
        paint(writer, painter, writer.resolution() / 25.4);
        painter.end();
    }
    if (!file.flush())
        throw ReportError(QStringLiteral("无法写入 PDF 文件 %1：%2").arg(path, file.errorString()));
    const qint64 size = file.size();
    if (uchar *data = file.map(0, size)) {
        mendToUnicodeMaps(reinterpret_cast<char *>(data), size);
        file.unmap(data);
    } else {
        file.seek(0);
        QByteArray bytes = file.readAll();
        mendToUnicodeMaps(bytes.data(), bytes.size());
        file.seek(0);
        file.write(bytes);
    }
    if (!file.flush())
        throw ReportError(QStringLiteral("无法写入 PDF 文件 %1：%2").arg(path, file.errorString()));
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    file.close();
    // rename() replaces an existing file in one step where the system allows it.
    if (std::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(target.absoluteFilePath()).constData()) != 0) {
        QFile::remove(target.absoluteFilePath());
        if (!file.rename(target.absoluteFilePath()))
            throw ReportError(QStringLiteral("无法写入 PDF 文件 %1：%2").arg(path, file.errorString()));
    }
    file.setAutoRemove(false);
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
    font.setStyleStrategy(QFont::StyleStrategy(QFont::PreferOutline | QFont::PreferNoShaping));
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
    writePdf(path, doc.page, doc.title, [&](QPdfWriter &writer, QPainter &painter, double pxPerMm) {
        for (int i = 0; i < doc.pages.size(); ++i) {
            if (i > 0)
                writer.newPage();
            paintReportPage(painter, doc.pages[i], pxPerMm);
        }
    });
}

int writeReportPdf(const ReportInput &input, const QString &path)
{
    ReportInput in = input;
    in.variables = cachedVariables(input.variables);
    if (usesTotalPages(*in.tpl) && in.totalPages <= 0) {
        ReportInput count = in;
        count.pageSink = [](ReportPage &, int) { return true; };
        in.totalPages = layoutReport(count).pageCount();
    }
    int pages = 0;
    writePdf(path, in.tpl->page, in.tpl->title, [&](QPdfWriter &writer, QPainter &painter, double pxPerMm) {
        in.pageSink = [&](ReportPage &page, int number) {
            if (number > 1)
                writer.newPage();
            paintReportPage(painter, page, pxPerMm);
            pages = number;
            return true;
        };
        layoutReport(in);
    });
    return pages;
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

void printReport(const ReportInput &input, QPrinter &printer, int fromPage, int toPage)
{
    ReportInput in = input;
    in.variables = cachedVariables(input.variables);
    if (usesTotalPages(*in.tpl) && in.totalPages <= 0) {
        ReportInput count = in;
        count.pageSink = [](ReportPage &, int) { return true; };
        in.totalPages = layoutReport(count).pageCount();
    }
    printer.setFullPage(true);
    printer.setPageLayout(reportPageLayout(in.tpl->page));
    const int first = fromPage > 0 ? fromPage : 1;
    QPainter painter;
    if (!painter.begin(&printer))
        throw ReportError(QStringLiteral("无法开始打印，请检查打印机"));
    const double pxPerMm = printer.resolution() / 25.4;
    in.pageSink = [&](ReportPage &page, int number) {
        if (number < first)
            return true;
        if (number > first)
            printer.newPage();
        paintReportPage(painter, page, pxPerMm);
        return toPage <= 0 || number < toPage;
    };
    layoutReport(in);
    painter.end();
}
