// Who drives which car from a phone, how many messages a phone may send, and
// when a quiet phone's car stops: the rules on a test clock.
#include <gtest/gtest.h>

#include "app/phones/PhoneRules.h"

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

TEST(PhoneRulesTest, APhoneAwayLosesItsCarForGoodOnceAnotherAskedAndItsTimeAwayRanOut) {
    // Each step: at (ms), phone, what it does, and what the rules answer:
    // "granted"/"taken" to a claim, and to a tick "", "freed 61" or "61 to ben".
    struct Step {
        int at;
        const char* phone;
        const char* action;  // "join", "leave", "claim 61", "release", "tick"
        std::string answer;
    };
    struct Scenario {
        const char* what;
        std::vector<Step> steps;
    };
    const Scenario scenarios[] = {
        {"back for a moment while Ben asks: the time away adds up",
         {{1000, "anna", "leave", ""}, {5000, "ben", "claim 61", "taken"}, {20000, "anna", "join", ""},
          {20500, "anna", "leave", ""}, {31499, "", "tick", ""}, {31500, "", "tick", "61 to ben"}}},
        {"back while nobody asks: the 30 s start again",
         {{1000, "anna", "leave", ""}, {20000, "anna", "join", ""}, {20500, "anna", "leave", ""},
          {50499, "", "tick", ""}, {50500, "", "tick", "freed 61"}}},
        {"back and there: the car stays hers while she is, and her 19 s away still count",
         {{1000, "anna", "leave", ""}, {5000, "ben", "claim 61", "taken"}, {20000, "anna", "join", ""},
          {90000, "", "tick", ""}, {90500, "anna", "leave", ""}, {101499, "", "tick", ""},
          {101500, "", "tick", "61 to ben"}}},
        {"Ben asked while she was there: no ask stands",
         {{1000, "ben", "claim 61", "taken"}, {2000, "anna", "leave", ""}, {32000, "", "tick", "freed 61"}}},
        {"Ben left, Cleo asked later: Cleo has it",
         {{1000, "anna", "leave", ""}, {2000, "ben", "claim 61", "taken"}, {3000, "cleo", "claim 61", "taken"},
          {4000, "ben", "leave", ""}, {31000, "", "tick", "61 to cleo"}}},
        {"Ben drove another car: he moves to the one he asked for",
         {{1000, "ben", "claim 62", "granted"}, {2000, "anna", "leave", ""}, {3000, "ben", "claim 61", "taken"},
          {32000, "", "tick", "61 to ben, 62 let go"}}},
        {"the person released the car: Ben's ask lapses with it",
         {{1000, "anna", "leave", ""}, {2000, "ben", "claim 61", "taken"}, {3000, "anna", "release", ""},
          {4000, "cleo", "claim 61", "granted"}, {5000, "cleo", "leave", ""}, {35000, "", "tick", "freed 61"}}},
    };
    for (const Scenario& scenario : scenarios) {
        PhoneRules rules;
        for (const char* phone : {"anna", "ben", "cleo"}) rules.join(phone, phone, Millis(0));
        rules.claim("anna", "61");
        for (const Step& step : scenario.steps) {
            const std::string action = step.action;
            const Millis at(step.at);
            std::string answer;
            if (action == "join") rules.join(step.phone, step.phone, at);
            if (action == "leave") rules.leave(step.phone, at);
            if (action == "release") rules.release(step.phone);
            if (action.rfind("claim ", 0) == 0) {
                answer = rules.claim(step.phone, action.substr(6)) == PhoneRules::Claim::Granted ? "granted" : "taken";
            }
            if (action == "tick") {
                const PhoneRules::Due due = rules.tick(at);
                for (const std::string& car : due.freed) answer += "freed " + car;
                for (const PhoneRules::Handover& handover : due.handed) {
                    answer += handover.car + " to " + handover.phone;
                    if (handover.letGo) answer += ", " + *handover.letGo + " let go";
                    EXPECT_EQ(rules.carOf(handover.phone), handover.car) << scenario.what;
                }
            }
            EXPECT_EQ(answer, step.answer) << scenario.what << " at " << step.at;
        }
    }
}

}  // namespace
