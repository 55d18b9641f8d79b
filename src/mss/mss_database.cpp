#include "mss_database.hpp"

#include <algorithm>
#include <cwctype>

#include "mss_engine.hpp"
#include "mss_table.hpp"
#include "odb_meta_data.hpp"
#include "tk_mail_assertion.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

namespace {

std::wstring plain_name(const std::wstring& name) {
  std::wstring table, owner;
  return mss_split_tab_name(name, table, owner) ? table : name;
}

}  // namespace

mss_database::mss_database(const std::wstring& name, std::shared_ptr<odb_connection> connection,
                           int mode)
    : odb_database(name, std::move(connection), mode) {
  tk_trace(2, L"mss_database::ctor(%ls)", name.c_str());
  const mss_engine* engine = mss_engine::instance();
  owner_ = engine ? engine->table_owner(this->connection()) : L"dbo";
  tk_trace(1, L"user=%ls", owner_.c_str());
  tk_trace(1, "Step  #1");
  odb_tl_meta_data tables(this->connection(), owner_);
  for (; !tables.is_eof(); tables.move_next()) {
    odb_record& r = tables.get_item();
    const std::wstring table = r.field_at(0).to_wstring();
    tk_trace(1, L"Got table: (%ls, %ls)", table.c_str(), r.field_at(1).to_wstring().c_str());
    add_table_name(table);
  }
  tk_trace(1, "Tables count: %d", static_cast<int>(get_tables().size()));
}

mss_database::~mss_database() = default;

std::wstring mss_database::safe_name(const std::wstring& name) const {
  return mss_engine::get_safe_tname(name, owner_);
}

bool mss_database::delete_tab(const std::wstring& name) {
  // Unqualified, DROP TABLE would find the login's default schema first,
  // which need not be the owner (with --as_dbo, say).
  return odb_database::delete_tab(safe_name(name));
}

std::unique_ptr<mss_table> mss_database::create_mss_table(const std::wstring& name,
                                                          const udb_schema& schema,
                                                          const udb_indexes& indexes) {
  tk_trace(2, L"mss_database::create_table(%ls)", name.c_str());
  TK_ASSERT((get_mode() & mode_read_only) == 0);
  const std::wstring table = plain_name(name);
  const bool b_exists = is_table_exist(table);
  if (!((get_mode() & mode_append) && b_exists)) {
    TK_ASSERT(!b_exists);
    create_table_in_server(safe_name(name), schema, indexes);
    add_table_name(table);
  }
  auto t = get_mss_table(name, 2);
  t->clean_indexes();
  for (const udb_index& index : indexes) t->add_index(index);
  return t;
}

std::unique_ptr<udb_recordset> mss_database::create_table(const std::wstring& name,
                                                          const udb_schema& schema,
                                                          const udb_indexes& indexes) {
  return create_mss_table(name, schema, indexes);
}

std::unique_ptr<mss_table> mss_database::get_mss_table(const std::wstring& name, int mode) {
  return std::make_unique<mss_table>(safe_name(name), shared_connection(), mode,
                                     &get_relationships());
}

std::unique_ptr<udb_recordset> mss_database::get_table(const std::wstring& name, int mode) {
  return get_mss_table(name, mode);
}

std::unique_ptr<udb_recordset> mss_database::get_table(const std::wstring& name,
                                                       const std::wstring& query, int mode) {
  return std::make_unique<mss_table>(name, query, shared_connection(), mode, &get_relationships());
}

bool mss_database::is_valid_fk_props(const std::wstring& text) {
  tk_trace(1, L"mss_database::is_valid_fk_props(%ls)", text.c_str());
  static const wchar_t* valid[] = {L"ON DELETE NO ACTION",   L"ON DELETE CASCADE",
                                   L"ON DELETE SET DEFAULT", L"ON DELETE SET NULL",
                                   L"ON UPDATE NO ACTION",   L"ON UPDATE CASCADE",
                                   L"ON UPDATE SET DEFAULT", L"ON UPDATE SET NULL"};
  for (const wchar_t* v : valid)
    if (tk_compare_nocase(text, v) == 0) return true;
  return false;
}

std::string mss_database::fk_sql(const udb_relationship& r, int version_level) const {
  const udb_names_map& names = get_names_map();
  auto table_name = [&](const std::wstring& n) { return names.get_tn_mapped_name(n, true); };
  auto column_name = [&](const std::wstring& t, const std::wstring& c) {
    return names.get_fn_mapped_name(t, c, true);
  };
  std::wstring sql = L"ALTER TABLE " + mss_bracket(table_name(r.referencing_table)) +
                     L" ADD CONSTRAINT " + mss_bracket(r.name) + L" FOREIGN KEY (";
  for (std::size_t i = 0; i < r.referencing_columns.size(); ++i)
    sql +=
        (i ? L", " : L"") + mss_bracket(column_name(r.referencing_table, r.referencing_columns[i]));
  sql += L") REFERENCES " + mss_bracket(table_name(r.referenced_table)) + L"(";
  for (std::size_t i = 0; i < r.referenced_columns.size(); ++i)
    sql +=
        (i ? L", " : L"") + mss_bracket(column_name(r.referenced_table, r.referenced_columns[i]));
  sql += L")";
  if (!r.action_text.empty() && is_valid_fk_props(r.action_text) && version_level == 3)
    sql += L" " + r.action_text;
  return tk_w2utf8(sql);
}

void mss_database::create_relationships(const udb_relationships& relationships,
                                        const mss_fk_error_sink& on_error) {
  tk_trace(1, "mss_database::create_relationships");
  tk_trace(3, "Converting foreign keys");
  if (get_mode() & mode_append) {
    tk_trace(3, "Foreign keys are not converted in append mode");
    return;
  }
  const mss_engine* e = mss_engine::instance();
  for (const udb_relationship& r : relationships) {
    tk_trace(3, L"Processing '%ls'", r.name.c_str());
    try {
      execute(fk_sql(r, e ? e->version_level() : 5));
    } catch (const odb_exception& error) {
      const std::wstring context = L"Foreign key '" + r.name + L"'";
      if (!on_error) throw;
      if (error.low_word() == odb_low_integrity)
        on_error(tk_exception(
                     "There are orphaned records that prevent from creating foreign key. For more\n"
                     "information see Troubleshooting article of the product documentation.",
                     tk_level_item),
                 context);
      else
        on_error(error, context);
    }
  }
}
