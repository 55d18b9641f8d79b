#include "udb_custom_conversion.hpp"

#include "tk_mail_assertion.hpp"
#include "tk_trace.hpp"

udb_custom_conversion::udb_custom_conversion() { tk_trace(1, "udb_custom_conversion::ctor"); }

udb_custom_conversion::~udb_custom_conversion() { tk_trace(1, "udb_custom_conversion::dtor"); }

void udb_custom_conversion::add_rule(std::unique_ptr<udb_custom_rule> rule) {
  tk_trace(1, "udb_custom_conversion::add_rule");
  TK_ASSERT(rule != nullptr);
  rules_.push_back(std::move(rule));
}

bool udb_custom_conversion::is_acceptable1(const t_ftd& field) {
  tk_trace(1, "udb_custom_conversion::is_acceptable1");
  const udb_custom_conversion* registry = instance();
  if (!registry) return false;
  for (const auto& rule : registry->rules_) {
    if (rule->accepts_field(field)) return true;
  }
  return false;
}

bool udb_custom_conversion::is_acceptable2(const ole_variant& value) {
  tk_trace(1, "udb_custom_conversion::is_acceptable2");
  const udb_custom_conversion* registry = instance();
  if (!registry) return false;
  for (const auto& rule : registry->rules_) {
    if (rule->accepts_value(value)) return true;
  }
  return false;
}

void udb_custom_conversion::handle1_1(const t_ftd& field, udb_column_desc& column) {
  tk_trace(1, "udb_custom_conversion::handle1_1");
  const udb_custom_conversion* registry = instance();
  if (!registry) return;
  for (const auto& rule : registry->rules_) {
    if (rule->accepts_field(field)) {
      rule->describe_column(field, column);
      return;
    }
  }
}

std::wstring udb_custom_conversion::handle2(const ole_variant& value) {
  tk_trace(1, "udb_custom_conversion::handle2");
  const udb_custom_conversion* registry = instance();
  if (!registry || registry->rules_.empty()) return std::wstring();
  for (const auto& rule : registry->rules_) {
    if (rule->accepts_value(value)) return rule->value_text(value);
  }
  TK_FAIL();
}
