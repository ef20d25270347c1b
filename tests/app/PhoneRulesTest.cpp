// Who drives which car from a phone, how many messages a phone may send, and
// when a quiet phone's car stops: the rules on a test clock.
#include <gtest/gtest.h>

#include "app/phone/PhoneRules.h"

namespace {

using phone::Millis;
using phone::PhoneRules;
using phone::RateGate;
using Verdict = RateGate::Verdict;

TEST(RateGateTest, FiftyInAnySecondPassAndTheFirstDropIsTold) {
    RateGate gate;
    for (int i = 0; i < 50; ++i) EXPECT_EQ(gate.admit(Millis(i * 10)), Verdict::Pass) << i;
    EXPECT_EQ(gate.admit(Millis(995)), Verdict::DropAndTell);
    EXPECT_EQ(gate.admit(Millis(996)), Verdict::Drop);
    // A second after the first pass, one more may go: the window slides.
    EXPECT_EQ(gate.admit(Millis(1000)), Verdict::Pass);
    EXPECT_EQ(gate.admit(Millis(1001)), Verdict::DropAndTell);
    EXPECT_EQ(gate.admit(Millis(1010)), Verdict::Pass);
}

TEST(PhoneRulesTest, OneCarPerPhoneAndOnePhonePerCar) {
    PhoneRules rules;
    rules.join("anna", "Anna", Millis(0));
    rules.join("ben", "Ben", Millis(0));
    struct Step {
        const char* phone;
        const char* car;
        PhoneRules::Claim expected;
    };
    const Step steps[] = {
        {"anna", "61", PhoneRules::Claim::Granted},
        {"ben", "61", PhoneRules::Claim::Taken},
        {"anna", "61", PhoneRules::Claim::Granted},  // again: still hers
        {"anna", "62", PhoneRules::Claim::Granted},  // lets go of 61
        {"ben", "61", PhoneRules::Claim::Granted},
        {"ghost", "63", PhoneRules::Claim::Taken},   // never joined
    };
    for (const Step& step : steps) EXPECT_EQ(rules.claim(step.phone, step.car), step.expected) << step.phone << step.car;
    EXPECT_EQ(rules.carOf("anna"), "62");
    EXPECT_EQ(rules.phoneOf("61"), "ben");
    rules.carGone("61");
    EXPECT_EQ(rules.carOf("ben"), std::nullopt);
    EXPECT_EQ(rules.release("anna"), "62");
    EXPECT_EQ(rules.phoneOf("62"), std::nullopt);
}

TEST(PhoneRulesTest, SixteenPhonesAtMostAndAPhoneBackIsNoNewOne) {
    PhoneRules rules;
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(rules.join("p" + std::to_string(i), "", Millis(0)), PhoneRules::Join::Welcome);
    }
    EXPECT_EQ(rules.join("p16", "", Millis(0)), PhoneRules::Join::Full);
    EXPECT_EQ(rules.join("p3", "", Millis(0)), PhoneRules::Join::Welcome);  // present already
    rules.claim("p0", "61");
    rules.leave("p0", Millis(10));
    EXPECT_EQ(rules.join("p16", "", Millis(20)), PhoneRules::Join::Welcome);
    EXPECT_EQ(rules.join("p0", "", Millis(30)), PhoneRules::Join::Full);
    rules.leave("p16", Millis(40));
    EXPECT_EQ(rules.join("p0", "", Millis(50)), PhoneRules::Join::WelcomeBack);
    EXPECT_EQ(rules.carOf("p0"), "61");
}

TEST(PhoneRulesTest, AQuietPhoneStopsItsCarOnceAndAnAbsentOneFreesItAfterThirtySeconds) {
    PhoneRules rules;
    rules.join("anna", "Anna", Millis(0));
    rules.claim("anna", "61");
    rules.join("ben", "Ben", Millis(0));  // holds nothing: nothing to stop
    struct Step {
        int at;
        const char* event;  // "heard", "leave" or "tick"
        std::vector<std::string> stop;
        std::vector<std::string> freed;
    };
    const Step steps[] = {
        {999, "tick", {}, {}},
        {1000, "tick", {"61"}, {}},
        {1500, "tick", {}, {}},  // once per quiet spell
        {1600, "heard", {}, {}},
        {2599, "tick", {}, {}},
        {2600, "tick", {"61"}, {}},
        {3000, "leave", {}, {}},
        {32999, "tick", {}, {}},
        {33000, "tick", {}, {"61"}},
    };
    for (const Step& step : steps) {
        const Millis at(step.at);
        if (std::string(step.event) == "heard") rules.heard("anna", at);
        if (std::string(step.event) == "leave") {
            EXPECT_EQ(rules.leave("anna", at), "61");
        }
        if (std::string(step.event) != "tick") continue;
        const PhoneRules::Due due = rules.tick(at);
        EXPECT_EQ(due.stop, step.stop) << step.at;
        EXPECT_EQ(due.freed, step.freed) << step.at;
    }
    EXPECT_EQ(rules.phoneOf("61"), std::nullopt);
    EXPECT_EQ(rules.phonesPresent(), std::vector<std::string>{"ben"});
}

}  // namespace
