#include "biff_workbook.hpp"

#include <cstring>
#include <utility>

#include "biff_cursor.hpp"
#include "biff_decryptor.hpp"
#include "biff_record_reader.hpp"
#include "biff_sheet_stream.hpp"
#include "dao_exception.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"
#include "wb_limits.hpp"
#include "wb_number_format.hpp"
#include "wb_password.hpp"

using namespace biff;

namespace {
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

}  // namespace

biff_workbook::biff_workbook(wb_bytes bytes, const std::wstring& password)
    : bytes_(std::make_unique<wb_bytes>(std::move(bytes))) {
  tk_trace(1, "biff_workbook::biff_workbook(%s)", bytes_->path().c_str());
  cfb_reader container(*bytes_);
  if (container.has_stream(L"Workbook"))
    stream_ = container.open(L"Workbook");
  else if (container.has_stream(L"Book"))
    stream_ = container.open(L"Book");
  else
    throw dao_exception(dao_exception::not_a_workbook, "The compound file holds no workbook");
  load(password);
}

biff_workbook::biff_workbook(cfb_stream stream, const std::wstring& password)
    : stream_(std::move(stream)) {
  load(password);
}

void biff_workbook::load(const std::wstring& password) {
  if (read_globals()) return;
  decrypt(password);
  if (!read_globals()) fail("the decrypted workbook is encrypted again");
}

void biff_workbook::decrypt(const std::wstring& password) {
  biff_decryptor decryptor(filepass_, b_biff8_);
  if (!wb_open_with_password(decryptor, password))
    throw dao_exception(dao_exception::password_protected,
                        "The workbook is encrypted, and the password is missing or wrong",
                        tk_level_run);
  if (stream_.size() > wb_limits::max_sheet_part) fail("the workbook stream is too large");
  std::vector<std::uint8_t> plain(static_cast<std::size_t>(stream_.size()));
  stream_.seek(0);
  if (stream_.read(plain.data(), plain.size()) != plain.size()) fail("the stream is truncated");
  decryptor.decrypt(plain);
  stream_ = cfb_stream::from_memory(std::move(plain));
  b_decrypted_ = true;
}

biff_workbook::~biff_workbook() = default;

bool biff_workbook::read_globals() {
  sheets_.clear();
  names_.clear();
  b_1904_ = false;
  shared_pool_.clear();
  shared_offsets_.clear();
  xf_formats_.clear();
  custom_formats_.clear();
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
        if (b_decrypted_) break;  // the stream has been decrypted already
        filepass_ = d;
        return false;
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
  return true;
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
  return biff_open_sheet(*this, stream_, sheet.offset);
}
