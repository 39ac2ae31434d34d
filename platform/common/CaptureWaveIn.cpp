#include "platform/common/CaptureWaveIn.h"

namespace platform {

CaptureWaveIn::~CaptureWaveIn() {
  while (!m_streams.empty()) Close(m_streams.begin()->first);
}

unsigned CaptureWaveIn::DeviceCount() {
  return static_cast<unsigned>(Names().size());
}

bool CaptureWaveIn::Caps(unsigned id, WaveInCaps* caps) {
  const auto names = Names();
  if (id >= names.size() || !caps) return false;
  *caps = MonoCaps(names[id].name, names[id].formats);
  return true;
}

CaptureWaveIn::Stream* CaptureWaveIn::Find(WaveInHandle handle) const {
  const auto found = m_streams.find(handle);
  return found == m_streams.end() ? nullptr : found->second.get();
}

WaveInHandle CaptureWaveIn::Open(unsigned id, const WaveFormat& format) {
  auto stream = OpenStream(id, format);
  if (!stream) return 0;
  const WaveInHandle handle = m_next++;
  m_streams[handle] = std::move(stream);
  return handle;
}

void CaptureWaveIn::Start(WaveInHandle handle) {
  if (auto* stream = Find(handle)) stream->Start();
}

void CaptureWaveIn::AddBuffer(WaveInHandle handle, WaveHeader* header,
                              std::function<void()> onDone) {
  if (auto* stream = Find(handle)) stream->AddBuffer(header, std::move(onDone));
}

void CaptureWaveIn::Reset(WaveInHandle handle) {
  if (auto* stream = Find(handle)) stream->Reset();
}

void CaptureWaveIn::Close(WaveInHandle handle) {
  const auto found = m_streams.find(handle);
  if (found == m_streams.end()) return;
  const auto stream = found->second;
  m_streams.erase(found);
  stream->Close();
}

}  // namespace platform
