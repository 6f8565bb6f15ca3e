#include "tables/table_view.h"

#include <cstdint>
#include <string>

#include "base/failure.h"
#include "base/messages.h"

namespace pdsplit {

Table::Table(std::int32_t rows, std::int32_t values) : ngrid(rows), k(values) {
  std::size_t count = size();
  if (count > SIZE_MAX / sizeof(double))
    throw stop_with_message(std::string(text::kAllocOutput));
  memory_ = Memory(count * sizeof(double));
  if (memory_.data() == nullptr) throw stop_with_message(std::string(text::kAllocOutput));
}

}  // namespace pdsplit
