// A PNG file opened for both conversion paths, and the whole-picture decode.
//
// Both paths read through one PngRowReader, with the file's pixel data
// inflated on a second thread, so they take and refuse the same files with
// the same reasons. The row-by-row path reads row after row; the
// whole-picture path has the reader fill a bitmap that is, field for field,
// the one the bitmap library's own PNG loader would make.
#pragma once

#include <optional>
#include <string>
#include <thread>

#include "engine/bitmap.h"
#include "engine/byte_pipe.h"
#include "engine/file_progress.h"
#include "engine/png_row_reader.h"

namespace tarnwick {

// Where the rows' filters are undone: by libpng on the reading thread, or
// on the inflating thread. The row-by-row path's reading thread has little
// else to do while the file inflates; the whole picture's first makes the
// bitmap, which the library clears, so its inflating thread does more.
enum class RowFilters { OnReader, OnFeeder };

// Where the pixel data is inflated: on a second thread (the InflatingFeeder),
// on the reading thread by libpng itself, or (Auto) on a second thread unless
// the file is so small that starting a thread would cost more than the whole
// inflation saves. Both ways take and refuse the same files.
enum class Inflating { Auto, OnThread, Here };
constexpr long long kInflateHereBytes = 32 * 1024;

// A PNG file open for reading with a PngRowReader. Its pixel data is inflated
// on a second thread (the InflatingFeeder) as `inflating` says and when one
// can be started, else read from the file on this one. The thread is stopped and waited for when
// the object goes.
class OpenPng {
public:
    OpenPng() = default;
    OpenPng(const OpenPng&) = delete;
    OpenPng& operator=(const OpenPng&) = delete;
    ~OpenPng();

    // Opens `path` and reads its header chunks. False, with error() set,
    // when the file cannot be opened or is not a PNG the reader takes.
    bool Open(const std::string& path, RowFilters filters = RowFilters::OnReader,
              Inflating inflating = Inflating::Auto);

    PngRowReader& reader() { return reader_; }
    const std::string& error() const { return error_.empty() ? reader_.error() : error_; }

    // Lets the inflating thread get up to `bytes` ahead of the reader while
    // this thread is busy elsewhere (0: back to its usual few buffers).
    void AllowReadAhead(size_t bytes) { pipe_.AllowAhead(bytes); }

private:
    FileHandle file_;
    FileHandle feederFile_;
    std::optional<FileSource> fileSource_;
    BytePipe pipe_;
    std::thread feeder_;
    std::string error_;
    PngRowReader reader_;
};

// The reason a file could not be read, as both paths give it:
// "cannot read <path>: <why>".
std::string PngReadFailure(const std::string& path, const std::string& why);

struct WholePng {
    Bitmap image;       // null when the file could not be decoded
    std::string error;  // why not, for the user (PngReadFailure)
};

// Decodes the PNG at `path` into one bitmap: the bitmap the library's PNG
// loader makes of the file without its text chunks - image type, depth,
// rows, colour table, transparency table, background colour, resolution,
// the tIME chunk as the Exif DateTime - with a grey picture's transparent
// level below 8 bits widened like its samples, and brought to a type the
// steps take (16-bit grey becomes 8-bit grey). The rows read are reported to
// `progress`. Interlaced pictures are read too.
WholePng DecodeWholePng(const std::string& path, const ProgressSpan& progress = {},
                        Inflating inflating = Inflating::Auto);

}  // namespace tarnwick
