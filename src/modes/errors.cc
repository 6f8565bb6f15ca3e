#include "modes/errors.h"

#include <string>

#include "base/failure.h"
#include "base/messages.h"
#include "base/text.h"
#include "modes/operands.h"

namespace pdsplit {

void noatom() { throw error_block(std::string(text::kNoAtom)); }
void wrongindex(std::string_view option, std::string_view operand, std::string_view what) {
  throw error_block(std::string(text::kWrongIndex), "pdsplit: " + option_text(option) + " " +
                                                        printable(operand) + ": " + std::string(what));
}
void manarg() { throw error_block(std::string(text::kTooMany)); }

}  // namespace pdsplit
