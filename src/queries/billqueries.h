#pragma once
#include "queries/loanqueries.h"

class Dialect;

// Statements of the acquisition, transfer and write-off bill queries.
// Untallied bills are always listed; tallied ones when their bill date (the
// write-off date for write-offs) lies in [minDate, maxDate].
namespace BillQueries {

// Acquisition bills with their category as "[code]name" (Typename).
BillQuery acquisitions(const Dialect &d, const QDate &from, const QDate &to);
BillQuery transfers(const Dialect &d, const QDate &from, const QDate &to);
// The lines of the transfer bill :Id, with their items.
QString transferLinesSql(const Dialect &d);
BillQuery writeOffs(const Dialect &d, const QDate &from, const QDate &to);

} // namespace BillQueries
