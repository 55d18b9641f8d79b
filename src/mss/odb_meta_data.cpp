#include "odb_meta_data.hpp"

#include <sybdb.h>

#include <algorithm>
#include <map>

#include "tk_text.hpp"
#include "tk_trace.hpp"

std::string odb_quote_literal(const std::wstring& text) {
  std::wstring out = L"N'";
  for (wchar_t c : text) {
    out += c;
    if (c == L'\'') out += L'\'';
  }
  out += L'\'';
  return tk_w2utf8(out);
}

namespace {

odb_column_info text_column(const char* name) {
  odb_column_info c;
  c.name = name;
  c.server_type = SYBVARCHAR;
  c.size = 256;
  return c;
}

odb_cell cell(const std::string& text) { return odb_cell{false, text}; }

std::string where_table(const std::wstring& table, const std::wstring& owner) {
  std::string w = " WHERE TABLE_NAME = " + odb_quote_literal(table);
  if (!owner.empty()) w += " AND TABLE_SCHEMA = " + odb_quote_literal(owner);
  return w;
}

// Constraint name -> type, for one table.
std::map<std::string, std::string> constraint_types(odb_connection& c, const std::wstring& table,
                                                    const std::wstring& owner) {
  std::map<std::string, std::string> out;
  odb_result r =
      c.query("SELECT CONSTRAINT_NAME, CONSTRAINT_TYPE FROM INFORMATION_SCHEMA.TABLE_CONSTRAINTS" +
              where_table(table, owner));
  for (const auto& row : r.rows)
    if (row.size() >= 2) out[row[0].bytes] = row[1].bytes;
  return out;
}

// Key columns of the constraints of the wanted type: (name, column, ordinal).
odb_result key_columns(odb_connection& c, const std::wstring& table, const std::wstring& owner,
                       const std::string& type) {
  auto types = constraint_types(c, table, owner);
  odb_result r = c.query(
      "SELECT CONSTRAINT_NAME, COLUMN_NAME, ORDINAL_POSITION FROM "
      "INFORMATION_SCHEMA.KEY_COLUMN_USAGE" +
      where_table(table, owner));
  odb_result out;
  out.columns = {text_column("CONSTRAINT_NAME"), text_column("COLUMN_NAME"),
                 text_column("ORDINAL")};
  for (auto& row : r.rows)
    if (row.size() >= 3 && types[row[0].bytes] == type) out.rows.push_back(row);
  std::stable_sort(out.rows.begin(), out.rows.end(), [](const auto& a, const auto& b) {
    if (a[0].bytes != b[0].bytes) return a[0].bytes < b[0].bytes;
    return std::atol(a[2].bytes.c_str()) < std::atol(b[2].bytes.c_str());
  });
  return out;
}

}  // namespace

odb_meta_data::odb_meta_data(odb_connection& connection, const std::wstring& name,
                             const std::string& sql)
    : odb_recordset(name) {
  if (!sql.empty()) set_result(connection.query(sql));
}

odb_pk_meta_data::odb_pk_meta_data(odb_connection& connection, const std::wstring& table,
                                   const std::wstring& owner)
    : odb_meta_data(connection, L"primary keys", "") {
  set_result(key_columns(connection, table, owner, "PRIMARY KEY"));
}

odb_fk_meta_data::odb_fk_meta_data(odb_connection& connection, const std::wstring& table,
                                   const std::wstring& owner)
    : odb_meta_data(connection, L"foreign keys", "") {
  odb_result fk = key_columns(connection, table, owner, "FOREIGN KEY");
  odb_result rules = connection.query(
      "SELECT CONSTRAINT_NAME, UNIQUE_CONSTRAINT_NAME, UPDATE_RULE, DELETE_RULE FROM "
      "INFORMATION_SCHEMA.REFERENTIAL_CONSTRAINTS");
  // Referenced columns: the key columns of the unique constraint named.
  odb_result all = connection.query(
      "SELECT CONSTRAINT_NAME, COLUMN_NAME, ORDINAL_POSITION, TABLE_NAME FROM "
      "INFORMATION_SCHEMA.KEY_COLUMN_USAGE");
  odb_result out;
  out.columns = {text_column("FK_NAME"),    text_column("FK_COLUMN"), text_column("PK_TABLE"),
                 text_column("PK_COLUMN"),  text_column("ORDINAL"),   text_column("UPDATE_RULE"),
                 text_column("DELETE_RULE")};
  for (const auto& row : fk.rows) {
    std::string unique_name, update_rule = "NO ACTION", delete_rule = "NO ACTION";
    for (const auto& r : rules.rows)
      if (r.size() >= 4 && r[0].bytes == row[0].bytes) {
        unique_name = r[1].bytes;
        update_rule = r[2].bytes;
        delete_rule = r[3].bytes;
      }
    std::string pk_table, pk_column;
    for (const auto& k : all.rows)
      if (k.size() >= 4 && k[0].bytes == unique_name && k[2].bytes == row[2].bytes) {
        pk_column = k[1].bytes;
        pk_table = k[3].bytes;
      }
    out.rows.push_back({row[0], row[1], cell(pk_table), cell(pk_column), row[2], cell(update_rule),
                        cell(delete_rule)});
  }
  set_result(std::move(out));
}

odb_id_meta_data::odb_id_meta_data(odb_connection& connection, const std::wstring& table,
                                   const std::wstring& owner)
    : odb_meta_data(connection, L"indexes", "") {
  // Unique constraints and the primary key are the indexes the catalog
  // describes column by column.
  auto types = constraint_types(connection, table, owner);
  odb_result r = connection.query(
      "SELECT CONSTRAINT_NAME, COLUMN_NAME, ORDINAL_POSITION FROM "
      "INFORMATION_SCHEMA.KEY_COLUMN_USAGE" +
      where_table(table, owner));
  odb_result out;
  out.columns = {text_column("INDEX_NAME"), text_column("IS_UNIQUE"), text_column("IS_PRIMARY_KEY"),
                 text_column("COLUMN_NAME"), text_column("ORDINAL")};
  for (const auto& row : r.rows) {
    const std::string& type = types[row[0].bytes];
    if (type != "PRIMARY KEY" && type != "UNIQUE") continue;
    out.rows.push_back(
        {row[0], cell("1"), cell(type == "PRIMARY KEY" ? "1" : "0"), row[1], row[2]});
  }
  set_result(std::move(out));
}

odb_tl_meta_data::odb_tl_meta_data(odb_connection& connection, const std::wstring& owner)
    : odb_meta_data(connection, L"tables",
                    "SELECT TABLE_NAME, TABLE_SCHEMA, TABLE_TYPE FROM INFORMATION_SCHEMA.TABLES" +
                        (owner.empty() ? std::string()
                                       : " WHERE TABLE_SCHEMA = " + odb_quote_literal(owner))) {}
