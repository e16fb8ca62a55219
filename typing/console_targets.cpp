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
    {u"GNOME Connections", u"gnome-connections", u""},
    {u"Vinagre", u"vinagre", u""},
    {u"KRDC", u"krdc", u""},
    {u"SSVNC", u"ssvncviewer", u""},
    // Web consoles, known by their page's title in a browser.
    {u"noVNC", u"", u"noVNC"},
    {u"Proxmox VE", u"", u"Proxmox Console"},
    {u"VMware vSphere / ESXi", u"", u"Web Console"},
    {u"VMware vSphere / ESXi", u"", u"VMware Remote Console"},
    {u"Apache Guacamole", u"", u"Guacamole"},
    {u"oVirt / Red Hat Virtualization", u"", u"SPICE Console"},
    {u"OpenStack", u"", u"Instance Console"},
    {u"XCP-ng / Xen Orchestra", u"", u"Xen Orchestra"},
};

// Browsers, by program: a web console is a page in one of them.
constexpr std::array<std::u16string_view, 12> kBrowsers = {
    u"firefox", u"firefox-esr",    u"chromium", u"chromium-browser", u"chrome", u"google-chrome",
    u"msedge",  u"microsoft-edge", u"brave",    u"brave-browser",    u"opera",  u"vivaldi",
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

bool contains(std::u16string_view text, std::u16string_view part) {
  return std::search(text.begin(), text.end(), part.begin(), part.end(),
                     [](char16_t x, char16_t y) { return lower(x) == lower(y); }) != text.end();
}

} // namespace

bool is_console(const TargetWindow &target) {
  const std::u16string_view program = program_name(target.program);
  const bool browser = std::any_of(kBrowsers.begin(), kBrowsers.end(), [&](std::u16string_view b) {
    return same_name(program, b) || same_name(target.window_class, b);
  });
  return std::any_of(std::begin(kClients), std::end(kClients), [&](const ConsoleClient &c) {
    if (!c.program.empty()) {
      return same_name(program, c.program) || same_name(target.window_class, c.program);
    }
    return browser && contains(target.title, c.in_title);
  });
}

} // namespace teclix
