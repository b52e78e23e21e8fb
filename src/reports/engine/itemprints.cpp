#include "reports/engine/itemprints.h"
#include "data/dataset.h"
#include "reports/engine/reportdata.h"
#include "reports/engine/reportpreview.h"

ReportVariables itemCardVariables(const QString &organisationName)
{
    ReportVariables v;
    v.values.insert(QStringLiteral("dwmc"), organisationName);
    return v;
}

bool printItemCards(Dataset &ledger, QWidget *parent, const QString &organisationName)
{
    // The guard freezes the ledger's grid and puts back its filter and current item.
    DatasetStateGuard guard(ledger);
    const DatasetReportData rows(ledger);
    return previewReport(QLatin1String(ItemCardsTemplate), rows, itemCardVariables(organisationName), parent);
}

bool printItemLabels(Dataset &ledger, QWidget *parent)
{
    DatasetStateGuard guard(ledger);
    const DatasetReportData rows(ledger);
    return previewReport(QLatin1String(ItemLabelsTemplate), rows, ReportVariables(), parent);
}

ReportDocument layoutItemCards(const ReportData &items, const QString &organisationName, const QDate &today)
{
    const ReportTemplate tpl = ReportTemplate::load(QLatin1String(ItemCardsTemplate));
    ReportInput in;
    in.tpl = &tpl;
    in.data = &items;
    in.variables = itemCardVariables(organisationName);
    in.today = today;
    return layoutReport(in);
}

ReportDocument layoutItemLabels(const ReportData &items)
{
    const ReportTemplate tpl = ReportTemplate::load(QLatin1String(ItemLabelsTemplate));
    ReportInput in;
    in.tpl = &tpl;
    in.data = &items;
    return layoutReport(in);
}
