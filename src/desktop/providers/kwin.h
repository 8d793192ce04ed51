#pragma once
// KDE Plasma (KWin 5.27 and 6): a KWin script Orvella loads over the session
// bus (org.kde.KWin /Scripting) reports the cursor and the active window's
// frame, process and class back to Orvella, and registers the two global
// shortcuts that call and scatter the school. Clicks are not reported.

#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>

#include "desktop/providers/report.h"

namespace orvella::desktop {

// The short script that focuses the window of that internal id; empty for
// an id that is no KWin internal id.
QByteArray kwinActivationScript(const std::string& internalId);

class KWinProvider;

// The object the script calls: org.orvella.KWinReport.Report(json).
class KWinReportReceiver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.orvella.KWinReport")
public:
    explicit KWinReportReceiver(KWinProvider& provider) : provider_(provider) {}
public Q_SLOTS:
    void Report(const QString& json);

private:
    KWinProvider& provider_;
};

class KWinProvider : public ReportedProvider {
public:
    static constexpr const char* kScriptName = "orvella";
    static constexpr const char* kReportPath = "/org/orvella/Orvella/KWin";
    // How long a loaded script has to say it runs, and how often it is
    // loaded before Orvella gives up on it.
    static constexpr int kHelloMilliseconds = 2500;
    static constexpr int kAttempts = 3;
    // Whether KWin answers on the session bus.
    static bool isAvailable();

    explicit KWinProvider(QObject* parent = nullptr, int helloMilliseconds = kHelloMilliseconds);
    ~KWinProvider() override;
    std::string name() const override { return "kwin"; }
    DesktopAbilities abilities() const override { return {reporting_, reporting_, false}; }
    DesktopRemedy remedy() const override {
        return gaveUp_ ? DesktopRemedy::kwinScriptDidNotStart : DesktopRemedy::none;
    }
    // Loads and runs the script; `lost` follows if KWin refuses it.
    void start() override;
    // One report of the script's.
    void handleReport(const QString& json);
    bool activateWindow(const ListedWindow& window) override;

private:
    void load(int attempt);
    void helloOverdue();
    void unload();
    void checkStillLoaded();
    void goAway();
    void stopReceiving();
    KWinReportReceiver receiver_{*this};
    QDBusServiceWatcher watcher_;
    QTimer check_;
    QTimer hello_;
    QString path_;
    int attempt_ = 0;
    bool nudged_ = false;    // KWin was asked to run every loaded script
    bool gaveUp_ = false;
    bool receiving_ = false;
    bool reporting_ = false;  // the script said it runs
    bool loaded_ = false;
    bool activatorLoaded_ = false;
};

}  // namespace orvella::desktop
