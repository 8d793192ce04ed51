// The handler registry every port's id-for-a-callback goes through, and the
// click counting both backends' surfaces share.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "desktop/click_counter.h"
#include "desktop/handler_registry.h"

using namespace orvella::desktop;

TEST(HandlerRegistry, DeliversInOrderToItsGroupAndRemovesById) {
    HandlerRegistry<int> registry;
    using Heard = std::pair<char, int>;
    std::vector<Heard> heard;
    const int a = registry.add([&](int v) { heard.emplace_back('a', v); });
    const int local = registry.add([&](int v) { heard.emplace_back('l', v); }, 1);
    registry.add([&](int v) { heard.emplace_back('b', v); });
    // One series of ids across groups: removing needs no group.
    EXPECT_NE(a, local);
    registry.deliver(1);
    registry.deliverTo(1, 2);
    EXPECT_EQ(heard, (std::vector<Heard>{{'a', 1}, {'b', 1}, {'l', 2}}));
    EXPECT_TRUE(registry.remove(local));
    EXPECT_FALSE(registry.remove(local));
    EXPECT_FALSE(registry.anyIn(1));
    EXPECT_TRUE(registry.anyIn(0));
    // An id is never handed out again.
    EXPECT_GT(registry.add([](int) {}, 1), local);
}

TEST(HandlerRegistry, AHandlerRemovedDuringDeliveryIsNotCalledAndOneAddedWaits) {
    HandlerRegistry<> registry;
    std::vector<std::string> heard;
    int second = 0, self = 0;
    registry.add([&] {
        heard.push_back("first");
        registry.remove(second);
        registry.add([&] { heard.push_back("added"); });
    });
    second = registry.add([&] { heard.push_back("second"); });
    self = registry.add([&] {
        heard.push_back("self");
        // Removing itself while it runs is safe: it runs from a copy.
        registry.remove(self);
        heard.push_back("still running");
    });
    registry.deliver();
    EXPECT_EQ(heard, (std::vector<std::string>{"first", "self", "still running"}));
    heard.clear();
    registry.deliver();
    EXPECT_EQ(heard, (std::vector<std::string>{"first", "added"}));
}

TEST(ClickCounter, CountsQuickNearPressesAndAnotherButtonBreaksTheRun) {
    ClickCounter clicks(400, 5);
    EXPECT_EQ(clicks.leftPress(1000, {10, 10}), 1);
    EXPECT_EQ(clicks.leftPress(1300, {12, 11}), 2);
    EXPECT_EQ(clicks.leftPress(1700, {12, 11}), 3);  // 400 ms later: still the same run
    EXPECT_EQ(clicks.count(), 3);
    EXPECT_EQ(clicks.leftPress(2101, {12, 11}), 1);  // 401 ms: a new run
    EXPECT_EQ(clicks.leftPress(2200, {15, 13}), 2);  // 3 + 2 away: near enough
    EXPECT_EQ(clicks.leftPress(2300, {19, 15}), 1);  // 4 + 2 away: too far
    clicks.otherPress();
    EXPECT_EQ(clicks.leftPress(2350, {19, 15}), 1);
    EXPECT_EQ(clicks.leftPress(2400, {19, 15}), 2);
}

TEST(ClickCounter, AClockThatWrapsKeepsTheRun) {
    // X server and Wayland event times are 32-bit milliseconds: after 49.7
    // days they start again from 0.
    ClickCounter clicks(400, 5);
    EXPECT_EQ(clicks.leftPress(0xFFFFFF00u, {0, 0}), 1);
    EXPECT_EQ(clicks.leftPress(0x00000010u, {0, 0}), 2);  // 272 ms later
    // Long ago, not in the future: an earlier time is no quick press.
    EXPECT_EQ(clicks.leftPress(0x00000005u, {0, 0}), 1);
}
