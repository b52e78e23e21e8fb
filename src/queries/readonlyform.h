#pragma once
#include <QString>
#include <vector>

class Dataset;
class QGroupBox;
class QWidget;

// Read-only forms of the query windows: labelled boxes bound to the current
// row of a dataset, cream, never taking text.
struct ReadOnlyField {
    const char *label;
    const char *field;
    int span = 1; // grid columns taken
};

// Rows of labelled boxes over `columns` columns; a field ending in "Date" gets a date box.
QWidget *readOnlyCard(Dataset *ds, const std::vector<std::vector<ReadOnlyField>> &rows, QWidget *parent, int columns = 3);
// A framed multi-line box of one column.
QGroupBox *readOnlyMemo(Dataset *ds, const QString &title, const QString &field, QWidget *parent);
