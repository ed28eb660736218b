#include "app/TrayStatus.h"

#include "core/HostSelection.h"

namespace corvello {

namespace {

std::string remoteLine(const TrayStatus& status)
{
    if (!status.remote)
        return "No remote connected";
    if (status.protocol == kNoProtocol)
        return "Remote " + *status.remote + " connected, no protocol selected yet";
    return "Remote " + *status.remote + " connected: " + protocolName(status.protocol);
}

// The tooltip's brief form of the same.
std::string briefRemoteLine(const TrayStatus& status)
{
    if (!status.remote)
        return "No remote";
    return "Remote " + *status.remote + ": " +
           (status.protocol == kNoProtocol ? std::string("no protocol yet") : protocolName(status.protocol));
}

std::string endpoint(const std::string& address, std::uint16_t port)
{
    return address + ":" + std::to_string(port);
}

}  // namespace

std::string protocolName(std::int32_t protocol)
{
    switch (protocol) {
    case kHUIProtocol:
        return "HUI";
    case kMackieControlProtocol:
        return "Mackie Control";
    case kPannerProtocol:
        return "Panner";
    case kLogicOSCProtocol:
        return "Logic OSC";
    default:
        return "no protocol";
    }
}

std::vector<std::string> trayStatusLines(const TrayStatus& status)
{
    std::vector<std::string> lines;
    if (status.addresses.empty())
        lines.push_back("No network address: TCP port " + std::to_string(status.port));
    for (const std::string& address : status.addresses)
        lines.push_back("Remote connects to " + endpoint(address, status.port));
    if (!status.discoveryAvailable)
        lines.push_back("No DNS-SD service: type the address above into the remote");
    lines.push_back(remoteLine(status));
    return lines;
}

std::string trayTooltip(const TrayStatus& status, std::size_t limit)
{
    const std::string head = status.discoveryAvailable ? "Corvello" : "Corvello (no DNS-SD: type the address)";
    const std::string tail = "\n" + briefRemoteLine(status);
    const std::size_t count = status.addresses.size();
    const auto more = [](std::size_t left) { return "\n+" + std::to_string(left) + " more in the menu"; };

    // As many addresses as fit, leaving room to count the rest.
    std::string body = count ? "" : "\nTCP port " + std::to_string(status.port);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string candidate = body + "\n" + endpoint(status.addresses[i], status.port);
        const std::size_t left = count - i - 1;
        if (head.size() + candidate.size() + (left ? more(left).size() : 0) + tail.size() > limit) {
            body += (i == 0 ? "\nTCP port " + std::to_string(status.port) : "") + more(count - i);
            break;
        }
        body = candidate;
    }
    std::string tip = head + body + tail;
    if (tip.size() > limit)
        tip.resize(limit);
    return tip;
}

Balloon remoteConnectedBalloon(const std::string& address)
{
    return {"Remote connected", "The remote at " + address + " is connected to Corvello."};
}

Balloon remoteRefusedBalloon(const std::string& address, unsigned alsoRefused)
{
    const std::string others =
        alsoRefused == 0 ? "" : " (and " + std::to_string(alsoRefused) + " more since the last notice)";
    return {"Remote refused", "Corvello refused a connection from " + address + others +
                                  ": that address is outside the allowed ranges."};
}

}  // namespace corvello
