#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "panel_transform.h"
#include "simulator.h"

namespace zt::touchsim {

struct Options {
  std::string device;      // empty: create a pseudo-terminal
  std::string linkPath;    // symbolic link to create to the line
  std::string eepromFile;  // file backing the EEPROM
  std::string scriptFile;  // empty: commands come from stdin
  PanelTransform panel;
  std::int32_t reportRate = Simulator::kDefaultReportRate;
  std::int32_t jitter = 0;
  bool paced = false;
  bool silent = false;
  std::int32_t replyDelayMs = 0;
  std::optional<std::uint32_t> noiseSeed;
  bool exitAfterScript = false;
  bool keepOpen = false;
  bool verbose = false;
  bool help = false;
};

// Parses the arguments after the program name. On false, error says why.
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

const char* UsageText();

}  // namespace zt::touchsim
