// The focused window in sway's layout tree (GET_TREE), as sway 1.7 writes it.
#include "platform/wayland/sway_tree.h"

#include <gtest/gtest.h>

namespace teclix::wayland {
namespace {

std::string tree(const std::string &workspace_nodes, bool workspace_focused = false) {
  return R"({"id":1,"type":"root","focused":false,"nodes":[{"id":3,"type":"output","name":"HEADLESS-1","focused":false,"nodes":[{"id":4,"type":"workspace","name":"1","focused":)" +
         std::string(workspace_focused ? "true" : "false") + R"(,"nodes":[)" + workspace_nodes +
         R"(],"floating_nodes":[]}]}]})";
}

struct Case {
  const char *name;
  std::string json;
  std::optional<SwayWindow> expected;
};

TEST(SwayTree, FocusedWindow) {
  const std::string foot =
      R"({"id":7,"type":"con","focused":false,"name":"foot","app_id":"foot","pid":10,"shell":"xdg_shell","nodes":[]})";
  const Case cases[] = {
      {"a Wayland window",
       tree(
           R"({"id":8,"type":"con","focused":true,"name":"caf\u00e9 \ud83d\ude00 \"x\"","app_id":"remote-viewer","pid":11,"shell":"xdg_shell","nodes":[],"marks":[],"rect":{"x":0,"y":0}},)" +
           foot),
       SwayWindow{8, "remote-viewer", "", "", "café 😀 \"x\"", false, 0}},
      {"an X11 window through Xwayland",
       tree(
           foot +
           R"(,{"id":9,"type":"con","focused":true,"name":"QEMU","app_id":null,"pid":12,"shell":"xwayland","window":4194307,"window_properties":{"class":"Qemu-system-x86_64","instance":"qemu"},"nodes":[]})"),
       SwayWindow{9, "", "Qemu-system-x86_64", "qemu", "QEMU", true, 4194307}},
      {"numbers out of their range: left out",
       tree(
           R"({"id":1e300,"type":"con","focused":true,"name":"q","app_id":null,"pid":12,"shell":"xwayland","window":-4194307,"nodes":[]})"),
       SwayWindow{0, "", "", "", "q", true, 0}},
      {"a floating window",
       tree(foot).replace(
           tree(foot).find(R"("floating_nodes":[])"), 19,
           R"("floating_nodes":[{"id":5,"type":"floating_con","focused":true,"name":"t","app_id":"a","pid":1,"nodes":[]}])"),
       SwayWindow{5, "a", "", "", "t", false, 0}},
      {"an empty workspace", tree("", true), std::nullopt},
      {"nothing focused", tree(foot), std::nullopt},
      {"not JSON", "{\"id\":1,\"nodes\":[", std::nullopt},
      {"trailing text", tree(foot) + "x", std::nullopt},
      {"nesting beyond reason", std::string(100000, '['), std::nullopt},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<SwayWindow> got = focused_window(c.json);
    ASSERT_EQ(got.has_value(), c.expected.has_value());
    if (got) {
      EXPECT_EQ(got->id, c.expected->id);
      EXPECT_EQ(got->app_id, c.expected->app_id);
      EXPECT_EQ(got->x11_class, c.expected->x11_class);
      EXPECT_EQ(got->x11_instance, c.expected->x11_instance);
      EXPECT_EQ(got->title, c.expected->title);
      EXPECT_EQ(got->xwayland, c.expected->xwayland);
      EXPECT_EQ(got->x11_window, c.expected->x11_window);
    }
  }
}

} // namespace
} // namespace teclix::wayland
