// The page's end of the sound devices, without a browser: which page holds
// the sound, what a page's samples and reports become, and what is refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/web/PageSoundPort.h"
#include "platform/linux/PollEventLoop.h"

namespace mailhost {
namespace {

using nlohmann::json;

struct Heard : platform::PageSoundLink::Listener {
  void Samples(std::uint64_t at, const std::int16_t* samples, std::size_t count,
               unsigned rate) override {
    lines.push_back("samples " + std::to_string(at) + " " + std::to_string(rate));
    values.assign(samples, samples + count);
  }
  void CaptureStarted() override { lines.push_back("started"); }
  void CaptureFailed(const std::string& why) override { lines.push_back("failed " + why); }
  void Inputs(std::vector<std::string> labels) override {
    std::string line = "inputs";
    for (const auto& label : labels) line += " " + label;
    lines.push_back(line);
  }
  void PlayEnded(unsigned long play, bool stopped, const std::string&) override {
    lines.push_back((stopped ? "stopped " : "ended ") + std::to_string(play));
  }
  void PageGone() override { lines.push_back("gone"); }

  std::vector<std::string> lines;
  std::vector<std::int16_t> values;
};

class PageSoundPortTest : public testing::Test {
 protected:
  PageSoundPortTest() {
    m_port.SetListener(&m_heard);
    m_port.OnChange([this] { ++m_changes; });
  }
  ~PageSoundPortTest() override { m_port.SetListener(nullptr); }

  platform::PollEventLoop m_loop;
  PageSoundPort m_port{m_loop};
  Heard m_heard;
  int m_changes = 0;
};

TEST_F(PageSoundPortTest, TheLastPageOpenHoldsTheSoundAndItsGoingEndsWhatItDid) {
  EXPECT_FALSE(m_port.Connected());
  EXPECT_TRUE(m_port.StateJson()["page"].is_null());
  m_port.Follows("first", true);
  m_port.Follows("second", true);
  EXPECT_TRUE(m_port.Connected());
  EXPECT_EQ(m_port.StateJson()["page"], "second");

  m_port.Capture(true, 1);
  EXPECT_GT(m_changes, 0) << "the page was not told at once";
  auto state = m_port.StateJson();
  EXPECT_EQ(state["capture"], true);
  EXPECT_EQ(state["input"], 1);
  m_port.Play(7, "/tmp/x.mp3");
  EXPECT_EQ(m_port.StateJson()["play"], (json{{"number", 7}, {"paused", false}}));

  // An older page closing changes nothing, nor the holder following again
  // before its broken stream is found closed; the holder's closing ends it all.
  m_port.Follows("first", false);
  m_port.Follows("second", true);
  m_port.Follows("second", false);
  EXPECT_TRUE(m_heard.lines.empty());
  EXPECT_EQ(m_port.StateJson()["capture"], true);
  m_port.Follows("second", false);
  EXPECT_EQ(m_heard.lines, std::vector<std::string>{"gone"});
  EXPECT_FALSE(m_port.Connected());
  state = m_port.StateJson();
  EXPECT_EQ(state["capture"], false) << "a page opened later would capture for nobody";
  EXPECT_TRUE(state["play"].is_null());
}

TEST_F(PageSoundPortTest, SamplesAreLittleEndianPcmFromTheHoldingPageWhileCapturing) {
  m_port.Follows("page", true);
  const std::string bytes("\x01\x00\xff\xff\x00\x80", 6);
  EXPECT_TRUE(m_port.Samples("page", 0, 48000, bytes));
  EXPECT_TRUE(m_heard.lines.empty()) << "samples came in while nothing captured";

  m_port.Capture(true, -1);
  EXPECT_TRUE(m_port.Samples("other", 0, 48000, bytes));
  EXPECT_TRUE(m_heard.lines.empty()) << "a page that does not hold the sound was heard";
  EXPECT_TRUE(m_port.Samples("page", 4800, 48000, bytes));
  EXPECT_EQ(m_heard.lines, std::vector<std::string>{"samples 4800 48000"});
  EXPECT_EQ(m_heard.values, (std::vector<std::int16_t>{1, -1, -32768}));
  EXPECT_FALSE(m_port.Samples("page", 0, 48000, std::string(3, '\0'))) << "half a sample";
}

TEST_F(PageSoundPortTest, ReportsBecomeWhatTheDevicesHearAndMalformedOnesAreRefused) {
  m_port.Follows("page", true);
  EXPECT_TRUE(m_port.Report("page", {{"event", "started"}}));
  EXPECT_TRUE(m_port.Report("page", {{"event", "failed"}, {"message", "refused"}}));
  EXPECT_TRUE(m_port.Report("page", {{"event", "inputs"}, {"inputs", {"Mic", "Headset"}}}));
  EXPECT_TRUE(m_port.Report("page", {{"event", "ended"}, {"play", 3}}));
  EXPECT_TRUE(m_port.Report("page", {{"event", "stopped"}, {"play", 4}}));
  EXPECT_EQ(m_heard.lines,
            (std::vector<std::string>{"started", "failed refused", "inputs Mic Headset", "ended 3",
                                      "stopped 4"}));
  m_heard.lines.clear();
  for (const json& bad :
       {json("started"), json{{"event", "explode"}}, json{{"event", "failed"}},
        json{{"event", "inputs"}, {"inputs", {1, 2}}}, json{{"event", "ended"}, {"play", -1}}})
    EXPECT_FALSE(m_port.Report("page", bad)) << bad.dump();
  // What an older page says is past, and is not held against it.
  EXPECT_TRUE(m_port.Report("older", {{"event", "started"}}));
  EXPECT_TRUE(m_heard.lines.empty());
}

}  // namespace
}  // namespace mailhost
