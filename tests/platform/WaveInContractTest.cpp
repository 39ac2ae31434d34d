// The capture contract, run against the virtual-time device and ALSA's (a
// file-fed microphone on the null device). Both speak the same bytes, so
// both must hand back exactly those bytes, in order, on the loop.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "platform/WaveIn.h"
#include "platform/fake/FakeWaveIn.h"
#include "platform/linux/AlsaWaveIn.h"
#include "platform/linux/PollEventLoop.h"
#include "platform/page/PageWaveIn.h"
#include "tests/platform/MediaBackends.h"
#include "tests/support/ContractTest.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/SoundFiles.h"

namespace platform {
namespace {

// The bytes as 16-bit samples, as a microphone that the meter hears in 8 bits.
std::vector<short> Widened(const std::vector<std::uint8_t>& bytes) {
  std::vector<short> samples;
  for (auto b : bytes) samples.push_back(static_cast<short>((b - 128) * 256));
  return samples;
}

struct FakeWaveInBackend : FakeMediaBackend {
  FakeWaveIn waveIn{loop, microphone};
  void Speak(const std::string& folder, const std::vector<std::uint8_t>& bytes) {
    UseMicrophone(folder, Widened(bytes), 11025);
  }
  WaveIn& Capture() { return waveIn; }
  Millis Now() const { return loop.Now(); }
};

// ALSA's capture speaks the bytes as they are, in the meter's 8 bits.
struct AlsaWaveInBackend : AlsaMediaBackend {
  std::unique_ptr<AlsaWaveIn> waveIn;
  void Speak(const std::string& folder, const std::vector<std::uint8_t>& bytes) {
    UseRawMicrophone(folder, std::string(bytes.begin(), bytes.end()));
    waveIn = std::make_unique<AlsaWaveIn>(loop, *media);
  }
  WaveIn& Capture() { return *waveIn; }
};

// A scripted page that speaks the bytes, as 16-bit samples at 11,025 Hz.
struct PageWaveInBackend : ScriptedPageSound {
  static constexpr const char* kName = "Page";
  std::unique_ptr<PageWaveIn> waveIn;

  void Speak(const std::string&, const std::vector<std::uint8_t>& bytes) {
    OpenPage(Widened(bytes), 11025);
    waveIn = std::make_unique<PageWaveIn>(loop, *sound);
  }
  WaveIn& Capture() { return *waveIn; }
};

template <typename Backend>
class WaveInContract : public testing::Test {
 protected:
  WaveInContract() {
    for (int i = 0; i < 11025 * 4; ++i) m_spoken.push_back(static_cast<std::uint8_t>(i * 7 % 251));
    m_backend.Speak(m_folder.Path(), m_spoken);
  }
  WaveIn& Capture() { return m_backend.Capture(); }
  // Hands the header over and counts its completions, with their threads.
  void Add(WaveInHandle handle) {
    m_header = WaveHeader{};
    m_header.data = m_buffer.data();
    m_header.bufferLength = static_cast<std::uint32_t>(m_buffer.size());
    Capture().Prepare(handle, &m_header);
    Capture().AddBuffer(handle, &m_header, [this] {
      ++m_done;
      if (std::this_thread::get_id() != m_testThread) ++m_offThread;
    });
  }
  bool Filled(int count) {
    return m_backend.RunUntil([&] { return m_done >= count; });
  }

  testsupport::ScratchFolder m_folder;
  Backend m_backend;
  std::vector<std::uint8_t> m_spoken;
  std::vector<std::uint8_t> m_buffer = std::vector<std::uint8_t>(256, 0);
  WaveHeader m_header;
  int m_done = 0;
  int m_offThread = 0;
  std::thread::id m_testThread = std::this_thread::get_id();
};

SONVERA_CONTRACT_SUITE(WaveInContract, FakeWaveInBackend, AlsaWaveInBackend, PageWaveInBackend);

TYPED_TEST(WaveInContract, FirstDeviceTakesTheMeterFormatAndBadRequestsFail) {
  WaveIn& capture = this->Capture();
  ASSERT_GE(capture.DeviceCount(), 1u);
  WaveInCaps caps;
  ASSERT_TRUE(capture.Caps(0, &caps));
  EXPECT_NE(caps.formats & kFormat1M08, 0u);
  EXPECT_GT(strnlen(caps.name, sizeof caps.name), 0u);
  EXPECT_FALSE(capture.Caps(capture.DeviceCount(), &caps));
  EXPECT_EQ(capture.Open(capture.DeviceCount(), WaveFormat{}), 0u);
  WaveFormat sixteen;
  sixteen.bitsPerSample = 16;
  EXPECT_EQ(capture.Open(0, sixteen), 0u);
}

TYPED_TEST(WaveInContract, BuffersHoldTheSpokenBytesInOrderAtTheirRate) {
  WaveIn& capture = this->Capture();
  const WaveInHandle handle = capture.Open(0, WaveFormat{});
  ASSERT_NE(handle, 0u);
  const Millis start = this->m_backend.Now();
  capture.Start(handle);
  std::vector<std::uint8_t> heard;
  for (int i = 0; i < 8; ++i) {
    this->Add(handle);
    ASSERT_TRUE(this->Filled(i + 1)) << "buffer " << i;
    EXPECT_NE(this->m_header.flags & WaveHeader::kDone, 0u);
    ASSERT_EQ(this->m_header.bytesRecorded, 256u);
    heard.insert(heard.end(), this->m_buffer.begin(), this->m_buffer.end());
  }
  EXPECT_EQ(this->m_offThread, 0) << "onDone ran off the loop";
  EXPECT_EQ(heard,
            std::vector<std::uint8_t>(this->m_spoken.begin(), this->m_spoken.begin() + 2048));
  // 2,048 bytes at 11,025 a second: 186 ms, never much less.
  EXPECT_GE((this->m_backend.Now() - start).count(), 170);
  capture.Close(handle);
}

TYPED_TEST(WaveInContract, ResetReturnsTheQueuedBufferAndSilencesIt) {
  WaveIn& capture = this->Capture();
  const WaveInHandle handle = capture.Open(0, WaveFormat{});
  ASSERT_NE(handle, 0u);
  this->Add(handle);
  capture.Start(handle);
  capture.Reset(handle);
  EXPECT_NE(this->m_header.flags & WaveHeader::kDone, 0u);
  this->m_backend.Pass(Millis(100));
  EXPECT_EQ(this->m_done, 0) << "a buffer came back after Reset";

  // Started again, the device captures again; after Close nothing runs.
  capture.Start(handle);
  this->Add(handle);
  ASSERT_TRUE(this->Filled(1));
  this->Add(handle);
  capture.Close(handle);
  this->m_backend.Pass(Millis(100));
  EXPECT_EQ(this->m_done, 1);
}

TYPED_TEST(WaveInContract, ABuffersCompletionMayCloseItsOwnHandle) {
  WaveIn& capture = this->Capture();
  const WaveInHandle handle = capture.Open(0, WaveFormat{});
  ASSERT_NE(handle, 0u);
  capture.Start(handle);
  // Two buffers queued: the first's completion closes the handle, and the
  // second's completion never runs.
  std::vector<std::uint8_t> bytes(512);
  WaveHeader first{bytes.data(), 256};
  WaveHeader second{bytes.data() + 256, 256};
  int done = 0;
  capture.AddBuffer(handle, &first, [&] {
    ++done;
    capture.Close(handle);
  });
  capture.AddBuffer(handle, &second, [&] { ++done; });
  ASSERT_TRUE(this->m_backend.RunUntil([&] { return done >= 1; }));
  this->m_backend.Pass(Millis(200));
  EXPECT_EQ(done, 1) << "a buffer came back after its handle was closed";
}

}  // namespace
}  // namespace platform
