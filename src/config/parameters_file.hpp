#pragma once
// "parameters.xml" in the program data folder: the registered settings' current values under
// their keys. The whole file is written at start-up and read back; every later change of one
// setting is saved at once.
//
// Every read and write of the file takes one lock, so saves from the UI and start-up threads
// never overlap; only the line of a failed write is logged while it is held. The file is
// replaced atomically (gf_writeFileAtomically). A file that exists but cannot be used is kept as
// "parameters-unusable-{n}.xml", the first number not taken, before anything replaces it; a save
// of one setting while the file is missing or unusable writes every setting.

#include <string>

#include <pugixml.hpp>

#include "config/parameters.hpp"

namespace tamrix {

// Writes the whole file from the registries, the defaults when writeDefaults is set (the
// program version then becomes PROGRAM_VERSION's default), else the current values. Logs each
// setting with its current value and brings the registered controls up to date.
void gf_saveParameters(bool writeDefaults);

// Loads the file into the registered settings: a value found is taken (integers clamped to
// their limits, a text the setting refuses, such as a port beyond 65535, replaced by its default
// and logged), a missing key takes its default and is added to the file. The controls of the
// registered settings show the loaded values, and the working radius follows RANGE. Returns
// true when the file was missing or unusable and a new one with the defaults was made (the
// settings in memory are then the defaults too).
bool gf_readParameters();

// Loads the file as it is, under the same lock, for readers of single values outside the
// settings (the main window takes its position from it before the settings are loaded). False,
// with the parser's description in `problem`, when it does not load.
bool gf_loadParametersDocument(pugi::xml_document& document, std::string& problem);

// Save one setting's current value into the file: every element with its key is updated, a
// missing one is added. A file of the old shape (without "root") is rewritten whole. False when
// the file could not be written (the failure is logged): the value is then lost at the end.
bool gf_saveBoolParameter(const BoolParameter& parameter);
bool gf_saveIntParameter(const IntParameter& parameter);
bool gf_saveStringParameter(const StringParameter& parameter);
// Assigns the text and saves the setting; false as the save above.
bool gf_setStringParameter(StringParameter& parameter, std::string text);

// The log line of a string setting: KEY="text" (dropped while the program stops).
void gf_logParameterChange(const StringParameter& parameter);

} // namespace tamrix
