#pragma once
// The program's fixed file and folder names. Most are relative to the working directory, which
// is the program's own folder; the settings live in the per-user program data folder.

#include <filesystem>
#include <string>
#include <string_view>

namespace tamrix {

struct ProgramPaths {
    std::filesystem::path inputFolder;             // "input"
    std::filesystem::path outputFolder;            // "output"
    std::filesystem::path dbaseEncName;            // "dbase.enc"
    std::filesystem::path dbaseEncPath;            // input/dbase.enc
    std::filesystem::path airportsEncName;         // "airports.enc"
    std::filesystem::path airportsEncPath;         // input/airports.enc
    std::filesystem::path airportsXmlName;         // "airports.xml"
    std::filesystem::path airportsXmlPath;         // input/airports.xml
    std::filesystem::path aigRegcodesEncName;      // "AIG-regcodes.enc"
    std::filesystem::path aigRegcodesEncPath;      // input/AIG-regcodes.enc
    std::filesystem::path liveriesScannedName;     // "LiveriesScanned.xml"
    std::filesystem::path liveriesScannedPath;     // output/LiveriesScanned.xml
    std::filesystem::path newVersionFolder;        // "new_version"
    std::filesystem::path installerName;           // "install_new_version.exe"
    std::filesystem::path releaseNotesName;        // "ReleaseNotes.pdf"
    std::filesystem::path airportsFolder;          // "airports"
    std::filesystem::path learnedName;             // "learned"
    std::filesystem::path mySimaddonFolder;        // airports/my_simaddon
    std::filesystem::path myThirdpartyFolder;      // airports/my_thirdparty
    std::filesystem::path docsFolder;              // "docs"
    std::filesystem::path stockName;               // "stock"
    std::filesystem::path simaddonName;            // "simaddon"
    std::filesystem::path thirdpartyName;          // "thirdparty"
    std::filesystem::path learnedStockFolder;      // airports/learned/stock
    std::filesystem::path learnedSimaddonFolder;   // airports/learned/simaddon
    std::filesystem::path learnedThirdpartyFolder; // airports/learned/thirdparty
    std::filesystem::path myParkAirportsPath;      // airports/my_park_airports.txt
    std::filesystem::path infoFolder;              // output/info
    std::filesystem::path objectIdListPath;        // output/info/ObjectIdList.txt
    std::filesystem::path errorsFolder;            // output/errors
    std::filesystem::path tbloFolder;              // "tblo"
    std::filesystem::path tbloZipName;             // "tblo.zip"
    std::filesystem::path fsBaseName;              // "fs-base"
    std::filesystem::path zazuveRuzoverName;       // "ZazuveRuzover"
    std::filesystem::path icaoAirportsName;        // "ICAO_airports.txt"
    std::filesystem::path icaoAirportsPath;        // input/ICAO_airports.txt
    std::filesystem::path aigRegcodesXmlName;      // "AIG-regcodes.xml"
    std::filesystem::path aigRegcodesXmlPath;      // input/AIG-regcodes.xml
    std::filesystem::path myRegcodesFolder;        // input/my_regcodes
    // Roaming application data / "Quorvel"; the relative "Quorvel" when that folder is unknown.
    std::filesystem::path programDataFolder;
    std::filesystem::path parametersPath; // program data folder / "parameters.xml"
    std::string parametersPathText;       // the same as (native, UTF-8) text
};

// Built on first use, so static objects of any file may use it, and never destroyed. The
// known-folder lookup it makes writes no log line: the log may not be open yet.
const ProgramPaths& gf_paths();
// Builds the table anew from the environment as it is now (the known folders may have moved);
// later calls of gf_paths() return the new table. References to the earlier table stay valid.
void gf_resetPaths();

// Text constants shared across the program.
inline constexpr std::string_view kGenerationMark = "0";
inline constexpr std::string_view kNewLine = "\n";
inline constexpr std::string_view kSlash = "/";
inline constexpr std::string_view kPluralS = "s";
inline constexpr std::string_view kSpecialLineMark = "#"; // marks special lines in regcode files
inline const std::string kEmptyText;
inline const std::u16string kEmptyWideText;

} // namespace tamrix
