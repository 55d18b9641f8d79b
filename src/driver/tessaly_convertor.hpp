// tessaly_convertor: the conversion driver, one per process.
//
// Holds every setting of a conversion and runs it: opens the source (a
// workbook or one CSV file), prepares the destination database as the mode
// says, decides per table what the mode says about an existing table,
// creates or reuses the table and streams the records across one at a time,
// converting each value to its column's type and gathering column statistics
// on the way. Both front ends get the same four modes from here:
//   0  the database is dropped and created again,
//   1  an existing table is dropped and created again,
//   2  an existing table is left alone (skipped),
//   3  rows are appended to an existing table.
// Nothing is dropped before the source is known to be loadable: the database
// is prepared only when the first source table has been read far enough to
// create its table, and a table is dropped right before its rows are loaded.
// A run whose source cannot be read leaves the destination as it was.
//
// Failures of one table or one record are reported through the error handler
// and the run goes on (a front end may answer "abort"). Anything that ends
// the run is reported once and unwinds to the caller of operator(), which
// reads outcome(); nothing here ends the process. A lost connection and a
// server that stops answering end the run with a message that says how many
// rows of the table had landed.
//
// Threads: operator() runs on one thread (the agent's main thread, the
// wizard's worker). Another thread may call request_stop() (the run stops
// cleanly at the next record, committing what it sent), get_progress(),
// progress() and, once b_finished is set, outcome(). Settings are written by
// the front end before a run, never during one.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "conversion_progress.hpp"
#include "mssql_converter_impl.hpp"
#include "tk_singleton.hpp"
#include "udb_converter.hpp"
#include "xls_reader.hpp"

class csv_file;
class mss_database;
class mss_table;
class run_front_end;
class run_names;
class table_typing;
class tk_exception;
class tk_reg_key;
class udb_recordset;

// How the last run ended.
enum class run_outcome {
  not_run,
  completed,  // every table was tried; item errors may have been reported
  failed,     // an error ended the run; it was reported
  stopped,    // request_stop() or the user's "abort" ended it between records
};

class tessaly_convertor final : public udb_converter,
                                public xls_reader,
                                public tk_singleton<tessaly_convertor> {
 public:
  tessaly_convertor();
  ~tessaly_convertor() override;

  // Runs one conversion. Never lets an exception escape.
  void operator()();
  void run() override { (*this)(); }
  run_outcome outcome() const { return outcome_.load(); }

  bool is_query(const std::wstring&) override { return false; }

  // 0..100: finished worksheets of a workbook, the read position of a CSV
  // file; 100 once a run has completed.
  int get_progress() const { return progress_.percent(); }
  progress_snapshot progress() const { return progress_.snapshot(); }

  using udb_converter::load_profile;
  using udb_converter::store_profile;
  bool load_profile(const udb_profile& profile) override;
  bool store_profile(udb_profile& profile) override;

  // Stores the settings the wizard keeps between sessions (store true) or
  // loads them, each falling back to the wizard's default when missing.
  // True only when every value was read or written.
  bool serialize(bool b_store);

  // The destination database as the mode wants it: in mode 0 an existing one
  // is dropped and created again; otherwise it is opened when it exists and
  // created when not.
  std::unique_ptr<mss_database> get_dest_base();

  mssql_converter_impl mssql;
  // A loaded profile named the mode, so a CSV run keeps it rather than
  // falling back to its default.
  bool b_mode_from_profile = false;
  // Whether loading a profile resolves its worksheets at once (the wizard's
  // pages show them). The agent resolves them after reading every option,
  // since a later --src= may name another workbook.
  bool b_profile_selects_sheets = true;

 private:
  void exchange_csv_format(tk_reg_key& key, bool b_store);
  void convert_from_xls();
  void convert_from_csv();
  // Loads one source table into `name`: decides what the mode says about an
  // existing table, opens it and streams the records. False when the table
  // was skipped.
  bool load_table(udb_recordset& source, const std::wstring& source_name, const std::wstring& name,
                  bool b_generated, run_names& names, const std::function<int()>& percent);
  // The column types of a table this run creates, when refinement is on.
  std::unique_ptr<table_typing> classify(udb_recordset& source, const std::wstring& name);
  // The destination table for a source, opened for loading, with its row
  // failures routed to the error handler.
  // `typing`, when given, types the new table's columns.
  std::unique_ptr<mss_table> open_table(mss_database& destination, const std::wstring& name,
                                        const udb_recordset& source, bool b_existed,
                                        const table_typing* typing);
  void convert_step(udb_recordset& source, mss_table& table, mss_database& destination,
                    const table_typing* typing);
  // The destination of this run, prepared on first use.
  mss_database& destination();
  // Hands one failed table or record to the error handler; the run goes on
  // unless the front end answers "abort".
  void report_item_error(const tk_exception& e, long record_number);
  // Reports what ended the run; a lost or silent server gets its own words.
  void report_run_failure(const tk_exception& e);
  bool is_connection_failure(const tk_exception& e) const;
  // Whether a failure ends the run rather than one table or record.
  bool ends_run(const tk_exception& e) const;
  // Publishes where the current table stands (run thread).
  void publish_progress(long records);
  // A line of the run's report, unless silent; also in the trace log.
  void say(const std::string& line) const;
  void say(const std::wstring& line) const;
  run_front_end& front_end() const;

  std::unique_ptr<mss_database> destination_;
  conversion_progress progress_;
  std::atomic<run_outcome> outcome_{run_outcome::not_run};
  // What the run is doing, for a message about a server that stopped
  // answering ("loading rows into table orders").
  std::wstring doing_;
  std::wstring current_table_;  // as the source names it, for error context
  std::wstring loading_table_;  // as the destination names it
  long loading_rows_ = 0;       // rows of loading_table_ the server committed
  long refused_rows_ = 0;
  // The percentage of the source read, for the current table.
  std::function<int()> percent_of_source_;
  // The CSV file being loaded, for the lines of its records; null otherwise.
  const csv_file* csv_source_ = nullptr;
};
