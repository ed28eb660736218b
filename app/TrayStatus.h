#pragma once
// What the tray icon tells the user: where a remote can reach Corvello, who is
// connected, which protocol the remote chose, and whether discovery works.
// Plain data and pure text functions, so the wording is tested on any platform.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvello {

struct TrayStatus {
    std::vector<std::string> addresses;  // this computer's IPv4 addresses a remote can use
    std::uint16_t port = 0;              // the link's TCP port
    bool discoveryAvailable = true;      // false: no DNS-SD service, the remote needs the address
    std::optional<std::string> remote;   // the connected remote's address
    std::int32_t protocol = -1;          // a ProtocolState; kNoProtocol before a selection
};

// The shell keeps 127 characters of a tooltip.
inline constexpr std::size_t kTooltipLimit = 127;

std::string protocolName(std::int32_t protocol);

// The menu's status lines, top to bottom.
std::vector<std::string> trayStatusLines(const TrayStatus& status);

// The same in brief, cut to `limit` characters with the port always kept.
std::string trayTooltip(const TrayStatus& status, std::size_t limit = kTooltipLimit);

struct Balloon {
    std::string title;
    std::string text;
};

Balloon remoteConnectedBalloon(const std::string& address);
// `alsoRefused`: connections refused since the last such balloon and not shown.
Balloon remoteRefusedBalloon(const std::string& address, unsigned alsoRefused = 0);

}  // namespace corvello
