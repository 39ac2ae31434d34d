#include "platform/common/WavRecording.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/common/DurableFile.h"

namespace platform {

namespace {

std::string TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

// mkstemp in `folder`; -1 when the folder is not writable.
int MakeTemp(const std::string& folder, std::string* path) {
  std::string name = folder + "/.recording-XXXXXX.wav";
  std::vector<char> buffer(name.begin(), name.end());
  buffer.push_back('\0');
  const int fd = mkstemps(buffer.data(), 4);
  if (fd >= 0) {
    *path = buffer.data();
    fchmod(fd, 0644);  // the saved file is an ordinary one, not a private temporary
  }
  return fd;
}

bool CopyFile(const std::string& from, const std::string& to) {
  const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) {
    close(in);
    return false;
  }
  std::vector<char> chunk(1 << 16);
  bool ok = true;
  for (;;) {
    const ssize_t n = read(in, chunk.data(), chunk.size());
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (!WriteAll(out, chunk.data(), static_cast<std::size_t>(n))) {
      ok = false;
      break;
    }
  }
  close(in);
  if (fsync(out) != 0) ok = false;
  if (close(out) != 0) ok = false;
  return ok;
}

}  // namespace

WavSpec WavSpec::Of(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  WavSpec spec;
  if (!file) return spec;
  sf_close(file);
  if ((info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_WAV || info.samplerate <= 0 ||
      info.channels <= 0)
    return spec;
  spec.rate = static_cast<unsigned>(info.samplerate);
  spec.channels = static_cast<unsigned>(info.channels);
  spec.subtype = info.format & SF_FORMAT_SUBMASK;
  return spec;
}

bool WavSpec::CreateEmpty(const std::string& path) const {
  SF_INFO info{};
  info.samplerate = static_cast<int>(rate);
  info.channels = static_cast<int>(channels);
  info.format = SF_FORMAT_WAV | subtype;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) return false;
  return sf_close(file) == 0;
}

WavRecording::WavRecording(const std::string& nearPath, const WavSpec& spec) : m_spec(spec) {
  int fd = MakeTemp(FolderOf(nearPath), &m_tempPath);
  if (fd < 0) fd = MakeTemp(TempFolder(), &m_tempPath);
  if (fd < 0)
    throw Error("Cannot make a file to record into: " + std::string(std::strerror(errno)) + ".");
  SF_INFO info{};
  info.samplerate = static_cast<int>(spec.rate);
  info.channels = static_cast<int>(spec.channels);
  info.format = SF_FORMAT_WAV | spec.subtype;
  if (!sf_format_check(&info)) {
    m_spec = WavSpec{};
    info.samplerate = static_cast<int>(m_spec.rate);
    info.channels = static_cast<int>(m_spec.channels);
    info.format = SF_FORMAT_WAV | m_spec.subtype;
  }
  errno = 0;
  m_file = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
  if (!m_file) {
    // The system's words where the header could not be written (a full disk).
    const std::string why = errno ? std::strerror(errno) : sf_strerror(nullptr);
    unlink(m_tempPath.c_str());
    throw Error("Cannot record into " + m_tempPath + ": " + why + ".");
  }
  // A header that is always right: a crash mid-recording leaves a valid file.
  sf_command(m_file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
}

WavRecording::~WavRecording() {
  if (m_file) sf_close(m_file);
  if (!m_tempPath.empty()) unlink(m_tempPath.c_str());
}

void WavRecording::Append(const short* frames, long long count) {
  if (!m_file || count <= 0) return;
  errno = 0;
  const sf_count_t written = sf_writef_short(m_file, frames, count);
  if (written > 0) m_frames += written;
  if (written != count && !m_failed) {
    m_failed = true;
    m_error = errno ? errno : EIO;
  }
}

void WavRecording::AppendFrom(AudioFileReader& reader) {
  if (reader.Format().channels != m_spec.channels) return;
  std::vector<short> chunk(4096 * m_spec.channels);
  for (;;) {
    const long long got = reader.Read(chunk.data(), 4096);
    if (got <= 0) break;
    Append(chunk.data(), got);
  }
}

void WavRecording::SaveTo(const std::string& path) {
  if (!m_file) throw Error("The recording was saved already.");
  errno = 0;
  const int rc = sf_close(m_file);
  if (rc != 0 && !m_failed) m_error = errno ? errno : EIO;
  m_file = nullptr;
  if (rc != 0 || m_failed)
    throw Error("The recording could not be written completely to disk: " +
                std::string(std::strerror(m_error)) + ".");
  if (std::rename(m_tempPath.c_str(), path.c_str()) == 0) {
    m_tempPath.clear();
    return;
  }
  // Another file system (the temporary folder), or a target in the way.
  if (!CopyFile(m_tempPath, path)) {
    const int error = errno;
    unlink(path.c_str());
    throw Error("Cannot save the recording to " + path + ": " + std::strerror(error) + ".");
  }
}

}  // namespace platform
