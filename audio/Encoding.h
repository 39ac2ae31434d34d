#pragma once
// What the encoder is run with: the rate of the quality setting, the
// command line, and the recording brought to that rate first.
#include <functional>
#include <string>

namespace sonvera {

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
// that cannot be read is left alone for the encoder to refuse. Throws
// platform::Error when the converted file cannot be written (the original
// is then kept).
void ConvertRate(const std::string& wavPath, int rate);

// Seconds since local midnight; replaceable so that a test can cross it.
extern std::function<long()> SecondsSinceMidnight;

}  // namespace sonvera
