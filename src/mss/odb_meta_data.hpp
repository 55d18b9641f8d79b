// The four catalog readers: primary key, foreign keys, indexes and tables, as
// recordsets over queries on SQL Server's sys catalog views (documented for
// every version since 2005 and present in Azure SQL Database, unlike some
// INFORMATION_SCHEMA views on other engines). Each reader sends one query,
// filtered to the one table (or schema) it describes; names travel as
// escaped N'...' literals.
//
//   odb_pk_meta_data  columns: CONSTRAINT_NAME, COLUMN_NAME, ORDINAL
//   odb_fk_meta_data  columns: FK_NAME, FK_COLUMN, PK_TABLE, PK_COLUMN,
//                              ORDINAL, UPDATE_RULE, DELETE_RULE, PK_SCHEMA
//   odb_id_meta_data  columns: INDEX_NAME, IS_UNIQUE, IS_PRIMARY_KEY,
//                              COLUMN_NAME, ORDINAL
//   odb_tl_meta_data  columns: TABLE_NAME, TABLE_SCHEMA
//
// Rows come ordered by key and ordinal; rules read "NO ACTION", "CASCADE",
// "SET NULL" or "SET DEFAULT". An empty owner means the table as the session
// resolves an unqualified name (its default schema, then dbo), and for the
// table list every schema. Owns its rows; one thread.
#pragma once

#include <string>

#include "odb_connection.hpp"
#include "odb_recordset.hpp"

class odb_meta_data : public odb_recordset {
 protected:
  odb_meta_data(odb_connection& connection, const std::wstring& name, const std::string& sql);
};

class odb_pk_meta_data final : public odb_meta_data {
 public:
  odb_pk_meta_data(odb_connection& connection, const std::wstring& table,
                   const std::wstring& owner);
};

class odb_fk_meta_data final : public odb_meta_data {
 public:
  odb_fk_meta_data(odb_connection& connection, const std::wstring& table,
                   const std::wstring& owner);
};

// Every index with key columns, the primary key's included.
class odb_id_meta_data final : public odb_meta_data {
 public:
  odb_id_meta_data(odb_connection& connection, const std::wstring& table,
                   const std::wstring& owner);
};

class odb_tl_meta_data final : public odb_meta_data {
 public:
  odb_tl_meta_data(odb_connection& connection, const std::wstring& owner);
};

// A text as an N'...' literal with every "'" doubled.
std::string odb_quote_literal(const std::wstring& text);
// OBJECT_ID(N'[owner].[table]') for a table, or OBJECT_ID(N'[table]') without
// an owner: the table's id in the current database, NULL when it is missing.
std::string odb_object_id_sql(const std::wstring& table, const std::wstring& owner);
