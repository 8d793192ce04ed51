#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "orvella/avoidance/active_window_monitor.h"
#include "orvella/badges/unread_badge_monitor.h"
#include "orvella/catalogue/orvella_app.h"
#include "orvella/catalogue/settings_types.h"
#include "orvella/motion/fish_agent.h"
#include "orvella/motion/swim_area.h"
#include "orvella/platform/platform.h"
#include "orvella/support/observable.h"
#include "orvella/water/water_overlay.h"

namespace orvella {

// Owns the tank: catalogue, settings, open counts, the fish and everything
// that moves them. Main thread only.
class OrvellaController : public FishInputHandler {
public:
    // Tuning constants.
    static constexpr double screenPadding = 96;
    static constexpr double fishSpawnSpacing = 62;
    static constexpr double baseFishGrowthScale = 0.86;
    static constexpr double fishGrowthPerOpen = 0.005;
    static constexpr int maxFishOpenCount = 60;
    static constexpr double maxFishGrowthScale = 1.18;
    static constexpr double activeMotionFrameInterval = 1.0 / 60.0;
    static constexpr double idleMotionFrameInterval = 1.0 / 45.0;
    static constexpr double clickFeedbackOpacity = 0.82;
    static constexpr double unreadAttentionOpacity = 0.72;
    static constexpr double stillWaterTailWakeStrength = 0.1;
    static constexpr double motionTimerTolerance = 0.005833333333333333;
    static constexpr double stillWaterEdgeInset = 24;
    static constexpr double stillWaterMinimumIconDistance = 76;
    static constexpr double stillWaterSeparationStrength = 0.085;
    static constexpr double unreadAttentionMaxDuration = 15;
    static constexpr double unreadAttentionOrbitDuration = 2.8;
    static constexpr double windowAvoidanceMargin = 72;
    static constexpr double activeWindowPollInterval = 0.45;
    static constexpr double windowAvoidanceMaximumCoverage = 0.6;
    static constexpr double largeWindowTopWaterwayRatio = 0.3;
    static constexpr double clickFeedbackDuration = 1.05;
    static constexpr int continuousClickThreshold = 3;
    static constexpr double continuousClickWindow = 0.55;
    static constexpr double sustainedAttractionDuration = 1.8;
    static constexpr int guaranteedAttractionClickThreshold = 5;
    static constexpr double guaranteedAttractionClickWindow = 1.05;
    static constexpr double guaranteedAttractionMaxDuration = 14;
    static constexpr double guaranteedAttractionArrivalDwellDuration = 0.9;
    static constexpr double guaranteedAttractionArrivalRadius = 196;
    static constexpr double dispersalDuration = 5;
    static constexpr double fishFadeInDuration = 0.22;
    static constexpr double fishFadeOutDuration = 0.16;
    // Steering: how hard a fish turns to its target in each mode, how much
    // of its speed it keeps per step and how it settles, bounces and
    // breaks away from boundaries and from fish swimming in step with it.
    static constexpr double stillWaterSteeringGain = 0.13;
    static constexpr double dispersalSteeringGain = 0.88;
    static constexpr double attractionSteeringGain = 0.72;
    static constexpr double unreadVisitSteeringGain = 0.42;
    static constexpr double wanderSteeringGain = 0.18;
    static constexpr double steeringThrustPerPoint = 0.0016;
    static constexpr double swimmingDamping = 0.982;
    static constexpr double stillWaterNearDistance = 72;
    static constexpr double stillWaterNearDamping = 0.86;
    static constexpr double stillWaterFarDamping = 0.955;
    static constexpr double stillWaterRestRadius = 7;
    static constexpr double stillWaterRestSpeed = 0.14;
    static constexpr double boundaryBounceFactor = 0.72;
    static constexpr double headingSmoothing = 0.18;
    static constexpr double organicWanderPrimaryAmplitude = 0.006;
    static constexpr double organicWanderSecondaryAmplitude = 0.004;
    static constexpr double boundaryEscapeCooldown = 0.22;
    static constexpr double boundaryEscapeDuration = 0.9;
    static constexpr double boundaryEscapeSwerve = 0.42;
    static constexpr double boundaryEscapeKick = 0.5;
    static constexpr double boundaryEscapeStrength = 0.18;
    static constexpr double overlapDesyncRadius = 56;
    static constexpr double overlapDesyncMinimumAlignment = 0.78;
    static constexpr double overlapDesyncSpeedFloor = 0.35;
    static constexpr double overlapDesyncMaximumSpeedDifference = 0.55;
    static constexpr double overlapDesyncBaseDuration = 0.58;
    static constexpr double overlapDesyncExtraDuration = 0.34;
    static constexpr double overlapDesyncBaseKick = 0.1;
    static constexpr double overlapDesyncExtraKick = 0.16;
    static constexpr double overlapDesyncBasePush = 0.055;
    static constexpr double overlapDesyncExtraPush = 0.045;
    static constexpr double overlapDesyncHoldStrength = 0.045;
    static constexpr double overlapDesyncAheadBias = 0.24;
    static constexpr double overlapDesyncBehindBias = -0.16;
    // A moving captured fish (dragged, visiting) keeps its glow this long
    // past each step; every step extends it.
    static constexpr double capturedGlowLead = 0.2;
    // Impulses the screen gestures give every fish, times the swim speed.
    static constexpr double attractionImpulse = 3.2;
    static constexpr double guaranteedAttractionImpulse = 3.8;
    static constexpr double dispersalImpulse = 5.2;

    // Stored keys.
    static constexpr const char* kIconOpacityKey = "Orvella.iconOpacity";
    static constexpr const char* kSwimSpeedKey = "Orvella.swimSpeed";
    static constexpr const char* kFishOpenModifierKey = "Orvella.fishOpenModifier";
    static constexpr const char* kAttractionModifierKey = "Orvella.attractionModifier";
    static constexpr const char* kDispersalModifierKey = "Orvella.dispersalModifier";
    static constexpr const char* kUnreadBadgeMonitoringKey = "Orvella.unreadBadgeMonitoringEnabled";
    static constexpr const char* kWindowAvoidanceKey = "Orvella.windowAvoidanceEnabled";
    static constexpr const char* kApplicationPathsKey = "Orvella.applicationPaths";
    static constexpr const char* kAppOpenCountsKey = "Orvella.appOpenCounts";
    static constexpr const char* kObsoleteFishSizeScaleKey = "Orvella.fishSizeScale";
    static constexpr const char* kUnreadBadgeDebugPermissionKey = "Orvella.unreadBadgeDebug.permission";
    static constexpr const char* kUnreadBadgeDebugDidReadDockKey = "Orvella.unreadBadgeDebug.didReadDock";
    static constexpr const char* kUnreadBadgeDebugCountsKey = "Orvella.unreadBadgeDebug.counts";
    static constexpr const char* kUnreadBadgeDebugUpdatedAtKey = "Orvella.unreadBadgeDebug.updatedAt";

    explicit OrvellaController(Platform& platform);
    ~OrvellaController() override;
    OrvellaController(const OrvellaController&) = delete;
    OrvellaController& operator=(const OrvellaController&) = delete;

    // Life cycle.
    void start();
    void stop();
    bool hasStarted() const { return hasStarted_; }
    void rebuildFish();
    void addFish(const OrvellaApp& app, int index, int count);
    void removeFish(const OrvellaApp& app);

    // Catalogue.
    std::vector<OrvellaApp> loadManualApplications();
    void addApplication(const std::string& url);
    void removeApplication(const OrvellaApp& app);
    void persistManualApplications();
    OrvellaApp makeApp(const std::string& url);
    const std::vector<OrvellaApp>& manualApps() const { return manualApps_; }
    Observable<std::vector<OrvellaApp>> apps;

    // Settings.
    double iconOpacity() const { return iconOpacityStorage_.get(); }
    void setIconOpacity(double value);
    double swimSpeed() const { return swimSpeedStorage_.get(); }
    void setSwimSpeed(double value);
    FishOpenModifier fishOpenModifier() const { return fishOpenModifier_.get(); }
    void setFishOpenModifier(FishOpenModifier value);
    FishScreenGesture attractionModifier() const { return attractionModifier_.get(); }
    void setAttractionModifier(FishScreenGesture value);
    FishScreenGesture dispersalModifier() const { return dispersalModifier_.get(); }
    void setDispersalModifier(FishScreenGesture value);
    bool hasScreenGestureConflict() const { return attractionModifier() == dispersalModifier(); }
    bool unreadBadgeMonitoringEnabled() const { return unreadBadgeMonitoringEnabled_.get(); }
    void setUnreadBadgeMonitoringEnabled(bool value);
    bool windowAvoidanceEnabled() const { return windowAvoidanceEnabled_.get(); }
    void setWindowAvoidanceEnabled(bool value);
    bool stillWaterModeEnabled() const { return stillWaterModeEnabled_.get(); }
    void setStillWaterModeEnabled(bool value);

    // Open counts and growth.
    std::map<std::string, int> loadAppOpenCounts();
    void pruneAppOpenCounts();
    double growthScale(const OrvellaApp& app) const;
    double recordAppOpenAndGrowthScale(const OrvellaApp& app);
    void resetFishSizes();
    const std::map<std::string, int>& appOpenCounts() const { return appOpenCounts_; }

    // Swim areas and displays.
    std::vector<DisplayInfo> enabledScreens() const;
    std::vector<SwimArea> swimAreas() const;
    std::optional<SwimArea> activeSwimArea(const std::vector<SwimArea>& areas);
    Rect movementBoundaryFrame(const SwimArea& active, const std::vector<SwimArea>& areas) const;
    bool isPointInsideEnabledDisplay(Point p) const;
    const std::optional<std::string>& activeDisplayID() const { return activeDisplayID_; }
    ScreenEntryEdge activeEntryEdge() const { return activeEntryEdge_; }

    // Fish agents.
    std::shared_ptr<FishAgent> makeFishAgent(const OrvellaApp& app, const SwimArea& area, int index, int count,
                                             double alpha);
    Point edgeSpawnPoint(const SwimArea& area, int index, int count) const;
    void updateAgentDisplayID(FishAgent& agent, const std::vector<SwimArea>& areas, const SwimArea& fallback);
    const std::vector<std::shared_ptr<FishAgent>>& fishAgents() const { return fishAgents_; }

    // Presentation of one fish.
    void updateWindow(FishAgent& fish);
    void updateAgentOpacity(FishAgent& fish, Time now);
    void updateFishHeading(FishAgent& fish, double speed, double smoothing);
    double currentBaseMaxSpeed(const FishAgent& fish, Time now) const;
    bool isStillWaterCruising(const FishAgent& fish, Time now) const;

    bool isAttractionInForce() const { return cursorAttractionEnabled && attractionTargetPoint.has_value(); }
    bool isDispersalInForce() const { return dispersalExpiresAt.has_value(); }

    // The motion loop.
    void startMotion();
    double desiredMotionFrameInterval(Time now) const;
    // Whether a firing of the motion timer at `at` would run a step.
    bool isMotionStepDue(Time at) const;
    void stepMotion();
    bool isMotionRunning() const { return motionTimer_.has_value(); }
    // Steps run since start, for diagnostics.
    std::uint64_t motionStepCount() const { return motionStepCount_; }

    // Steering and integration.
    void move(FishAgent& agent, Point target, int index, const Rect& boundary, Time now);
    Vector organicWanderAcceleration(const FishAgent& agent, Time now) const;
    void registerBoundaryEscapeIfNeeded(FishAgent& agent, Vector direction, Time now);
    Vector activeEscapeAcceleration(const FishAgent& agent, Time now) const;
    Vector overlapDesyncAcceleration(FishAgent& agent, int index, Time now);

    // Still water.
    void enterStillWaterMode();
    Rect stillWaterBoundaryFrame(const std::vector<SwimArea>& areas, const SwimArea& fallback) const;
    Point stillWaterTarget(FishAgent& fish, int index, const std::vector<SwimArea>& areas, const SwimArea& fallback);
    static Point stillWaterPerimeterTarget(int slotIndex, int slotCount, const Rect& ring);
    Vector stillWaterSeparationAcceleration(const FishAgent& fish) const;
    bool isStillWaterOverlapping(const FishAgent& fish) const;

    // Swim targets.
    Point targetPoint(FishAgent& fish, int index, Time now, const Rect& T, const SwimArea& active,
                      std::optional<Point> attractionPoint);
    Point dispersalTarget(const FishAgent& fish, int index, Point origin, const Rect& T) const;

    // The desktop's mouse: every move and left mouse-down.
    void installMouseMonitors();
    void handleMouse(MouseEvent::Type type, Modifiers modifiers, Point location);
    static bool matchesGesture(FishScreenGesture gesture, Modifiers modifiers);
    bool isInsideInteractiveWindow(Point p) const;
    void registerRapidAttractionClick(Point p, Time now);
    void registerRapidDispersalClick(Point p, Time now);
    // What the attraction gesture does once its clicks are counted.
    void startAttraction(Point p, Time now, bool guaranteed);
    void startDispersal(Point p, Time now);
    // Calling and scattering without clicks (menu, command line, bus), for
    // sessions that do not report desktop clicks: at `at`, else where the
    // pointer was last seen, else the middle of the active display.
    void attractSchool(std::optional<Point> at = std::nullopt);
    void disperseSchool(std::optional<Point> at = std::nullopt);
    Point schoolCommandPoint();
    // What this session lets Orvella know of the desktop.
    DesktopAbilities desktopAbilities() const { return platform_.awareness.abilities(); }
    DesktopRemedy desktopRemedy() const { return platform_.awareness.remedy(); }
    std::string desktopShellVersion() const { return platform_.awareness.shellVersion(); }
    std::string desktopProviderName() const { return platform_.awareness.providerName(); }

    // Water overlays, one per display while something is drawn on it.
    void syncWaterOverlays();
    WaterOverlayWindow* waterOverlay(const std::string& displayID);
    WaterOverlayWindow* waterOverlayContaining(Point p);
    void orderFishWindowsAboveWater();
    const std::map<std::string, std::unique_ptr<WaterOverlayWindow>>& waterWindows() const { return waterWindows_; }

    // Screen gesture state the motion step expires.
    void clearClickAttraction(bool keepRecentClicks);
    void expireClickAttractionIfNeeded(Time now);
    void expireDispersalIfNeeded(Time now);
    void updateWaterOverlays(Time now);

    // Window avoidance as the motion step sees it.
    struct WindowAvoidanceLayout {
        std::optional<Rect> avoidanceRect;
        std::optional<Rect> waterwayFrame;
        std::optional<std::string> waterwayAreaID;
    };
    void updateWindowAvoidance(Time now, const std::vector<SwimArea>& areas);
    static WindowAvoidanceLayout windowAvoidanceLayout(const ActiveWindowSnapshot& snapshot,
                                                       const std::vector<SwimArea>& areas);
    void requestWindowAvoidanceAccessibilityPermission();
    void smoothWindowAvoidanceRect();
    bool shouldAvoidActiveWindow(const FishAgent& fish, Time now) const;
    Point originAvoidingCurrentWindow(Point proposed, FishAgent& fish, int index, Time now, const Rect& bounds);
    double windowAvoidanceLaneOffset(const FishAgent& fish, int index) const;
    // `stillWaterSlot`: the slot a still-water fish is heading for, if it is.
    Vector windowAvoidanceAcceleration(FishAgent& fish, Time now, std::optional<Point> stillWaterSlot = std::nullopt);
    bool hasActiveWindowAvoidance(Time now) const;

    // Fish as launchers, and what presses and drags do to them.
    bool shouldOpenFish(int clickCount, Modifiers modifiers) const;
    void handleFishClick(const OrvellaApp& app, int clickCount, Modifiers modifiers, Point mouse) override;
    void pauseFishBriefly(const OrvellaApp& app);
    bool isFrontmostApplication(const OrvellaApp& app);
    void handleFishPressBegan(const OrvellaApp& app, Point mouse) override;
    void handleFishDragBegan(const OrvellaApp& app, Point mouse) override;
    void handleFishDrag(const OrvellaApp& app, Point origin, Point mouse) override;
    void handleFishDragEnded(const OrvellaApp& app, Point mouse) override;
    // The first fish of the application, by path.
    FishAgent* agentFor(const OrvellaApp& app) const;

    // Unread badges.
    void requestUnreadBadgeAccessibilityPermission();
    void configureUnreadBadgeMonitor();
    void handleUnreadBadgeSnapshot(const UnreadBadgeSnapshot& snapshot);
    void updateUnreadBadgeMonitorApps();
    void updateFishUnreadBadges(const std::map<std::string, int>& previousCounts, bool emitPulses);
    void showUnreadMessageEffect(FishAgent& fish);
    void persistUnreadBadgeDebugSnapshot(const UnreadBadgeSnapshot& snapshot);
    int unreadBadgeCount(const OrvellaApp& app) const;
    void updateBadgeWindow(FishAgent& fish);

    // Pointer and gesture state the motion rules read.
    Point cursorPoint;
    Point previousCursorPoint;
    bool cursorAttractionEnabled = false;
    std::optional<Point> attractionTargetPoint;
    std::optional<Time> attractionExpiresAt;
    bool attractionRequiresArrival = false;
    std::optional<Time> attractionArrivedAt;
    std::vector<Time> recentAttractionClicks;
    std::vector<Time> recentGuaranteedAttractionClicks;
    std::optional<Point> dispersalOriginPoint;
    std::optional<Time> dispersalExpiresAt;
    std::vector<Time> recentDispersalClicks;

    Observable<std::map<std::string, int>> unreadBadgeCounts;
    Observable<bool> hasUnreadBadgeAccessibilityPermission{false};
    Observable<bool> hasWindowAvoidanceAccessibilityPermission{false};
    bool hasReceivedUnreadBadgeSnapshot = false;
    bool hasRequestedUnreadBadgePermissionThisLaunch = false;
    bool hasRequestedWindowAvoidancePermissionThisLaunch = false;
    std::optional<Rect> currentWindowAvoidanceRect;
    std::optional<Rect> targetWindowAvoidanceRect;
    std::optional<Rect> largeWindowWaterwayFrame;
    std::optional<std::string> largeWindowWaterwayAreaID;
    Time lastWindowAvoidancePollAt = 0;
    ActiveWindowMonitor activeWindowMonitor;
    UnreadBadgeMonitor unreadBadgeMonitor;
    Time lastMotionStepAt = 0;

    Platform& platform() { return platform_; }

    // Calls `fn` after every change of a setting, the catalogue, the unread
    // counts or a permission flag: what a settings view shows.
    int observeChanges(std::function<void()> fn);
    void unobserveChanges(int token) { changeObservers_.erase(token); }

private:
    void loadSettings();
    void holdFish(FishAgent& agent, double pause, double brake);
    void installNotificationObservers();
    void storeAppOpenCounts();
    void selectArea(const SwimArea& area);
    void clearWindowAvoidanceState();
    // Empties the counts and every badge, unless nothing is shown.
    void clearUnreadBadges();
    Vector windowAvoidanceExitDirection(FishAgent& fish, const Rect& zone, Point center, Time now);
    FishViewServices fishViewServices();

    void notifyChanges();
    std::map<int, std::function<void()>> changeObservers_;
    int nextChangeObserver_ = 1;

    Platform& platform_;
    // Written only through the setters, which clamp and store the value.
    Observable<double> iconOpacityStorage_{0.58};
    Observable<double> swimSpeedStorage_{1.0};
    Observable<bool> unreadBadgeMonitoringEnabled_{false};
    Observable<bool> windowAvoidanceEnabled_{false};
    Observable<bool> stillWaterModeEnabled_{false};
    Observable<FishOpenModifier> fishOpenModifier_{FishOpenModifier::none};
    Observable<FishScreenGesture> attractionModifier_{FishScreenGesture::tripleClick};
    Observable<FishScreenGesture> dispersalModifier_{FishScreenGesture::optionTripleClick};
    std::vector<OrvellaApp> manualApps_;
    std::map<std::string, int> appOpenCounts_;
    std::vector<std::shared_ptr<FishAgent>> fishAgents_;
    std::map<std::string, std::unique_ptr<WaterOverlayWindow>> waterWindows_;
    std::optional<int> motionTimer_;
    std::vector<int> eventMonitors_;
    std::vector<int> notificationTokens_;
    std::optional<std::string> activeDisplayID_;
    ScreenEntryEdge activeEntryEdge_ = ScreenEntryEdge::bottom;
    bool hasStarted_ = false;
    std::uint64_t motionStepCount_ = 0;
    int awarenessObserver_ = 0;
    // Callbacks that outlive the controller check this before touching it.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace orvella
