#include <algorithm>
#include <filesystem>

#include "orvella/controller/orvella_controller.h"

namespace orvella {

FishAgent* OrvellaController::agentFor(const OrvellaApp& app) const {
    for (const auto& agent : fishAgents_)
        if (agent->app.sameApplication(app)) return agent.get();
    return nullptr;
}

bool OrvellaController::shouldOpenFish(int clickCount, Modifiers m) const {
    switch (fishOpenModifier()) {
        case FishOpenModifier::doubleClick: return clickCount > 1;
        case FishOpenModifier::none: return clickCount == 1;
        case FishOpenModifier::command: return clickCount == 1 && m.command;
        case FishOpenModifier::option: return clickCount == 1 && m.option;
        case FishOpenModifier::control: return clickCount == 1 && m.control;
        case FishOpenModifier::shift: return clickCount == 1 && m.shift;
    }
    return false;
}

void OrvellaController::handleFishClick(const OrvellaApp& app, int clickCount, Modifiers modifiers, Point mouse) {
    cursorPoint = mouse;
    if (!shouldOpenFish(clickCount, modifiers)) {
        pauseFishBriefly(app);
        return;
    }
    FishAgent* agent = agentFor(app);
    if (!agent) {
        platform_.workspace.openApplication(app.url);
        return;
    }
    const double scale = recordAppOpenAndGrowthScale(app);
    agent->view().setGrowthScale(scale, true);
    agent->pausedUntil.reset();
    agent->clickFeedbackUntil.reset();
    agent->unreadAttention.reset();
    agent->view().clearCapture();
    agent->velocity = agent->velocity * 0.35;
    updateWindow(*agent);
    // Launched or brought to the front; a failure is not reported and the
    // open has been counted already.
    platform_.workspace.openApplication(app.url);
}

// A touched fish stops for a moment, brakes and lights up.
void OrvellaController::holdFish(FishAgent& agent, double pause, double brake) {
    const Time now = platform_.clock.now();
    agent.pausedUntil = now + pause;
    agent.clickFeedbackUntil = now + clickFeedbackDuration;
    agent.velocity = agent.velocity * brake;
    updateWindow(agent);
}

void OrvellaController::pauseFishBriefly(const OrvellaApp& app) {
    if (FishAgent* agent = agentFor(app)) holdFish(*agent, 0.5, 0.25);
}

bool OrvellaController::isFrontmostApplication(const OrvellaApp& app) {
    auto front = platform_.workspace.frontmostApplication();
    if (!front) return false;
    if (!front->bundleIdentifier.empty()) {
        auto own = platform_.workspace.bundleIdentifier(app.url);
        if (own && !own->empty() && *own == front->bundleIdentifier) return true;
    }
    if (!front->location) return false;
    namespace fs = std::filesystem;
    return fs::path(*front->location).lexically_normal() == fs::path(app.url).lexically_normal();
}

void OrvellaController::handleFishPressBegan(const OrvellaApp& app, Point mouse) {
    cursorPoint = mouse;
    if (FishAgent* agent = agentFor(app)) holdFish(*agent, 0.65, 0.18);
}

void OrvellaController::handleFishDragBegan(const OrvellaApp& app, Point mouse) {
    cursorPoint = mouse;
    FishAgent* agent = agentFor(app);
    if (!agent) return;
    clearClickAttraction(false);
    dispersalOriginPoint.reset();
    dispersalExpiresAt.reset();
    const Time now = platform_.clock.now();
    agent->isBeingDragged = true;
    agent->pausedUntil.reset();
    agent->unreadAttention.reset();
    agent->escapeBiasUntil = 0;
    agent->overlapDesyncUntil = 0;
    agent->clickFeedbackUntil = now + clickFeedbackDuration;
    agent->view().showCapture(now + 0.25);
    updateWindow(*agent);
}

void OrvellaController::handleFishDrag(const OrvellaApp& app, Point origin, Point mouse) {
    cursorPoint = mouse;
    FishAgent* agent = agentFor(app);
    if (!agent) return;
    if (!agent->isBeingDragged) handleFishDragBegan(app, mouse);
    const auto areas = swimAreas();
    const auto area = activeSwimArea(areas);
    if (!area) return;
    const Rect b = stillWaterBoundaryFrame(areas, *area);
    const double x = std::min(std::max(origin.x, b.minX()), b.maxX());
    const double y = std::min(std::max(origin.y, b.minY()), b.maxY());
    agent->velocity = (Point{x, y} - agent->position) * 0.42;
    agent->position = {x, y};
    agent->pausedUntil.reset();
    agent->clickFeedbackUntil = platform_.clock.now() + 0.25;
    updateAgentDisplayID(*agent, areas, *area);
    updateWindow(*agent);
}

void OrvellaController::handleFishDragEnded(const OrvellaApp& app, Point mouse) {
    cursorPoint = mouse;
    FishAgent* agent = agentFor(app);
    if (!agent) return;
    agent->isBeingDragged = false;
    holdFish(*agent, 0.7, 0.18);
}

}  // namespace orvella
