#include "host/web/PageSoundPort.h"

#include <algorithm>
#include <fstream>

#include "host/web/PageServer.h"

namespace mailhost {
namespace {

using nlohmann::json;

constexpr const char* kText = "text/plain; charset=utf-8";
constexpr const char* kNotThePage = "This page does not hold mailhost's sound.";
constexpr const char* kBadReport = "The page's report could not be read.";
constexpr std::size_t kLongestNumber = 15;

bool Number(const std::string& text, std::uint64_t* value) {
  if (text.empty() || text.size() > kLongestNumber ||
      text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  *value = std::stoull(text);
  return true;
}

std::string SoundType(const std::string& path) {
  const auto dot = path.rfind('.');
  std::string extension = dot == std::string::npos ? "" : path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == "mp3") return "audio/mpeg";
  if (extension == "wav") return "audio/wav";
  return "application/octet-stream";
}

// The sound being played, streamed from its file: a recording may be long.
void StreamFile(const httplib::Request& req, const std::string& path, httplib::Response& res) {
  auto file = std::make_shared<std::ifstream>(path, std::ios::binary);
  if (path.empty() || !*file) {
    res.status = 404;
    res.set_content(kNotThePage, kText);
    return;
  }
  file->seekg(0, std::ios::end);
  const auto size = static_cast<std::size_t>(file->tellg());
  const auto readAt = [file](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
    char buffer[64 * 1024];
    file->clear();
    file->seekg(static_cast<std::streamoff>(offset));
    const auto want = static_cast<std::streamsize>(std::min(length, sizeof buffer));
    file->read(buffer, want);
    const auto got = file->gcount();
    return got > 0 && sink.write(buffer, static_cast<std::size_t>(got));
  };
  PageServer::ServeSized(req, res, size, SoundType(path).c_str(), readAt);
}

}  // namespace

json PageSoundPort::StateJson() {
  std::lock_guard lock(m_mutex);
  json play = nullptr;
  if (m_play) play = {{"number", m_play}, {"paused", m_paused}};
  return {{"page", m_pages.empty() ? json(nullptr) : json(m_pages.back())},
          {"capture", m_capture},
          {"input", m_input},
          {"serial", m_captureSerial},
          {"play", play}};
}

void PageSoundPort::Changed(bool onUi) {
  if (!m_changed) return;
  if (onUi)
    m_changed();
  else
    m_loop.Post([this] {
      if (m_changed) m_changed();
    });
}

void PageSoundPort::Tell(const std::function<void(Listener&)>& tell) {
  std::lock_guard lock(m_listenerMutex);
  if (m_listener) tell(*m_listener);
}

void PageSoundPort::SetListener(Listener* listener) {
  std::lock_guard lock(m_listenerMutex);
  m_listener = listener;
}

bool PageSoundPort::IsSoundPage(const std::string& page) const {
  return !m_pages.empty() && m_pages.back() == page;
}

void PageSoundPort::Follows(const std::string& page, bool open) {
  bool gone = false;
  {
    std::lock_guard lock(m_mutex);
    // A page that follows again (its stream broke) keeps the sound; another
    // page takes it over.
    const bool holder = !m_pages.empty() && m_pages.back() == page;
    bool held = false;
    if (open) {
      held = !m_pages.empty() && !holder;
      m_pages.push_back(page);
    } else {
      const auto found = std::find(m_pages.rbegin(), m_pages.rend(), page);
      if (found != m_pages.rend()) m_pages.erase(std::next(found).base());
      held = holder && (m_pages.empty() || m_pages.back() != page);
    }
    // The sound moved away from the page that held it: what it did ends.
    gone = held && (m_capture || m_play);
    if (gone) {
      m_capture = false;
      m_play = 0;
      m_playPath.clear();
    }
  }
  if (gone) Tell([](Listener& listener) { listener.PageGone(); });
  Changed(false);
}

bool PageSoundPort::Connected() {
  std::lock_guard lock(m_mutex);
  return !m_pages.empty();
}

void PageSoundPort::Capture(bool on, int input) {
  {
    std::lock_guard lock(m_mutex);
    if (on) ++m_captureSerial;
    m_capture = on;
    m_input = input;
  }
  Changed(true);
}

void PageSoundPort::Play(unsigned long play, const std::string& path) {
  {
    std::lock_guard lock(m_mutex);
    m_play = play;
    m_playPath = path;
    m_paused = false;
  }
  Changed(true);
}

void PageSoundPort::PausePlay(bool paused) {
  {
    std::lock_guard lock(m_mutex);
    m_paused = paused;
  }
  Changed(true);
}

void PageSoundPort::StopPlay() {
  {
    std::lock_guard lock(m_mutex);
    m_play = 0;
    m_playPath.clear();
  }
  Changed(true);
}

bool PageSoundPort::Report(const std::string& page, const json& report) {
  {
    std::lock_guard lock(m_mutex);
    if (!IsSoundPage(page)) return true;  // an older page: what it says is past
  }
  if (!report.is_object() || !report.contains("event") || !report["event"].is_string())
    return false;
  const std::string event = report["event"];
  const std::string message = report.value("message", std::string());
  if (event == "started") {
    Tell([](Listener& listener) { listener.CaptureStarted(); });
  } else if (event == "failed") {
    if (message.empty()) return false;
    Tell([&](Listener& listener) { listener.CaptureFailed(message); });
  } else if (event == "inputs") {
    if (!report.contains("inputs") || !report["inputs"].is_array()) return false;
    std::vector<std::string> labels;
    for (const auto& label : report["inputs"]) {
      if (!label.is_string()) return false;
      labels.push_back(label);
    }
    Tell([&](Listener& listener) { listener.Inputs(std::move(labels)); });
  } else if (event == "ended" || event == "stopped") {
    if (!report.contains("play") || !report["play"].is_number_integer() || report["play"] < 0)
      return false;
    const unsigned long play = report["play"];
    Tell([&](Listener& listener) { listener.PlayEnded(play, event == "stopped", message); });
  } else {
    return false;
  }
  return true;
}

bool PageSoundPort::Samples(const std::string& page, std::uint64_t at, unsigned rate,
                            const std::string& bytes) {
  if (bytes.size() % 2 != 0) return false;
  {
    std::lock_guard lock(m_mutex);
    if (!IsSoundPage(page) || !m_capture) return true;
  }
  std::vector<std::int16_t> samples(bytes.size() / 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const auto low = static_cast<unsigned char>(bytes[2 * i]);
    const auto high = static_cast<unsigned char>(bytes[2 * i + 1]);
    samples[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(low | high << 8));
  }
  Tell([&](Listener& listener) { listener.Samples(at, samples.data(), samples.size(), rate); });
  return true;
}

void PageSoundPort::Serve(PageServer& server) {
  auto& http = server.Http();
  const auto limit = server.Limits().commandBytes;
  const std::string tooLong = "A piece of sound from the page is at most " + SizeText(limit) + ".";
  http.Post("/sound/pcm",
            [this, limit, tooLong](const httplib::Request& req, httplib::Response& res,
                                   const httplib::ContentReader& reader) {
              if (const auto body = PageServer::ReadBody(req, res, reader, limit, tooLong))
                TakeSamples(req, res, *body);
            });
  http.Post("/sound/report",
            [this, limit, tooLong](const httplib::Request& req, httplib::Response& res,
                                   const httplib::ContentReader& reader) {
              if (const auto body = PageServer::ReadBody(req, res, reader, limit, tooLong))
                TakeReport(req, res, *body);
            });
  http.Get("/sound", [this](const httplib::Request& req, httplib::Response& res) {
    StreamFile(req, PlayingPath(req), res);
  });
}

void PageSoundPort::TakeSamples(const httplib::Request& req, httplib::Response& res,
                                const std::string& body) {
  std::uint64_t at = 0;
  std::uint64_t rate = 0;
  if (!Number(req.get_param_value("at"), &at) || !Number(req.get_param_value("rate"), &rate) ||
      rate > 1000000 ||
      !Samples(req.get_param_value("page"), at, static_cast<unsigned>(rate), body)) {
    res.status = 400;
    res.set_content("Samples are 16-bit PCM with their first sample's number and their rate.",
                    kText);
    return;
  }
  res.status = 204;
}

void PageSoundPort::TakeReport(const httplib::Request& req, httplib::Response& res,
                               const std::string& body) {
  const json report = json::parse(body, nullptr, false);
  if (report.is_discarded() || !Report(req.get_param_value("page"), report)) {
    res.status = 400;
    res.set_content(kBadReport, kText);
    return;
  }
  res.status = 204;
}

std::string PageSoundPort::PlayingPath(const httplib::Request& req) {
  std::uint64_t play = 0;
  std::lock_guard lock(m_mutex);
  if (Number(req.get_param_value("play"), &play) && play == m_play &&
      IsSoundPage(req.get_param_value("page")))
    return m_playPath;
  return "";
}

}  // namespace mailhost
