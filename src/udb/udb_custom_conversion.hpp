// udb_custom_conversion: the hook through which conversion rules can override
// a column's type or a value's SQL text.
//
// The destination asks the hooks before it applies its own mapping: when
// creating a column (is_acceptable1, handle1_1) and when writing a value as
// SQL text (is_acceptable2, handle2). Rules live in a process-wide registry,
// which exists only while a udb_custom_conversion object does; Tessaly builds
// none, so every hook finds no rule and the destination's defaults apply.
// With a registry, a test is true when any rule accepts, and a handler uses
// the first rule, in registration order, that accepts.
//
// The registry owns its rules. Register rules before a conversion starts; the
// hooks only read the registry and may then be called from the conversion
// thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ole_variant.hpp"
#include "t_ftd.hpp"
#include "tk_singleton.hpp"
#include "udb_column_desc.hpp"

class udb_custom_rule {
 public:
  virtual ~udb_custom_rule() = default;

  virtual bool accepts_field(const t_ftd& field) const = 0;
  virtual bool accepts_value(const ole_variant& value) const = 0;
  virtual std::wstring value_text(const ole_variant& value) const = 0;
  virtual void describe_column(const t_ftd& field, udb_column_desc& column) const = 0;
};

class udb_custom_conversion final : public tk_singleton<udb_custom_conversion> {
 public:
  udb_custom_conversion();
  ~udb_custom_conversion();

  void add_rule(std::unique_ptr<udb_custom_rule> rule);

  // Whether a rule takes over the column of field.
  static bool is_acceptable1(const t_ftd& field);
  // Whether a rule writes the SQL text of value.
  static bool is_acceptable2(const ole_variant& value);
  // Lets the first accepting rule describe the column; no rule changes nothing.
  static void handle1_1(const t_ftd& field, udb_column_desc& column);
  // The SQL text of value by the first accepting rule; empty without a
  // registry. With a registry, a value no rule accepts is a programming error.
  static std::wstring handle2(const ole_variant& value);

 private:
  std::vector<std::unique_ptr<udb_custom_rule>> rules_;
};
