// dao_engine: the workbook engine behind the dao_ classes.
//
// Stands where the DAO/Jet engine stood: one instance at a time (a second
// construction is an internal assertion), reachable through instance() while
// it lives. Version keys 3 (the newer engine) and 0 (DAO 3.6) both select
// this process's own workbook reader; keys 1 and 2 name engines that do not
// exist here, so set_version_if reports false for them. There is no COM: the
// constructor's flag is kept for the callers' sake only.
//
// open_dao_src opens a workbook with an Excel connect string: "HDR=No"
// makes the first row data instead of names; "IMEX=1" (mixed columns read
// as text) is what this reader always does. The engine must outlive every
// database, recordset, record and field made through it.
// Not thread-safe: used on the thread that built it.
#pragma once

#include <memory>
#include <string>

class dao_database;

class dao_engine {
 public:
  enum : int { no_engine = 4 };

  explicit dao_engine(int b_caller_owns_com);
  virtual ~dao_engine();
  dao_engine(const dao_engine&) = delete;
  dao_engine& operator=(const dao_engine&) = delete;

  // The live engine, or null.
  static dao_engine* instance();

  // Selects an engine version (0..3; others are an internal assertion).
  bool set_version_if(int key);
  int get_version() const { return version_; }

  // Opens a workbook; flags bit 0 read-only, bit 4 exclusive (both accepted,
  // the workbook is never written). An encrypted workbook opens with
  // Excel's built-in password or with `password`, which is kept apart from
  // the connect string so that it never reaches the trace log. Raises
  // dao_exception 3161 or 3274 (level 1) when the workbook cannot be read,
  // 3170 for a connect string that does not name Excel.
  std::unique_ptr<dao_database> open_dao_src(const std::wstring& file_name,
                                             const std::wstring& connect, int flags,
                                             const std::wstring& password = {});

  // Parses the HDR option of an Excel connect string (true unless HDR=No).
  static bool header_from_connect(const std::wstring& connect);

 private:
  int version_ = no_engine;
  const int b_caller_owns_com_;
};
