// Strangers against the phone host over the loopback, byte by byte: what a
// socket may do before it shows the token, what cuts a phone off after, and
// how connections that never show it share the host between addresses.
#include <QUrl>

#include "PhoneFixture.h"
#include "RawPeer.h"

namespace {

class PhoneStrangersTest : public PhoneFixture {
public:
    quint16 port() { return static_cast<quint16>(QUrl(host().origin()).port()); }

    std::unique_ptr<RawPeer> stranger(const char* source = "127.0.0.1") {
        auto peer = std::make_unique<RawPeer>();
        EXPECT_TRUE(peer->open(port(), QHostAddress(QString::fromLatin1(source))));
        EXPECT_TRUE(peer->upgrade(host().origin()));
        return peer;
    }

    // A peer with the token, driving Vexa at 300.
    std::unique_ptr<RawPeer> driver() {
        std::unique_ptr<RawPeer> peer = stranger();
        peer->sendText(hello(token_, QStringLiteral("raw-phone-1")));
        peer->sendText(QStringLiteral(R"({"type":"claim","car":"61"})"));
        EXPECT_TRUE(waitUntil([&peer] { return peer->heardText(QStringLiteral(R"("car":"61","lane")")); }));
        TaggedSlider* speed = slider("vexaSpeedSlider");
        peer->sendText(QStringLiteral(R"({"type":"speed","value":300})"));
        EXPECT_TRUE(waitUntil([speed] { return speed->floatValue() == 300.0f; }));
        return peer;
    }

    bool phoneThere() const {
        const auto phones = host().phones();
        return std::any_of(phones.begin(), phones.end(), [](const auto& phone) { return !phone.away; });
    }
};

TEST_F(PhoneStrangersTest, BeforeTheTokenASocketMaySendOnlyItsHelloAndHearsNothing) {
    const QByteArray helloBytes = hello(token_, QStringLiteral("mallory-phone")).toUtf8();
    struct Case {
        const char* what;
        quint8 first;
        QByteArray payload;
        bool masked = true;
        qint64 declared = -1;
    };
    const Case cases[] = {
        {"a ping", 0x89, "anyone there?"},
        {"a frame longer than any hello, its payload never sent", 0x81, "", true, 513},
        {"a frame of 2^40 bytes, declared", 0x81, "", true, qint64(1) << 40},
        {"the hello in fragments", 0x01, helloBytes.left(20)},
        {"a binary hello", 0x82, helloBytes},
        {"an unmasked hello", 0x81, helloBytes, false},
        {"a reserved bit", 0xC1, helloBytes},
        {"an unknown opcode", 0x83, helloBytes},
        {"text that is not UTF-8", 0x81, "\xff\xfe{}"},
    };
    for (const Case& test : cases) {
        std::unique_ptr<RawPeer> peer = stranger();
        peer->send(test.first, test.payload, test.masked, test.declared);
        EXPECT_TRUE(waitUntil([&peer] { return peer->closed(); })) << test.what;
        for (const HeardFrame& frame : peer->frames()) EXPECT_EQ(frame.opcode, 0x8) << test.what;
    }
    // One hello, then nothing more until it is judged: a second frame behind it ends it too.
    std::unique_ptr<RawPeer> twice = stranger();
    twice->sendText(hello(QString(32, QLatin1Char('b')), QStringLiteral("mallory-phone")));
    twice->send(0x89, "and again");
    EXPECT_TRUE(waitUntil([&twice] { return twice->closed(); }));
    EXPECT_FALSE(twice->heardOpcode(0xA));
    EXPECT_TRUE(host().phones().empty());
}

TEST_F(PhoneStrangersTest, APhoneThatOverstepsItsBoundsIsCutOffAndItsCarStops) {
    struct Case {
        const char* what;
        std::function<void(RawPeer&)> overstep;
    };
    const Case cases[] = {
        {"150 pings within a second",
         [](RawPeer& peer) {
             for (int i = 0; i < 150; ++i) peer.send(0x89, "ping");
         }},
        {"one message in 150 fragments",
         [](RawPeer& peer) {
             peer.send(0x01, "{");
             for (int i = 0; i < 148; ++i) peer.send(0x00, " ");
             peer.send(0x80, "}");
         }},
        {"a message longer than any message, in fragments",
         [](RawPeer& peer) {
             peer.send(0x01, QByteArray(1500, ' '));
             peer.send(0x80, QByteArray(1500, ' '));
         }},
        {"a continuation with nothing to continue", [](RawPeer& peer) { peer.send(0x80, "{}"); }},
        {"a frame of 2^40 bytes, declared", [](RawPeer& peer) { peer.send(0x81, "", true, qint64(1) << 40); }},
    };
    TaggedSlider* speed = slider("vexaSpeedSlider");
    for (const Case& test : cases) {
        std::unique_ptr<RawPeer> peer = driver();
        // Within its bounds a ping is answered.
        peer->send(0x89, "hi");
        EXPECT_TRUE(waitUntil([&peer] { return peer->heardOpcode(0xA); })) << test.what;
        test.overstep(*peer);
        EXPECT_TRUE(waitUntil([&peer, speed] { return peer->closed() && speed->value() == 0; })) << test.what;
        EXPECT_TRUE(waitUntil([this] { return !phoneThere(); })) << test.what;
        now_ += std::chrono::seconds(1);
    }
}

TEST_F(PhoneStrangersTest, APhoneThatReadsNothingIsCutOffBeforeItsRepliesPileUp) {
    phone::PhoneLimits limits;
    // Only the unread replies bound it here; the test's waits turn the loop
    // 100 times a second, so each turn reads more.
    limits.mostFramesPerSecond = 1000000;
    limits.readPerTurn = 512 * 1024;
    limits.mostUnsent = 64 * 1024;
    host().setLimits(limits);
    std::unique_ptr<RawPeer> peer = driver();
    peer->stopReading();
    // Some 8 MB of pongs: twice what the kernel holds at most for a peer that reads nothing.
    for (int i = 0; i < 64000; ++i) peer->send(0x89, QByteArray(125, 'p'));
    TaggedSlider* speed = slider("vexaSpeedSlider");
    EXPECT_TRUE(waitUntil([this, speed] { return !phoneThere() && speed->value() == 0; }));
}

TEST_F(PhoneStrangersTest, StrangersFromOneAddressNeverShutAnotherOut) {
    struct Case {
        const char* what;
        int addresses;
        int each;
        bool upgraded;
    };
    const Case cases[] = {
        {"64 idle connections from one address", 1, 64, false},
        {"16 silent WebSockets from one address", 1, 16, true},
        {"8 idle connections from each of 8 addresses", 8, 8, false},
    };
    for (const Case& test : cases) {
        std::vector<std::unique_ptr<RawPeer>> peers;
        for (int a = 0; a < test.addresses; ++a) {
            const QHostAddress source(QStringLiteral("127.0.0.%1").arg(2 + a));
            for (int i = 0; i < test.each; ++i) {
                peers.push_back(std::make_unique<RawPeer>());
                EXPECT_TRUE(peers.back()->open(port(), source)) << test.what;
                if (test.upgraded) {
                    EXPECT_TRUE(peers.back()->upgrade(host().origin())) << test.what;
                }
            }
        }
        // The oldest of an address go first; its newest 8 stay.
        if (test.each > 8) {
            EXPECT_TRUE(waitUntil([&peers] { return peers[peers.size() - 9]->closed(); })) << test.what;
            EXPECT_FALSE(peers.back()->closed()) << test.what;
        }
        std::unique_ptr<Phone> anna = join(QStringLiteral("anna-phone"), QStringLiteral("Anna"));
        EXPECT_TRUE(anna->heardText(QStringLiteral("\"welcome\""))) << test.what;
        anna->socket.close();
        EXPECT_TRUE(waitUntil([this] { return host().phones().empty(); })) << test.what;
    }
}

TEST_F(PhoneStrangersTest, AnUpgradeFromAnotherPageOrMalformedIsRefusedBeforeItOpens) {
    const QString origin = host().origin();
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"Origin: http://127.0.0.1:1\r\n", "HTTP/1.1 403 "},
        {"Origin: null\r\n", "HTTP/1.1 403 "},
        {"", "HTTP/1.1 403 "},
        {"Origin: " + origin.toUtf8() + "\r\nSec-WebSocket-Version: 8\r\n", "HTTP/1.1 400 "},
    };
    for (const auto& [headers, answer] : cases) {
        RawPeer peer;
        ASSERT_TRUE(peer.open(port()));
        const bool ownVersion = headers.contains("Version");
        peer.socket().write("GET /ws HTTP/1.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                            "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n" +
                            QByteArray(ownVersion ? "" : "Sec-WebSocket-Version: 13\r\n") + headers + "\r\n");
        EXPECT_TRUE(waitUntil([&peer] { return peer.closed(); })) << headers.toStdString();
        EXPECT_TRUE(peer.heard().startsWith(answer)) << headers.toStdString();
    }
}

}  // namespace
