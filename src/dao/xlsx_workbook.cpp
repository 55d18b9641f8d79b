#include "xlsx_workbook.hpp"

#include <cctype>
#include <charconv>
#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include "dao_exception.hpp"
#include "tk_civil.hpp"
#include "tk_trace.hpp"
#include "wb_limits.hpp"
#include "wb_number_format.hpp"
#include "wb_text.hpp"
#include "xml_push_parser.hpp"

namespace {
[[noreturn]] void fail(const std::string& text) {
  throw dao_exception(dao_exception::not_a_workbook, text);
}

bool ends_with(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// Parses a whole part held in memory.
void parse_all(xml_handler& handler, const std::string& part, const std::string& text) {
  xml_push_parser parser(handler, part);
  parser.feed(text.data(), text.size(), true);
}

std::string folder_of(const std::string& part) {
  std::size_t slash = part.rfind('/');
  return slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
}

// A relationship target resolved against the folder of its source part.
std::string resolve(const std::string& folder, std::string target) {
  for (char& c : target)
    if (c == '\\') c = '/';
  std::string path = !target.empty() && target[0] == '/' ? target.substr(1) : folder + target;
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string piece = path.substr(start, end - start);
    if (piece == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!piece.empty() && piece != ".") {
      parts.push_back(piece);
    }
    start = end + 1;
  }
  std::string out;
  for (const auto& p : parts) out += (out.empty() ? "" : "/") + p;
  return out;
}

// An XML Schema boolean, read leniently: writers differ in case and blanks.
bool is_true(std::string_view value) {
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  if (value == "1") return true;
  if (value.size() != 4) return false;
  for (std::size_t i = 0; i < 4; ++i)
    if (std::tolower(static_cast<unsigned char>(value[i])) != "true"[i]) return false;
  return true;
}

template <typename T>
bool parse_number(std::string_view text, T& out) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\n' ||
                           text.front() == '\r'))
    text.remove_prefix(1);
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' || text.back() == '\r'))
    text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

struct relationship {
  std::string type;
  std::string target;  // resolved part name
  bool external = false;
};

// _rels/*.rels: Id → relationship.
class rels_handler final : public xml_handler {
 public:
  explicit rels_handler(std::string folder) : folder_(std::move(folder)) {}
  void on_start(std::string_view name, const xml_attribute* a, std::size_t n) override {
    if (name != "Relationship") return;
    if (rels.size() >= wb_limits::max_entries) fail("Too many relationships in the workbook");
    relationship r;
    r.type = std::string(xml_push_parser::find(a, n, "Type"));
    r.external = xml_push_parser::find(a, n, "TargetMode") == "External";
    r.target = resolve(folder_, std::string(xml_push_parser::find(a, n, "Target")));
    rels.emplace(std::string(xml_push_parser::find(a, n, "Id")), std::move(r));
  }
  void on_end(std::string_view) override {}
  void on_text(std::string_view) override {}

  std::map<std::string, relationship> rels;

 private:
  std::string folder_;
};

// The relationships of a part ("" for the package itself: _rels/.rels).
std::map<std::string, relationship> read_rels(const zip_archive& archive, const std::string& part) {
  std::string rels_part =
      folder_of(part) + "_rels/" + part.substr(folder_of(part).size()) + ".rels";
  rels_handler handler(folder_of(part));
  if (auto index = archive.find(rels_part))
    parse_all(handler, rels_part, archive.read_all(*index, wb_limits::max_small_part));
  return std::move(handler.rels);
}

struct sheet_entry {
  std::wstring name;
  std::string rel_id;
  bool b_hidden = false;
};

struct name_entry {
  std::wstring name;
  int local_sheet = -1;
  bool b_hidden = false;
  std::string formula;
};

class workbook_handler final : public xml_handler {
 public:
  void on_start(std::string_view name, const xml_attribute* a, std::size_t n) override {
    if (name == "workbookPr") {
      b_1904 = is_true(xml_push_parser::find(a, n, "date1904"));
    } else if (name == "sheet") {
      if (sheets.size() >= wb_limits::max_sheets) fail("Too many sheets in the workbook");
      sheet_entry s;
      s.name = wb_from_utf8(xml_push_parser::find(a, n, "name"));
      std::string_view state = xml_push_parser::find(a, n, "state");
      s.b_hidden = state == "hidden" || state == "veryHidden";
      for (std::size_t i = 0; i < n; ++i)
        if (a[i].name == "id" && ends_with(a[i].uri, "/relationships")) s.rel_id = a[i].value;
      sheets.push_back(std::move(s));
    } else if (name == "definedName") {
      if (names.size() >= wb_limits::max_names) fail("Too many defined names in the workbook");
      name_entry e;
      e.name = wb_from_utf8(xml_push_parser::find(a, n, "name"));
      int local = -1;
      std::string_view scope = xml_push_parser::find(a, n, "localSheetId");
      if (!scope.empty() && !parse_number(scope, local)) local = -2;
      e.local_sheet = local;
      e.b_hidden = is_true(xml_push_parser::find(a, n, "hidden"));
      names.push_back(std::move(e));
      in_name = true;
    }
  }
  void on_end(std::string_view name) override {
    if (name == "definedName") in_name = false;
  }
  void on_text(std::string_view text) override {
    if (in_name && names.back().formula.size() < 65536) names.back().formula.append(text);
  }

  bool b_1904 = false;
  std::vector<sheet_entry> sheets;
  std::vector<name_entry> names;

 private:
  bool in_name = false;
};

// sharedStrings.xml: <si> holds <t> directly or in <r> runs; <rPh> is phonetic.
class shared_handler final : public xml_handler {
 public:
  shared_handler(std::wstring& pool, std::vector<std::size_t>& offsets)
      : pool_(pool), offsets_(offsets) {}
  void on_start(std::string_view name, const xml_attribute*, std::size_t) override {
    if (name == "si") {
      in_si_ = true;
      current_.clear();
    } else if (name == "rPh") {
      ++phonetic_;
    } else if (name == "t" && in_si_ && phonetic_ == 0) {
      in_t_ = true;
    }
  }
  void on_end(std::string_view name) override {
    if (name == "si") {
      if (offsets_.size() >= wb_limits::max_shared_strings)
        fail("The shared-string table of the workbook is too large");
      // Straight into the pool; only a text with _xHHHH_ escapes is redone.
      const std::size_t start = pool_.size();
      wb_append_utf8(current_, pool_);
      if (pool_.find(L"_x", start) != std::wstring::npos) {
        std::wstring decoded = wb_decode_escapes(pool_.substr(start));
        pool_.resize(start);
        pool_ += decoded;
      }
      if (pool_.size() > wb_limits::max_shared_chars)
        fail("The shared-string table of the workbook is too large");
      offsets_.push_back(start);
      in_si_ = false;
    } else if (name == "rPh") {
      if (phonetic_ > 0) --phonetic_;
    } else if (name == "t") {
      in_t_ = false;
    }
  }
  void on_text(std::string_view text) override {
    if (!in_t_) return;
    if (current_.size() + text.size() > wb_limits::max_cell_chars * 4)
      fail("A shared string of the workbook is too long");
    current_.append(text);
  }

 private:
  std::wstring& pool_;
  std::vector<std::size_t>& offsets_;
  std::string current_;
  bool in_si_ = false, in_t_ = false;
  int phonetic_ = 0;
};

// styles.xml: custom number formats and the cell formats (cellXfs) using them.
class styles_handler final : public xml_handler {
 public:
  void on_start(std::string_view name, const xml_attribute* a, std::size_t n) override {
    if (name == "numFmt") {
      unsigned id = 0;
      if (parse_number(xml_push_parser::find(a, n, "numFmtId"), id) &&
          custom.size() < wb_limits::max_styles)
        custom[id] = wb_number_format::classify(xml_push_parser::find(a, n, "formatCode"));
    } else if (name == "cellXfs") {
      in_xfs = true;
    } else if (name == "xf" && in_xfs) {
      if (xf_formats.size() >= wb_limits::max_styles) fail("Too many cell formats in the workbook");
      unsigned id = 0;
      parse_number(xml_push_parser::find(a, n, "numFmtId"), id);
      xf_formats.push_back(id);
    }
  }
  void on_end(std::string_view name) override {
    if (name == "cellXfs") in_xfs = false;
  }
  void on_text(std::string_view) override {}

  std::map<unsigned, wb_format_class> custom;
  std::vector<unsigned> xf_formats;

 private:
  bool in_xfs = false;
};

long long days_from_civil(long long y, unsigned m, unsigned d) {
  return tk_days_from_civil(y, m, d);
}

// An ISO 8601 cell value (t="d") as a serial number of the workbook's system.
bool iso_to_serial(std::string_view s, bool b_1904, double& serial) {
  int y = 0, mo = 1, d = 1, h = 0, mi = 0;
  double sec = 0;
  auto num = [&](std::size_t at, std::size_t len, int& out) {
    if (at + len > s.size()) return false;
    auto [p, ec] = std::from_chars(s.data() + at, s.data() + at + len, out);
    return ec == std::errc() && p == s.data() + at + len;
  };
  bool has_date = s.size() >= 10 && s[4] == '-' && s[7] == '-';
  std::size_t t = 0;
  if (has_date) {
    if (!num(0, 4, y) || !num(5, 2, mo) || !num(8, 2, d)) return false;
    t = 10;
    if (t < s.size() && (s[t] == 'T' || s[t] == ' ')) ++t;
  }
  if (t < s.size()) {
    if (!num(t, 2, h) || t + 5 > s.size() || s[t + 2] != ':' || !num(t + 3, 2, mi)) return false;
    std::size_t rest = t + 5;
    if (rest < s.size() && s[rest] == ':') {
      std::size_t end = rest + 1;
      while (end < s.size() && ((s[end] >= '0' && s[end] <= '9') || s[end] == '.')) ++end;
      if (!parse_number(s.substr(rest + 1, end - rest - 1), sec)) return false;
      rest = end;
    }
    if (rest < s.size() && s[rest] == 'Z') ++rest;
    if (rest != s.size()) return false;
  }
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || sec >= 61) return false;
  double time = (h * 3600.0 + mi * 60.0 + sec) / 86400.0;
  if (!has_date) {
    serial = time;
    return true;
  }
  long long base = b_1904 ? days_from_civil(1904, 1, 1) : days_from_civil(1899, 12, 30);
  double days = static_cast<double>(
      days_from_civil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) - base);
  // The 1900 system counts the fictitious 1900-02-29: serials before March 1900
  // are one less than the day count from 1899-12-30.
  if (!b_1904 && days < 61 && days >= 1) days -= 1;
  serial = days + time;
  return true;
}

// Streams the cells of one worksheet part.
class xlsx_sheet_stream final : public wb_cell_stream, private xml_handler {
 public:
  xlsx_sheet_stream(const xlsx_workbook& book, std::uint64_t index, std::string part)
      : book_(book),
        entry_(book.archive().open(index, wb_limits::max_sheet_part)),
        parser_(*this, std::move(part)) {}

  bool next(wb_cell& cell) override {
    if (head_ == count_) {
      head_ = count_ = 0;
      while (count_ == 0 && !done_) {
        std::size_t got = entry_.read(chunk_, sizeof chunk_);
        done_ = got == 0;
        parser_.feed(chunk_, got, done_);
      }
      if (count_ == 0) return false;
    }
    // A swap, not a copy: the caller's old text buffer takes the slot and is
    // filled again by a later cell.
    std::swap(cell, queue_[head_++]);
    return true;
  }

 private:
  void on_start(std::string_view name, const xml_attribute* a, std::size_t n) override {
    if (name == "sheetData") {
      in_data_ = true;
    } else if (!in_data_) {
      return;
    } else if (name == "row") {
      std::string_view r = xml_push_parser::find(a, n, "r");
      std::uint32_t row = 0;
      if (r.empty()) {
        row = next_row_;
      } else if (!parse_number(r, row) || row == 0 || row > wb_limits::max_rows) {
        fail("A row number of the worksheet is not valid: " + std::string(r));
      } else {
        row -= 1;
      }
      row_ = row;
      next_row_ = row + 1;
      next_col_ = 0;
    } else if (name == "c") {
      // One pass over the attributes for the three a cell may carry.
      std::string_view r, t, style_text;
      for (std::size_t i = 0; i < n; ++i) {
        if (a[i].name.size() != 1) continue;
        switch (a[i].name[0]) {
          case 'r':
            r = a[i].value;
            break;
          case 't':
            t = a[i].value;
            break;
          case 's':
            style_text = a[i].value;
            break;
          default:
            break;
        }
      }
      if (r.empty()) {
        cell_.row = row_;
        cell_.col = next_col_;
      } else if (auto ref = wb_parse_ref(r)) {
        cell_.row = ref->row;
        cell_.col = ref->col;
      } else {
        fail("A cell reference of the worksheet is not valid: " + std::string(r));
      }
      if (cell_.col >= wb_limits::max_columns) fail("A cell of the worksheet lies beyond the grid");
      next_col_ = cell_.col + 1;
      type_ = type_of(t);
      unsigned style = 0;
      parse_number(style_text, style);
      cell_.format = book_.style_class(style);
      value_.clear();
      b_value_ = false;
      in_cell_ = true;
    } else if (in_cell_) {
      if (name == "v" && !in_inline_) {
        in_v_ = true;
        b_value_ = true;
      } else if (name == "is") {
        in_inline_ = true;
        b_value_ = true;
      } else if (name == "rPh") {
        ++phonetic_;
      } else if (name == "t" && in_inline_ && phonetic_ == 0) {
        in_v_ = true;
      }
    }
  }

  void on_end(std::string_view name) override {
    if (name == "sheetData") {
      in_data_ = false;
    } else if (name == "c" && in_cell_) {
      in_cell_ = false;
      finish_cell();
    } else if (name == "v" || name == "t") {
      in_v_ = false;
    } else if (name == "is") {
      in_inline_ = false;
    } else if (name == "rPh") {
      if (phonetic_ > 0) --phonetic_;
    }
  }

  void on_text(std::string_view text) override {
    if (!in_v_) return;
    if (value_.size() + text.size() > wb_limits::max_cell_chars * 4)
      fail("A cell of the worksheet holds too much text");
    value_.append(text);
  }

  // The next free place in the queue; its buffers are those of a cell
  // handed out before.
  wb_cell& free_slot() {
    if (count_ == queue_.size()) queue_.emplace_back();
    return queue_[count_];
  }

  void finish_cell() {
    wb_cell& c = free_slot();
    c.row = cell_.row;
    c.col = cell_.col;
    c.format = cell_.format;
    c.text.clear();
    c.shared = {};
    c.number = 0;
    c.kind = wb_kind::empty;
    if (type_ == cell_type::shared) {
      std::size_t index = 0;
      if (value_.empty()) return;
      if (!parse_number(value_, index) || index >= book_.shared_count())
        fail("A cell refers to a shared string that does not exist: " + value_);
      c.kind = wb_kind::text;
      c.shared = book_.shared_string(index);
    } else if (type_ == cell_type::text || type_ == cell_type::inline_text) {
      // A formula's text without a cached result is blank; an inline string
      // without one is the empty text (some writers store '' that way).
      if (type_ == cell_type::text && !b_value_) return;
      c.kind = wb_kind::text;
      wb_append_utf8(value_, c.text);
      if (c.text.find(L"_x") != std::wstring::npos) c.text = wb_decode_escapes(std::move(c.text));
    } else if (type_ == cell_type::boolean) {
      if (value_.empty()) return;
      c.kind = wb_kind::boolean;
      c.number = parse_number(value_, c.number) && c.number != 0 ? 1 : 0;
    } else if (type_ == cell_type::error) {
      c.kind = wb_kind::error;
    } else if (type_ == cell_type::date) {
      if (value_.empty()) return;
      if (iso_to_serial(value_, book_.is_1904(), c.number)) {
        c.kind = wb_kind::number;
        if (c.format != wb_format_class::date) c.format = wb_format_class::date;
      } else {
        c.kind = wb_kind::text;
        wb_append_utf8(value_, c.text);
      }
    } else {
      if (value_.empty()) return;  // a blank cell that only carries a format
      if (parse_number(value_, c.number) && std::isfinite(c.number)) {
        c.kind = wb_kind::number;
      } else {
        c.kind = wb_kind::text;
        wb_append_utf8(value_, c.text);
      }
    }
    ++count_;
  }

  // The cell's t attribute; anything unknown is read as a number.
  enum class cell_type : std::uint8_t { number, shared, text, inline_text, boolean, error, date };
  static cell_type type_of(std::string_view t) {
    if (t == "s") return cell_type::shared;
    if (t == "str") return cell_type::text;
    if (t == "inlineStr") return cell_type::inline_text;
    if (t == "b") return cell_type::boolean;
    if (t == "e") return cell_type::error;
    if (t == "d") return cell_type::date;
    return cell_type::number;
  }

  const xlsx_workbook& book_;
  zip_entry_stream entry_;
  xml_push_parser parser_;
  std::vector<wb_cell> queue_;  // cells decoded and not yet handed out: [head_, count_)
  std::size_t head_ = 0, count_ = 0;
  char chunk_[1 << 18];
  bool done_ = false;
  bool in_data_ = false, in_cell_ = false, in_v_ = false, in_inline_ = false;
  bool b_value_ = false;  // the cell has a <v> or <is>, empty or not
  int phonetic_ = 0;
  std::uint32_t row_ = 0, next_row_ = 0, next_col_ = 0;
  wb_cell cell_;
  cell_type type_ = cell_type::number;
  std::string value_;
};
}  // namespace

xlsx_workbook::xlsx_workbook(wb_bytes bytes) : bytes_(std::move(bytes)), archive_(bytes_) {
  tk_trace(1, "xlsx_workbook::xlsx_workbook(%s)", bytes_.path().c_str());
  // The workbook part, as the package relationships name it.
  std::string workbook_part;
  for (const auto& [id, rel] : read_rels(archive_, ""))  // the package's own relationships
    if (ends_with(rel.type, "/officeDocument") && !rel.external) workbook_part = rel.target;
  if (workbook_part.empty() || !archive_.has_entry(workbook_part))
    workbook_part = "xl/workbook.xml";
  auto workbook_index = archive_.find(workbook_part);
  if (!workbook_index) {
    if (archive_.has_entry("xl/workbook.bin"))
      fail("Binary workbooks (.xlsb) are not supported; save the workbook as .xlsx");
    fail("The zip package holds no workbook part");
  }
  if (ends_with(zip_archive::fold_name(workbook_part), ".bin"))
    fail("Binary workbooks (.xlsb) are not supported; save the workbook as .xlsx");

  workbook_handler book;
  parse_all(book, workbook_part, archive_.read_all(*workbook_index, wb_limits::max_small_part));
  b_1904_ = book.b_1904;

  auto rels = read_rels(archive_, workbook_part);
  for (const auto& [id, rel] : rels) {
    if (rel.external) continue;
    if (ends_with(rel.type, "/sharedStrings")) read_shared_strings(rel.target);
    if (ends_with(rel.type, "/styles")) read_styles(rel.target);
  }

  for (const auto& s : book.sheets) {
    wb_sheet_info info;
    info.name = s.name;
    info.b_hidden = s.b_hidden;
    auto rel = rels.find(s.rel_id);
    if (rel == rels.end() || rel->second.external) {
      info.kind = wb_sheet_kind::other;
    } else if (ends_with(rel->second.type, "/worksheet")) {
      info.part = rel->second.target;
    } else {
      info.kind =
          ends_with(rel->second.type, "/chartsheet") ? wb_sheet_kind::chart : wb_sheet_kind::other;
    }
    sheets_.push_back(std::move(info));
  }

  for (const auto& n : book.names) {
    wb_defined_name name;
    name.name = n.name;
    if (name.name.rfind(L"_xlnm.", 0) == 0) name.name.erase(0, 6);
    name.b_hidden = n.b_hidden;
    name.sheet_scope =
        n.local_sheet >= 0 && static_cast<std::size_t>(n.local_sheet) < sheets_.size()
            ? n.local_sheet
            : -1;
    if (n.local_sheet < -1) continue;
    std::wstring sheet;
    if (auto area = wb_parse_area(n.formula, sheet)) {
      for (std::size_t i = 0; i < sheets_.size(); ++i)
        if (sheets_[i].name == sheet && sheets_[i].kind == wb_sheet_kind::worksheet) {
          name.area_sheet = static_cast<int>(i);
          name.area = *area;
        }
    }
    names_.push_back(std::move(name));
  }
}

xlsx_workbook::~xlsx_workbook() = default;

void xlsx_workbook::read_shared_strings(const std::string& part) {
  tk_trace(1, "xlsx_workbook::read_shared_strings(%s)", part.c_str());
  auto index = archive_.find(part);
  if (!index) return;
  shared_handler handler(shared_pool_, shared_offsets_);
  xml_push_parser parser(handler, part);
  zip_entry_stream stream = archive_.open(*index, wb_limits::max_sheet_part);
  char chunk[65536];
  for (;;) {
    std::size_t got = stream.read(chunk, sizeof chunk);
    parser.feed(chunk, got, got == 0);
    if (got == 0) break;
  }
}

void xlsx_workbook::read_styles(const std::string& part) {
  tk_trace(1, "xlsx_workbook::read_styles(%s)", part.c_str());
  auto index = archive_.find(part);
  if (!index) return;
  styles_handler handler;
  parse_all(handler, part, archive_.read_all(*index, wb_limits::max_small_part));
  for (unsigned id : handler.xf_formats) {
    auto custom = handler.custom.find(id);
    xf_classes_.push_back(custom != handler.custom.end() ? custom->second
                                                         : wb_number_format::builtin(id));
  }
}

std::wstring_view xlsx_workbook::shared_string(std::size_t index) const {
  std::size_t start = shared_offsets_[index];
  std::size_t end =
      index + 1 < shared_offsets_.size() ? shared_offsets_[index + 1] : shared_pool_.size();
  return std::wstring_view(shared_pool_).substr(start, end - start);
}

std::unique_ptr<wb_cell_stream> xlsx_workbook::open_sheet(std::size_t index) const {
  const wb_sheet_info& sheet = sheets_.at(index);
  tk_trace(1, "xlsx_workbook::open_sheet(%s)", sheet.part.c_str());
  if (sheet.kind != wb_sheet_kind::worksheet)
    throw dao_exception(dao_exception::bad_table, "The sheet is not a worksheet");
  auto entry = archive_.find(sheet.part);
  if (!entry) fail("The worksheet part '" + sheet.part + "' is missing from the workbook");
  return std::make_unique<xlsx_sheet_stream>(*this, *entry, sheet.part);
}
