// Which pad drives which panel while the window's panels come and go: the
// model panels first, then one per further listed car.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/gamepads/PadMapper.h"

namespace {

using gamepad::Axis;
using gamepad::Button;
using gamepad::Millis;
using gamepad::PadMapper;

// One line per call the mapper makes on the panels.
class Recorder : public gamepad::PanelControls {
public:
    std::vector<std::string> calls;

private:
    template <typename... Args> void note(const Args&... parts) {
        std::ostringstream line;
        const char* gap = "";
        ((line << gap << parts, gap = " "), ...);
        calls.push_back(line.str());
    }
    void setSpeed(int panel, float fraction) override { note("speed", panel, fraction); }
    void setLane(int panel, float position) override { note("lane", panel, position); }
    void centreLane(int panel) override { note("centre", panel); }
    void stop(int panel) override { note("stop", panel); }
    void stopAll() override { note("stopAll"); }
    void showPad(int panel, const std::string& padName) override {
        if (padName.empty()) {
            note("unshow", panel);
        } else {
            note("show", panel, padName);
        }
    }
};

struct Case {
    const char* what;
    int panels;
    int pads;  // 1, 2, ... plugged in that order, named p1, p2, ...
    std::function<void(PadMapper&)> before;
    std::function<void(PadMapper&)> act;  // only its calls are compared
    std::vector<std::string> calls;
    std::vector<int> padOfPanel;  // 0 for a free panel
};

void trigger(PadMapper& m, int pad, float value, int ms) {
    m.axisMoved(pad, Axis::RightTrigger, value, Millis(ms));
}

TEST(PadMapperPanels, PadsFollowPanelsThatComeAndGo) {
    const Case cases[] = {
        {"a pad whose fleet panel went takes the first free one and stops nothing", 5, 5,
         [](PadMapper& m) {
             m.padRemoved(2);
             trigger(m, 5, 1, 0);
         },
         [](PadMapper& m) { m.panelsChanged({0, 1, 2, 3, std::nullopt}, 4); },
         {"show 1 p5"}, {1, 5, 3, 4}},
        {"a pad keeps its panel and what it held back when an earlier fleet panel goes", 5, 5,
         [](PadMapper& m) {
             trigger(m, 5, 1, 0);
             trigger(m, 5, 0, 10);  // held back by the rate
         },
         [](PadMapper& m) {
             m.panelsChanged({0, 1, 2, std::nullopt, 3}, 4);
             m.tick(Millis(20));
         },
         {"speed 3 0"}, {1, 2, 3, 5}},
        {"pads without a panel take the free ones in the order they were plugged in", 6, 7,
         [](PadMapper&) {},
         [](PadMapper& m) { m.panelsChanged({0, 1, 2, std::nullopt, 3, 4}, 6); },
         {"show 5 p4"}, {1, 2, 3, 5, 6, 4}},
        {"a waiting fourth pad takes a new fleet panel", 3, 4, [](PadMapper&) {},
         [](PadMapper& m) { m.setPanels(4); }, {"show 3 p4"}, {1, 2, 3, 4}},
        {"a new pad takes the first free panel of all, a model one first", 5, 4,
         [](PadMapper& m) { m.padRemoved(3); }, [](PadMapper& m) { m.padAdded(9, "p9"); },
         {"show 2 p9"}, {1, 2, 9, 4, 0}},
        {"Start stops every panel: the last one sends its next speed again", 5, 5,
         [](PadMapper& m) { trigger(m, 5, 1, 0); },
         [](PadMapper& m) {
             m.buttonPressed(1, Button::Start, Millis(100));
             trigger(m, 5, 1, 200);
         },
         {"stopAll", "speed 4 1"}, {1, 2, 3, 4, 5}},
        {"Back goes through every free panel and round", 5, 2, [](PadMapper&) {},
         [](PadMapper& m) {
             for (int press = 0; press < 4; ++press) m.buttonPressed(1, Button::Back, Millis(press));
         },
         {"unshow 0", "show 2 p1", "unshow 2", "show 3 p1", "unshow 3", "show 4 p1", "unshow 4",
          "show 0 p1"},
         {1, 2, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        Recorder panels;
        PadMapper mapper(panels, c.panels);
        for (int pad = 1; pad <= c.pads; ++pad) mapper.padAdded(pad, "p" + std::to_string(pad));
        c.before(mapper);
        panels.calls.clear();
        c.act(mapper);
        EXPECT_EQ(panels.calls, c.calls) << c.what;
        std::vector<int> padOfPanel;
        for (int panel = 0; panel < mapper.panelCount(); ++panel) {
            padOfPanel.push_back(mapper.padOf(panel).value_or(0));
        }
        EXPECT_EQ(padOfPanel, c.padOfPanel) << c.what;
    }
}

}  // namespace
