#ifndef VELMAR_IO_FILENAMES_H
#define VELMAR_IO_FILENAMES_H

#include <string>
#include <string_view>

// The names of the files a run writes. Every per-map file shares one stem,
// PREFIX_gid_level_column_row (the map's number and level, and the column and
// row of its parent unit), which is also how pages link to each other; the
// files of the whole run are PREFIX_what. All lie in the output folder.

// PREFIX_gid_level_column_row
std::string mapFileStem(std::string_view prefix, int gid, int level, int column, int row);

// FOLDER/PREFIX_gid_level_column_row.EXTENSION
std::string mapFileName(std::string_view folder, std::string_view prefix, int gid, int level, int column, int row,
                        std::string_view extension);

// FOLDER/PREFIX_what (e.g. what = "overview.html")
std::string runFileName(std::string_view folder, std::string_view prefix, std::string_view what);

#endif
