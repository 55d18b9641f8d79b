#include "tk_iconv.hpp"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "tk_exception.hpp"

namespace {

iconv_t invalid_cd() { return reinterpret_cast<iconv_t>(-1); }

std::size_t unit_of(const std::string& charset) {
  if (charset == "WCHAR_T" || charset.rfind("UTF-32", 0) == 0 || charset.rfind("UCS-4", 0) == 0)
    return 4;
  if (charset.rfind("UTF-16", 0) == 0 || charset.rfind("UCS-2", 0) == 0) return 2;
  return 1;
}

}  // namespace

tk_iconv::tk_iconv(const std::string& to, const std::string& from)
    : cd_(iconv_open(to.c_str(), from.c_str())), to_(to), from_(from), input_unit_(unit_of(from)) {
  if (cd_ == invalid_cd())
    throw tk_exception("Unsupported character set conversion from " + from + " to " + to + ".",
                       tk_level_run);
  invalid_input_ = encode_fallback("\xEF\xBF\xBD");
}

tk_iconv::~tk_iconv() {
  if (cd_ != invalid_cd()) iconv_close(cd_);
}

tk_iconv::tk_iconv(tk_iconv&& other) noexcept
    : cd_(std::exchange(other.cd_, invalid_cd())),
      to_(std::move(other.to_)),
      from_(std::move(other.from_)),
      invalid_input_(std::move(other.invalid_input_)),
      input_unit_(other.input_unit_) {}

tk_iconv& tk_iconv::operator=(tk_iconv&& other) noexcept {
  if (this != &other) {
    if (cd_ != invalid_cd()) iconv_close(cd_);
    cd_ = std::exchange(other.cd_, invalid_cd());
    to_ = std::move(other.to_);
    from_ = std::move(other.from_);
    invalid_input_ = std::move(other.invalid_input_);
    input_unit_ = other.input_unit_;
  }
  return *this;
}

// The replacement character in the target set; '?' when the target lacks it.
std::string tk_iconv::encode_fallback(std::string_view replacement_utf8) const {
  for (std::string_view candidate : {replacement_utf8, std::string_view("?")}) {
    iconv_t cd = iconv_open(to_.c_str(), "UTF-8");
    if (cd == invalid_cd()) break;
    char buffer[16];
    char* in = const_cast<char*>(candidate.data());
    std::size_t in_left = candidate.size();
    char* out = buffer;
    std::size_t out_left = sizeof buffer;
    const std::size_t rc = iconv(cd, &in, &in_left, &out, &out_left);
    iconv_close(cd);
    if (rc != static_cast<std::size_t>(-1) && in_left == 0)
      return std::string(buffer, sizeof buffer - out_left);
  }
  return "?";
}

std::string tk_iconv::convert(std::string_view input) {
  std::string output;
  output.resize(input.size() * 2 + 16);
  char* in = const_cast<char*>(input.data());
  std::size_t in_left = input.size();
  std::size_t used = 0;
  iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // initial shift state

  auto append = [&](const std::string& bytes) {
    if (output.size() - used < bytes.size()) output.resize(output.size() * 2 + bytes.size());
    output.replace(used, bytes.size(), bytes);
    used += bytes.size();
  };

  while (in_left > 0) {
    char* out = output.data() + used;
    std::size_t out_left = output.size() - used;
    const std::size_t rc = iconv(cd_, &in, &in_left, &out, &out_left);
    used = output.size() - out_left;
    if (rc != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      output.resize(output.size() * 2);
    } else {
      // EILSEQ or EINVAL: an invalid or truncated input sequence, or a
      // character the target set cannot hold. Replace one input unit.
      const std::size_t skip = std::min(input_unit_, in_left);
      append(invalid_input_);
      in += skip;
      in_left -= skip;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
  }
  // Flush any pending shift sequence.
  for (;;) {
    char* out = output.data() + used;
    std::size_t out_left = output.size() - used;
    const std::size_t rc = iconv(cd_, nullptr, nullptr, &out, &out_left);
    used = output.size() - out_left;
    if (rc != static_cast<std::size_t>(-1) || errno != E2BIG) break;
    output.resize(output.size() * 2);
  }
  output.resize(used);
  return output;
}

tk_iconv::step_end tk_iconv::convert_step(std::string_view& in, std::span<char>& out) {
  char* from = const_cast<char*>(in.data());
  std::size_t from_left = in.size();
  char* to = out.data();
  std::size_t to_left = out.size();
  const std::size_t rc = iconv(cd_, &from, &from_left, &to, &to_left);
  const int error_number = errno;
  in = std::string_view(from, from_left);
  out = std::span<char>(to, to_left);
  if (rc != static_cast<std::size_t>(-1)) return step_end::input_done;
  switch (error_number) {
    case E2BIG:
      return step_end::output_full;
    case EINVAL:
      return step_end::incomplete_input;
    default:
      return step_end::invalid_input;
  }
}

tk_iconv::step_end tk_iconv::finish(std::span<char>& out) {
  char* to = out.data();
  std::size_t to_left = out.size();
  const std::size_t rc = iconv(cd_, nullptr, nullptr, &to, &to_left);
  const int error_number = errno;
  out = std::span<char>(to, to_left);
  return rc == static_cast<std::size_t>(-1) && error_number == E2BIG ? step_end::output_full
                                                                     : step_end::input_done;
}

void tk_iconv::reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

bool tk_iconv::knows(const std::string& charset) {
  if (charset.empty()) return false;
  iconv_t cd = iconv_open("WCHAR_T", charset.c_str());
  if (cd == invalid_cd()) return false;
  iconv_close(cd);
  return true;
}
