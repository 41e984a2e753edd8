#include "controller_model.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "panel_transform.h"

namespace zt::touchsim {
namespace {

bool InFieldRange(std::int32_t value) {
  return value >= 0 && value <= kFieldMax;
}

bool InFieldRange(const SensitivityParams& params) {
  return InFieldRange(params.pressure) && InFieldRange(params.downCount) &&
         InFieldRange(params.upCount) && InFieldRange(params.stabilizationDelay);
}

bool ReadWholeFile(const std::string& path, std::string& text) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    return false;
  }
  std::ostringstream contents;
  contents << file.rdbuf();
  text = contents.str();
  return !file.bad();
}

}  // namespace

std::string FormatEeprom(const SensitivityParams& params) {
  return std::to_string(params.pressure) + ' ' + std::to_string(params.downCount) + ' ' +
         std::to_string(params.upCount) + ' ' + std::to_string(params.stabilizationDelay);
}

bool ParseEeprom(const std::string& text, SensitivityParams& params) {
  std::istringstream stream(text);
  std::vector<std::int32_t> values;
  std::string token;
  while (stream >> token) {
    std::int32_t value = 0;
    const char* end = token.data() + token.size();
    const auto [stop, status] = std::from_chars(token.data(), end, value);
    if (status != std::errc() || stop != end || !InFieldRange(value)) {
      return false;
    }
    values.push_back(value);
  }
  if (values.size() != 4) {
    return false;
  }
  params = {values[0], values[1], values[2], values[3]};
  return true;
}

bool ControllerModel::AttachEepromFile(const std::string& path, std::string& error) {
  std::string text;
  SensitivityParams loaded = Eeprom();
  std::error_code status;
  const bool exists = std::filesystem::exists(path, status);
  if (status) {
    error = "cannot look at " + path + ": " + status.message();
    return false;
  }
  if (exists && !(ReadWholeFile(path, text) && ParseEeprom(text, loaded))) {
    error = path + " does not hold four numbers 0..65535 (Pressure DownCount UpCount Delay)";
    return false;
  }
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_eeprom = loaded;
  m_eepromPath = path;
  return true;
}

SensitivityParams ControllerModel::Eeprom() const {
  const std::lock_guard<std::mutex> lock(m_mutex);
  return m_eeprom;
}

bool ControllerModel::SetEeprom(const SensitivityParams& params, std::string& error) {
  if (!InFieldRange(params)) {
    error = "EEPROM values must be 0..65535";
    return false;
  }
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_eeprom = params;
  return SaveLocked(error);
}

ControllerModel::Response ControllerModel::Handle(const std::uint8_t* packet) {
  Response response;
  if (packet[0] != kPacketStart) {
    return response;
  }
  if (packet[1] == kTypeParameters) {
    response.kind =
        Silent() ? Response::Kind::kRequestUnanswered : Response::Kind::kRequestAnswered;
    response.reply = BuildParameterReply(Eeprom());
  } else if (packet[1] == kTypeWriteParameters) {
    response.kind = Response::Kind::kWriteApplied;
    const SensitivityParams written{256 * packet[2] + packet[3], 256 * packet[4] + packet[5],
                                    256 * packet[6] + packet[7], 256 * packet[8] + packet[9]};
    SetEeprom(written, response.error);
  }
  return response;
}

bool ControllerModel::SaveLocked(std::string& error) const {
  if (m_eepromPath.empty()) {
    return true;
  }
  // Written aside and renamed into place, so a crash never leaves half a file.
  const std::string temporary = m_eepromPath + ".tmp";
  {
    std::ofstream file(temporary, std::ios::trunc);
    file << FormatEeprom(m_eeprom) << '\n';
    file.flush();
    if (!file) {
      error = "cannot write " + temporary;
      return false;
    }
  }
  if (std::rename(temporary.c_str(), m_eepromPath.c_str()) != 0) {
    error = "cannot replace " + m_eepromPath;
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace zt::touchsim
