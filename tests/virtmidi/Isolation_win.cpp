#include "tests/virtmidi/ServerFixture.h"

namespace corvello::test {

// The mutex, key and pipe names are fixed for the whole session.
void isolateSharedThings() {}

}  // namespace corvello::test
