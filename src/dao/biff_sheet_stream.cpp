#include "biff_sheet_stream.hpp"

#include <cmath>
#include <cstring>
#include <deque>
#include <utility>

#include "biff_cursor.hpp"
#include "biff_workbook.hpp"
#include "wb_limits.hpp"

using namespace biff;

namespace {
double rk_value(std::uint32_t rk) {
  double value = (rk & 2)
                     ? static_cast<double>(static_cast<std::int32_t>(rk) >> 2)
                     : std::bit_cast<double>(static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32);
  return (rk & 1) ? value / 100 : value;
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

std::unique_ptr<wb_cell_stream> biff_open_sheet(const biff_workbook& book, cfb_stream stream,
                                                std::uint64_t offset) {
  return std::make_unique<biff_sheet_stream>(book, std::move(stream), offset);
}
