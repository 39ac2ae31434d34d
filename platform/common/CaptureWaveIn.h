#pragma once
// The handle side of a wave-capture backend. Each open handle is one Stream
// that does the device's work; the backend only names its devices and opens
// a stream. Closing a handle drops it before its stream closes, so a
// stream's onDone may close its own handle.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/WaveIn.h"

namespace platform {

class CaptureWaveIn : public WaveIn {
 public:
  class Stream {
   public:
    virtual ~Stream() = default;
    virtual void Start() = 0;
    virtual void AddBuffer(WaveHeader* header, std::function<void()> onDone) = 0;
    // Hands back a buffer still queued, done; nothing queued before runs after.
    virtual void Reset() = 0;
    // As Reset, then releases the device.
    virtual void Close() = 0;
  };

  ~CaptureWaveIn() override;

  unsigned DeviceCount() final;
  bool Caps(unsigned id, WaveInCaps* caps) final;
  WaveInHandle Open(unsigned id, const WaveFormat& format) final;
  void Start(WaveInHandle handle) final;
  void Prepare(WaveInHandle, WaveHeader*) final {}
  void AddBuffer(WaveInHandle handle, WaveHeader* header, std::function<void()> onDone) final;
  void Unprepare(WaveInHandle, WaveHeader*) final {}
  void Reset(WaveInHandle handle) final;
  void Close(WaveInHandle handle) final;

 protected:
  struct Named {
    std::string name;  // what the user sees
    std::uint32_t formats = 0;
  };
  // The devices in id order.
  virtual std::vector<Named> Names() = 0;
  // Null when the device cannot be opened in that format.
  virtual std::shared_ptr<Stream> OpenStream(unsigned id, const WaveFormat& format) = 0;

 private:
  Stream* Find(WaveInHandle handle) const;

  std::map<WaveInHandle, std::shared_ptr<Stream>> m_streams;
  WaveInHandle m_next = 1;
};

}  // namespace platform
