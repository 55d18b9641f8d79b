#include "odb_recordset.hpp"

#include <memory>

#include "tk_mail_assertion.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

odb_recordset::odb_recordset(const std::wstring& name) : udb_recordset(name, true) {}

odb_recordset::odb_recordset(const std::wstring& name, odb_result result)
    : udb_recordset(name, true) {
  set_result(std::move(result));
}

odb_recordset::~odb_recordset() = default;

void odb_recordset::set_result(odb_result result) {
  result_ = std::move(result);
  position_ = 0;
  current_.reset();
  initialize();
}

void odb_recordset::initialize() {
  tk_trace(1, "*** Got %d columns ***", static_cast<int>(result_.columns.size()));
  if (schema.field_count() != 0) return;
  for (const auto& c : result_.columns) {
    const VARTYPE vt = odb_record::get_vartype(c.server_type);
    std::int32_t extra = 0;
    if (vt == VT_DATE) extra = 1;
    if (vt == VT_DECIMAL) {
      extra = c.precision * 256 + c.scale;
      tk_trace(1, "Scale/precision for decimal column '%s': (%d, %d)", c.name.c_str(), c.precision,
               c.scale);
    }
    tk_trace(1, ">>> reserved=%d", extra);
    schema.add_field(std::make_unique<t_ftd>(vt == VT_BLOB ? 0 : c.size, tk_utf82w(c.name), vt,
                                             !c.b_nullable, false, ole_variant(), extra));
  }
}

void odb_recordset::append_record(udb_record&) { TK_FAIL(); }

odb_record& odb_recordset::get_item() {
  TK_ASSERT(position_ < result_.rows.size());
  if (!current_) {
    current_ = std::make_unique<odb_record>();
    const auto& row = result_.rows[position_];
    for (std::size_t i = 0; i < row.size() && i < result_.columns.size(); ++i) {
      const auto& col = result_.columns[i];
      const VARTYPE vt = odb_record::get_vartype(col.server_type);
      ole_variant value;
      if (!row[i].b_null) {
        if (vt == VT_BLOB) {
          value = ole_variant(row[i].bytes.size(),
                              reinterpret_cast<const std::uint8_t*>(row[i].bytes.data()));
        } else if (vt == VT_BSTR) {
          value = ole_variant(tk_utf82w(row[i].bytes));
        } else {
          try {
            value = ole_variant::from_wstring(tk_utf82w(row[i].bytes), vt);
          } catch (const std::exception&) {
            value = ole_variant(tk_utf82w(row[i].bytes));
          }
        }
      }
      auto field = std::make_unique<odb_field>(tk_utf82w(col.name),
                                               static_cast<std::int32_t>(row[i].bytes.size()),
                                               value, !col.b_nullable, false);
      current_->add_field(std::move(field));
    }
  }
  return *current_;
}

udb_record* odb_recordset::create_record() { return is_eof() ? nullptr : &get_item(); }

bool odb_recordset::is_eof() { return position_ >= result_.rows.size(); }

void odb_recordset::move_next() {
  if (position_ < result_.rows.size()) ++position_;
  current_.reset();
}
