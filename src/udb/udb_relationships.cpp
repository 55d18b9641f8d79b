#include "udb_relationships.hpp"

#include "tk_mail_assertion.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

namespace {

constexpr const wchar_t* suffix_cycle[] = {L"_", L"1", L"_", L"2", L"_", L"3"};
constexpr std::size_t suffix_cycle_size = sizeof suffix_cycle / sizeof suffix_cycle[0];

}  // namespace

void udb_relationships::add(const udb_relationship& relationship) {
  tk_trace(1, L"udb_relationships::add(%ls)", relationship.name.c_str());
  relationships_.push_back(relationship);
}

bool udb_relationships::is_acceptable_name(const std::wstring& name) const {
  tk_trace(1, L"udb_relationships::is_acceptable_name(%ls)", name.c_str());
  for (const udb_relationship& relationship : relationships_) {
    if (tk_compare_nocase(relationship.name, name) == 0) return false;
  }
  return true;
}

std::size_t udb_relationships::position_of(const std::wstring& name) const {
  tk_trace(1, L"udb_relationships::get_index(%ls)", name.c_str());
  for (std::size_t i = 0; i < relationships_.size(); ++i) {
    if (tk_compare_nocase(relationships_[i].name, name) == 0) return i;
  }
  TK_FAIL();
}

udb_relationship& udb_relationships::get_index(const std::wstring& name) {
  return relationships_[position_of(name)];
}

const udb_relationship& udb_relationships::get_index(const std::wstring& name) const {
  return relationships_[position_of(name)];
}

std::wstring udb_relationships::gen_relship_name(const udb_relationship& relationship) const {
  tk_trace(1, "udb_relationships::gen_relship_name");
  std::wstring name =
      L"FK_" + relationship.referenced_table + L"_" + relationship.referencing_table;
  // Each attempt makes the name longer, so a finite list always lets it end.
  for (std::size_t k = 0; !is_acceptable_name(name); ++k) {
    tk_trace(1, L"%ls is not acceptable as a FK name", name.c_str());
    name += suffix_cycle[k % suffix_cycle_size];
  }
  return name;
}
