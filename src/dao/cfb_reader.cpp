#include "cfb_reader.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

#include "dao_exception.hpp"
#include "tk_text.hpp"
#include "tk_trace.hpp"
#include "wb_bytes.hpp"
#include "wb_limits.hpp"

namespace {
constexpr std::uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::uint32_t end_of_chain = 0xFFFFFFFE;
constexpr std::uint32_t no_stream = 0xFFFFFFFF;

[[noreturn]] void fail(const std::string& text) {
  throw dao_exception(dao_exception::not_a_workbook, "The compound file is damaged: " + text);
}

std::uint16_t u16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t u32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint64_t u64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(u32(p)) | static_cast<std::uint64_t>(u32(p + 4)) << 32;
}
}  // namespace

bool cfb_reader::has_signature(const wb_bytes& bytes) {
  std::uint8_t head[8];
  return bytes.read_at(0, head, 8) == 8 && std::memcmp(head, signature, 8) == 0;
}

std::vector<std::uint32_t> cfb_reader::chain(std::uint32_t start,
                                             const std::vector<std::uint32_t>& table,
                                             std::uint64_t limit) const {
  std::vector<std::uint32_t> sectors;
  std::uint32_t s = start;
  while (s != end_of_chain) {
    if (s >= table.size()) fail("a sector chain leaves its table");
    // A chain longer than its table has entries must loop.
    if (sectors.size() >= table.size() || sectors.size() >= limit) fail("a sector chain loops");
    sectors.push_back(s);
    s = table[s];
  }
  return sectors;
}

std::vector<std::uint8_t> cfb_reader::read_chain(const std::vector<std::uint32_t>& sectors) const {
  std::vector<std::uint8_t> data(sectors.size() * static_cast<std::size_t>(sector_size_));
  for (std::size_t i = 0; i < sectors.size(); ++i) {
    if (sectors[i] >= sector_count_) fail("a sector lies beyond the end of the file");
    std::uint64_t at = (static_cast<std::uint64_t>(sectors[i]) + 1) * sector_size_;
    if (bytes_.read_at(at, data.data() + i * sector_size_, sector_size_) != sector_size_)
      fail("the file is truncated");
  }
  return data;
}

cfb_reader::cfb_reader(const wb_bytes& bytes) : bytes_(bytes) {
  tk_trace(1, "cfb_reader::cfb_reader(%s)", bytes.path().c_str());
  std::uint8_t h[512];
  if (bytes.read_at(0, h, sizeof h) != sizeof h || std::memcmp(h, signature, 8) != 0)
    fail("no compound-file header");
  std::uint16_t shift = u16(h + 30);
  std::uint16_t mini_shift = u16(h + 32);
  if (shift != 9 && shift != 12) fail("unknown sector size");
  if (mini_shift != 6) fail("unknown mini sector size");
  sector_size_ = 1u << shift;
  mini_size_ = 1u << mini_shift;
  mini_cutoff_ = u32(h + 56);
  if (mini_cutoff_ != 4096) fail("unknown mini stream cutoff");
  if (bytes.size() < sector_size_) fail("the file is truncated");
  // Sectors after the header block, a partial last one included.
  sector_count_ = (bytes.size() - sector_size_ + sector_size_ - 1) / sector_size_;

  std::uint32_t fat_sectors = u32(h + 44);
  std::uint32_t first_dir = u32(h + 48);
  std::uint32_t first_mini_fat = u32(h + 60);
  std::uint32_t mini_fat_sectors = u32(h + 64);
  std::uint32_t first_difat = u32(h + 68);
  std::uint32_t difat_sectors = u32(h + 72);
  if (fat_sectors > sector_count_ || difat_sectors > sector_count_ ||
      mini_fat_sectors > sector_count_)
    fail("the allocation tables claim more sectors than the file holds");

  // The FAT's own sectors: 109 in the header, the rest in the DIFAT chain.
  std::vector<std::uint32_t> fat_list;
  for (int i = 0; i < 109 && fat_list.size() < fat_sectors; ++i)
    fat_list.push_back(u32(h + 76 + 4 * i));
  std::uint32_t d = first_difat;
  const std::uint32_t per_sector = sector_size_ / 4;
  std::vector<std::uint8_t> buf(sector_size_);
  for (std::uint32_t n = 0; fat_list.size() < fat_sectors; ++n) {
    if (n >= difat_sectors || d >= sector_count_) fail("the DIFAT chain is broken");
    if (bytes.read_at((static_cast<std::uint64_t>(d) + 1) * sector_size_, buf.data(),
                      sector_size_) != sector_size_)
      fail("the file is truncated");
    for (std::uint32_t i = 0; i + 1 < per_sector && fat_list.size() < fat_sectors; ++i)
      fat_list.push_back(u32(buf.data() + 4 * i));
    d = u32(buf.data() + 4 * (per_sector - 1));
  }
  {
    std::vector<std::uint8_t> raw = read_chain(fat_list);
    fat_.resize(raw.size() / 4);
    for (std::size_t i = 0; i < fat_.size(); ++i) fat_[i] = u32(raw.data() + 4 * i);
  }
  if (fat_.size() > sector_count_) fat_.resize(sector_count_);

  // The directory.
  std::vector<std::uint8_t> dir = read_chain(chain(first_dir, fat_, sector_count_));
  std::size_t count = dir.size() / 128;
  if (count == 0) fail("the directory is empty");
  if (count > wb_limits::max_entries) fail("the directory is too large");
  entries_.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* e = dir.data() + i * 128;
    entry& out = entries_[i];
    std::uint16_t name_bytes = u16(e + 64);
    if (name_bytes > 64) name_bytes = 64;
    std::size_t chars = name_bytes >= 2 ? name_bytes / 2 - 1 : 0;
    for (std::size_t k = 0; k < chars; ++k) out.name += static_cast<wchar_t>(u16(e + 2 * k));
    out.type = e[66];
    out.left = u32(e + 68);
    out.right = u32(e + 72);
    out.child = u32(e + 76);
    out.start = u32(e + 116);
    out.size = sector_size_ == 512 ? u32(e + 120) : u64(e + 120);
  }
  if (entries_[0].type != 5) fail("the directory has no root entry");

  // Top-level entries: the tree under the root's child, walked without recursion.
  std::vector<std::uint32_t> pending;
  std::vector<bool> seen(count, false);
  if (entries_[0].child != no_stream) pending.push_back(entries_[0].child);
  while (!pending.empty()) {
    std::uint32_t id = pending.back();
    pending.pop_back();
    if (id >= count) fail("a directory entry points outside the directory");
    if (seen[id]) fail("the directory tree loops");
    seen[id] = true;
    top_.push_back(id);
    names_.push_back(entries_[id].name);
    if (entries_[id].left != no_stream) pending.push_back(entries_[id].left);
    if (entries_[id].right != no_stream) pending.push_back(entries_[id].right);
  }

  // The mini stream and its allocation table.
  if (mini_fat_sectors > 0 && first_mini_fat != end_of_chain) {
    std::vector<std::uint8_t> raw = read_chain(chain(first_mini_fat, fat_, mini_fat_sectors));
    mini_fat_.resize(raw.size() / 4);
    for (std::size_t i = 0; i < mini_fat_.size(); ++i) mini_fat_[i] = u32(raw.data() + 4 * i);
  }
  if (entries_[0].start != end_of_chain && entries_[0].size > 0)
    mini_chain_ = chain(entries_[0].start, fat_, sector_count_);
}

const cfb_reader::entry* cfb_reader::find(const std::wstring& name) const {
  for (std::uint32_t id : top_)
    if (entries_[id].type == 2 && tk_compare_nocase(entries_[id].name, name) == 0)
      return &entries_[id];
  return nullptr;
}

bool cfb_reader::has_stream(const std::wstring& name) const { return find(name) != nullptr; }

cfb_stream cfb_reader::open(const std::wstring& name) const {
  const entry* e = find(name);
  if (e == nullptr) fail("no stream '" + tk_w2a(name) + "'");
  cfb_stream stream;
  stream.bytes_ = &bytes_;
  stream.sector_size_ = sector_size_;
  stream.size_ = e->size;
  if (e->size < mini_cutoff_) {
    // Kept in the mini stream: 64-byte sectors inside the root's stream.
    stream.b_small_ = true;
    std::vector<std::uint32_t> minis =
        chain(e->start, mini_fat_, (e->size + mini_size_ - 1) / mini_size_ + 1);
    if (static_cast<std::uint64_t>(minis.size()) * mini_size_ < e->size)
      fail("a stream is truncated");
    auto small = std::make_shared<std::vector<std::uint8_t>>(e->size);
    std::uint64_t done = 0;
    for (std::uint32_t m : minis) {
      if (done >= e->size) break;
      std::uint64_t offset = static_cast<std::uint64_t>(m) * mini_size_;
      std::uint64_t index = offset / sector_size_;
      if (index >= mini_chain_.size()) fail("a mini sector lies beyond the mini stream");
      std::uint64_t at = (static_cast<std::uint64_t>(mini_chain_[index]) + 1) * sector_size_ +
                         offset % sector_size_;
      std::size_t want =
          static_cast<std::size_t>(std::min<std::uint64_t>(mini_size_, e->size - done));
      if (bytes_.read_at(at, small->data() + done, want) != want) fail("the file is truncated");
      done += want;
    }
    stream.small_ = std::move(small);
    return stream;
  }
  stream.chain_ = chain(e->start, fat_, sector_count_);
  if (static_cast<std::uint64_t>(stream.chain_.size()) * sector_size_ < e->size)
    fail("a stream is longer than its sectors");
  for (std::uint32_t s : stream.chain_)
    if (s >= sector_count_) fail("a sector lies beyond the end of the file");
  return stream;
}

cfb_stream cfb_stream::from_memory(std::vector<std::uint8_t> data) {
  cfb_stream stream;
  stream.b_small_ = true;
  stream.size_ = data.size();
  stream.small_ = std::make_shared<const std::vector<std::uint8_t>>(std::move(data));
  return stream;
}

std::size_t cfb_stream::read(void* out, std::size_t count) {
  if (pos_ >= size_) return 0;
  count = static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - pos_));
  auto* dst = static_cast<std::uint8_t*>(out);
  if (b_small_) {
    std::memcpy(dst, small_->data() + pos_, count);
    pos_ += count;
    return count;
  }
  std::size_t done = 0;
  while (done < count) {
    std::uint64_t index = pos_ / sector_size_;
    std::uint32_t within = static_cast<std::uint32_t>(pos_ % sector_size_);
    std::size_t want = std::min<std::size_t>(count - done, sector_size_ - within);
    std::uint64_t at = (static_cast<std::uint64_t>(chain_[index]) + 1) * sector_size_ + within;
    std::size_t got = bytes_->read_at(at, dst + done, want);
    if (got != want)
      throw dao_exception(dao_exception::not_a_workbook, "The compound file is truncated");
    done += want;
    pos_ += want;
  }
  return done;
}
