// A Photo column value: one format byte, then a BMP, JPEG, ICO or metafile.
// Whatever the bytes, reading must not crash, and a picture that was accepted
// must be written back byte for byte.
#include "reference/photo.h"

#include <QGuiApplication>
#include <QImageReader>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    // Load the image plugins once, so their caches are not taken for leaks.
    (void)QImageReader::supportedImageFormats();
    MemoryImage warm;
    warm.loadFromPhotoStream(QByteArray("\x02\xff\xd8\xff", 4));
    warm.loadFromPhotoStream(QByteArray("\x03\x00\x00\x01\x00", 5));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray photo(reinterpret_cast<const char *>(data), qsizetype(size));
    MemoryImage m;
    const Photo::Format f = m.loadFromPhotoStream(photo);
    if (size > 0 && quint8(f) != data[0])
        std::abort();
    if (!m.isEmpty()) {
        if (m.saveToPhotoStream() != photo)
            std::abort();
        const QImage img = m.image();
        if (m.format() != Photo::Metafile && img.isNull())
            std::abort(); // accepted as decodable, yet it does not draw
    }
    return 0;
}
