#pragma once
// Orvella's GNOME Shell extension: which of its two styles a shell loads,
// where it is installed, and installing it for one user.

#include <QDBusMessage>
#include <QString>
#include <QVariantMap>
#include <optional>

namespace orvella::desktop::gnome_extension {

constexpr const char* kUuid = "orvella@orvella.org";
// What the extension offers on the session bus.
constexpr const char* kBusName = "org.orvella.GnomeShell";
constexpr const char* kObjectPath = "/org/orvella/GnomeShell";
constexpr const char* kInterface = "org.orvella.GnomeShell";

extern const char* const kLegacyScript;
extern const char* const kLegacyMetadata;
extern const char* const kModuleScript;
extern const char* const kModuleMetadata;
// The newest GNOME Shell the extension's metadata lets it run on.
extern const int kNewestShell;
constexpr int kOldestShell = 43;
inline bool supportsShell(int major) { return major >= kOldestShell && major <= kNewestShell; }

// GNOME Shell 45 and newer load extensions as modules only; 43 and 44 only
// in the older style.
enum class Style { legacy, module };
Style styleForShell(std::optional<int> major);
// The installed shell's major version, from `gnome-shell --version`.
std::optional<int> installedShellMajor();

// Whether the extension is installed for this user or system-wide.
bool isInstalled();

struct InstallResult {
    bool ok = false;
    QString folder;              // where it went
    QString error;               // why not, when not ok
    bool enabled = false;        // added to the shell's enabled extensions
};
// Writes the extension into `dataHome`/gnome-shell/extensions (the user's
// XDG data home when empty) and adds it to the shell's enabled extensions
// when the shell's settings are there.
InstallResult install(Style style, QString dataHome = {});

// What a running GNOME Shell says of the extension (org.gnome.Shell.Extensions
// GetExtensionInfo): its numbers for the states, the same from 43 on.
enum class ShellState { unknown, active, inactive, failed, outOfDate };
ShellState stateFromInfo(const QVariantMap& info);

// What the running shell on the session bus says of the extension, and its
// version ("50.5"); nullopt when no shell answers within the timeout.
struct ShellReport {
    ShellState state = ShellState::unknown;
    QString version;
};
std::optional<ShellReport> askRunningShell(int timeoutMilliseconds = 2000);
// The two calls that ask it: the extension's info, and the shell's version.
QDBusMessage extensionInfoCall();
QDBusMessage shellVersionCall();
// "50" of "50.5"; empty for an empty version.
inline QString majorOf(const QString& version) { return version.section('.', 0, 0); }
// A plain sentence for a state in which the extension cannot work, naming
// the shell's version where known; empty for the other states.
QString problem(ShellState state, const QString& version);

}  // namespace orvella::desktop::gnome_extension
