#pragma once
#include "data/dataset.h"

#include <QByteArray>
#include <QDateTime>
#include <QVariant>
#include <cstring>
#include <memory>
#include <vector>

// Storage of one data column: numbers unboxed, texts as UTF-8 in chunks
// that never move (so a cell is a pointer and a length), nulls as bytes.
class ColumnStore {
public:
    explicit ColumnStore(FieldType type) : m_type(type) {}
    FieldType type() const { return m_type; }
    int size() const { return int(m_null.size()); }
    void reserve(size_t n);

    bool isNull(int row) const { return m_null[size_t(row)] != 0; }
    qint64 intAt(int row) const { return m_int[size_t(row)]; }
    double doubleAt(int row) const { return m_double[size_t(row)]; }
    const char *textPtr(int row) const { return m_text[size_t(row)].ptr; }
    quint32 textLen(int row) const { return m_text[size_t(row)].len; }

    void appendNull();
    void appendInt(qint64 v);
    void appendDouble(double v);
    void appendText(const char *p, size_t n);
    void appendBlob(const QByteArray &b);
    void appendVariant(const QVariant &v);

    QVariant get(int row) const;
    // `v` already coerced to the column's type (or null).
    void set(int row, const QVariant &v);
    void append(const QVariant &v);

    static qint64 encodeDateTime(const QDateTime &dt);
    static qint64 encode(const QDate &date, int msecsOfDay);
    static QDateTime decodeDateTime(qint64 v);

private:
    struct TextRef {
        const char *ptr;
        quint32 len;
    };
    const char *store(const char *p, size_t n);

    FieldType m_type;
    std::vector<quint8> m_null;
    std::vector<qint64> m_int;
    std::vector<double> m_double;
    std::vector<TextRef> m_text;
    std::vector<std::unique_ptr<char[]>> m_chunks;
    size_t m_chunkUsed = 0;
    size_t m_chunkSize = 0;
    std::vector<QByteArray> m_blob;
    std::vector<QVariant> m_var;
};
