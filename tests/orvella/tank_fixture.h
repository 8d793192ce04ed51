#pragma once
// A controller on a fake desktop with a few installed applications.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "orvella/controller/orvella_controller.h"
#include "support/fake_desktop.h"

namespace orvella::testing {

struct TankTest : ::testing::Test {
    FakeDesktop desk;
    std::unique_ptr<OrvellaController> controller;

    // Installs n applications that form the default list.
    void installApps(int n) {
        const ApplicationRole roles[] = {ApplicationRole::webBrowser, ApplicationRole::mail,
                                         ApplicationRole::calendar,   ApplicationRole::terminal,
                                         ApplicationRole::notes,      ApplicationRole::messaging,
                                         ApplicationRole::reminders,  ApplicationRole::design,
                                         ApplicationRole::presentation};
        for (int i = 0; i < n; ++i)
            desk.workspace.install(appPath(i), "App " + std::to_string(i), roles[i]);
    }
    static std::string appPath(int i) { return "/apps/app" + std::to_string(i) + ".desktop"; }

    OrvellaController& make() {
        controller = std::make_unique<OrvellaController>(desk.platform);
        return *controller;
    }
    OrvellaController& started() {
        make().start();
        return *controller;
    }
    FakeSurface& surfaceOf(const FishAgent& agent) {
        return dynamic_cast<FakeSurface&>(const_cast<FishAgent&>(agent).window->surface());
    }
};

}  // namespace orvella::testing
