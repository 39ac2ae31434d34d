#pragma once
// The floating level meter: elapsed time, the rate caption and a coarse
// picture of the microphone, captured on its own at 11,025 Hz 8-bit mono.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/FormTimer.h"
#include "platform/WaveIn.h"
#include "platform/Windows.h"

namespace sonvera {

class Fx {
 public:
  static Fx& Instance();

  // Loading opens the capture device and starts the meter; throws when the
  // device list is empty (after the "Ack!" box), as setting its position fails.
  void Load();
  void Unload();
  bool Loaded() const { return m_loaded; }
  platform::FormWindow* Window() const { return m_window.get(); }

  void InitDevices();
  void CloseCapture();
  void DrawScope();

  static constexpr int kWidth = 139;
  static constexpr int kHeight = 26;

  platform::WaveInHandle WaveInHandle = 0;
  std::int32_t ElapsedCount = 0;
  std::array<platform::PicturePtr, 9> LevelPics{};
  std::array<std::int16_t, 8> LevelTop{};
  std::array<std::uint8_t, 512> CaptureBuffer{};
  platform::WaveFormat CaptureFormat;
  platform::WaveHeader CaptureHeader;

 private:
  Fx();
  void Form_Load();
  void Timer1_Timer();
  void Vis_Timer();
  void CaptureNext();
  void BufferDone(std::uint64_t generation);

  bool m_loaded = false;
  std::shared_ptr<platform::FormWindow> m_window;
  FormTimer Timer1;
  FormTimer Vis;
  std::string m_qualityFigure;
  // The device id of each entry of the list, which may leave devices out.
  std::vector<unsigned> m_deviceIds;
  bool m_capturing = false;
  // Tells a buffer of an earlier opening from one of this one.
  std::uint64_t m_generation = 0;
};

}  // namespace sonvera
