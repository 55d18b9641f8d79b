#include "dao_database.hpp"

#include <cwctype>

#include "dao_exception.hpp"
#include "dao_recordset.hpp"
#include "tk_mail_assertion.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"
#include "wb_workbook.hpp"

namespace {
bool plain_name(const std::wstring& name) {
  for (wchar_t c : name) {
    bool ascii_alnum =
        (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
    if (!ascii_alnum && c != L'_' && c < 0x80) return false;
  }
  return !name.empty();
}

std::wstring quoted(const std::wstring& name) {
  std::wstring out = L"'";
  for (wchar_t c : name) {
    out += c;
    if (c == L'\'') out += L'\'';
  }
  return out + L"'";
}
}  // namespace

std::wstring dao_database::sheet_table_name(const std::wstring& sheet) {
  return plain_name(sheet) ? sheet + L"$" : quoted(sheet + L"$");
}

dao_database::dao_database(const std::wstring& name, std::unique_ptr<wb_workbook> book, int flags,
                           bool b_header)
    : udb_database(name, flags, false), book_(std::move(book)), b_header_(b_header) {
  tk_trace(1, L"dao_database::dao_database( %ls )", name.c_str());
  TK_ASSERT(book_ != nullptr);
  const auto& sheets = book_->sheets();
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    if (sheets[i].kind != wb_sheet_kind::worksheet) {
      tk_trace(1, L"Skip system table '%ls'", sheets[i].name.c_str());
      continue;
    }
    sources_.push_back({sheet_table_name(sheets[i].name), i, std::nullopt});
  }
  for (const auto& n : book_->names()) {
    if (n.area_sheet < 0 || n.b_hidden) continue;  // not one plain area, or Excel's own
    std::wstring table = n.name;
    if (n.sheet_scope >= 0) {
      const std::wstring& scope = sheets[static_cast<std::size_t>(n.sheet_scope)].name;
      table = plain_name(scope) ? scope + L"$" + n.name : quoted(scope + L"$" + n.name);
    }
    if (find_source(table) != nullptr) continue;
    sources_.push_back({table, static_cast<std::size_t>(n.area_sheet), n.area});
  }
  for (const auto& s : sources_) {
    tk_trace(1, L"Got table: '%ls'", s.name.c_str());
    add_table_name(s.name);
  }
  tk_trace(1, "Right before extracting queries");
  tk_trace(1, "Got %d queries", 0);
}

dao_database::~dao_database() = default;

const dao_database::table_source* dao_database::find_source(const std::wstring& name) const {
  // Worksheets whose names differ only in case ("Data", "DATA") are two
  // tables: the exact name wins, case is ignored only when none matches.
  for (const auto& s : sources_)
    if (s.name == name) return &s;
  for (const auto& s : sources_)
    if (tk_compare_nocase(s.name, name) == 0) return &s;
  return nullptr;
}

std::unique_ptr<udb_recordset> dao_database::create_table(const std::wstring& name,
                                                          const udb_schema&, const udb_indexes&) {
  tk_trace(1, L"dao_database::create_table(%ls)", name.c_str());
  throw tk_exception("Workbooks are read-only sources: no table can be created in them",
                     tk_level_run);
}

bool dao_database::delete_tab(const std::wstring& name) {
  tk_trace(1, L"dao_database::delete_tab(%ls)", name.c_str());
  throw tk_exception("Workbooks are read-only sources: no table can be deleted from them",
                     tk_level_run);
}

std::unique_ptr<dao_recordset> dao_database::open(const table_source& source,
                                                  const std::wstring& sql) {
  return std::make_unique<dao_recordset>(source.name, sql, *book_, source.sheet, source.area,
                                         b_header_);
}

std::unique_ptr<udb_recordset> dao_database::get_table(const std::wstring& name, int flags) {
  tk_trace(1, L"dao_database::get_table(%ls, %d)", name.c_str(), flags);
  TK_ASSERT(is_table_exist(name));
  const table_source* source = find_source(name);
  TK_ASSERT(source != nullptr);
  tk_trace(1, "Right after tdfs->getItem");
  std::wstring sql = L"SELECT * FROM [" + name + L"]";
  tk_trace(1, "Right after src->CreateQueryDef");
  return open(*source, sql);
}

std::unique_ptr<udb_recordset> dao_database::get_table(const std::wstring& name,
                                                       const std::wstring& query, int flags) {
  return get_query(name, query, flags);
}

std::optional<std::wstring> dao_database::parse_select(const std::wstring& sql) {
  std::wstring text = tk_trim(sql);
  while (!text.empty() && text.back() == L';') text = tk_trim(text.substr(0, text.size() - 1));
  std::size_t i = 0;
  auto skip_space = [&] {
    while (i < text.size() && std::iswspace(static_cast<wint_t>(text[i]))) ++i;
  };
  auto word = [&](const wchar_t* expected) {
    skip_space();
    std::wstring w(expected);
    if (tk_compare_nocase(text.substr(i, w.size()), w) != 0) return false;
    i += w.size();
    return true;
  };
  if (!word(L"SELECT") || !word(L"*") || !word(L"FROM")) return std::nullopt;
  skip_space();
  // "]" cannot be escaped inside brackets, so the name runs to the last one.
  if (i >= text.size() || text[i] != L'[' || text.back() != L']' || text.size() - i < 3)
    return std::nullopt;
  return text.substr(i + 1, text.size() - i - 2);
}

std::unique_ptr<dao_recordset> dao_database::get_query(const std::wstring& name,
                                                       const std::wstring& sql, int flags) {
  tk_trace(1, L"dao_database::get_query(%ls, %d)", name.c_str(), flags);
  auto table = parse_select(sql);
  if (!table)
    throw dao_exception(3131,
                        "Only queries of the form SELECT * FROM [table] can be run on a workbook");
  const table_source* source = find_source(*table);
  if (source == nullptr)
    throw dao_exception(3078, "The workbook has no table '" + tk_w2a(*table) + "'");
  return open(*source, sql);
}

bool dao_database::test_query(const std::wstring& sql) {
  tk_trace(1, L"dao_database::test_query(%ls)", sql.c_str());
  // The query counts as good only when its table can actually be read.
  try {
    auto table = parse_select(sql);
    if (!table) return false;
    const table_source* source = find_source(*table);
    return source != nullptr && open(*source, sql) != nullptr;
  } catch (const tk_exception& e) {
    tk_trace(1, "test_query failed: %s", e.what());
    return false;
  }
}
