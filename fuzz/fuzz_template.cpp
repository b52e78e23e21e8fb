// A report template file: read into a template, then laid out over a few
// rows; a template that is refused must be refused with a ReportError.
#include "reports/engine/reportdata.h"
#include "reports/engine/reportlayout.h"
#include "reports/engine/reporttemplate.h"

#include <QGuiApplication>
#include <cstdint>

namespace {
RowsReportData *g_rows = nullptr;

void layOut(const QByteArray &json)
{
    try {
        const ReportTemplate tpl = ReportTemplate::fromJson(json, QStringLiteral("fuzz"));
        ReportInput in;
        in.tpl = &tpl;
        in.data = g_rows;
        in.today = QDate(2024, 3, 1);
        // Any other name is a variable the window answers.
        in.variables.ask = [](const QString &name) -> std::optional<QVariant> {
            if (name.startsWith(QLatin1Char('x')))
                return std::nullopt;
            return QVariant(name + QStringLiteral("值"));
        };
        // A few pages tell everything; a template of endless pages stops there.
        in.pageSink = [](ReportPage &, int number) { return number < 4; };
        (void)layoutReport(in);
    } catch (const ReportError &) {
    }
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    g_rows = new RowsReportData({QStringLiteral("Code"), QStringLiteral("Name"), QStringLiteral("Price"), QStringLiteral("Date"),
                                 QStringLiteral("Asset.Type")},
                                {});
    g_rows->append({QStringLiteral("0001"), QStringLiteral("办公桌"), 120.5, QDate(2024, 1, 2), QStringLiteral("01")});
    g_rows->append({QStringLiteral("0001"), QStringLiteral("椅子"), 0.0, QVariant(), QStringLiteral("01")});
    g_rows->append({QStringLiteral("0002"), QString(), -3.25, QDate(1999, 12, 31), QVariant()});
    layOut(R"({"bands":[{"type":"data","height":8,"objects":[{"type":"text","text":"[Code] [Price:#,##0.00]","width":40,"height":8},
             {"type":"barcode","data":"[Code]","width":40,"height":8}]}]})");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    layOut(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
