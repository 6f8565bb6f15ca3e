// DOSCARs compressed by gzip, xz or bzip2, read as the text they hold.
//
// The compression is recognised by the file's first bytes, not its name, so
// a renamed file reads as well as any other. The decompressor stands behind
// the same Source interface as a plain file: the readers see the text.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "sources/source.h"

namespace pdsplit {

enum class Compression { None, Gzip, Xz, Bzip2 };

// The compression that `head`, the first bytes of a file, announce.
Compression compression_of(std::string_view head);

// The source that reads `raw` (a file named `name`, for messages) as text:
// `raw` itself when it is not compressed, else a decompressor over it.
// A damaged or cut archive ends the reading with a Failure that names the
// file and says what is wrong.
// `compression`, when given, receives the compression found.
std::unique_ptr<Source> decompressed(std::unique_ptr<Source> raw, const std::string& name,
                                     Compression* compression = nullptr);

}  // namespace pdsplit
