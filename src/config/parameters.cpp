#include "config/parameters.hpp"

#include <algorithm>

namespace tamrix {

Parameter::Parameter(std::string key) : name(std::move(key)) {}
Parameter::~Parameter() = default;

BoolParameter::BoolParameter(std::string key, bool value)
    : Parameter(std::move(key)), defaultValue(value), minValue(value), maxValue(value), current(value) {}
BoolParameter::~BoolParameter() = default;

IntParameter::IntParameter(std::string key, int32_t defaultNumber, int32_t minNumber, int32_t maxNumber)
    : Parameter(std::move(key)), defaultValue(defaultNumber), minValue(minNumber), maxValue(maxNumber),
      current(defaultNumber) {}
IntParameter::~IntParameter() = default;

int32_t IntParameter::clamp(int64_t value) const {
    return static_cast<int32_t>(std::clamp<int64_t>(value, minValue, maxValue));
}

FloatParameter::FloatParameter(std::string key, float defaultNumber, float minNumber, float maxNumber)
    : Parameter(std::move(key)), defaultValue(defaultNumber), minValue(minNumber), maxValue(maxNumber),
      current(defaultNumber) {}
FloatParameter::~FloatParameter() = default;

StringParameter::StringParameter(std::string key, const std::string& defaultText)
    : Parameter(std::move(key)), defaultValue(defaultText), minValue(defaultText), maxValue(defaultText),
      current(defaultText) {}
StringParameter::~StringParameter() = default;

bool StringParameter::accepts(std::string_view /*text*/) const {
    return true;
}

PortParameter::~PortParameter() = default;

bool PortParameter::accepts(std::string_view text) const {
    if (text.empty()) return false;
    uint32_t port = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        port = port * 10 + static_cast<uint32_t>(c - '0');
        if (port > 65535) return false;
    }
    return port >= 1;
}

ParameterControl::ParameterControl(uint16_t id, uint32_t y) : controlId(id), row(y) {}
ParameterControl::~ParameterControl() = default;

CheckBoxParameter::CheckBoxParameter(std::string key, bool value, uint16_t id, uint32_t y)
    : BoolParameter(std::move(key), value), ParameterControl(id, y) {}
CheckBoxParameter::~CheckBoxParameter() = default;

namespace {

template <typename T> T firstOr(const std::vector<T>& values, T fallback) {
    return values.empty() ? fallback : values.front();
}

template <typename T> T lastOr(const std::vector<T>& values, T fallback) {
    return values.empty() ? fallback : values.back();
}

} // namespace

IntChoiceParameter::IntChoiceParameter(std::string key, int32_t defaultNumber,
                                       const std::vector<int32_t>& allowedValues, uint16_t id, uint32_t y)
    : IntParameter(std::move(key), defaultNumber, firstOr(allowedValues, defaultNumber),
                   lastOr(allowedValues, defaultNumber)),
      ParameterControl(id, y), allowed(allowedValues) {}
IntChoiceParameter::~IntChoiceParameter() = default;

std::optional<std::size_t> IntChoiceParameter::indexOfCurrent() const {
    const auto it = std::find(allowed.begin(), allowed.end(), current.load());
    if (it == allowed.end()) return std::nullopt;
    return static_cast<std::size_t>(it - allowed.begin());
}

FloatChoiceParameter::FloatChoiceParameter(std::string key, float defaultNumber,
                                           const std::vector<float>& allowedValues, uint16_t id, uint32_t y)
    : FloatParameter(std::move(key), defaultNumber, firstOr(allowedValues, defaultNumber),
                     lastOr(allowedValues, defaultNumber)),
      ParameterControl(id, y), allowed(allowedValues) {}
FloatChoiceParameter::~FloatChoiceParameter() = default;

StringControlParameter::StringControlParameter(std::string key, const std::string& defaultText, uint16_t id,
                                               uint32_t y)
    : StringParameter(std::move(key), defaultText), ParameterControl(id, y) {}
StringControlParameter::~StringControlParameter() = default;

ChoiceParameter::ChoiceParameter(std::string key, const std::string& defaultText,
                                 const std::vector<std::string>& optionTexts, uint16_t id, uint32_t y)
    : StringControlParameter(std::move(key), defaultText, id, y), options(optionTexts) {}
ChoiceParameter::~ChoiceParameter() = default;

std::optional<std::size_t> ChoiceParameter::indexOfValue() const {
    const std::string value = current.get();
    const auto it = std::find(options.begin(), options.end(), value);
    if (it == options.end()) return std::nullopt;
    return static_cast<std::size_t>(it - options.begin());
}

SharedChoiceParameter::SharedChoiceParameter(std::string key, const std::string& defaultText,
                                             std::shared_ptr<std::vector<std::string>> optionList,
                                             uint16_t id, uint32_t y)
    : StringControlParameter(std::move(key), defaultText, id, y), options(std::move(optionList)) {}
SharedChoiceParameter::~SharedChoiceParameter() = default;

std::vector<std::string> SharedChoiceParameter::optionList() const {
    std::lock_guard guard(optionsLock_);
    return *options;
}

void SharedChoiceParameter::setOptionList(std::vector<std::string> list) {
    std::lock_guard guard(optionsLock_);
    *options = std::move(list);
}

ButtonParameter::ButtonParameter(std::string caption, uint16_t id, uint32_t y)
    : Parameter(std::move(caption)), ParameterControl(id, y) {}
ButtonParameter::~ButtonParameter() = default;

} // namespace tamrix
