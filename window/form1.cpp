#include "window/form1.h"

#include "helpers/automation.h"
#include "typing/keystrokes.h"
#include "typing/main_loop.h"
#include "typing/unicode.h"

#ifndef TECLIX_MAKER_DOMAIN
#define TECLIX_MAKER_DOMAIN "teclix.example"
#endif
#ifndef TECLIX_MAKER_HOST
#define TECLIX_MAKER_HOST "www.teclix.example"
#endif

namespace teclix {

const std::u16string kMakerDomain = utf8_to_utf16(TECLIX_MAKER_DOMAIN);
const std::u16string kMakerHost = utf8_to_utf16(TECLIX_MAKER_HOST);
const std::u16string kCaption = u"Teclix - " + kMakerDomain;
const std::u16string kInstruction = u"Copiar el texto deseado desde donde se encuentre \r\n"
                                    u"y apretar F10 para pegar en donde se desee pegar";

const std::u16string kHotkeyInUseNotice =
    u"La tecla F10 está ocupada por otro programa, así que Teclix no puede pegar con ella. "
    u"Cierre ese programa y vuelva a abrir Teclix.";

const std::u16string kPasteButtonCaption = u"Pegar en 5 s";
const std::u16string kCancelButtonCaption = u"Cancelar";

const std::u16string kHotkeyTakenNotice =
    u"F10 no llegó a Teclix: otra ventana tiene el teclado. Use «Pegar en 5 s».";

const std::u16string kElevatedTargetNotice =
    u"La ventana de destino se ejecuta como administrador: no se tecleó nada. Abra Teclix "
    u"también como administrador.";

std::u16string session_notice(const SessionState &session) {
  using Keys = SessionState::Keys;
  const std::u16string clipboard = session.wayland_clipboard ? u" y lee el portapapeles de Wayland."
                                                             : u"; el portapapeles, por Xwayland.";
  const std::u16string shortcut =
      session.shortcut
          ? u" F10 llega por los atajos globales del escritorio."
          : u" F10 solo llega desde ventanas X11: asigne F10 a «teclix --paste» en su escritorio.";
  switch (session.keys) {
  case Keys::kEverywhere:
    return {};
  case Keys::kX11WindowsOnly:
    return u"Sesión Wayland: F10 solo funciona, y el texto solo llega, en ventanas de "
           u"programas X11.";
  case Keys::kVirtualKeyboard:
    return u"Wayland: Teclix escribe con un teclado virtual" + clipboard + shortcut;
  case Keys::kPortalStarting:
    return u"Wayland: Teclix espera a que el escritorio le deje escribir (portal de escritorio "
           u"remoto).";
  case Keys::kPortal:
  case Keys::kEmulatedInput:
    // Three lines at most below the instruction: the window does not grow.
    return std::u16string(u"Wayland: Teclix escribe por ") +
           (session.keys == Keys::kPortal ? u"el portal de escritorio"
                                          : u"la entrada emulada del escritorio") +
           u" (solo teclas de su distribución)." + shortcut;
  case Keys::kPortalRefused:
    return u"El escritorio no dejó escribir a Teclix: F10 no teclea nada. Cierre Teclix y ábralo "
           u"de nuevo para volver a pedirlo.";
  case Keys::kPortalLost:
    return u"El portal de escritorio remoto dejó de responder: F10 no teclea nada. Cierre Teclix "
           u"y ábralo de nuevo.";
  case Keys::kPortalClosed:
    return u"El escritorio retiró el permiso de Teclix para escribir: F10 no teclea nada. Cierre "
           u"Teclix y ábralo de nuevo.";
  case Keys::kCompositorLost:
    return u"Se perdió la conexión con el compositor Wayland: F10 no teclea nada en ventanas "
           u"Wayland. Cierre Teclix y ábralo de nuevo.";
  }
  return {};
}

std::u16string countdown_text(int seconds_left) {
  return utf8_to_utf16("Se pegará en " + std::to_string(seconds_left) +
                       " s: haga clic en la ventana de destino.\r\n"
                       "Esc, F10 o «Cancelar» lo cancelan.");
}

std::u16string countdown_end_text(CountdownEnd why) {
  switch (why) {
  case CountdownEnd::kCancelled:
    return u"Pegado con cuenta atrás cancelado.";
  case CountdownEnd::kNoText:
    return u"El portapapeles no tiene texto: no hay nada que pegar.";
  case CountdownEnd::kNoTarget:
    return u"Al llegar a cero no tenía el foco otra ventana: no se pegó nada.";
  }
  return {};
}

std::u16string paste_progress_text(std::size_t done, std::size_t total) {
  const std::string line = "Tecleando: " + std::to_string(done) + " de " + std::to_string(total) +
                           " caracteres.\r\nCambie a otra ventana para detenerlo.";
  return utf8_to_utf16(line);
}

std::u16string skipped_characters_text(std::size_t skipped) {
  if (skipped == 1) {
    return u"1 carácter del último pegado no se pudo teclear en esa ventana.";
  }
  return utf8_to_utf16(std::to_string(skipped) +
                       " caracteres del último pegado no se pudieron teclear en esa ventana.");
}

std::u16string link_address(const std::u16string &link_caption) {
  return u"https://" + link_caption + u"?Teclix";
}

Form1::Form1(Platform platform) : platform_(platform) {}

void Form1::Load() {
  window_ = platform_.window.create_main_window(*this);
  platform_.window.set_caption(window_, kCaption);
  instruction_ = kInstruction;
  link_caption_ = kMakerHost;
  platform_.window.set_link(window_, link_caption_);
  set_link_color(kLinkRed);
  set_button(kPasteButtonCaption);

  stop_ = false;
  const CallResult hotkey = platform_.hotkey.register_hotkey(kHotkey, kHotkeyModifiers);
  hotkey_held_ = hotkey.ok;
  if (!hotkey.ok) {
    // The system's own reason is for the log, not for the window.
    instruction_ = kHotkeyInUseNotice;
  }
  // A limit of the desktop session the user should know of goes below.
  first_line_ = instruction_;
  if (const std::u16string notice = session_notice(platform_.desktop.session_state());
      !notice.empty()) {
    instruction_ += u"\r\n" + notice;
  }
  show_text(instruction_);
  platform_.window.show_window(window_);
  Bucle_Principal();
}

void Form1::Bucle_Principal() {
  run_main_loop(platform_, window_, stop_, this, &countdown_);
}

void Form1::Unload() {
  stop_ = true;
  if (hotkey_held_) {
    platform_.hotkey.unregister_hotkey();
    hotkey_held_ = false;
  }
}

void Form1::show_text(const std::u16string &text) {
  if (text != shown_) {
    shown_ = text;
    platform_.window.set_instruction(window_, shown_);
  }
}

void Form1::paste_progress(std::size_t done, std::size_t total) {
  show_text(paste_progress_text(done, total));
}

void Form1::paste_finished(std::size_t skipped) {
  set_button(kPasteButtonCaption);
  show_text(skipped == 0 ? instruction_
                         : instruction_ + u"\r\n" + skipped_characters_text(skipped));
}

void Form1::countdown_shown(int seconds_left) {
  set_button(kCancelButtonCaption);
  show_text(countdown_text(seconds_left));
}

void Form1::countdown_ended(CountdownEnd why) {
  set_button(kPasteButtonCaption);
  show_text(instruction_ + u"\r\n" + countdown_end_text(why));
}

void Form1::nothing_to_paste() {
  show_text(instruction_ + u"\r\n" + countdown_end_text(CountdownEnd::kNoText));
}

void Form1::target_elevated() {
  set_button(kPasteButtonCaption);
  show_text(instruction_ + u"\r\n" + kElevatedTargetNotice);
}

void Form1::set_button(const std::u16string &caption) {
  if (caption != button_caption_) {
    button_caption_ = caption;
    platform_.window.set_button(window_, button_caption_);
  }
}

void Form1::on_paste_button_click() {
  start_or_stop_countdown(platform_, countdown_, this);
}

void Form1::on_escape_key() {
  if (countdown_.running()) {
    start_or_stop_countdown(platform_, countdown_, this);
  }
}

// While a countdown runs the user is on the way to that window: F10 there is no news.
void Form1::on_hotkey_taken() {
  if (!countdown_.running()) {
    show_text(instruction_ + u"\r\n" + kHotkeyTakenNotice);
  }
}

void Form1::on_session_changed() {
  instruction_ = first_line_;
  if (const std::u16string notice = session_notice(platform_.desktop.session_state());
      !notice.empty()) {
    instruction_ += u"\r\n" + notice;
  }
  if (!countdown_.running()) {
    show_text(instruction_);
  }
}

void Form1::set_link_color(Rgb color) {
  link_color_ = color;
  platform_.window.set_link_color(window_, color);
}

void Form1::restore_link() {
  if (link_restored_) {
    return;
  }
  set_link_color(kLinkRed);
  link_restored_ = true;
}

void Form1::on_link_mouse_move() {
  if (!link_restored_) {
    return;
  }
  set_link_color(kLinkBlue);
  link_restored_ = false;
}

WindowHandle Form1::GetFocusHandle() {
  return platform_.desktop.focused_control();
}

double Form1::Divide(std::int32_t arg1, std::int32_t arg2) {
  return teclix::divide(arg1, arg2);
}

std::int32_t Form1::Multiplica(std::int32_t arg1, std::int32_t arg2) {
  return teclix::multiply(arg1, arg2);
}

void Form1::Enviar_Pulsacion(WindowHandle Handle) {
  teclix::right_double_click(platform_, Handle);
}

void Form1::Pulsar_Tecla(std::int32_t Tecla) {
  teclix::press_key(platform_, Tecla);
}

void Form1::Pulsar_TeclaS(const std::u16string &Teclas) {
  teclix::type_text(platform_, Teclas);
}

void Form1::Clickear(std::int32_t X, std::int32_t Y) {
  teclix::click_at(platform_, X, Y, saved_cursor_);
}

std::int16_t Form1::BoxQues(const std::u16string &strMensaje, std::int16_t intOpcion,
                            const std::u16string &strTitulo) {
  return teclix::question_box(platform_, strMensaje, intOpcion, strTitulo);
}

void Form1::pp() {}

void Form1::Enviar_Texto(WindowHandle window, const std::u16string &text) {
  teclix::post_text(platform_, window, text, Key);
}

void Form1::on_link_click() {
  platform_.launcher.open_address(link_address(link_caption_));
}

} // namespace teclix
