#include "core/paths.hpp"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "core/files.hpp"
#include "platform/win32/known_folders.hpp"

namespace tamrix {
namespace {

ProgramPaths buildPaths() {
    ProgramPaths p;
    p.inputFolder = "input";
    p.outputFolder = "output";
    p.dbaseEncName = "dbase.enc";
    p.dbaseEncPath = p.inputFolder / p.dbaseEncName;
    p.airportsEncName = "airports.enc";
    p.airportsEncPath = p.inputFolder / p.airportsEncName;
    p.airportsXmlName = "airports.xml";
    p.airportsXmlPath = p.inputFolder / p.airportsXmlName;
    p.aigRegcodesEncName = "AIG-regcodes.enc";
    p.aigRegcodesEncPath = p.inputFolder / p.aigRegcodesEncName;
    p.liveriesScannedName = "LiveriesScanned.xml";
    p.liveriesScannedPath = p.outputFolder / p.liveriesScannedName;
    p.newVersionFolder = "new_version";
    p.installerName = "install_new_version.exe";
    p.releaseNotesName = "ReleaseNotes.pdf";
    p.airportsFolder = "airports";
    p.learnedName = "learned";
    p.mySimaddonFolder = p.airportsFolder / "my_simaddon";
    p.myThirdpartyFolder = p.airportsFolder / "my_thirdparty";
    p.docsFolder = "docs";
    p.stockName = "stock";
    p.simaddonName = "simaddon";
    p.thirdpartyName = "thirdparty";
    p.learnedStockFolder = p.airportsFolder / p.learnedName / p.stockName;
    p.learnedSimaddonFolder = p.airportsFolder / p.learnedName / p.simaddonName;
    p.learnedThirdpartyFolder = p.airportsFolder / p.learnedName / p.thirdpartyName;
    p.myParkAirportsPath = p.airportsFolder / "my_park_airports.txt";
    p.infoFolder = p.outputFolder / "info";
    p.objectIdListPath = p.infoFolder / "ObjectIdList.txt";
    p.errorsFolder = p.outputFolder / "errors";
    p.tbloFolder = "tblo";
    p.tbloZipName = "tblo.zip";
    p.fsBaseName = "fs-base";
    p.zazuveRuzoverName = "ZazuveRuzover";
    p.icaoAirportsName = "ICAO_airports.txt";
    p.icaoAirportsPath = p.inputFolder / p.icaoAirportsName;
    p.aigRegcodesXmlName = "AIG-regcodes.xml";
    p.aigRegcodesXmlPath = p.inputFolder / p.aigRegcodesXmlName;
    p.myRegcodesFolder = p.inputFolder / "my_regcodes";
    // gf_knownFolderPath, not gf_appDataPath: the lookup must not log before "Log.txt" is open.
    const auto roaming = gf_knownFolderPath(FOLDERID_RoamingAppData);
    p.programDataFolder = roaming ? *roaming / "Quorvel" : std::filesystem::path("Quorvel");
    p.parametersPath = p.programDataFolder / "parameters.xml";
    p.parametersPathText = p.parametersPath.string();
    return p;
}

} // namespace

namespace {
// Tables are never destroyed: a reference taken from an earlier table stays valid.
std::atomic<const ProgramPaths*> gPathTable{nullptr};
} // namespace

const ProgramPaths& gf_paths() {
    const ProgramPaths* table = gPathTable.load(std::memory_order_acquire);
    if (table != nullptr) return *table;
    static const ProgramPaths* first = new ProgramPaths(buildPaths());
    const ProgramPaths* expected = nullptr;
    gPathTable.compare_exchange_strong(expected, first, std::memory_order_acq_rel);
    return *gPathTable.load(std::memory_order_acquire);
}

void gf_resetPaths() {
    // Earlier tables stay where they are (references to them may still be held), kept in a list
    // so that they never count as lost memory.
    static std::mutex lock;
    static auto* retired = new std::vector<std::unique_ptr<const ProgramPaths>>;
    std::lock_guard guard(lock);
    const ProgramPaths* previous =
        gPathTable.exchange(new ProgramPaths(buildPaths()), std::memory_order_acq_rel);
    if (previous != nullptr) retired->emplace_back(previous);
}

} // namespace tamrix
