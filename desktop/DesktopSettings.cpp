#include "desktop/DesktopSettings.h"

namespace corvello {

DesktopSettings& desktopSettings()
{
    static DesktopSettings settings;
    return settings;
}

}  // namespace corvello
