// A QR code of a text, black on white with the quiet zone readers need.
#pragma once

#include <QImage>
#include <QString>

// `module` pixels per square; a null image when the text cannot be encoded.
QImage qrImage(const QString& text, int module);
