#pragma once
#include <QHash>

class Connection;
class Dataset;

// Saving bills: the lines and the bill rows in one transaction, the way the
// bill windows' Save and zentrav-cli save-bill write them.
//
// A new bill is given its code ("YYYYMMDD" and a number of the day) when it
// is appended, long before it is saved, so two users appending at the same
// time are offered the same code. The save settles it: under the bill
// table's lock, a new bill whose code another bill already holds takes the
// next free number of the same day. Codes the user typed in another form are
// written as typed.
//
// `held`: the saved bills whose row or lines the window changed, with the
// state the window read them in. If another user has tallied, changed the
// state of or deleted one of them since, nothing is written and a conflict
// is raised: a tallied bill stays as it was tallied.
void saveBills(Connection &conn, Dataset &bills, Dataset *lines = nullptr, const QHash<qint64, int> &held = {});

// That check alone, inside the caller's transaction.
void requireHeldStates(Connection &conn, const QString &table, const QHash<qint64, int> &held);

// The settling step alone, inside the caller's transaction, before the rows
// are written. Returns how many new bills changed their code.
int claimBillCodes(Connection &conn, Dataset &bills);
