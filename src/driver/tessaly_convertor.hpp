// tessaly_convertor: the conversion driver, one per process.
//
// Holds every setting of a conversion and runs it: opens the source (a
// workbook or one CSV file) and the destination database, decides per table
// what the mode says about an existing table, creates or reuses the table and
// streams the records across one at a time, converting each value to its
// column's type and gathering column statistics on the way.
//
// Failures of one table or one record are reported through the error handler
// and the run goes on; anything else ends the run through the same handler.
// The run checks stop_requested() between records and between tables, so a
// front end can stop it cleanly from another thread. Progress counters are
// written by the running thread and may be read by another without locks.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "mssql_converter_impl.hpp"
#include "tk_singleton.hpp"
#include "udb_converter.hpp"
#include "xls_reader.hpp"

class csv_file;
class mss_database;
class mss_table;
class udb_recordset;

class tessaly_convertor final : public udb_converter,
                                public xls_reader,
                                public tk_singleton<tessaly_convertor> {
 public:
  tessaly_convertor();
  ~tessaly_convertor() override;

  // Runs one conversion. Never lets an exception escape.
  void operator()();
  void run() override { (*this)(); }

  bool is_query(const std::wstring&) override { return false; }

  // 0..100: finished tables of a workbook, the read position of a CSV file.
  int get_progress();

  using udb_converter::load_profile;
  using udb_converter::store_profile;
  bool load_profile(const udb_profile& profile) override;
  bool store_profile(udb_profile& profile) override;

  // Stores the settings the wizard keeps between sessions (store true) or
  // loads them, each falling back to the wizard's default when missing.
  // True only when every value was read or written.
  bool serialize(bool b_store);

  // The destination database: opened when it exists, created otherwise.
  std::unique_ptr<mss_database> get_dest_base();

  mssql_converter_impl mssql;
  // A loaded profile named the mode, so a CSV run keeps it rather than
  // falling back to its default.
  bool b_mode_from_profile = false;

  // Progress of the current run.
  std::atomic<int> table_total{0};
  std::atomic<int> table_counter{0};
  std::atomic<long> record_counter{0};

 private:
  void convert_from_xls();
  void convert_from_csv();
  // The destination table for a source, opened for loading, with its row
  // failures routed to the error handler.
  std::unique_ptr<mss_table> open_table(mss_database& destination, const std::wstring& name,
                                        const udb_recordset& source, bool b_existed);
  void convert_step(udb_recordset& source, mss_table& table, mss_database& destination);
  // The console line for progress, unless silent.
  void say(const std::wstring& text) const;

  std::wstring current_table_;
  std::atomic<csv_file*> current_csv_{nullptr};
};
