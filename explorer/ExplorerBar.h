#pragma once
// The main window's bar: the product button, Play and the list of the
// selected mail's voice attachments. Built once at start-up, shown only in
// mail folders. The application object owns it and releases its members in
// its own shutdown order.
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/FrmProp.h"
#include "common/WithEvents.h"
#include "hostmodel/HostModel.h"

namespace sonvera {

class ExplorerBar : public std::enable_shared_from_this<ExplorerBar> {
 public:
  // `player` is told when a play started from this bar ends.
  explicit ExplorerBar(std::weak_ptr<PlaybackCaller> player) : m_player(std::move(player)) {}

  void AddButtons();
  void oExp_SelectionChange();
  void CmdAmp_Click(const hostmodel::Ref<hostmodel::CommandBarButton>& Ctrl, bool& CancelDefault);
  void CmdPlay_Click(const hostmodel::Ref<hostmodel::CommandBarButton>& Ctrl, bool& CancelDefault);
  void ListSoundFiles();
  void PlayIsFinished();

  // The main window, bound for its SelectionChange by the start-up sequence.
  WithEvents<hostmodel::Explorer> oExp;
  hostmodel::Ref<hostmodel::CommandBar> oCBar;
  WithEvents<hostmodel::CommandBarButton> CmdAmp;
  WithEvents<hostmodel::CommandBarButton> CmdPlay;
  hostmodel::Ref<hostmodel::CommandBarComboBox> CmdList;
  hostmodel::Ref<hostmodel::MailItem> oMail;
  std::vector<std::int16_t> AttachmentIndex{0};

  static constexpr const char* kBarName = "Sonvera";

 private:
  // The main window; throws once it is released.
  hostmodel::Explorer& Window() const;

  std::weak_ptr<PlaybackCaller> m_player;
};

}  // namespace sonvera
