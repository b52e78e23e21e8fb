#pragma once
#include <QDate>
#include <QString>
#include <QVariant>
#include <QVariantMap>

class Dialect;
class Dataset;

// Statements of the loan and repair queries and the personal loan list.
// Bills not yet closed (state 0, 1, 2) are always listed; closed ones when
// their loan or repair date lies in [from, to].
struct BillQuery {
    QString sql;
    QVariantMap params;
};

namespace LoanQueries {

BillQuery loans(const Dialect &d, const QDate &from, const QDate &to);
BillQuery repairs(const Dialect &d, const QDate &from, const QDate &to);
// Loans tallied and not yet returned (state 1 and 2) whose borrower is `name`.
BillQuery personalLoans(const Dialect &d, const QString &name);

// The state names of the bills, "" for any other state.
QString loanStateName(const QVariant &state);
QString repairStateName(const QVariant &state);

// The state choices of the two query windows, in their order; the first
// lists everything, the second keeps "state<3", the third "state=3".
QStringList loanStateChoices();
QStringList repairStateChoices();
// The in-memory filter text of a choice ("" for none).
QString stateChoiceFilter(int choice);

// Puts the statement, its parameters and the calculated StateName on a read-only dataset.
void applyLoans(Dataset &ds, const BillQuery &q);
void applyRepairs(Dataset &ds, const BillQuery &q);

} // namespace LoanQueries
