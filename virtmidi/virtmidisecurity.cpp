#include "virtmidi/virtmidisecurity.h"

namespace corvello {

std::string virtMidiSecurityDescriptorSddl(const std::string& userSid)
{
    return "O:" + userSid + "D:P(A;;GA;;;" + userSid + ")S:(ML;;NW;;;LW)";
}

}  // namespace corvello
