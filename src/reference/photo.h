#pragma once
#include <QByteArray>
#include <QImage>
#include <QString>

// A staff photograph as the Photo column stores it: one byte naming the
// picture format, then the picture file's bytes in that format.
namespace Photo {

enum Format : quint8 { None = 0, Bitmap = 1, Jpeg = 2, Icon = 3, Metafile = 4 };

// The format of a picture file by its extension (without the dot, any
// case): BMP; JPE, JPG, JPEG; ICO; EMF, WMF. None for anything else.
Format formatByExt(const QString &ext);
// The file-dialog filter of one format ("位图 (*.bmp)" ...).
QString fileFilter(Format f);
// The filter offering every format a picture can be loaded from.
QString openFilter();

} // namespace Photo

// One picture and its format byte; the codec between files, the Photo
// column and the screen. Nothing here needs a window.
class MemoryImage {
public:
    Photo::Format format() const { return m_format; }
    bool isEmpty() const { return m_format == Photo::None; }
    // The picture's own bytes (a BMP, JPEG, ICO, EMF or WMF file).
    const QByteArray &data() const { return m_data; }

    // Empties the picture and readies it for a file of the extension's
    // format; returns that format (None: the extension is not a picture's).
    Photo::Format setFormatByExt(const QString &ext);
    // Reads a Photo value: the first byte names the format, the rest is the
    // picture. A null value, an unknown first byte or bytes that do not decode
    // leave the picture empty; the format byte is returned all the same.
    Photo::Format loadFromPhotoStream(const QByteArray &photo);
    // The Photo value of the picture: its format byte and its bytes; empty
    // for an empty picture.
    QByteArray saveToPhotoStream() const;

    // Loads a file into the picture in the format set by setFormatByExt.
    // False (picture unchanged) when the file cannot be read or does not
    // decode as that format. Metafiles are kept byte-exact.
    bool loadFromFile(const QString &path, QString *error = nullptr);
    // Writes the picture's bytes, without the format byte, to `path`.
    bool saveToFile(const QString &path) const;

    // The decoded picture; null for an empty picture and for a metafile,
    // which this program keeps but cannot draw.
    QImage image() const;
    void clear();

private:
    static bool decodes(Photo::Format f, const QByteArray &bytes);
    Photo::Format m_format = Photo::None;
    Photo::Format m_pending = Photo::None; // set by setFormatByExt, used by loadFromFile
    QByteArray m_data;
};
