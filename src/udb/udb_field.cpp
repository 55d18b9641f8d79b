#include "udb_field.hpp"

#include <utility>

#include "tk_trace.hpp"

udb_field::udb_field() { tk_trace(1, "udb_field::empty ctor"); }

udb_field::udb_field(std::wstring name, std::int32_t size, ole_variant value, bool b_not_null,
                     bool b_auto_increment)
    : ole_variant(std::move(value)),
      size(size),
      name(std::move(name)),
      b_not_null(b_not_null),
      b_auto_increment(b_auto_increment) {
  tk_trace(1, "udb_field::ctor #2");
  tk_trace(1, L"name=%ls, size=%d", this->name.c_str(), this->size);
}

VARTYPE udb_field::get_type() const {
  tk_trace(1, "ole_variant::get_type");
  return variant.vt;
}
