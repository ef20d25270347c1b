// What a phone may say: anything but a well-formed message of a known kind,
// with fields of the right type, length and range, reads as nothing.
#include <gtest/gtest.h>

#include <QImage>

#include "app/phones/QrImage.h"
#include "app/phones/PhoneMessages.h"

namespace {

using phone::Message;
using phone::readMessage;
using Kind = Message::Kind;

const char* const kToken = "0123456789abcdef0123456789abcdef";

TEST(PhoneMessagesTest, OnlyWellFormedMessagesOfAKnownKindAreRead) {
    const std::pair<QString, std::optional<Kind>> cases[] = {
        {QStringLiteral(R"({"type":"hello","token":"%1","phone":"anna-phone","name":"Anna 🚗"})").arg(kToken), Kind::Hello},
        {QStringLiteral(R"({"type":"hello","token":"%1","phone":"anna-phone"})").arg(kToken), Kind::Hello},
        {R"({"type":"beat"})", Kind::Beat},
        {R"({"type":"claim","car":"305419896"})", Kind::Claim},
        {R"({"type":"speed","value":1000})", Kind::Speed},
        {R"({"type":"lane","value":-70})", Kind::Lane},
        {R"({"type":"lane","value":12.5})", Kind::Lane},
        {R"({"type":"stop"})", Kind::Stop},
        {R"({"type":"hidden"})", Kind::Hidden},
        {R"({"type":"name","name":"Ben"})", Kind::Name},
        // Faults of every kind.
        {QStringLiteral(R"({"type":"name","name":"%1"})").arg(QString(25, 'x')), {}},
        {R"({"type":"name","name":"Ben","phone":"anna-phone"})", {}},
        {QStringLiteral(R"({"type":"hello","token":"%1","phone":"short"})").arg(kToken), {}},
        {QStringLiteral(R"({"type":"hello","token":"%1","phone":"anna phone"})").arg(kToken), {}},
        {QStringLiteral(R"({"type":"hello","token":"%1","phone":"anna-phone","name":"a\u0007b"})").arg(kToken), {}},
        {QStringLiteral(R"({"type":"hello","token":"%1","phone":"anna-phone","name":"%2"})").arg(kToken, QString(25, 'x')), {}},
        {R"({"type":"hello","token":"0123","phone":"anna-phone"})", {}},
        {QStringLiteral(R"({"type":"hello","token":"%1","phone":"anna-phone"})").arg(QString(kToken).toUpper()), {}},
        {R"({"type":"speed","value":1000.5})", {}},
        {R"({"type":"speed","value":-1})", {}},
        {R"({"type":"speed","value":"500"})", {}},
        {R"({"type":"speed","value":1e400})", {}},
        {R"({"type":"speed"})", {}},
        {R"({"type":"lane","value":70.01})", {}},
        {R"({"type":"claim","car":"-1"})", {}},
        {R"({"type":"claim","car":"12345678901"})", {}},
        {R"({"type":"claim","car":61})", {}},
        {R"({"type":"stop","now":true})", {}},
        {R"({"type":"fly"})", {}},
        {R"([{"type":"stop"}])", {}},
        {R"({"type":"stop"} trailing)", {}},
        {"", {}},
        {QStringLiteral(R"({"type":"beat","pad":"%1"})").arg(QString(600, 'x')), {}},
    };
    for (const auto& [text, kind] : cases) {
        const std::optional<Message> message = readMessage(text);
        EXPECT_EQ(message.has_value(), kind.has_value()) << text.toStdString();
        if (message && kind) {
            EXPECT_EQ(message->kind, *kind) << text.toStdString();
        }
    }
    EXPECT_EQ(readMessage(R"({"type":"lane","value":12.5})")->value, 12.5);
    EXPECT_EQ(readMessage(R"({"type":"claim","car":"61"})")->car, "61");
}

TEST(PhoneMessagesTest, TheAddressCodeIsASquareWithItsQuietZone) {
    const QImage code = qrImage(QStringLiteral("http://192.168.1.20:8765/#k=%1").arg(kToken), 3);
    ASSERT_FALSE(code.isNull());
    EXPECT_EQ(code.width(), code.height());
    EXPECT_EQ(code.width() % 3, 0);
    EXPECT_EQ(code.pixelColor(0, 0), Qt::white);                    // the quiet zone
    EXPECT_EQ(code.pixelColor(4 * 3, 4 * 3), Qt::black);            // a finder pattern's corner
    EXPECT_TRUE(qrImage(QString(8000, QLatin1Char('x')), 3).isNull());  // beyond what a code holds
}

}  // namespace
