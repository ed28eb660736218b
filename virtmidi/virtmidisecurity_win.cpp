#include "virtmidi/virtmidisecurity_win.h"

#include <sddl.h>

#include <memory>
#include <vector>

#include "platform/Log.h"
#include "virtmidi/virtmidisecurity.h"

namespace corvello {

std::string virtMidiCurrentUserSid()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    std::string sid;
    char* text = nullptr;
    if (size != 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
        ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
        sid = text;
        LocalFree(text);
    }
    CloseHandle(token);
    return sid;
}

namespace {

SECURITY_ATTRIBUTES* buildAttributes()
{
    const std::string sid = virtMidiCurrentUserSid();
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (sid.empty() ||
        !ConvertStringSecurityDescriptorToSecurityDescriptorA(
            virtMidiSecurityDescriptorSddl(sid).c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        log::error("Virtual MIDI: cannot build the security for this user (error %lu); "
                   "the server's pipes get the default security",
                   GetLastError());
        return nullptr;
    }
    // Lives as long as the process, as the objects made with it may.
    return new SECURITY_ATTRIBUTES{sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
}

}  // namespace

SECURITY_ATTRIBUTES* virtMidiSecurityAttributes()
{
    static SECURITY_ATTRIBUTES* const attributes = buildAttributes();
    return attributes;
}

}  // namespace corvello
