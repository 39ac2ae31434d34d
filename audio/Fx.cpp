#include "audio/Fx.h"

#include <cstdio>
#include <cstring>

#include "audio/FrmProp.h"
#include "common/AddinFolder.h"
#include "common/FormControls.h"
#include "common/Routine.h"
#include "common/Trace.h"
#include "platform/Platform.h"
#include "settings/Settings.h"

namespace sonvera {

namespace {

constexpr std::uint32_t kBufferBytes = 256;
const char* const kQualityFigures[kQualityCount] = {"1", "2", "4", "8"};

}  // namespace

Fx& Fx::Instance() {
  static Fx form;
  return form;
}

Fx::Fx() : Timer1([this] { Timer1_Timer(); }), Vis([this] { Vis_Timer(); }) {}

void Fx::Load() {
  if (m_loaded) return;
  m_window = platform::GetWindows().CreateForm("Fx", "", kWidth, kHeight);
  m_window->SetControl(MakeControl("lblTime", platform::ControlKind::Label, "", 108, 4, 33, 25));
  m_window->SetControl(MakeControl("lblKBS", platform::ControlKind::Label, "", 108, 14, 33, 25));
  auto devices = MakeControl("DevicesBox", platform::ControlKind::List, "", 16, 0, 26, 21);
  // It would lie over the bars; the list is kept for the device choice only.
  devices.visible = false;
  m_window->SetControl(devices);
  Timer1.SetInterval(1000);
  Vis.SetInterval(2000);
  m_loaded = true;
  try {
    Form_Load();
  } catch (...) {
    Unload();
    throw;
  }
}

void Fx::Form_Load() {
  Trace("Fx Form_Load");
  m_qualityFigure = kQualityFigures[AudioQuality()];
  InitDevices();
  for (int k = 0; k < 8; ++k) {
    LevelPics[k] = platform::GetPictures().Load(AddinFile("\\S" + std::to_string(k + 1) + ".bmp"));
    LevelTop[k] = static_cast<std::int16_t>(25 - 3 * k);
  }
  CaptureFormat = platform::WaveFormat{};
  const auto* list = m_window->Find("DevicesBox");
  const int position = list ? list->listIndex : 0;
  const unsigned device = position >= 0 && position < static_cast<int>(m_deviceIds.size())
                              ? m_deviceIds[position]
                              : 0;
  auto& waveIn = platform::GetWaveIn();
  WaveInHandle = waveIn.Open(device, CaptureFormat);
  Trace("waveInOpen:" + std::to_string(WaveInHandle));
  if (WaveInHandle != 0) {
    waveIn.Start(WaveInHandle);
    Vis.SetEnabled(true);
    Timer1.SetEnabled(true);
    ElapsedCount = 0;
  }
}

void Fx::InitDevices() {
  auto* list = m_window->Find("DevicesBox");
  list->items.clear();
  list->listIndex = -1;
  m_deviceIds.clear();
  auto& waveIn = platform::GetWaveIn();
  const unsigned count = waveIn.DeviceCount();
  for (unsigned id = 0; id < count; ++id) {
    platform::WaveInCaps caps;
    if (!waveIn.Caps(id, &caps)) continue;
    if ((caps.formats & platform::kFormat1M08) == 0) continue;
    list->items.emplace_back(caps.name, strnlen(caps.name, sizeof caps.name));
    m_deviceIds.push_back(id);
  }
  if (list->items.empty()) {
    platform::BoxRequest box;
    box.text = "You have no audio input devices!";
    box.title = "Ack!";
    box.icon = platform::Icon::Critical;
    platform::GetBoxes().Show(box);
    throw platform::Error("Invalid property value");
  }
  list->listIndex = 0;
}

void Fx::Timer1_Timer() {
  auto& recorder = FrmProp::Instance();
  const int m1 = recorder.WStatus();
  const int m2 = recorder.WStatus();
  if (m1 == platform::media_mode::kRecord || m2 == platform::media_mode::kPlay) {
    ElapsedCount += 1;
    if (ElapsedCount % 100 > 59) ElapsedCount += 40;
    char time[16];
    std::snprintf(time, sizeof time, "%02d:%02d", ElapsedCount / 100 % 100, ElapsedCount % 100);
    if (auto* label = m_window->Find("lblTime")) label->text = time;
    if (auto* label = m_window->Find("lblKBS")) label->text = m_qualityFigure + " Kbs";
  } else {
    Vis.SetEnabled(false);
  }
}

void Fx::Vis_Timer() {
  // One capture cycle at a time; a later tick finds it running.
  if (m_capturing || WaveInHandle == 0) return;
  m_capturing = true;
  CaptureNext();
}

void Fx::CaptureNext() {
  auto& waveIn = platform::GetWaveIn();
  CaptureHeader = platform::WaveHeader{};
  CaptureHeader.data = CaptureBuffer.data();
  CaptureHeader.bufferLength = kBufferBytes;
  waveIn.Prepare(WaveInHandle, &CaptureHeader);
  const auto generation = m_generation;
  waveIn.AddBuffer(WaveInHandle, &CaptureHeader, [this, generation] { BufferDone(generation); });
}

void Fx::BufferDone(std::uint64_t generation) {
  if (generation != m_generation || WaveInHandle == 0) return;
  platform::GetWaveIn().Unprepare(WaveInHandle, &CaptureHeader);
  DrawScope();
  if (WaveInHandle != 0 && generation == m_generation) CaptureNext();
}

void Fx::DrawScope() {
  if (!m_window) return;
  m_window->Clear();
  for (int x = 10; x <= 90; x += 6) {
    const std::uint8_t b = CaptureBuffer[x];
    const int k = (b > 125 && b < 130) ? 0 : b / 32;
    m_window->Paint(LevelPics[k], x, LevelTop[k]);
  }
}

void Fx::CloseCapture() {
  auto& waveIn = platform::GetWaveIn();
  waveIn.Reset(WaveInHandle);
  waveIn.Close(WaveInHandle);
  WaveInHandle = 0;
}

void Fx::Unload() {
  if (!m_loaded) return;
  m_loaded = false;
  ++m_generation;
  m_capturing = false;
  Timer1.SetEnabled(false);
  Vis.SetEnabled(false);
  if (WaveInHandle != 0) IgnoreErrors([&] { CloseCapture(); });
  WaveInHandle = 0;
  m_window.reset();
}

}  // namespace sonvera
