#include "tests/driver/DriverHarness.h"

namespace corvello::test {

// The mutex and the port-list key are per session: tests run one at a time,
// and each ends with no server, so the next finds the same state.
void isolateSharedThings() {}

}  // namespace corvello::test
