#include "data/columnstore.h"

namespace {
constexpr size_t ChunkSize = size_t(1) << 22;
constexpr qint64 MsPerDay = 86400000;
} // namespace

void ColumnStore::reserve(size_t n)
{
    m_null.reserve(n);
    switch (m_type) {
    case FieldType::Integer:
    case FieldType::DateTime: m_int.reserve(n); break;
    case FieldType::Double: m_double.reserve(n); break;
    case FieldType::Text: m_text.reserve(n); break;
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
        m_chunks.emplace_back(new char[n]);
        std::memcpy(m_chunks.back().get(), p, n);
        const char *out = m_chunks.back().get();
        // Keep filling the previous shared chunk: move the long one before it.
        if (m_chunks.size() >= 2 && m_chunkSize)
            std::swap(m_chunks[m_chunks.size() - 1], m_chunks[m_chunks.size() - 2]);
        return out;
    }
    if (!m_chunkSize || m_chunkUsed + n > m_chunkSize) {
        m_chunks.emplace_back(new char[ChunkSize]);
        m_chunkSize = ChunkSize;
        m_chunkUsed = 0;
    }
    char *dst = m_chunks.back().get() + m_chunkUsed;
    std::memcpy(dst, p, n);
    m_chunkUsed += n;
    return dst;
}

void ColumnStore::appendNull()
{
    m_null.push_back(1);
    switch (m_type) {
    case FieldType::Integer:
    case FieldType::DateTime: m_int.push_back(0); break;
    case FieldType::Double: m_double.push_back(0); break;
    case FieldType::Text: m_text.push_back({"", 0}); break;
    case FieldType::Blob: m_blob.emplace_back(); break;
    case FieldType::Variant: m_var.emplace_back(); break;
    }
}

void ColumnStore::appendInt(qint64 v)
{
    m_null.push_back(0);
    m_int.push_back(v);
}

void ColumnStore::appendDouble(double v)
{
    m_null.push_back(0);
    m_double.push_back(v);
}

void ColumnStore::appendText(const char *p, size_t n)
{
    m_null.push_back(0);
    m_text.push_back({store(p, n), quint32(n)});
}

void ColumnStore::appendBlob(const QByteArray &b)
{
    m_null.push_back(0);
    m_blob.push_back(b);
}

void ColumnStore::appendVariant(const QVariant &v)
{
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
    case FieldType::Text: return QVariant(QString::fromUtf8(m_text[r].ptr, qsizetype(m_text[r].len)));
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
            m_text[r] = {"", 0};
        } else {
            const QByteArray utf8 = v.toString().toUtf8();
            m_text[r] = {store(utf8.constData(), size_t(utf8.size())), quint32(utf8.size())};
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
