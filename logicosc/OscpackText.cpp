#include "logicosc/OscpackText.h"

namespace corvello {

std::string endpointText(const IpEndpointName& endpoint)
{
    char text[IpEndpointName::ADDRESS_AND_PORT_STRING_LENGTH];
    endpoint.AddressAndPortAsString(text);
    return text;
}

std::string addressText(const IpEndpointName& endpoint)
{
    char text[IpEndpointName::ADDRESS_STRING_LENGTH];
    endpoint.AddressAsString(text);
    return text;
}

std::string errorText(const std::exception& e)
{
    std::string text(e.what());
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

}  // namespace corvello
