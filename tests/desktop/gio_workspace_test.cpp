// Desktop entries through GIO, on the sample applications.

#include <gtest/gtest.h>

#include <QImage>

#include "desktop/gio_workspace.h"
#include "render/canvas.h"

using namespace orvella;
using namespace orvella::desktop;
using namespace orvella::render;

namespace {
std::string entry(const char* name) { return std::string(ORVELLA_TEST_DATA) + "/applications/" + name + ".desktop"; }
}  // namespace

TEST(GioWorkspace, RolesResolveThroughDefaultsAndCategories) {
    GioWorkspace w;
    EXPECT_EQ(w.applicationForRole(ApplicationRole::webBrowser), entry("orvella-test-browser"));
    EXPECT_EQ(w.applicationForRole(ApplicationRole::mail), entry("orvella-test-mail"));
    EXPECT_EQ(w.applicationForRole(ApplicationRole::terminal), entry("orvella-test-terminal"));
    EXPECT_EQ(w.applicationForRole(ApplicationRole::notes), entry("orvella-test-editor"));
    EXPECT_EQ(w.applicationForRole(ApplicationRole::messaging), entry("orvella-test-chat"));
    EXPECT_EQ(w.applicationForRole(ApplicationRole::presentation), entry("orvella-test-noicon"));
    // The text editor opens calendars only as text: it is no calendar.
    EXPECT_FALSE(w.applicationForRole(ApplicationRole::calendar));
    EXPECT_FALSE(w.applicationForRole(ApplicationRole::reminders));
    EXPECT_FALSE(w.applicationForRole(ApplicationRole::chrome));
}

TEST(GioWorkspace, EntriesTheDesktopDoesNotShowFillNoRole) {
    // Four instant messengers sort before the chat entry, and none is shown
    // here: one is NoDisplay, one Hidden, one only for another desktop and
    // one not for this one.
    GioWorkspace w;
    for (const char* hidden : {"orvella-test-a-nodisplay", "orvella-test-a-hidden", "orvella-test-a-elsewhere",
                               "orvella-test-a-notshown"})
        EXPECT_NE(w.applicationForRole(ApplicationRole::messaging), entry(hidden));
    EXPECT_EQ(w.applicationForRole(ApplicationRole::messaging), entry("orvella-test-chat"));
}

TEST(GioWorkspace, NamesIconsAndExistence) {
    GioWorkspace w;
    EXPECT_EQ(w.displayName(entry("orvella-test-browser")), "Test Browser");
    EXPECT_EQ(w.displayName("/tmp"), "tmp");
    EXPECT_TRUE(w.fileExists(entry("orvella-test-mail")));
    EXPECT_FALSE(w.fileExists("/nowhere/x.desktop"));
    EXPECT_FALSE(w.fileExists(""));

    auto themed = std::dynamic_pointer_cast<QtImage>(w.iconForFile(entry("orvella-test-terminal")));
    ASSERT_TRUE(themed);
    EXPECT_GT(themed->image().width(), 0);
    // Without an icon of its own an entry still gets a visible one.
    for (const std::string& path : {entry("orvella-test-noicon"), std::string("/etc/hostname")}) {
        auto generic = std::dynamic_pointer_cast<QtImage>(w.iconForFile(path));
        ASSERT_TRUE(generic);
        const QImage& img = generic->image();
        ASSERT_GT(img.width(), 0);
        EXPECT_GT(qAlpha(img.pixel(img.width() / 2, img.height() / 2)), 0);
    }
}

TEST(GioWorkspace, LaunchesEntriesAndRefusesWhatIsNoEntry) {
    GioWorkspace w;
    EXPECT_TRUE(w.openApplication(entry("orvella-test-mail")));  // Exec=/bin/true
    EXPECT_FALSE(w.openApplication("/nowhere/x.desktop"));
    EXPECT_FALSE(GioWorkspace::detectIconTheme().empty());
}
