#include "screens/picture_file.h"

#include "dfuse/dfu_file.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

#include <unistd.h>

namespace nemora::screens {

namespace {

// A colour seen over white.
inline void OverWhite(QRgb argb, int& r, int& g, int& b)
{
    const int a = qAlpha(argb);
    r = (qRed(argb) * a + 255 * (255 - a) + 127) / 255;
    g = (qGreen(argb) * a + 255 * (255 - a) + 127) / 255;
    b = (qBlue(argb) * a + 255 * (255 - a) + 127) / 255;
}

template <typename Sink>
void WalkPixels(const QImage& picture, Sink sink)
{
    if (picture.format() == QImage::Format_Grayscale8) {
        for (int y = 0; y < picture.height(); ++y) {
            const uchar* line = picture.constScanLine(y);
            for (int x = 0; x < picture.width(); ++x)
                sink(x, y, line[x], line[x] == 255);
        }
        return;
    }
    const bool alpha = picture.hasAlphaChannel();
    const QImage rgb = picture.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            int r = qRed(line[x]), g = qGreen(line[x]), b = qBlue(line[x]);
            if (alpha)
                OverWhite(line[x], r, g, b);
            sink(x, y, GreyLevel(r, g, b), r == 255 && g == 255 && b == 255);
        }
    }
}

} // namespace

GreyImage GreyFromPicture(const QImage& picture)
{
    GreyImage out;
    if (picture.isNull())
        return out;
    out.width = picture.width();
    out.height = picture.height();
    const std::size_t n = static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height);
    out.grey.resize(n);
    out.white.resize(n);
    WalkPixels(picture, [&](int x, int y, std::uint8_t grey, bool white) {
        const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(out.width) + x;
        out.grey[i] = grey;
        out.white[i] = white ? 1 : 0;
    });
    return out;
}

MonoImage MonoFromPicture(const QImage& picture)
{
    MonoImage out(picture.width(), picture.height());
    WalkPixels(picture, [&](int x, int y, std::uint8_t, bool white) { out.SetLit(x, y, !white); });
    return out;
}

// Reasons read on after a colon: "file not found", not "File not found" (but "PNG ..." stays).
static QString Reason(QString text)
{
    if (text.size() > 1 && text[0].isUpper() && text[1].isLower())
        text[0] = text[0].toLower();
    return text;
}

QString ReadablePicturesFilter()
{
    QStringList patterns;
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        patterns << "*." + QString::fromLatin1(format).toLower();
    patterns.removeDuplicates();
    patterns.sort();
    return QCoreApplication::translate("PictureFile", "All Pictures (%1)").arg(patterns.join(' '));
}

bool ReadPicture(const QString& path, GreyImage& picture, QString& error)
{
    // Read only when it is a regular file: a named pipe with no writer would wait for ever, and a folder or
    // device holds no picture.
    const dfuse::OpenedFile opened = dfuse::OpenRegularFile(QFile::encodeName(path).toStdString());
    switch (opened.kind) {
    case dfuse::OpenedFile::Kind::Regular:
        break;
    case dfuse::OpenedFile::Kind::Missing:
        error = QCoreApplication::translate("PictureFile", "file not found");
        return false;
    case dfuse::OpenedFile::Kind::Folder:
        error = QCoreApplication::translate("PictureFile", "it is a folder, not a picture file");
        return false;
    case dfuse::OpenedFile::Kind::Other:
        error = QCoreApplication::translate("PictureFile", "it is not a regular file (a device or pipe is never read)");
        return false;
    case dfuse::OpenedFile::Kind::Failed:
        error = QString::fromLocal8Bit(opened.error.c_str());
        return false;
    }
    const int fd = opened.fd;
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        error = Reason(file.errorString());
        return false;
    }
    QImageReader reader(&file);
    QImage image;
    if (!reader.read(&image)) {
        error = Reason(reader.errorString());
        return false;
    }
    picture = GreyFromPicture(image);
    return true;
}

bool WritePicture(const QString& path, const QImage& image, QString& error)
{
    const QByteArray format = QFileInfo(path).suffix().toLower().toLatin1();
    if (format.isEmpty() || !QImageWriter::supportedImageFormats().contains(format)) {
        error = format.isEmpty()
                    ? QCoreApplication::translate("PictureFile",
                                                  "the file name has no extension that names a picture format")
                    : QCoreApplication::translate("PictureFile", "there is no picture format for the extension \".%1\"")
                          .arg(QString::fromLatin1(format));
        return false;
    }
    // Written beside the target and renamed at the end, so a failure never leaves half a file or spoils
    // the one that was there.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = Reason(file.errorString());
        return false;
    }
    QImageWriter writer(&file, format);
    if (!writer.write(image)) {
        error = Reason(writer.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = Reason(file.errorString());
        return false;
    }
    return true;
}

QImage PictureFromMono(const MonoImage& image)
{
    QImage picture(image.Width(), image.Height(), QImage::Format_RGB888);
    picture.fill(Qt::white);
    for (int y = 0; y < image.Height(); ++y) {
        uchar* line = picture.scanLine(y);
        for (int x = 0; x < image.Width(); ++x) {
            if (image.IsLit(x, y)) {
                line[3 * x] = line[3 * x + 1] = line[3 * x + 2] = 0;
            }
        }
    }
    return picture;
}

} // namespace nemora::screens
