#include "host/web/VoicePositions.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/Error.h"
#include "platform/common/DurableFile.h"

namespace mailhost {
namespace {

using nlohmann::json;

constexpr double kLongest = 24 * 3600.0;  // past any recording the add-in makes

double Sane(double seconds) {
  return std::isfinite(seconds) && seconds > 0 && seconds < kLongest ? seconds : 0;
}

}  // namespace

VoicePositions::VoicePositions(std::string path, std::size_t limit)
    : m_path(std::move(path)), m_limit(std::max<std::size_t>(limit, 1)) {
  std::ifstream in(m_path, std::ios::binary);
  if (!in) return;
  std::stringstream text;
  text << in.rdbuf();
  const json kept = json::parse(text.str(), nullptr, false);
  if (!kept.is_object()) return;
  for (const auto& [key, entry] : kept.items()) {
    if (!entry.is_object() || !entry.value("at", json()).is_number() ||
        !entry.value("order", json()).is_number_integer())
      continue;
    const long long order = entry["order"].get<long long>();
    m_kept[key] = {Sane(entry["at"].get<double>()), order};
    m_next = std::max(m_next, order + 1);
  }
}

double VoicePositions::At(const std::string& key) const {
  std::lock_guard lock(m_mutex);
  const auto found = m_kept.find(key);
  return found == m_kept.end() ? 0 : found->second.seconds;
}

void VoicePositions::Set(const std::string& key, double seconds) {
  std::lock_guard lock(m_mutex);
  m_kept[key] = {Sane(seconds), m_next++};
  while (m_kept.size() > m_limit) {
    m_kept.erase(std::min_element(m_kept.begin(), m_kept.end(), [](const auto& a, const auto& b) {
      return a.second.order < b.second.order;
    }));
  }
  Save();
}

void VoicePositions::Save() const {
  json kept = json::object();
  for (const auto& [key, entry] : m_kept)
    kept[key] = {{"at", entry.seconds}, {"order", entry.order}};
  if (const int failed = platform::ReplaceFile(m_path, kept.dump(), 0600)) {
    throw platform::Error("Cannot keep where the voice message stopped in " + m_path + ": " +
                          std::strerror(failed) + ".");
  }
}

}  // namespace mailhost
