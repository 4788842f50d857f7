#pragma once
// Runs a part of a test under the Turkish locale, in the C library and as the global C++ locale,
// as a user's locale set by the window toolkit would be: its case rules differ from English ones
// (no single-byte upper case of 'i', no lower case of 'I'). scripts/install-deps generates it;
// without it the test fails.

#include <clocale>
#include <locale>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

namespace testsupport {

class TurkishLocale {
public:
    static constexpr const char* kName = "tr_TR.UTF-8";

    TurkishLocale() : previousC_(std::setlocale(LC_ALL, nullptr)) {
        if (std::setlocale(LC_ALL, kName) == nullptr) {
            ADD_FAILURE() << "the locale " << kName << " is missing: scripts/install-deps generates it";
            return;
        }
        try {
            std::locale::global(std::locale(kName));
            active_ = true;
        } catch (const std::runtime_error& e) {
            ADD_FAILURE() << "the C++ locale " << kName << ": " << e.what();
        }
    }
    ~TurkishLocale() {
        std::locale::global(previousCpp_);
        std::setlocale(LC_ALL, previousC_.c_str());
    }
    TurkishLocale(const TurkishLocale&) = delete;
    TurkishLocale& operator=(const TurkishLocale&) = delete;

    bool active() const { return active_; }

private:
    std::string previousC_;
    std::locale previousCpp_;
    bool active_ = false;
};

} // namespace testsupport
