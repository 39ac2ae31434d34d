#pragma once
// The hidden form whose loading runs the once-per-start update check.
#include <memory>

#include "common/ErrorPrompt.h"
#include "common/ProductServer.h"

namespace sonvera {

class frmUpdateMon {
 public:
  static frmUpdateMon& Instance();

  // Loading runs the form's load handler again, as every form's load does.
  void Load();
  void Unload();
  bool Loaded() const { return m_loaded; }

  // Set by the start-up sequence before Load; cleared by CleanShutdown.
  std::shared_ptr<ShutdownTarget> AmpRef;
  // Set by the start-up sequence with AmpRef: the server the check asks.
  ProductServer ProductHost;

  static constexpr const char* kCaption = "YOU SHOULD NOT SEE THIS FORM";

 private:
  void Form_Load();
  bool m_loaded = false;
};

}  // namespace sonvera
