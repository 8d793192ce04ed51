// Holds one real desktop backend to the ports' contract. By default the X11
// backend, on a private Xvfb and session bus this binary starts; with
// ORVELLA_CONTRACT_DESKTOP=wayland, the Wayland backend in the compositor
// whose session the environment names (tests/e2e/wl_contract.py starts one
// and says how to drive it).

// GLib first: its headers use names that Qt's keywords would replace.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QGuiApplication>
#include <QProcess>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "support/backend_support.h"
#include "contract/contract_desktop.h"
#include "x11/desktop.h"
#include "x11/connection.h"
#include "support/test_servers.h"
#include "wayland/desktop.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace orvella::contract {
namespace {

ContractDesktop* current = nullptr;

int shell(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The X11 backend on this binary's own Xvfb: xdotool drives the pointer,
// the root window's pixels are the screen, RandR monitors split it.
class X11Contract : public ContractDesktop {
public:
    explicit X11Contract(const std::filesystem::path& defaults) : backend_(defaults) {}
    std::string name() const override { return "x11"; }
    Platform& platform() override { return backend_.platform(); }
    std::vector<QRect> layout() const override { return {QRect(0, 0, 1440, 900)}; }
    void movePointer(QPoint at) override {
        shell("xdotool mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y()));
    }
    void press() override { shell("xdotool mousedown 1"); }
    void release() override { shell("xdotool mouseup 1"); }
    QImage screenshot() override {
        Display* dpy = x11::x11Display();
        XSync(dpy, False);
        XImage* image = XGetImage(dpy, DefaultRootWindow(dpy), 0, 0, 1440, 900, AllPlanes, ZPixmap);
        QImage out(1440, 900, QImage::Format_RGB32);
        if (!image) return {};
        for (int y = 0; y < 900; ++y)
            for (int x = 0; x < 1440; ++x)
                out.setPixel(x, y, static_cast<QRgb>(XGetPixel(image, x, y) & 0xffffff));
        XDestroyImage(image);
        return out;
    }
    bool changeLayout() override {
        return shell("xrandr --setmonitor L 720/190x900/238+0+0 screen") == 0 &&
               shell("xrandr --setmonitor R 720/190x900/238+720+0 none") == 0;
    }
    void restoreLayout() override {
        shell("xrandr --delmonitor R");
        shell("xrandr --delmonitor L");
    }
    // One X screen: its monitors are views of it, none goes dark.
    bool removeLastOutput() override { return false; }
    void restoreLastOutput() override {}

private:
    x11::X11Desktop backend_;
};

// The Wayland backend in a compositor started outside: the environment
// gives the layout, the pointer helper, and the commands that take a
// screenshot and move an output.
class WaylandContract : public ContractDesktop {
public:
    explicit WaylandContract(std::unique_ptr<wayland::WaylandDesktop> backend) : backend_(std::move(backend)) {
        const QString outputs = qEnvironmentVariable("ORVELLA_CONTRACT_LAYOUT");
        for (const QString& output : outputs.split(';', Qt::SkipEmptyParts)) {
            const QStringList v = output.split(',');
            if (v.size() == 4) layout_.emplace_back(v[0].toInt(), v[1].toInt(), v[2].toInt(), v[3].toInt());
        }
    }
    ~WaylandContract() override { stopPointer(); }
    std::string name() const override { return "wayland"; }
    Platform& platform() override { return backend_->platform(); }
    std::vector<QRect> layout() const override { return layout_; }
    void movePointer(QPoint at) override {
        drive("move " + QString::number(at.x()) + " " + QString::number(at.y()));
    }
    void press() override { drive("press"); }
    void release() override { drive("release"); }
    QImage screenshot() override {
        QProcess shot;
        shot.start("/bin/sh", {"-c", qEnvironmentVariable("ORVELLA_CONTRACT_SCREENSHOT")});
        // The compositor answers on its own; our connection is served meanwhile.
        spinUntil([&] { return shot.state() == QProcess::NotRunning; }, 30);
        return QImage::fromData(shot.readAllStandardOutput(), "PPM");
    }
    bool changeLayout() override { return runLayoutCommand("ORVELLA_CONTRACT_RELAYOUT"); }
    void restoreLayout() override { runLayoutCommand("ORVELLA_CONTRACT_RESTORE"); }
    bool removeLastOutput() override { return runLayoutCommand("ORVELLA_CONTRACT_REMOVE_OUTPUT"); }
    void restoreLastOutput() override { runLayoutCommand("ORVELLA_CONTRACT_RESTORE_OUTPUT"); }

private:
    bool runLayoutCommand(const char* variable) {
        const QString command = qEnvironmentVariable(variable);
        if (command.isEmpty()) return false;
        // Absolute pointer moves span the layout the helper was started in.
        stopPointer();
        return shell(command.toStdString()) == 0;
    }
    QString extents() const {
        int w = 0, h = 0;
        for (const QRect& r : layout_) {
            w = std::max(w, r.x() + r.width());
            h = std::max(h, r.y() + r.height());
        }
        return QString::number(w) + " " + QString::number(h);
    }
    QString readReply() {
        spinUntil([&] { return pointer_->canReadLine() || pointer_->state() == QProcess::NotRunning; }, 10);
        return QString::fromUtf8(pointer_->readLine()).trimmed();
    }
    void drive(const QString& command) {
        if (!pointer_ || pointer_->state() == QProcess::NotRunning) {
            pointer_ = std::make_unique<QProcess>();
            pointer_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            pointer_->start(qEnvironmentVariable("ORVELLA_TEST_POINTER"), extents().split(' '));
            if (readReply() != "ready")
                ADD_FAILURE() << "the pointer helper (" << pointer_->program().toStdString()
                              << ") could not drive this compositor: " << pointer_->errorString().toStdString();
        }
        pointer_->write((command + "\n").toUtf8());
        if (readReply() != "ok") ADD_FAILURE() << "the pointer helper failed on " << command.toStdString();
    }
    void stopPointer() {
        if (!pointer_) return;
        pointer_->closeWriteChannel();
        if (!pointer_->waitForFinished(5000)) pointer_->kill();
        pointer_.reset();
    }
    std::unique_ptr<wayland::WaylandDesktop> backend_;
    std::vector<QRect> layout_;
    std::unique_ptr<QProcess> pointer_;
};

}  // namespace

ContractDesktop& desktop() { return *current; }

bool spinUntil(const std::function<bool()>& done, double seconds) { return testing::spinUntil(done, seconds); }

QPoint toLayout(Point p) {
    const QRect primary = desktop().layout().front();
    return {static_cast<int>(std::lround(primary.x() + p.x)),
            static_cast<int>(std::lround(primary.y() + primary.height() - p.y))};
}

QRect toLayout(const Rect& r) {
    const QPoint topLeft = toLayout(Point{r.minX(), r.maxY()});
    return {topLeft, QSize(static_cast<int>(std::lround(r.width())), static_cast<int>(std::lround(r.height())))};
}

Point toDesktopPoint(QPoint p) {
    const QRect primary = desktop().layout().front();
    return {static_cast<double>(p.x() - primary.x()), static_cast<double>(primary.y() + primary.height() - p.y())};
}

QRgb shownAt(const QImage& shot, QPoint at) {
    // Outputs stand side by side, so the height holds while the last one is
    // turned off and the shot narrows.
    int height = 0;
    for (const QRect& r : desktop().layout()) height = std::max(height, r.y() + r.height());
    if (shot.isNull() || height <= 0) return 0;
    const double ratio = static_cast<double>(shot.height()) / height;
    const int x = static_cast<int>((at.x() + 0.5) * ratio);
    const int y = static_cast<int>((at.y() + 0.5) * ratio);
    if (x < 0 || y < 0 || x >= shot.width() || y >= shot.height()) return 0;
    return shot.pixel(x, y) & 0xffffff;
}

}  // namespace orvella::contract

using namespace orvella;

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const bool wayland = qEnvironmentVariable("ORVELLA_CONTRACT_DESKTOP") == "wayland";
    pid_t xvfb = -1, bus = -1;
    char home[] = "/tmp/orvella-contract-XXXXXX";
    const std::string tmp = ::mkdtemp(home);
    if (!wayland) {
        std::string display;
        xvfb = orvella::testing::startXvfb(display);
        if (xvfb <= 0) {
            std::fprintf(stderr, "contract tests: could not start Xvfb\n");
            return 1;
        }
        ::setenv("DISPLAY", display.c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ::unsetenv("WAYLAND_DISPLAY");
        ::setenv("XDG_RUNTIME_DIR", tmp.c_str(), 1);
        ::setenv("XDG_DATA_HOME", (tmp + "/data").c_str(), 1);
        bus = orvella::testing::startBus();
    }

    int result = 1;
    {
        QGuiApplication app(argc, argv);
        const std::filesystem::path defaults = tmp + "/defaults.json";
        std::unique_ptr<contract::ContractDesktop> desktop;
        if (wayland) {
            auto backend = wayland::WaylandDesktop::open(defaults);
            if (!backend) {
                std::fprintf(stderr, "contract tests: the compositor offers no layer surfaces\n");
            } else {
                desktop = std::make_unique<contract::WaylandContract>(std::move(backend));
            }
        } else {
            desktop = std::make_unique<contract::X11Contract>(defaults);
        }
        if (desktop) {
            contract::current = desktop.get();
            std::printf("port contract on the %s backend\n", desktop->name().c_str());
            result = RUN_ALL_TESTS();
        }
        contract::current = nullptr;
    }
    if (bus > 0) {
        // GIO's shared connection ends the process when its bus goes away;
        // this bus going away is expected.
        if (GDBusConnection* shared = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)) {
            g_dbus_connection_set_exit_on_close(shared, FALSE);
            g_object_unref(shared);
        }
    }
    orvella::testing::stopServer(bus);
    orvella::testing::stopServer(xvfb);
    std::filesystem::remove_all(tmp);
    return result;
}
