// biff_sheet_stream: the cells of one .xls worksheet, streamed from its BOF
// to its EOF.
//
// LABELSST, LABEL, RSTRING, NUMBER, RK, MULRK, BOOLERR, and FORMULA with its
// cached result (and the STRING record that holds a text result, which may
// follow the block's SHRFMLA, ARRAY or TABLE record). Charts embedded in the
// sheet are skipped. Refers to its workbook, which must outlive it; owns its
// copy of the stream. Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>

#include "cfb_reader.hpp"
#include "wb_cell_stream.hpp"

class biff_workbook;

// The sheet whose BOF record lies at `offset` of the workbook stream.
std::unique_ptr<wb_cell_stream> biff_open_sheet(const biff_workbook& book, cfb_stream stream,
                                                std::uint64_t offset);
