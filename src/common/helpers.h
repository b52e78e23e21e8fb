#pragma once
#include <QDate>
#include <QString>

class Dataset;

// Small text and id routines the windows share. Positions count from 1.

// Fills s with c on the left (or right) up to n characters; never cuts.
QString PadString(const QString &s, int n, QChar c, bool onTheLeft);
// True when s is a whole decimal number that fits 32 bits (leading blanks and a sign allowed).
bool IsInteger(const QString &s);
// The decimal text of v filled with "0" on the left up to w digits.
QString PadNumber(qint64 v, int w);
QString RightStr(const QString &s, quint16 n);
QString MidStr(const QString &s, quint16 p, quint16 n);
QString LeftStr(const QString &s, quint16 n);
// s read as hexadecimal digits; throws DataError naming s when it is not hexadecimal.
qint64 HexToInt(const QString &s);

// The tree routines look at the rows a tree dataset holds (saved or not),
// and leave its filter and current row as they found them.
bool HasChildren(Dataset &tree, const QString &id);
// The id of a new child of parentId: the parent id and one more than the
// largest two-digit hexadecimal suffix among its children (01 for the first).
// Refuses with a DataError when the parent already has a child ending in FF.
QString NextChildId(Dataset &tree, const QString &parentId);

// The code of a new bill of `date`: "YYYYMMDD" and a sequence, one more than
// the largest of that day among the bills the list holds and, when the list
// is bound to a bill table, among those the table holds.
QString NextBillCode(Dataset &bills, const QDate &date);

// Whether the dataset holds rows appended, changed or deleted and not yet
// saved, under every master row and whatever its filter. Posts an edit in progress.
bool HasPendingUpdates(Dataset &ds);

// The data half of a title click on a grid column.
enum class SortMarker { None, Down, Up };
// The column a title click sorts by: the field itself, the key field of a
// looked-up field, nothing for calculated or long fields.
QString SortKeyFor(const Dataset &ds, const QString &fieldName);
// Sorts the dataset for a click on the column showing `fieldName` whose title
// carries `current`, and returns the marker the title shows next (down =
// descending, up = ascending). A column that cannot be sorted keeps no marker.
SortMarker SortGridByColumn(Dataset &ds, const QString &fieldName, SortMarker current);
