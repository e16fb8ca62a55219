// The main window. The program lives exactly as long as it is open.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "typing/main_loop.h"

namespace teclix {

inline constexpr Rgb kLinkRed{255, 0, 0};
inline constexpr Rgb kLinkBlue{0, 0, 255};

// The maker's web domain, shown in the caption, and the host the link shows.
extern const std::u16string kMakerDomain;
extern const std::u16string kMakerHost;
// The window caption: "Teclix - " and the maker's domain.
extern const std::u16string kCaption;
// The instruction shown while F10 works.
extern const std::u16string kInstruction;
// Shown in its place when another program holds F10.
extern const std::u16string kHotkeyInUseNotice;
// The button that starts a paste after a countdown, and its caption while one runs.
extern const std::u16string kPasteButtonCaption;
extern const std::u16string kCancelButtonCaption;
// Said below the instruction when F10 went to another program that holds the keyboard.
extern const std::u16string kHotkeyTakenNotice;
// Said below the instruction when a paste typed nothing because the target runs as
// administrator and this program does not.
extern const std::u16string kElevatedTargetNotice;
// What the window says, below the instruction, of the desktop session; empty when
// there is nothing to say.
std::u16string session_notice(const SessionState &session);
// What the window says while a countdown runs, and when one ends with nothing typed.
std::u16string countdown_text(int seconds_left);
std::u16string countdown_end_text(CountdownEnd why);
// What the window says while a long paste runs, and after one that left characters out.
std::u16string paste_progress_text(std::size_t done, std::size_t total);
std::u16string skipped_characters_text(std::size_t skipped);
// The address a click on the link opens.
std::u16string link_address(const std::u16string &link_caption);

class Form1 : public WindowEvents, public PasteListener {
public:
  explicit Form1(Platform platform);

  // The load event: sets the captions, holds F10 and runs the loop until the
  // window closes.
  void Load();
  // The program's only loop; returns once the window has closed.
  void Bucle_Principal();
  // The unload event: stops the loop and releases F10.
  void Unload();

  // The public operations, in their interface order.
  WindowHandle GetFocusHandle();
  double Divide(std::int32_t arg1, std::int32_t arg2);
  std::int32_t Multiplica(std::int32_t arg1, std::int32_t arg2);
  void Enviar_Pulsacion(WindowHandle Handle);
  void Pulsar_Tecla(std::int32_t Tecla);
  void Pulsar_TeclaS(const std::u16string &Teclas);
  void Clickear(std::int32_t X, std::int32_t Y);
  std::int16_t BoxQues(const std::u16string &strMensaje, std::int16_t intOpcion,
                       const std::u16string &strTitulo);
  void pp(); // does nothing

  // The last character code handled by Enviar_Texto.
  std::uint8_t Key = 0;

  // Window events.
  void on_close() override { Unload(); }
  void on_background_mouse_move() override { restore_link(); }
  void on_link_mouse_move() override;
  void on_link_click() override;
  void on_paste_button_click() override;
  void on_escape_key() override;
  void on_hotkey_taken() override;
  void on_session_changed() override;

  // Paste events: the window shows the progress, then says what was left out.
  void paste_progress(std::size_t done, std::size_t total) override;
  void paste_finished(std::size_t skipped) override;
  void countdown_shown(int seconds_left) override;
  void countdown_ended(CountdownEnd why) override;
  void nothing_to_paste() override;
  void target_elevated() override;

  WindowHandle handle() const { return window_; }
  bool stopped() const { return stop_; }
  bool hotkey_held() const { return hotkey_held_; }
  bool link_restored() const { return link_restored_; }
  Rgb link_color() const { return link_color_; }
  const std::u16string &instruction() const { return instruction_; }
  const std::u16string &shown_text() const { return shown_; }
  const std::u16string &link_caption() const { return link_caption_; }
  const std::u16string &button_caption() const { return button_caption_; }
  bool counting_down() const { return countdown_.running(); }

private:
  // Posts a text to a window as typed characters.
  void Enviar_Texto(WindowHandle window, const std::u16string &text);
  // Puts the link back in its resting colour once the pointer has left it.
  void restore_link();
  void set_link_color(Rgb color);
  void show_text(const std::u16string &text);
  void set_button(const std::u16string &caption);

  Platform platform_;
  WindowHandle window_ = 0;
  Point saved_cursor_;
  bool stop_ = false;
  bool link_restored_ = false;
  bool hotkey_held_ = false;
  Rgb link_color_ = kLinkRed;
  std::u16string instruction_; // what the window says between pastes
  std::u16string first_line_;  // ... before the session's notice
  std::u16string shown_;       // what it says now
  std::u16string link_caption_;
  std::u16string button_caption_;
  PasteCountdown countdown_;
};

} // namespace teclix
