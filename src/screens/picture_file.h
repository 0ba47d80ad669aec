#pragma once

#include "screens/logo_import.h"
#include "screens/mono_image.h"

#include <QImage>
#include <QString>

namespace nemora::screens {

// A picture as grey levels and pure-white flags for ConvertPicture. Transparent pixels are seen over
// white, so a fully transparent pixel is pure white.
GreyImage GreyFromPicture(const QImage& picture);

// The plain rule over a picture: every pixel that is not pure white is lit (transparency over white).
MonoImage MonoFromPicture(const QImage& picture);

// A screen image as a 24-bit picture: lit pixels pure black, unlit pure white.
QImage PictureFromMono(const MonoImage& image);

// Decodes a picture file of any format Qt reads. On failure returns false and says why in error.
bool ReadPicture(const QString& path, GreyImage& picture, QString& error);

// A file-dialog filter naming every picture format ReadPicture takes: "All Pictures (*.bmp *.gif ...)".
QString ReadablePicturesFilter();

// Encodes an image with the writer that the file's extension names (.bmp, .png, .jpg, ...). On failure
// returns false and says why in error.
bool WritePicture(const QString& path, const QImage& image, QString& error);

} // namespace nemora::screens
