// The order in which the file list shows its rows: the listing's own order,
// or sorted by a column (name, size, type, date), either way round. Decided
// here without widgets; the list's model permutes its rows by the result, so
// a row number means the same file everywhere (preview, reading ahead).
// Standard library and ICU (through NaturalOrder).
#pragma once

#include "browse/FolderScan.h"
#include "browse/NaturalOrder.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

enum class RowSort {
    Listing, // as a folder is listed: FolderScan's name order
    Name,    // natural order of the names
    Size,    // smallest first
    Type,    // the type names in natural order
    Date,    // oldest first
};

// The rows' positions in the order shown: element i is the index in `rows` of
// the row shown i-th. Ties of size, type or date fall to the names' natural
// order; `descending` reverses the whole order (not for Listing). For Type,
// `typeRanks[row.typeIndex]` is the place of the row's type name among the
// type names (NaturalRanks); a type without one goes last.
std::vector<uint32_t> SortedOrder(std::span<const FileRow> rows, RowSort sort, bool descending,
                                  const NaturalOrder& names,
                                  std::span<const uint32_t> typeRanks = {});

// The listing's order of `rows` (SortedOrder's for RowSort::Listing) when
// `order` lists them in that order but for those at `unplaced`, as after
// rows were added or renamed: only those are sorted, then merged in.
std::vector<uint32_t> ListingOrderAfter(std::span<const FileRow> rows,
                                        std::span<const uint32_t> order,
                                        std::span<const uint32_t> unplaced);

// The place of each text among `texts` in natural order: 0 for the first;
// equal texts share the place of the first of them.
std::vector<uint32_t> NaturalRanks(std::span<const std::string> texts, const NaturalOrder& names);
