#pragma once
// The family of setting objects. Every setting is one process-wide object holding four values
// of one type (default, minimum, maximum, current) and its key in "parameters.xml"; settings
// the main window shows also describe their child control (id, row, handle). The window's push
// buttons are objects of the same family so that the window builds all its controls alike.
//
// The objects are built during static initialisation and never copied or moved. Values are
// read from every thread and written by the UI and start-up threads: bool, integer and float
// values are atomic, string values sit behind a lock and are handed out as copies.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/guarded.hpp"
#include "platform/win32/window.hpp"

namespace tamrix {

// A text that several threads read and write: every access takes its lock, reads hand out a copy.
using GuardedText = Guarded<std::string>;

class Parameter {
public:
    explicit Parameter(std::string key);
    virtual ~Parameter();
    Parameter(const Parameter&) = delete;
    Parameter& operator=(const Parameter&) = delete;

    const std::string name; // the key in "parameters.xml"; a push button's caption
};

class BoolParameter : public Parameter {
public:
    BoolParameter(std::string key, bool value);
    ~BoolParameter() override;

    const bool defaultValue;
    const bool minValue;
    const bool maxValue;
    std::atomic<bool> current;
};

class IntParameter : public Parameter {
public:
    IntParameter(std::string key, int32_t defaultNumber, int32_t minNumber, int32_t maxNumber);
    ~IntParameter() override;

    // The value bounded by minValue and maxValue.
    int32_t clamp(int64_t value) const;

    const int32_t defaultValue;
    const int32_t minValue;
    const int32_t maxValue;
    std::atomic<int32_t> current;
};

class FloatParameter : public Parameter {
public:
    FloatParameter(std::string key, float defaultNumber, float minNumber, float maxNumber);
    ~FloatParameter() override;

    const float defaultValue;
    const float minValue;
    const float maxValue;
    std::atomic<float> current;
};

class StringParameter : public Parameter {
public:
    StringParameter(std::string key, const std::string& defaultText);
    ~StringParameter() override;

    // Changed once at run time: a file written with defaults records the program version as
    // PROGRAM_VERSION's default.
    GuardedText defaultValue;
    const std::string minValue;
    const std::string maxValue;
    GuardedText current;

    // Whether a text read from a file may become the value; one refused is replaced by the
    // default when the file is loaded. Every text is taken unless the setting says otherwise.
    virtual bool accepts(std::string_view text) const;
};

// A string setting that names a TCP or UDP port: only a whole number 1 to 65535, written in
// decimal digits alone, is taken (the address resolver would take a larger one modulo 65536).
class PortParameter : public StringParameter {
public:
    using StringParameter::StringParameter;
    ~PortParameter() override;

    bool accepts(std::string_view text) const override;
};

// The child control of the main window that shows a setting (or is a push button).
class ParameterControl {
public:
    ParameterControl(uint16_t id, uint32_t y);
    virtual ~ParameterControl();
    ParameterControl(const ParameterControl&) = delete;
    ParameterControl& operator=(const ParameterControl&) = delete;

    const uint16_t controlId; // the child-window id
    const uint32_t row;       // y of the control in the main window, in pixels
    // Set once by the window code when it creates the control, before other threads run.
    HWND window = nullptr;
    // The procedure an edit field had before the window code subclassed it; 0 otherwise.
    LONG_PTR previousWndProc = 0;
};

class CheckBoxParameter : public BoolParameter, public ParameterControl {
public:
    CheckBoxParameter(std::string key, bool value, uint16_t id, uint32_t y);
    ~CheckBoxParameter() override;
};

class IntChoiceParameter : public IntParameter, public ParameterControl {
public:
    // Minimum and maximum are the first and last allowed value.
    IntChoiceParameter(std::string key, int32_t defaultNumber, const std::vector<int32_t>& allowedValues,
                       uint16_t id, uint32_t y);
    ~IntChoiceParameter() override;

    // Fills the combo box with the allowed values and selects the current one (none when the
    // current value is not allowed).
    void fillComboBox() const;
    // The index of the current value in `allowed`.
    std::optional<std::size_t> indexOfCurrent() const;

    const std::vector<int32_t> allowed; // ascending, in the combo box's order
};

class FloatChoiceParameter : public FloatParameter, public ParameterControl {
public:
    FloatChoiceParameter(std::string key, float defaultNumber, const std::vector<float>& allowedValues,
                         uint16_t id, uint32_t y);
    ~FloatChoiceParameter() override;

    const std::vector<float> allowed; // ascending
};

// A string shown in an edit field.
class StringControlParameter : public StringParameter, public ParameterControl {
public:
    StringControlParameter(std::string key, const std::string& defaultText, uint16_t id, uint32_t y);
    ~StringControlParameter() override;
};

class ChoiceParameter : public StringControlParameter {
public:
    ChoiceParameter(std::string key, const std::string& defaultText,
                    const std::vector<std::string>& optionTexts, uint16_t id, uint32_t y);
    ~ChoiceParameter() override;

    // Fills the combo box with the options and selects the first that begins with the current
    // text, regardless of case. An option that is no valid UTF-8 is left out (and logged).
    void fillComboBox() const;
    // The first option equal to the current text, byte for byte.
    std::optional<std::size_t> indexOfValue() const;

    const std::vector<std::string> options; // in display order
};

// A choice whose option list other code refills at run time; the list is shared with it.
class SharedChoiceParameter : public StringControlParameter {
public:
    SharedChoiceParameter(std::string key, const std::string& defaultText,
                          std::shared_ptr<std::vector<std::string>> optionList, uint16_t id, uint32_t y);
    ~SharedChoiceParameter() override;

    // The list is refilled on the start-up thread and reset on the window thread: every access
    // goes through these two, under the list's own lock.
    std::vector<std::string> optionList() const;
    void setOptionList(std::vector<std::string> list);

    const std::shared_ptr<std::vector<std::string>> options;

private:
    mutable std::mutex optionsLock_;
};

class ButtonParameter : public Parameter, public ParameterControl {
public:
    ButtonParameter(std::string caption, uint16_t id, uint32_t y);
    ~ButtonParameter() override;
};

} // namespace tamrix
