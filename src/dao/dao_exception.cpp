#include "dao_exception.hpp"

#include "tk_trace.hpp"

dao_exception::dao_exception(std::uint32_t number, const std::string& text, int level)
    : tk_exception(text, level) {
  set_code(tk_code_kind_dao | (number & 0xFFFFu));
  tk_trace(2, "Got error: %s", text.c_str());
  tk_trace(2, "Got error code: %08X", static_cast<unsigned>(code()));
}
