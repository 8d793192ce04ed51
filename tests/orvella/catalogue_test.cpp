// The catalogue, the settings and the open counts, through the stored
// defaults of a fake desktop.

#include <gtest/gtest.h>

#include "orvella/controller/orvella_controller.h"
#include "support/fake_desktop.h"

using namespace orvella;
using namespace orvella::testing;

namespace {

std::vector<std::string> paths(const std::vector<OrvellaApp>& apps) {
    std::vector<std::string> out;
    for (const auto& a : apps) out.push_back(a.url);
    return out;
}

Value strings(std::vector<std::string> list) {
    Value::Array a;
    for (auto& s : list) a.emplace_back(s);
    return Value(a);
}

struct CatalogueTest : ::testing::Test {
    FakeDesktop desk;
    std::unique_ptr<OrvellaController> make() { return std::make_unique<OrvellaController>(desk.platform); }
};

}  // namespace

TEST_F(CatalogueTest, DefaultListResolvesRolesInOrderAndFallsBackBelowFive) {
    desk.workspace.install("/apps/browser.desktop", "Browser", ApplicationRole::webBrowser);
    desk.workspace.install("/apps/mail.desktop", "Mail", ApplicationRole::mail);
    desk.workspace.install("/apps/notes.desktop", "Notes", ApplicationRole::notes);
    desk.workspace.install("/apps/files.desktop", "Files", ApplicationRole::fileManager);
    desk.workspace.install("/apps/settings.desktop", "Settings", ApplicationRole::systemSettings);
    // A fallback that resolves to a path that is not on disk is dropped.
    desk.workspace.roles[ApplicationRole::chrome] = "/apps/missing-chrome.desktop";

    auto c = make();
    EXPECT_EQ(paths(c->apps.get()),
              (std::vector<std::string>{"/apps/browser.desktop", "/apps/mail.desktop", "/apps/notes.desktop",
                                        "/apps/files.desktop", "/apps/settings.desktop"}));
    // Nothing is stored until the user changes the list.
    EXPECT_FALSE(desk.defaults.object(OrvellaController::kApplicationPathsKey));
}

TEST_F(CatalogueTest, DefaultListSkipsFallbacksFromFiveRolesDeduplicatesAndKeepsNine) {
    const ApplicationRole roles[] = {ApplicationRole::webBrowser, ApplicationRole::mail,     ApplicationRole::calendar,
                                     ApplicationRole::terminal,   ApplicationRole::notes,    ApplicationRole::messaging,
                                     ApplicationRole::reminders,  ApplicationRole::design,   ApplicationRole::presentation};
    int i = 0;
    for (auto role : roles) desk.workspace.install("/apps/" + std::to_string(i++) + ".desktop", "A", role);
    desk.workspace.install("/apps/files.desktop", "Files", ApplicationRole::fileManager);
    auto c = make();
    ASSERT_EQ(c->apps.get().size(), 9u);
    EXPECT_EQ(c->apps.get().front().url, "/apps/0.desktop");
    EXPECT_EQ(c->apps.get().back().url, "/apps/8.desktop");

    // Two roles filled by one application: it appears once, and with only
    // four distinct roles resolved the fallbacks are consulted.
    FakeDesktop other;
    other.workspace.install("/apps/editor.desktop", "Editor", ApplicationRole::notes);
    other.workspace.roles[ApplicationRole::design] = "/apps/editor.desktop";
    other.workspace.install("/apps/files.desktop", "Files", ApplicationRole::fileManager);
    OrvellaController c2(other.platform);
    EXPECT_EQ(paths(c2.apps.get()), (std::vector<std::string>{"/apps/editor.desktop", "/apps/files.desktop"}));
}

TEST_F(CatalogueTest, StoredListIsUsedAsItStands) {
    desk.workspace.install("/apps/a.desktop", "A.app Viewer.app", ApplicationRole::webBrowser);
    desk.workspace.install("/apps/b.desktop", "B");
    desk.defaults.values[OrvellaController::kApplicationPathsKey] =
        strings({"/apps/b.desktop", "/gone.desktop", "/apps/a.desktop", "/apps/b.desktop"});
    auto c = make();
    EXPECT_EQ(paths(c->apps.get()),
              (std::vector<std::string>{"/apps/b.desktop", "/apps/a.desktop", "/apps/b.desktop"}));
    EXPECT_EQ(c->apps.get()[1].name, "A Viewer");  // every ".app" is removed
}

TEST_F(CatalogueTest, StoredPathsThatAreAllGoneGiveAnEmptySchoolNotTheDefaults) {
    desk.workspace.install("/apps/a.desktop", "A", ApplicationRole::webBrowser);
    desk.defaults.values[OrvellaController::kApplicationPathsKey] = strings({"/gone/x.desktop"});
    auto c = make();
    EXPECT_TRUE(c->apps.get().empty());
    c->start();
    EXPECT_TRUE(c->fishAgents().empty());
}

TEST_F(CatalogueTest, MistypedOrEmptyStoredListFallsBackToTheDefaults) {
    desk.workspace.install("/apps/a.desktop", "A", ApplicationRole::webBrowser);
    for (Value stored : {Value("not a list"), Value(Value::Array{}), Value(Value::Array{Value(3)})}) {
        desk.defaults.values[OrvellaController::kApplicationPathsKey] = stored;
        auto c = make();
        EXPECT_EQ(paths(c->apps.get()), (std::vector<std::string>{"/apps/a.desktop"}));
    }
}

TEST_F(CatalogueTest, IconIsRedrawnOnceInto144PixelBitmapOf72Points) {
    desk.workspace.install("/apps/a.desktop", "A", ApplicationRole::webBrowser);
    auto c = make();
    auto* icon = dynamic_cast<FakeImage*>(c->apps.get()[0].icon.get());
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->pixelWidth, 144);
    EXPECT_EQ(icon->pixelHeight, 144);
    EXPECT_EQ(icon->size(), (Size{72, 72}));
    auto images = icon->drawing->opsOf(CanvasOp::Kind::drawImage);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].rect, Rect::make(0, 0, 72, 72));
    EXPECT_EQ(dynamic_cast<const FakeImage*>(images[0].image)->name, "icon:/apps/a.desktop");

    // Without a bitmap the workspace's icon is shown at 72 points.
    FakeDesktop other;
    other.bitmaps.failBitmaps = true;
    other.workspace.install("/apps/a.desktop", "A", ApplicationRole::webBrowser);
    OrvellaController c2(other.platform);
    auto* resized = dynamic_cast<FakeImage*>(c2.apps.get()[0].icon.get());
    ASSERT_NE(resized, nullptr);
    EXPECT_EQ(resized->name, "resized");
    EXPECT_EQ(resized->size(), (Size{72, 72}));
    EXPECT_EQ(dynamic_cast<FakeImage*>(resized->source.get())->name, "icon:/apps/a.desktop");
}

TEST_F(CatalogueTest, AddAndRemovePersistTheWholeListAndResetCounts) {
    desk.workspace.install("/apps/a.desktop", "A", ApplicationRole::webBrowser);
    desk.workspace.install("/apps/b.desktop", "B");
    desk.defaults.values[OrvellaController::kAppOpenCountsKey] = Value(Value::Object{{"/apps/a.desktop", Value(7)}});
    auto c = make();
    EXPECT_EQ(c->appOpenCounts().at("/apps/a.desktop"), 7);

    int published = 0;
    c->apps.observe([&] { ++published; });
    c->addApplication("/apps/b.desktop");
    EXPECT_EQ(published, 1);
    EXPECT_EQ(desk.defaults.values[OrvellaController::kApplicationPathsKey],
              strings({"/apps/a.desktop", "/apps/b.desktop"}));
    EXPECT_EQ(c->appOpenCounts().at("/apps/b.desktop"), 0);

    // Adding an application already listed changes nothing, not its count.
    const auto writes = desk.defaults.writes.size();
    c->addApplication("/apps/a.desktop");
    EXPECT_EQ(desk.defaults.writes.size(), writes);
    EXPECT_EQ(c->appOpenCounts().at("/apps/a.desktop"), 7);

    c->removeApplication(c->apps.get()[0]);
    EXPECT_EQ(desk.defaults.values[OrvellaController::kApplicationPathsKey], strings({"/apps/b.desktop"}));
    EXPECT_FALSE(c->appOpenCounts().count("/apps/a.desktop"));

    // Re-added: at the end of the list, back at count 0.
    c->addApplication("/apps/a.desktop");
    EXPECT_EQ(paths(c->apps.get()), (std::vector<std::string>{"/apps/b.desktop", "/apps/a.desktop"}));
    EXPECT_EQ(c->appOpenCounts().at("/apps/a.desktop"), 0);

    // Removing everything stores an empty list; the next launch builds the
    // default list again.
    c->removeApplication(c->apps.get()[0]);
    c->removeApplication(c->apps.get()[0]);
    EXPECT_EQ(desk.defaults.values[OrvellaController::kApplicationPathsKey], Value(Value::Array{}));
    c.reset();
    auto next = make();
    EXPECT_EQ(paths(next->apps.get()), (std::vector<std::string>{"/apps/a.desktop"}));
}

TEST_F(CatalogueTest, SettingsClampAndFallBackOnLoadWithoutWritingBack) {
    auto& v = desk.defaults.values;
    v[OrvellaController::kIconOpacityKey] = Value(0.05);
    v[OrvellaController::kSwimSpeedKey] = Value("fast");
    v[OrvellaController::kAttractionModifierKey] = Value("shift");
    v[OrvellaController::kDispersalModifierKey] = Value("tripleClick");
    v[OrvellaController::kFishOpenModifierKey] = Value(2);
    v[OrvellaController::kWindowAvoidanceKey] = Value(true);
    v[OrvellaController::kUnreadBadgeMonitoringKey] = Value("yes");
    auto c = make();
    EXPECT_DOUBLE_EQ(c->iconOpacity(), 0.1);
    EXPECT_DOUBLE_EQ(c->swimSpeed(), 1.0);
    EXPECT_EQ(c->attractionModifier(), FishScreenGesture::shiftTripleClick);
    EXPECT_EQ(c->dispersalModifier(), FishScreenGesture::optionTripleClick);
    EXPECT_EQ(c->fishOpenModifier(), FishOpenModifier::none);
    EXPECT_TRUE(c->windowAvoidanceEnabled());
    EXPECT_FALSE(c->unreadBadgeMonitoringEnabled());
    EXPECT_FALSE(c->stillWaterModeEnabled());
    EXPECT_TRUE(desk.defaults.writes.empty());
    EXPECT_EQ(v[OrvellaController::kIconOpacityKey], Value(0.05));

    v[OrvellaController::kSwimSpeedKey] = Value(5);
    EXPECT_DOUBLE_EQ(make()->swimSpeed(), 2.4);
}

TEST_F(CatalogueTest, SettingWritesAreClampedAndSkippedWhenUnchanged) {
    auto c = make();
    c->setIconOpacity(0.95);
    EXPECT_EQ(desk.defaults.values[OrvellaController::kIconOpacityKey], Value(0.9));
    const auto writes = desk.defaults.writes.size();
    c->setIconOpacity(0.9);
    c->setSwimSpeed(1.0);
    c->setWindowAvoidanceEnabled(false);
    EXPECT_EQ(desk.defaults.writes.size(), writes);

    // Choices are written on every assignment, also unchanged ones.
    c->setFishOpenModifier(FishOpenModifier::none);
    EXPECT_EQ(desk.defaults.values[OrvellaController::kFishOpenModifierKey], Value("none"));
    c->setAttractionModifier(FishScreenGesture::commandTripleClick);
    c->setDispersalModifier(FishScreenGesture::commandTripleClick);
    EXPECT_TRUE(c->hasScreenGestureConflict());
    EXPECT_EQ(desk.defaults.values[OrvellaController::kAttractionModifierKey], Value("command"));
    EXPECT_EQ(desk.defaults.values[OrvellaController::kDispersalModifierKey], Value("command"));
    c->setDispersalModifier(FishScreenGesture::tripleClick);
    EXPECT_FALSE(c->hasScreenGestureConflict());
    EXPECT_EQ(desk.defaults.values[OrvellaController::kDispersalModifierKey], Value("none"));

    c->setSwimSpeed(0.1);
    EXPECT_EQ(desk.defaults.values[OrvellaController::kSwimSpeedKey], Value(0.3));
    c->setUnreadBadgeMonitoringEnabled(true);
    EXPECT_EQ(desk.defaults.values[OrvellaController::kUnreadBadgeMonitoringKey], Value(true));

    // Still water is never stored, and switching it forces the next step.
    c->lastMotionStepAt = 5;
    c->setStillWaterModeEnabled(true);
    EXPECT_EQ(c->lastMotionStepAt, 0);
    EXPECT_FALSE(desk.defaults.values.count("Orvella.stillWaterModeEnabled"));
}

TEST_F(CatalogueTest, OpenCountsLoadClampedAndArePrunedToTheCatalogue) {
    desk.workspace.install("/apps/a.desktop", "A", ApplicationRole::webBrowser);
    desk.workspace.install("/apps/b.desktop", "B", ApplicationRole::mail);
    desk.workspace.install("/apps/c.desktop", "C", ApplicationRole::calendar);
    desk.workspace.install("/apps/d.desktop", "D", ApplicationRole::terminal);
    desk.defaults.values[OrvellaController::kAppOpenCountsKey] = Value(Value::Object{
        {"/apps/a.desktop", Value(100)},
        {"/apps/b.desktop", Value(-3)},
        {"/apps/c.desktop", Value(2.7)},
        {"/apps/d.desktop", Value("many")},
        {"/removed.desktop", Value(4)},
    });
    auto c = make();
    EXPECT_EQ(c->appOpenCounts(), (std::map<std::string, int>{
                                      {"/apps/a.desktop", 60}, {"/apps/b.desktop", 0}, {"/apps/c.desktop", 2}}));
    // Pruning dropped an entry, so the counts were stored again.
    EXPECT_EQ(desk.defaults.values[OrvellaController::kAppOpenCountsKey],
              Value(Value::Object{{"/apps/a.desktop", Value(60)},
                                  {"/apps/b.desktop", Value(0)},
                                  {"/apps/c.desktop", Value(2)}}));

    // Nothing to prune: the stored value is left alone.
    FakeDesktop other;
    other.workspace.install("/apps/a.desktop", "A", ApplicationRole::webBrowser);
    other.defaults.values[OrvellaController::kAppOpenCountsKey] = Value(Value::Object{{"/apps/a.desktop", Value(1)}});
    OrvellaController c2(other.platform);
    EXPECT_TRUE(other.defaults.writes.empty());
}

TEST_F(CatalogueTest, GrowthFollowsTheCountUpToItsCeiling) {
    desk.workspace.install("/apps/a.desktop", "A", ApplicationRole::webBrowser);
    desk.defaults.values[OrvellaController::kAppOpenCountsKey] = Value(Value::Object{{"/apps/a.desktop", Value(59)}});
    auto c = make();
    const OrvellaApp app = c->apps.get()[0];
    EXPECT_NEAR(c->growthScale(app), 0.86 + 59 * 0.005, 1e-12);
    EXPECT_NEAR(c->recordAppOpenAndGrowthScale(app), 1.16, 1e-12);
    EXPECT_NEAR(c->recordAppOpenAndGrowthScale(app), 1.16, 1e-12);
    EXPECT_EQ(c->appOpenCounts().at(app.url), 60);
    EXPECT_EQ(desk.defaults.values[OrvellaController::kAppOpenCountsKey],
              Value(Value::Object{{"/apps/a.desktop", Value(60)}}));

    OrvellaApp unknown{"X", "/x", nullptr};
    EXPECT_DOUBLE_EQ(c->growthScale(unknown), 0.86);
}

TEST_F(CatalogueTest, ResetShrinksEveryFishAndDropsTheObsoleteKey) {
    desk.workspace.install("/apps/a.desktop", "A", ApplicationRole::webBrowser);
    desk.defaults.values[OrvellaController::kAppOpenCountsKey] = Value(Value::Object{{"/apps/a.desktop", Value(30)}});
    desk.defaults.values[OrvellaController::kObsoleteFishSizeScaleKey] = Value(1.2);
    auto c = make();
    c->start();
    auto& view = c->fishAgents()[0]->view();
    EXPECT_NEAR(view.growthScale(), 1.01, 1e-12);
    c->resetFishSizes();
    EXPECT_TRUE(view.isGrowthAnimating());
    desk.scheduler.advance(0.6);
    EXPECT_DOUBLE_EQ(view.growthScale(), 0.86);
    EXPECT_FALSE(view.isGrowthAnimating());
    EXPECT_EQ(desk.defaults.values[OrvellaController::kAppOpenCountsKey], Value(Value::Object{}));
    EXPECT_FALSE(desk.defaults.values.count(OrvellaController::kObsoleteFishSizeScaleKey));
}
