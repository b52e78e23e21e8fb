#include "reports/engine/reportlayout.h"
#include "reports/engine/barcode.h"
#include "reports/engine/reportdata.h"
#include "reports/engine/reportexpr.h"

#include <QHash>
#include <QTime>
#include <cmath>
#include <map>
#include <vector>

QStringList ReportPage::texts() const
{
    QStringList out;
    for (const ReportPrimitive &p : items)
        if (p.kind == ReportPrimitive::Text)
            out << p.text;
    return out;
}

QList<int> ReportPage::rowsOnPage() const
{
    QList<int> out;
    for (const ReportPrimitive &p : items)
        if (p.band == ReportBand::Data && p.row >= 0 && (out.isEmpty() || out.last() != p.row))
            out << p.row;
    return out;
}

namespace {

const QString kTotalPages = QStringLiteral("\x01TotalPages\x01");

// An expression resolved against the data and the variables.
struct Term {
    enum Kind { Literal, Field, Value, Date, Time, Page, TotalPages, Line, Aggregate };
    Kind kind = Literal;
    QString text;     // literal
    int field = -1;   // field, or aggregated field (-1: COUNT of rows)
    QVariant value;   // variable
    ExprPart::Agg agg = ExprPart::None;
    QString format;
};

struct CompiledObject {
    const ReportObject *obj = nullptr;
    QList<Term> terms;
};

struct CompiledBand {
    const ReportBand *band = nullptr;
    QList<CompiledObject> objects;
    QList<Term> condition;
};

// Where a band is evaluated: its row and the rows its aggregates cover.
struct Scope {
    int row = -1;
    int from = 0, to = 0; // [from, to)
    int page = 1;
    int line = 0;
};

struct StopLayout {};

class Layouter {
public:
    explicit Layouter(const ReportInput &in) : m_in(in), m_tpl(*in.tpl), m_data(*in.data) {}

    ReportDocument run()
    {
        compile();
        m_doc.title = m_tpl.title;
        m_doc.page = m_tpl.page;
        m_printable = m_tpl.page.printableMm();
        m_colWidth = m_tpl.page.effectiveColumnWidth();
        m_columns = m_tpl.page.columns;
        const int n = m_data.rowCount();
        computeGroups(n);

        newPage();
        if (m_title)
            placeFullWidth(*m_title, Scope{n > 0 ? 0 : -1, 0, n, 1, 0});
        if (m_pageHeader && m_pageHeaderPending)
            placePageHeaderNow();

        const int levels = int(m_groupHeaders.size());
        for (int r = 0; r < n; ++r) {
            m_nextRow = r;
            // Headers of the groups that start at this row, outermost first.
            int firstNew = levels;
            for (int l = 0; l < levels; ++l)
                if (m_groupStart[size_t(l)][size_t(r)] == r) {
                    firstNew = l;
                    break;
                }
            if (firstNew < levels) {
                bool breakPage = false;
                double need = m_dataBand ? m_dataBand->band->height : 0;
                for (int l = firstNew; l < levels; ++l) {
                    need += m_groupHeaders[size_t(l)].band->height;
                    breakPage |= m_groupHeaders[size_t(l)].band->startNewPage && r > 0;
                }
                if (breakPage)
                    newPage();
                else if (m_groupHeaders[size_t(firstNew)].band->keepWithData)
                    ensureRoom(need);
                for (int l = firstNew; l < levels; ++l)
                    placeInColumn(m_groupHeaders[size_t(l)], groupScope(l, r));
            }
            if (m_dataBand) {
                if (m_dataBand->band->startNewPage && r > 0)
                    newPage();
                placeInColumn(*m_dataBand, Scope{r, 0, r + 1, 0, r + 1});
            }
            m_nextRow = r + 1;
            // Footers of the groups that end at this row, innermost first.
            for (int l = levels - 1; l >= 0; --l) {
                const bool ends = r + 1 == n || m_groupStart[size_t(l)][size_t(r + 1)] == r + 1;
                if (ends && m_groupFooters[size_t(l)].band)
                    placeInColumn(m_groupFooters[size_t(l)], groupScope(l, r));
            }
        }
        m_nextRow = n;
        if (m_summary) {
            if (m_summary->band->startNewPage)
                newPage();
            placeFullWidth(*m_summary, Scope{n > 0 ? n - 1 : -1, 0, n, 0, n});
        }
        closePage();
        m_doc.pageTotal = m_pageNo;
        fillTotalPages(m_doc.pages, m_pageNo);
        return std::move(m_doc);
    }

    ReportDocument runStreamed()
    {
        try {
            return run();
        } catch (const StopLayout &) {
            m_doc.pageTotal = m_pageNo;
            return std::move(m_doc);
        }
    }

private:
    [[noreturn]] void fail(const QString &what) const
    {
        throw ReportError(QStringLiteral("报表模板“%1”无法使用：%2").arg(m_tpl.name, what));
    }

    std::optional<QVariant> variable(const QString &name)
    {
        const QString key = name.toLower();
        auto cached = m_varCache.constFind(key);
        if (cached != m_varCache.cend())
            return *cached;
        for (auto it = m_in.variables.values.cbegin(); it != m_in.variables.values.cend(); ++it)
            if (it.key().compare(name, Qt::CaseInsensitive) == 0) {
                m_varCache.insert(key, it.value());
                return it.value();
            }
        if (m_in.variables.ask) {
            const std::optional<QVariant> v = m_in.variables.ask(name);
            if (v) {
                m_varCache.insert(key, *v);
                return v;
            }
        }
        return std::nullopt;
    }

    QList<Term> compileText(const QString &text, const QString &defaultFormat)
    {
        QList<ExprPart> parts;
        QString error;
        if (!parseExpressionText(text, &parts, &error))
            fail(error);
        QList<Term> terms;
        for (const ExprPart &p : parts) {
            Term t;
            t.format = p.format.isEmpty() ? defaultFormat : p.format;
            if (p.literal) {
                t.kind = Term::Literal;
                t.text = p.text;
            } else if (p.agg != ExprPart::None) {
                t.kind = Term::Aggregate;
                t.agg = p.agg;
                if (!p.name.isEmpty()) {
                    t.field = m_data.fieldIndex(p.name);
                    if (t.field < 0)
                        fail(QStringLiteral("“%1”不是数据中的字段").arg(p.name));
                }
            } else {
                const QString n = p.name.trimmed();
                static const QHash<QString, Term::Kind> builtins{{QStringLiteral("date"), Term::Date},
                                                                 {QStringLiteral("time"), Term::Time},
                                                                 {QStringLiteral("page"), Term::Page},
                                                                 {QStringLiteral("page#"), Term::Page},
                                                                 {QStringLiteral("totalpages"), Term::TotalPages},
                                                                 {QStringLiteral("totalpages#"), Term::TotalPages},
                                                                 {QStringLiteral("line"), Term::Line},
                                                                 {QStringLiteral("line#"), Term::Line}};
                auto b = builtins.constFind(n.toLower());
                if (b != builtins.cend()) {
                    t.kind = *b;
                } else if ((t.field = m_data.fieldIndex(n)) >= 0) {
                    t.kind = Term::Field;
                } else if (const std::optional<QVariant> v = variable(n)) {
                    t.kind = Term::Value;
                    t.value = *v;
                } else {
                    fail(QStringLiteral("“[%1]”既不是数据中的字段，也不是报表变量").arg(n));
                }
            }
            terms.append(t);
        }
        return terms;
    }

    CompiledBand compileBand(const ReportBand &b)
    {
        CompiledBand cb;
        cb.band = &b;
        for (const ReportObject &o : b.objects) {
            CompiledObject co;
            co.obj = &o;
            if (o.kind == ReportObject::Text || o.kind == ReportObject::Barcode)
                co.terms = compileText(o.text, o.kind == ReportObject::Text ? o.format : QString());
            cb.objects.append(co);
        }
        if (b.type == ReportBand::GroupHeader)
            cb.condition = compileText(b.condition, QString());
        return cb;
    }

    void compile()
    {
        const QList<const ReportBand *> headers = m_tpl.groupHeaders();
        m_groupHeaders.resize(size_t(headers.size()));
        m_groupFooters.resize(size_t(headers.size()));
        for (const ReportBand &b : m_tpl.bands) {
            switch (b.type) {
            case ReportBand::ReportTitle: m_title = std::make_unique<CompiledBand>(compileBand(b)); break;
            case ReportBand::PageHeader: m_pageHeader = std::make_unique<CompiledBand>(compileBand(b)); break;
            case ReportBand::PageFooter: m_pageFooter = std::make_unique<CompiledBand>(compileBand(b)); break;
            case ReportBand::ReportSummary: m_summary = std::make_unique<CompiledBand>(compileBand(b)); break;
            case ReportBand::Data: m_dataBand = std::make_unique<CompiledBand>(compileBand(b)); break;
            case ReportBand::GroupHeader: m_groupHeaders[size_t(b.level)] = compileBand(b); break;
            case ReportBand::GroupFooter: m_groupFooters[size_t(b.level)] = compileBand(b); break;
            }
        }
    }

    void computeGroups(int n)
    {
        const int levels = int(m_groupHeaders.size());
        m_groupStart.assign(size_t(levels), std::vector<int>(size_t(n), 0));
        std::vector<QString> prev(static_cast<size_t>(levels), QString());
        for (int r = 0; r < n; ++r) {
            bool changed = r == 0;
            for (int l = 0; l < levels; ++l) {
                const QString key = evalTerms(m_groupHeaders[size_t(l)].condition, Scope{r, r, r + 1, 0, r + 1});
                changed = changed || key != prev[size_t(l)];
                prev[size_t(l)] = key;
                m_groupStart[size_t(l)][size_t(r)] = changed ? r : m_groupStart[size_t(l)][size_t(r - 1)];
            }
        }
    }

    // The scope of group level l around row r: the group's first row for its
    // fields in a header, its last in a footer; its rows for aggregates.
    Scope groupScope(int l, int r)
    {
        const int n = m_data.rowCount();
        const int from = m_groupStart[size_t(l)][size_t(r)];
        int to = r + 1;
        while (to < n && m_groupStart[size_t(l)][size_t(to)] == from)
            ++to;
        return Scope{r, from, to, 0, r + 1};
    }

    // Running sums per field, so every range is answered at once.
    const std::vector<double> &prefixSums(int field)
    {
        auto it = m_prefixSum.find(field);
        if (it != m_prefixSum.end())
            return it->second;
        const int n = m_data.rowCount();
        std::vector<double> sums(size_t(n) + 1, 0.0), counts(size_t(n) + 1, 0.0);
        for (int r = 0; r < n; ++r) {
            const QVariant v = m_data.value(r, field);
            bool ok = false;
            const double x = v.isNull() ? 0.0 : v.toDouble(&ok);
            sums[size_t(r) + 1] = sums[size_t(r)] + (ok ? x : 0.0);
            counts[size_t(r) + 1] = counts[size_t(r)] + (v.isNull() || !v.isValid() ? 0.0 : 1.0);
        }
        m_prefixCount[field] = std::move(counts);
        return m_prefixSum[field] = std::move(sums);
    }

    QVariant aggregate(const Term &t, const Scope &s)
    {
        const int from = qMax(0, s.from), to = qMax(from, s.to);
        if (t.agg == ExprPart::Count && t.field < 0)
            return qint64(to - from);
        if (t.agg == ExprPart::Min || t.agg == ExprPart::Max) {
            QVariant best;
            for (int r = from; r < to; ++r) {
                const QVariant v = m_data.value(r, t.field);
                if (v.isNull() || !v.isValid())
                    continue;
                if (!best.isValid() || (t.agg == ExprPart::Min ? QVariant::compare(v, best) < 0 : QVariant::compare(v, best) > 0))
                    best = v;
            }
            return best;
        }
        const std::vector<double> &sums = prefixSums(t.field);
        const std::vector<double> &counts = m_prefixCount[t.field];
        const double count = counts[size_t(to)] - counts[size_t(from)];
        const double sum = sums[size_t(to)] - sums[size_t(from)];
        switch (t.agg) {
        case ExprPart::Count: return qint64(count);
        case ExprPart::Sum: return std::round(sum * 1e6) / 1e6; // drop the noise of adding many decimals
        case ExprPart::Avg: return count > 0 ? QVariant(sum / count) : QVariant();
        default: return QVariant();
        }
    }

    QString evalTerms(const QList<Term> &terms, const Scope &s)
    {
        QString out;
        for (const Term &t : terms) {
            switch (t.kind) {
            case Term::Literal: out += t.text; break;
            case Term::Field:
                if (s.row >= 0)
                    out += formatReportValue(m_data.value(s.row, t.field), t.format);
                break;
            case Term::Value: out += formatReportValue(t.value, t.format); break;
            case Term::Date: out += formatReportValue(m_in.today, t.format.isEmpty() ? QStringLiteral("date") : t.format); break;
            case Term::Time: out += QTime::currentTime().toString(QStringLiteral("HH:mm:ss")); break;
            case Term::Page: out += QString::number(s.page); break;
            case Term::TotalPages: out += kTotalPages; break;
            case Term::Line: out += QString::number(s.line); break;
            case Term::Aggregate: out += formatReportValue(aggregate(t, s), t.format); break;
            }
        }
        return out;
    }

    // ---- pages and columns ----

    double bodyBottom() const { return m_printable.bottom() - (m_pageFooter ? m_pageFooter->band->height : 0); }

    void newPage()
    {
        if (m_pageNo > 0)
            closePage();
        m_doc.pages.append(ReportPage());
        ++m_pageNo;
        m_pageRowsFrom = -1;
        m_pageRowsTo = -1;
        m_y = m_printable.top();
        const bool first = m_pageNo == 1;
        m_pageHeaderPending = m_pageHeader && (!first || m_pageHeader->band->printOnFirstPage);
        if (!first && m_pageHeaderPending)
            placePageHeaderNow();
        m_colTop = m_y;
        m_col = 0;
        m_rowTop = m_y;
        m_rowHeight = 0;
    }

    // The page header sits under the report title on the first page; its
    // fields are those of the first row the page will hold.
    void placePageHeaderNow()
    {
        m_pageHeaderPending = false;
        const int n = m_data.rowCount();
        const int row = m_nextRow < n ? m_nextRow : -1;
        emitBand(*m_pageHeader, QPointF(m_printable.left(), m_y), Scope{row, m_nextRow, m_nextRow, m_pageNo, m_nextRow});
        m_y += m_pageHeader->band->height;
        m_colTop = m_y;
        m_rowTop = m_y;
        m_rowHeight = 0;
        m_col = 0;
    }

    void closePage()
    {
        const int page = m_pageNo;
        const int from = m_pageRowsFrom < 0 ? 0 : m_pageRowsFrom;
        const int to = m_pageRowsFrom < 0 ? 0 : m_pageRowsTo;
        const bool first = page == 1;
        if (m_pageFooter && (!first || m_pageFooter->band->printOnFirstPage))
            emitBand(*m_pageFooter, QPointF(m_printable.left(), bodyBottom()),
                     Scope{m_pageRowsTo > 0 ? m_pageRowsTo - 1 : -1, from, to, page, to});
        if (m_in.pageSink) {
            // Streamed: the page leaves the document as soon as it is whole.
            ReportPage done = m_doc.pages.takeLast();
            if (m_in.totalPages > 0) {
                QList<ReportPage> one{std::move(done)};
                fillTotalPages(one, m_in.totalPages);
                done = std::move(one.first());
            }
            if (!m_in.pageSink(done, page)) {
                m_doc.pageTotal = page;
                throw StopLayout();
            }
        }
    }

    static void fillTotalPages(QList<ReportPage> &pages, int total) { fillReportTotalPages(pages, total); }

    // Moves to a fresh column or page unless `h` mm still fit where the next band would go.
    void ensureRoom(double h)
    {
        if (m_tpl.page.flowAcross && m_columns > 1) {
            // The next band goes into the current row, which starts at m_rowTop.
            if (m_rowTop + h > bodyBottom() + 0.001 && m_rowTop > m_colTop + 0.001)
                newPage();
            return;
        }
        const bool atTop = m_y <= m_colTop + 0.001;
        if (m_y + h > bodyBottom() + 0.001 && !atTop)
            nextColumn();
    }

    void nextColumn()
    {
        if (m_col + 1 < m_columns) {
            ++m_col;
            m_y = m_colTop;
        } else {
            newPage();
        }
    }

    void placeInColumn(const CompiledBand &b, Scope s)
    {
        const double h = b.band->height;
        QPointF at;
        if (m_tpl.page.flowAcross && m_columns > 1) {
            ensureRoom(h);
            at = QPointF(m_printable.left() + m_col * m_colWidth, m_rowTop);
            m_rowHeight = qMax(m_rowHeight, h);
            if (++m_col >= m_columns) {
                m_col = 0;
                m_rowTop += m_rowHeight;
                m_rowHeight = 0;
            }
            m_y = m_rowTop + (m_col == 0 ? 0 : m_rowHeight);
        } else {
            ensureRoom(h);
            at = QPointF(m_printable.left() + m_col * m_colWidth, m_y);
            m_y += h;
        }
        s.page = m_pageNo;
        if (b.band->type == ReportBand::Data) {
            if (m_pageRowsFrom < 0)
                m_pageRowsFrom = s.row;
            m_pageRowsTo = s.row + 1;
        }
        emitBand(b, at, s);
    }

    // Title and summary span every column, under whatever the columns hold.
    void placeFullWidth(const CompiledBand &b, Scope s)
    {
        double y = m_y;
        if (m_tpl.page.flowAcross && m_columns > 1)
            y = m_rowTop + m_rowHeight;
        if (y + b.band->height > bodyBottom() + 0.001 && y > m_colTop + 0.001) {
            newPage();
            y = m_y;
        }
        s.page = m_pageNo;
        emitBand(b, QPointF(m_printable.left(), y), s);
        m_y = y + b.band->height;
        m_colTop = qMax(m_colTop, m_y);
        m_rowTop = m_y;
        m_rowHeight = 0;
        m_col = 0;
    }

    void emitBand(const CompiledBand &b, const QPointF &origin, const Scope &s)
    {
        ReportPage &page = m_doc.pages.last();
        for (const CompiledObject &co : b.objects) {
            const ReportObject &o = *co.obj;
            ReportPrimitive p;
            p.band = b.band->type;
            p.row = b.band->type == ReportBand::Data ? s.row : -1;
            p.rect = o.rect.translated(origin);
            p.font = o.font;
            p.color = o.color;
            p.fill = o.fill;
            p.lineWidth = o.lineWidth;
            switch (o.kind) {
            case ReportObject::Text:
                p.kind = ReportPrimitive::Text;
                p.text = evalTerms(co.terms, s);
                p.align = o.align;
                p.wordWrap = o.wordWrap;
                p.shrinkToFit = o.shrinkToFit;
                page.items.append(p);
                emitFrame(page, p, o.frame);
                break;
            case ReportObject::Line:
                p.kind = ReportPrimitive::Line;
                page.items.append(p);
                break;
            case ReportObject::Rect:
                p.kind = ReportPrimitive::Rect;
                p.radius = o.radius;
                page.items.append(p);
                break;
            case ReportObject::Barcode: emitBarcode(page, p, o, evalTerms(co.terms, s)); break;
            }
        }
    }

    void emitFrame(ReportPage &page, const ReportPrimitive &cell, int frame)
    {
        if (!frame)
            return;
        const QRectF r = cell.rect;
        auto line = [&](QPointF a, QPointF b) {
            ReportPrimitive l;
            l.kind = ReportPrimitive::Line;
            l.band = cell.band;
            l.row = cell.row;
            l.rect = QRectF(a, b);
            l.lineWidth = cell.lineWidth;
            l.color = cell.color;
            page.items.append(l);
        };
        if (frame & ReportObject::Top)
            line(r.topLeft(), r.topRight());
        if (frame & ReportObject::Bottom)
            line(r.bottomLeft(), r.bottomRight());
        if (frame & ReportObject::Left)
            line(r.topLeft(), r.bottomLeft());
        if (frame & ReportObject::Right)
            line(r.topRight(), r.bottomRight());
    }

    void emitBarcode(ReportPage &page, ReportPrimitive p, const ReportObject &o, const QString &data)
    {
        p.kind = ReportPrimitive::Barcode;
        p.text = data;
        const Code128Symbol sym = encodeCode128B(data);
        const double textH = o.showText ? o.font.size * 25.4 / 72.0 * 1.6 : 0.0; // a CJK font's line is about 1.5 em
        const QRectF barsArea(p.rect.left(), p.rect.top(), p.rect.width(), qMax(1.0, p.rect.height() - textH));
        if (sym.ok && sym.modules > 0) {
            p.symbolText = sym.text;
            p.modules = sym.modules;
            const double mm = barsArea.width() / sym.modules;
            for (const QRectF &b : sym.bars)
                p.bars.append(QRectF(barsArea.left() + b.x() * mm, barsArea.top() + b.y() * barsArea.height(), b.width() * mm,
                                     b.height() * barsArea.height()));
        }
        page.items.append(p);
        if (o.showText || !sym.ok) {
            // The data under the bars; alone, in the bars' place, when it cannot be encoded.
            ReportPrimitive t;
            t.kind = ReportPrimitive::Text;
            t.band = p.band;
            t.row = p.row;
            t.text = data;
            t.font = o.font;
            t.align = Qt::AlignHCenter | Qt::AlignVCenter;
            t.shrinkToFit = true;
            t.rect = sym.ok ? QRectF(p.rect.left(), barsArea.bottom(), p.rect.width(), textH) : p.rect;
            page.items.append(t);
        }
    }

    const ReportInput &m_in;
    const ReportTemplate &m_tpl;
    const ReportData &m_data;
    ReportDocument m_doc;
    QHash<QString, QVariant> m_varCache;

    std::unique_ptr<CompiledBand> m_title, m_pageHeader, m_pageFooter, m_summary, m_dataBand;
    std::vector<CompiledBand> m_groupHeaders, m_groupFooters;
    std::vector<std::vector<int>> m_groupStart; // [level][row] = first row of the row's group
    std::map<int, std::vector<double>> m_prefixSum, m_prefixCount;

    QRectF m_printable;
    double m_colWidth = 0;
    int m_columns = 1;
    int m_col = 0;
    double m_y = 0, m_colTop = 0, m_rowTop = 0, m_rowHeight = 0;
    bool m_pageHeaderPending = false;
    int m_nextRow = 0; // the first row not yet placed
    int m_pageNo = 0;  // the page being filled, from 1
    int m_pageRowsFrom = -1, m_pageRowsTo = -1;
};

} // namespace

void fillReportTotalPages(QList<ReportPage> &pages, int total)
{
    const QString text = QString::number(total);
    for (ReportPage &p : pages)
        for (ReportPrimitive &prim : p.items)
            if (prim.kind == ReportPrimitive::Text && prim.text.contains(kTotalPages))
                prim.text.replace(kTotalPages, text);
}

bool usesTotalPages(const ReportTemplate &tpl)
{
    for (const ReportBand &b : tpl.bands)
        for (const ReportObject &o : b.objects)
            if (o.kind == ReportObject::Text && (o.text.contains(QLatin1String("TotalPages"), Qt::CaseInsensitive)))
                return true;
    return false;
}

ReportVariables cachedVariables(const ReportVariables &vars)
{
    ReportVariables out = vars;
    if (!vars.ask)
        return out;
    auto answered = std::make_shared<QHash<QString, std::optional<QVariant>>>();
    auto ask = vars.ask;
    out.ask = [answered, ask](const QString &name) -> std::optional<QVariant> {
        const QString key = name.toLower();
        auto it = answered->constFind(key);
        if (it != answered->cend())
            return *it;
        const std::optional<QVariant> v = ask(name);
        answered->insert(key, v);
        return v;
    };
    return out;
}

ReportDocument layoutReport(const ReportInput &in)
{
    Q_ASSERT(in.tpl && in.data);
    Layouter l(in);
    return in.pageSink ? l.runStreamed() : l.run();
}
