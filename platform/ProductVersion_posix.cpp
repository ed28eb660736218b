#include "platform/ProductVersion.h"

namespace corvello {

std::optional<ProductVersion> readProductVersion()
{
    return ProductVersion{CORVELLO_VERSION_MAJOR, CORVELLO_VERSION_MINOR, CORVELLO_VERSION_BUILD, 0};
}

}  // namespace corvello
