#include "platform/wayland/sway_tree.h"

#include <charconv>
#include <map>
#include <memory>
#include <vector>

#include "typing/unicode.h"

namespace teclix::wayland {

namespace {

// Just enough JSON for the tree: objects, arrays, strings, numbers, literals.
struct Value {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = Kind::kNull;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<Value> items;
  std::vector<std::string> keys; // an object's members: keys[i] names values[i]
  std::vector<Value> values;

  const Value *member(std::string_view name) const {
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (keys[i] == name) {
        return &values[i];
      }
    }
    return nullptr;
  }
  std::string string_member(std::string_view name) const {
    const Value *v = member(name);
    return v && v->kind == Kind::kString ? v->text : std::string();
  }
};

class Parser {
public:
  explicit Parser(std::string_view text) : text_(text) {}

  std::optional<Value> document() {
    std::optional<Value> v = value(0);
    skip_space();
    return v && pos_ == text_.size() ? v : std::nullopt;
  }

private:
  static constexpr int kMaxDepth = 256;

  void skip_space() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\n' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\t')) {
      ++pos_;
    }
  }
  bool take(char c) {
    skip_space();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool literal(std::string_view word) {
    if (text_.substr(pos_, word.size()) == word) {
      pos_ += word.size();
      return true;
    }
    return false;
  }

  std::optional<unsigned> hex4() {
    if (pos_ + 4 > text_.size()) {
      return std::nullopt;
    }
    unsigned v = 0;
    const auto [end, ec] = std::from_chars(text_.data() + pos_, text_.data() + pos_ + 4, v, 16);
    if (ec != std::errc() || end != text_.data() + pos_ + 4) {
      return std::nullopt;
    }
    pos_ += 4;
    return v;
  }

  std::optional<std::string> string() {
    if (!take('"')) {
      return std::nullopt;
    }
    std::string out;
    while (pos_ < text_.size()) {
      const char c = text_[pos_++];
      if (c == '"') {
        return out;
      }
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= text_.size()) {
        break;
      }
      const char e = text_[pos_++];
      switch (e) {
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'u': {
        std::optional<unsigned> unit = hex4();
        if (!unit) {
          return std::nullopt;
        }
        char32_t ch = *unit;
        if (ch >= 0xD800 && ch < 0xDC00 && literal("\\u")) {
          const std::optional<unsigned> low = hex4();
          if (!low || *low < 0xDC00 || *low >= 0xE000) {
            return std::nullopt;
          }
          ch = 0x10000 + ((ch - 0xD800) << 10) + (*low - 0xDC00);
        }
        std::u16string one;
        append_code_point(one, ch);
        out += utf16_to_utf8(one);
        break;
      }
      default:
        out += e;
        break; // \" \\ \/
      }
    }
    return std::nullopt;
  }

  std::optional<Value> value(int depth) {
    if (depth > kMaxDepth) {
      return std::nullopt;
    }
    skip_space();
    if (pos_ >= text_.size()) {
      return std::nullopt;
    }
    Value v;
    const char c = text_[pos_];
    if (c == '{') {
      ++pos_;
      v.kind = Value::Kind::kObject;
      if (take('}')) {
        return v;
      }
      do {
        std::optional<std::string> key = string();
        if (!key || !take(':')) {
          return std::nullopt;
        }
        std::optional<Value> member = value(depth + 1);
        if (!member) {
          return std::nullopt;
        }
        v.keys.push_back(std::move(*key));
        v.values.push_back(std::move(*member));
      } while (take(','));
      return take('}') ? std::optional<Value>(std::move(v)) : std::nullopt;
    }
    if (c == '[') {
      ++pos_;
      v.kind = Value::Kind::kArray;
      if (take(']')) {
        return v;
      }
      do {
        std::optional<Value> item = value(depth + 1);
        if (!item) {
          return std::nullopt;
        }
        v.items.push_back(std::move(*item));
      } while (take(','));
      return take(']') ? std::optional<Value>(std::move(v)) : std::nullopt;
    }
    if (c == '"') {
      std::optional<std::string> s = string();
      if (!s) {
        return std::nullopt;
      }
      v.kind = Value::Kind::kString;
      v.text = std::move(*s);
      return v;
    }
    if (literal("true") || literal("false")) {
      v.kind = Value::Kind::kBool;
      v.boolean = text_[pos_ - 4] == 't';
      return v;
    }
    if (literal("null")) {
      return v;
    }
    const std::size_t start = pos_;
    while (pos_ < text_.size() &&
           (std::string_view("+-.eE0123456789").find(text_[pos_]) != std::string_view::npos)) {
      ++pos_;
    }
    if (pos_ == start) {
      return std::nullopt;
    }
    v.kind = Value::Kind::kNumber;
    const auto [end, ec] = std::from_chars(text_.data() + start, text_.data() + pos_, v.number);
    if (ec != std::errc() || end != text_.data() + pos_) {
      return std::nullopt;
    }
    return v;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

const Value *find_focused(const Value &node) {
  if (const Value *focused = node.member("focused");
      focused && focused->kind == Value::Kind::kBool && focused->boolean) {
    return &node;
  }
  for (const char *list : {"nodes", "floating_nodes"}) {
    if (const Value *children = node.member(list);
        children && children->kind == Value::Kind::kArray) {
      for (const Value &child : children->items) {
        if (const Value *found = find_focused(child)) {
          return found;
        }
      }
    }
  }
  return nullptr;
}

} // namespace

std::optional<SwayWindow> focused_window(std::string_view tree_json) {
  const std::optional<Value> tree = Parser(tree_json).document();
  if (!tree || tree->kind != Value::Kind::kObject) {
    return std::nullopt;
  }
  const Value *node = find_focused(*tree);
  if (!node) {
    return std::nullopt;
  }
  const std::string type = node->string_member("type");
  if (type != "con" && type != "floating_con") {
    return std::nullopt;
  }
  SwayWindow window;
  // Numbers as whole numbers of their type's range; anything else is left out.
  const auto whole = [](const Value *v, double low, double high) -> std::optional<double> {
    if (!v || v->kind != Value::Kind::kNumber || !(v->number >= low && v->number <= high)) {
      return std::nullopt;
    }
    return v->number;
  };
  if (const auto id = whole(node->member("id"), -9.0e18, 9.0e18)) {
    window.id = static_cast<std::int64_t>(*id);
  }
  window.app_id = node->string_member("app_id");
  window.title = node->string_member("name");
  window.xwayland = node->string_member("shell") == "xwayland";
  if (const auto x11 = whole(node->member("window"), 0, 4294967295.0)) { // an X11 window id
    window.x11_window = static_cast<std::uint64_t>(*x11);
  }
  if (const Value *props = node->member("window_properties");
      props && props->kind == Value::Kind::kObject) {
    window.x11_class = props->string_member("class");
    window.x11_instance = props->string_member("instance");
  }
  // A container with no window (a split with the focus on itself) is none.
  if (window.app_id.empty() && !window.xwayland && node->member("pid") == nullptr) {
    return std::nullopt;
  }
  return window;
}

} // namespace teclix::wayland
