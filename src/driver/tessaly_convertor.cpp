#include "tessaly_convertor.hpp"

#include <cstdio>
#include <exception>
#include <vector>

#include "csv_file.hpp"
#include "dao_database.hpp"
#include "dao_engine.hpp"
#include "dates_map.hpp"
#include "error_handler.hpp"
#include "init_conversion.hpp"
#include "mss_database.hpp"
#include "mss_engine.hpp"
#include "mss_field_upsizer.hpp"
#include "mss_table.hpp"
#include "mss_validator.hpp"
#include "num_map.hpp"
#include "tk_final_exception.hpp"
#include "tk_mail_assertion.hpp"
#include "tk_reg_key.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

namespace {

// Hands a failure of one table or one record to the error handler, with
// where it happened, and lets the caller go on.
void report_item_error(const tk_exception& e) {
  if (error_handler* handler = error_handler::instance()) handler->handle(e, false);
}

void set_error_context(const std::wstring& table) {
  if (error_handler* handler = error_handler::instance()) handler->set_context(table);
}

void set_error_context(const std::wstring& table, long record) {
  if (error_handler* handler = error_handler::instance()) handler->set_context(table, record);
}

// The table name the destination accepts for a source name.
std::wstring valid_table_name(mss_tn_validator& validator, const std::wstring& name,
                              bool& b_generated) {
  b_generated = !validator.is_acceptable(name);
  return b_generated ? validator.get_safe_name(name) : name;
}

}  // namespace

tessaly_convertor::tessaly_convertor() : xls_reader(src, selected) {
  tk_trace(2, "tessaly_convertor::ctor");
}

tessaly_convertor::~tessaly_convertor() { tk_trace(2, "tessaly_convertor::dtor"); }

void tessaly_convertor::say(const std::wstring& text) const {
  if (b_silent) return;
  std::printf("%s\n", tk_w2a(text).c_str());
  std::fflush(stdout);
}

void tessaly_convertor::operator()() {
  tk_trace(2, "tessaly_converter::operator()");
  b_finished = false;
  table_counter = 0;
  init_conversion stamp(b_finished, true);
  try {
    if (from_xls) convert_from_xls();
    else convert_from_csv();
  } catch (const tk_exception& e) {
    if (error_handler* handler = error_handler::instance()) handler->handle(e, true);
  } catch (const tk_final_exception&) {
    tk_trace(3, "The conversion was stopped by the user");  // nothing more to say
  } catch (const std::exception& e) {
    tk_trace(3, "ERROR:\n%s", e.what());
    if (!b_silent) std::fprintf(stderr, "%s\n", e.what());
  }
}

std::unique_ptr<mss_database> tessaly_convertor::get_dest_base() {
  tk_trace(1, "tessaly_convertor::get_dest_base(mode=%d)", mode);
  mss_engine& engine = mssql.engine();
  if (engine.is_db_exist(dest))
    return engine.open_db(dest, mode == mode_overwrite_database ? dest_mode_create
                                                                 : mss_database::mode_append);
  return engine.create_db(dest);
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
  std::unique_ptr<dao_database> workbook = open_xls(engine, src, x_fnames);
  std::unique_ptr<mss_database> destination = get_dest_base();
  tk_trace(1, "After initializing DBs");

  table_total = static_cast<int>(worksheets.size());
  tk_trace(3, "Converting spreadsheet %s (%d worksheets)", tk_w2a(src).c_str(), table_total.load());
  say(L"Converting spreadsheet " + src + L"(" + std::to_wstring(table_total) + L" worksheets)");

  mss_tn_validator validator(pushed_back, destination->get_tables());
  for (const auto& [display_name, dao_name] : worksheets) {
    if (stop_requested()) break;
    try {
      current_table_ = display_name;
      std::unique_ptr<udb_recordset> source = workbook->get_table(dao_name, 1);
      // A table needs at least one column; say so rather than let the
      // server refuse an empty CREATE TABLE.
      if (source->get_schema().field_count() == 0)
        throw tk_exception("The worksheet holds no data, so no table was created for it.",
                           tk_level_item);
      bool b_generated = false;
      const std::wstring table_name = valid_table_name(validator, display_name, b_generated);
      bool b_exists = destination->is_table_exist(table_name);
      if (b_exists && mode == mode_overwrite_tables) {
        destination->delete_tab(table_name);
        b_exists = false;
      }
      if (!b_exists || mode != mode_skip_tables) {
        std::unique_ptr<mss_table> table = open_table(*destination, table_name, *source, b_exists);
        if (b_generated) {
          tk_trace(2, "Store generated table name '%s'", tk_w2a(table_name).c_str());
          validator.add_generated_name(table_name);
        }
        validator.add_taken_name(table_name);
        convert_step(*source, *table, *destination);
      }
    } catch (const tk_exception& e) {
      set_error_context(current_table_);
      report_item_error(e);
    }
    ++table_counter;
  }
}

void tessaly_convertor::convert_from_csv() {
  tk_trace(1, "tessaly_convertor::convert_from_csv(src=%s, dest=%s, tab=%s)", tk_w2a(src).c_str(),
           tk_w2a(dest).c_str(), tk_w2a(tab_name).c_str());
  TK_ASSERT(n_comma >= 0 && n_comma < csv_delimiter_count);
  std::unique_ptr<mss_database> destination = get_dest_base();
  csv_file source(src, static_cast<char>(csv_delimiters[n_comma]), x_fnames);

  mss_tn_validator validator({}, destination->get_tables());
  bool b_generated = false;
  const std::wstring table_name = valid_table_name(validator, tab_name, b_generated);
  current_table_ = table_name;
  table_total = 1;

  // Skipping existing tables means leaving their rows alone, whatever the
  // source; appending a CSV file a second time is what merge is for.
  const bool b_exists = destination->is_table_exist(table_name);
  if (mode == mode_skip_tables && b_exists) {
    tk_trace(3, "Table %s exists and was skipped", tk_w2a(table_name).c_str());
    say(L"Table " + table_name + L" exists and was skipped");
    table_counter = 1;
    return;
  }

  // Progress reads the file's position from another thread: the pointer is
  // withdrawn before the file is closed, whichever way this ends.
  struct progress_source {
    std::atomic<csv_file*>& slot;
    progress_source(std::atomic<csv_file*>& s, csv_file& file) : slot(s) { slot = &file; }
    ~progress_source() { slot = nullptr; }
  } progress(current_csv_, source);
  std::unique_ptr<mss_table> table = open_table(*destination, table_name, source, b_exists);
  tk_trace(3, "Converting CSV file %s", tk_w2a(src).c_str());
  say(L"Converting CSV file " + src);
  convert_step(source, *table, *destination);
  table_counter = 1;
}

std::unique_ptr<mss_table> tessaly_convertor::open_table(mss_database& destination,
                                                     const std::wstring& name,
                                                     const udb_recordset& source, bool b_existed) {
  std::unique_ptr<mss_table> table =
      destination.create_mss_table(name, source.get_schema(), source.get_indexes());
  table->set_created(!b_existed);
  // Rows of a rejected bulk batch fail after append_record has returned;
  // they are reported with their own record numbers, under the table name
  // the run gave (not the server's owner-qualified form).
  table->set_error_sink([this](const tk_exception& e, const std::wstring&, long record) {
    set_error_context(current_table_, record);
    report_item_error(e);
  });
  return table;
}

void tessaly_convertor::convert_step(udb_recordset& source, mss_table& table,
                                     mss_database& destination) {
  tk_trace(1, "tessaly_convertor::convert_step");
  const bool b_csv = !from_xls;
  std::unique_ptr<mss_field_upsizer> upsizer;
  if (b_csv) upsizer = std::make_unique<mss_field_upsizer>(destination, table);
  record_counter = 0;
  if (!b_csv) {
    tk_trace(3, "Converting worksheet %s", tk_w2a(current_table_).c_str());
    say(L"Converting worksheet " + current_table_);
  }
  const bool b_refine = refine_types && mode != mode_merge;
  std::unique_ptr<dates_map> dates;
  std::unique_ptr<num_map> numbers;
  if (b_refine) {
    dates = std::make_unique<dates_map>(table.get_name(), source.get_schema(), false);
    numbers = std::make_unique<num_map>(table.get_name(), source.get_schema());
  }

  for (; !source.is_eof() && !stop_requested(); source.move_next()) {
    udb_record* record = source.create_record();
    if (!record) break;
    tk_trace(1, "Converting %d record (%d fields)", static_cast<int>(record_counter.load()),
             static_cast<int>(record->field_count()));
    const long record_number = record_counter + 1;
    try {
      if (upsizer) upsizer->process(*record);
      table.append_record(*record, record_number);
    } catch (const tk_exception& e) {
      set_error_context(current_table_, record_number);
      report_item_error(e);
    }
    if (b_refine) {
      dates->add_rec_stat(*record);
      numbers->add_rec_stat(*record);
    }
    ++record_counter;
  }
  table.close();
  record_counter = 0;
}

int tessaly_convertor::get_progress() {
  if (from_xls || b_finished) return table_total > 0 ? table_counter * 100 / table_total : 100;
  csv_file* csv = current_csv_.load();
  return csv ? csv->get_progress() : 100;
}

bool tessaly_convertor::load_profile(const udb_profile& profile) {
  udb_profile_keys::settings settings = to_profile_settings();
  mssql.to_profile_settings(settings);
  const int mode_before = mode;
  settings.mode = -1;
  udb_profile_keys::load_all(profile, settings);
  b_mode_from_profile = b_mode_from_profile || settings.mode >= 0;
  if (settings.mode < 0) settings.mode = mode_before;
  from_profile_settings(settings);
  tk_trace(2, "mssql_converter_impl::load_profile");
  mssql.from_profile_settings(settings);
  tk_trace(1, "Duplicate selected tables in 'worksheets' array");
  // A CSV file has no worksheets to select; opening it as a workbook would
  // only fail.
  if (from_xls) {
    std::vector<std::wstring> all_sheets;
    get_all_sheets(all_sheets);
    set_sel_sheets(pushed_back);
  }
  return true;
}

bool tessaly_convertor::serialize(bool b_store) {
  tk_trace(1, "serialize( %d )", b_store ? 1 : 0);
  tk_reg_key key;
  if (key.open(tk_reg_root::current_user, "Software\\Quorvane\\Tessaly") != tk_reg_ok)
    return false;
  if (!b_store) {
    dest.clear();
    from_xls = true;
    mssql.host.clear();
    n_comma = 1;
    mssql.pswd.clear();
    refine_types = true;
    mssql.sec_log = true;
    src.clear();
    tab_name.clear();
    mssql.user.clear();
    x_fnames = true;
  }
  // Every value is exchanged even after a failure, so a missing one does not
  // keep the others from loading.
  bool b_all = true;
  b_all &= key.exchange(b_store, "dest", dest);
  b_all &= key.exchange(b_store, "from_xls", from_xls);
  b_all &= key.exchange(b_store, "host", mssql.host);
  b_all &= key.exchange(b_store, "n_comma", n_comma);
  b_all &= key.exchange(b_store, "pswd", mssql.pswd);
  b_all &= key.exchange(b_store, "refine_types", refine_types);
  b_all &= key.exchange(b_store, "sec_log", mssql.sec_log);
  b_all &= key.exchange(b_store, "src", src);
  b_all &= key.exchange(b_store, "tab name", tab_name);
  b_all &= key.exchange(b_store, "user", mssql.user);
  b_all &= key.exchange(b_store, "x_fnames", x_fnames);
  key.close();
  return b_all;
}

bool tessaly_convertor::store_profile(udb_profile& profile) {
  tk_trace(2, "udb_converter::store_profile");
  udb_profile_keys::settings settings = to_profile_settings();
  mssql.to_profile_settings(settings);
  udb_profile_keys::store_all(profile, settings);
  return true;
}
