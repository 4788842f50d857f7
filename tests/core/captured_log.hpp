#pragma once
// Runs a test inside a fresh temporary folder with "Log.txt" open there, and reads back the lines
// written after the header.

#include <sstream>
#include <string>
#include <vector>

#include "core/log.hpp"
#include "support/temp_folder.hpp"

namespace testsupport {

class CapturedLog {
public:
    CapturedLog() { tamrix::gf_openLog(); }
    ~CapturedLog() { tamrix::gf_closeLog(); }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    std::vector<std::string> lines() const {
        tamrix::gf_flushLog();
        std::vector<std::string> out;
        std::istringstream in(readFile(m_folder / "Log.txt"));
        std::string line;
        std::getline(in, line); // the header
        while (std::getline(in, line))
            out.push_back(line);
        return out;
    }

private:
    TempFolder m_folder{true};
};

} // namespace testsupport
