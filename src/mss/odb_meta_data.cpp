#include "odb_meta_data.hpp"

#include <algorithm>

#include "mss_engine.hpp"
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

std::string odb_object_id_sql(const std::wstring& table, const std::wstring& owner) {
  const std::wstring name =
      owner.empty() ? mss_bracket(table) : mss_bracket(owner) + L"." + mss_bracket(table);
  return "OBJECT_ID(" + odb_quote_literal(name) + ")";
}

namespace {

// The key columns of a table's indexes, in index and key order; key_ordinal 0
// marks included columns, which are not part of the key.
std::string index_sql(const char* columns, const std::wstring& table, const std::wstring& owner,
                      const char* extra_filter) {
  return std::string("SELECT ") + columns +
         " FROM sys.indexes i "
         "JOIN sys.index_columns ic ON ic.object_id = i.object_id AND ic.index_id = i.index_id "
         "JOIN sys.columns c ON c.object_id = ic.object_id AND c.column_id = ic.column_id "
         "WHERE i.object_id = " +
         odb_object_id_sql(table, owner) + " AND ic.key_ordinal > 0" + extra_filter +
         " ORDER BY i.index_id, ic.key_ordinal";
}

}  // namespace

odb_meta_data::odb_meta_data(odb_connection& connection, const std::wstring& name,
                             const std::string& sql)
    : odb_recordset(name) {
  if (!sql.empty()) set_result(connection.query(sql));
}

odb_pk_meta_data::odb_pk_meta_data(odb_connection& connection, const std::wstring& table,
                                   const std::wstring& owner)
    : odb_meta_data(connection, L"primary keys",
                    index_sql("i.name AS CONSTRAINT_NAME, c.name AS COLUMN_NAME, ic.key_ordinal "
                              "AS ORDINAL",
                              table, owner, " AND i.is_primary_key = 1")) {}

namespace {

// sys.foreign_keys spells its rules with underscores (NO_ACTION); the rest of
// the system uses the SQL words.
odb_result with_spaced_rules(odb_result result) {
  for (auto& row : result.rows)
    for (std::size_t column : {std::size_t{5}, std::size_t{6}})
      if (column < row.size())
        std::replace(row[column].bytes.begin(), row[column].bytes.end(), '_', ' ');
  return result;
}

}  // namespace

odb_fk_meta_data::odb_fk_meta_data(odb_connection& connection, const std::wstring& table,
                                   const std::wstring& owner)
    : odb_meta_data(connection, L"foreign keys", "") {
  const std::string sql =
      "SELECT fk.name AS FK_NAME, pc.name AS FK_COLUMN, rt.name AS PK_TABLE, rc.name AS "
      "PK_COLUMN, fkc.constraint_column_id AS ORDINAL, fk.update_referential_action_desc AS "
      "UPDATE_RULE, fk.delete_referential_action_desc AS DELETE_RULE, rs.name AS PK_SCHEMA "
      "FROM sys.foreign_keys fk "
      "JOIN sys.foreign_key_columns fkc ON fkc.constraint_object_id = fk.object_id "
      "JOIN sys.columns pc ON pc.object_id = fkc.parent_object_id AND pc.column_id = "
      "fkc.parent_column_id "
      "JOIN sys.columns rc ON rc.object_id = fkc.referenced_object_id AND rc.column_id = "
      "fkc.referenced_column_id "
      "JOIN sys.tables rt ON rt.object_id = fkc.referenced_object_id "
      "JOIN sys.schemas rs ON rs.schema_id = rt.schema_id "
      "WHERE fk.parent_object_id = " +
      odb_object_id_sql(table, owner) + " ORDER BY fk.name, fkc.constraint_column_id";
  set_result(with_spaced_rules(connection.query(sql)));
}

odb_id_meta_data::odb_id_meta_data(odb_connection& connection, const std::wstring& table,
                                   const std::wstring& owner)
    : odb_meta_data(connection, L"indexes",
                    index_sql("i.name AS INDEX_NAME, i.is_unique AS IS_UNIQUE, i.is_primary_key "
                              "AS IS_PRIMARY_KEY, c.name AS COLUMN_NAME, ic.key_ordinal AS "
                              "ORDINAL",
                              table, owner, "")) {}

odb_tl_meta_data::odb_tl_meta_data(odb_connection& connection, const std::wstring& owner)
    : odb_meta_data(
          connection, L"tables",
          "SELECT t.name AS TABLE_NAME, s.name AS TABLE_SCHEMA FROM sys.tables t JOIN "
          "sys.schemas s ON s.schema_id = t.schema_id" +
              (owner.empty() ? std::string() : " WHERE s.name = " + odb_quote_literal(owner)) +
              " ORDER BY t.name") {}
