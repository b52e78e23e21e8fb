#include "reference/photo.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

// The photo codec on its own: format bytes, decoding, files.
class TestPhoto : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;

    static QByteArray encoded(const char *fmt)
    {
        QImage img(12, 16, QImage::Format_RGB32);
        img.fill(QColor(200, 30, 30));
        QByteArray out;
        QBuffer b(&out);
        b.open(QIODevice::WriteOnly);
        img.save(&b, fmt);
        return out;
    }
    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = tmp.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }

private slots:
    void formatByExtension_data()
    {
        QTest::addColumn<QString>("ext");
        QTest::addColumn<int>("format");
        QTest::newRow("bmp") << "bmp" << 1;
        QTest::newRow("JPG") << "JPG" << 2;
        QTest::newRow("jpe") << "jpe" << 2;
        QTest::newRow("Jpeg") << "Jpeg" << 2;
        QTest::newRow("ico") << "ICO" << 3;
        QTest::newRow("emf") << "emf" << 4;
        QTest::newRow("wmf") << "WMF" << 4;
        QTest::newRow("gif") << "gif" << 0;
        QTest::newRow("png") << "png" << 0;
        QTest::newRow("none") << "" << 0;
    }
    void formatByExtension()
    {
        QFETCH(QString, ext);
        QFETCH(int, format);
        MemoryImage img;
        QCOMPARE(int(img.setFormatByExt(ext)), format);
    }

    void photoStreams_data()
    {
        QTest::addColumn<QByteArray>("photo");
        QTest::addColumn<int>("format");    // what the picture holds afterwards
        QTest::addColumn<bool>("drawable");
        QTest::newRow("bitmap") << QByteArray(1, '\1') + encoded("BMP") << 1 << true;
        QTest::newRow("jpeg") << QByteArray(1, '\2') + encoded("JPEG") << 2 << true;
        QTest::newRow("icon") << QByteArray(1, '\3') + encoded("ICO") << 3 << true;
        QTest::newRow("metafile kept, not drawn") << QByteArray(1, '\4') + QByteArray("\x01\x00\x00\x00 EMF bytes", 15) << 4 << false;
        QTest::newRow("unknown first byte") << QByteArray(1, '\7') + encoded("BMP") << 0 << false;
        QTest::newRow("zero first byte") << QByteArray(1, '\0') + encoded("BMP") << 0 << false;
        QTest::newRow("jpeg byte over bitmap data") << QByteArray(1, '\2') + QByteArray("not a picture") << 0 << false;
        QTest::newRow("only the format byte") << QByteArray(1, '\1') << 0 << false;
        QTest::newRow("empty") << QByteArray() << 0 << false;
    }
    void photoStreams()
    {
        QFETCH(QByteArray, photo);
        QFETCH(int, format);
        QFETCH(bool, drawable);
        MemoryImage img;
        img.loadFromPhotoStream(photo);
        QCOMPARE(int(img.format()), format);
        QCOMPARE(!img.image().isNull(), drawable);
        // What a picture holds goes back to the column byte for byte.
        QCOMPARE(img.saveToPhotoStream(), format ? photo : QByteArray());
    }

    void filesRoundTrip()
    {
        const QByteArray jpeg = encoded("JPEG");
        MemoryImage img;
        QCOMPARE(img.setFormatByExt("JPG"), Photo::Jpeg);
        QVERIFY(img.loadFromFile(writeFile("a.JPG", jpeg)));
        QCOMPARE(img.saveToPhotoStream(), QByteArray(1, '\2') + jpeg);
        QVERIFY(img.saveToFile(tmp.filePath("back")));
        QFile f(tmp.filePath("back"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), jpeg);
        // A file that does not decode as its extension says is refused and changes nothing.
        MemoryImage bad;
        bad.setFormatByExt("bmp");
        QString error;
        QVERIFY(!bad.loadFromFile(writeFile("x.bmp", "garbage"), &error));
        QVERIFY(bad.isEmpty());
        QVERIFY(!error.isEmpty());
        QCOMPARE(Photo::fileFilter(Photo::Bitmap), QString("位图 (*.bmp)"));
    }

};

QTEST_MAIN(TestPhoto)
#include "tst_reference_photo.moc"
