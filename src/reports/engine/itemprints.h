#pragma once
#include "reports/engine/reportlayout.h"

#include <QString>

class Dataset;
class QWidget;
class ReportData;

// The ledger window's two print buttons. Each runs its report over the items
// the ledger lists as they stand (filter, sort order and unsaved rows
// included) and shows the preview; afterwards the ledger is back on the item
// that was current. A template that cannot be used is told through the
// Prompter. Returns whether the preview was shown.
//
//   "打印资产卡片": printItemCards(m_ledger, this, settings.organisationName());
//   "打印资产标签": printItemLabels(m_ledger, this);
bool printItemCards(Dataset &ledger, QWidget *parent, const QString &organisationName);
bool printItemLabels(Dataset &ledger, QWidget *parent);

// The templates' names and the variables they ask for.
inline const char *const ItemCardsTemplate = "item-cards";
inline const char *const ItemLabelsTemplate = "item-labels";
ReportVariables itemCardVariables(const QString &organisationName);

// The same reports laid out without a window (the command-line tool, tests).
ReportDocument layoutItemCards(const ReportData &items, const QString &organisationName, const QDate &today = QDate::currentDate());
ReportDocument layoutItemLabels(const ReportData &items);
