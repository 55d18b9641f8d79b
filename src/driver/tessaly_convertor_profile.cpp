// tessaly_convertor's settings as they travel: profile files and the
// wizard's settings store.
#include <vector>

#include "tessaly_convertor.hpp"
#include "tk_exception.hpp"
#include "tk_reg_key.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

bool tessaly_convertor::load_profile(const udb_profile& profile) {
  udb_profile_keys::settings settings = to_profile_settings();
  mssql.to_profile_settings(settings);
  const int mode_before = mode;
  settings.mode = -1;
  udb_profile_keys::load_all(profile, settings);
  b_mode_from_profile = b_mode_from_profile || settings.mode >= 0;
  if (settings.mode < 0) settings.mode = mode_before;
  date_order order = date_order::none;
  if (!settings.date_order.empty() && !parse_date_order(settings.date_order, order))
    throw tk_exception("The profile's 'date order' under [MS Excel settings] is '" +
                           tk_w2a(settings.date_order) + "': give dmy, mdy or ymd, or leave it out.",
                       tk_level_run);
  from_profile_settings(settings);
  tk_trace(2, "mssql_converter_impl::load_profile");
  mssql.from_profile_settings(settings);
  tk_trace(1, "Duplicate selected tables in 'worksheets' array");
  // A CSV file has no worksheets to select; opening it as a workbook would
  // only fail.
  if (from_xls && b_profile_selects_sheets) {
    std::vector<std::wstring> all_sheets;
    get_all_sheets(all_sheets);
    set_sel_sheets(pushed_back);
  }
  return true;
}

// The CSV page's other delimiter and character set, kept with the rest but
// outside the result: a settings file from before they existed, or an empty
// value, is no failure.
void tessaly_convertor::exchange_csv_format(tk_reg_key& key, bool b_store) {
  std::wstring delimiter =
      csv_delimiter_char ? std::wstring(1, csv_delimiter_char) : std::wstring();
  std::wstring charset = tk_a2w(encoding);
  if (!b_store) {
    delimiter.clear();
    charset.clear();
  }
  key.exchange(b_store, "csv_delim", delimiter);
  key.exchange(b_store, "encoding", charset);
  if (b_store) return;
  csv_delimiter_char = delimiter.size() == 1 ? delimiter[0] : 0;
  encoding = tk_w2a(charset);
}

bool tessaly_convertor::serialize(bool b_store) {
  tk_trace(1, "serialize( %d )", b_store ? 1 : 0);
  tk_reg_key key;
  if (key.open(tk_reg_root::current_user, "Software\\Quorvane\\Tessaly") != tk_reg_ok) return false;
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
  exchange_csv_format(key, b_store);
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
