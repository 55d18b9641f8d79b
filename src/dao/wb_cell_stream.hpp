// wb_cell_stream: the stored cells of one sheet, one at a time, in file order.
//
// Each workbook format streams its sheet data behind this interface: only the
// cells decoded from the last chunk of the file are held. Blank cells that
// carry only formatting are not reported. Owned by the caller; not
// thread-safe.
#pragma once

#include "wb_types.hpp"

class wb_cell_stream {
 public:
  virtual ~wb_cell_stream() = default;
  // The next cell; false at the end of the sheet. A damaged sheet raises
  // dao_exception.
  virtual bool next(wb_cell& cell) = 0;
};
