#pragma once
// The program's exception for conditions the user has to act on (a missing folder, a simulator
// that does not match the choice, an unreadable data file). Its handlers show or log what().

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include <fmt/format.h>

namespace tamrix {

class UserErrorException : public std::exception {
public:
    // The message is "{code}: {text}", or the text alone for code 99. The code is not kept.
    UserErrorException(uint32_t code, std::string_view text)
        : m_message(code == 99 ? std::string(text) : fmt::format("{}: {}", code, text)) {}

    const char* what() const noexcept override { return m_message.c_str(); }

private:
    std::string m_message;
};

} // namespace tamrix
