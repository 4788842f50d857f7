#include "config/parameters_file.hpp"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "config/settings.hpp"
#include "config/settings_fixture.hpp"
#include "config/xml_helpers.hpp"
#include "core/file_sync_recorder.hpp"
#include "support/named_pipe.hpp"

using namespace tamrix;
using settingstest::fileEntries;
using settingstest::fileValues;
using settingstest::SettingsFile;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

// The keys of a whole file, in registry order; a setting of two registries once, at its first.
std::vector<std::string> registryKeys() {
    std::vector<std::string> all;
    for (const auto* p : boolParameters)
        all.push_back(p->name);
    for (const auto* p : checkBoxParameters)
        all.push_back(p->name);
    for (const auto* p : intParameters)
        all.push_back(p->name);
    for (const auto* p : intChoiceParameters)
        all.push_back(p->name);
    for (const auto* p : stringParameters)
        all.push_back(p->name);
    for (const auto* p : stringControlParameters)
        all.push_back(p->name);
    std::vector<std::string> keys;
    for (const auto& key : all)
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
    return keys;
}

std::vector<std::string> keysOf(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::vector<std::string> keys;
    for (const auto& e : entries)
        keys.push_back(e.first);
    return keys;
}

std::size_t indexOf(const std::vector<std::string>& keys, const std::string& key) {
    return static_cast<std::size_t>(std::find(keys.begin(), keys.end(), key) - keys.begin());
}

// The n-th copy kept of an unusable settings file.
std::filesystem::path keptCopy(int n) {
    return gf_paths().parametersPath.parent_path() / fmt::format("parameters-unusable-{}.xml", n);
}

// The recorded events replaced `target` as a power cut cannot spoil: the new file flushed, its
// rename over the target, then the folder flushed.
void expectFlushedReplace(const std::filesystem::path& target) {
    const std::filesystem::path canonical = std::filesystem::canonical(target);
    const auto events = synctest::events();
    const auto rename = std::find_if(events.begin(), events.end(), [&](const synctest::Event& e) {
        return e.kind == "rename" && e.to == canonical.string();
    });
    ASSERT_NE(rename, events.end()) << target;
    EXPECT_TRUE(std::any_of(events.begin(), rename, [&](const synctest::Event& e) {
        return e.kind == "fsync" && e.path == rename->path;
    })) << "the new file is flushed before its rename";
    EXPECT_TRUE(std::any_of(rename, events.end(), [&](const synctest::Event& e) {
        return e.kind == "fsync" && e.path == canonical.parent_path().string();
    })) << "the folder is flushed after the rename";
    synctest::clearEvents();
}

bool anyTemporaryFile(const std::filesystem::path& folder) {
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".tmp") return true;
    return false;
}

// Lets writes beyond `bytes` fail (EFBIG) for the life of the object.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved_); }

private:
    rlimit saved_{};
};

} // namespace

TEST_F(SettingsFile, FreshStartWritesEveryDefaultInRegistryOrderAndReadsItBackUnchanged) {
    ASSERT_TRUE(gf_readParameters());

    const auto entries = fileEntries(path());
    ASSERT_EQ(entries.size(), 60U);
    EXPECT_EQ(keysOf(entries), registryKeys());
    EXPECT_EQ(fileValues(path(), "PROGRAM_VERSION"), std::vector<std::string>{"12.5.4"});
    // A setting of two registries is one key of the file.
    EXPECT_EQ(fileValues(path(), "AIRP_HEIGHT"), std::vector<std::string>{"18000"});
    const auto lines = logLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "AIRP_HEIGHT=18000"), 1);
    EXPECT_EQ(fileValues(path(), "LAST_EPOCH_TIME:"), std::vector<std::string>{"0"});
    EXPECT_EQ(fileValues(path(), "ALWAYS_ON_TOP"), std::vector<std::string>{"false"});
    EXPECT_EQ(fileValues(path(), "PORT_NUMBER"), std::vector<std::string>{"10747"});
    EXPECT_EQ(fileValues(path(), "AI_PACKAGE_SELECTOR"), std::vector<std::string>{"AIG, FSLTL, JF, MTL"});
    EXPECT_TRUE(fileValues(path(), "parking_percentage").empty());
    EXPECT_TRUE(fileValues(path(), "MAX_FIT_FL").empty());

    const std::string written = readFile(path());
    EXPECT_EQ(written.rfind(
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <parameters>\n    <parameter ", 0),
              0U)
        << written.substr(0, 120);
    // The log shows the values in memory, which still have no program version.
    EXPECT_TRUE(logged("PROGRAM_VERSION=\"\""));
    EXPECT_TRUE(logged("RANGE=40"));
    EXPECT_TRUE(logged("not found, creating new with default values:"));
    EXPECT_TRUE(logged(std::string(34, '*') + " parameters " + std::string(34, '*')));
    EXPECT_TRUE(logged(std::string(80, '*')));

    EXPECT_FALSE(gf_readParameters());
    EXPECT_EQ(readFile(path()), written);
    EXPECT_EQ(PROGRAM_VERSION.current.get(), "12.5.4");
    for (const auto* p : checkBoxParameters)
        EXPECT_EQ(p->current.load(), p->defaultValue) << p->name;
    for (const auto* p : intParameters)
        EXPECT_EQ(p->current.load(), p->defaultValue) << p->name;
    for (const auto* p : intChoiceParameters)
        EXPECT_EQ(p->current.load(), p->defaultValue) << p->name;
    for (const auto* p : stringParameters)
        EXPECT_EQ(p->current.get(), p->defaultValue.get()) << p->name;
    EXPECT_FALSE(std::filesystem::exists(keptCopy(1)));

    pugi::xml_document document;
    std::string problem;
    ASSERT_TRUE(gf_loadParametersDocument(document, problem));
    EXPECT_EQ(gf_getIntParameter(document, "MAIN_WINDOW_X"), 400);
    writeFile(path(), "<root>");
    EXPECT_FALSE(gf_loadParametersDocument(document, problem));
    EXPECT_FALSE(problem.empty());
}

TEST_F(SettingsFile, ValuesOutOfRangeOrUnreadableAreClampedAndNoted) {
    install("out_of_range.xml");
    EXPECT_FALSE(gf_readParameters());
    EXPECT_EQ(RANGE.current.load(), 100);
    EXPECT_EQ(CUSTOM_PARKING_PERCENTAGE.current.load(), -1);
    EXPECT_EQ(MAX_HOLDING_MINUTES.current.load(), 60);
    EXPECT_EQ(HOLDING_THRESHOLD_METERS.current.load(), 10);
    EXPECT_EQ(MAIN_WINDOW_X.current.load(), 0);
    EXPECT_EQ(MAIN_WINDOW_Y.current.load(), -30000);
    EXPECT_EQ(AIRP_RANGE.current.load(), 7) << "a value between two choices stays";
    EXPECT_FALSE(LIGHT_AIRCRAFT.current.load());
    EXPECT_TRUE(logged("! RANGE value '1000' in "));
    EXPECT_TRUE(logged("taken as 100"));
    EXPECT_TRUE(logged("! MAIN_WINDOW_X value 'abc'"));
    EXPECT_TRUE(logged("! LIGHT_AIRCRAFT value 'maybe'"));
    EXPECT_FALSE(logged("! AIRP_RANGE"));
    // A port beyond 65535 is no port at all: refused, the default listens instead.
    EXPECT_EQ(PORT_NUMBER.current.get(), "10747");
    EXPECT_TRUE(logged("! PORT_NUMBER value '99999' in "));
    // Keys the file lacked are added with their defaults; the values found stay as stored.
    EXPECT_EQ(fileValues(path(), "RANGE"), std::vector<std::string>{"1000"});
    EXPECT_EQ(fileValues(path(), "SCAN_LIVERIES"), std::vector<std::string>{"true"});
    // AIRP_HEIGHT, missing, is added by the first integer registry and found by the second.
    EXPECT_EQ(fileValues(path(), "AIRP_HEIGHT"), std::vector<std::string>{"18000"});
    EXPECT_EQ(fileEntries(path()).size(), 60U);
}

TEST_F(SettingsFile, ChoiceValuesAtAndBeyondTheirLimits) {
    const auto load = [&](const char* range, const char* custom) {
        writeFile(path(), fmt::format("<root><parameters><parameter name=\"RANGE\" value=\"{}\"/>"
                                      "<parameter name=\"CUSTOM_PARKING_PERCENTAGE\" value=\"{}\"/>"
                                      "<parameter name=\"MAX_PARK_SEL\" value=\"0\"/></parameters></root>",
                                      range, custom));
        gf_readParameters();
    };
    load("1", "101");
    EXPECT_EQ(RANGE.current.load(), 2);
    EXPECT_EQ(CUSTOM_PARKING_PERCENTAGE.current.load(), 100);
    EXPECT_EQ(MAX_PARK_SEL.current.load(), 0);
    load("7", "-1");
    EXPECT_EQ(RANGE.current.load(), 7);
    EXPECT_EQ(CUSTOM_PARKING_PERCENTAGE.current.load(), -1);
}

TEST_F(SettingsFile, ElementWithoutValueCountsAsFound) {
    install("missing_value.xml");
    WEEK.current = true;
    EXPECT_FALSE(gf_readParameters());
    EXPECT_FALSE(WEEK.current.load());
    EXPECT_EQ(PORT_NUMBER.current.get(), "10747") << "no text is no port";
    EXPECT_EQ(MAX_FIT.current.load(), 0);
    EXPECT_EQ(fileValues(path(), "WEEK"), std::vector<std::string>{""}) << "not added a second time";
    EXPECT_TRUE(logged("! WEEK has no value in "));
}

TEST_F(SettingsFile, DuplicateKeysFirstWinsAndOneSaveUpdatesAll) {
    install("duplicates.xml");
    EXPECT_FALSE(gf_readParameters());
    EXPECT_EQ(RANGE.current.load(), 10);
    EXPECT_EQ(SIM_CHOICE.current.get(), "MSFS 2024");

    // Missing keys were appended after the elements already there; unknown keys stay.
    const auto keys = keysOf(fileEntries(path()));
    EXPECT_EQ(keys[1], "OLD_SETTING");
    EXPECT_GT(indexOf(keys, "DESTINATION"), indexOf(keys, "SIM_CHOICE"));
    EXPECT_EQ(fileValues(path(), "DESTINATION"), std::vector<std::string>{""});

    RANGE.current = 25;
    gf_saveIntParameter(RANGE);
    EXPECT_EQ(fileValues(path(), "RANGE"), (std::vector<std::string>{"25", "25"}));
    EXPECT_EQ(fileValues(path(), "OLD_SETTING"), std::vector<std::string>{"kept"});

    // The whole-file writer builds a new document: unknown keys go, duplicates too.
    gf_saveParameters(false);
    EXPECT_TRUE(fileValues(path(), "OLD_SETTING").empty());
    EXPECT_EQ(fileValues(path(), "RANGE"), std::vector<std::string>{"25"});
}

TEST_F(SettingsFile, MalformedFileIsKeptAndReplacedByDefaults) {
    install("malformed.xml");
    RANGE.current = 10; // a value of an earlier run in this process
    EXPECT_TRUE(gf_readParameters());
    // Once replaced, the file is usable: later saves and starts keep no further copy.
    RANGE.current = 40;
    EXPECT_TRUE(gf_saveIntParameter(RANGE));
    EXPECT_FALSE(gf_readParameters());
    EXPECT_FALSE(std::filesystem::exists(keptCopy(2)));
    EXPECT_EQ(readFile(keptCopy(1)),
              readFile(settingstest::fixture("malformed.xml")));
    EXPECT_EQ(fileEntries(path()).size(), 60U);
    EXPECT_EQ(fileValues(path(), "RANGE"), std::vector<std::string>{"40"});
    EXPECT_EQ(RANGE.current.load(), 40) << "memory holds what the file holds";
    EXPECT_TRUE(logged("is unusable"));
    // The file was there: the log must not say it was missing.
    EXPECT_FALSE(logged("not found"));
    EXPECT_TRUE(logged("replaced by a new one with default values:"));
}

TEST_F(SettingsFile, FileWithoutParametersElementIsTreatedAsUnusable) {
    install("no_parameters.xml");
    EXPECT_TRUE(gf_readParameters());
    EXPECT_TRUE(logged("from '"));
    EXPECT_TRUE(logged("(no parameters element)"));
    EXPECT_EQ(readFile(keptCopy(1)),
              readFile(settingstest::fixture("no_parameters.xml")));
    EXPECT_EQ(fileEntries(path()).size(), 60U);
}

TEST_F(SettingsFile, OldShapeLoadsAndFirstSaveRewritesItWithRoot) {
    install("old_shape.xml");
    EXPECT_FALSE(gf_readParameters());
    EXPECT_EQ(RANGE.current.load(), 10);
    EXPECT_FALSE(SCAN_LIVERIES.current.load());
    EXPECT_EQ(BLOCK_CALLSIGN.current.get(), "BAW");
    EXPECT_EQ(fileValues(path(), "OLD_SETTING").size(), 1U);

    RANGE.current = 12;
    gf_saveIntParameter(RANGE);
    EXPECT_TRUE(logged("Placing a root level around a new parameters.xml to make it 100% xml compliance"));
    pugi::xml_document document;
    ASSERT_TRUE(document.load_file(path().c_str()));
    EXPECT_TRUE(document.child("root").child("parameters"));
    EXPECT_EQ(keysOf(fileEntries(path())), registryKeys());
    EXPECT_EQ(fileValues(path(), "RANGE"), std::vector<std::string>{"12"});
    EXPECT_EQ(fileValues(path(), "BLOCK_CALLSIGN"), std::vector<std::string>{"BAW"});
    EXPECT_EQ(fileValues(path(), "SCAN_LIVERIES"), std::vector<std::string>{"false"});
}

TEST_F(SettingsFile, SavingIntoAnUnreadableFileKeepsItAndWritesEverySetting) {
    writeFile(path(), "this is no XML");
    RANGE.current = 12;
    gf_saveIntParameter(RANGE);
    EXPECT_EQ(readFile(keptCopy(1)), "this is no XML");
    EXPECT_EQ(fileEntries(path()).size(), 60U);
    EXPECT_EQ(fileValues(path(), "RANGE"), std::vector<std::string>{"12"});
}

// A file lost between starts must not come back holding one setting: every other setting would
// be at its default at the next start.
TEST_F(SettingsFile, SavingWithoutAFileWritesEverySetting) {
    RANGE.current = 12;
    EXPECT_TRUE(gf_setStringParameter(DESTINATION, "EDDF"));
    EXPECT_EQ(keysOf(fileEntries(path())), registryKeys());
    EXPECT_EQ(fileValues(path(), "DESTINATION"), std::vector<std::string>{"EDDF"});
    EXPECT_EQ(fileValues(path(), "RANGE"), std::vector<std::string>{"12"});
    EXPECT_TRUE(logged("DESTINATION=\"EDDF\""));
    EXPECT_FALSE(std::filesystem::exists(keptCopy(1))) << "nothing to keep";
}

// Each unusable file is kept under a name of its own; a second never replaces the first copy.
TEST_F(SettingsFile, EveryUnusableFileIsKept) {
    writeFile(path(), "first damaged file");
    EXPECT_TRUE(gf_readParameters());
    writeFile(path(), "second damaged file");
    RANGE.current = 12;
    gf_saveIntParameter(RANGE);
    writeFile(path(), "<root><no-parameters/></root>");
    EXPECT_TRUE(gf_readParameters());
    EXPECT_EQ(readFile(keptCopy(1)), "first damaged file");
    EXPECT_EQ(readFile(keptCopy(2)), "second damaged file");
    EXPECT_EQ(readFile(keptCopy(3)), "<root><no-parameters/></root>");
    EXPECT_TRUE(logged("kept as " + keptCopy(3).string()));
    EXPECT_EQ(fileEntries(path()).size(), 60U);
}

// A settings file kept in a synced folder and linked into place stays linked: every save, the
// closing's whole file included, replaces the file the link leads to; an unusable one is kept
// beside the link with what the linked file held, and the defaults go where the link leads.
TEST_F(SettingsFile, ALinkedFileStaysLinkedThroughEverySave) {
    const std::filesystem::path synced = path().parent_path() / "synced" / "parameters.xml";
    writeFile(synced, "<root><parameters><parameter name=\"RANGE\" value=\"10\"/></parameters></root>");
    std::filesystem::create_symlink(synced, path());
    EXPECT_FALSE(gf_readParameters());
    RANGE.current = 12;
    synctest::clearEvents();
    EXPECT_TRUE(gf_saveIntParameter(RANGE));
    EXPECT_TRUE(std::filesystem::is_symlink(path()));
    EXPECT_EQ(fileValues(synced, "RANGE"), std::vector<std::string>{"12"});
    expectFlushedReplace(synced);
    gf_saveParameters(false);
    EXPECT_TRUE(std::filesystem::is_symlink(path()));
    EXPECT_EQ(keysOf(fileEntries(synced)), registryKeys());

    writeFile(synced, "damaged");
    EXPECT_TRUE(gf_readParameters());
    EXPECT_EQ(readFile(keptCopy(1)), "damaged");
    EXPECT_TRUE(std::filesystem::is_symlink(path()));
    EXPECT_EQ(keysOf(fileEntries(synced)), registryKeys());
}

// An unusable file that cannot be replaced (here a link to a file of the kernel's, where no file
// can be made; a link into a folder the user may only read is the same) is kept once, however
// many saves and starts meet it, and no line says it was replaced: the defaults are taken in
// memory, each save says in a short line that it saved nothing, and the link stays.
TEST_F(SettingsFile, AnUnusableFileThatCannotBeReplacedIsKeptOnceAndNeverSaidReplaced) {
    std::filesystem::create_symlink("/proc/version", path());
    RANGE.current = 10;
    EXPECT_TRUE(gf_readParameters());
    EXPECT_EQ(RANGE.current.load(), 40);
    RANGE.current = 12;
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(gf_saveIntParameter(RANGE));
    EXPECT_TRUE(gf_readParameters()); // a restart in the same process
    EXPECT_FALSE(gf_saveIntParameter(RANGE));

    EXPECT_EQ(readFile(keptCopy(1)), readFile("/proc/version"));
    EXPECT_FALSE(std::filesystem::exists(keptCopy(2)));
    EXPECT_TRUE(std::filesystem::is_symlink(path()));
    const auto lines = logLines();
    const auto count = [&](const std::string& line) { return std::count(lines.begin(), lines.end(), line); };
    EXPECT_FALSE(logged("replaced by a new one"));
    EXPECT_EQ(count(path().string() + " could not be replaced, the default values are taken:"), 2);
    EXPECT_EQ(count("! RANGE not saved, " + path().string() + " is still unusable"), 6);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.find(", kept as ") != std::string::npos; }),
              2)
        << "once per start, naming the one copy";
}

// The permissions the user gives the file hold: one only its owner may read stays so through
// every save; one made read-only is read and left as it is, with a line saying so, and a save of
// a changed value says in a short line that it saved nothing (one that changes nothing loses
// nothing).
TEST_F(SettingsFile, TheUsersPermissionsOfTheFileHold) {
    const auto modeOf = [](const std::filesystem::path& file) {
        return std::filesystem::status(file).permissions() & std::filesystem::perms::all;
    };
    using std::filesystem::perms;
    writeFile(path(), "<root><parameters><parameter name=\"RANGE\" value=\"10\"/>"
                      "<parameter name=\"DESTINATION\" value=\"\"/></parameters></root>");
    std::filesystem::permissions(path(), perms::owner_read | perms::owner_write);
    EXPECT_FALSE(gf_readParameters());
    RANGE.current = 12;
    EXPECT_TRUE(gf_saveIntParameter(RANGE));
    EXPECT_EQ(fileValues(path(), "RANGE"), std::vector<std::string>{"12"});
    EXPECT_EQ(modeOf(path()), perms::owner_read | perms::owner_write);

    const perms readOnly = perms::owner_read | perms::group_read | perms::others_read;
    std::filesystem::permissions(path(), readOnly);
    const std::string before = readFile(path());
    RANGE.current = 30;
    EXPECT_FALSE(gf_readParameters());
    EXPECT_EQ(RANGE.current.load(), 12);
    EXPECT_TRUE(logged("==> ! " + path().string() +
                       " is read-only: its settings are taken as they are, and no change is saved in it"));
    RANGE.current = 20;
    EXPECT_FALSE(gf_saveIntParameter(RANGE));
    EXPECT_TRUE(logged("! RANGE not saved, " + path().string() + " is read-only"));
    EXPECT_TRUE(gf_setStringParameter(DESTINATION, "")) << "the file holds the value already";
    EXPECT_EQ(readFile(path()), before);
    EXPECT_EQ(modeOf(path()), readOnly);
    EXPECT_FALSE(std::filesystem::exists(keptCopy(1)));
}

// A folder where the file should be is said as such, is neither copied nor replaced, and every
// later save that meets it adds one short line, not the whole report again.
TEST_F(SettingsFile, AFolderInPlaceOfTheFileIsNamedAndReportedOnce) {
    std::filesystem::create_directory(path());
    EXPECT_TRUE(gf_readParameters());
    for (int i = 0; i < 3; ++i)
        gf_saveIntParameter(RANGE);
    const auto lines = logLines();
    const auto count = [&](const std::string& line) { return std::count(lines.begin(), lines.end(), line); };
    EXPECT_EQ(
        count("==> ! " + path().string() + " is unusable (a folder stands in its place) and stays as it is"),
        1);
    EXPECT_EQ(count("! RANGE not saved, " + path().string() + " is still unusable"), 3);
    EXPECT_FALSE(logged("copy "));
    EXPECT_TRUE(std::filesystem::is_directory(path()));
    pugi::xml_document document;
    std::string problem;
    EXPECT_FALSE(gf_loadParametersDocument(document, problem));
    EXPECT_EQ(problem, "a folder stands in its place");
}

// A named pipe in the file's place would hold the start-up for good: it is named like the folder
// above, never waited on, and left as it is; so is a link to a device.
TEST_F(SettingsFile, APipeOrADeviceInPlaceOfTheFileIsNamedNotWaitedOn) {
    ASSERT_TRUE(testsupport::makeNamedPipe(path()));
    bool created = false;
    ASSERT_TRUE(testsupport::readWithoutAWriter(path(), [&] {
        created = gf_readParameters();
        gf_saveIntParameter(RANGE);
    }));
    EXPECT_TRUE(created);
    EXPECT_TRUE(logged("! " + path().string() + " is unusable (a named pipe stands in its place) and stays as it is"));
    EXPECT_TRUE(logged("! RANGE not saved, " + path().string() + " is still unusable"));
    EXPECT_FALSE(logged("copy "));
    EXPECT_TRUE(std::filesystem::is_fifo(path()));

    std::filesystem::remove(path());
    std::filesystem::create_symlink("/dev/zero", path());
    EXPECT_TRUE(gf_readParameters());
    EXPECT_TRUE(logged("! " + path().string() + " is unusable (a device stands in its place) and stays as it is"));
    EXPECT_TRUE(std::filesystem::is_symlink(path()));
}

// Elements of no setting are kept and written back as they were read, also nested ones, up to
// 16 deep (root, parameters, 13 n and a).
TEST_F(SettingsFile, UnknownElementsAreKeptNestedAsTheyWere) {
    std::string nested = "<a/>";
    for (int i = 0; i < 13; ++i)
        nested = "<n>" + nested + "</n>";
    writeFile(path(), "<root><parameters><parameter name=\"RANGE\" value=\"10\"/>" + nested + "</parameters></root>");
    EXPECT_FALSE(gf_readParameters());
    EXPECT_EQ(RANGE.current.load(), 10);
    pugi::xml_document document;
    ASSERT_TRUE(document.load_file(path().c_str()));
    pugi::xml_node deepest = document.child("root").child("parameters").child("n");
    for (int i = 1; i < 13; ++i)
        deepest = deepest.child("n");
    EXPECT_TRUE(deepest.child("a"));
    EXPECT_FALSE(std::filesystem::exists(keptCopy(1)));
}

// What is read and kept is bounded in size and depth: a file beyond the bounds is kept aside like
// any unusable file and the defaults are taken, so that no save grows with it (an indented
// element nested n deep takes n squared bytes).
TEST_F(SettingsFile, AFileBeyondTheBoundsIsKeptAsideAndTheDefaultsTaken) {
    const auto nestedFile = [](int levels) {
        std::string text = "<root><parameters><parameter name=\"RANGE\" value=\"10\"/>";
        for (int i = 0; i < levels; ++i)
            text += "<n>";
        for (int i = 0; i < levels; ++i)
            text += "</n>";
        return text + "</parameters></root>";
    };
    // One level beyond the bound (root, parameters and 15 n: 17 deep), and far beyond.
    int copies = 0;
    for (const int levels : {15, 2000}) {
        const std::string deep = nestedFile(levels);
        writeFile(path(), deep);
        RANGE.current = 12;
        EXPECT_TRUE(gf_readParameters()) << levels;
        EXPECT_EQ(RANGE.current.load(), 40);
        ++copies;
        EXPECT_TRUE(readFile(keptCopy(copies)) == deep) << "the file is kept as it was";
        EXPECT_LT(std::filesystem::file_size(path()), 16u << 10);
        EXPECT_EQ(fileEntries(path()).size(), 60U);
        EXPECT_TRUE(logged("! " + path().string() + " is unusable (elements nested more than 16 deep), kept as " +
                           keptCopy(copies).string()));
    }

    const std::string large = nestedFile(1) + "<!--" + std::string(1 << 20, ' ') + "-->";
    writeFile(path(), large);
    EXPECT_TRUE(gf_readParameters());
    EXPECT_TRUE(readFile(keptCopy(3)) == large) << "the file is kept as it was";
    EXPECT_TRUE(logged(fmt::format("! {} is unusable ({} bytes, more than the 1048576 it may hold), kept as {}",
                                   path().string(), large.size(), keptCopy(3).string())));
}

TEST_F(SettingsFile, EverySaveReachesTheDiskBeforeItReplacesTheFile) {
    synctest::clearEvents();
    EXPECT_TRUE(gf_readParameters()); // a new file
    expectFlushedReplace(path());
    EXPECT_FALSE(gf_readParameters()); // written back with what it holds
    expectFlushedReplace(path());
    gf_saveIntParameter(RANGE);
    expectFlushedReplace(path());
    gf_saveParameters(false);
    expectFlushedReplace(path());
    // Every other XML file of the program goes through the same save.
    pugi::xml_document document;
    document.append_child("root");
    ASSERT_TRUE(gf_saveXml(document, "LiveriesScanned.xml"));
    expectFlushedReplace("LiveriesScanned.xml");
}

TEST_F(SettingsFile, SaveThatFailsHalfWayLeavesTheEarlierFile) {
    gf_saveParameters(false);
    const std::string before = readFile(path());
    // Writes stop with an error past this size: below the new file's size, above the old file's.
    constexpr rlim_t kLimit = 6000;
    ASSERT_LT(before.size(), kLimit);
    {
        FileSizeLimit limit(kLimit);
        // The caller learns that the value did not reach the file.
        EXPECT_FALSE(gf_setStringParameter(DESTINATION, std::string(5000, 'x')));
        gf_saveParameters(false);
    }
    EXPECT_EQ(readFile(path()), before);
    EXPECT_FALSE(anyTemporaryFile(path().parent_path()));
}

TEST_F(SettingsFile, FailedSaveOfTheWholeFileIsLogged) {
    std::filesystem::remove_all(path().parent_path());
    gf_saveParameters(false);
    EXPECT_TRUE(logged("==> saving: " + path().string() + " failed"));
    EXPECT_FALSE(gf_saveIntParameter(RANGE)); // a missing file is written whole: that fails too
}

TEST_F(SettingsFile, Utf16FileWithByteOrderMarkLoads) {
    const std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?><root><parameters>"
        "<parameter name=\"RANGE\" value=\"12\"/><parameter name=\"DESTINATION\" value=\"EDDF\"/>"
        "</parameters></root>";
    std::string bytes = "\xFF\xFE";
    for (char c : text) {
        bytes.push_back(c);
        bytes.push_back('\0');
    }
    writeFile(path(), bytes);
    EXPECT_FALSE(gf_readParameters());
    EXPECT_EQ(RANGE.current.load(), 12);
    EXPECT_EQ(DESTINATION.current.get(), "EDDF");
    EXPECT_EQ(readFile(path()).rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0U);
}

TEST_F(SettingsFile, LoadedValuesShowInTheControlsAndSetTheWorkingRadius) {
    createControls();
    install("window_values.xml");
    EXPECT_FALSE(gf_readParameters());
    EXPECT_EQ(state(ALWAYS_ON_TOP.window).checked, BST_CHECKED);
    EXPECT_EQ(state(SCAN_LIVERIES.window).checked, BST_UNCHECKED);
    EXPECT_EQ(state(AUTO_RANGE.window).checked, BST_UNCHECKED);
    EXPECT_EQ(state(WEEK.window).checked, BST_CHECKED);
    EXPECT_EQ(state(GUID_CHANGES.window).checked, BST_CHECKED) << "missing key: its default";
    EXPECT_EQ(state(BLOCK_CALLSIGN.window).text, u"DLH");
    EXPECT_EQ(RANGE.current.load(), 10);
    EXPECT_DOUBLE_EQ(gRangeNm.load(), 10.0);
    EXPECT_EQ(gRangeMeters.load(), 18520);

    // Once the window set-up has filled the combo boxes, writing a value selects its item.
    RANGE.fillComboBox();
    RANGE.current = 65;
    gf_setIntControlText(RANGE);
    EXPECT_EQ(state(RANGE.window).text, u"65");
}

TEST(SettingsFileConcurrency, TwoThreadsSavingLeaveAValidFileWithBothFinalValues) {
    testsupport::TempFolder folder(true);
    ::setenv("QUORVEL_ROAMING_APPDATA", (folder.path() / "roaming").c_str(), 1);
    std::filesystem::create_directories(folder.path() / "roaming" / "Quorvel");
    gf_resetPaths();
    gf_saveParameters(true);

    constexpr int kSaves = 1000;
    std::atomic<bool> done{false};
    std::thread ranges([] {
        for (int i = 1; i <= kSaves; ++i) {
            RANGE.current = 2 + i % 99;
            gf_saveIntParameter(RANGE);
        }
    });
    std::thread destinations([] {
        for (int i = 1; i <= kSaves; ++i)
            gf_setStringParameter(DESTINATION, fmt::format("D{}", i));
    });
    std::thread reader([&] {
        std::size_t length = 0;
        while (!done.load())
            length += DESTINATION.current.get().size();
        EXPECT_GT(length + 1, 0U);
    });
    ranges.join();
    destinations.join();
    done = true;
    reader.join();

    pugi::xml_document document;
    ASSERT_TRUE(document.load_file(gf_paths().parametersPath.c_str()));
    EXPECT_EQ(gf_getIntParameter(document, "RANGE"), 2 + kSaves % 99);
    EXPECT_EQ(gf_getStringParameter(document, "DESTINATION"), fmt::format("D{}", kSaves));
    EXPECT_EQ(settingstest::fileEntries(gf_paths().parametersPath).size(), 60U);
    EXPECT_FALSE(anyTemporaryFile(gf_paths().parametersPath.parent_path()));
}
