#include "platform/ProductVersion.h"

#include <windows.h>

#include <vector>

namespace corvello {

namespace {
// A larger block is not ours: the program's own resource is small.
constexpr DWORD kMaxVersionBlock = 2048;
}  // namespace

std::optional<ProductVersion> readProductVersion()
{
    char path[MAX_PATH];
    const DWORD pathLength = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (pathLength == 0 || pathLength >= MAX_PATH)
        return std::nullopt;

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0 || size >= kMaxVersionBlock)
        return std::nullopt;

    std::vector<char> block(size);
    if (!GetFileVersionInfoA(path, 0, size, block.data()))
        return std::nullopt;

    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoLength = 0;
    if (!VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &infoLength) || info == nullptr
        || infoLength < sizeof(VS_FIXEDFILEINFO))
        return std::nullopt;

    return ProductVersion{HIWORD(info->dwProductVersionMS), LOWORD(info->dwProductVersionMS),
                          HIWORD(info->dwProductVersionLS), LOWORD(info->dwProductVersionLS)};
}

}  // namespace corvello
