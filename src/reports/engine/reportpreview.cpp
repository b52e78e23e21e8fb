#include "reports/engine/reportpreview.h"
#include "common/prompter.h"
#include "reports/engine/reportdata.h"
#include "reports/engine/reportpainter.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

constexpr int kGap = 16; // px between pages and around them

int g_pagesHeldLimit = 2000;

ReportPreviewHook &previewHook()
{
    static ReportPreviewHook h;
    return h;
}

} // namespace

// ---- ReportPagesView ----

ReportPagesView::ReportPagesView(QWidget *parent) : QAbstractScrollArea(parent)
{
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    verticalScrollBar()->setSingleStep(40);
    horizontalScrollBar()->setSingleStep(40);
}

void ReportPagesView::setDocument(const ReportDocument *doc, std::function<const ReportPage *(int)> pageAt)
{
    m_doc = doc;
    m_pageAt = std::move(pageAt);
    updateScrollBars();
    viewport()->update();
}

double ReportPagesView::pxPerMm() const
{
    return m_zoom * logicalDpiX() / 25.4;
}

QSizeF ReportPagesView::pagePx() const
{
    if (!m_doc)
        return QSizeF();
    return m_doc->page.paperSizeMm() * pxPerMm();
}

void ReportPagesView::setZoom(double zoom)
{
    const double top = verticalScrollBar()->maximum() > 0 ? double(verticalScrollBar()->value()) / verticalScrollBar()->maximum() : 0;
    m_zoom = qBound(0.1, zoom, 8.0);
    updateScrollBars();
    verticalScrollBar()->setValue(int(top * verticalScrollBar()->maximum()));
    viewport()->update();
}

double ReportPagesView::zoomForPageWidth() const
{
    if (!m_doc)
        return 1.0;
    const double w = viewport()->width() - 2 * kGap;
    return w / (m_doc->page.paperSizeMm().width() * logicalDpiX() / 25.4);
}

double ReportPagesView::zoomForWholePage() const
{
    if (!m_doc)
        return 1.0;
    const QSizeF mm = m_doc->page.paperSizeMm();
    const double zw = (viewport()->width() - 2 * kGap) / (mm.width() * logicalDpiX() / 25.4);
    const double zh = (viewport()->height() - 2 * kGap) / (mm.height() * logicalDpiY() / 25.4);
    return qMin(zw, zh);
}

int ReportPagesView::currentPage() const
{
    if (!m_doc || m_doc->pages.isEmpty())
        return 0;
    const double step = pagePx().height() + kGap;
    const int page = int((verticalScrollBar()->value() + step / 3) / step) + 1;
    return qBound(1, page, m_doc->pageCount());
}

void ReportPagesView::showPage(int page)
{
    if (!m_doc || m_doc->pages.isEmpty())
        return;
    page = qBound(1, page, m_doc->pageCount());
    verticalScrollBar()->setValue(int((page - 1) * (pagePx().height() + kGap)));
}

void ReportPagesView::updateScrollBars()
{
    if (!m_doc) {
        verticalScrollBar()->setRange(0, 0);
        horizontalScrollBar()->setRange(0, 0);
        return;
    }
    const QSizeF page = pagePx();
    const double totalH = m_doc->pageCount() * (page.height() + kGap) + kGap;
    const double totalW = page.width() + 2 * kGap;
    verticalScrollBar()->setRange(0, qMax(0, int(totalH) - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
    horizontalScrollBar()->setRange(0, qMax(0, int(totalW) - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

void ReportPagesView::resizeEvent(QResizeEvent *e)
{
    QAbstractScrollArea::resizeEvent(e);
    updateScrollBars();
}

void ReportPagesView::scrollContentsBy(int, int)
{
    viewport()->update();
    const int page = currentPage();
    if (page != m_lastPage) {
        m_lastPage = page;
        emit currentPageChanged(page);
    }
}

void ReportPagesView::paintEvent(QPaintEvent *)
{
    if (!m_doc)
        return;
    QPainter painter(viewport());
    const QSizeF page = pagePx();
    const double step = page.height() + kGap;
    const double x0 = qMax(double(kGap), (viewport()->width() - page.width()) / 2.0) - horizontalScrollBar()->value();
    const int scrollY = verticalScrollBar()->value();
    // Only the pages that show are painted, however long the report.
    const int first = qMax(0, int((scrollY - kGap) / step));
    const int last = qMin(m_doc->pageCount() - 1, int((scrollY + viewport()->height()) / step));
    for (int i = first; i <= last; ++i) {
        const QRectF rect(x0, kGap + i * step - scrollY, page.width(), page.height());
        painter.fillRect(rect.translated(3, 3), QColor(0, 0, 0, 90));
        painter.fillRect(rect, Qt::white);
        const ReportPage *p = m_pageAt ? m_pageAt(i) : (i < m_doc->pages.size() ? &m_doc->pages[i] : nullptr);
        if (p)
            paintReportPage(painter, *p, pxPerMm(), rect.topLeft());
    }
}

// ---- ReportPreviewDialog ----

ReportPreviewDialog::ReportPreviewDialog(const ReportTemplate &tpl, const ReportData &data, const ReportVariables &vars,
                                         QWidget *parent)
    : QDialog(parent), m_tpl(tpl), m_data(data), m_vars(vars)
{
    // Each variable is asked of the window once, however often the report is laid out again.
    m_vars = cachedVariables(vars);
    relayout();

    setWindowTitle(QStringLiteral("打印预览 - %1").arg(m_tpl.title));
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    resize(900, 700);

    auto *bar = new QToolBar(this);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    QAction *printAct = bar->addAction(QIcon::fromTheme(QStringLiteral("document-print"), style()->standardIcon(QStyle::SP_DialogSaveButton)), QStringLiteral("打印"), this, &ReportPreviewDialog::print);
    printAct->setShortcut(QKeySequence::Print);
    printAct->setToolTip(QStringLiteral("打印 (Ctrl+P)"));
    QAction *pdfAct = bar->addAction(style()->standardIcon(QStyle::SP_DriveFDIcon), QStringLiteral("导出PDF"), this,
                                     &ReportPreviewDialog::exportPdfAsked);
    pdfAct->setToolTip(QStringLiteral("导出为 PDF 文件"));
    bar->addAction(style()->standardIcon(QStyle::SP_FileDialogDetailedView), QStringLiteral("页面设置"), this, &ReportPreviewDialog::pageSetup);
    bar->addSeparator();

    m_view = new ReportPagesView(this);
    m_view->setDocument(&m_doc, [this](int i) { return pageAt(i); });

    QAction *zoomOut = bar->addAction(QStringLiteral("缩小"), this, [this] { m_view->setZoom(m_view->zoom() / 1.25); });
    zoomOut->setShortcut(QKeySequence::ZoomOut);
    m_zoomBox = new QComboBox(this);
    m_zoomBox->setEditable(false);
    for (int z : {50, 75, 100, 125, 150, 200, 300})
        m_zoomBox->addItem(QStringLiteral("%1%").arg(z), z / 100.0);
    m_zoomBox->addItem(QStringLiteral("页宽"), -1.0);
    m_zoomBox->addItem(QStringLiteral("整页"), -2.0);
    m_zoomBox->setCurrentIndex(2);
    m_zoomBox->setToolTip(QStringLiteral("显示比例"));
    bar->addWidget(m_zoomBox);
    QAction *zoomIn = bar->addAction(QStringLiteral("放大"), this, [this] { m_view->setZoom(m_view->zoom() * 1.25); });
    zoomIn->setShortcut(QKeySequence::ZoomIn);
    connect(m_zoomBox, &QComboBox::activated, this, [this](int i) {
        const double z = m_zoomBox->itemData(i).toDouble();
        m_view->setZoom(z == -1.0 ? m_view->zoomForPageWidth() : z == -2.0 ? m_view->zoomForWholePage() : z);
    });
    bar->addSeparator();

    QAction *firstAct = bar->addAction(style()->standardIcon(QStyle::SP_MediaSkipBackward), QStringLiteral("首页"), this, [this] { m_view->showPage(1); });
    QAction *prevAct = bar->addAction(style()->standardIcon(QStyle::SP_MediaSeekBackward), QStringLiteral("上页"), this,
                                      [this] { m_view->showPage(m_view->currentPage() - 1); });
    m_pageLabel = new QLabel(this);
    m_pageLabel->setContentsMargins(6, 0, 6, 0);
    bar->addWidget(m_pageLabel);
    QAction *nextAct = bar->addAction(style()->standardIcon(QStyle::SP_MediaSeekForward), QStringLiteral("下页"), this,
                                      [this] { m_view->showPage(m_view->currentPage() + 1); });
    QAction *lastAct = bar->addAction(style()->standardIcon(QStyle::SP_MediaSkipForward), QStringLiteral("末页"), this,
                                      [this] { m_view->showPage(m_doc.pageCount()); });
    firstAct->setShortcut(Qt::CTRL | Qt::Key_Home);
    lastAct->setShortcut(Qt::CTRL | Qt::Key_End);
    prevAct->setShortcut(Qt::Key_PageUp);
    nextAct->setShortcut(Qt::Key_PageDown);
    for (QAction *a : {firstAct, prevAct, nextAct, lastAct})
        a->setToolTip(a->text() + QStringLiteral(" (") + a->shortcut().toString(QKeySequence::NativeText) + QLatin1Char(')'));
    bar->addSeparator();
    bar->addAction(style()->standardIcon(QStyle::SP_DialogCloseButton), QStringLiteral("关闭"), this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(m_view, 1);
    connect(m_view, &ReportPagesView::currentPageChanged, this, &ReportPreviewDialog::updatePageLabel);
    updatePageLabel();
    m_view->setFocus();
}

void ReportPreviewDialog::setPagesHeldLimit(int pages)
{
    g_pagesHeldLimit = pages;
}

ReportInput ReportPreviewDialog::input() const
{
    ReportInput in;
    in.tpl = &m_tpl;
    in.data = &m_data;
    in.variables = m_vars;
    return in;
}

void ReportPreviewDialog::relayout()
{
    // One pass: the pages are kept while there are few enough, then only counted.
    ReportInput in = input();
    QList<ReportPage> kept;
    bool tooMany = false;
    in.pageSink = [&](ReportPage &page, int number) {
        if (number > g_pagesHeldLimit && !tooMany) {
            tooMany = true;
            kept.clear();
        }
        if (!tooMany)
            kept.append(std::move(page));
        return true;
    };
    ReportDocument doc = layoutReport(in);
    if (!tooMany) {
        // [TotalPages] is known only now.
        fillReportTotalPages(kept, doc.pageCount());
        doc.pages = std::move(kept);
    }
    m_doc = std::move(doc);
    m_window.clear();
}

const ReportPage *ReportPreviewDialog::pageAt(int index)
{
    if (index < 0 || index >= m_doc.pageCount())
        return nullptr;
    if (holdsAllPages())
        return &m_doc.pages[index];
    auto it = m_window.find(index);
    if (it != m_window.end())
        return &it->second;
    // Lay the report out again up to a little past this page, keeping the pages around it.
    m_window.clear();
    const int from = qMax(1, index + 1 - 10), to = index + 1 + 30;
    ReportInput in = input();
    in.totalPages = m_doc.pageCount();
    in.pageSink = [&](ReportPage &page, int number) {
        if (number >= from)
            m_window.emplace(number - 1, std::move(page));
        return number < to;
    };
    layoutReport(in);
    it = m_window.find(index);
    return it != m_window.end() ? &it->second : nullptr;
}

void ReportPreviewDialog::updatePageLabel()
{
    m_pageLabel->setText(QStringLiteral("第 %1 页 / 共 %2 页").arg(m_view->currentPage()).arg(m_doc.pageCount()));
}

bool ReportPreviewDialog::applyPageSetup(const ReportPageSetup &setup, QString *error)
{
    const ReportTemplate keep = m_tpl;
    try {
        m_tpl.page = setup;
        m_tpl.checkFits();
        relayout();
    } catch (const ReportError &e) {
        m_tpl = keep;
        if (error)
            *error = e.message();
        return false;
    }
    m_view->setDocument(&m_doc, [this](int i) { return pageAt(i); });
    updatePageLabel();
    return true;
}

bool ReportPreviewDialog::exportPdf(const QString &path, QString *error)
{
    try {
        if (holdsAllPages())
            writeReportPdf(m_doc, path);
        else
            writeReportPdf(input(), path);
        return true;
    } catch (const ReportError &e) {
        if (error)
            *error = e.message();
        return false;
    }
}

void ReportPreviewDialog::exportPdfAsked()
{
    const QString path = Prompter::instance().saveFile(QStringLiteral("导出 PDF"), QStringLiteral("PDF 文件 (*.pdf)"),
                                                       m_tpl.title + QStringLiteral(".pdf"), this);
    if (path.isEmpty())
        return;
    QString error;
    if (!exportPdf(path, &error))
        Prompter::instance().information(error, QString(), this);
}

void ReportPreviewDialog::print()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(m_tpl.title);
    printer.setPageLayout(reportPageLayout(m_doc.page));
    QPrintDialog dlg(&printer, this);
    dlg.setMinMax(1, qMax(1, m_doc.pageCount()));
    dlg.setOption(QAbstractPrintDialog::PrintPageRange, true);
    if (dlg.exec() != QDialog::Accepted)
        return;
    try {
        const bool range = printer.printRange() == QPrinter::PageRange;
        if (holdsAllPages())
            printReport(m_doc, printer, range ? printer.fromPage() : 0, range ? printer.toPage() : 0);
        else
            printReport(input(), printer, range ? printer.fromPage() : 0, range ? printer.toPage() : 0);
    } catch (const ReportError &e) {
        Prompter::instance().information(e.message(), QString(), this);
    }
}

void ReportPreviewDialog::pageSetup()
{
    QPrinter printer(QPrinter::HighResolution);
    QPageLayout layout = reportPageLayout(m_tpl.page);
    layout.setMinimumMargins(QMarginsF(0, 0, 0, 0));
    layout.setMargins(QMarginsF(m_tpl.page.marginLeft, m_tpl.page.marginTop, m_tpl.page.marginRight, m_tpl.page.marginBottom));
    printer.setPageLayout(layout);
    QPageSetupDialog dlg(&printer, this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    const QPageLayout chosen = printer.pageLayout();
    ReportPageSetup setup = m_tpl.page;
    setup.paper = chosen.pageSize().id();
    if (setup.paper == QPageSize::Custom) {
        setup.customSize = chosen.pageSize().size(QPageSize::Millimeter);
    }
    setup.orientation = chosen.orientation();
    const QMarginsF m = chosen.margins(QPageLayout::Millimeter);
    setup.marginLeft = m.left();
    setup.marginTop = m.top();
    setup.marginRight = m.right();
    setup.marginBottom = m.bottom();
    QString error;
    if (!applyPageSetup(setup, &error))
        Prompter::instance().information(error, QString(), this);
}

// ---- running a report ----

void setReportPreviewHook(ReportPreviewHook hook)
{
    previewHook() = std::move(hook);
}

bool previewReport(const QString &templateName, const ReportData &data, const ReportVariables &vars, QWidget *parent)
{
    try {
        const ReportTemplate tpl = ReportTemplate::load(templateName);
        if (previewHook()) {
            ReportInput in;
            in.tpl = &tpl;
            in.data = &data;
            in.variables = vars;
            previewHook()(layoutReport(in));
            return true;
        }
        ReportPreviewDialog dlg(tpl, data, vars, parent);
        dlg.setWindowState(dlg.windowState() | Qt::WindowMaximized);
        dlg.exec();
        return true;
    } catch (const ReportError &e) {
        Prompter::instance().information(e.message(), QString(), parent);
        return false;
    }
}
