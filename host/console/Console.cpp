#include "host/console/Console.h"

#include <unistd.h>

#include <cerrno>
#include <deque>
#include <filesystem>
#include <functional>
#include <set>

#include "host/commands/CommandDispatcher.h"
#include "host/commands/LineWriter.h"
#include "host/console/ConsoleBoxes.h"
#include "host/model/MailHost.h"
#include "host/setup/HostSetup.h"
#include "platform/Platform.h"

namespace mailhost {
namespace {

constexpr const char* kPrompt = "mailhost> ";
constexpr const char* kWelcome = "mailhost: type help for the commands, quit to end.";
constexpr int kStdin = 0;

// Reads commands from standard input without stopping the event loop, and
// hands lines to message boxes that wait for an answer.
//
// WARNING: everything here runs nested: commands run inside the loop's
// watcher task, boxes and `wait` run nested loops inside commands or timers.
// A nested loop may only be ended while it is the innermost; an end that
// comes while a deeper loop runs is deferred until control is back in it.
class Session : public LineSource {
 public:
  Session(platform::EventLoop& loop, MailHost& host, std::ostream& out, std::ostream& errors)
      : m_loop(loop), m_host(host), m_out(out), m_errors(errors), m_person(isatty(kStdin)) {}

  void SetDispatcher(CommandDispatcher* dispatcher) { m_dispatcher = dispatcher; }

  // Starts the host with `start`, then reads commands until the host quits.
  void Run(const std::function<void()>& start) {
    m_loop.WatchReadable(kStdin, [this] { OnReadable(); });
    if (m_person) m_out << kWelcome << std::endl;
    m_running = true;  // lines typed meanwhile wait for the start to end
    try {
      start();
      m_loop.RunPending();
    } catch (const std::exception& e) {
      m_errors << "mailhost: " << e.what() << std::endl;
    }
    m_running = false;
    Prompt(kPrompt);
    Pump();
    while (!m_host.QuitRequested()) RunNested();
    m_loop.Unwatch(kStdin);
  }

  std::optional<std::string> WaitForLine() override {
    while (m_lines.empty() && !m_endOfInput && !m_host.QuitRequested()) {
      m_lineWaiters.push_back(m_loop.Depth() + 1);
      RunNested();
      m_lineWaiters.pop_back();
    }
    if (m_lines.empty()) return std::nullopt;
    auto line = m_lines.front();
    m_lines.pop_front();
    return line;
  }

  void Prompt(const std::string& text) override {
    if (!m_person) return;
    m_out << text << std::flush;
  }

  // Lets real time pass with the loop running.
  void Wait(std::chrono::milliseconds duration) {
    const int depth = m_loop.Depth() + 1;
    bool done = false;
    auto timer = m_loop.SetTimer(duration, false, [this, depth, &done] {
      done = true;
      QuitRunAt(depth);
    });
    while (!done && !m_host.QuitRequested() && !QuitIsNext()) RunNested();
    m_loop.KillTimer(timer);
  }

 private:
  void RunNested() {
    m_loop.Run();
    // Back in the loop that was running around it: end it if that was asked
    // for while a deeper one ran.
    if (m_deferredQuits.erase(m_loop.Depth())) m_loop.Quit();
  }

  void QuitRunAt(int depth) {
    if (m_loop.Depth() == depth) {
      m_loop.Quit();
    } else if (m_loop.Depth() > depth) {
      m_deferredQuits.insert(depth);
    }
  }

  // While a command runs, a `quit` next in line is obeyed at once: the host's
  // exit unwinds the command, however long it would wait.
  bool QuitIsNext() {
    if (!m_running || m_lines.empty() || m_lines.front() != "quit") return false;
    m_host.RequestQuit();
    return true;
  }

  void OnReadable() {
    char buffer[4096];
    const ssize_t n = read(kStdin, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n <= 0) {
      m_endOfInput = true;
      m_loop.Unwatch(kStdin);
      if (!m_partial.empty()) m_lines.push_back(std::exchange(m_partial, {}));
    } else {
      for (ssize_t i = 0; i < n; ++i) {
        if (buffer[i] == '\n') {
          m_lines.push_back(std::exchange(m_partial, {}));
        } else {
          m_partial += buffer[i];
        }
      }
    }
    if (QuitIsNext()) return;
    if (!m_lineWaiters.empty()) {
      if (!m_lines.empty() || m_endOfInput) QuitRunAt(m_lineWaiters.back());
      return;
    }
    Pump();
  }

  void Pump() {
    if (m_running) return;  // the command in progress takes the lines when it is done
    m_running = true;
    while (!m_lines.empty() && !m_host.QuitRequested()) {
      const auto line = m_lines.front();
      m_lines.pop_front();
      ++m_lineNumber;
      try {
        if (auto command = ScriptParser::ParseLine(line, m_lineNumber, Place::Console)) {
          m_dispatcher->Run(*command);
          m_loop.RunPending();
        }
      } catch (const std::exception& e) {
        m_errors << "mailhost: " << e.what() << std::endl;
      }
      if (!m_host.QuitRequested()) Prompt(kPrompt);
    }
    m_running = false;
    if (m_endOfInput && m_lines.empty()) m_host.RequestQuit();
  }

  platform::EventLoop& m_loop;
  MailHost& m_host;
  std::ostream& m_out;
  std::ostream& m_errors;
  CommandDispatcher* m_dispatcher = nullptr;
  const bool m_person;
  std::deque<std::string> m_lines;
  std::string m_partial;
  bool m_endOfInput = false;
  bool m_running = false;
  int m_lineNumber = 0;
  std::vector<int> m_lineWaiters;  // depths of the loops of boxes waiting for a line
  std::set<int> m_deferredQuits;
};

}  // namespace

int Console::Run(const HostOptions& options, std::ostream& out, std::ostream& errors) {
  LineWriter writer(out);
  auto setup = HostSetup::Open(options, writer, errors);
  if (!setup) return 1;
  Session session(setup->Loop(), setup->Host(), out, errors);
  ConsoleBoxes boxes(writer, session);
  FrontEnd frontEnd;
  frontEnd.boxes = &boxes;
  frontEnd.dispatch.baseFolder = std::filesystem::current_path().string();
  frontEnd.dispatch.wait = [&session](std::chrono::milliseconds duration) {
    session.Wait(duration);
  };
  frontEnd.dispatch.queueAnswer = [&boxes](platform::Answer answer) { boxes.Queue(answer); };
  auto& dispatcher = setup->Install(std::move(frontEnd));
  session.SetDispatcher(&dispatcher);

  session.Run([&dispatcher] { dispatcher.Start(); });
  setup->Shutdown();
  return 0;
}

}  // namespace mailhost
