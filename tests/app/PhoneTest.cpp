// Phones on real WebSockets over the loopback drive the real window's panels
// on the simulated road: the exact traces and frames, the claims, the
// refusals, and the stops when a phone falls quiet, hides or goes.
#include <QAction>
#include <QListWidget>
#include <QPushButton>

#include "PhoneFixture.h"
#include "app/phones/ShareDialog.h"

namespace {

using PhoneTest = PhoneFixture;

TEST_F(PhoneTest, APhonesMovesGoThroughThePanelWithTheTracesAndFramesOfAHand) {
    std::unique_ptr<Phone> anna = join(QStringLiteral("anna-phone"), QStringLiteral("Anna"), kVexa);
    EXPECT_EQ(phoneLabel("vexaPhone"), "Phone: Anna");
    EXPECT_EQ(phoneLabel("drummetPhone"), "");
    TaggedSlider* speed = slider("vexaSpeedSlider");
    TaggedSlider* lane = slider("vexaLaneSlider");

    move(*anna, R"({"type":"speed","value":500})", [speed] { return speed->floatValue() == 500.0f; });
    EXPECT_EQ(writesTo(kVexa), (std::vector<Bytes>{{0x06, 0x24, 0xF4, 0x01, 0xA8, 0x61, 0x00}}));
    EXPECT_EQ(takeStdout(), "Speed 500.0 for carID: 61\n");
    EXPECT_TRUE(output().endsWith("Car:[61] speed:500.0"));

    move(*anna, R"({"type":"lane","value":20})", [lane] { return lane->floatValue() == 20.0f; });
    EXPECT_EQ(takeStdout(), "Lane 20\n");
    EXPECT_TRUE(output().endsWith("Car:[61] lane:20.0 speed:500.0"));

    move(*anna, R"({"type":"middle"})", [this] { return output().endsWith("speed:500.0") && takeStdout().size(); });
    EXPECT_EQ(lane->floatValue(), 0.0f);
    move(*anna, R"({"type":"uturn"})", [this] { return output().endsWith("Car:[61] u-turn"); });
    clearWrites();
    takeStdout();

    // The host tells the phone what its car does with its next tick, and Stop wins.
    host().tick();
    EXPECT_TRUE(waitUntil([&anna] { return anna->heardText(QStringLiteral(R"("speed":500,"state":"Moving")")); }));
    move(*anna, R"({"type":"stop"})", [speed] { return speed->value() == 0; });
    EXPECT_EQ(writesTo(kVexa), (std::vector<Bytes>{{0x06, 0x24, 0x00, 0x00, 0xA8, 0x61, 0x00}}));
    EXPECT_EQ(takeStdout(), "Speed 0.0 for carID: 61\n");
}

TEST_F(PhoneTest, OneCarPerPhoneOnePhonePerCarAndThePersonCanTakeACarBack) {
    std::unique_ptr<Phone> anna = join(QStringLiteral("anna-phone"), QStringLiteral("Anna"), kVexa);
    std::unique_ptr<Phone> ben = join(QStringLiteral("ben-phone"), QString());
    ben->say(QStringLiteral(R"({"type":"claim","car":"61"})"));
    EXPECT_TRUE(waitUntil([&ben] { return ben->heardText(QStringLiteral(R"("reason":"taken")")); }));
    ben->say(QStringLiteral(R"({"type":"claim","car":"99"})"));
    EXPECT_TRUE(waitUntil([&ben] { return ben->heardText(QStringLiteral(R"("reason":"gone")")); }));

    // Anna moves to the other car: hers is free for Ben, who has no name.
    anna->say(QStringLiteral(R"({"type":"claim","car":"62"})"));
    EXPECT_TRUE(waitUntil([this] { return phoneLabel("drummetPhone") == "Phone: Anna"; }));
    EXPECT_EQ(phoneLabel("vexaPhone"), "");
    ben->say(QStringLiteral(R"({"type":"claim","car":"61"})"));
    EXPECT_TRUE(waitUntil([this] { return phoneLabel("vexaPhone") == "Phone: #2"; }));

    // The same phone again elsewhere (a second tab): the newer socket drives, the older is told.
    std::unique_ptr<Phone> benAgain = join(QStringLiteral("ben-phone"), QString());
    EXPECT_TRUE(waitUntil([&ben] { return ben->closed; }));
    EXPECT_TRUE(ben->heardText(QStringLiteral(R"("reason":"replaced")")));
    EXPECT_TRUE(waitUntil([&benAgain] { return benAgain->heardCarIsMine(kVexa); }));

    ASSERT_EQ(host().phones().size(), 2u);
    EXPECT_EQ(host().phones()[0].carName, "Drummet");
    host().release(QStringLiteral("anna-phone"));
    EXPECT_EQ(phoneLabel("drummetPhone"), "");
    EXPECT_TRUE(waitUntil([&anna] { return anna->heardText(QStringLiteral(R"({"car":null,"type":"car"})")); }));
}

TEST_F(PhoneTest, ANewNameShowsOnThePanelOverTheSameSocketAndBeatsAreAnswered) {
    std::unique_ptr<Phone> anna = join(QStringLiteral("anna-phone"), QString(), kVexa);
    EXPECT_TRUE(waitUntil([this] { return phoneLabel("vexaPhone") == "Phone: #1"; }));
    anna->say(QStringLiteral(R"({"type":"name","name":"Anna"})"));
    EXPECT_TRUE(waitUntil([this] { return phoneLabel("vexaPhone") == "Phone: Anna"; }));
    EXPECT_FALSE(anna->closed);
    ASSERT_EQ(host().phones().size(), 1u);
    EXPECT_EQ(host().phones()[0].label, "Anna");
    // The page's beat is answered: a silent laptop is one that stopped answering.
    anna->say(QStringLiteral(R"({"type":"beat"})"));
    EXPECT_TRUE(waitUntil([&anna] { return anna->heardText(QStringLiteral(R"({"type":"beat"})")); }));
}

TEST_F(PhoneTest, ASocketWithoutTheTokenOrFromAnotherPageIsClosedWithNothingSent) {
    struct Case {
        const char* what;
        QString origin;
        QString first;  // empty: says nothing, and the clock passes 2 s
    };
    const QString wrongToken = QString(32, QLatin1Char('a'));
    const Case cases[] = {
        {"a wrong token", host().origin(), hello(wrongToken, QStringLiteral("mallory-1"))},
        {"another page", QStringLiteral("http://evil.example:80"), hello(token_, QStringLiteral("mallory-2"))},
        {"no hello first", host().origin(), QStringLiteral(R"({"type":"speed","value":900})")},
        {"not JSON", host().origin(), QStringLiteral("speed 900")},
        {"silence", host().origin(), QString()},
    };
    for (const Case& test : cases) {
        std::unique_ptr<Phone> phone = open(test.origin);
        if (test.first.isEmpty()) {
            now_ += phone::kAuthWithin;
            host().tick();
        } else {
            phone->say(test.first);
            phone->say(QStringLiteral(R"({"type":"claim","car":"61"})"));
        }
        EXPECT_TRUE(waitUntil([&phone] { return phone->closed; })) << test.what;
        EXPECT_EQ(phone->heard, QStringList()) << test.what;
    }
    settle();
    EXPECT_EQ(writesTo(kVexa), std::vector<Bytes>());
    EXPECT_EQ(takeStdout(), "");
    EXPECT_TRUE(host().phones().empty());
}

TEST_F(PhoneTest, ASeventeenthPhoneIsRefusedAndAFloodIsToldAndDropped) {
    std::vector<std::unique_ptr<Phone>> phones;
    for (int i = 0; i < 16; ++i) phones.push_back(join(QStringLiteral("phone-%1-xx").arg(i), QString()));
    std::unique_ptr<Phone> late = open(host().origin());
    late->say(hello(token_, QStringLiteral("phone-16-xx")));
    EXPECT_TRUE(waitUntil([&late] { return late->closed; }));
    EXPECT_EQ(late->heard, QStringList{R"({"reason":"full","type":"refused"})"});

    Phone& first = *phones.front();
    first.say(QStringLiteral(R"({"type":"claim","car":"61"})"));
    for (int i = 0; i < 60; ++i) first.say(QStringLiteral(R"({"type":"lane","value":%1})").arg(i % 2 ? 10 : -10));
    first.say(QStringLiteral(R"({"type":"stop"})"));  // past the limit, and still obeyed
    EXPECT_TRUE(waitUntil([this] { return takeStdout().find("Speed 0.0 for carID: 61") != std::string::npos; }));
    EXPECT_TRUE(waitUntil([&first] { return first.heardText(QStringLiteral(R"("reason":"slow")")); }));
    EXPECT_EQ(first.heard.filter(QStringLiteral(R"("reason":"slow")")).size(), 1);
}

TEST_F(PhoneTest, ACarStopsWhenItsPhoneFallsQuietHidesOrGoesAndIsKeptThirtySeconds) {
    struct Case {
        const char* what;
        std::function<void(PhoneTest&, std::unique_ptr<Phone>&)> quiet;
    };
    const Case cases[] = {
        {"quiet for a second",
         [](PhoneTest& test, std::unique_ptr<Phone>&) {
             test.now_ += phone::kQuietStop;
             test.host().tick();
         }},
        {"page hidden", [](PhoneTest&, std::unique_ptr<Phone>& phone) { phone->say(R"({"type":"hidden"})"); }},
        {"socket closed", [](PhoneTest&, std::unique_ptr<Phone>& phone) { phone->socket.close(); }},
    };
    TaggedSlider* speed = slider("vexaSpeedSlider");
    for (const Case& test : cases) {
        std::unique_ptr<Phone> anna = join(QStringLiteral("anna-phone"), QStringLiteral("Anna"), kVexa);
        move(*anna, R"({"type":"speed","value":300})", [speed] { return speed->floatValue() == 300.0f; });
        takeStdout();
        test.quiet(*this, anna);
        EXPECT_TRUE(waitUntil([speed] { return speed->value() == 0; })) << test.what;
        EXPECT_EQ(takeStdout(), "Speed 0.0 for carID: 61\n") << test.what;
    }
    // The phone gone, its car waits for it 30 s; a stranger cannot take it.
    EXPECT_EQ(phoneLabel("vexaPhone"), "Phone: Anna");
    std::unique_ptr<Phone> ben = join(QStringLiteral("ben-phone"), QStringLiteral("Ben"));
    ben->say(QStringLiteral(R"({"type":"claim","car":"61"})"));
    EXPECT_TRUE(waitUntil([&ben] { return ben->heardText(QStringLiteral(R"("reason":"taken")")); }));
    std::unique_ptr<Phone> back = join(QStringLiteral("anna-phone"), QStringLiteral("Anna"));
    EXPECT_TRUE(waitUntil([&back] { return back->heardCarIsMine(kVexa); }));
    back->socket.close();
    EXPECT_TRUE(waitUntil([this] { return host().phones().size() == 2 && host().phones()[1].away; }));
    // Ben asked meanwhile: coming back for a moment did not start Anna's 30 s again.
    now_ += phone::kClaimKept;
    host().tick();
    EXPECT_EQ(phoneLabel("vexaPhone"), "Phone: Ben");
    EXPECT_TRUE(waitUntil([&ben] { return ben->heardCarIsMine(kVexa); }));
}

TEST_F(PhoneTest, StopAllAndEscStopPhoneDrivenCarsAndStopSharingLetsEveryPhoneGo) {
    std::unique_ptr<Phone> anna = join(QStringLiteral("anna-phone"), QStringLiteral("Anna"), kVexa);
    TaggedSlider* speed = slider("vexaSpeedSlider");
    move(*anna, R"({"type":"speed","value":400})", [speed] { return speed->floatValue() == 400.0f; });
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    EXPECT_EQ(speed->value(), 0);
    move(*anna, R"({"type":"speed","value":400})", [speed] { return speed->floatValue() == 400.0f; });
    window_->findChild<QPushButton*>("stopAllButton")->click();
    EXPECT_EQ(speed->value(), 0);

    move(*anna, R"({"type":"speed","value":400})", [speed] { return speed->floatValue() == 400.0f; });
    host().stopSharing();
    EXPECT_EQ(speed->value(), 0);
    EXPECT_EQ(phoneLabel("vexaPhone"), "");
    EXPECT_TRUE(waitUntil([&anna] { return anna->closed; }));
    EXPECT_EQ(host().url(), "");
}

TEST_F(PhoneTest, TheShareDialogShowsTheAddressAndThePhonesAndLetsThePersonTakeACarBack) {
    std::unique_ptr<Phone> anna = join(QStringLiteral("anna-phone"), QStringLiteral("Anna"), kVexa);
    window_->findChild<QAction*>("driveFromPhonesAction")->trigger();
    auto* dialog = window_->findChild<ShareDialog*>("shareDialog");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->findChild<QLabel*>("shareAddress")->text(), host().url());
    EXPECT_FALSE(dialog->findChild<QLabel*>("shareCode")->pixmap().isNull());
    auto* phones = dialog->findChild<QListWidget*>("sharePhones");
    ASSERT_EQ(phones->count(), 1);
    EXPECT_EQ(phones->item(0)->text(), "Anna: drives Vexa");
    phones->setCurrentRow(0);
    dialog->findChild<QPushButton*>("releaseCarButton")->click();
    EXPECT_EQ(phones->item(0)->text(), "Anna: choosing a car");
    EXPECT_EQ(phoneLabel("vexaPhone"), "");

    // A phone away is listed with the car it keeps, and the person can take it back.
    std::unique_ptr<Phone> ben = join(QStringLiteral("ben-phone"), QStringLiteral("Ben"), kDrummet);
    ben->socket.close();
    EXPECT_TRUE(waitUntil([phones] { return phones->count() == 2 && phones->item(1)->text() == "Ben (away): keeps Drummet"; }));
    phones->setCurrentRow(1);
    dialog->findChild<QPushButton*>("releaseCarButton")->click();
    EXPECT_EQ(phones->count(), 1);
    EXPECT_EQ(phoneLabel("drummetPhone"), "");

    dialog->findChild<QPushButton*>("stopSharingButton")->click();
    EXPECT_FALSE(host().sharing());
    EXPECT_TRUE(waitUntil([&anna] { return anna->closed; }));
    // Each sharing has a token of its own.
    ASSERT_TRUE(host().share(QHostAddress::LocalHost, 0));
    EXPECT_NE(host().url().section(QStringLiteral("#k="), 1), token_);
    EXPECT_EQ(host().url().section(QStringLiteral("#k="), 1).size(), 32);
}

TEST_F(PhoneTest, SharedOnEveryInterfaceEachAddressIsAnOriginAndNothingElseIs) {
    struct Case {
        const char* every;
        const char* loopback;  // among the origins
        const char* anyV6;     // never one
    };
    const Case cases[] = {{"0.0.0.0", "http://127.0.0.1:", "[::]"}, {"::", "http://[::1]:", "[::]"}};
    for (const Case& test : cases) {
        ASSERT_TRUE(host().share(QHostAddress(QString::fromLatin1(test.every)), 0)) << test.every;
        token_ = host().url().section(QStringLiteral("#k="), 1);
        const QString port = QString::number(QUrl(host().origin()).port());
        const QStringList origins = host().origins();
        EXPECT_EQ(host().urls().size(), origins.size());
        EXPECT_TRUE(origins.contains(test.loopback + port)) << test.every;
        for (const QString& origin : origins) {
            EXPECT_FALSE(origin.contains(QStringLiteral("0.0.0.0")) || origin.contains(test.anyV6)) << origin.toStdString();
            std::unique_ptr<Phone> phone = open(origin);
            phone->say(hello(token_, QStringLiteral("phone-at-%1").arg(origins.indexOf(origin) + 100)));
            EXPECT_TRUE(waitUntil([&phone] { return phone->heardText(QStringLiteral("\"welcome\"")); }))
                << origin.toStdString();
        }
        for (const QString& stranger : {QStringLiteral("http://0.0.0.0:") + port, QStringLiteral("http://[::]:") + port,
                                        QStringLiteral("http://127.0.0.1:1"), QStringLiteral("http://evil.example:") + port}) {
            std::unique_ptr<Phone> phone = open(stranger);
            EXPECT_TRUE(waitUntil([&phone] { return phone->closed; })) << stranger.toStdString();
        }
    }
}

}  // namespace
