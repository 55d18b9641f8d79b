#include "dao_engine.hpp"

#include "dao_database.hpp"
#include "dao_exception.hpp"
#include "tk_mail_assertion.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"
#include "wb_workbook.hpp"

namespace {
dao_engine* live_engine = nullptr;
}

dao_engine::dao_engine(int b_caller_owns_com) : b_caller_owns_com_(b_caller_owns_com) {
  tk_trace(2, "dao_engine::ctor");
  TK_ASSERT(live_engine == nullptr);
  live_engine = this;
}

dao_engine::~dao_engine() {
  if (version_ != no_engine) tk_trace(1, "dao_engine::uninitialize");
  if (live_engine == this) live_engine = nullptr;
}

dao_engine* dao_engine::instance() { return live_engine; }

bool dao_engine::set_version_if(int key) {
  tk_trace(1, "dao_engine::set_version_if(%d)", key);
  TK_ASSERT(key >= 0 && key <= 3);
  if (version_ != no_engine) {
    tk_trace(1, "dao_engine::uninitialize");
    version_ = no_engine;
  }
  // Keys 3 and 0 stand for the workbook reader built into this program.
  if (key != 3 && key != 0) return false;
  version_ = key;
  return true;
}

bool dao_engine::header_from_connect(const std::wstring& connect) {
  std::size_t start = 0;
  while (start <= connect.size()) {
    std::size_t end = connect.find(L';', start);
    if (end == std::wstring::npos) end = connect.size();
    std::wstring item = tk_trim(connect.substr(start, end - start));
    std::size_t eq = item.find(L'=');
    if (eq != std::wstring::npos && tk_compare_nocase(tk_trim(item.substr(0, eq)), L"HDR") == 0)
      return tk_compare_nocase(tk_trim(item.substr(eq + 1)), L"No") != 0;
    start = end + 1;
  }
  return true;
}

std::unique_ptr<dao_database> dao_engine::open_dao_src(const std::wstring& file_name,
                                                       const std::wstring& connect, int flags,
                                                       const std::wstring& password) {
  tk_trace(1, L"dao_engine::open_dao_src(%ls, %ls)", file_name.c_str(), connect.c_str());
  TK_ASSERT(version_ != no_engine);
  if (tk_compare_nocase(tk_trim(connect).substr(0, 5), L"Excel") != 0)
    throw dao_exception(3170, "Could not find installable ISAM.", tk_level_run);
  std::unique_ptr<wb_workbook> book;
  try {
    book = wb_workbook::open(wb_bytes::from_file(tk_w2a(file_name)), password);
  } catch (const dao_exception& e) {
    // The workbook cannot be opened at all: nothing of this run can go on.
    throw dao_exception(e.number(), e.what(), tk_level_run);
  }
  return std::make_unique<dao_database>(file_name, std::move(book), flags | 32,
                                        header_from_connect(connect));
}
