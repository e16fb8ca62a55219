#include "typing/console_targets.h"

#include <algorithm>
#include <array>

namespace teclix {

namespace {

// Clients known by their program (Windows executable, X11 WM_CLASS instance or class).
constexpr ConsoleClient kClients[] = {
    {u"Hyper-V (Conexión a máquina virtual)", u"vmconnect", u""},
    {u"VMware Workstation / Player", u"vmware", u""},
    {u"VMware Player", u"vmplayer", u""},
    {u"VMware Remote Console", u"vmrc", u""},
    {u"VirtualBox", u"VirtualBoxVM", u""},
    {u"VirtualBox", u"VirtualBox Machine", u""},
    {u"TigerVNC", u"TigerVNC Viewer", u""},
    {u"TigerVNC / RealVNC", u"vncviewer", u""},
    {u"TightVNC", u"tvnviewer", u""},
    {u"TightVNC", u"xtightvncviewer", u""},
    {u"virt-viewer / remote-viewer", u"remote-viewer", u""},
    {u"virt-viewer", u"virt-viewer", u""},
    {u"virt-manager", u"virt-manager", u""},
    {u"QEMU", u"qemu", u""},
    {u"QEMU", u"qemu-system-x86_64", u""},
    {u"QEMU", u"qemu-system-i386", u""},
    {u"QEMU", u"qemu-system-aarch64", u""},
    {u"Escritorio remoto de Windows", u"mstsc", u""},
    {u"FreeRDP", u"xfreerdp", u""},
    {u"FreeRDP", u"wlfreerdp", u""},
    {u"FreeRDP", u"sdl-freerdp", u""},
    {u"Remmina", u"remmina", u""},
    {u"Remmina", u"org.remmina.Remmina", u""}, // its Wayland app_id
    {u"GNOME Connections", u"gnome-connections", u""},
    {u"GNOME Connections", u"org.gnome.Connections", u""},
    {u"Vinagre", u"vinagre", u""},
    {u"KRDC", u"krdc", u""},
    {u"KRDC", u"org.kde.krdc", u""},
    {u"SSVNC", u"ssvncviewer", u""},
    // Web consoles, known by their page's title in a browser: noVNC's own page
    // ("noVNC", or "DESKTOP - noVNC" once connected) and the products' console pages.
    {u"noVNC", u"", u"noVNC"},
    {u"Proxmox VE", u"", u"Proxmox Console"},
    {u"VMware vSphere / ESXi", u"", u"Web Console"},
    {u"VMware vSphere / ESXi", u"", u"VMware Remote Console"},
    {u"Apache Guacamole", u"", u"Guacamole"},
    {u"Apache Guacamole", u"", u"Apache Guacamole"},
    {u"oVirt / Red Hat Virtualization", u"", u"SPICE Console"},
    {u"OpenStack", u"", u"Instance Console"},
    {u"XCP-ng / Xen Orchestra", u"", u"Xen Orchestra"},
};

// Browsers, by program: a web console is a page in one of them.
constexpr std::array<std::u16string_view, 13> kBrowsers = {
    u"firefox",          u"firefox-esr", u"org.mozilla.firefox", u"chromium",
    u"chromium-browser", u"chrome",      u"google-chrome",       u"msedge",
    u"microsoft-edge",   u"brave",       u"brave-browser",       u"opera",
    u"vivaldi",
};

char16_t lower(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool same_name(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

// A program's name without a Windows executable's ".exe".
std::u16string_view program_name(std::u16string_view program) {
  if (program.size() > 4 && same_name(program.substr(program.size() - 4), u".exe")) {
    program.remove_suffix(4);
  }
  return program;
}

bool ends_with(std::u16string_view text, std::u16string_view end) {
  return text.size() >= end.size() && same_name(text.substr(text.size() - end.size()), end);
}

// A page title is the name alone, or ends with it after a separator.
bool page_named(std::u16string_view title, std::u16string_view name) {
  if (same_name(title, name)) {
    return true;
  }
  if (!ends_with(title, name)) {
    return false;
  }
  const std::u16string_view before = title.substr(0, title.size() - name.size());
  return ends_with(before, u" - ") || ends_with(before, u" — ") || ends_with(before, u" | ");
}

// The title without its last " - " or " — " part: a browser puts its own name there.
std::u16string_view without_browser_name(std::u16string_view title) {
  std::size_t cut = std::u16string_view::npos;
  for (std::u16string_view separator : {u" - ", u" — "}) {
    const std::size_t at = title.rfind(separator);
    if (at != std::u16string_view::npos && (cut == std::u16string_view::npos || at > cut)) {
      cut = at;
    }
  }
  return cut == std::u16string_view::npos ? title : title.substr(0, cut);
}

// TigerVNC's title for an X desktop of Xvnc: "DESKTOP - TigerVNC", where Xvnc names
// its desktop "USER@HOST" unless told another, and its vncserver script
// "HOST:N (USER)". A virtual machine's desktop is named otherwise ("QEMU (name)").
bool shows_xvnc_desktop(std::u16string_view title) {
  constexpr std::u16string_view kViewer = u" - TigerVNC";
  if (!ends_with(title, kViewer)) {
    return false;
  }
  const std::u16string_view desktop = title.substr(0, title.size() - kViewer.size());
  auto one_word = [](std::u16string_view s) {
    return !s.empty() && s.find_first_of(u" @():") == std::u16string_view::npos;
  };
  if (const std::size_t at = desktop.find(u'@'); at != std::u16string_view::npos) {
    return one_word(desktop.substr(0, at)) && one_word(desktop.substr(at + 1));
  }
  const std::size_t colon = desktop.rfind(u':'), open = desktop.find(u" (", colon);
  if (colon == std::u16string_view::npos || open == std::u16string_view::npos ||
      open == colon + 1 || !one_word(desktop.substr(0, colon)) || !desktop.ends_with(u')') ||
      !one_word(desktop.substr(open + 2, desktop.size() - open - 3))) {
    return false;
  }
  const std::u16string_view number = desktop.substr(colon + 1, open - colon - 1);
  return std::all_of(number.begin(), number.end(),
                     [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

} // namespace

bool is_console(const TargetWindow &target) {
  const std::u16string_view program = program_name(target.program);
  const bool browser = std::any_of(kBrowsers.begin(), kBrowsers.end(), [&](std::u16string_view b) {
    return same_name(program, b) || same_name(target.window_class, b);
  });
  const std::u16string_view page = without_browser_name(target.title);
  return std::any_of(std::begin(kClients), std::end(kClients), [&](const ConsoleClient &c) {
    if (!c.program.empty()) {
      return same_name(program, c.program) || same_name(target.window_class, c.program);
    }
    return browser && (page_named(target.title, c.page_title) || page_named(page, c.page_title));
  });
}

bool keeps_up(const TargetWindow &target) {
  return is_console(target) && shows_xvnc_desktop(target.title);
}

} // namespace teclix
