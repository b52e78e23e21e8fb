#pragma once
#include <QDate>
#include <QList>
#include <QString>
#include <QVariant>

// The text of a report object: fixed text with [expressions].
//
//   [Name]                 a field of the current row, a variable the calling
//                          window answers (dwmc, cxrq, datespac) or a built-in
//                          (Date, Page, TotalPages, Line)
//   [Price:#,##0.00]       the same with a display format after the first ':'
//   [SUM(Price)] [COUNT()] aggregates over the group (in a group header or
//                          footer), the page (page header/footer) or the whole
//                          report (title, summary); also AVG, MIN, MAX
//   [[                     a literal "["
//
// Formats: "YYYY年MM月DD日" or any pattern of YYYY/YY, MM/M, DD/D (either
// case); "date" the program's short date (yyyy/M/d); "#,##0.00" (also
// "%2.2n", "money") two decimals with thousands separators; "0.##" at most
// two decimals; "0.00" exactly two; "0" a whole number.
struct ExprPart {
    enum Agg { None, Sum, Count, Avg, Min, Max };
    bool literal = true;
    QString text;   // literal text
    QString name;   // field, variable or built-in; the aggregated field
    Agg agg = None;
    QString format; // empty: the object's format
};

// Splits a text into literal parts and expressions. Returns false and sets
// `error` (in Chinese) on an unclosed bracket or a malformed expression.
bool parseExpressionText(const QString &text, QList<ExprPart> *parts, QString *error);

// The value printed for `v` under `format` (empty: the value's natural form:
// dates in the short form, numbers with at most two decimals).
QString formatReportValue(const QVariant &v, const QString &format);

// Whether a format is one formatReportValue understands.
bool isKnownReportFormat(const QString &format);

// The program's short date (yyyy/M/d) and the printed long date (YYYY年MM月DD日).
QString reportShortDate(const QDate &d);
QString reportLongDate(const QDate &d);
