#include "reports/engine/reporttemplate.h"
#include "reports/engine/reportexpr.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace {

QString g_overrideFolder;

// Every fault found while reading one template is raised through here, so
// each message names the template the same way.
class Reader {
public:
    static constexpr int MaxBands = 1000;
    static constexpr int MaxColumns = 100;

    explicit Reader(const QString &name) : m_name(name) {}

    [[noreturn]] void fail(const QString &what) const
    {
        throw ReportError(QStringLiteral("报表模板“%1”无法使用：%2").arg(m_name, what));
    }

    void checkKeys(const QJsonObject &o, const QStringList &allowed, const QString &where) const
    {
        for (auto it = o.begin(); it != o.end(); ++it)
            if (!allowed.contains(it.key()))
                fail(QStringLiteral("%1有不认识的属性“%2”").arg(where, it.key()));
    }

    double number(const QJsonObject &o, const QString &key, double def, const QString &where, bool allowNegative = false) const
    {
        const QJsonValue v = o.value(key);
        if (v.isUndefined())
            return def;
        if (!v.isDouble())
            fail(QStringLiteral("%1的“%2”应当是数字").arg(where, key));
        const double x = v.toDouble();
        if (!allowNegative && x < 0)
            fail(QStringLiteral("%1的“%2”不能是负数").arg(where, key));
        return x;
    }

    // A count or level: a number within [min, max], its fraction dropped.
    // The range is checked before the conversion, so 1e20 is refused
    // instead of becoming an arbitrary int.
    int whole(const QJsonObject &o, const QString &key, int def, int min, int max, const QString &where) const
    {
        const double x = number(o, key, def, where, true);
        if (!(x >= min && x < max + 1.0))
            fail(QStringLiteral("%1的“%2”应当在 %3 到 %4 之间").arg(where, key).arg(min).arg(max));
        return int(x);
    }

    QString string(const QJsonObject &o, const QString &key, const QString &def, const QString &where) const
    {
        const QJsonValue v = o.value(key);
        if (v.isUndefined())
            return def;
        if (!v.isString())
            fail(QStringLiteral("%1的“%2”应当是文字").arg(where, key));
        return v.toString();
    }

    bool boolean(const QJsonObject &o, const QString &key, bool def, const QString &where) const
    {
        const QJsonValue v = o.value(key);
        if (v.isUndefined())
            return def;
        if (!v.isBool())
            fail(QStringLiteral("%1的“%2”应当是 true 或 false").arg(where, key));
        return v.toBool();
    }

    ReportFont font(const QJsonValue &v, const ReportFont &base, const QString &where) const
    {
        ReportFont f = base;
        if (v.isUndefined())
            return f;
        if (v.isDouble()) {
            f.size = v.toDouble();
        } else if (v.isObject()) {
            const QJsonObject o = v.toObject();
            const QString w = where + QStringLiteral("的字体");
            checkKeys(o, {QStringLiteral("family"), QStringLiteral("size"), QStringLiteral("bold"), QStringLiteral("italic"),
                          QStringLiteral("underline")},
                      w);
            f.family = string(o, QStringLiteral("family"), f.family, w);
            f.size = number(o, QStringLiteral("size"), f.size, w);
            f.bold = boolean(o, QStringLiteral("bold"), f.bold, w);
            f.italic = boolean(o, QStringLiteral("italic"), f.italic, w);
            f.underline = boolean(o, QStringLiteral("underline"), f.underline, w);
        } else {
            fail(QStringLiteral("%1的字体应当是字号或对象").arg(where));
        }
        if (f.size <= 0)
            fail(QStringLiteral("%1的字号应当大于 0").arg(where));
        return f;
    }

    QColor color(const QJsonObject &o, const QString &key, const QColor &def, const QString &where) const
    {
        const QString s = string(o, key, QString(), where);
        if (s.isEmpty())
            return def;
        const QColor c = QColor::fromString(s);
        if (!c.isValid())
            fail(QStringLiteral("%1的颜色“%2”无效").arg(where, s));
        return c;
    }

    Qt::Alignment alignment(const QJsonObject &o, const QString &where) const
    {
        Qt::Alignment a;
        const QString h = string(o, QStringLiteral("align"), QStringLiteral("left"), where);
        if (h == QLatin1String("left"))
            a |= Qt::AlignLeft;
        else if (h == QLatin1String("center"))
            a |= Qt::AlignHCenter;
        else if (h == QLatin1String("right"))
            a |= Qt::AlignRight;
        else
            fail(QStringLiteral("%1的对齐方式“%2”无效（left、center、right）").arg(where, h));
        const QString v = string(o, QStringLiteral("valign"), QStringLiteral("center"), where);
        if (v == QLatin1String("top"))
            a |= Qt::AlignTop;
        else if (v == QLatin1String("center"))
            a |= Qt::AlignVCenter;
        else if (v == QLatin1String("bottom"))
            a |= Qt::AlignBottom;
        else
            fail(QStringLiteral("%1的垂直对齐方式“%2”无效（top、center、bottom）").arg(where, v));
        return a;
    }

    int frame(const QJsonValue &v, const QString &where) const
    {
        if (v.isUndefined())
            return 0;
        if (v.isBool())
            return v.toBool() ? ReportObject::AllSides : 0;
        QStringList sides;
        if (v.isString())
            sides << v.toString();
        else if (v.isArray())
            for (const QJsonValue &s : v.toArray())
                sides << s.toString();
        else
            fail(QStringLiteral("%1的边框应当是 \"all\" 或边的列表").arg(where));
        int f = 0;
        for (const QString &s : sides) {
            if (s == QLatin1String("all"))
                f |= ReportObject::AllSides;
            else if (s == QLatin1String("left"))
                f |= ReportObject::Left;
            else if (s == QLatin1String("top"))
                f |= ReportObject::Top;
            else if (s == QLatin1String("right"))
                f |= ReportObject::Right;
            else if (s == QLatin1String("bottom"))
                f |= ReportObject::Bottom;
            else
                fail(QStringLiteral("%1的边框“%2”无效（all、left、top、right、bottom）").arg(where, s));
        }
        return f;
    }

    void checkText(const QString &text, const QString &where) const
    {
        QList<ExprPart> parts;
        QString error;
        if (!parseExpressionText(text, &parts, &error))
            fail(QStringLiteral("%1：%2").arg(where, error));
    }

    ReportObject object(const QJsonValue &v, const ReportFont &baseFont, double bandHeight, const QString &where) const
    {
        if (!v.isObject())
            fail(QStringLiteral("%1应当是对象").arg(where));
        const QJsonObject o = v.toObject();
        ReportObject r;
        const QString type = string(o, QStringLiteral("type"), QString(), where);
        const QStringList common{QStringLiteral("type"), QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("width"),
                                 QStringLiteral("height"), QStringLiteral("lineWidth"), QStringLiteral("color")};
        if (type == QLatin1String("text")) {
            r.kind = ReportObject::Text;
            checkKeys(o,
                      common + QStringList{QStringLiteral("text"), QStringLiteral("format"), QStringLiteral("align"),
                                           QStringLiteral("valign"), QStringLiteral("font"), QStringLiteral("frame"),
                                           QStringLiteral("wordWrap"), QStringLiteral("shrinkToFit"), QStringLiteral("fill")},
                      where);
            r.text = string(o, QStringLiteral("text"), QString(), where);
            r.format = string(o, QStringLiteral("format"), QString(), where);
            if (!isKnownReportFormat(r.format))
                fail(QStringLiteral("%1的显示格式“%2”无效").arg(where, r.format));
            r.align = alignment(o, where);
            r.font = font(o.value(QStringLiteral("font")), baseFont, where);
            r.frame = frame(o.value(QStringLiteral("frame")), where);
            r.wordWrap = boolean(o, QStringLiteral("wordWrap"), false, where);
            r.shrinkToFit = boolean(o, QStringLiteral("shrinkToFit"), false, where);
            r.fill = color(o, QStringLiteral("fill"), QColor(), where);
            checkText(r.text, where);
        } else if (type == QLatin1String("line")) {
            r.kind = ReportObject::Line;
            checkKeys(o, common, where);
        } else if (type == QLatin1String("rect")) {
            r.kind = ReportObject::Rect;
            checkKeys(o, common + QStringList{QStringLiteral("radius"), QStringLiteral("fill")}, where);
            r.radius = number(o, QStringLiteral("radius"), 0, where);
            r.fill = color(o, QStringLiteral("fill"), QColor(), where);
        } else if (type == QLatin1String("barcode")) {
            r.kind = ReportObject::Barcode;
            checkKeys(o, common + QStringList{QStringLiteral("data"), QStringLiteral("showText"), QStringLiteral("font")}, where);
            r.text = string(o, QStringLiteral("data"), QString(), where);
            if (r.text.trimmed().isEmpty())
                fail(QStringLiteral("%1缺少条码内容“data”").arg(where));
            checkText(r.text, where);
            r.showText = boolean(o, QStringLiteral("showText"), true, where);
            ReportFont small = baseFont;
            small.size = 8;
            small.bold = false;
            r.font = font(o.value(QStringLiteral("font")), small, where);
        } else if (type.isEmpty()) {
            fail(QStringLiteral("%1缺少类型“type”").arg(where));
        } else {
            fail(QStringLiteral("%1的类型“%2”不认识（text、line、rect、barcode）").arg(where, type));
        }
        const bool line = r.kind == ReportObject::Line;
        // A line may run in any direction, so its extent may be negative.
        r.rect = QRectF(number(o, QStringLiteral("x"), 0, where), number(o, QStringLiteral("y"), 0, where),
                        number(o, QStringLiteral("width"), 0, where, line), number(o, QStringLiteral("height"), 0, where, line));
        if (!line && (r.rect.width() <= 0 || r.rect.height() <= 0))
            fail(QStringLiteral("%1的宽度和高度应当大于 0").arg(where));
        if (r.rect.top() > bandHeight + 0.01)
            fail(QStringLiteral("%1放在了带区之外（y = %2 mm，带区高 %3 mm）").arg(where).arg(r.rect.top()).arg(bandHeight));
        r.lineWidth = number(o, QStringLiteral("lineWidth"), 0.2, where);
        r.color = color(o, QStringLiteral("color"), Qt::black, where);
        return r;
    }

    ReportBand band(const QJsonValue &v, const ReportFont &baseFont, int index) const
    {
        const QString where = QStringLiteral("第 %1 个带区").arg(index + 1);
        if (!v.isObject())
            fail(QStringLiteral("%1应当是对象").arg(where));
        const QJsonObject o = v.toObject();
        checkKeys(o,
                  {QStringLiteral("type"), QStringLiteral("height"), QStringLiteral("condition"), QStringLiteral("level"),
                   QStringLiteral("startNewPage"), QStringLiteral("keepWithData"), QStringLiteral("printOnFirstPage"),
                   QStringLiteral("objects"), QStringLiteral("font")},
                  where);
        static const QList<QPair<QString, ReportBand::Type>> types{
            {QStringLiteral("reportTitle"), ReportBand::ReportTitle},   {QStringLiteral("pageHeader"), ReportBand::PageHeader},
            {QStringLiteral("groupHeader"), ReportBand::GroupHeader},   {QStringLiteral("data"), ReportBand::Data},
            {QStringLiteral("groupFooter"), ReportBand::GroupFooter},   {QStringLiteral("reportSummary"), ReportBand::ReportSummary},
            {QStringLiteral("pageFooter"), ReportBand::PageFooter}};
        const QString type = string(o, QStringLiteral("type"), QString(), where);
        ReportBand b;
        bool known = false;
        for (const auto &t : types)
            if (t.first == type) {
                b.type = t.second;
                known = true;
            }
        if (!known)
            fail(type.isEmpty() ? QStringLiteral("%1缺少类型“type”").arg(where)
                                : QStringLiteral("%1的类型“%2”不认识").arg(where, type));
        const QString bandWhere = QStringLiteral("带区“%1”").arg(type);
        b.height = number(o, QStringLiteral("height"), -1, bandWhere);
        if (b.height <= 0)
            fail(QStringLiteral("%1缺少高度“height”").arg(bandWhere));
        b.condition = string(o, QStringLiteral("condition"), QString(), bandWhere);
        if (b.type == ReportBand::GroupHeader) {
            if (b.condition.trimmed().isEmpty())
                fail(QStringLiteral("%1缺少分组条件“condition”").arg(bandWhere));
            checkText(b.condition, bandWhere);
        } else if (!b.condition.isEmpty()) {
            fail(QStringLiteral("只有分组头可以有分组条件“condition”"));
        }
        b.level = whole(o, QStringLiteral("level"), -1, -1, MaxBands, bandWhere);
        b.startNewPage = boolean(o, QStringLiteral("startNewPage"), false, bandWhere);
        b.keepWithData = boolean(o, QStringLiteral("keepWithData"), true, bandWhere);
        b.printOnFirstPage = boolean(o, QStringLiteral("printOnFirstPage"), true, bandWhere);
        const ReportFont bandFont = font(o.value(QStringLiteral("font")), baseFont, bandWhere);
        const QJsonValue objs = o.value(QStringLiteral("objects"));
        if (!objs.isUndefined() && !objs.isArray())
            fail(QStringLiteral("%1的“objects”应当是列表").arg(bandWhere));
        const QJsonArray arr = objs.toArray();
        for (int i = 0; i < arr.size(); ++i)
            b.objects.append(object(arr[i], bandFont, b.height, QStringLiteral("%1的第 %2 个对象").arg(bandWhere).arg(i + 1)));
        return b;
    }

    ReportPageSetup page(const QJsonValue &v) const
    {
        ReportPageSetup p;
        if (v.isUndefined())
            return p;
        if (!v.isObject())
            fail(QStringLiteral("页面设置“page”应当是对象"));
        const QJsonObject o = v.toObject();
        const QString where = QStringLiteral("页面设置");
        checkKeys(o,
                  {QStringLiteral("paper"), QStringLiteral("orientation"), QStringLiteral("margins"), QStringLiteral("columns"),
                   QStringLiteral("columnWidth"), QStringLiteral("columnFlow")},
                  where);
        const QJsonValue paper = o.value(QStringLiteral("paper"));
        if (paper.isObject()) {
            const QJsonObject s = paper.toObject();
            checkKeys(s, {QStringLiteral("width"), QStringLiteral("height")}, QStringLiteral("纸张"));
            p.paper = QPageSize::Custom;
            p.customSize = QSizeF(number(s, QStringLiteral("width"), 0, QStringLiteral("纸张")),
                                  number(s, QStringLiteral("height"), 0, QStringLiteral("纸张")));
            if (p.customSize.isEmpty())
                fail(QStringLiteral("自定义纸张缺少宽度或高度"));
        } else if (!paper.isUndefined()) {
            static const QList<QPair<QString, QPageSize::PageSizeId>> papers{
                {QStringLiteral("A3"), QPageSize::A3}, {QStringLiteral("A4"), QPageSize::A4}, {QStringLiteral("A5"), QPageSize::A5},
                {QStringLiteral("B5"), QPageSize::B5}, {QStringLiteral("Letter"), QPageSize::Letter}};
            const QString name = paper.toString();
            bool found = false;
            for (const auto &pp : papers)
                if (pp.first.compare(name, Qt::CaseInsensitive) == 0) {
                    p.paper = pp.second;
                    found = true;
                }
            if (!found)
                fail(QStringLiteral("纸张“%1”不认识（A3、A4、A5、B5、Letter 或 {width, height}）").arg(name));
        }
        const QString orient = string(o, QStringLiteral("orientation"), QStringLiteral("portrait"), where);
        if (orient == QLatin1String("portrait"))
            p.orientation = QPageLayout::Portrait;
        else if (orient == QLatin1String("landscape"))
            p.orientation = QPageLayout::Landscape;
        else
            fail(QStringLiteral("纸张方向“%1”无效（portrait、landscape）").arg(orient));
        const QJsonValue m = o.value(QStringLiteral("margins"));
        if (m.isDouble()) {
            p.marginLeft = p.marginTop = p.marginRight = p.marginBottom = number(o, QStringLiteral("margins"), 10, where);
        } else if (m.isObject()) {
            const QJsonObject mo = m.toObject();
            const QString mw = QStringLiteral("页边距");
            checkKeys(mo, {QStringLiteral("left"), QStringLiteral("top"), QStringLiteral("right"), QStringLiteral("bottom")}, mw);
            p.marginLeft = number(mo, QStringLiteral("left"), p.marginLeft, mw);
            p.marginTop = number(mo, QStringLiteral("top"), p.marginTop, mw);
            p.marginRight = number(mo, QStringLiteral("right"), p.marginRight, mw);
            p.marginBottom = number(mo, QStringLiteral("bottom"), p.marginBottom, mw);
        } else if (!m.isUndefined()) {
            fail(QStringLiteral("页边距应当是数字或 {left, top, right, bottom}"));
        }
        if (number(o, QStringLiteral("columns"), 1, where) < 1)
            fail(QStringLiteral("分栏数应当至少为 1"));
        p.columns = whole(o, QStringLiteral("columns"), 1, 1, MaxColumns, where);
        p.columnWidth = number(o, QStringLiteral("columnWidth"), 0, where);
        const QString flow = string(o, QStringLiteral("columnFlow"), QStringLiteral("down"), where);
        if (flow == QLatin1String("across"))
            p.flowAcross = true;
        else if (flow != QLatin1String("down"))
            fail(QStringLiteral("分栏顺序“%1”无效（down、across）").arg(flow));
        const QRectF printable = p.printableMm();
        if (printable.width() <= 0 || printable.height() <= 0)
            fail(QStringLiteral("页边距超出了纸张"));
        if (p.effectiveColumnWidth() * p.columns > printable.width() + 0.01)
            fail(QStringLiteral("%1 栏各宽 %2 mm，超出了可打印宽度 %3 mm").arg(p.columns).arg(p.effectiveColumnWidth()).arg(printable.width()));
        return p;
    }

private:
    QString m_name;
};

int lineOfOffset(const QByteArray &json, int offset)
{
    return int(json.left(offset).count('\n')) + 1;
}

} // namespace

QSizeF ReportPageSetup::paperSizeMm() const
{
    QSizeF s = paper == QPageSize::Custom ? customSize : QPageSize(paper).size(QPageSize::Millimeter);
    if (orientation == QPageLayout::Landscape)
        s.transpose();
    return s;
}

QRectF ReportPageSetup::printableMm() const
{
    const QSizeF s = paperSizeMm();
    return QRectF(marginLeft, marginTop, s.width() - marginLeft - marginRight, s.height() - marginTop - marginBottom);
}

double ReportPageSetup::effectiveColumnWidth() const
{
    return columnWidth > 0 ? columnWidth : printableMm().width() / qMax(1, columns);
}

const ReportBand *ReportTemplate::band(ReportBand::Type t) const
{
    for (const ReportBand &b : bands)
        if (b.type == t)
            return &b;
    return nullptr;
}

QList<const ReportBand *> ReportTemplate::groupHeaders() const
{
    QList<const ReportBand *> out;
    for (const ReportBand &b : bands)
        if (b.type == ReportBand::GroupHeader)
            out.append(&b);
    return out;
}

const ReportBand *ReportTemplate::groupFooter(int level) const
{
    for (const ReportBand &b : bands)
        if (b.type == ReportBand::GroupFooter && b.level == level)
            return &b;
    return nullptr;
}

ReportTemplate ReportTemplate::fromJson(const QByteArray &json, const QString &name)
{
    Reader r(name);
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &pe);
    if (pe.error != QJsonParseError::NoError)
        r.fail(QStringLiteral("第 %1 行 JSON 格式错误（%2）").arg(lineOfOffset(json, pe.offset)).arg(pe.errorString()));
    if (!doc.isObject())
        r.fail(QStringLiteral("内容应当是一个 JSON 对象"));
    const QJsonObject o = doc.object();
    r.checkKeys(o, {QStringLiteral("title"), QStringLiteral("page"), QStringLiteral("font"), QStringLiteral("bands"), QStringLiteral("comment")},
                QStringLiteral("模板"));
    ReportTemplate t;
    t.name = name;
    t.title = r.string(o, QStringLiteral("title"), name, QStringLiteral("模板"));
    t.page = r.page(o.value(QStringLiteral("page")));
    t.font = r.font(o.value(QStringLiteral("font")), ReportFont(), QStringLiteral("模板"));
    const QJsonValue bands = o.value(QStringLiteral("bands"));
    if (!bands.isArray() || bands.toArray().isEmpty())
        r.fail(QStringLiteral("缺少带区列表“bands”"));
    const QJsonArray arr = bands.toArray();
    for (int i = 0; i < arr.size(); ++i)
        t.bands.append(r.band(arr[i], t.font, i));

    // One band of each single kind; group headers nest outermost first and
    // each footer belongs to a header (by "level", else innermost first).
    int headers = 0;
    QList<ReportBand *> footers;
    QSet<int> singles;
    for (ReportBand &b : t.bands) {
        if (b.type == ReportBand::GroupHeader) {
            b.level = headers++;
        } else if (b.type == ReportBand::GroupFooter) {
            footers.append(&b);
        } else {
            if (singles.contains(b.type))
                r.fail(QStringLiteral("同一种带区只能有一个（除分组头、分组尾外）"));
            singles.insert(b.type);
        }
    }
    if (headers > 0 && !singles.contains(ReportBand::Data))
        r.fail(QStringLiteral("有分组头却没有数据带"));
    QSet<int> usedLevels;
    int next = headers - 1;
    for (ReportBand *f : footers) {
        if (f->level < 0) {
            while (next >= 0 && usedLevels.contains(next))
                --next;
            f->level = next--;
        }
        if (f->level < 0 || f->level >= headers)
            r.fail(QStringLiteral("分组尾没有对应的分组头"));
        if (usedLevels.contains(f->level))
            r.fail(QStringLiteral("一个分组头只能有一个分组尾"));
        usedLevels.insert(f->level);
    }

    t.checkFits();
    return t;
}

void ReportTemplate::checkFits() const
{
    // A band taller than what a page leaves for it could never be placed.
    const Reader r(name);
    const QRectF printable = page.printableMm();
    if (printable.width() <= 0 || printable.height() <= 0)
        r.fail(QStringLiteral("页边距超出了纸张"));
    const double pageFooter = band(ReportBand::PageFooter) ? band(ReportBand::PageFooter)->height : 0;
    const double pageHeader = band(ReportBand::PageHeader) ? band(ReportBand::PageHeader)->height : 0;
    const double room = printable.height() - pageFooter;
    for (const ReportBand &b : bands) {
        if (b.type == ReportBand::PageFooter)
            continue;
        const double above = b.type == ReportBand::PageHeader || b.type == ReportBand::ReportTitle ? 0 : pageHeader;
        if (b.height + above > room + 0.01)
            r.fail(QStringLiteral("带区高 %1 mm，一页放不下（可用 %2 mm）").arg(b.height).arg(room - above));
    }
    if (page.columns > 1 && page.effectiveColumnWidth() * page.columns > printable.width() + 0.01)
        r.fail(QStringLiteral("%1 栏各宽 %2 mm，超出了可打印宽度 %3 mm").arg(page.columns).arg(page.effectiveColumnWidth()).arg(printable.width()));
}

void ReportTemplate::setOverrideFolder(const QString &folder)
{
    g_overrideFolder = folder;
}

QString ReportTemplate::overrideFolder()
{
    if (!g_overrideFolder.isEmpty())
        return g_overrideFolder;
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("templates"));
}

QString ReportTemplate::sourcePath(const QString &name)
{
    const QString file = name + QStringLiteral(".json");
    const QString local = QDir(overrideFolder()).filePath(file);
    if (QFileInfo::exists(local))
        return local;
    return QStringLiteral(":/templates/") + file;
}

ReportTemplate ReportTemplate::load(const QString &name)
{
    const QString path = sourcePath(name);
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (path.startsWith(QLatin1Char(':')))
            throw ReportError(QStringLiteral("报表模板“%1”无法使用：找不到模板文件 %2.json").arg(name, name));
        throw ReportError(QStringLiteral("报表模板“%1”无法使用：无法读取 %2（%3）").arg(name, path, f.errorString()));
    }
    return fromJson(f.readAll(), name);
}
