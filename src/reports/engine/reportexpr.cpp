#include "reports/engine/reportexpr.h"
#include "data/datasetmodel.h"

#include <QDateTime>
#include <QLocale>
#include <cmath>

namespace {

ExprPart::Agg aggregateOf(const QString &word)
{
    const QString w = word.trimmed().toUpper();
    if (w == QLatin1String("SUM"))
        return ExprPart::Sum;
    if (w == QLatin1String("COUNT"))
        return ExprPart::Count;
    if (w == QLatin1String("AVG"))
        return ExprPart::Avg;
    if (w == QLatin1String("MIN"))
        return ExprPart::Min;
    if (w == QLatin1String("MAX"))
        return ExprPart::Max;
    return ExprPart::None;
}

bool parseOne(const QString &body, ExprPart *part, QString *error)
{
    QString expr = body;
    const int colon = body.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        expr = body.left(colon);
        part->format = body.mid(colon + 1).trimmed();
        if (!isKnownReportFormat(part->format)) {
            *error = QStringLiteral("不认识的显示格式“%1”").arg(part->format);
            return false;
        }
    }
    expr = expr.trimmed();
    part->literal = false;
    const int open = expr.indexOf(QLatin1Char('('));
    if (open >= 0) {
        if (!expr.endsWith(QLatin1Char(')'))) {
            *error = QStringLiteral("表达式“%1”缺少右括号").arg(body);
            return false;
        }
        part->agg = aggregateOf(expr.left(open));
        if (part->agg == ExprPart::None) {
            *error = QStringLiteral("不认识的函数“%1”").arg(expr.left(open).trimmed());
            return false;
        }
        part->name = expr.mid(open + 1, expr.size() - open - 2).trimmed();
        if (part->name.isEmpty() && part->agg != ExprPart::Count) {
            *error = QStringLiteral("函数“%1”缺少字段名").arg(expr.left(open).trimmed());
            return false;
        }
        return true;
    }
    if (expr.isEmpty()) {
        *error = QStringLiteral("方括号中没有内容");
        return false;
    }
    if (aggregateOf(expr) == ExprPart::Count) { // [COUNT] as well as [COUNT()]
        part->agg = ExprPart::Count;
        return true;
    }
    part->name = expr;
    return true;
}

QString datePattern(const QString &format)
{
    // YYYY年MM月DD日 → yyyy年MM月dd日; either case of each letter.
    QString out;
    out.reserve(format.size());
    for (int i = 0; i < format.size();) {
        const QChar c = format[i].toUpper();
        int n = 0;
        while (i + n < format.size() && format[i + n].toUpper() == c)
            ++n;
        if (c == QLatin1Char('Y'))
            out += n >= 3 ? QStringLiteral("yyyy") : QStringLiteral("yy");
        else if (c == QLatin1Char('M'))
            out += n >= 2 ? QStringLiteral("MM") : QStringLiteral("M");
        else if (c == QLatin1Char('D'))
            out += n >= 2 ? QStringLiteral("dd") : QStringLiteral("d");
        else {
            // Anything else is kept as literal text.
            out += QLatin1Char('\'') + format.mid(i, n).replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
        }
        i += n;
    }
    return out;
}

bool isDateFormat(const QString &f)
{
    bool hasY = false, hasM = false, hasD = false;
    for (QChar c : f) {
        const QChar u = c.toUpper();
        hasY |= u == QLatin1Char('Y');
        hasM |= u == QLatin1Char('M');
        hasD |= u == QLatin1Char('D');
    }
    return hasY || (hasM && hasD);
}

bool isMoney(const QString &f)
{
    return f == QLatin1String("#,##0.00") || f == QLatin1String("%2.2n") || f.compare(QLatin1String("money"), Qt::CaseInsensitive) == 0;
}

QDate dateOf(const QVariant &v)
{
    if (v.typeId() == QMetaType::QDate)
        return v.toDate();
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime().date();
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed();
        QDate d = QDate::fromString(s.left(10), QStringLiteral("yyyy-MM-dd"));
        if (!d.isValid())
            d = QDate::fromString(s, QStringLiteral("yyyy/M/d"));
        return d;
    }
    return QDate();
}

bool isNumber(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

double numberOf(const QVariant &v, bool *ok)
{
    if (isNumber(v)) {
        *ok = true;
        return v.toDouble();
    }
    return v.toString().trimmed().toDouble(ok);
}

} // namespace

bool parseExpressionText(const QString &text, QList<ExprPart> *parts, QString *error)
{
    parts->clear();
    QString literal;
    auto flush = [&] {
        if (!literal.isEmpty()) {
            ExprPart p;
            p.text = literal;
            parts->append(p);
            literal.clear();
        }
    };
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('[')) {
            literal += c;
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == QLatin1Char('[')) {
            literal += c;
            ++i;
            continue;
        }
        const int close = text.indexOf(QLatin1Char(']'), i + 1);
        if (close < 0) {
            *error = QStringLiteral("文字“%1”中的“[”没有对应的“]”").arg(text);
            return false;
        }
        ExprPart p;
        if (!parseOne(text.mid(i + 1, close - i - 1), &p, error))
            return false;
        flush();
        parts->append(p);
        i = close;
    }
    flush();
    return true;
}

bool isKnownReportFormat(const QString &f)
{
    if (f.isEmpty() || isMoney(f) || f == QLatin1String("0.##") || f == QLatin1String("0.00") || f == QLatin1String("0")
        || f.compare(QLatin1String("date"), Qt::CaseInsensitive) == 0)
        return true;
    return isDateFormat(f);
}

QString reportShortDate(const QDate &d)
{
    return DatasetModel::shortDate(d);
}

QString reportLongDate(const QDate &d)
{
    return d.isValid() ? QLocale::c().toString(d, QStringLiteral("yyyy'年'MM'月'dd'日'")) : QString();
}

QString formatReportValue(const QVariant &v, const QString &format)
{
    if (!v.isValid() || v.isNull())
        return QString();
    if (format.isEmpty())
        return DatasetModel::format(v, DatasetModel::Format::Auto);
    if (format.compare(QLatin1String("date"), Qt::CaseInsensitive) == 0) {
        const QDate d = dateOf(v);
        return d.isValid() ? reportShortDate(d) : v.toString();
    }
    if (isMoney(format) || format == QLatin1String("0.##") || format == QLatin1String("0.00") || format == QLatin1String("0")) {
        bool ok = false;
        const double x = numberOf(v, &ok);
        if (!ok)
            return v.toString();
        if (isMoney(format))
            return DatasetModel::format(x, DatasetModel::Format::Money);
        if (format == QLatin1String("0.##"))
            return DatasetModel::format(x, DatasetModel::Format::ZeroHash);
        if (format == QLatin1String("0.00"))
            return QString::number(std::round(x * 100.0) / 100.0, 'f', 2);
        return QString::number(qint64(std::llround(x)));
    }
    const QDate d = dateOf(v);
    if (!d.isValid())
        return v.toString();
    return QLocale::c().toString(d, datePattern(format));
}
