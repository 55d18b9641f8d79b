#include "tds_wire.hpp"

#include <cmath>
#include <cstring>

#include "tds_text.hpp"

namespace tds {

const char k_collation[5] = {0x09, 0x04, static_cast<char>(0xD0), 0x00, 0x34};

namespace {

// TDS data type bytes.
enum : uint8_t {
  t_int1 = 0x30,
  t_bit = 0x32,
  t_int2 = 0x34,
  t_int4 = 0x38,
  t_datetim4 = 0x3A,
  t_flt4 = 0x3B,
  t_money = 0x3C,
  t_datetime = 0x3D,
  t_flt8 = 0x3E,
  t_money4 = 0x7A,
  t_int8 = 0x7F,
  t_guid = 0x24,
  t_intn = 0x26,
  t_bitn = 0x68,
  t_decimaln = 0x6A,
  t_numericn = 0x6C,
  t_fltn = 0x6D,
  t_moneyn = 0x6E,
  t_datetimn = 0x6F,
  t_daten = 0x28,
  t_timen = 0x29,
  t_datetime2n = 0x2A,
  t_bigvarbin = 0xA5,
  t_bigvarchr = 0xA7,
  t_bigbinary = 0xAD,
  t_bigchar = 0xAF,
  t_nvarchar = 0xE7,
  t_nchar = 0xEF,
  t_text = 0x23,
  t_ntext = 0x63,
  t_image = 0x22,
};

void put_b_varchar(writer& w, std::string_view utf8) {
  std::string u = utf8_to_utf16le(utf8);
  if (u.size() / 2 > 255) u.resize(510);
  w.u8(static_cast<uint8_t>(u.size() / 2));
  w.raw(u);
}

void put_us_varchar(writer& w, std::string_view utf8) {
  std::string u = utf8_to_utf16le(utf8);
  if (u.size() / 2 > 65535) u.resize(131070);
  w.u16(static_cast<uint16_t>(u.size() / 2));
  w.raw(u);
}

std::string get_b_varchar(reader& r) { return utf16le_to_utf8(r.bytes(size_t{r.u8()} * 2)); }
std::string get_us_varchar(reader& r) { return utf16le_to_utf8(r.bytes(size_t{r.u16()} * 2)); }

int decimal_bytes(int precision) {
  return precision <= 9 ? 5 : precision <= 19 ? 9 : precision <= 28 ? 13 : 17;
}
int time_bytes(int scale) { return scale <= 2 ? 3 : scale <= 4 ? 4 : 5; }
int64_t time_unit(int scale) {
  int64_t u = 1;
  for (int i = scale; i < 7; ++i) u *= 10;
  return u;
}

// The fixed-length type SQL Server uses for a NOT NULL column, or 0 when it always uses a nullable
// one.
uint8_t fixed_type(const sql_type& t) {
  switch (t.id) {
    case type_id::bit:
      return t_bit;
    case type_id::tinyint:
      return t_int1;
    case type_id::smallint:
      return t_int2;
    case type_id::int_:
      return t_int4;
    case type_id::bigint:
      return t_int8;
    case type_id::real:
      return t_flt4;
    case type_id::float_:
      return t_flt8;
    case type_id::money:
      return t_money;
    case type_id::smallmoney:
      return t_money4;
    case type_id::datetime:
      return t_datetime;
    case type_id::smalldatetime:
      return t_datetim4;
    default:
      return 0;
  }
}

int fixed_size(const sql_type& t) {
  switch (t.id) {
    case type_id::bit:
    case type_id::tinyint:
      return 1;
    case type_id::smallint:
      return 2;
    case type_id::int_:
    case type_id::real:
    case type_id::smallmoney:
    case type_id::smalldatetime:
      return 4;
    default:
      return 8;
  }
}

void put_type_info(writer& w, const wire_column& c) {
  const sql_type& t = c.type;
  if (!c.nullable && fixed_type(t) != 0) {
    w.u8(fixed_type(t));
    return;
  }
  auto var16 = [&](uint8_t code, uint32_t bytes, bool collation) {
    w.u8(code);
    w.u16(t.length == k_max_length ? 0xFFFF : static_cast<uint16_t>(bytes));
    if (collation) w.raw(std::string_view(k_collation, 5));
  };
  switch (t.id) {
    case type_id::bit:
      w.u8(t_bitn);
      w.u8(1);
      break;
    case type_id::tinyint:
    case type_id::smallint:
    case type_id::int_:
    case type_id::bigint:
      w.u8(t_intn);
      w.u8(static_cast<uint8_t>(fixed_size(t)));
      break;
    case type_id::real:
    case type_id::float_:
      w.u8(t_fltn);
      w.u8(static_cast<uint8_t>(fixed_size(t)));
      break;
    case type_id::money:
    case type_id::smallmoney:
      w.u8(t_moneyn);
      w.u8(static_cast<uint8_t>(fixed_size(t)));
      break;
    case type_id::datetime:
    case type_id::smalldatetime:
      w.u8(t_datetimn);
      w.u8(static_cast<uint8_t>(fixed_size(t)));
      break;
    case type_id::decimal:
    case type_id::numeric:
      w.u8(t.id == type_id::decimal ? t_decimaln : t_numericn);
      w.u8(static_cast<uint8_t>(decimal_bytes(t.precision)));
      w.u8(t.precision);
      w.u8(t.scale);
      break;
    case type_id::date:
      w.u8(t_daten);
      break;
    case type_id::time:
      w.u8(t_timen);
      w.u8(t.scale);
      break;
    case type_id::datetime2:
      w.u8(t_datetime2n);
      w.u8(t.scale);
      break;
    case type_id::char_:
      var16(t_bigchar, static_cast<uint32_t>(t.length), true);
      break;
    case type_id::varchar:
      var16(t_bigvarchr, static_cast<uint32_t>(t.length), true);
      break;
    case type_id::nchar:
      var16(t_nchar, static_cast<uint32_t>(t.length) * 2, true);
      break;
    case type_id::nvarchar:
      var16(t_nvarchar, static_cast<uint32_t>(t.length) * 2, true);
      break;
    case type_id::binary:
      var16(t_bigbinary, static_cast<uint32_t>(t.length), false);
      break;
    case type_id::varbinary:
      var16(t_bigvarbin, static_cast<uint32_t>(t.length), false);
      break;
    case type_id::uniqueidentifier:
      w.u8(t_guid);
      w.u8(16);
      break;
    case type_id::text:
    case type_id::ntext:
    case type_id::image:
      w.u8(t.id == type_id::text ? t_text : t.id == type_id::ntext ? t_ntext : t_image);
      w.u32(t.id == type_id::ntext ? 0x7FFFFFFE : 0x7FFFFFFF);
      if (t.id != type_id::image) w.raw(std::string_view(k_collation, 5));
      w.u8(1);
      put_us_varchar(w, c.table.empty() ? "t" : c.table);
      break;
  }
}

std::string text_bytes(const value& v, const sql_type& t) {
  return t.is_unicode() ? utf8_to_utf16le(v.s) : t.is_string() ? utf8_to_cp1252(v.s) : v.s;
}

void put_value(writer& w, const wire_column& c, const value& v) {
  const sql_type& t = c.type;
  bool fixed = !c.nullable && fixed_type(t) != 0;
  if (t.is_long()) {
    if (t.id == type_id::text || t.id == type_id::ntext || t.id == type_id::image) {
      if (v.is_null()) {
        w.u8(0);
        return;
      }
      std::string b = text_bytes(v, t);
      w.u8(16);
      w.raw(std::string(16, '\x01'));
      w.raw(std::string(8, '\0'));
      w.u32(static_cast<uint32_t>(b.size()));
      w.raw(b);
      return;
    }
    if (v.is_null()) {
      w.u64(~0ULL);
      return;
    }
    std::string b = text_bytes(v, t);
    w.u64(b.size());
    if (!b.empty()) {
      w.u32(static_cast<uint32_t>(b.size()));
      w.raw(b);
    }
    w.u32(0);
    return;
  }
  if (t.is_string() || t.is_binary()) {
    if (v.is_null()) {
      w.u16(0xFFFF);
      return;
    }
    std::string b = text_bytes(v, t);
    w.u16(static_cast<uint16_t>(b.size()));
    w.raw(b);
    return;
  }
  if (v.is_null()) {
    w.u8(0);  // fixed-length columns are NOT NULL and never reach this
    return;
  }
  auto len = [&](int n) {
    if (!fixed) w.u8(static_cast<uint8_t>(n));
  };
  switch (t.id) {
    case type_id::bit:
    case type_id::tinyint:
    case type_id::smallint:
    case type_id::int_:
    case type_id::bigint:
      len(fixed_size(t));
      w.le(static_cast<uint64_t>(v.i), static_cast<size_t>(fixed_size(t)));
      break;
    case type_id::real: {
      len(4);
      float f = static_cast<float>(v.f);
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      w.u32(bits);
      break;
    }
    case type_id::float_: {
      len(8);
      uint64_t bits;
      std::memcpy(&bits, &v.f, 8);
      w.u64(bits);
      break;
    }
    case type_id::money: {
      len(8);
      auto m = static_cast<uint64_t>(static_cast<int64_t>(v.dec));
      w.u32(static_cast<uint32_t>(m >> 32));
      w.u32(static_cast<uint32_t>(m & 0xFFFFFFFF));
      break;
    }
    case type_id::smallmoney:
      len(4);
      w.u32(static_cast<uint32_t>(static_cast<int32_t>(v.dec)));
      break;
    case type_id::decimal:
    case type_id::numeric: {
      int n = decimal_bytes(t.precision);
      len(n);
      w.u8(v.dec < 0 ? 0 : 1);
      unsigned __int128 mag = v.dec < 0 ? static_cast<unsigned __int128>(-v.dec)
                                        : static_cast<unsigned __int128>(v.dec);
      for (int i = 0; i < n - 1; ++i) w.u8(static_cast<uint8_t>((mag >> (8 * i)) & 0xFF));
      break;
    }
    case type_id::datetime: {
      len(8);
      w.u32(static_cast<uint32_t>(v.days - k_days_1900));
      w.u32(static_cast<uint32_t>((v.ticks * 3 + 50000) / 100000));  // ticks hold a rounded 1/300 s
      break;
    }
    case type_id::smalldatetime:
      len(4);
      w.u16(static_cast<uint16_t>(v.days - k_days_1900));
      w.u16(static_cast<uint16_t>(v.ticks / 600000000LL));
      break;
    case type_id::date:
      w.u8(3);
      w.le(static_cast<uint64_t>(v.days), 3);
      break;
    case type_id::time:
      w.u8(static_cast<uint8_t>(time_bytes(t.scale)));
      w.le(static_cast<uint64_t>(v.ticks / time_unit(t.scale)),
           static_cast<size_t>(time_bytes(t.scale)));
      break;
    case type_id::datetime2:
      w.u8(static_cast<uint8_t>(time_bytes(t.scale) + 3));
      w.le(static_cast<uint64_t>(v.ticks / time_unit(t.scale)),
           static_cast<size_t>(time_bytes(t.scale)));
      w.le(static_cast<uint64_t>(v.days), 3);
      break;
    case type_id::uniqueidentifier:
      w.u8(16);
      w.raw(v.s);
      break;
    default:
      break;
  }
}

sql_type type_for_wire(uint8_t code, uint32_t length, uint8_t precision, uint8_t scale) {
  auto sized = [&](type_id id, int32_t units) { return sql_type{id, units, 0, 0}; };
  switch (code) {
    case t_bit:
    case t_bitn:
      return sql_type{type_id::bit};
    case t_int1:
      return sql_type{type_id::tinyint};
    case t_int2:
      return sql_type{type_id::smallint};
    case t_int4:
      return sql_type{type_id::int_};
    case t_int8:
      return sql_type{type_id::bigint};
    case t_intn:
      return sql_type{length == 1   ? type_id::tinyint
                      : length == 2 ? type_id::smallint
                      : length == 4 ? type_id::int_
                                    : type_id::bigint};
    case t_flt4:
      return sql_type{type_id::real};
    case t_flt8:
      return sql_type{type_id::float_};
    case t_fltn:
      return sql_type{length == 4 ? type_id::real : type_id::float_};
    case t_money:
      return sql_type{type_id::money};
    case t_money4:
      return sql_type{type_id::smallmoney};
    case t_moneyn:
      return sql_type{length == 4 ? type_id::smallmoney : type_id::money};
    case t_datetime:
      return sql_type{type_id::datetime};
    case t_datetim4:
      return sql_type{type_id::smalldatetime};
    case t_datetimn:
      return sql_type{length == 4 ? type_id::smalldatetime : type_id::datetime};
    case t_decimaln:
    case t_numericn:
      return sql_type{code == t_decimaln ? type_id::decimal : type_id::numeric, 0, precision,
                      scale};
    case t_daten:
      return sql_type{type_id::date};
    case t_timen:
      return sql_type{type_id::time, 0, 0, scale};
    case t_datetime2n:
      return sql_type{type_id::datetime2, 0, 0, scale};
    case t_guid:
      return sql_type{type_id::uniqueidentifier};
    case t_bigchar:
      return sized(type_id::char_, static_cast<int32_t>(length));
    case t_bigvarchr:
      return sized(type_id::varchar,
                   length == 0xFFFF ? k_max_length : static_cast<int32_t>(length));
    case t_nchar:
      return sized(type_id::nchar, static_cast<int32_t>(length / 2));
    case t_nvarchar:
      return sized(type_id::nvarchar,
                   length == 0xFFFF ? k_max_length : static_cast<int32_t>(length / 2));
    case t_bigbinary:
      return sized(type_id::binary, static_cast<int32_t>(length));
    case t_bigvarbin:
      return sized(type_id::varbinary,
                   length == 0xFFFF ? k_max_length : static_cast<int32_t>(length));
    case t_text:
      return sql_type{type_id::text};
    case t_ntext:
      return sql_type{type_id::ntext};
    case t_image:
      return sql_type{type_id::image};
    default:
      throw protocol_error("unsupported data type in COLMETADATA");
  }
}

value decode_fixed(std::string_view b, const sql_type& t) {
  reader r(b);
  switch (t.id) {
    case type_id::bit:
      return value::integer(r.u8() != 0, type_id::bit);
    case type_id::tinyint:
      return value::integer(r.u8(), t.id);
    case type_id::smallint:
      return value::integer(static_cast<int16_t>(r.u16()), t.id);
    case type_id::int_:
      return value::integer(static_cast<int32_t>(r.u32()), t.id);
    case type_id::bigint:
      return value::integer(static_cast<int64_t>(r.u64()), t.id);
    case type_id::real: {
      uint32_t bits = r.u32();
      float f;
      std::memcpy(&f, &bits, 4);
      return value::real(f, t.id);
    }
    case type_id::float_: {
      uint64_t bits = r.u64();
      double d;
      std::memcpy(&d, &bits, 8);
      return value::real(d, t.id);
    }
    case type_id::money: {
      uint64_t hi = r.u32(), lo = r.u32();
      return value::decimal(static_cast<int64_t>((hi << 32) | lo), 4, t.id);
    }
    case type_id::smallmoney:
      return value::decimal(static_cast<int32_t>(r.u32()), 4, t.id);
    case type_id::datetime: {
      auto days = static_cast<int32_t>(r.u32());
      uint32_t units = r.u32();
      if (units >= 300u * 86400u || days < -53690 || days > 2958463)
        throw protocol_error("datetime out of range");
      return value::datetime(k_days_1900 + days, static_cast<int64_t>(units) * 100000 / 3, t.id);
    }
    case type_id::smalldatetime: {
      uint16_t days = r.u16(), minutes = r.u16();
      if (minutes >= 1440) throw protocol_error("smalldatetime out of range");
      return value::datetime(k_days_1900 + days, minutes * 600000000LL, t.id);
    }
    default:
      throw protocol_error("bad fixed type");
  }
}

}  // namespace

login_request parse_login7(std::string_view payload) {
  reader r(payload);
  login_request out;
  uint32_t length = r.u32();
  if (length > payload.size() || length < 94) throw protocol_error("bad LOGIN7 length");
  out.tds_version = r.u32();
  out.packet_size = r.u32();
  auto field = [&](size_t at, bool password) {
    reader h(payload.substr(at, 4));
    uint16_t off = h.u16(), chars = h.u16();
    if (size_t{off} + size_t{chars} * 2 > length)
      throw protocol_error("LOGIN7 field outside the message");
    std::string_view raw = payload.substr(off, size_t{chars} * 2);
    return utf16le_to_utf8(password ? std::string_view(decode_password(raw)) : raw);
  };
  out.host = field(36, false);
  out.user = field(40, false);
  out.password = field(44, true);
  out.app = field(48, false);
  out.server = field(52, false);
  out.library = field(60, false);
  out.language = field(64, false);
  out.database = field(68, false);
  return out;
}

std::string decode_password(std::string_view obfuscated) {
  std::string out(obfuscated);
  for (char& c : out) {
    auto b = static_cast<uint8_t>(static_cast<uint8_t>(c) ^ 0xA5);
    c = static_cast<char>(((b << 4) | (b >> 4)) & 0xFF);
  }
  return out;
}

void parse_prelogin(std::string_view payload) {
  reader r(payload);
  for (int i = 0; i < 64; ++i) {
    uint8_t option = r.u8();
    if (option == 0xFF) return;
    uint16_t off = r.u16_be(), len = r.u16_be();
    if (size_t{off} + len > payload.size())
      throw protocol_error("PRELOGIN option outside the message");
  }
  throw protocol_error("PRELOGIN option list not terminated");
}

std::string prelogin_response() {
  // Options: VERSION (6 bytes), ENCRYPTION (1: ENCRYPT_NOT_SUP), INSTOPT (1), THREADID (0), MARS
  // (1).
  std::string out;
  writer w(out);
  const uint8_t options[][2] = {{0, 6}, {1, 1}, {2, 1}, {3, 0}, {4, 1}};
  uint16_t offset = 5 * 5 + 1;
  for (const auto& o : options) {
    w.u8(o[0]);
    w.u8(static_cast<uint8_t>(offset >> 8));
    w.u8(static_cast<uint8_t>(offset & 0xFF));
    w.u8(0);
    w.u8(o[1]);
    offset = static_cast<uint16_t>(offset + o[1]);
  }
  w.u8(0xFF);
  const uint8_t version[6] = {15, 0, 0x07, 0xD0, 0, 0};  // 15.0.2000
  for (uint8_t b : version) w.u8(b);
  w.u8(2);  // encryption not supported
  w.u8(0);  // instance: matched
  w.u8(0);  // MARS off
  return out;
}

std::string parse_sql_batch(std::string_view payload) {
  reader r(payload);
  // TDS 7.2+ starts with ALL_HEADERS: a total length that includes itself.
  if (payload.size() >= 4) {
    uint32_t total = reader(payload).u32();
    if (total >= 4 && total <= payload.size() && total < 1024 && payload.size() >= 22)
      r.skip(total);
  }
  std::string_view text = r.bytes(r.remaining() & ~size_t{1});
  return utf16le_to_utf8(text);
}

void write_done(std::string& out, uint8_t tok, uint16_t status, uint16_t cur_cmd, uint64_t rows) {
  writer w(out);
  w.u8(tok);
  w.u16(status);
  w.u16(cur_cmd);
  w.u64(rows);
}

void write_message(std::string& out, bool error, int number, int state, int cls,
                   std::string_view text, std::string_view server, std::string_view proc,
                   uint32_t line) {
  std::string body;
  writer b(body);
  b.u32(static_cast<uint32_t>(number));
  b.u8(static_cast<uint8_t>(state));
  b.u8(static_cast<uint8_t>(cls));
  put_us_varchar(b, text);
  put_b_varchar(b, server);
  put_b_varchar(b, proc);
  b.u32(line);
  writer w(out);
  w.u8(error ? tok_error : tok_info);
  w.u16(static_cast<uint16_t>(body.size()));
  w.raw(body);
}

void write_env_string(std::string& out, uint8_t type, std::string_view new_value,
                      std::string_view old_value) {
  std::string body;
  writer b(body);
  b.u8(type);
  put_b_varchar(b, new_value);
  put_b_varchar(b, old_value);
  writer w(out);
  w.u8(tok_envchange);
  w.u16(static_cast<uint16_t>(body.size()));
  w.raw(body);
}

void write_env_collation(std::string& out) {
  writer w(out);
  w.u8(tok_envchange);
  w.u16(1 + 1 + 5 + 1);
  w.u8(7);
  w.u8(5);
  w.raw(std::string_view(k_collation, 5));
  w.u8(0);
}

void write_loginack(std::string& out, std::string_view program, uint32_t version,
                    uint32_t tds_version) {
  // The client's TDS version is echoed when it is 7.2 or later; anything else gets 7.4.
  if (tds_version != 0x72090002 && tds_version != 0x730A0003 && tds_version != 0x730B0003)
    tds_version = 0x74000004;
  std::string body;
  writer b(body);
  b.u8(1);  // SQL_TSQL
  for (int shift = 24; shift >= 0; shift -= 8) b.u8(static_cast<uint8_t>(tds_version >> shift));
  put_b_varchar(b, program);
  b.u8(static_cast<uint8_t>(version >> 24));
  b.u8(static_cast<uint8_t>(version >> 16));
  b.u8(static_cast<uint8_t>(version >> 8));
  b.u8(static_cast<uint8_t>(version));
  writer w(out);
  w.u8(tok_loginack);
  w.u16(static_cast<uint16_t>(body.size()));
  w.raw(body);
}

void write_return_status(std::string& out, int32_t status) {
  writer w(out);
  w.u8(tok_returnstatus);
  w.u32(static_cast<uint32_t>(status));
}

void write_colmetadata(std::string& out, const std::vector<wire_column>& columns) {
  writer w(out);
  w.u8(tok_colmetadata);
  w.u16(static_cast<uint16_t>(columns.size()));
  for (const auto& c : columns) {
    w.u32(0);  // user type
    uint16_t flags =
        (c.nullable ? 0x01 : 0) | (c.type.is_string() ? 0x02 : 0) | 0x08 | (c.identity ? 0x10 : 0);
    w.u16(flags);
    put_type_info(w, c);
    put_b_varchar(w, c.name);
  }
}

void write_row(std::string& out, const std::vector<wire_column>& columns,
               const std::vector<value>& values) {
  writer w(out);
  w.u8(tok_row);
  for (size_t i = 0; i < columns.size(); ++i) put_value(w, columns[i], values[i]);
}

std::vector<bulk_column> read_colmetadata(reader& in) {
  uint16_t count = in.u16();
  if (count == 0xFFFF || count == 0 || count > 4096) throw protocol_error("bad column count");
  std::vector<bulk_column> out;
  out.reserve(count);
  for (uint16_t i = 0; i < count; ++i) {
    bulk_column c;
    in.u32();  // user type
    uint16_t flags = in.u16();
    c.column.nullable = (flags & 0x01) != 0;
    c.column.identity = (flags & 0x10) != 0;
    c.wire_type = in.u8();
    uint8_t precision = 0, scale = 0;
    switch (c.wire_type) {
      case t_int1:
      case t_bit:
      case t_int2:
      case t_int4:
      case t_datetim4:
      case t_flt4:
      case t_money:
      case t_datetime:
      case t_flt8:
      case t_money4:
      case t_int8:
      case t_daten:
        break;
      case t_intn:
      case t_bitn:
      case t_fltn:
      case t_moneyn:
      case t_datetimn:
      case t_guid:
        c.max_length = in.u8();
        break;
      case t_timen:
      case t_datetime2n:
        scale = in.u8();
        if (scale > 7) throw protocol_error("bad time scale");
        break;
      case t_decimaln:
      case t_numericn:
        c.max_length = in.u8();
        precision = in.u8();
        scale = in.u8();
        if (precision < 1 || precision > 38 || scale > precision || c.max_length > 17)
          throw protocol_error("bad decimal");
        break;
      case t_bigchar:
      case t_bigvarchr:
      case t_nchar:
      case t_nvarchar:
        c.max_length = in.u16();
        in.skip(5);
        c.plp = c.max_length == 0xFFFF;
        break;
      case t_bigbinary:
      case t_bigvarbin:
        c.max_length = in.u16();
        c.plp = c.max_length == 0xFFFF;
        break;
      case t_text:
      case t_ntext:
      case t_image: {
        c.max_length = in.u32();
        if (c.wire_type != t_image) in.skip(5);
        // Bulk clients send the table name as one US_VARCHAR, without the part count of a reply.
        get_us_varchar(in);
        c.text_pointer = true;
        break;
      }
      default:
        throw protocol_error("unsupported data type in COLMETADATA");
    }
    c.column.type = type_for_wire(c.wire_type, c.max_length, precision, scale);
    c.column.name = get_b_varchar(in);
    out.push_back(std::move(c));
  }
  return out;
}

value read_value(reader& in, const bulk_column& c) {
  const sql_type& t = c.column.type;
  auto as_value = [&](std::string_view bytes) {
    if (t.is_unicode()) {
      if (bytes.size() % 2 != 0) throw protocol_error("odd UTF-16 length");
      return value::string(utf16le_to_utf8(bytes), true);
    }
    if (t.is_string()) return value::string(cp1252_to_utf8(bytes), false);
    return value::binary(std::string(bytes));
  };
  if (c.text_pointer) {
    uint8_t ptr_len = in.u8();
    if (ptr_len == 0) return value::null();
    in.skip(ptr_len);
    in.skip(8);
    uint32_t n = in.u32();
    if (n > k_max_value_bytes) throw protocol_error("value too long");
    return as_value(in.bytes(n));
  }
  if (c.plp) {
    uint64_t total = in.u64();
    if (total == ~0ULL) return value::null();
    if (total != ~1ULL && total > k_max_value_bytes) throw protocol_error("value too long");
    std::string bytes;
    for (;;) {
      uint32_t chunk = in.u32();
      if (chunk == 0) break;
      if (bytes.size() + chunk > k_max_value_bytes) throw protocol_error("value too long");
      bytes.append(in.bytes(chunk));
    }
    return as_value(bytes);
  }
  switch (c.wire_type) {
    case t_bigchar:
    case t_bigvarchr:
    case t_nchar:
    case t_nvarchar:
    case t_bigbinary:
    case t_bigvarbin: {
      uint16_t n = in.u16();
      if (n == 0xFFFF) return value::null();
      if (n > c.max_length) throw protocol_error("value longer than its column");
      return as_value(in.bytes(n));
    }
    case t_int1:
    case t_bit:
    case t_int2:
    case t_int4:
    case t_datetim4:
    case t_flt4:
    case t_money:
    case t_datetime:
    case t_flt8:
    case t_money4:
    case t_int8:
      return decode_fixed(in.bytes(static_cast<size_t>(fixed_size(t))), t);
    default:
      break;
  }
  uint8_t n = in.u8();
  if (n == 0) return value::null();
  std::string_view b = in.bytes(n);
  reader r(b);
  switch (c.wire_type) {
    case t_intn:
    case t_bitn:
    case t_fltn:
    case t_moneyn:
    case t_datetimn: {
      sql_type actual = type_for_wire(c.wire_type, n, 0, 0);
      if (c.wire_type == t_bitn ? n != 1 : (n != 1 && n != 2 && n != 4 && n != 8))
        throw protocol_error("bad length");
      if (c.wire_type != t_intn && c.wire_type != t_bitn && n != 4 && n != 8)
        throw protocol_error("bad length");
      return decode_fixed(b, actual);
    }
    case t_guid:
      if (n != 16) throw protocol_error("bad GUID length");
      return value::guid(std::string(b));
    case t_decimaln:
    case t_numericn: {
      uint8_t sign = r.u8();
      if (n > 17) throw protocol_error("bad decimal length");
      unsigned __int128 mag = 0;
      for (size_t i = 0; i + 1 < n; ++i)
        mag |= static_cast<unsigned __int128>(static_cast<uint8_t>(b[i + 1])) << (8 * i);
      if (mag >> 127) throw protocol_error("decimal out of range");
      auto digits = static_cast<__int128>(mag);
      value v = value::decimal(sign ? digits : -digits, t.scale, t.id);
      v.precision = t.precision;
      return v;
    }
    case t_daten:
      if (n != 3) throw protocol_error("bad date length");
      return value::datetime(static_cast<int32_t>(r.le(3)), 0, type_id::date);
    case t_timen:
    case t_datetime2n: {
      size_t tb = static_cast<size_t>(time_bytes(t.scale));
      if (n != tb + (c.wire_type == t_datetime2n ? 3 : 0)) throw protocol_error("bad time length");
      int64_t ticks = static_cast<int64_t>(r.le(tb)) * time_unit(t.scale);
      if (ticks >= k_ticks_per_day) throw protocol_error("time out of range");
      int32_t days = c.wire_type == t_datetime2n ? static_cast<int32_t>(r.le(3)) : 0;
      return value::datetime(days, ticks, t.id);
    }
    default:
      throw protocol_error("unsupported data type in ROW");
  }
}

}  // namespace tds
