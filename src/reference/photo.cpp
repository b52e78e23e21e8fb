#include "reference/photo.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

namespace Photo {

Format formatByExt(const QString &ext)
{
    const QString e = ext.trimmed().toUpper();
    if (e == QLatin1String("BMP"))
        return Bitmap;
    if (e == QLatin1String("JPE") || e == QLatin1String("JPG") || e == QLatin1String("JPEG"))
        return Jpeg;
    if (e == QLatin1String("ICO"))
        return Icon;
    if (e == QLatin1String("EMF") || e == QLatin1String("WMF"))
        return Metafile;
    return None;
}

QString fileFilter(Format f)
{
    switch (f) {
    case Bitmap: return QStringLiteral("位图 (*.bmp)");
    case Jpeg: return QStringLiteral("JPEG 图像 (*.jpg *.jpeg *.jpe)");
    case Icon: return QStringLiteral("图标 (*.ico)");
    case Metafile: return QStringLiteral("图元文件 (*.emf *.wmf)");
    case None: break;
    }
    return QString();
}

QString openFilter()
{
    return QStringLiteral("所有图片 (*.bmp *.jpg *.jpeg *.jpe *.ico *.emf *.wmf);;") + fileFilter(Bitmap) + QStringLiteral(";;")
        + fileFilter(Jpeg) + QStringLiteral(";;") + fileFilter(Icon) + QStringLiteral(";;") + fileFilter(Metafile);
}

} // namespace Photo

static const char *qtFormat(Photo::Format f)
{
    switch (f) {
    case Photo::Bitmap: return "BMP";
    case Photo::Jpeg: return "JPEG";
    case Photo::Icon: return "ICO";
    default: return nullptr;
    }
}

namespace {
quint32 le32(const QByteArray &b, int at)
{
    return quint8(b[at]) | quint32(quint8(b[at + 1])) << 8 | quint32(quint8(b[at + 2])) << 16 | quint32(quint8(b[at + 3])) << 24;
}

// The headers of the two metafile kinds: a placeable WMF (key 9AC6CDD7), a
// plain WMF (type 1 or 2, a header of 9 words), or an EMF (a first record
// of type 1 carrying the signature " EMF").
bool looksLikeMetafile(const QByteArray &b)
{
    if (b.size() >= 22 && le32(b, 0) == 0x9AC6CDD7u)
        return true;
    if (b.size() >= 18 && (b[0] == 1 || b[0] == 2) && b[1] == 0 && b[2] == 9 && b[3] == 0)
        return true;
    return b.size() >= 88 && le32(b, 0) == 1 && le32(b, 40) == 0x464D4520u;
}
} // namespace

bool MemoryImage::decodes(Photo::Format f, const QByteArray &bytes)
{
    if (f == Photo::Metafile)
        return !bytes.isEmpty();
    const char *fmt = qtFormat(f);
    if (!fmt || bytes.isEmpty())
        return false;
    QBuffer buf;
    buf.setData(bytes);
    buf.open(QIODevice::ReadOnly);
    QImageReader r(&buf, fmt);
    r.setDecideFormatFromContent(false);
    return r.canRead() && !r.read().isNull();
}

Photo::Format MemoryImage::setFormatByExt(const QString &ext)
{
    const Photo::Format f = Photo::formatByExt(ext);
    m_pending = f;
    return f;
}

Photo::Format MemoryImage::loadFromPhotoStream(const QByteArray &photo)
{
    clear();
    if (photo.isEmpty())
        return Photo::None;
    const quint8 b = quint8(photo.at(0));
    if (b < Photo::Bitmap || b > Photo::Metafile)
        return Photo::Format(b);
    const QByteArray rest = photo.mid(1);
    if (decodes(Photo::Format(b), rest)) {
        m_format = Photo::Format(b);
        m_data = rest;
    }
    return Photo::Format(b);
}

QByteArray MemoryImage::saveToPhotoStream() const
{
    if (isEmpty())
        return QByteArray();
    return QByteArray(1, char(m_format)) + m_data;
}

bool MemoryImage::loadFromFile(const QString &path, QString *error)
{
    if (m_pending == Photo::None) {
        if (error)
            *error = QStringLiteral("不能识别的图片格式！");
        return false;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("无法读取图片文件“%1”！").arg(path);
        return false;
    }
    const QByteArray bytes = f.readAll();
    // A metafile cannot be drawn here, so at least its header must say it is one.
    if (!decodes(m_pending, bytes) || (m_pending == Photo::Metafile && !looksLikeMetafile(bytes))) {
        if (error)
            *error = QStringLiteral("图片文件“%1”已损坏或格式不符！").arg(path);
        return false;
    }
    m_format = m_pending;
    m_data = bytes;
    return true;
}

bool MemoryImage::saveToFile(const QString &path) const
{
    if (isEmpty())
        return false;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(m_data) == m_data.size() && f.flush();
}

QImage MemoryImage::image() const
{
    const char *fmt = qtFormat(m_format);
    if (!fmt)
        return QImage();
    return QImage::fromData(m_data, fmt);
}

void MemoryImage::clear()
{
    m_format = Photo::None;
    m_data.clear();
}
