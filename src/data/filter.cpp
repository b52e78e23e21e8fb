#include "data/filter.h"
#include "data/errors.h"

Filter Filter::equals(const QString &column, const QVariant &value) { return compare(column, Op::Equal, value); }

Filter Filter::startsWith(const QString &column, const QString &prefix)
{
    QString escaped = prefix;
    // A prefix is a like pattern with one trailing %; keep literal wildcards literal.
    escaped.replace(QLatin1Char('['), QLatin1String("[[]"));
    escaped.replace(QLatin1Char('%'), QLatin1String("[%]"));
    escaped.replace(QLatin1Char('_'), QLatin1String("[_]"));
    // The like also takes * and ? as wildcards.
    escaped.replace(QLatin1Char('*'), QLatin1String("[*]"));
    escaped.replace(QLatin1Char('?'), QLatin1String("[?]"));
    return like(column, escaped + QLatin1Char('%'));
}

Filter Filter::compare(const QString &column, Op op, const QVariant &value)
{
    Filter f;
    f.m_op = op;
    f.m_column = column;
    f.m_value = value;
    return f;
}

Filter Filter::like(const QString &column, const QString &pattern) { return compare(column, Op::Like, pattern); }

Filter Filter::isNull(const QString &column, bool null)
{
    return compare(column, null ? Op::IsNull : Op::IsNotNull, QVariant());
}

Filter Filter::both(const Filter &a, const Filter &b)
{
    if (a.keepsAll())
        return b;
    if (b.keepsAll())
        return a;
    Filter f;
    f.m_op = Op::And;
    f.m_children = {a, b};
    return f;
}

Filter Filter::either(const Filter &a, const Filter &b)
{
    Filter f;
    f.m_op = Op::Or;
    f.m_children = {a, b};
    return f;
}

Filter Filter::negate(const Filter &a)
{
    Filter f;
    f.m_op = Op::Not;
    f.m_children = {a};
    return f;
}

namespace {

struct Token {
    enum Kind { Ident, String, Number, Symbol, End } kind;
    QString text;
    int pos;
};

class Parser {
public:
    explicit Parser(const QString &text) : m_text(text) { tokenize(); }

    Filter parseAll()
    {
        Filter f = parseOr();
        if (peek().kind != Token::End)
            fail(QStringLiteral("多余的内容“%1”").arg(peek().text));
        return f;
    }

private:
    [[noreturn]] void fail(const QString &what) const
    {
        throw DataError(QStringLiteral("过滤条件“%1”有误：%2").arg(m_text, what), DataError::Usage);
    }

    void tokenize()
    {
        int i = 0;
        const int n = m_text.size();
        while (i < n) {
            const QChar c = m_text.at(i);
            if (c.isSpace()) {
                ++i;
                continue;
            }
            const int start = i;
            if (c == QLatin1Char('\'')) {
                QString s;
                ++i;
                bool closed = false;
                while (i < n) {
                    if (m_text.at(i) == QLatin1Char('\'')) {
                        if (i + 1 < n && m_text.at(i + 1) == QLatin1Char('\'')) {
                            s += QLatin1Char('\'');
                            i += 2;
                            continue;
                        }
                        closed = true;
                        ++i;
                        break;
                    }
                    s += m_text.at(i++);
                }
                if (!closed)
                    fail(QStringLiteral("引号没有配对"));
                m_tokens.push_back({Token::String, s, start});
            } else if (c.isDigit() || ((c == QLatin1Char('-') || c == QLatin1Char('.')) && i + 1 < n && m_text.at(i + 1).isDigit())) {
                ++i;
                while (i < n && (m_text.at(i).isDigit() || m_text.at(i) == QLatin1Char('.')))
                    ++i;
                m_tokens.push_back({Token::Number, m_text.mid(start, i - start), start});
            } else if (c.isLetter() || c == QLatin1Char('_') || c == QLatin1Char('[')) {
                if (c == QLatin1Char('[')) {
                    const int close = m_text.indexOf(QLatin1Char(']'), i);
                    if (close < 0)
                        fail(QStringLiteral("方括号没有配对"));
                    m_tokens.push_back({Token::Ident, m_text.mid(i + 1, close - i - 1), start});
                    i = close + 1;
                } else {
                    while (i < n && (m_text.at(i).isLetterOrNumber() || m_text.at(i) == QLatin1Char('_') || m_text.at(i) == QLatin1Char('.')))
                        ++i;
                    m_tokens.push_back({Token::Ident, m_text.mid(start, i - start), start});
                }
            } else {
                static const char *const two[] = {"<=", ">=", "<>", "!="};
                bool matched = false;
                for (const char *t : two) {
                    if (m_text.mid(i, 2) == QLatin1String(t)) {
                        m_tokens.push_back({Token::Symbol, QString::fromLatin1(t), start});
                        i += 2;
                        matched = true;
                        break;
                    }
                }
                if (matched)
                    continue;
                if (QStringLiteral("=<>()").contains(c)) {
                    m_tokens.push_back({Token::Symbol, QString(c), start});
                    ++i;
                } else {
                    fail(QStringLiteral("无法识别的字符“%1”").arg(c));
                }
            }
        }
        m_tokens.push_back({Token::End, QString(), int(n)});
    }

    const Token &peek() const { return m_tokens[m_pos]; }
    Token take() { return m_tokens[m_pos++]; }
    bool isKeyword(const char *kw) const
    {
        return peek().kind == Token::Ident && peek().text.compare(QLatin1String(kw), Qt::CaseInsensitive) == 0;
    }

    Filter parseOr()
    {
        Filter f = parseAnd();
        while (isKeyword("or")) {
            take();
            f = Filter::either(f, parseAnd());
        }
        return f;
    }

    Filter parseAnd()
    {
        Filter f = parseNot();
        while (isKeyword("and")) {
            take();
            f = Filter::both(f, parseNot());
        }
        return f;
    }

    // Nesting and length are bounded, so a runaway text is refused with a
    // message instead of exhausting the stack or the time of every filtered
    // grid (the tree is walked recursively for each row).
    static constexpr int MaxNesting = 64;
    static constexpr int MaxComparisons = 256;

    struct Nest {
        explicit Nest(Parser &p) : m_p(p)
        {
            if (++m_p.m_nesting > MaxNesting)
                m_p.fail(QStringLiteral("括号或 not 嵌套太深（最多 %1 层）").arg(MaxNesting));
        }
        ~Nest() { --m_p.m_nesting; }
        Parser &m_p;
    };

    Filter parseNot()
    {
        if (isKeyword("not")) {
            take();
            const Nest nest(*this);
            return Filter::negate(parseNot());
        }
        if (peek().kind == Token::Symbol && peek().text == QLatin1String("(")) {
            take();
            const Nest nest(*this);
            Filter f = parseOr();
            if (!(peek().kind == Token::Symbol && peek().text == QLatin1String(")")))
                fail(QStringLiteral("缺少右括号"));
            take();
            return f;
        }
        return parseComparison();
    }

    QVariant literal()
    {
        const Token t = take();
        if (t.kind == Token::String)
            return t.text;
        if (t.kind == Token::Number) {
            bool ok = false;
            if (!t.text.contains(QLatin1Char('.'))) {
                const qlonglong v = t.text.toLongLong(&ok);
                if (ok)
                    return v;
            }
            const double d = t.text.toDouble(&ok);
            if (ok)
                return d;
        }
        if (t.kind == Token::Ident && t.text.compare(QLatin1String("null"), Qt::CaseInsensitive) == 0)
            return QVariant();
        fail(QStringLiteral("“%1”处应为一个值").arg(t.text.isEmpty() ? QStringLiteral("结尾") : t.text));
    }

    Filter parseComparison()
    {
        if (++m_comparisons > MaxComparisons)
            fail(QStringLiteral("比较太多（最多 %1 个）").arg(MaxComparisons));
        if (peek().kind != Token::Ident)
            fail(QStringLiteral("“%1”处应为一个字段名").arg(peek().text.isEmpty() ? QStringLiteral("结尾") : peek().text));
        const QString column = take().text;
        if (isKeyword("like")) {
            take();
            const QVariant v = literal();
            return Filter::like(column, v.toString());
        }
        if (isKeyword("not")) {
            take();
            if (!isKeyword("like"))
                fail(QStringLiteral("not 之后应为 like"));
            take();
            return Filter::negate(Filter::like(column, literal().toString()));
        }
        if (isKeyword("is")) {
            take();
            bool negated = false;
            if (isKeyword("not")) {
                take();
                negated = true;
            }
            if (!isKeyword("null"))
                fail(QStringLiteral("is 之后应为 null"));
            take();
            return Filter::isNull(column, !negated);
        }
        if (peek().kind != Token::Symbol)
            fail(QStringLiteral("字段“%1”之后应为比较符").arg(column));
        const QString sym = take().text;
        Op op;
        if (sym == QLatin1String("="))
            op = Op::Equal;
        else if (sym == QLatin1String("<>") || sym == QLatin1String("!="))
            op = Op::NotEqual;
        else if (sym == QLatin1String("<"))
            op = Op::Less;
        else if (sym == QLatin1String("<="))
            op = Op::LessEqual;
        else if (sym == QLatin1String(">"))
            op = Op::Greater;
        else if (sym == QLatin1String(">="))
            op = Op::GreaterEqual;
        else
            fail(QStringLiteral("无法识别的比较符“%1”").arg(sym));
        const QVariant v = literal();
        if (v.isNull()) {
            if (op == Op::Equal)
                return Filter::isNull(column, true);
            if (op == Op::NotEqual)
                return Filter::isNull(column, false);
        }
        return Filter::compare(column, op, v);
    }

    using Op = Filter::Op;
    QString m_text;
    std::vector<Token> m_tokens;
    size_t m_pos = 0;
    int m_nesting = 0;
    int m_comparisons = 0;
};

} // namespace

Filter Filter::parse(const QString &text)
{
    if (text.trimmed().isEmpty())
        return Filter();
    return Parser(text).parseAll();
}

namespace {

// One step of a like pattern: a run of any characters, any one character, or
// one literal character.
struct LikeStep {
    enum Kind { AnyRun, AnyOne, Literal } kind;
    QChar c;
};

std::vector<LikeStep> likeSteps(const QString &p)
{
    std::vector<LikeStep> steps;
    for (int pi = 0; pi < p.size(); ++pi) {
        const QChar pc = p.at(pi);
        if (pc == QLatin1Char('%') || pc == QLatin1Char('*')) {
            if (steps.empty() || steps.back().kind != LikeStep::AnyRun)
                steps.push_back({LikeStep::AnyRun, QChar()});
        } else if (pc == QLatin1Char('_') || pc == QLatin1Char('?')) {
            steps.push_back({LikeStep::AnyOne, QChar()});
        } else if (pc == QLatin1Char('[') && p.indexOf(QLatin1Char(']'), pi + 2) > pi + 1) {
            // [x] matches the single character x literally.
            steps.push_back({LikeStep::Literal, p.at(pi + 1)});
            pi = int(p.indexOf(QLatin1Char(']'), pi + 2));
        } else {
            steps.push_back({LikeStep::Literal, pc});
        }
    }
    return steps;
}

} // namespace

bool likeMatch(const QString &text, const QString &pattern)
{
    // Every step but a run matches exactly one character, so on a mismatch
    // only the last run needs to take one more character: time grows with
    // text times pattern, never exponentially with the number of runs.
    const std::vector<LikeStep> steps = likeSteps(pattern);
    const size_t m = steps.size();
    const int n = int(text.size());
    size_t k = 0;
    int t = 0;
    bool haveRun = false;
    size_t runStep = 0; // the step after the last run seen
    int runFrom = 0;    // where the text resumes when that run takes one more character
    while (t < n) {
        if (k < m && steps[k].kind == LikeStep::AnyRun) {
            haveRun = true;
            runStep = ++k;
            runFrom = t;
        } else if (k < m && (steps[k].kind == LikeStep::AnyOne || steps[k].c == text.at(t))) {
            ++k;
            ++t;
        } else if (haveRun) {
            k = runStep;
            t = ++runFrom;
        } else {
            return false;
        }
    }
    while (k < m && steps[k].kind == LikeStep::AnyRun)
        ++k;
    return k == m;
}
