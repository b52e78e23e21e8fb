#pragma once
#include "data/dataset.h"

#include <QByteArray>
#include <QDateTime>
#include <QVariant>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

// Memory for large arrays: a block of 4 MiB or more starts on a 2 MiB
// boundary and asks for huge pages, so filling it costs a page fault per
// 2 MiB instead of per 4 KiB; smaller blocks come from the heap as usual.
void *allocateLarge(size_t bytes);
void freeLarge(void *p, size_t bytes);

template <typename T> struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <typename U> LargeAllocator(const LargeAllocator<U> &) {}
    T *allocate(size_t n) { return static_cast<T *>(allocateLarge(n * sizeof(T))); }
    void deallocate(T *p, size_t n) { freeLarge(p, n * sizeof(T)); }
    template <typename U> bool operator==(const LargeAllocator<U> &) const { return true; }
};
template <typename T> using LargeVector = std::vector<T, LargeAllocator<T>>;

// Storage of one data column: numbers unboxed, texts as UTF-8 in chunks
// that never move, nulls as bytes. A text cell is a 4-byte number of an
// entry (pointer and length) in the column's pool; while a column's texts
// repeat (units, departments, names) each distinct text is kept once, and
// a column whose texts are mostly different (codes, serial numbers) stops
// looking them up and just appends.
class ColumnStore {
public:
    explicit ColumnStore(FieldType type) : m_type(type)
    {
        if (type == FieldType::Text)
            m_pool.push_back({"", 0});
    }
    FieldType type() const { return m_type; }
    int size() const { return int(m_null.size()); }
    void reserve(size_t n);

    bool isNull(int row) const { return m_null[size_t(row)] != 0; }
    qint64 intAt(int row) const { return m_int[size_t(row)]; }
    double doubleAt(int row) const { return m_double[size_t(row)]; }
    const char *textPtr(int row) const { return m_pool[m_text[size_t(row)]].ptr; }
    quint32 textLen(int row) const { return m_pool[m_text[size_t(row)]].len; }
    // Equal numbers mean equal texts (different numbers may still be equal texts).
    quint32 textId(int row) const { return m_text[size_t(row)]; }
    // The pool behind those numbers: entry 0 is the empty text.
    size_t poolSize() const { return m_pool.size(); }
    const char *poolText(quint32 id) const { return m_pool[id].ptr; }
    quint32 poolLen(quint32 id) const { return m_pool[id].len; }

    void appendNull();
    void appendInt(qint64 v);
    void appendDouble(double v);
    void appendText(const char *p, size_t n);
    void appendBlob(const QByteArray &b);
    void appendVariant(const QVariant &v);
    // Appends every row of `other` (a column of the same type), which may
    // give up its texts' memory to this one and is left for discarding.
    void appendAll(ColumnStore &&other);
    // Puts the row that was at `order[i]` at row i, for every row; `order`
    // names each row once. `scratch` is working space, kept by the caller
    // for the next column.
    void reorder(const LargeVector<quint32> &order, LargeVector<quint64> &scratch);

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
    quint32 intern(const char *p, size_t n);
    void rehash(size_t count);
    void grow();

    FieldType m_type;
    LargeVector<quint8> m_null;
    LargeVector<qint64> m_int;
    LargeVector<double> m_double;
    LargeVector<quint32> m_text;  // per row: entry in m_pool
    LargeVector<TextRef> m_pool;  // entry 0 is the empty text
    std::vector<quint32> m_slots; // open-addressed: entry + 1, 0 = free
    bool m_interning = true;
    quint32 m_lastId = 0;
    struct FreeChunk {
        void operator()(char *p) const { std::free(p); }
    };
    std::vector<std::unique_ptr<char, FreeChunk>> m_chunks;
    size_t m_chunkUsed = 0;
    size_t m_chunkSize = 0;
    std::vector<QByteArray> m_blob;
    std::vector<QVariant> m_var;
};
