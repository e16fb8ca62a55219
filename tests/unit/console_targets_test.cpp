// Which windows are consoles, and how fast they take keys.
#include "typing/console_targets.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"
#include "test_text.h"
#include "window/form1.h"

namespace teclix {
namespace {

TEST(ConsoleTargets, AreKnownByProgramClassOrWebConsoleTitle) {
  struct Case {
    TargetWindow target;
    bool console;
  };
  for (const Case &c : {
           Case{{u"vmconnect.exe", u"", u"Windows 11 en HOST - Conexión"}, true},
           Case{{u"VirtualBoxVM.EXE", u"", u"Ubuntu [En ejecución]"}, true},
           Case{{u"mstsc.exe", u"TscShellContainerClass", u"servidor"}, true},
           Case{{u"vncviewer", u"Vncviewer", u"QEMU (guest) - TigerVNC"}, true},
           Case{{u"TigerVNC Viewer", u"TigerVNC Viewer", u"QEMU (guest) - TigerVNC"}, true},
           Case{{u"remote-viewer", u"Remote-viewer", u"debian"}, true},
           Case{{u"qemu-system-x86_64", u"Qemu-system-x86_64", u"QEMU"}, true},
           Case{{u"xfreerdp", u"xfreerdp", u"FreeRDP: host"}, true},
           // Wayland windows, known by their app_id (sway tells it).
           Case{{u"org.remmina.Remmina", u"org.remmina.Remmina", u"host"}, true},
           Case{{u"remote-viewer", u"remote-viewer", u"debian"}, true},
           Case{{u"org.mozilla.firefox", u"org.mozilla.firefox", u"noVNC — Mozilla Firefox"}, true},
           Case{{u"foot", u"foot", u"vncviewer"}, false},
           Case{{u"Navigator", u"firefox", u"noVNC - Mozilla Firefox"}, true},
           Case{{u"chrome.exe", u"Chrome_WidgetWin_1", u"pve - Proxmox Console - Google Chrome"},
                true},
           Case{{u"chromium", u"Chromium", u"Guacamole"}, true},
           Case{{u"chromium", u"Chromium", u"host:1 (ana) - noVNC - Chromium"}, true},
           Case{{u"Navigator", u"firefox", u"noVNC — Mozilla Firefox"}, true},
           Case{{u"chrome.exe", u"Chrome_WidgetWin_1", u"Apache Guacamole - Google Chrome"}, true},
           Case{{u"notepad.exe", u"Notepad", u"noVNC notes.txt - Notepad"}, false},
           // Pages that only mention a web console are typed into as any page.
           Case{{u"chromium", u"Chromium", u"Receta de guacamole - Chromium"}, false},
           Case{{u"chromium", u"Chromium", u"Guacamole casero en 5 minutos - Chromium"}, false},
           Case{{u"Navigator", u"firefox", u"Web Console — Firefox Source Docs — Mozilla Firefox"},
                false},
           Case{{u"Navigator", u"firefox", u"Using the Web Console - Mozilla Firefox"}, false},
           Case{{u"chromium", u"Chromium", u"noVNC vs. Guacamole: a comparison - Chromium"}, false},
           Case{{u"chromium", u"Chromium", u"Proxmox Console tips - Chromium"}, false},

           Case{{u"xterm", u"XTerm", u"vncviewer"}, false},
           Case{{u"Navigator", u"firefox", u"Recipes - Mozilla Firefox"}, false},
           Case{{u"", u"", u""}, false},
       }) {
    EXPECT_EQ(is_console(c.target), c.console)
        << utf16_to_utf8(c.target.program) << " / " << utf16_to_utf8(c.target.title);
  }
}

TEST(ConsoleTargets, AViewerOfAnXvncDesktopKeepsUpWithFullSpeed) {
  // A VNC viewer shows what it is connected to: an X desktop of Xvnc takes keys as
  // fast as they come; a virtual machine (QEMU names its desktops), or what cannot
  // be told, keeps a console's pace.
  struct Case {
    TargetWindow target;
    bool keeps_up;
  };
  for (const Case &c : {
           Case{{u"vncviewer", u"Vncviewer", u"buildhost:1 (ana) - TigerVNC"}, true},
           Case{{u"TigerVNC Viewer", u"TigerVNC Viewer", u"h:12 (root) - TigerVNC"}, true},
           Case{{u"vncviewer", u"Vncviewer", u"root@vm - TigerVNC"}, true},
           Case{{u"vncviewer", u"Vncviewer", u"QEMU (root@vm) - TigerVNC"}, false},
           Case{{u"vncviewer", u"Vncviewer", u"my vm@host - TigerVNC"}, false},
           Case{{u"vncviewer", u"Vncviewer", u"QEMU - TigerVNC"}, false},
           Case{{u"vncviewer", u"Vncviewer", u"buildhost:1 - TigerVNC"}, false},
           Case{{u"vncviewer", u"Vncviewer", u"host:x1 (ana) - TigerVNC"}, false},
           Case{{u"vncviewer", u"Vncviewer", u"192.168.1.5:5901 - TigerVNC"}, false},
           Case{{u"xterm", u"XTerm", u"root@vm - TigerVNC"}, false},
           Case{{u"xfreerdp", u"xfreerdp", u"FreeRDP: 127.0.0.1"}, false},
       }) {
    EXPECT_EQ(keeps_up(c.target), c.keeps_up) << u8(c.target.title);
    EXPECT_EQ(is_console(c.target), c.target.program != u"xterm") << u8(c.target.title);
  }
  // Still typed with the keyboard's keys, but with no time between them.
  FakePlatform fake;
  fake.target = TargetWindow{u"vncviewer", u"Vncviewer", u"root@vm - TigerVNC"};
  fake.clipboard = u"Año Ж";
  fake.script = {FakeEvent::Hotkey};
  Form1 form(fake);
  form.Load();
  EXPECT_EQ(fake.mode, TypingMode::kConsole);
  EXPECT_EQ(fake.typed, u"Ao ");
  EXPECT_EQ(fake.paused.count(), 0);
}

} // namespace
} // namespace teclix
