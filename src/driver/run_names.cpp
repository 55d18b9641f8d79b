#include "run_names.hpp"

#include "tk_text.hpp"
#include "tk_trace.hpp"

namespace {

constexpr const wchar_t* suffix_cycle[] = {L"_", L"1", L"_", L"2", L"_", L"3"};
constexpr std::size_t suffix_cycle_size = sizeof suffix_cycle / sizeof suffix_cycle[0];

bool is_taken(const std::wstring& name, const std::vector<std::wstring>& taken) {
  for (const std::wstring& t : taken)
    if (tk_compare_nocase(name, t) == 0) return true;
  return false;
}

}  // namespace

run_names::run_names(const std::vector<std::wstring>& pushed_back,
                     const std::vector<std::wstring>& existing)
    : validator_(pushed_back, existing) {}

std::size_t run_names::utf16_length(const std::wstring& name) {
  std::size_t units = 0;
  for (wchar_t c : name) units += static_cast<std::uint32_t>(c) > 0xFFFF ? 2 : 1;
  return units;
}

std::wstring run_names::cut(const std::wstring& name, std::size_t limit) {
  std::wstring out;
  std::size_t units = 0;
  for (wchar_t c : name) {
    const std::size_t w = static_cast<std::uint32_t>(c) > 0xFFFF ? 2 : 1;
    if (units + w > limit) break;
    out += c;
    units += w;
  }
  return out;
}

std::wstring run_names::unique_name(const std::wstring& name,
                                    const std::vector<std::wstring>& taken) {
  std::wstring suffix;
  std::wstring candidate = cut(name);
  // Each step appends one more suffix; the stem gives way so that the whole
  // stays within the limit. The cycle cannot run out: every step makes a
  // new name.
  for (std::size_t k = 0; is_taken(candidate, taken); ++k) {
    suffix += suffix_cycle[k % suffix_cycle_size];
    const std::size_t room = max_name_length - std::min(utf16_length(suffix), max_name_length);
    candidate = cut(name, room) + suffix;
  }
  return candidate;
}

std::wstring run_names::table_name(const std::wstring& source_name, bool& b_generated) {
  // An empty name (a worksheet named only by blanks) has no letter to keep.
  std::wstring name = source_name.empty() ? std::wstring(L"_") : source_name;
  if (!validator_.is_acceptable(name)) name = validator_.get_safe_name(name);
  name = unique_name(name, used_);
  b_generated = name != source_name;
  if (b_generated)
    tk_trace(1, L"run_names::table_name(%ls) -> %ls", source_name.c_str(), name.c_str());
  return name;
}

void run_names::take(const std::wstring& name, bool b_generated) {
  if (b_generated) validator_.add_generated_name(name);
  validator_.add_taken_name(name);
  used_.push_back(name);
}

std::wstring run_names::column_name(const std::wstring& name,
                                    const std::vector<std::wstring>& taken) {
  if (utf16_length(name) <= max_name_length) return name;
  return unique_name(name, taken);
}

fitted_columns fit_column_names(const udb_schema& schema, const udb_indexes& indexes) {
  fitted_columns fitted;
  std::vector<std::wstring> names;
  names.reserve(schema.field_count());
  for (std::size_t i = 0; i < schema.field_count(); ++i) names.push_back(schema.field_at(i).name);
  bool b_any = false;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (run_names::utf16_length(names[i]) <= run_names::max_name_length) continue;
    // Unique among every other column, shortened or not.
    std::vector<std::wstring> others = names;
    others.erase(others.begin() + static_cast<std::ptrdiff_t>(i));
    const std::wstring fitted_name = run_names::column_name(names[i], others);
    fitted.renamed.emplace_back(names[i], fitted_name);
    names[i] = fitted_name;
    b_any = true;
  }
  if (!b_any) return fitted;

  fitted.schema = std::make_unique<udb_schema>(true);
  for (std::size_t i = 0; i < schema.field_count(); ++i) {
    auto field = std::make_unique<t_ftd>(schema.field_at(i));
    field->name = names[i];
    fitted.schema->add_field(std::move(field));
  }
  for (udb_index index : indexes) {
    for (std::wstring& column : index.columns)
      for (const auto& [from, to] : fitted.renamed)
        if (column == from) column = to;
    fitted.indexes.add(index);
  }
  return fitted;
}
