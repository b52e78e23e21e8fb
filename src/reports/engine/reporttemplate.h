#pragma once
#include <QByteArray>
#include <QColor>
#include <QList>
#include <QPageLayout>
#include <QPageSize>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <stdexcept>

// A printed form as data: page set-up in mm and bands of placed objects,
// read from a JSON file in templates/ (compiled in, or a file of the same
// name in a templates/ folder beside the executable).
//
//   {
//     "title": "物品卡片",
//     "page": { "paper": "A4", "orientation": "portrait",
//               "margins": { "left": 10, "top": 10, "right": 10, "bottom": 10 },
//               "columns": 2, "columnWidth": 95, "columnFlow": "across" },
//     "font": { "size": 11 },
//     "bands": [
//       { "type": "pageHeader", "height": 8, "objects": [ ... ] },
//       { "type": "groupHeader", "condition": "[Code]", "height": 8, ... },
//       { "type": "data", "height": 88, "objects": [ ... ] },
//       ...
//     ]
//   }
//
// Objects: text ("text" with [expressions]), line, rect (with "radius" a
// rounded rectangle), barcode (Code 128 B of an expression). Every place and
// size is in mm from the band's top left corner.

// A template that cannot be used; the message names the template and the fault.
class ReportError : public std::runtime_error {
public:
    explicit ReportError(const QString &message) : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }

private:
    QString m_message;
};

struct ReportFont {
    QString family;   // empty: the program's "宋体" with its fallbacks
    double size = 11; // points
    bool bold = false;
    bool italic = false;
    bool underline = false;
};

struct ReportObject {
    enum Kind { Text, Line, Rect, Barcode };
    enum Side { Left = 1, Top = 2, Right = 4, Bottom = 8, AllSides = 15 };
    Kind kind = Text;
    QRectF rect;              // mm within the band; a line runs from topLeft to bottomRight
    QString text;             // text: fixed text with [expressions]; barcode: the expression of its data
    QString format;           // default display format of the values in text
    Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
    ReportFont font;
    int frame = 0;            // Side flags: ruled edges of a text cell
    double lineWidth = 0.2;   // mm, for frames, lines and rectangles
    double radius = 0;        // mm, rounded rectangle corners
    bool wordWrap = false;
    bool shrinkToFit = false; // a text too long for its cell is set smaller rather than cut
    bool showText = true;     // barcode: print the data under the bars
    QColor color = Qt::black;
    QColor fill;              // rect/text background; invalid = none
};

struct ReportBand {
    enum Type { ReportTitle, PageHeader, GroupHeader, Data, GroupFooter, ReportSummary, PageFooter };
    Type type = Data;
    double height = 0;        // mm
    QString condition;        // group header: a new group starts whenever this text changes
    int level = -1;           // group header/footer: nesting level, 0 the outermost
    bool startNewPage = false; // begin on a fresh page (data: every row after the first)
    bool keepWithData = true; // group header: moves to the next page with the first row under it
    bool printOnFirstPage = true; // page header/footer
    QList<ReportObject> objects;
};

struct ReportPageSetup {
    QPageSize::PageSizeId paper = QPageSize::A4;
    QSizeF customSize; // mm, portrait, when paper is QPageSize::Custom
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    double marginLeft = 10, marginTop = 10, marginRight = 10, marginBottom = 10;
    int columns = 1;
    double columnWidth = 0; // mm; 0 = the printable width divided by the columns
    bool flowAcross = false; // columns filled left to right row by row (labels), else top to bottom

    QSizeF paperSizeMm() const; // oriented
    QRectF printableMm() const;
    double effectiveColumnWidth() const;
};

struct ReportTemplate {
    QString name;   // file name without .json
    QString title;  // shown in the preview's caption
    ReportPageSetup page;
    ReportFont font; // default for every text
    QList<ReportBand> bands;

    const ReportBand *band(ReportBand::Type t) const; // the first of that type, or null
    QList<const ReportBand *> groupHeaders() const;    // outermost first
    const ReportBand *groupFooter(int level) const;

    // Refuses (ReportError) a band that could never be placed on a page of this set-up.
    void checkFits() const;

    // Reads the template `name` (without .json): templates/<name>.json beside
    // the executable when there is one, else the compiled-in copy.
    static ReportTemplate load(const QString &name);
    // Reads a template from JSON text; `name` is used in messages.
    static ReportTemplate fromJson(const QByteArray &json, const QString &name);
    // Where load() takes a template from (for messages and the preview).
    static QString sourcePath(const QString &name);
    // The folder searched before the compiled-in templates; tests may point it elsewhere.
    static void setOverrideFolder(const QString &folder);
    static QString overrideFolder();
};
