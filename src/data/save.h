#pragma once
#include <functional>
#include <initializer_list>

class Connection;
class Dataset;

// Writes the pending changes of every dataset in one transaction on `conn`;
// `work` (a tally's own statements) runs inside the same transaction after
// the datasets are written. Only after the commit are the datasets marked
// clean. On any failure the transaction is rolled back, every pending change
// stays as it was, and the DataError is rethrown for the window to report.
void saveAll(Connection &conn, std::initializer_list<Dataset *> datasets, const std::function<void()> &work = {});
// The same, with `prepare` run first inside the transaction, before any
// dataset is written (a bill claims its code under the table's lock there).
void saveAll(Connection &conn, std::initializer_list<Dataset *> datasets, const std::function<void()> &work,
             const std::function<void()> &prepare);
