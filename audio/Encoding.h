#pragma once
// What the encoder is run with: the rate of the quality setting, the
// command line, and the recording brought to that rate and loudness first.
#include <cstdint>
#include <functional>
#include <string>

#include "audio/Loudness.h"
#include "platform/Processes.h"

namespace sonvera {

// The encoder program in the add-in folder.
std::string EncoderPath(const std::string& folder);

// "8000", "11025", "22050", "44100" for qualities 0 to 3.
std::string RateText(int quality);

// folder "/lame -s " rate " -m m -a --quiet -p -o " " " shortFolder
// "/Temp.wav " " " shortFolder "/Sonvera.mp3 ". The encoder's path is quoted
// when it holds a blank, so that it stays one word when the line is split.
std::string EncoderCommandLine(const std::string& folder, const std::string& rate,
                               const std::string& shortFolder);
// The wav and mp3 arguments as the line holds them, for the failure text.
std::string WavArgument(const std::string& shortFolder);
std::string Mp3Argument(const std::string& shortFolder);

// Resamples the WAV file in place to `rate` Hz when its rate differs; the
// encoder takes its rate from the command line, not from the file. A file
// that cannot be opened is left alone for the encoder to refuse. Throws
// platform::Error when the converted file cannot be written, or the
// recording fails part way through its reading (the original is then kept).
void ConvertRate(const std::string& wavPath, int rate);

// What ConvertRate does, with the voice brought to `target` on the way: one
// pass converts the rate and measures, one applies the gain and limits the
// peaks the gain would push past the target's (made again, at most a few
// times, when its result misses). Silence, and a recording too quiet to
// measure, keep their level. Throws platform::Error
// when it cannot, and the file is then as it was, for ConvertRate alone.
void NormaliseLoudness(const std::string& wavPath, int rate, const LoudnessTarget& target = {});

// Seconds since local midnight; replaceable so that a test can cross it.
extern std::function<long()> SecondsSinceMidnight;

// How a wait for a program ended.
struct ProgramRun {
  enum class End {
    NotStarted,  // the program could not be started
    Exited,      // it ended by itself: see `exit`
    TimedOut,    // the time-out struck and it was ended
    HostEnding,  // the host is exiting: the wait gave up and ended it
  };
  End end = End::NotStarted;
  platform::ExitStatus exit;
  std::int32_t timeOutSeconds = 0;
};

// The time the encoder is given, in seconds: ten minutes, or ten times the
// recording's length when that is longer. A hung encoder must not hold the
// mail window for ever, and a long recording on a slow machine must not be
// cut short.
std::int32_t EncoderTimeOut(const std::string& wavPath);

// What went wrong when the encoder produced no MP3, for the error object's
// description: its exit code or signal, its own last words, and the
// system's words when the folder cannot take a file ("No space left on
// device"). "" when `run` ended well and `mp3` holds something.
std::string EncoderFailure(const ProgramRun& run, const std::string& encoder,
                           const std::string& mp3);

}  // namespace sonvera
