#include "driver/PortRecord.h"

#include "driver/Trace.h"

namespace corvello {

void PortSide::notify(UINT message, DWORD_PTR param1, DWORD_PTR param2) const
{
    const OpenDescriptor* descriptor = client.load(std::memory_order_acquire);
    if (descriptor == nullptr || descriptor->callback == 0)
        return;
    trace("DriverCallback(%x, %x, %x, %x, %x, %x, %x)\n", descriptor->callback,
          descriptor->callbackKind, descriptor->device, message, descriptor->instance, param1,
          param2);
    DriverCallback(descriptor->callback, descriptor->callbackKind, descriptor->device, message,
                   descriptor->instance, param1, param2);
}

}  // namespace corvello
