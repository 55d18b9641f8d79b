#include "zip_archive.hpp"

#include <zip.h>

#include <algorithm>
#include <utility>

#include "dao_exception.hpp"
#include "tk_trace.hpp"
#include "wb_bytes.hpp"
#include "wb_limits.hpp"

namespace {
[[noreturn]] void fail(const std::string& text) {
  throw dao_exception(dao_exception::not_a_workbook, text);
}
}  // namespace

void zip_archive::zip_closer::operator()(zip* archive) const { zip_discard(archive); }
void zip_entry_stream::file_closer::operator()(zip_file* file) const { zip_fclose(file); }

std::string zip_archive::fold_name(const std::string& name) {
  std::string folded;
  folded.reserve(name.size());
  for (char c : name) {
    if (c == '\\') c = '/';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    folded += c;
  }
  std::size_t start = folded.find_first_not_of('/');
  return start == std::string::npos ? std::string() : folded.substr(start);
}

zip_archive::zip_archive(const wb_bytes& bytes) {
  tk_trace(1, "zip_archive::zip_archive(%s)", bytes.path().c_str());
  zip_error_t error;
  zip_error_init(&error);
  zip_t* archive = nullptr;
  if (bytes.is_file()) {
    int code = 0;
    archive = zip_open(bytes.path().c_str(), ZIP_RDONLY, &code);
    if (archive == nullptr) zip_error_init_with_code(&error, code);
  } else {
    // libzip keeps reading the buffer while the archive is open.
    buffer_ = std::make_unique<std::vector<std::uint8_t>>(bytes.buffer());
    zip_source_t* source = zip_source_buffer_create(buffer_->data(), buffer_->size(), 0, &error);
    if (source != nullptr) {
      archive = zip_open_from_source(source, ZIP_RDONLY, &error);
      if (archive == nullptr) zip_source_free(source);
    }
  }
  if (archive == nullptr) {
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    fail("The workbook is not a readable zip package: " + text);
  }
  zip_error_fini(&error);
  handle_.reset(archive);

  zip_int64_t count = zip_get_num_entries(archive, 0);
  if (count < 0 || static_cast<std::uint64_t>(count) > wb_limits::max_entries)
    fail("The workbook package holds too many entries");
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
    if (name == nullptr) continue;
    names_.emplace(fold_name(name), static_cast<std::uint64_t>(i));  // first one wins
  }
}

zip_archive::~zip_archive() = default;
zip_archive::zip_archive(zip_archive&& other) noexcept = default;
zip_archive& zip_archive::operator=(zip_archive&& other) noexcept = default;

std::optional<std::uint64_t> zip_archive::find(const std::string& name) const {
  auto it = names_.find(fold_name(name));
  if (it == names_.end()) return std::nullopt;
  return it->second;
}

std::string zip_archive::entry_name(std::uint64_t index) const {
  const char* name = zip_get_name(handle_.get(), index, ZIP_FL_ENC_RAW);
  return name ? std::string(name) : std::string();
}

zip_entry_stream zip_archive::open(std::uint64_t index, std::uint64_t cap) const {
  std::string name = entry_name(index);
  tk_trace(1, "zip_archive::open(%s)", name.c_str());
  zip_file_t* file = zip_fopen_index(handle_.get(), index, 0);
  if (file == nullptr)
    fail("Cannot read '" + name + "' in the workbook package: " + zip_strerror(handle_.get()));
  return zip_entry_stream(file, cap, name);
}

std::string zip_archive::read_all(std::uint64_t index, std::uint64_t cap) const {
  zip_entry_stream stream = open(index, cap);
  std::string text;
  char chunk[65536];
  for (;;) {
    std::size_t got = stream.read(chunk, sizeof chunk);
    if (got == 0) break;
    text.append(chunk, got);
  }
  return text;
}

zip_entry_stream::zip_entry_stream(zip_file* file, std::uint64_t cap, std::string name)
    : file_(file), cap_(cap), name_(std::move(name)) {}
zip_entry_stream::~zip_entry_stream() = default;
zip_entry_stream::zip_entry_stream(zip_entry_stream&& other) noexcept = default;
zip_entry_stream& zip_entry_stream::operator=(zip_entry_stream&& other) noexcept = default;

std::size_t zip_entry_stream::read(void* out, std::size_t count) {
  if (!file_) return 0;
  // Ask for one byte more than the cap allows so that an oversized entry is
  // noticed instead of silently cut.
  std::uint64_t room = cap_ - done_ + 1;
  count = static_cast<std::size_t>(std::min<std::uint64_t>(count, room));
  zip_int64_t got = zip_fread(file_.get(), out, count);
  if (got < 0)
    fail("The part '" + name_ +
         "' of the workbook package is damaged: " + zip_file_strerror(file_.get()));
  done_ += static_cast<std::uint64_t>(got);
  if (done_ > cap_) fail("The part '" + name_ + "' of the workbook package is too large");
  return static_cast<std::size_t>(got);
}
