#pragma once
#include <QList>
#include <QRectF>
#include <QString>

// A Code 128 (subset B) symbol with its check character, as libzint's vector
// output gives it: the bars as rectangles in modules.
struct Code128Symbol {
    bool ok = false;
    QString error;          // zint's reason when the data cannot be encoded
    QString text;           // the symbol's human-readable text, as zint reports it
    int modules = 0;        // width of the symbol in modules (no quiet zone)
    QList<QRectF> bars;     // x and width in modules; y and height 0..1 of the bar height
};

Code128Symbol encodeCode128B(const QString &data);
