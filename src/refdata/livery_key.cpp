#include "refdata/livery_key.hpp"

#include <fmt/format.h>

#include "refdata/code_table.hpp"

namespace tamrix {
namespace {
const std::string kNoCode;
} // namespace

std::string gf_liveryKey2Text(const LiveryKey& key) {
    // A second operator whose index lies outside the table shows as none at all.
    const std::string& secondCode =
        key.secondOperatorIndex != 0 ? gOperatorCodes.text(key.secondOperatorIndex) : kNoCode;
    const std::string second = secondCode.empty() ? std::string() : fmt::format(",{}", secondCode);
    return fmt::format("{:3}{:4} {:4}{}{:3}", gOperatorCodes.text(key.operatorIndex), second,
                       gModelCodes.text(key.modelIndex), key.fromRegistration != 0 ? '.' : ' ',
                       key.cargo != 0 ? "(C)" : "");
}

} // namespace tamrix
