#include "tessaly_convertor.hpp"

#include <cstdio>
#include <exception>
#include <vector>

#include "csv_file.hpp"
#include "dao_database.hpp"
#include "dao_engine.hpp"
#include "dao_recordset.hpp"
#include "error_handler.hpp"
#include "init_conversion.hpp"
#include "mss_database.hpp"
#include "mss_engine.hpp"
#include "mss_field_upsizer.hpp"
#include "mss_table.hpp"
#include "odb_exception.hpp"
#include "run_messages.hpp"
#include "run_names.hpp"
#include "table_typing.hpp"
#include "tk_final_exception.hpp"
#include "tk_mail_assertion.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

namespace {

// Records between two progress reports: often enough for a progress line
// refreshed a few times a second, rarely enough to cost nothing.
constexpr long progress_every = 64;

void set_error_context(const std::wstring& table) {
  if (error_handler* handler = error_handler::instance()) handler->set_context(table);
}

void set_error_context(const std::wstring& table, long record, std::int64_t line = 0) {
  if (error_handler* handler = error_handler::instance()) handler->set_context(table, record, line);
}

// Reports what the run met on the way, such as a shortened name.
void report_notice(const std::wstring& table, const std::wstring& text) {
  set_error_context(table);
  if (error_handler* handler = error_handler::instance())
    handler->handle(tk_exception(text, tk_level_item), false);
}

}  // namespace

tessaly_convertor::tessaly_convertor() : xls_reader(src, selected, src_pswd) {
  tk_trace(2, "tessaly_convertor::ctor");
}

tessaly_convertor::~tessaly_convertor() { tk_trace(2, "tessaly_convertor::dtor"); }

run_front_end& tessaly_convertor::front_end() const {
  static console_front_end console;
  error_handler* handler = error_handler::instance();
  return handler ? handler->front_end() : console;
}

void tessaly_convertor::say(const std::string& line) const {
  tk_trace(3, "%s", line.c_str());
  if (!b_silent) front_end().report(line);
}

void tessaly_convertor::say(const std::wstring& line) const { say(tk_w2a(line)); }

void tessaly_convertor::operator()() {
  tk_trace(2, "tessaly_converter::operator()");
  b_finished = false;
  outcome_ = run_outcome::not_run;
  loading_table_.clear();
  loading_rows_ = 0;
  doing_.clear();
  set_error_context(L"");
  progress_.start_run(0);
  init_conversion stamp(b_finished, true);
  run_outcome outcome = run_outcome::failed;
  try {
    if (from_xls)
      convert_from_xls();
    else
      convert_from_csv();
    outcome = stop_requested() ? run_outcome::stopped : run_outcome::completed;
  } catch (const tk_final_exception&) {
    tk_trace(3, "The conversion was stopped by the user");
    outcome = run_outcome::stopped;
  } catch (const tk_exception& e) {
    report_run_failure(e);
  } catch (const std::exception& e) {
    tk_trace(3, "ERROR:\n%s", e.what());
    report_run_failure(tk_exception(e.what(), tk_level_run));
  }
  destination_.reset();
  if (outcome == run_outcome::stopped) say(stopped_text(loading_table_, loading_rows_));
  progress_.finish(outcome == run_outcome::completed);
  outcome_ = outcome;
}

bool tessaly_convertor::is_connection_failure(const tk_exception& e) const {
  const auto* odb = dynamic_cast<const odb_exception*>(&e);
  if (odb && (odb->is_timeout() || odb->is_connection_failure())) return true;
  return destination_ && destination_->connection().is_dead();
}

void tessaly_convertor::report_run_failure(const tk_exception& e) {
  error_handler* handler = error_handler::instance();
  if (!handler) {
    tk_trace(3, "ERROR:\n%s", e.what());
    return;
  }
  const auto* odb = dynamic_cast<const odb_exception*>(&e);
  const std::wstring server = mssql.engine().server();
  if (odb && odb->is_timeout()) {
    handler->set_context(L"");
    handler->handle(
        tk_exception(timeout_text(server, mssql.timeout, doing_, loading_table_, loading_rows_),
                     tk_level_run),
        true);
  } else if (is_connection_failure(e) && !doing_.empty()) {
    handler->set_context(L"");
    handler->handle(
        tk_exception(lost_connection_text(server, doing_, loading_table_, loading_rows_),
                     tk_level_run),
        true);
  } else {
    handler->handle(e, true);
  }
}

bool tessaly_convertor::ends_run(const tk_exception& e) const {
  return e.level() >= tk_level_run || is_connection_failure(e);
}

void tessaly_convertor::report_item_error(const tk_exception& e, long record_number) {
  if (record_number > 0)
    set_error_context(current_table_, record_number,
                      csv_source_ ? csv_source_->line_of_record(record_number) : 0);
  else
    set_error_context(current_table_);
  if (error_handler* handler = error_handler::instance()) handler->handle(e, false);
}

std::unique_ptr<mss_database> tessaly_convertor::get_dest_base() {
  tk_trace(1, "tessaly_convertor::get_dest_base(mode=%d)", mode);
  mss_engine& engine = mssql.engine();
  const bool b_exists = engine.is_db_exist(dest);
  if (b_exists && mode == mode_overwrite_database) {
    doing_ = L"dropping database " + dest;
    engine.delete_db(dest);
  } else if (b_exists) {
    doing_ = L"opening database " + dest;
    return engine.open_db(dest, mss_database::mode_append);
  }
  doing_ = L"creating database " + dest;
  return engine.create_db(dest);
}

mss_database& tessaly_convertor::destination() {
  if (!destination_) {
    destination_ = get_dest_base();
    tk_trace(1, "After initializing DBs");
  }
  return *destination_;
}

void tessaly_convertor::convert_from_xls() {
  tk_trace(2, "tessaly_convertor::convert_from_xls(src=%s, dest=%s)", tk_w2a(src).c_str(),
           tk_w2a(dest).c_str());
  dao_engine engine(true);
  if (!engine.set_version_if(3) && !engine.set_version_if(0))
    throw tk_exception(
        "Failed to load Data Access Objects (DAO) support library.\r\n"
        "Please reinstall the application to repair it.\r\n",
        tk_level_run);
  doing_.clear();
  std::unique_ptr<dao_database> workbook = open_xls(engine, src, x_fnames, src_pswd);

  const int total = static_cast<int>(worksheets.size());
  progress_.start_run(total);
  say(L"Converting spreadsheet " + src + L"(" + std::to_wstring(total) + L" worksheets)");
  if (total == 0 && !missing_sheets.empty())
    throw tk_exception(no_worksheet_found_text(src), tk_level_run);

  std::unique_ptr<run_names> names;
  int unreadable = 0;
  int opened = 0;
  for (const auto& [display_name, dao_name] : worksheets) {
    if (stop_requested()) break;
    current_table_ = display_name;
    try {
      std::unique_ptr<udb_recordset> source;
      try {
        source = workbook->get_table(dao_name, 1);
        // A table needs at least one column; say so rather than let the
        // server refuse an empty CREATE TABLE.
        if (source->get_schema().field_count() == 0)
          throw tk_exception("The worksheet holds no data, so no table was created for it.",
                             tk_level_item);
      } catch (const tk_exception&) {
        ++unreadable;
        throw;
      }
      // The first worksheet that reads prepares the destination: a
      // workbook none of whose worksheets can be read changes nothing.
      mss_database& database = destination();
      if (!names) names = std::make_unique<run_names>(pushed_back, database.get_tables());
      bool b_generated = false;
      const std::wstring table_name = names->table_name(display_name, b_generated);
      ++opened;
      const int done = progress_.tables_done();
      load_table(*source, display_name, table_name, b_generated, *names,
                 [done, total] { return total > 0 ? done * 100 / total : 100; });
    } catch (const tk_exception& e) {
      // What ends the run is reported once, by the run's own guard.
      if (ends_run(e)) throw;
      report_item_error(e, 0);
    }
    progress_.end_table();
  }
  if (opened == 0 && unreadable > 0 && !stop_requested())
    throw tk_exception(no_worksheet_readable_text(src), tk_level_run);
}

void tessaly_convertor::convert_from_csv() {
  tk_trace(1, "tessaly_convertor::convert_from_csv(src=%s, dest=%s, tab=%s)", tk_w2a(src).c_str(),
           tk_w2a(dest).c_str(), tk_w2a(tab_name).c_str());
  TK_ASSERT(csv_delimiter() != 0);
  progress_.start_run(1);
  doing_.clear();
  // The header is read before the server sees anything: a file that cannot
  // be read leaves the destination as it was.
  csv_file source(src, csv_delimiter(), x_fnames, encoding);
  if (stop_requested()) return;
  // Record errors name the line where the record starts, also for rows of a
  // bulk batch the server refuses later; the file is forgotten before it
  // closes.
  csv_source_ = &source;
  struct forget_source {
    const csv_file*& slot;
    ~forget_source() { slot = nullptr; }
  } forget{csv_source_};

  mss_database& database = destination();
  run_names names({}, database.get_tables());
  bool b_generated = false;
  const std::wstring table_name = names.table_name(tab_name, b_generated);
  current_table_ = table_name;
  load_table(source, tab_name, table_name, b_generated, names,
             [&source] { return source.get_progress(); });
  progress_.end_table();
}

bool tessaly_convertor::load_table(udb_recordset& source, const std::wstring& source_name,
                                   const std::wstring& name, bool b_generated, run_names& names,
                                   const std::function<int()>& percent) {
  mss_database& database = destination();
  if (run_names::utf16_length(source_name) > run_names::max_name_length)
    report_notice(current_table_, shortened_table_text(source_name, name));
  progress_.start_table(name);
  loading_table_ = name;
  loading_rows_ = 0;
  refused_rows_ = 0;

  bool b_exists = database.is_table_exist(name);
  // Skipping existing tables means leaving their rows alone, whatever the
  // source; appending a second time is what merge is for.
  if (b_exists && mode == mode_skip_tables) {
    say(L"Table " + name + L" exists and was skipped");
    return false;
  }
  // A table this run creates gets the types its values fit; an existing
  // one it loads into keeps its own.
  std::unique_ptr<table_typing> typing;
  if (refine_types && !(b_exists && mode == mode_merge)) {
    doing_ = L"reading the values of " + source_name;
    typing = classify(source, name);
    if (stop_requested()) return false;
  }
  if (b_exists && mode == mode_overwrite_tables) {
    // Dropped only now: the source has been read far enough to create it.
    doing_ = L"dropping table " + name;
    database.delete_tab(name);
    b_exists = false;
  }

  doing_ = (b_exists ? L"opening table " : L"creating table ") + name;
  std::unique_ptr<mss_table> table = open_table(database, name, source, b_exists, typing.get());
  if (b_generated) tk_trace(2, "Store generated table name '%s'", tk_w2a(name).c_str());
  names.take(name, b_generated);
  if (!from_xls) say(L"Converting CSV file " + src);

  doing_ = L"loading rows into table " + name;
  percent_of_source_ = percent;
  try {
    convert_step(source, *table, database, typing.get());
  } catch (const tk_final_exception&) {
    // The user stopped the run: what was sent is committed whole first, so
    // that the count says what the table holds.
    try {
      table->close();
    } catch (const tk_exception& e) {
      tk_trace(3, "Closing %s after a stop: %s", tk_w2a(name).c_str(), e.what());
    }
    loading_rows_ = table->rows_loaded();
    throw;
  } catch (...) {
    loading_rows_ = table->rows_loaded();
    throw;
  }
  loading_rows_ = table->rows_loaded();
  front_end().end_progress();
  // A worksheet's error cells land as NULL; the count keeps them from going
  // unseen.
  const auto* sheet = dynamic_cast<const dao_recordset*>(&source);
  const long error_cells = sheet ? static_cast<long>(sheet->error_cells()) : 0;
  say(table_summary_text(name, loading_rows_, refused_rows_, error_cells));
  return true;
}

std::unique_ptr<table_typing> tessaly_convertor::classify(udb_recordset& source,
                                                         const std::wstring& name) {
  classify_options options;
  options.order = date_order_setting;
  const mss_engine* engine = mss_engine::instance();
  // date, time and datetime2 came with SQL Server 2008.
  options.b_server_2008 = !engine || engine->version_level() >= 5;
  if (auto* sheet = dynamic_cast<dao_recordset*>(&source))
    return std::make_unique<table_typing>(table_typing::classify_sheet(name, *sheet, options));
  // A CSV file is read once more from its start: the load pass goes on from
  // where `source` stands.
  csv_file pass(src, csv_delimiter(), x_fnames, encoding);
  return std::make_unique<table_typing>(table_typing::classify_csv(name, pass, options));
}

std::unique_ptr<mss_table> tessaly_convertor::open_table(mss_database& destination,
                                                         const std::wstring& name,
                                                         const udb_recordset& source,
                                                         bool b_existed,
                                                         const table_typing* typing) {
  const fitted_columns fitted = fit_column_names(source.get_schema(), source.get_indexes());
  for (const auto& [long_name, short_name] : fitted.renamed)
    report_notice(current_table_, shortened_column_text(long_name, short_name));
  const udb_schema& columns = fitted.schema ? *fitted.schema : source.get_schema();
  const udb_indexes& indexes = fitted.schema ? fitted.indexes : source.get_indexes();
  std::unique_ptr<udb_schema> typed;
  if (typing && !b_existed) typed = typing->typed_schema(columns);
  std::unique_ptr<mss_table> table =
      destination.create_mss_table(name, typed ? *typed : columns, indexes);
  table->set_created(!b_existed);
  // Rows of a rejected bulk batch fail after append_record has returned;
  // they are reported with their own record numbers, under the table name
  // the run gave (not the server's owner-qualified form).
  table->set_error_sink([this](const tk_exception& e, const std::wstring&, long record) {
    // The loader calls this while it handles `e`: a failure that ends the
    // run leaves as the loader caught it.
    if (ends_run(e)) std::rethrow_exception(std::current_exception());
    ++refused_rows_;
    report_item_error(e, record);
  });
  return table;
}

void tessaly_convertor::convert_step(udb_recordset& source, mss_table& table,
                                     mss_database& destination, const table_typing* typing) {
  tk_trace(1, "tessaly_convertor::convert_step");
  const bool b_csv = !from_xls;
  // Typed text columns are as wide as their longest value already.
  std::unique_ptr<mss_field_upsizer> upsizer;
  if (b_csv && !typing) upsizer = std::make_unique<mss_field_upsizer>(destination, table);
  if (!b_csv) say(L"Converting worksheet " + current_table_);
  const table_typing* converter = typing && typing->is_typed() ? typing : nullptr;

  long records = 0;
  for (; !source.is_eof() && !stop_requested(); source.move_next()) {
    const long record_number = records + 1;
    udb_record* record = nullptr;
    try {
      // A CSV record that cannot be read fails here, alone.
      record = source.create_record();
      if (!record) break;
      tk_trace(1, "Converting %d record (%d fields)", static_cast<int>(records),
               static_cast<int>(record->field_count()));
      if (upsizer) upsizer->process(*record);
      if (converter) converter->convert(*record);
      table.append_record(*record, record_number);
    } catch (const tk_exception& e) {
      if (ends_run(e)) {
        set_error_context(current_table_, record_number);
        throw;
      }
      ++refused_rows_;
      report_item_error(e, record_number);
    }
    if (++records % progress_every == 0) publish_progress(records);
  }
  // What was sent is committed whole, also when the run is being stopped.
  doing_ = L"committing rows of table " + loading_table_;
  table.close();
  publish_progress(records);
}

void tessaly_convertor::publish_progress(long records) {
  progress_.advance(records, percent_of_source_ ? percent_of_source_() : 0);
  if (!b_silent) front_end().show_progress(progress_.snapshot());
}
