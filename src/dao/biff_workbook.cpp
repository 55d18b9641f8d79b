#include "biff_workbook.hpp"

#include <bit>
#include <cmath>
#include <cstring>
#include <deque>
#include <utility>

#include "biff_record_reader.hpp"
#include "dao_exception.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"
#include "wb_limits.hpp"
#include "wb_number_format.hpp"

namespace {
enum : std::uint16_t {
  rec_formula = 0x0006,
  rec_eof = 0x000A,
  rec_externsheet = 0x0017,
  rec_name = 0x0018,
  rec_datemode = 0x0022,
  rec_filepass = 0x002F,
  rec_font = 0x0031,
  rec_codepage = 0x0042,
  rec_boundsheet = 0x0085,
  rec_mulrk = 0x00BD,
  rec_rstring = 0x00D6,
  rec_xf = 0x00E0,
  rec_sst = 0x00FC,
  rec_labelsst = 0x00FD,
  rec_number = 0x0203,
  rec_label = 0x0204,
  rec_boolerr = 0x0205,
  rec_string = 0x0207,
  rec_array = 0x0221,
  rec_table = 0x0236,
  rec_shrfmla = 0x04BC,
  rec_rk = 0x027E,
  rec_format = 0x041E,
  rec_bof8 = 0x0809,
};

[[noreturn]] void fail(const std::string& text) {
  throw dao_exception(dao_exception::not_a_workbook, "The workbook is damaged: " + text);
}

std::uint16_t u16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t u32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
double f64(const std::uint8_t* p) {
  std::uint64_t bits = static_cast<std::uint64_t>(u32(p)) | static_cast<std::uint64_t>(u32(p + 4))
                                                                << 32;
  return std::bit_cast<double>(bits);
}
double rk_value(std::uint32_t rk) {
  double value = (rk & 2)
                     ? static_cast<double>(static_cast<std::int32_t>(rk) >> 2)
                     : std::bit_cast<double>(static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32);
  return (rk & 1) ? value / 100 : value;
}

// Reads across a record and its CONTINUE records. A string's characters may
// break at a record boundary; the next record then starts with a new option
// byte saying whether the rest is compressed (one byte a character) or not.
class biff_cursor {
 public:
  void add(const std::vector<std::uint8_t>& segment) { segments_.push_back(segment); }
  void add(std::vector<std::uint8_t>&& segment) { segments_.push_back(std::move(segment)); }
  bool at_end() {
    settle();
    return seg_ >= segments_.size();
  }
  std::uint8_t byte() {
    settle();
    if (seg_ >= segments_.size()) fail("a record ends too early");
    return segments_[seg_][off_++];
  }
  std::uint16_t word() {
    std::uint8_t a = byte();
    return static_cast<std::uint16_t>(a | byte() << 8);
  }
  std::uint32_t dword() {
    std::uint32_t a = word();
    return a | static_cast<std::uint32_t>(word()) << 16;
  }
  void skip(std::uint64_t n) {
    while (n > 0) {
      settle();
      if (seg_ >= segments_.size()) fail("a record ends too early");
      std::uint64_t here = std::min<std::uint64_t>(n, segments_[seg_].size() - off_);
      off_ += static_cast<std::size_t>(here);
      n -= here;
    }
  }
  // `count` characters, compressed or not as `high` says at first.
  void chars(std::size_t count, bool high, std::wstring& out) {
    while (count > 0) {
      if (seg_ < segments_.size() && off_ >= segments_[seg_].size()) {
        // The characters go on in the next record, behind a fresh option byte.
        ++seg_;
        off_ = 0;
        if (seg_ >= segments_.size() || segments_[seg_].empty()) fail("a string ends too early");
        high = (segments_[seg_][off_++] & 1) != 0;
        continue;
      }
      if (seg_ >= segments_.size()) fail("a string ends too early");
      const std::vector<std::uint8_t>& s = segments_[seg_];
      std::size_t width = high ? 2 : 1;
      std::size_t fit = std::min(count, (s.size() - off_) / width);
      if (fit == 0) fail("a string is split inside a character");
      for (std::size_t i = 0; i < fit; ++i) {
        wchar_t c = high ? static_cast<wchar_t>(u16(s.data() + off_ + 2 * i))
                         : static_cast<wchar_t>(s[off_ + i]);
        out += c;
      }
      off_ += fit * width;
      count -= fit;
    }
  }
  // An XLUnicodeString: 16-bit (or 8-bit) count, option byte, characters,
  // then the rich-text runs and phonetic data it announces.
  std::wstring unicode_string(bool short_count) {
    std::size_t count = short_count ? byte() : word();
    std::uint8_t flags = byte();
    std::uint16_t runs = (flags & 0x08) ? word() : 0;
    std::uint32_t ext = (flags & 0x04) ? dword() : 0;
    std::wstring out;
    out.reserve(count);
    chars(count, (flags & 1) != 0, out);
    skip(4ull * runs + ext);
    return out;
  }
  std::uint64_t remaining() const {
    std::uint64_t n = 0;
    for (std::size_t i = seg_; i < segments_.size(); ++i)
      n += segments_[i].size() - (i == seg_ ? off_ : 0);
    return n;
  }

 private:
  void settle() {
    while (seg_ < segments_.size() && off_ >= segments_[seg_].size()) {
      ++seg_;
      off_ = 0;
    }
  }
  std::vector<std::vector<std::uint8_t>> segments_;
  std::size_t seg_ = 0;
  std::size_t off_ = 0;
};

// A record with the CONTINUE records that follow it.
biff_cursor gather(biff_record_reader& reader, std::uint64_t cap) {
  biff_cursor cursor;
  std::uint64_t total = reader.data().size();
  cursor.add(reader.data());
  while (reader.peek_type() == biff_record_reader::rec_continue) {
    reader.next();
    total += reader.data().size();
    if (total > cap) fail("a record with its continuations is too large");
    cursor.add(reader.data());
  }
  return cursor;
}

std::string charset_of(std::uint16_t codepage) {
  switch (codepage) {
    case 367:
      return "ASCII";
    case 1200:
      return "UTF-16LE";
    case 10000:
    case 32768:
      return "MACINTOSH";
    case 32769:
      return "CP1252";
    default:
      return "CP" + std::to_string(codepage);
  }
}

const wchar_t* builtin_name(std::uint8_t code) {
  static const wchar_t* names[] = {
      L"Consolidate_Area", L"Auto_Open",       L"Auto_Close",   L"Extract",        L"Database",
      L"Criteria",         L"Print_Area",      L"Print_Titles", L"Recorder",       L"Data_Form",
      L"Auto_Activate",    L"Auto_Deactivate", L"Sheet_Title",  L"_FilterDatabase"};
  return code < std::size(names) ? names[code] : nullptr;
}

void need(const std::vector<std::uint8_t>& data, std::size_t size, const char* what) {
  if (data.size() < size) fail(std::string("a ") + what + " record is too short");
}

class biff_sheet_stream final : public wb_cell_stream {
 public:
  biff_sheet_stream(const biff_workbook& book, cfb_stream stream, std::uint64_t offset)
      : book_(book), reader_(std::move(stream)) {
    reader_.seek(offset);
    if (!reader_.next() || (reader_.type() & 0xFF) != 0x09)
      fail("a sheet does not start where the workbook says");
  }

  bool next(wb_cell& cell) override {
    while (queue_.empty() && !done_) step();
    if (queue_.empty()) return false;
    cell = std::move(queue_.front());
    queue_.pop_front();
    return true;
  }

 private:
  void push(const std::uint8_t* p, wb_kind kind, double number, std::wstring text = {},
            std::wstring_view shared = {}) {
    wb_cell c;
    c.row = u16(p);
    c.col = u16(p + 2);
    c.format = book_.xf_class(u16(p + 4));
    c.kind = kind;
    c.number = number;
    c.text = std::move(text);
    c.shared = shared;
    if (c.col >= wb_limits::max_columns) fail("a cell lies beyond the grid");
    if (c.kind == wb_kind::number && !std::isfinite(c.number)) c.kind = wb_kind::error;
    queue_.push_back(std::move(c));
  }

  std::wstring label(const std::uint8_t* p, std::size_t size) {
    if (book_.is_biff8()) {
      biff_cursor cursor = gather(reader_, wb_limits::max_cell_chars * 2 + 64);
      cursor.skip(6);
      return cursor.unicode_string(false);
    }
    if (size < 8) fail("a LABEL record is too short");
    std::size_t count = u16(p + 6);
    if (8 + count > size) fail("a LABEL record is too short");
    return book_.decode(p + 8, count);
  }

  void step() {
    if (!reader_.next()) fail("a sheet ends without its EOF record");
    const std::vector<std::uint8_t>& d = reader_.data();
    const std::uint8_t* p = d.data();
    std::uint16_t type = reader_.type();
    if ((type & 0xFF) == 0x09 &&
        (type == rec_bof8 || type == 0x0409 || type == 0x0209 || type == 0x0009)) {
      ++depth_;  // a chart or other object embedded in the sheet
      return;
    }
    if (type == rec_eof) {
      if (depth_ == 0)
        done_ = true;
      else
        --depth_;
      return;
    }
    if (depth_ > 0) return;
    // A formula's text result follows in a STRING record; Excel puts the
    // shared or array formula of a block (and a data table) between them.
    if (type != rec_string && type != biff_record_reader::rec_continue && type != rec_shrfmla &&
        type != rec_array && type != rec_table)
      pending_string_ = false;
    switch (type) {
      case rec_number:
        need(d, 14, "NUMBER");
        push(p, wb_kind::number, f64(p + 6));
        break;
      case rec_rk:
        need(d, 10, "RK");
        push(p, wb_kind::number, rk_value(u32(p + 6)));
        break;
      case rec_mulrk: {
        need(d, 6, "MULRK");
        std::size_t count = (d.size() - 6) / 6;
        if ((d.size() - 6) % 6 != 0 || count == 0) fail("a MULRK record has a wrong length");
        std::uint16_t row = u16(p), first = u16(p + 2);
        if (u16(p + d.size() - 2) != first + count - 1) fail("a MULRK record has a wrong length");
        for (std::size_t i = 0; i < count; ++i) {
          std::uint8_t cell[6];
          std::memcpy(cell, p, 2);
          std::uint16_t col = static_cast<std::uint16_t>(first + i);
          cell[2] = static_cast<std::uint8_t>(col & 0xFF);
          cell[3] = static_cast<std::uint8_t>(col >> 8);
          std::memcpy(cell + 4, p + 4 + 6 * i, 2);
          (void)row;
          push(cell, wb_kind::number, rk_value(u32(p + 6 + 6 * i)));
        }
        break;
      }
      case rec_labelsst: {
        need(d, 10, "LABELSST");
        std::uint32_t index = u32(p + 6);
        if (index >= book_.shared_count())
          fail("a cell refers to a shared string that does not exist");
        push(p, wb_kind::text, 0, {}, book_.shared_string(index));
        break;
      }
      case rec_label:
      case rec_rstring: {
        need(d, 8, "LABEL");
        std::uint8_t head[6];
        std::memcpy(head, p, 6);
        std::wstring text = label(p, d.size());
        push(head, wb_kind::text, 0, std::move(text));
        break;
      }
      case rec_boolerr:
        need(d, 8, "BOOLERR");
        if (p[7] != 0)
          push(p, wb_kind::error, 0);
        else
          push(p, wb_kind::boolean, p[6] != 0 ? 1 : 0);
        break;
      case rec_formula: {
        need(d, 16, "FORMULA");
        const std::uint8_t* r = p + 6;
        if (r[6] == 0xFF && r[7] == 0xFF) {
          switch (r[0]) {
            case 0:  // the text follows in a STRING record
              std::memcpy(pending_, p, 6);
              pending_string_ = true;
              break;
            case 1:
              push(p, wb_kind::boolean, r[2] != 0 ? 1 : 0);
              break;
            case 2:
              push(p, wb_kind::error, 0);
              break;
            case 3:
              push(p, wb_kind::text, 0);  // an empty text
              break;
            default:
              break;
          }
        } else {
          push(p, wb_kind::number, f64(r));
        }
        break;
      }
      case rec_string: {
        if (!pending_string_) break;
        pending_string_ = false;
        std::wstring text;
        if (book_.is_biff8()) {
          biff_cursor cursor = gather(reader_, wb_limits::max_cell_chars * 2 + 64);
          text = cursor.unicode_string(false);
        } else {
          need(d, 2, "STRING");
          std::size_t count = u16(p);
          if (2 + count > d.size()) fail("a STRING record is too short");
          text = book_.decode(p + 2, count);
        }
        push(pending_, wb_kind::text, 0, std::move(text));
        break;
      }
      default:
        break;
    }
  }

  const biff_workbook& book_;
  biff_record_reader reader_;
  std::deque<wb_cell> queue_;
  bool done_ = false;
  int depth_ = 0;
  bool pending_string_ = false;
  std::uint8_t pending_[6] = {};
};
}  // namespace

biff_workbook::biff_workbook(wb_bytes bytes)
    : bytes_(std::make_unique<wb_bytes>(std::move(bytes))) {
  tk_trace(1, "biff_workbook::biff_workbook(%s)", bytes_->path().c_str());
  cfb_reader container(*bytes_);
  if (container.has_stream(L"Workbook"))
    stream_ = container.open(L"Workbook");
  else if (container.has_stream(L"Book"))
    stream_ = container.open(L"Book");
  else
    throw dao_exception(dao_exception::not_a_workbook, "The compound file holds no workbook");
  read_globals();
}

biff_workbook::biff_workbook(cfb_stream stream) : stream_(std::move(stream)) { read_globals(); }

biff_workbook::~biff_workbook() = default;

void biff_workbook::read_globals() {
  biff_record_reader reader(stream_);
  if (!reader.next() || (reader.type() != rec_bof8 && reader.type() != 0x0809))
    throw dao_exception(dao_exception::not_a_workbook,
                        "The workbook stream does not start with a BIFF5 or BIFF8 header");
  need(reader.data(), 4, "BOF");
  std::uint16_t version = u16(reader.data().data());
  if (version == 0x0600)
    b_biff8_ = true;
  else if (version == 0x0500)
    b_biff8_ = false;
  else
    throw dao_exception(dao_exception::not_a_workbook,
                        "This version of the .xls format is not supported");
  charset_ = b_biff8_ ? "UTF-16LE" : "CP1252";

  struct raw_name {
    wb_defined_name name;
    int ixti = -1;
  };
  std::vector<raw_name> names;
  std::vector<std::int16_t> xti_sheets;
  // BIFF5 text read before the code page is settled.
  std::vector<std::pair<std::size_t, std::string>> raw_sheet_names;
  std::vector<std::pair<std::uint16_t, std::string>> raw_formats;
  bool b_codepage = false;
  std::uint16_t font_codepage = 0;
  while (reader.next()) {
    const std::vector<std::uint8_t>& d = reader.data();
    const std::uint8_t* p = d.data();
    switch (reader.type()) {
      case rec_eof:
        goto done;
      case rec_filepass:
        throw dao_exception(dao_exception::password_protected,
                            "The workbook is encrypted with a password", tk_level_run);
      case rec_codepage:
        need(d, 2, "CODEPAGE");
        if (!b_biff8_) {
          set_codepage(u16(p));
          b_codepage = true;
        }
        break;
      case rec_font:
        // Without a CODEPAGE record (Excel 95 may leave it out) the fonts'
        // character sets tell which code page the text is in.
        if (!b_biff8_ && d.size() >= 13 && font_codepage == 0)
          font_codepage = codepage_of_charset(p[12]);
        break;
      case rec_datemode:
        need(d, 2, "DATEMODE");
        b_1904_ = u16(p) == 1;
        break;
      case rec_format: {
        need(d, 3, "FORMAT");
        std::uint16_t id = u16(p);
        std::wstring code;
        if (b_biff8_) {
          biff_cursor cursor;
          cursor.add(d);
          cursor.skip(2);
          code = cursor.unicode_string(false);
        } else {
          std::size_t count = p[2];
          if (3 + count > d.size()) fail("a FORMAT record is too short");
          // Decoded once the code page is known.
          raw_formats.emplace_back(id, std::string(reinterpret_cast<const char*>(p + 3), count));
          break;
        }
        if (custom_formats_.size() < wb_limits::max_styles)
          custom_formats_[id] = wb_number_format::classify(tk_w2utf8(code));
        break;
      }
      case rec_xf:
        need(d, 4, "XF");
        if (xf_formats_.size() >= wb_limits::max_styles) fail("too many cell formats");
        xf_formats_.push_back(u16(p + 2));
        break;
      case rec_boundsheet: {
        need(d, 7, "BOUNDSHEET");
        if (sheets_.size() >= wb_limits::max_sheets) fail("too many sheets");
        wb_sheet_info info;
        info.offset = u32(p);
        info.b_hidden = (p[4] & 3) != 0;
        info.kind = p[5] == 0   ? wb_sheet_kind::worksheet
                    : p[5] == 2 ? wb_sheet_kind::chart
                                : wb_sheet_kind::other;
        if (b_biff8_) {
          biff_cursor cursor;
          cursor.add(d);
          cursor.skip(6);
          info.name = cursor.unicode_string(true);
        } else {
          std::size_t count = p[6];
          if (7 + count > d.size()) fail("a BOUNDSHEET record is too short");
          raw_sheet_names.emplace_back(sheets_.size(),
                                       std::string(reinterpret_cast<const char*>(p + 7), count));
        }
        if (info.offset >= stream_.size()) fail("a sheet lies beyond the workbook stream");
        sheets_.push_back(std::move(info));
        break;
      }
      case rec_externsheet:
        if (b_biff8_ && d.size() >= 2) {
          std::size_t count = u16(p);
          if (2 + 6 * count > d.size())
            break;  // continued lists are rare; names then stay unresolved
          for (std::size_t i = 0; i < count; ++i)
            xti_sheets.push_back(static_cast<std::int16_t>(u16(p + 2 + 6 * i + 2)));
        }
        break;
      case rec_name: {
        if (!b_biff8_) break;
        need(d, 15, "NAME");
        if (names.size() >= wb_limits::max_names) fail("too many defined names");
        std::uint16_t flags = u16(p);
        std::size_t chars = p[3];
        std::size_t formula = u16(p + 4);
        std::uint16_t itab = u16(p + 8);
        biff_cursor cursor;
        cursor.add(d);
        cursor.skip(14);
        std::uint8_t option = cursor.byte();
        std::wstring text;
        cursor.chars(chars, (option & 1) != 0, text);
        raw_name n;
        if (flags & 0x20) {
          const wchar_t* builtin =
              text.empty() ? nullptr : builtin_name(static_cast<std::uint8_t>(text[0]));
          if (builtin == nullptr) break;
          n.name.name = builtin;
        } else {
          n.name.name = text;
        }
        n.name.b_hidden = (flags & 1) != 0;
        n.name.sheet_scope = itab > 0 ? itab - 1 : -1;
        if (cursor.remaining() >= formula && formula >= 7) {
          std::uint8_t ptg = cursor.byte();
          if ((ptg == 0x3B || ptg == 0x5B || ptg == 0x7B) && formula == 11) {
            n.ixti = cursor.word();
            n.name.area.first_row = cursor.word();
            n.name.area.last_row = cursor.word();
            n.name.area.first_col = cursor.word() & 0x3FFFu;
            n.name.area.last_col = cursor.word() & 0x3FFFu;
          } else if ((ptg == 0x3A || ptg == 0x5A || ptg == 0x7A) && formula == 7) {
            n.ixti = cursor.word();
            n.name.area.first_row = n.name.area.last_row = cursor.word();
            n.name.area.first_col = n.name.area.last_col = cursor.word() & 0x3FFFu;
          }
        }
        names.push_back(std::move(n));
        break;
      }
      case rec_sst: {
        need(d, 8, "SST");
        biff_cursor cursor = gather(reader, wb_limits::max_shared_chars * 2);
        cursor.skip(4);
        std::uint32_t unique = cursor.dword();
        // Each string takes at least three bytes, which bounds a lying count.
        std::uint64_t bound = cursor.remaining() / 3;
        if (unique > bound) unique = static_cast<std::uint32_t>(bound);
        if (unique > wb_limits::max_shared_strings) fail("the shared-string table is too large");
        shared_offsets_.reserve(unique);
        for (std::uint32_t i = 0; i < unique && !cursor.at_end(); ++i) {
          shared_offsets_.push_back(shared_pool_.size());
          shared_pool_ += cursor.unicode_string(false);
        }
        break;
      }
      default:
        break;
    }
  }
  fail("the workbook globals end without their EOF record");
done:
  if (!b_biff8_) {
    if (!b_codepage && font_codepage != 0) set_codepage(font_codepage);
    for (const auto& [index, raw] : raw_sheet_names)
      sheets_[index].name = decode(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size());
    for (const auto& [id, raw] : raw_formats)
      if (custom_formats_.size() < wb_limits::max_styles)
        custom_formats_[id] = wb_number_format::classify(
            tk_w2utf8(decode(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size())));
  }
  for (auto& n : names) {
    if (n.ixti >= 0 && static_cast<std::size_t>(n.ixti) < xti_sheets.size()) {
      int sheet = xti_sheets[static_cast<std::size_t>(n.ixti)];
      if (sheet >= 0 && static_cast<std::size_t>(sheet) < sheets_.size() &&
          sheets_[static_cast<std::size_t>(sheet)].kind == wb_sheet_kind::worksheet)
        n.name.area_sheet = sheet;
    }
    if (n.name.sheet_scope >= static_cast<int>(sheets_.size())) n.name.sheet_scope = -1;
    names_.push_back(std::move(n.name));
  }
}

void biff_workbook::set_codepage(std::uint16_t codepage) {
  charset_ = charset_of(codepage);
  try {
    tk_charset2w("A", charset_);
  } catch (const tk_exception&) {
    // A code page iconv does not know: Windows-1252 shows most text.
    tk_trace(2, "Unknown code page %u, read as CP1252", static_cast<unsigned>(codepage));
    charset_ = "CP1252";
  }
}

std::uint16_t biff_workbook::codepage_of_charset(std::uint8_t charset) {
  switch (charset) {
    case 204:
      return 1251;  // Cyrillic
    case 161:
      return 1253;  // Greek
    case 162:
      return 1254;  // Turkish
    case 177:
      return 1255;  // Hebrew
    case 178:
      return 1256;  // Arabic
    case 186:
      return 1257;  // Baltic
    case 238:
      return 1250;  // Central European
    case 163:
      return 1258;  // Vietnamese
    case 222:
      return 874;  // Thai
    case 128:
      return 932;  // Japanese
    case 129:
      return 949;  // Korean
    case 134:
      return 936;  // Simplified Chinese
    case 136:
      return 950;  // Traditional Chinese
    default:
      return 0;  // Western (0) or no text charset (symbol, OEM): no evidence
  }
}

std::wstring_view biff_workbook::shared_string(std::size_t index) const {
  std::size_t start = shared_offsets_[index];
  std::size_t end =
      index + 1 < shared_offsets_.size() ? shared_offsets_[index + 1] : shared_pool_.size();
  return std::wstring_view(shared_pool_).substr(start, end - start);
}

wb_format_class biff_workbook::xf_class(std::size_t xf) const {
  if (xf >= xf_formats_.size()) return wb_format_class::plain;
  std::uint16_t id = xf_formats_[xf];
  auto custom = custom_formats_.find(id);
  return custom != custom_formats_.end() ? custom->second : wb_number_format::builtin(id);
}

std::wstring biff_workbook::decode(const std::uint8_t* bytes, std::size_t count) const {
  std::string_view raw(reinterpret_cast<const char*>(bytes), count);
  if (charset_ == "UTF-16LE") {
    // Compressed BIFF8 text: each byte is the low half of a UTF-16 unit.
    std::wstring out;
    for (unsigned char c : raw) out += static_cast<wchar_t>(c);
    return out;
  }
  return tk_charset2w(raw, charset_);
}

std::unique_ptr<wb_cell_stream> biff_workbook::open_sheet(std::size_t index) const {
  const wb_sheet_info& sheet = sheets_.at(index);
  tk_trace(1, "biff_workbook::open_sheet(%zu)", index);
  if (sheet.kind != wb_sheet_kind::worksheet)
    throw dao_exception(dao_exception::bad_table, "The sheet is not a worksheet");
  return std::make_unique<biff_sheet_stream>(*this, stream_, sheet.offset);
}
