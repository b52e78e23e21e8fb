#include "data/columnstore.h"

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {
constexpr size_t ChunkSize = size_t(1) << 22;
constexpr size_t HugePage = size_t(1) << 21;

// A whole table's columns are large and filled once, front to back: asking
// for huge pages spares the kernel half a million page faults.
void adviseHuge(const void *p, size_t bytes)
{
#ifdef MADV_HUGEPAGE
    const auto begin = (reinterpret_cast<uintptr_t>(p) + HugePage - 1) & ~(HugePage - 1);
    const auto end = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(HugePage - 1);
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    Q_UNUSED(p);
    Q_UNUSED(bytes);
#endif
}


char *allocChunk(size_t n)
{
    auto *p = static_cast<char *>(std::aligned_alloc(HugePage, (n + HugePage - 1) & ~(HugePage - 1)));
    if (!p)
        throw std::bad_alloc();
    return p;
}
constexpr qint64 MsPerDay = 86400000;
// Past this many distinct texts a column that is mostly distinct stops interning.
constexpr size_t InternProbe = 1 << 14;

inline size_t hashBytes(const char *p, size_t n)
{
    return qHash(QByteArrayView(p, qsizetype(n)));
}
template <typename V> void reserveLarge(V &v, size_t n)
{
    v.reserve(n);
}
} // namespace

quint32 ColumnStore::intern(const char *p, size_t n)
{
    if (n == 0)
        return 0;
    if (m_interning && m_pool.size() >= InternProbe && m_pool.size() * 2 > m_text.size() + 1) {
        // Mostly distinct: looking each text up costs more than it saves.
        m_interning = false;
        m_slots.clear();
        m_slots.shrink_to_fit();
    }
    if (!m_interning) {
        if (m_pool.size() == m_pool.capacity()) // an entry per row from here on: sized like the rows
            reserveLarge(m_pool, std::max(m_text.capacity(), m_pool.size() * 2));
        m_pool.push_back({store(p, n), quint32(n)});
        return quint32(m_pool.size() - 1);
    }
    // Neighbouring rows often hold the same text (items of one bill).
    const TextRef &last = m_pool[m_lastId];
    if (last.len == n && std::memcmp(last.ptr, p, n) == 0)
        return m_lastId;
    if (m_slots.size() < 2 * m_pool.size() + 2)
        rehash(std::max<size_t>(64, m_slots.size() * 2));
    const size_t mask = m_slots.size() - 1;
    for (size_t i = hashBytes(p, n) & mask;; i = (i + 1) & mask) {
        const quint32 s = m_slots[i];
        if (s == 0) {
            m_pool.push_back({store(p, n), quint32(n)});
            m_slots[i] = quint32(m_pool.size());
            return m_lastId = quint32(m_pool.size() - 1);
        }
        const TextRef &t = m_pool[s - 1];
        if (t.len == n && std::memcmp(t.ptr, p, n) == 0)
            return m_lastId = s - 1;
    }
}

void ColumnStore::rehash(size_t count)
{
    m_slots.assign(count, 0);
    const size_t mask = count - 1;
    for (size_t e = 1; e < m_pool.size(); ++e) {
        size_t i = hashBytes(m_pool[e].ptr, m_pool[e].len) & mask;
        while (m_slots[i])
            i = (i + 1) & mask;
        m_slots[i] = quint32(e + 1);
    }
}

void *allocateLarge(size_t bytes)
{
    if (bytes < 2 * HugePage)
        return ::operator new(bytes);
    const size_t rounded = (bytes + HugePage - 1) & ~(HugePage - 1);
    void *p = std::aligned_alloc(HugePage, rounded);
    if (!p)
        throw std::bad_alloc();
    adviseHuge(p, rounded);
    return p;
}

void freeLarge(void *p, size_t bytes)
{
    if (bytes < 2 * HugePage)
        ::operator delete(p);
    else
        std::free(p);
}

void ColumnStore::reserve(size_t n)
{
    reserveLarge(m_null, n);
    switch (m_type) {
    case FieldType::Integer:
    case FieldType::DateTime: reserveLarge(m_int, n); break;
    case FieldType::Double: reserveLarge(m_double, n); break;
    case FieldType::Text: reserveLarge(m_text, n); break;
    case FieldType::Blob: m_blob.reserve(n); break;
    case FieldType::Variant: m_var.reserve(n); break;
    }
}

qint64 ColumnStore::encodeDateTime(const QDateTime &dt)
{
    return dt.date().toJulianDay() * MsPerDay + dt.time().msecsSinceStartOfDay();
}

qint64 ColumnStore::encode(const QDate &date, int msecsOfDay)
{
    return date.toJulianDay() * MsPerDay + msecsOfDay;
}

QDateTime ColumnStore::decodeDateTime(qint64 v)
{
    qint64 day = v / MsPerDay;
    qint64 ms = v % MsPerDay;
    if (ms < 0) {
        ms += MsPerDay;
        --day;
    }
    return QDateTime(QDate::fromJulianDay(day), QTime::fromMSecsSinceStartOfDay(int(ms)));
}

const char *ColumnStore::store(const char *p, size_t n)
{
    if (n == 0)
        return "";
    if (n > ChunkSize / 4) {
        // A long text gets a chunk of its own, so chunks stay well used.
        m_chunks.emplace_back(allocChunk(n));
        std::memcpy(m_chunks.back().get(), p, n);
        const char *out = m_chunks.back().get();
        // Keep filling the previous shared chunk: move the long one before it.
        if (m_chunks.size() >= 2 && m_chunkSize)
            std::swap(m_chunks[m_chunks.size() - 1], m_chunks[m_chunks.size() - 2]);
        return out;
    }
    if (!m_chunkSize || m_chunkUsed + n > m_chunkSize) {
        m_chunks.emplace_back(allocChunk(ChunkSize));
        // a column of mostly distinct texts, or one past its first chunk, fills its chunks
        if (!m_interning || m_chunks.size() > 1)
            adviseHuge(m_chunks.back().get(), ChunkSize);
        m_chunkSize = ChunkSize;
        m_chunkUsed = 0;
    }
    char *dst = m_chunks.back().get() + m_chunkUsed;
    std::memcpy(dst, p, n);
    m_chunkUsed += n;
    return dst;
}

// A column read from a statement does not know its size beforehand; once
// large it grows the way a whole table's column is sized, in huge pages.
void ColumnStore::grow()
{
    reserve(std::max<size_t>(1024, m_null.size() * 2));
}

void ColumnStore::appendNull()
{
    if (m_null.size() == m_null.capacity())
        grow();
    m_null.push_back(1);
    switch (m_type) {
    case FieldType::Integer:
    case FieldType::DateTime: m_int.push_back(0); break;
    case FieldType::Double: m_double.push_back(0); break;
    case FieldType::Text: m_text.push_back(0); break;
    case FieldType::Blob: m_blob.emplace_back(); break;
    case FieldType::Variant: m_var.emplace_back(); break;
    }
}

void ColumnStore::appendInt(qint64 v)
{
    if (m_null.size() == m_null.capacity())
        grow();
    m_null.push_back(0);
    m_int.push_back(v);
}

void ColumnStore::appendDouble(double v)
{
    if (m_null.size() == m_null.capacity())
        grow();
    m_null.push_back(0);
    m_double.push_back(v);
}

void ColumnStore::appendText(const char *p, size_t n)
{
    if (m_null.size() == m_null.capacity())
        grow();
    m_null.push_back(0);
    m_text.push_back(intern(p, n));
}

void ColumnStore::appendBlob(const QByteArray &b)
{
    if (m_null.size() == m_null.capacity())
        grow();
    m_null.push_back(0);
    m_blob.push_back(b);
}

void ColumnStore::appendVariant(const QVariant &v)
{
    if (m_null.size() == m_null.capacity())
        grow();
    m_null.push_back(v.isNull() ? 1 : 0);
    m_var.push_back(v);
}

QVariant ColumnStore::get(int row) const
{
    const size_t r = size_t(row);
    if (m_type == FieldType::Variant)
        return m_var[r];
    if (m_null[r]) {
        switch (m_type) {
        case FieldType::Integer: return QVariant(QMetaType::fromType<qlonglong>());
        case FieldType::Double: return QVariant(QMetaType::fromType<double>());
        case FieldType::DateTime: return QVariant(QMetaType::fromType<QDateTime>());
        case FieldType::Text: return QVariant(QMetaType::fromType<QString>());
        case FieldType::Blob: return QVariant(QMetaType::fromType<QByteArray>());
        case FieldType::Variant: break;
        }
        return {};
    }
    switch (m_type) {
    case FieldType::Integer: return QVariant(qlonglong(m_int[r]));
    case FieldType::Double: return QVariant(m_double[r]);
    case FieldType::DateTime: return QVariant(decodeDateTime(m_int[r]));
    case FieldType::Text: {
        const TextRef &t = m_pool[m_text[r]];
        return QVariant(QString::fromUtf8(t.ptr, qsizetype(t.len)));
    }
    case FieldType::Blob: return QVariant(m_blob[r]);
    case FieldType::Variant: break;
    }
    return {};
}

void ColumnStore::set(int row, const QVariant &v)
{
    const size_t r = size_t(row);
    const bool null = !v.isValid() || v.isNull();
    if (m_type == FieldType::Variant) {
        m_var[r] = v;
        m_null[r] = null ? 1 : 0;
        return;
    }
    m_null[r] = null ? 1 : 0;
    switch (m_type) {
    case FieldType::Integer: m_int[r] = null ? 0 : v.toLongLong(); break;
    case FieldType::Double: m_double[r] = null ? 0 : v.toDouble(); break;
    case FieldType::DateTime: m_int[r] = null ? 0 : encodeDateTime(v.toDateTime()); break;
    case FieldType::Text: {
        if (null) {
            m_text[r] = 0;
        } else {
            const QByteArray utf8 = v.toString().toUtf8();
            m_text[r] = intern(utf8.constData(), size_t(utf8.size()));
        }
        break;
    }
    case FieldType::Blob: m_blob[r] = null ? QByteArray() : v.toByteArray(); break;
    case FieldType::Variant: break;
    }
}

void ColumnStore::append(const QVariant &v)
{
    appendNull();
    set(size() - 1, v);
}

void ColumnStore::appendAll(ColumnStore &&other)
{
    reserve(m_null.size() + other.m_null.size());
    m_null.insert(m_null.end(), other.m_null.begin(), other.m_null.end());
    switch (m_type) {
    case FieldType::Integer:
    case FieldType::DateTime: m_int.insert(m_int.end(), other.m_int.begin(), other.m_int.end()); break;
    case FieldType::Double: m_double.insert(m_double.end(), other.m_double.begin(), other.m_double.end()); break;
    case FieldType::Blob: m_blob.insert(m_blob.end(), other.m_blob.begin(), other.m_blob.end()); break;
    case FieldType::Variant: m_var.insert(m_var.end(), other.m_var.begin(), other.m_var.end()); break;
    case FieldType::Text: {
        // The other column's texts are taken into this one's pool once each;
        // where this one no longer interns, its texts stay where they are:
        // this column takes over the chunks that hold them.
        std::vector<quint32> map(other.m_pool.size(), 0);
        if (!m_interning) {
            reserveLarge(m_pool, m_pool.size() + other.m_pool.size());
            for (size_t e = 1; e < other.m_pool.size(); ++e) {
                m_pool.push_back(other.m_pool[e]);
                map[e] = quint32(m_pool.size() - 1);
            }
            // in front, so the chunk this column is filling stays the last
            m_chunks.insert(m_chunks.begin(), std::make_move_iterator(other.m_chunks.begin()), std::make_move_iterator(other.m_chunks.end()));
            other.m_chunks.clear();
            other.m_chunkSize = other.m_chunkUsed = 0;
        } else {
            for (size_t e = 1; e < other.m_pool.size(); ++e)
                map[e] = intern(other.m_pool[e].ptr, other.m_pool[e].len);
        }
        m_text.reserve(m_text.size() + other.m_text.size());
        for (quint32 id : other.m_text)
            m_text.push_back(map[id]);
        break;
    }
    }
}

namespace {
// Gathers through `scratch` and copies back, so no new column is allocated
// (fresh memory costs a page fault per page).
template <typename V> void reorderVector(V &v, const LargeVector<quint32> &order, LargeVector<quint64> &scratch)
{
    if (v.empty())
        return;
    using T = typename V::value_type;
    if constexpr (std::is_trivially_copyable_v<T> && sizeof(T) <= sizeof(quint64)) {
        if (scratch.size() < v.size())
            scratch.resize(v.size());
        T *tmp = reinterpret_cast<T *>(scratch.data());
        const T *src = v.data();
        for (size_t i = 0; i < order.size(); ++i)
            tmp[i] = src[order[i]];
        std::memcpy(v.data(), tmp, v.size() * sizeof(T));
    } else {
        V out;
        out.reserve(v.size());
        for (quint32 from : order)
            out.push_back(std::move(v[from]));
        v.swap(out);
    }
}
} // namespace

void ColumnStore::reorder(const LargeVector<quint32> &order, LargeVector<quint64> &scratch)
{
    Q_ASSERT(order.size() == m_null.size());
    reorderVector(m_null, order, scratch);
    reorderVector(m_int, order, scratch);
    reorderVector(m_double, order, scratch);
    reorderVector(m_text, order, scratch);
    reorderVector(m_blob, order, scratch);
    reorderVector(m_var, order, scratch);
}
