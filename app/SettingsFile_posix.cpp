#include "app/SettingsFile.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace corvello {

namespace {

std::filesystem::path homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* entry = getpwuid(getuid()))
        return entry->pw_dir;
    return "/";
}

// Why someone other than this user (or root) could have written `path`;
// empty when no one could.
std::string writableByOthers(const std::filesystem::path& path, bool folder)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return {};
    const std::string what = folder ? "its folder " + path.string() : std::string("it");
    if (info.st_uid != getuid() && info.st_uid != 0)
        return what + " belongs to another user";
    // A sticky folder (such as /tmp) lets no one replace another's file.
    if ((info.st_mode & S_IWOTH) && !(folder && (info.st_mode & S_ISVTX)))
        return what + " is writable by every user";
    return {};
}

}  // namespace

std::filesystem::path settingsFilePath()
{
    // Only an absolute XDG_CONFIG_HOME counts; unset, empty or relative means ~/.config.
    std::filesystem::path base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        base = config;
    else
        base = homeFolder() / ".config";
    return base / "corvello" / "corvello.conf";
}

FileTrust trustOf(const std::filesystem::path& file)
{
    for (const auto& [path, folder] : {std::pair{file, false}, std::pair{file.parent_path(), true}})
        if (std::string reason = writableByOthers(path, folder); !reason.empty())
            return {true, reason};
    struct stat info {};
    if (::stat(file.c_str(), &info) == 0 && (info.st_mode & S_IWGRP))
        return {false, "it is writable by its group; only you should be able to change it (chmod g-w)"};
    return {};
}

}  // namespace corvello
