#include "odb_exception.hpp"

#include <sybdb.h>

#include "tk_trace.hpp"

std::uint32_t odb_code_for_server_error(int number) {
  std::uint32_t low = odb_low_other;
  switch (number) {
    case 2714:
      low = odb_low_table_exists;
      break;
    case 208:
      low = odb_low_no_table;
      break;
    case 18456:
      low = odb_low_bad_login;
      break;
    case 2627:
    case 2601:
    case 547:
    case 515:
      low = odb_low_integrity;
      break;
    case 245:
    case 8114:
      low = odb_low_conversion;
      break;
    case 8115:
    case 8152:
    case 2628:
      low = odb_low_overflow;
      break;
    case 229:
    case 262:
      low = odb_low_permission;
      break;
    case 1913:
      low = odb_low_index_exists;
      break;
    default:
      break;
  }
  return tk_code_kind_odb | low;
}

namespace {

// Client-library errors that mean the server could not be reached at all.
bool is_unreachable(int number) {
  switch (number) {
    case SYBECONN:
    case SYBEFCON:
    case SYBETIME:
    case SYBESOCK:
    case SYBEREAD:
    case SYBEWRIT:
    case SYBEOOB:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool odb_is_connection_error(int number) {
  switch (number) {
    case SYBESEOF:
    case SYBEDDNE:
    case SYBECLOS:
      return true;
    default:
      return is_unreachable(number);
  }
}

bool odb_is_connection_failure(const std::vector<odb_message>& messages) {
  for (const auto& m : messages)
    if (m.b_client && odb_is_connection_error(m.number)) return true;
  return false;
}

bool odb_exception::is_timeout() const { return client_number_ == SYBETIME; }

bool odb_exception::is_connection_failure() const {
  return odb_is_connection_error(client_number_) || low_word() == odb_low_unreachable;
}

odb_exception::odb_exception(const std::vector<odb_message>& messages, const std::string& fallback,
                             int level)
    : tk_exception(fallback, level) {
  // The server's own error explains more than the library's echo of it.
  const odb_message* deciding = nullptr;
  for (const auto& m : messages)
    if (!m.b_client && m.severity > 10) {
      deciding = &m;
      break;
    }
  if (!deciding)
    for (const auto& m : messages)
      if (m.b_client) {
        deciding = &m;
        break;
      }
  if (!deciding) {
    set_code(tk_code_kind_odb | odb_low_other);
    description_ = fallback;
  } else if (deciding->b_client) {
    set_code(tk_code_kind_odb |
             (is_unreachable(deciding->number) ? odb_low_unreachable : odb_low_other));
    description_ = deciding->text;
    source_ = "DB-Library";
    client_number_ = deciding->number;
  } else {
    server_number_ = deciding->number;
    set_code(odb_code_for_server_error(deciding->number));
    description_ = deciding->text;
    source_ = "Microsoft SQL Server";
  }
  set_message(description_.empty() ? fallback : description_);
  tk_trace(1, "odb_exception::odb_exception(%08X)", code());
  for (const auto& m : messages)
    tk_trace(3, "Native Error:\t%d, severity %d, state %d: %s", m.number, m.severity, m.state,
             m.text.c_str());
}

odb_exception::odb_exception(std::uint32_t code, const std::string& text, int level)
    : tk_exception(text, level), description_(text) {
  set_code(code);
  tk_trace(1, "odb_exception::odb_exception(%08X)", code);
}
