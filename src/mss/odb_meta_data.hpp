// The four catalog readers: primary keys, foreign keys, indexes and tables of
// a database, as recordsets over catalog queries.
//
//   odb_pk_meta_data  columns: CONSTRAINT_NAME, COLUMN_NAME, ORDINAL
//   odb_fk_meta_data  columns: FK_NAME, FK_COLUMN, PK_TABLE, PK_COLUMN,
//                              ORDINAL, UPDATE_RULE, DELETE_RULE
//   odb_id_meta_data  columns: INDEX_NAME, IS_UNIQUE, IS_PRIMARY_KEY,
//                              COLUMN_NAME, ORDINAL
//   odb_tl_meta_data  columns: TABLE_NAME, TABLE_SCHEMA
//
// An empty owner reads every schema. Owns its rows; one thread.
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
