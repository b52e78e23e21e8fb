#pragma once
#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

class Dataset;

// A typed predicate over one row of a Dataset. Built directly
// (Filter::equals("Parent_Id", id)) or parsed from the textual forms the
// windows use: Parent_id='0001', type like '00%', state<3, id=17,
// combined with and / or / not and parentheses.
class Filter {
public:
    enum class Op { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual, Like, IsNull, IsNotNull, And, Or, Not, True };

    Filter() : m_op(Op::True) {}

    static Filter equals(const QString &column, const QVariant &value);
    static Filter startsWith(const QString &column, const QString &prefix);
    static Filter compare(const QString &column, Op op, const QVariant &value);
    static Filter like(const QString &column, const QString &pattern);
    static Filter isNull(const QString &column, bool null = true);
    static Filter both(const Filter &a, const Filter &b);
    static Filter either(const Filter &a, const Filter &b);
    static Filter negate(const Filter &a);

    // Parses a filter text; throws DataError naming the fault on bad syntax.
    // An empty or blank text is the filter that keeps every row.
    static Filter parse(const QString &text);

    bool keepsAll() const { return m_op == Op::True; }
    Op op() const { return m_op; }
    const QString &column() const { return m_column; }
    const QVariant &value() const { return m_value; }
    const std::vector<Filter> &children() const { return m_children; }

private:
    Op m_op;
    QString m_column;
    QVariant m_value;
    std::vector<Filter> m_children;
};

// Jet-style like: % any run, _ one character; case-sensitive.
bool likeMatch(const QString &text, const QString &pattern);
