#pragma once
// No test reads or writes the folders of the user who runs it. Every folder of the user that the
// program derives from the environment - the roaming and the local application data (its own
// variables, else the XDG folders, else below HOME) and the program files - lies in one temporary
// folder of the test process: made fresh at the process start (a process id used before finds
// nothing of the earlier process), removed when the process ends. Each test program points there
// before its first test (user_folders.cpp); the reset before each test points there again.

#include <filesystem>

namespace testsupport {

// The temporary folder of this process. Inside: "roaming" (its "Quorvel" is the program data
// folder, made as a start of the program makes it), "local", "home" (HOME, with XDG_CONFIG_HOME
// and XDG_DATA_HOME below it) and the program-files folders.
const std::filesystem::path& processUserFolder();

// Empties the folder of this process, points the environment into it (and the shell's opener at
// a stand-in that opens nothing) and builds the program's
// path table anew.
void pointUserFoldersAtProcessFolder();

} // namespace testsupport
