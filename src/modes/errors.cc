#include "modes/errors.h"

#include <string>

#include "base/failure.h"
#include "base/messages.h"

namespace pdsplit {

void noatom() { throw error_block(std::string(text::kNoAtom)); }
void wrongindex() { throw error_block(std::string(text::kWrongIndex)); }
void manarg() { throw error_block(std::string(text::kTooMany)); }

}  // namespace pdsplit
