#pragma once
#include "reports/engine/reportlayout.h"

#include <QAbstractScrollArea>
#include <QDialog>
#include <functional>
#include <map>

class QComboBox;
class QLabel;
class QAction;
class ReportData;

// The pages of a laid-out report, one under the other, at a zoom.
class ReportPagesView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit ReportPagesView(QWidget *parent = nullptr);
    // The document gives the paper and the page count; `pageAt` (0-based)
    // the pages, which a long report lays out only when they are shown.
    void setDocument(const ReportDocument *doc, std::function<const ReportPage *(int index)> pageAt = {});
    double zoom() const { return m_zoom; }
    void setZoom(double zoom); // 1.0 = paper size on screen
    double zoomForPageWidth() const;
    double zoomForWholePage() const;
    int currentPage() const; // 1-based: the page at the top of the view
    void showPage(int page);

signals:
    void currentPageChanged(int page);

protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    double pxPerMm() const;
    QSizeF pagePx() const;
    void updateScrollBars();

    const ReportDocument *m_doc = nullptr;
    std::function<const ReportPage *(int)> m_pageAt;
    double m_zoom = 1.0;
    int m_lastPage = 0;
};

// The report preview: print, export to PDF, page set-up, zoom and paging.
// The report is read-only here. It lays the report out itself, so a change
// of page set-up lays it out again on the same rows.
class ReportPreviewDialog : public QDialog {
    Q_OBJECT
public:
    // Throws ReportError when the template cannot be used with these rows.
    ReportPreviewDialog(const ReportTemplate &tpl, const ReportData &data, const ReportVariables &vars,
                        QWidget *parent = nullptr);

    const ReportDocument &document() const { return m_doc; }
    ReportPagesView *view() const { return m_view; }
    const ReportTemplate &reportTemplate() const { return m_tpl; }
    // Page `index` (0-based), laid out again on demand when the report is too long to hold.
    const ReportPage *pageAt(int index);
    bool holdsAllPages() const { return m_doc.pages.size() == m_doc.pageCount(); }

    // Reports of more pages than this are not held whole: the preview lays
    // out the pages around the one shown. Tests lower it.
    static void setPagesHeldLimit(int pages);

    // Lays the report out again on another page set-up; false (and the old
    // set-up kept) when the bands do not fit, with the reason in `error`.
    bool applyPageSetup(const ReportPageSetup &setup, QString *error = nullptr);
    // Writes the pages to `path`; false with the reason in `error`.
    bool exportPdf(const QString &path, QString *error = nullptr);

public slots:
    void print();
    void exportPdfAsked();
    void pageSetup();

private:
    void relayout();
    void updatePageLabel();
    ReportInput input() const;

    ReportTemplate m_tpl;
    const ReportData &m_data;
    ReportVariables m_vars;
    ReportDocument m_doc;
    std::map<int, ReportPage> m_window; // pages around the one shown, when not all are held
    ReportPagesView *m_view;
    QComboBox *m_zoomBox;
    QLabel *m_pageLabel;
};

// Runs a report over rows and shows the preview (modal). A template that
// cannot be used is told through the Prompter; returns whether the preview
// was shown. The calling window answers its variables through `vars`.
bool previewReport(const QString &templateName, const ReportData &data, const ReportVariables &vars, QWidget *parent);

// Tests see the laid-out report instead of a modal preview while a hook is set.
using ReportPreviewHook = std::function<void(const ReportDocument &)>;
void setReportPreviewHook(ReportPreviewHook hook);
