#include "logicosc/OscPacketCheck.h"

#include <cstdint>
#include <cstring>

namespace corvello {

namespace {

constexpr std::size_t kBundleHeaderSize = 16;  // "#bundle\0" and the time tag
constexpr char kBundleTag[8] = {'#', 'b', 'u', 'n', 'd', 'l', 'e', '\0'};

constexpr std::size_t roundUp4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

std::int32_t bigEndianInt32(const char* p)
{
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return static_cast<std::int32_t>(std::uint32_t{u[0]} << 24 | std::uint32_t{u[1]} << 16 |
                                     std::uint32_t{u[2]} << 8 | std::uint32_t{u[3]});
}

class Walker {
public:
    Walker(std::span<const char> datagram, const CheckedOscMessageVisitor& visit)
        : base_(datagram.data()), visit_(visit)
    {
    }

    std::optional<OscPacketFault> element(std::span<const char> bytes, int depth)
    {
        if (bytes.empty())
            return fault(bytes, "empty element");
        if (bytes.size() % 4 != 0)
            return fault(bytes, "size not a multiple of 4");
        return bytes[0] == '#' ? bundle(bytes, depth + 1) : message(bytes);
    }

private:
    std::optional<OscPacketFault> bundle(std::span<const char> bytes, int depth)
    {
        if (depth > kMaxOscBundleDepth)
            return fault(bytes, "bundles nested too deep");
        if (bytes.size() < kBundleHeaderSize || std::memcmp(bytes.data(), kBundleTag, sizeof kBundleTag) != 0)
            return fault(bytes, "not a bundle header");
        for (std::size_t at = kBundleHeaderSize; at < bytes.size();) {
            const std::span<const char> rest = bytes.subspan(at);
            if (rest.size() < 4)
                return fault(rest, "bundle element size past the end");
            const std::int32_t size = bigEndianInt32(rest.data());
            if (size <= 0)
                return fault(rest, "bundle element size not positive");
            if (size % 4 != 0)
                return fault(rest, "bundle element size not a multiple of 4");
            if (static_cast<std::size_t>(size) > rest.size() - 4)
                return fault(rest, "bundle element past the end");
            if (auto f = element(rest.subspan(4, static_cast<std::size_t>(size)), depth))
                return f;
            at += 4 + static_cast<std::size_t>(size);
        }
        return std::nullopt;
    }

    std::optional<OscPacketFault> message(std::span<const char> bytes)
    {
        const std::size_t addressSize = paddedString(bytes, 0);
        if (addressSize == 0)
            return fault(bytes, "address pattern not terminated and padded");
        const std::string_view address(bytes.data());
        std::size_t at = addressSize;
        if (at == bytes.size()) {
            visitMessage(address, {});
            return std::nullopt;
        }
        if (bytes[at] != ',')
            return fault(bytes.subspan(at), "type tags missing");
        const std::size_t tagsSize = paddedString(bytes, at);
        if (tagsSize == 0)
            return fault(bytes.subspan(at), "type tags not terminated and padded");
        const std::string_view tags(bytes.data() + at + 1);
        at += tagsSize;
        if (auto f = arguments(bytes, tags, at))
            return f;
        visitMessage(address, tags);
        return std::nullopt;
    }

    std::optional<OscPacketFault> arguments(std::span<const char> bytes, std::string_view tags, std::size_t at)
    {
        int arrayDepth = 0;
        for (const char tag : tags) {
            const std::span<const char> rest = bytes.subspan(at);
            std::size_t size = 0;
            switch (tag) {
            case 'T': case 'F': case 'N': case 'I': break;
            case '[': ++arrayDepth; break;
            case ']':
                if (arrayDepth-- == 0)
                    return fault(rest, "array end without a beginning");
                break;
            case 'i': case 'f': case 'c': case 'r': case 'm': size = 4; break;
            case 'h': case 't': case 'd': size = 8; break;
            case 's': case 'S':
                size = paddedString(bytes, at);
                if (size == 0)
                    return fault(rest, "string argument not terminated and padded");
                break;
            case 'b':
                if (rest.size() < 4)
                    return fault(rest, "blob size past the end");
                size = 4 + roundUp4(static_cast<std::uint32_t>(bigEndianInt32(rest.data())));
                break;
            default: return fault(rest, "unknown type tag");
            }
            if (size > rest.size())
                return fault(rest, "argument past the end");
            at += size;
        }
        if (arrayDepth != 0)
            return fault(bytes, "array not ended");
        return std::nullopt;
    }

    // The size of the OSC string at `at` with its padding; 0 when it is not
    // terminated within `bytes` or its padding holds anything but zeros.
    static std::size_t paddedString(std::span<const char> bytes, std::size_t at)
    {
        const void* zero = std::memchr(bytes.data() + at, '\0', bytes.size() - at);
        if (!zero)
            return 0;
        const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(zero) - bytes.data()) + 1;
        const std::size_t padded = roundUp4(end);
        if (padded > bytes.size())
            return 0;
        for (std::size_t i = end; i < padded; ++i)
            if (bytes[i] != '\0')
                return 0;
        return padded - at;
    }

    void visitMessage(std::string_view address, std::string_view tags) const
    {
        if (visit_)
            visit_({address, tags});
    }

    OscPacketFault fault(std::span<const char> where, const char* what) const
    {
        return {what, static_cast<std::size_t>(where.data() - base_)};
    }

    const char* base_;
    const CheckedOscMessageVisitor& visit_;
};

}  // namespace

std::optional<OscPacketFault> findOscPacketFault(std::span<const char> datagram, const CheckedOscMessageVisitor& visit)
{
    return Walker(datagram, visit).element(datagram, 0);
}

}  // namespace corvello
