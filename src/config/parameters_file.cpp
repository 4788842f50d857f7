#include "config/parameters_file.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <unistd.h>
#include <pugixml.hpp>

#include "config/control_binding.hpp"
#include "config/settings.hpp"
#include "config/settings_migration.hpp"
#include "config/xml_helpers.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/string_helpers.hpp"
#include "core/version_data.hpp"

namespace tamrix {
namespace {

// Serialises every read and write of "parameters.xml" in this process.
std::mutex& fileLock() {
    static std::mutex lock;
    return lock;
}

// Log lines gathered while the file lock is held and written once it is free again.
class PendingLog {
public:
    void plain(std::string text) { lines_.emplace_back(Kind::Plain, std::move(text)); }
    void unlessQuiet(std::string text) { lines_.emplace_back(Kind::UnlessQuiet, std::move(text)); }
    void highlighted(std::string text) { lines_.emplace_back(Kind::Highlighted, std::move(text)); }
    void append(PendingLog&& later) {
        for (auto& line : later.lines_) lines_.push_back(std::move(line));
    }

    void write() const {
        for (const auto& [kind, text] : lines_) {
            switch (kind) {
            case Kind::Plain:
                gf_log(text);
                break;
            case Kind::UnlessQuiet:
                gf_logUnlessQuiet(text);
                break;
            case Kind::Highlighted:
                gf_logHighlighted(text);
                break;
            }
        }
    }

private:
    enum class Kind { Plain, UnlessQuiet, Highlighted };
    std::vector<std::pair<Kind, std::string>> lines_;
};

const std::filesystem::path& filePath() {
    return gf_paths().parametersPath;
}
const std::string& fileText() {
    return gf_paths().parametersPathText;
}

std::string valueText(bool value) {
    return value ? "true" : "false";
}
std::string valueText(int32_t value) {
    return fmt::format("{}", value);
}
const std::string& valueText(const std::string& value) {
    return value;
}

bool currentOf(const BoolParameter& p) {
    return p.current.load();
}
int32_t currentOf(const IntParameter& p) {
    return p.current.load();
}
std::string currentOf(const StringParameter& p) {
    return p.current.get();
}
bool defaultOf(const BoolParameter& p) {
    return p.defaultValue;
}
int32_t defaultOf(const IntParameter& p) {
    return p.defaultValue;
}
std::string defaultOf(const StringParameter& p) {
    return p.defaultValue.get();
}

std::string memberLine(const std::string& key, bool value) {
    return fmt::format("{}={}", key, value);
}
std::string memberLine(const std::string& key, int32_t value) {
    return fmt::format("{}={}", key, value);
}
std::string memberLine(const std::string& key, const std::string& value) {
    return fmt::format("{}=\"{}\"", key, value);
}

std::string closingBanner() {
    return gf_starBanner(gParametersBannerFill, gParametersTitleLength, false, true, "");
}

// The unusable file met in this run that stays as it is (it could not be kept, or not replaced),
// as last reported: every later save meets it again, and the whole report once is enough. Each
// start (gf_readParameters) looks at the file anew. Used under the file lock.
std::string& reportedUnusableFile() {
    static std::string report;
    return report;
}

// One registry member into the new document: its default or current value is written, its
// current value is logged.
template <typename P>
void addMember(pugi::xml_node parameters, const P& p, bool writeDefaults, PendingLog& log) {
    const auto current = currentOf(p);
    const auto written = writeDefaults ? defaultOf(p) : current;
    if (!gf_appendStringParameterNode(parameters, p.name.c_str(), valueText(written)))
        log.unlessQuiet(
            fmt::format("{}adding xml parameter {} with {} failed!", "===> ", p.name, valueText(current)));
    log.unlessQuiet(memberLine(p.name, current));
}

// Calls the visitor with each registry in the file's order.
template <typename Visitor>
void forEachRegistry(Visitor&& visit) {
    visit(boolParameters);
    visit(checkBoxParameters);
    visit(intParameters);
    visit(intChoiceParameters);
    visit(stringParameters);
    visit(stringControlParameters);
}

// The keys already handled in one pass over the registries: a setting that stands in two of them
// (AIRP_HEIGHT) is written, read and logged once.
using HandledKeys = std::set<std::string>;

template <typename Registry>
void addRegistry(pugi::xml_node parameters, const Registry& registry, bool writeDefaults, PendingLog& log,
                 HandledKeys& handled) {
    for (const auto* p : registry)
        if (p != nullptr && handled.insert(p->name).second) addMember(parameters, *p, writeDefaults, log);
}

// Builds the whole file from the registries and writes it. The caller holds the file lock; true
// when the file was written.
bool writeWholeFile(bool writeDefaults, PendingLog& log) {
    pugi::xml_document document;
    pugi::xml_node root = document.append_child("root");
    if (writeDefaults) PROGRAM_VERSION.defaultValue.set(gProgramVersion.text());
    pugi::xml_node parameters = root ? root.append_child("parameters") : pugi::xml_node();
    bool saved = false;
    if (parameters) {
        HandledKeys handled;
        forEachRegistry([&](const auto& registry) { addRegistry(parameters, registry, writeDefaults, log, handled); });
        saved = gf_saveXml(document, filePath());
        if (!saved) log.highlighted(fmt::format("saving: {} failed", fileText()));
    }
    // The file now holds the settings: an unusable one met before is gone.
    if (saved) reportedUnusableFile().clear();
    log.plain(closingBanner());
    return saved;
}

// The check boxes, integer combo boxes and string controls of the registered settings show
// their current values.
void refreshControls() {
    for (const auto* p : checkBoxParameters)
        if (p != nullptr) gf_showCheckBox(*p);
    for (const auto* p : intChoiceParameters)
        if (p != nullptr) gf_setIntControlText(*p);
    for (const auto* p : stringControlParameters)
        if (p != nullptr) gf_setStringControlText(*p);
}

// What the settings file may hold: the program writes some 60 elements three levels deep, a few
// kilobytes. Elements of no setting are kept and written back; these bounds keep what is kept,
// and so every later save, small (the indented save of elements nested n deep grows with n
// squared).
constexpr std::size_t kMaxSettingsFileBytes = std::size_t{1} << 20;
constexpr std::size_t kMaxSettingsFileDepth = 16;

// Loads the settings file; the problem when it cannot be used (a folder, a pipe or a device in
// its place, a file beyond the bounds above, a document that does not parse).
std::optional<std::string> loadFile(pugi::xml_document& document) {
    return gf_loadXmlFile(document, filePath(), kMaxSettingsFileBytes, kMaxSettingsFileDepth);
}

bool fileIsMissing() {
    std::error_code ec;
    return !std::filesystem::exists(filePath(), ec) && !ec;
}

// The name an unusable file is kept under: "parameters-unusable-{n}.xml" with the first number
// not taken yet, so that a second unusable file never replaces the copy of the first.
constexpr int kMaxKeptUnusableFiles = 9999;

std::filesystem::path unusableCopyName(int n) {
    const std::filesystem::path& path = filePath();
    return path.parent_path() / fmt::format("{}-unusable-{}{}", path.stem().string(), n, path.extension().string());
}

// Whether the two regular files hold the same bytes (a kernel's file, which reports no size,
// included).
bool sameContent(const std::filesystem::path& a, const std::filesystem::path& b) {
    const RegularFile first = gf_openRegularFile(a, SIZE_MAX);
    const RegularFile second = gf_openRegularFile(b, SIZE_MAX);
    if (!first.opened() || !second.opened()) return false;
    std::vector<char> left(std::size_t{1} << 16);
    std::vector<char> right(left.size());
    // Reads up to `buffer`'s size, short only at the end of the file; -1 on an error.
    const auto fill = [](int fd, std::vector<char>& buffer) -> ssize_t {
        std::size_t got = 0;
        while (got < buffer.size()) {
            const ssize_t n = ::read(fd, buffer.data() + got, buffer.size() - got);
            if (n == 0) break;
            if (n < 0) {
                if (errno == EINTR) continue;
                return -1;
            }
            got += static_cast<std::size_t>(n);
        }
        return static_cast<ssize_t>(got);
    };
    for (;;) {
        const ssize_t n = fill(first.fd, left);
        if (n < 0 || fill(second.fd, right) != n) return false;
        if (!std::equal(left.begin(), left.begin() + n, right.begin())) return false;
        if (n == 0) return true;
    }
}

// Keeps the file under the first free unusable-copy name; the copy never overwrites a file. A
// file the newest copy holds already (met again after a restart, or by a later start because it
// could not be replaced) is not copied again: that copy is it.
std::optional<std::filesystem::path> keepUnusableFile(PendingLog& log) {
    int n = 1;
    std::error_code ec;
    while (n <= kMaxKeptUnusableFiles && std::filesystem::exists(std::filesystem::symlink_status(unusableCopyName(n), ec)))
        ++n;
    if (n > 1 && sameContent(filePath(), unusableCopyName(n - 1))) return unusableCopyName(n - 1);
    if (n > kMaxKeptUnusableFiles) {
        log.highlighted(fmt::format("! {} copies of unusable settings files are kept already, no more are made",
                                    kMaxKeptUnusableFiles));
        return std::nullopt;
    }
    const std::filesystem::path copy = unusableCopyName(n);
    const FileReplaceResult copied = gf_copyFile(filePath(), copy, {.replaceExisting = false});
    if (copied.written()) return copy;
    log.highlighted(fmt::format("copy {} -> {} failed: {}", fileText(), copied.nameOf(copy), copied.failure));
    return std::nullopt;
}

// A file that is there but cannot be used may be replaced only once a copy of it is kept (a
// folder is neither copied nor replaced). True when nothing stands in the way of replacing it;
// the file is then reported as unusable until a replacement is written. A file met before in
// this run that stayed as it was gets a short line and stays so. `key`: the setting being saved,
// if any.
bool mayReplaceUnusableFile(std::string_view problem, PendingLog& log, std::string_view key = {}) {
    if (fileIsMissing()) return true;
    const std::string report = fmt::format("{} is unusable ({})", fileText(), problem);
    if (reportedUnusableFile() == report) {
        if (!key.empty())
            log.plain(fmt::format("! {} not saved, {} is still unusable", key, fileText()));
        else
            log.plain(fmt::format("! {} is still unusable", fileText()));
        return false;
    }
    reportedUnusableFile() = report;
    std::error_code ec;
    std::optional<std::filesystem::path> copy;
    // Only a regular file is copied: a folder, a pipe or a device stays as it is, and so does the
    // file then, which is replaced only once a copy is kept.
    if (std::filesystem::is_regular_file(filePath(), ec)) copy = keepUnusableFile(log); // logs why the copy failed
    if (!copy) {
        log.highlighted(fmt::format("! {} and stays as it is", report));
        return false;
    }
    log.highlighted(fmt::format("! {}, kept as {}", report, copy->string()));
    return true;
}

void resetToDefaults() {
    for (auto* p : boolParameters)
        if (p != nullptr) p->current = p->defaultValue;
    for (auto* p : checkBoxParameters)
        if (p != nullptr) p->current = p->defaultValue;
    for (auto* p : intParameters)
        if (p != nullptr) p->current = p->defaultValue;
    for (auto* p : intChoiceParameters)
        if (p != nullptr) p->current = p->defaultValue;
    for (auto* p : stringParameters)
        if (p != nullptr) p->current.set(p->defaultValue.get());
    for (auto* p : stringControlParameters)
        if (p != nullptr) p->current.set(p->defaultValue.get());
}

// A stored text that is not what the program would write for the value it was taken as
// (unreadable, out of range, missing) is worth a line in the log.
void noteOddValue(const std::string& key, pugi::xml_attribute value, const std::string& taken,
                  PendingLog& log) {
    const std::string_view stored = value.value();
    if (stored == taken) return;
    if (!value)
        log.plain(fmt::format("! {} has no value in {}, taken as {}", key, fileText(), taken));
    else
        log.plain(fmt::format("! {} value '{}' in {} taken as {}", key, stored, fileText(), taken));
}

void readMember(BoolParameter& p, pugi::xml_node document, pugi::xml_node parameters, PendingLog& log) {
    if (const pugi::xml_node node = gf_findParameterNode(document, p.name)) {
        const pugi::xml_attribute value = node.attribute("value");
        p.current = value.as_bool(false);
        noteOddValue(p.name, value, valueText(p.current.load()), log);
    } else {
        p.current = p.defaultValue;
        gf_appendBoolParameterNode(parameters, p.name.c_str(), p.current.load());
    }
    log.unlessQuiet(memberLine(p.name, p.current.load()));
}

void readMember(IntParameter& p, pugi::xml_node document, pugi::xml_node parameters, PendingLog& log) {
    if (const pugi::xml_node node = gf_findParameterNode(document, p.name)) {
        const pugi::xml_attribute value = node.attribute("value");
        p.current = p.clamp(value.as_int(0));
        noteOddValue(p.name, value, valueText(p.current.load()), log);
    } else {
        p.current = p.defaultValue;
        gf_appendIntParameterNode(parameters, p.name.c_str(), p.current.load());
    }
    log.unlessQuiet(memberLine(p.name, p.current.load()));
}

void readMember(StringParameter& p, pugi::xml_node document, pugi::xml_node parameters, PendingLog& log) {
    if (const pugi::xml_node node = gf_findParameterNode(document, p.name)) {
        const pugi::xml_attribute value = node.attribute("value");
        if (p.accepts(value.value())) {
            p.current.set(value.value());
        } else {
            p.current.set(p.defaultValue.get());
            noteOddValue(p.name, value, p.current.get(), log);
        }
    } else {
        p.current.set(p.defaultValue.get());
        gf_appendStringParameterNode(parameters, p.name.c_str(), p.current.get());
    }
    log.unlessQuiet(memberLine(p.name, p.current.get()));
}

template <typename Registry>
void readRegistry(const Registry& registry, pugi::xml_node document, pugi::xml_node parameters,
                  PendingLog& log, HandledKeys& handled) {
    for (auto* p : registry)
        if (p != nullptr && handled.insert(p->name).second) readMember(*p, document, parameters, log);
}

// A key of no setting (a typo, a setting of another program) is kept in the file but changes
// nothing: worth a line, once per key. parking_percentage is one: saved, never read back.
void noteUnknownKeys(pugi::xml_node parameters, const HandledKeys& handled, PendingLog& log) {
    HandledKeys noted;
    for (pugi::xml_node p : parameters.children("parameter")) {
        const std::string name = p.attribute("name").value();
        if (handled.contains(name) || name == parking_percentage.name || !noted.insert(name).second) continue;
        log.plain(fmt::format("! {} in {} is no setting of {}: not used, kept in the file", name, fileText(),
                              kProgramName));
    }
}

struct SaveOutcome {
    bool saved = false;     // the file holds the value now
    bool rewritten = false; // the whole file was written anew: its controls need refreshing
};

// Writes one setting's value into the file. The caller holds the file lock.
SaveOutcome saveOneLocked(const std::string& key, const std::string& value, const std::string& line,
                          PendingLog& log) {
    pugi::xml_document document;
    const std::optional<std::string> problem = loadFile(document);
    if (problem) {
        log.unlessQuiet(line);
        // Never replace the settings by a file of this one setting: every other setting would
        // be back at its default at the next start. The whole file is written from the current
        // values, once an unreadable file is kept.
        if (!mayReplaceUnusableFile(*problem, log, key)) return {};
        return {writeWholeFile(false, log), true};
    }
    const pugi::xml_node root = document.child("root");
    pugi::xml_node container = root ? root : static_cast<pugi::xml_node>(document);
    pugi::xml_node parameters = container.child("parameters");
    if (!parameters) parameters = container.append_child("parameters");
    bool matched = false;
    bool changed = false;
    for (pugi::xml_node p : parameters.children("parameter")) {
        if (key != std::string_view(p.attribute("name").value())) continue;
        changed = changed || !p.attribute("value") || value != p.attribute("value").value();
        gf_setAttribute(p, "value", value);
        matched = true;
    }
    if (!matched) gf_appendStringParameterNode(parameters, key.c_str(), value);
    log.unlessQuiet(line);
    // The user keeps the file as it is: what it holds already is saved, nothing else is.
    if (gf_isReadOnlyFile(filePath())) {
        if (matched && !changed && root) return {true, false};
        log.plain(fmt::format("! {} not saved, {} is read-only", key, fileText()));
        return {};
    }
    if (root) {
        const bool saved = gf_saveXml(document, filePath());
        if (!saved) log.highlighted(fmt::format("saving: {} failed", fileText()));
        return {saved, false};
    }
    // The old shape without "root": the whole file is written anew from the current values.
    log.plain("\nPlacing a root level around a new parameters.xml to make it 100% xml compliance\n");
    return {writeWholeFile(false, log), true};
}

template <typename Value> bool saveOne(const std::string& key, const Value& value) {
    PendingLog log;
    SaveOutcome outcome;
    {
        std::lock_guard lock(fileLock());
        outcome = saveOneLocked(key, valueText(value), memberLine(key, value), log);
    }
    log.write();
    if (outcome.rewritten) refreshControls();
    return outcome.saved;
}

} // namespace

void gf_saveParameters(bool writeDefaults) {
    PendingLog log;
    {
        std::lock_guard lock(fileLock());
        writeWholeFile(writeDefaults, log);
    }
    log.write();
    refreshControls();
}

bool gf_readParameters() {
    gf_log(gf_starBanner(gParametersBannerFill, 0, true, false, "parameters"));
    PendingLog log;
    bool created = false;
    {
        std::lock_guard lock(fileLock());
        pugi::xml_document document;
        const std::optional<std::string> problem = loadFile(document);
        pugi::xml_node parameters;
        if (!problem) {
            log.plain(fmt::format("from '{}'", fileText()));
            parameters = gf_parametersNode(document);
        }
        if (!parameters) {
            const bool missing = fileIsMissing();
            // A start looks at the file anew, also one met before in this process.
            reportedUnusableFile().clear();
            const bool replace = mayReplaceUnusableFile(problem ? *problem : "no parameters element", log);
            resetToDefaults();
            // The line that tells what became of the file comes before the settings written.
            PendingLog written;
            const bool replaced = replace && writeWholeFile(true, written);
            if (missing && replaced)
                log.plain(fmt::format("{} not found, creating new with default values:", fileText()));
            else if (missing)
                log.plain(fmt::format("{} not found and could not be created, the default values are taken:",
                                      fileText()));
            else if (replaced)
                log.plain(fmt::format("{} replaced by a new one with default values:", fileText()));
            else if (replace)
                log.plain(fmt::format("{} could not be replaced, the default values are taken:", fileText()));
            else
                log.plain(fmt::format("{} cannot be used, the default values are taken:", fileText()));
            log.append(std::move(written));
            created = true;
        } else {
            HandledKeys handled;
            forEachRegistry([&](const auto& registry) { readRegistry(registry, document, parameters, log, handled); });
            noteUnknownKeys(parameters, handled, log);
            // Adds the missing keys, unless the user keeps the file as it is.
            if (gf_isReadOnlyFile(filePath()))
                log.highlighted(fmt::format(
                    "! {} is read-only: its settings are taken as they are, and no change is saved in it", fileText()));
            else if (!gf_saveXml(document, filePath()))
                log.highlighted(fmt::format("saving: {} failed", fileText()));
            log.plain(closingBanner());
        }
    }
    log.write();
    refreshControls();
    // The working radius follows the loaded RANGE, not the default it was built from.
    gf_setRange(RANGE.current.load());
    return created;
}

bool gf_loadParametersDocument(pugi::xml_document& document, std::string& problem) {
    std::lock_guard lock(fileLock());
    const std::optional<std::string> failure = loadFile(document);
    if (failure) problem = *failure;
    return !failure;
}

bool gf_saveBoolParameter(const BoolParameter& parameter) {
    return saveOne(parameter.name, parameter.current.load());
}

bool gf_saveIntParameter(const IntParameter& parameter) {
    return saveOne(parameter.name, parameter.current.load());
}

bool gf_saveStringParameter(const StringParameter& parameter) {
    return saveOne(parameter.name, parameter.current.get());
}

bool gf_setStringParameter(StringParameter& parameter, std::string text) {
    parameter.current.set(std::move(text));
    return gf_saveStringParameter(parameter);
}

void gf_logParameterChange(const StringParameter& parameter) {
    gf_logUnlessQuiet(memberLine(parameter.name, parameter.current.get()));
}

} // namespace tamrix
