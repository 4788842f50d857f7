#pragma once
// The folders a livery scan walks, in priority order: either the AI traffic packages found in
// the simulator's Community folder (one per package kind, in the order AI_PACKAGE_SELECTOR
// names, then the user's own AI traffic package), or the folders lfolder0..lfolder9.

#include <filesystem>
#include <vector>

namespace tamrix {

using FolderList = std::vector<std::filesystem::path>;

// Appends the detected package folders. Throws std::runtime_error "AI_PACKAGE_SELECTOR not set"
// for a selector value outside its options, and the file-system error when the packages folder
// cannot be listed.
void lf_collectPackageFolders(const std::filesystem::path& packagesFolder, FolderList& folders);
// Appends the non-empty lfolder paths; UserErrorException 243 for one that does not exist.
void lf_checkLfolders(FolderList& folders);

// Each appends the first entry of the packages folder whose name holds one of its names (and not
// "_CVT_"), and logs it; nothing when there is none.
void lf_detectAigPackage(const std::filesystem::path& packagesFolder, FolderList& folders);
void lf_detectFsltlPackage(const std::filesystem::path& packagesFolder, FolderList& folders);
void lf_detectIvaoMtlPackage(const std::filesystem::path& packagesFolder, FolderList& folders);
void lf_detectJfPackage(const std::filesystem::path& packagesFolder, FolderList& folders);
void lf_detectUserAiTrafficPackage(const std::filesystem::path& packagesFolder, FolderList& folders);

} // namespace tamrix
