#include "t_ftd.hpp"

#include "tk_trace.hpp"
#include "udb_field.hpp"

t_ftd::t_ftd(const udb_field& field, const ole_variant& def_value, std::int32_t extra)
    : size(field.size),
      name(field.name),
      vartype(field.get_type()),
      b_auto_increment(field.b_auto_increment),
      b_not_null(field.b_not_null),
      def_value(def_value),
      extra(extra) {
  tk_trace(1, "t_ftd::ctor1");
  trace_column();
}

t_ftd::t_ftd(std::int32_t size, const std::wstring& name, VARTYPE vartype, bool b_not_null,
             bool b_auto_increment, const ole_variant& def_value, std::int32_t extra)
    : size(size),
      name(name),
      vartype(vartype),
      b_auto_increment(b_auto_increment),
      b_not_null(b_not_null),
      def_value(def_value),
      extra(extra) {
  tk_trace(1, "t_ftd::ctor2");
  trace_column();
}

void t_ftd::trace_column() const {
  tk_trace(1, L"Got field '%ls', vartype=%d, size=%d, b_not_null=%d", name.c_str(),
           static_cast<int>(vartype), size, static_cast<int>(b_not_null));
}
