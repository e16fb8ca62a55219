// Run-time errors: the standard error number and its Spanish description.
#pragma once

#include <new>
#include <optional>
#include <stdexcept>
#include <string>

namespace teclix {

class RuntimeError : public std::runtime_error {
public:
  RuntimeError(int number, std::u16string description)
      : std::runtime_error("run-time error " + std::to_string(number)), number_(number),
        description_(std::move(description)) {}

  int number() const { return number_; }
  const std::u16string &description() const { return description_; }

  // The text of the standard run-time error message box.
  std::u16string message() const {
    std::u16string digits;
    for (char c : std::to_string(number_)) {
      digits += static_cast<char16_t>(c);
    }
    return u"Se ha producido el error '" + digits + u"' en tiempo de ejecución:\r\n\r\n" +
           description_;
  }

private:
  int number_;
  std::u16string description_;
};

inline RuntimeError overflow_error() {
  return RuntimeError(6, u"Desbordamiento");
}
inline RuntimeError division_by_zero_error() {
  return RuntimeError(11, u"División por cero");
}

// Runs the program; the run-time error that ended it, if one did. Running out of
// memory is error 7, any other failure error 51, so that every error that ends the
// program is shown as one.
template <typename Run> std::optional<RuntimeError> run_to_the_end(Run run) {
  try {
    run();
  } catch (const RuntimeError &error) {
    return error;
  } catch (const std::bad_alloc &) {
    return RuntimeError(7, u"Memoria insuficiente");
  } catch (const std::exception &) {
    return RuntimeError(51, u"Error interno");
  }
  return std::nullopt;
}

} // namespace teclix
