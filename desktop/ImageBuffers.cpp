#include "desktop/ImageBuffers.h"

namespace corvello {

ImageBuffersLease leaseImageBuffers()
{
    static std::mutex guard;
    std::unique_lock lock(guard);
    static ImageBuffers buffers;  // allocated on the first picture, kept for the run
    return ImageBuffersLease(std::move(lock), buffers);
}

}  // namespace corvello
