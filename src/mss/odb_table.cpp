#include "odb_table.hpp"

#include <algorithm>
#include <cstdlib>

#include "mss_engine.hpp"
#include "odb_meta_data.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

odb_table::odb_table(const std::wstring& name, std::shared_ptr<odb_connection> connection, int mode,
                     udb_relationships* relationships)
    : odb_recordset(name), connection_(std::move(connection)), relationships_(relationships) {
  tk_trace(2, L"odb_table::odb_table(%ls)", name.c_str());
  try {
    internal_initialize(mode);
  } catch (const odb_exception& e) {
    std::wstring table, owner;
    if (e.low_word() != odb_low_no_table || !mss_split_tab_name(this->name, table, owner)) throw;
    tk_trace(1, "Got table_not_exists error");
    const std::wstring retry = L"[dbo]." + mss_bracket(table);
    if (retry == this->name) throw;
    this->name = retry;
    tk_trace(1, L"Creating %ls", retry.c_str());
    internal_initialize(mode);
  }
  tk_trace(1, "Got %ld records", records_at_open_);
}

odb_table::odb_table(const std::wstring& name, const std::wstring& query,
                     std::shared_ptr<odb_connection> connection, int mode,
                     udb_relationships* relationships)
    : odb_recordset(name),
      connection_(std::move(connection)),
      relationships_(relationships),
      b_query_(true) {
  source_text = query;
  tk_trace(2, L"odb_table::odb_table(%ls)", name.c_str());
  internal_initialize(mode | 1);
  tk_trace(1, "Got %ld records", records_at_open_);
}

odb_table::~odb_table() = default;

void odb_table::internal_initialize(int mode) {
  if (b_query_) {
    set_result(connection_->query(tk_w2utf8(source_text)));
  } else if (mode & 1) {
    tk_trace(1, "Open rowset in read_only mode");
    set_result(connection_->query("SELECT * FROM " + tk_w2utf8(name)));
  } else {
    tk_trace(1, "Open rowset in create/append mode");
  }
  records_at_open_ = get_records_cnt();
}

long odb_table::get_records_cnt() {
  const std::string sql = b_query_
                              ? "SELECT COUNT(*) FROM (" + tk_w2utf8(source_text) + ") as query"
                              : "SELECT COUNT(*) FROM " + tk_w2utf8(name);
  odb_result r = connection_->query(sql);
  if (r.rows.empty() || r.rows[0].empty()) return 0;
  return std::atol(r.rows[0][0].bytes.c_str());
}

void odb_table::init_indexes(const std::wstring& table, const std::wstring& owner) {
  tk_trace(1, L"odb_table::init_indexes(%ls,%ls)", table.c_str(), owner.c_str());
  // One query for every index, the primary key's included, and one for the
  // foreign keys.
  udb_index primary;
  std::vector<udb_index> found;
  {
    odb_id_meta_data id(*connection_, table, owner);
    for (; !id.is_eof(); id.move_next()) {
      odb_record& r = id.get_item();
      const std::wstring index_name = r.field_at(0).to_wstring();
      if (r.field_at(2).to_wstring() == L"1") {
        if (primary.name.empty()) {
          primary.name = index_name;
          tk_trace(1, L"Got pr.key: %ls", primary.name.c_str());
        }
        primary.columns.push_back(r.field_at(3).to_wstring());
        continue;
      }
      udb_index* target = nullptr;
      for (auto& i : found)
        if (i.name == index_name) target = &i;
      if (!target) {
        tk_trace(1, L"Got index: %ls", index_name.c_str());
        found.push_back(udb_index{index_name, r.field_at(1).to_wstring() == L"1", false, {}});
        target = &found.back();
      }
      target->columns.push_back(r.field_at(3).to_wstring());
    }
  }
  if (!primary.name.empty()) {
    primary.b_primary = true;
    primary.b_unique = true;
    add_index(primary);
    tk_trace(1, "Skip Primary Key DoubleInitialization");
  }
  for (const auto& i : found) add_index(i);
  if (!relationships_) return;
  odb_fk_meta_data fk(*connection_, table, owner);
  std::vector<std::wstring> added;
  for (; !fk.is_eof(); fk.move_next()) {
    odb_record& r = fk.get_item();
    const std::wstring fk_name = r.field_at(0).to_wstring();
    tk_trace(1, L"GOT FOREIGN KEY: %ls", fk_name.c_str());
    if (relationships_->is_acceptable_name(fk_name)) {
      udb_relationship rel;
      rel.name = fk_name;
      rel.referencing_table = table;
      rel.referenced_table = r.field_at(2).to_wstring();
      relationships_->add(rel);
      added.push_back(fk_name);
    }
    // A key already listed (read before) keeps the columns it has.
    if (std::find(added.begin(), added.end(), fk_name) == added.end()) continue;
    udb_relationship& rel = relationships_->get_index(fk_name);
    rel.referencing_columns.push_back(r.field_at(1).to_wstring());
    rel.referenced_columns.push_back(r.field_at(3).to_wstring());
  }
}
