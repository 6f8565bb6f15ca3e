#include "driver/errors.h"

#include <string>

#include "driver/failure.h"
#include "driver/messages.h"

namespace pdsplit {

void noatom() { throw error_block(std::string(text::kNoAtom)); }
void wrongindex() { throw error_block(std::string(text::kWrongIndex)); }
void manarg() { throw error_block(std::string(text::kTooMany)); }

}  // namespace pdsplit
