#pragma once
// Who may open the server's named things on Windows (its mutex, its pipes,
// its registry key): the user who runs it, at any integrity level, and
// nobody else. An elevated Corvello and a DAW that is not (or the reverse)
// are one user at two levels and must meet; another user must not get in.

#include <string>

namespace corvello {

// The descriptor for the user with SID `userSid` (as "S-1-5-..."), in SDDL:
// owned by that user; a protected DACL that grants that user all access and
// nobody else any; a low mandatory label with no-write-up, so that even a
// low-integrity process of that user is not turned away by its level.
std::string virtMidiSecurityDescriptorSddl(const std::string& userSid);

}  // namespace corvello
