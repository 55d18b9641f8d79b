#include "tk_exception.hpp"

#include <utility>

#include "tk_text.hpp"

namespace {
constexpr const char* unknown_text = "Unknown exception";
}

tk_exception::tk_exception(int level) : message_(unknown_text), level_(level) {}

tk_exception::tk_exception(const std::string& text, int level) : level_(level) {
  set_message(text);
}

tk_exception::tk_exception(const std::wstring& text, int level) : level_(level) {
  set_message(tk_w2a(text));
}

void tk_exception::set_message(std::string text) {
  message_ = text.empty() ? std::string(unknown_text) : std::move(text);
}
