#include "app/phones/QrImage.h"

#include <qrencode.h>

#include <memory>

QImage qrImage(const QString& text, int module) {
    const QByteArray bytes = text.toUtf8();
    std::unique_ptr<QRcode, void (*)(QRcode*)> code(
        QRcode_encodeString(bytes.constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
    if (!code || module < 1) return {};
    constexpr int kQuiet = 4;  // modules of white around the code
    const int side = (code->width + 2 * kQuiet) * module;
    QImage image(side, side, QImage::Format_Mono);
    image.setColor(0, qRgb(255, 255, 255));
    image.setColor(1, qRgb(0, 0, 0));
    image.fill(0);
    for (int y = 0; y < code->width; ++y) {
        for (int x = 0; x < code->width; ++x) {
            if (!(code->data[y * code->width + x] & 1)) continue;
            for (int dy = 0; dy < module; ++dy) {
                for (int dx = 0; dx < module; ++dx) {
                    image.setPixel((x + kQuiet) * module + dx, (y + kQuiet) * module + dy, 1);
                }
            }
        }
    }
    return image;
}
