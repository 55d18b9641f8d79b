#include "csv_decoder.hpp"

#include <algorithm>
#include <cctype>
#include <span>

#include "tk_exception.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"

namespace {

constexpr wchar_t replacement = 0xFFFD;

const std::string& checked(const std::string& charset) {
  if (!tk_iconv::knows(charset))
    throw tk_exception("Unknown character set '" + charset +
                           "'. Give a name iconv knows, such as UTF-8, CP1252, ISO-8859-1 or "
                           "UTF-16LE (iconv -l lists them all).",
                       tk_level_run);
  return charset;
}

bool is_utf8(const std::string& charset) {
  std::string name;
  for (const char c : charset)
    if (c != '-' && c != '_')
      name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name == "UTF8";
}

// A set where every byte alone is one character (or invalid) and the first
// 128 codes are ASCII: there an ASCII byte is always an ASCII character, and
// a non-ASCII run ends where the next ASCII byte begins.
bool is_single_byte_over_ascii(const std::string& charset) {
  tk_iconv probe("WCHAR_T", charset);
  for (int code = 0; code < 256; ++code) {
    probe.reset();
    const char byte = static_cast<char>(code);
    std::string_view in(&byte, 1);
    wchar_t chars[4] = {};
    std::span<char> room(reinterpret_cast<char*>(chars), sizeof chars);
    const tk_iconv::step_end end = probe.convert_step(in, room);
    if (end == tk_iconv::step_end::invalid_input && code >= 0x80) continue;
    if (end != tk_iconv::step_end::input_done) return false;
    if (sizeof chars - room.size() != sizeof(wchar_t)) return false;
    if (code < 0x80 && chars[0] != static_cast<wchar_t>(code)) return false;
  }
  return true;
}

void make_room(std::vector<wchar_t>& out, std::size_t out_end, std::size_t chars) {
  if (out.size() - out_end < chars) out.resize(std::max(out.size() * 2, out_end + chars + 64));
}

}  // namespace

csv_decoder::bom csv_decoder::sniff_bom(std::string_view head) {
  auto starts = [head](std::string_view mark) { return head.substr(0, mark.size()) == mark; };
  using namespace std::string_view_literals;
  if (starts("\xEF\xBB\xBF"sv)) return {"UTF-8", 3};
  if (starts("\xFF\xFE\0\0"sv)) return {"UTF-32LE", 4};
  if (starts("\0\0\xFE\xFF"sv)) return {"UTF-32BE", 4};
  if (starts("\xFF\xFE"sv)) return {"UTF-16LE", 2};
  if (starts("\xFE\xFF"sv)) return {"UTF-16BE", 2};
  return {};
}

csv_decoder::text csv_decoder::decode_text(std::string_view bytes, const std::string& charset) {
  const bom mark = sniff_bom(bytes);
  text result;
  result.charset = !mark.charset.empty() ? mark.charset
                   : !charset.empty()    ? charset
                                         : tk_ansi_charset();
  csv_decoder decoder(result.charset, static_cast<std::int64_t>(mark.length));
  std::vector<wchar_t> out;
  std::size_t out_end = 0;
  decoder.decode(bytes.substr(mark.length), true, out, out_end);
  result.chars.assign(out.data(), out_end);
  result.invalid.assign(decoder.invalid_.begin(), decoder.invalid_.end());
  return result;
}

csv_decoder::csv_decoder(const std::string& charset, std::int64_t first_byte_offset)
    : charset_(charset),
      iconv_("WCHAR_T", checked(charset)),
      b_ascii_runs_(is_utf8(charset) || is_single_byte_over_ascii(charset)),
      first_byte_offset_(first_byte_offset),
      byte_offset_(first_byte_offset) {
  tk_trace(1, "csv_decoder::ctor(%s) - ASCII runs %s", charset.c_str(),
           b_ascii_runs_ ? "copied" : "converted");
}

std::size_t csv_decoder::decode(std::string_view bytes, bool b_last, std::vector<wchar_t>& out,
                                std::size_t& out_end) {
  if (!b_ascii_runs_) return decode_through_iconv(bytes, b_last, out, out_end);
  // Here no byte gives more than one character.
  make_room(out, out_end, bytes.size());
  const auto* const begin = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = begin + bytes.size();
  const auto* p = begin;
  while (p < end) {
    wchar_t* to = out.data() + out_end;
    const auto* const ascii = p;
    while (p < end && *p < 0x80) *to++ = static_cast<wchar_t>(*p++);
    const auto copied = static_cast<std::size_t>(p - ascii);
    out_end += copied;
    char_count_ += static_cast<std::int64_t>(copied);
    byte_offset_ += static_cast<std::int64_t>(copied);
    if (p == end) break;
    const auto* run_end = p;
    while (run_end < end && *run_end >= 0x80) ++run_end;
    // A character cut short by an ASCII byte can never be completed.
    const std::string_view run(reinterpret_cast<const char*>(p),
                               static_cast<std::size_t>(run_end - p));
    p += decode_through_iconv(run, b_last || run_end < end, out, out_end);
    if (p < run_end) break;  // an incomplete character waits for the next bytes
  }
  return static_cast<std::size_t>(p - begin);
}

std::size_t csv_decoder::decode_through_iconv(std::string_view bytes, bool b_last,
                                              std::vector<wchar_t>& out, std::size_t& out_end) {
  std::string_view in = bytes;
  // Only the last piece of a set that may hold characters back is flushed.
  bool b_finished = !b_last || b_ascii_runs_;
  while (!in.empty() || !b_finished) {
    make_room(out, out_end, in.size() + 4);
    std::span<char> room(reinterpret_cast<char*>(out.data() + out_end),
                         (out.size() - out_end) * sizeof(wchar_t));
    const std::size_t room_before = room.size();
    const std::size_t in_before = in.size();
    const tk_iconv::step_end stop =
        in.empty() ? iconv_.finish(room) : iconv_.convert_step(in, room);
    const std::size_t written = (room_before - room.size()) / sizeof(wchar_t);
    out_end += written;
    char_count_ += static_cast<std::int64_t>(written);
    byte_offset_ += static_cast<std::int64_t>(in_before - in.size());
    switch (stop) {
      case tk_iconv::step_end::input_done:
        if (in_before == 0) b_finished = true;
        break;
      case tk_iconv::step_end::output_full:
        out.resize(out.size() * 2 + 64);
        break;
      case tk_iconv::step_end::incomplete_input:
        if (!b_last) return bytes.size() - in.size();
        [[fallthrough]];
      case tk_iconv::step_end::invalid_input: {
        const std::size_t skip = std::min(iconv_.input_unit(), in.size());
        mark_invalid(static_cast<unsigned char>(in.front()), out, out_end);
        byte_offset_ += static_cast<std::int64_t>(skip);
        in.remove_prefix(skip);
        iconv_.reset();
        break;
      }
    }
  }
  return bytes.size();
}

void csv_decoder::mark_invalid(unsigned char byte, std::vector<wchar_t>& out,
                               std::size_t& out_end) {
  make_room(out, out_end, 1);
  out[out_end++] = replacement;
  if (last_invalid_char_ + 1 != char_count_) invalid_.push_back({char_count_, byte_offset_, byte});
  last_invalid_char_ = char_count_;
  ++char_count_;
}
