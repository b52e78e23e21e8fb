// The report preview: paging, zoom, page set-up laying the report out again,
// export to PDF through the Prompter.
#include "common/prompter.h"
#include "reports/engine/reportdata.h"
#include "reports/engine/reportpainter.h"
#include "reports/engine/reportpreview.h"

#include <QPrinter>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

namespace {

RowsReportData items(int n)
{
    // The ledger's columns the card and label print; the rest left empty.
    const QStringList fields{"Code", "Name", "BuyDate", "Model", "Unit", "Price", "Manufacturer", "ManufactureDate", "ManufactureCode",
                             "Firm", "Transactor", "Place", "BuildDate", "AppType", "Department", "User", "keeper", "TechnicalState", "Makeof"};
    RowsReportData d(fields, {});
    for (int i = 1; i <= n; ++i) {
        QVariantList row{QStringLiteral("0001%1").arg(i, 4, 10, QLatin1Char('0')), QStringLiteral("物品%1").arg(i), QDate(2024, 3, i)};
        while (row.size() < fields.size())
            row.append(QVariant());
        d.append(row);
    }
    return d;
}

QString pageLabel(ReportPreviewDialog &dlg)
{
    for (QLabel *l : dlg.findChildren<QLabel *>())
        if (l->text().startsWith(QStringLiteral("第 ")))
            return l->text();
    return QString();
}

} // namespace

class TestEnginePreview : public QObject {
    Q_OBJECT
private slots:
    void pagingZoomAndPageSetup();
    void exportPdf();
    void printsTheChosenPages();
    void longReportLaidOutAroundThePageShown();
};

void TestEnginePreview::pagingZoomAndPageSetup()
{
    const RowsReportData data = items(7);
    int asked = 0;
    ReportVariables vars;
    vars.ask = [&](const QString &name) -> std::optional<QVariant> {
        ++asked;
        return name == QLatin1String("dwmc") ? std::optional<QVariant>(QStringLiteral("示范单位")) : std::nullopt;
    };
    ReportPreviewDialog dlg(ReportTemplate::load(QStringLiteral("item-cards")), data, vars);
    dlg.resize(900, 700);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QCOMPARE(dlg.document().pageCount(), 3);
    QCOMPARE(pageLabel(dlg), QStringLiteral("第 1 页 / 共 3 页"));

    // Paging from the keyboard and the toolbar.
    dlg.view()->showPage(3);
    QCOMPARE(dlg.view()->currentPage(), 3);
    QCOMPARE(pageLabel(dlg), QStringLiteral("第 3 页 / 共 3 页"));
    dlg.view()->showPage(1);
    QTest::keyClick(dlg.view()->viewport(), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(dlg.view(), Qt::Key_PageDown);
    QVERIFY(dlg.view()->currentPage() > 1);

    // Zoom: the whole page fits the view.
    QComboBox *zoom = dlg.findChild<QComboBox *>();
    QVERIFY(zoom);
    const int whole = zoom->findText(QStringLiteral("整页"));
    zoom->setCurrentIndex(whole);
    emit zoom->activated(whole);
    const double z = dlg.view()->zoom();
    const double pagePxH = 297 * z * dlg.view()->logicalDpiY() / 25.4;
    QVERIFY(pagePxH <= dlg.view()->viewport()->height());
    QVERIFY(pagePxH > dlg.view()->viewport()->height() * 0.8);

    // Landscape A4 holds two cards a page: the report is laid out again.
    ReportPageSetup landscape = dlg.reportTemplate().page;
    landscape.orientation = QPageLayout::Landscape;
    QVERIFY(dlg.applyPageSetup(landscape));
    QCOMPARE(dlg.document().pageCount(), 4);
    QCOMPARE(pageLabel(dlg).right(7), QStringLiteral("/ 共 4 页"));
    QVERIFY(dlg.document().pages[3].texts().contains(QStringLiteral("示范单位")));
    // A sheet a card cannot fit on is refused and the pages stay.
    ReportPageSetup tiny = landscape;
    tiny.paper = QPageSize::Custom;
    tiny.customSize = QSizeF(100, 80);
    QString error;
    QVERIFY(!dlg.applyPageSetup(tiny, &error));
    QVERIFY2(error.contains(QStringLiteral("一页放不下")), qPrintable(error));
    QCOMPARE(dlg.document().pageCount(), 4);
    QCOMPARE(dlg.reportTemplate().page.orientation, QPageLayout::Landscape);
    // The window was asked for its variable once, however often the report was laid out.
    QCOMPARE(asked, 1);

    const QString shots = qEnvironmentVariable("ZENTRAV_SCREENSHOT_DIR");
    if (!shots.isEmpty())
        dlg.grab().save(QDir(shots).filePath(QStringLiteral("report-preview.png")));
}

void TestEnginePreview::exportPdf()
{
    const RowsReportData data = items(12);
    ReportPreviewDialog dlg(ReportTemplate::load(QStringLiteral("item-labels")), data, {});
    QCOMPARE(dlg.document().pageCount(), 2);
    QTemporaryDir dir;
    ScopedScriptedPrompter prompter;

    const QString path = dir.filePath(QStringLiteral("标签.pdf"));
    prompter->files.push_back(path);
    dlg.exportPdfAsked();
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.read(5), QByteArray("%PDF-"));
    QVERIFY(prompter->shown.back().kind == QLatin1String("save"));

    // Cancelled: nothing written, nothing said.
    prompter->clear();
    dlg.exportPdfAsked();
    QCOMPARE(prompter->shown.size(), size_t(1));

    // A folder that does not exist: the user is told, no file appears.
    prompter->clear();
    const QString bad = dir.filePath(QStringLiteral("no/such/folder/x.pdf"));
    prompter->files.push_back(bad);
    dlg.exportPdfAsked();
    QCOMPARE(prompter->shown.size(), size_t(2));
    QVERIFY2(prompter->lastText().startsWith(QStringLiteral("无法写入 PDF 文件")), qPrintable(prompter->lastText()));
    QVERIFY(!QFile::exists(bad));
}

void TestEnginePreview::printsTheChosenPages()
{
    // A printer writing to a file stands in for a real one.
    const RowsReportData data = items(25);
    ReportPreviewDialog dlg(ReportTemplate::load(QStringLiteral("item-labels")), data, {});
    QCOMPARE(dlg.document().pageCount(), 3);
    QTemporaryDir dir;
    auto pagesPrinted = [&](int from, int to) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(QStringLiteral("printed.pdf")));
        printReport(dlg.document(), printer, from, to);
        QFile f(printer.outputFileName());
        if (!f.open(QIODevice::ReadOnly))
            return -1;
        return int(f.readAll().count("/Type /Page\n"));
    };
    QCOMPARE(pagesPrinted(0, 0), 3);
    QCOMPARE(pagesPrinted(2, 3), 2);
    QCOMPARE(pagesPrinted(3, 9), 1);
}

void TestEnginePreview::longReportLaidOutAroundThePageShown()
{
    // Held whole, the labels of 95 items make ten pages; here the preview may hold only two.
    ReportPreviewDialog::setPagesHeldLimit(2);
    auto restore = qScopeGuard([] { ReportPreviewDialog::setPagesHeldLimit(2000); });
    const RowsReportData data = items(95);
    const ReportTemplate tpl = ReportTemplate::load(QStringLiteral("item-labels"));
    ReportInput whole;
    whole.tpl = &tpl;
    whole.data = &data;
    const ReportDocument full = layoutReport(whole);
    QCOMPARE(full.pageCount(), 10);

    ReportPreviewDialog dlg(tpl, data, {});
    QVERIFY(!dlg.holdsAllPages());
    QVERIFY(dlg.document().pages.isEmpty());
    QCOMPARE(dlg.document().pageCount(), 10);
    for (int i : {9, 0, 4}) {
        const ReportPage *p = dlg.pageAt(i);
        QVERIFY(p);
        QCOMPARE(p->texts(), full.pages[i].texts());
    }
    QVERIFY(!dlg.pageAt(10));
    dlg.resize(800, 600);
    dlg.show();
    dlg.view()->showPage(7);
    QVERIFY(!dlg.grab().isNull());

    // Export and print from such a preview stream the pages.
    QTemporaryDir dir;
    QString error;
    QVERIFY2(dlg.exportPdf(dir.filePath(QStringLiteral("long.pdf")), &error), qPrintable(error));
    QFile f(dir.filePath(QStringLiteral("long.pdf")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(int(f.readAll().count("/Type /Page\n")), 10);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("printed.pdf")));
    printReport(whole, printer, 4, 6);
    QFile printed(printer.outputFileName());
    QVERIFY(printed.open(QIODevice::ReadOnly));
    QCOMPARE(int(printed.readAll().count("/Type /Page\n")), 3);
}

QTEST_MAIN(TestEnginePreview)
#include "tst_engine_preview.moc"
