#pragma once
// The system's own folders: /proc, /sys and /dev with everything below them, where the kernel
// shows processes, devices and its settings as files. They hold nothing of the simulator's, and
// /proc leads back to every folder of the machine (each process's root and working folder), so
// a walk of the user's folders never descends into them, whatever link leads there.

#include <filesystem>

namespace tamrix {

// True when the path, taken as it stands (no links resolved), is /proc, /sys or /dev or lies
// below one of them.
bool gf_isSystemFolder(const std::filesystem::path& realPath);

// The path with every link resolved, when it can be (else the path as it is): what
// gf_isSystemFolder asks about a folder that is reached through a link.
std::filesystem::path gf_realPath(const std::filesystem::path& path);

} // namespace tamrix
